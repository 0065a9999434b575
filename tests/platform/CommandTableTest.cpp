#include "platform/ui/CommandTable.h"

#include <QMenu>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

TEST(CommandTable, OneActionPerIdEnabledOnlyWhileBound)
{
    QWidget owner;
    platform::CommandTable table(&owner);
    QAction* read = table.Define({32772, "&Read\tCtrl+R", "Ctrl+R", "Read the device", {}});
    EXPECT_EQ(read->text(), "&Read");
    EXPECT_EQ(read->shortcut(), QKeySequence("Ctrl+R"));
    EXPECT_EQ(read->statusTip(), "Read the device");
    EXPECT_FALSE(read->isEnabled());

    int calls = 0;
    table.Bind(32772, [&] { ++calls; });
    EXPECT_TRUE(read->isEnabled());
    QMenu menu;
    menu.addAction(table.Action(32772)); // menu and toolbar share the one action
    read->trigger();
    EXPECT_TRUE(table.Execute(32772));
    EXPECT_EQ(calls, 2);

    bool allowed = false;
    table.SetUpdate(32772, [&] { return allowed; });
    EXPECT_FALSE(read->isEnabled());
    EXPECT_FALSE(table.Execute(32772));
    allowed = true;
    table.Refresh();
    EXPECT_TRUE(read->isEnabled());

    table.Unbind(32772);
    EXPECT_FALSE(read->isEnabled());
    EXPECT_FALSE(table.Execute(32772));
    EXPECT_FALSE(table.Execute(12345));
    EXPECT_EQ(calls, 2);
}

TEST(CommandTable, RedefiningKeepsTheActionAndItsHandler)
{
    QWidget owner;
    platform::CommandTable table(&owner);
    QAction* first = table.Define({57601, "&Open...", "Ctrl+O", "", {}});
    table.Bind(57601, [] {});
    QAction* second = table.Define({57601, "&Öffnen...", "Ctrl+O", "", {}});
    EXPECT_EQ(first, second);
    EXPECT_EQ(second->text(), "&Öffnen...");
    EXPECT_TRUE(second->isEnabled());
}

} // namespace
