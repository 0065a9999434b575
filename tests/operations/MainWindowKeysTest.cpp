// The keyboard in the shown main window: the message log takes no typing.

#include "controls/ui/RichEditCtrlExtend.h"

#include "AppViewFixture.h"

#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QTest>

#include <gtest/gtest.h>

#include <map>

namespace {

class MainWindowKeys : public tonrig::test::AppViewFixture {
protected:
    void SetUp() override
    {
        AppViewFixture::SetUp();
        if (HasFatalFailure())
            return;
        Activate();
    }

    void Activate()
    {
        CMainFrame& frame = *app.MainFrame();
        frame.show();
        frame.activateWindow();
        ASSERT_TRUE(QTest::qWaitFor([&] { return QGuiApplication::focusWindow() == frame.windowHandle(); }));
    }
    CRichEditCtrlExtend& LogPane() { return view->MessageLog(); }
    static QWidget* Focus() { return QApplication::focusWidget(); }
};

TEST_F(MainWindowKeys, TheMessageLogTakesNoTypingAndStillSelectsCopiesAndClears)
{
    commands->ShowLogTab();
    LogPane().setFocus();
    ASSERT_EQ(Focus(), &LogPane());
    view->Log("Read completed.\r\n", CTonrigView::kLogNote);
    const std::string before = Log();
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setText("READ");

    QTest::keyClicks(&LogPane(), "erase");
    QTest::keyClick(&LogPane(), Qt::Key_Return);
    QTest::keyClick(&LogPane(), Qt::Key_Backspace);
    QTest::keyClick(&LogPane(), Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(&LogPane(), Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(Log(), before);

    // Edit > Paste and Cut are greyed over the log, and so is its own Paste; Copy works.
    platform::CommandTable& table = app.MainFrame()->Commands();
    QTest::keyClick(&LogPane(), Qt::Key_A, Qt::ControlModifier);
    table.Refresh();
    EXPECT_TRUE(table.Action(57634)->isEnabled());
    EXPECT_FALSE(table.Action(57635)->isEnabled());
    EXPECT_FALSE(table.Action(57637)->isEnabled());
    QTest::keyClick(&LogPane(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboard->text().toStdString(), before);
    EXPECT_FALSE(Execute(57635));
    EXPECT_EQ(Log(), before);

    auto menu = LogPane().CreateContextMenu();
    std::map<UINT, QAction*> item;
    for (QAction* action : menu->actions())
        item[action->data().toUInt()] = action;
    EXPECT_FALSE(item[ID_LOG_PASTE]->isEnabled());
    clipboard->clear();
    item[ID_LOG_SELECT_ALL]->trigger();
    item[ID_LOG_COPY]->trigger();
    EXPECT_EQ(clipboard->text().toStdString(), before);

    // The program's own lines still arrive, and Clear All empties the log.
    view->Log("Erasing...\r\n", CTonrigView::kLogNote);
    EXPECT_EQ(Log(), before + "Erasing...\n");
    item[ID_LOG_CLEAR_ALL]->trigger();
    EXPECT_EQ(Log(), "");
}

} // namespace
