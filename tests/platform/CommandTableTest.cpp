#include "platform/ui/CommandTable.h"

#include <QMenu>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(CommandTable, OneActionPerIdEnabledOnlyWhileBound)
{
    QWidget owner;
    platform::CommandTable table(&owner);
    QAction* read = table.Define({ 32772, "&Read\tCtrl+R", "Ctrl+R", "Read the device", {} });
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

TEST(CommandTable, AnUnboundCommandShowsItsUnboundTipUntilAHandlerComes)
{
    QWidget owner;
    platform::CommandTable table(&owner);
    QAction* print = table.Define({ 57607, "&Print...", "Ctrl+P", "Print the buffer", {} });
    EXPECT_EQ(print->statusTip(), "Print the buffer") << "no unbound tip: its own";
    table.SetUnboundStatusTip(57607, "Nothing prints");
    EXPECT_FALSE(print->isEnabled());
    EXPECT_EQ(print->statusTip(), "Nothing prints");
    table.Define({ 57607, "&Drucken...", "Ctrl+P", "Den Puffer drucken", {} });
    EXPECT_EQ(print->statusTip(), "Nothing prints") << "a new text of its own while still unbound";

    table.Bind(57607, [] {});
    EXPECT_EQ(print->statusTip(), "Den Puffer drucken");
    // Greyed by its update, not for want of a handler: its own tip.
    table.SetUpdate(57607, [] { return false; });
    EXPECT_FALSE(print->isEnabled());
    EXPECT_EQ(print->statusTip(), "Den Puffer drucken");
    table.Unbind(57607);
    EXPECT_EQ(print->statusTip(), "Nothing prints");
}

TEST(CommandTable, RedefiningKeepsTheActionAndItsHandler)
{
    QWidget owner;
    platform::CommandTable table(&owner);
    QAction* first = table.Define({ 57601, "&Open...", "Ctrl+O", "", {} });
    table.Bind(57601, [] {});
    QAction* second = table.Define({ 57601, "&Öffnen...", "Ctrl+O", "", {} });
    EXPECT_EQ(first, second);
    EXPECT_EQ(second->text(), "&Öffnen...");
    EXPECT_TRUE(second->isEnabled());
}

// A shortcut works as soon as its command may run, without a menu shown first to refresh it.
TEST(CommandTable, AShortcutFiresOnceItsUpdateAllowsItWithoutARefresh)
{
    QWidget owner;
    auto* pane = new QWidget(&owner); // takes no key for itself, as the hex view takes none of these
    pane->setFocusPolicy(Qt::StrongFocus);
    platform::CommandTable table(&owner);
    const struct Case {
        UINT id;
        const char* shortcut;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
    } cases[] = {
        { 57634, "Ctrl+Ins", Qt::Key_Insert, Qt::ControlModifier },
        { 57637, "Shift+Ins", Qt::Key_Insert, Qt::ShiftModifier },
        { 32948, "F3", Qt::Key_F3, Qt::NoModifier },
        { 32803, "Ctrl+R", Qt::Key_R, Qt::ControlModifier },
    };
    bool allowed = false;
    std::vector<UINT> ran;
    for (const Case& c : cases) {
        owner.addAction(table.Define({ c.id, "", c.shortcut, "", {} }));
        table.Bind(c.id, [&ran, id = c.id] { ran.push_back(id); });
        table.SetUpdate(c.id, [&] { return allowed; });
    }
    owner.show();
    owner.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&owner));
    pane->setFocus();

    for (const Case& c : cases) {
        SCOPED_TRACE(c.shortcut);
        allowed = false;
        ran.clear();
        QTest::keyClick(pane, c.key, c.modifiers);
        EXPECT_TRUE(ran.empty()) << "refused while its update says no";
        allowed = true;
        QTest::keyClick(pane, c.key, c.modifiers);
        EXPECT_EQ(ran, std::vector<UINT> { c.id });
        EXPECT_TRUE(table.Action(c.id)->isEnabled());
    }
}

} // namespace
