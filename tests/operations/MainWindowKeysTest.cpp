// The keyboard in the shown main window: the Edit menu's keys in the hex view, the message log
// that takes no typing, and the focus that comes back where it was after a modal dialog, or to
// the pane shown in place of the one that had it.

#include "buffer/ui/HexEditBase.h"
#include "controls/ui/RichEditCtrlExtend.h"
#include "operations/ui/View2Header.h"

#include "AppViewFixture.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <map>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Seq(std::size_t n)
{
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<std::uint8_t>(i);
    return b;
}

class MainWindowKeys : public tonrig::test::AppViewFixture {
protected:
    void SetUp() override
    {
        AppViewFixture::SetUp();
        if (HasFatalFailure())
            return;
        Activate();
    }

    // The window manager gives the main window the keyboard again once a dialog has gone.
    void Activate()
    {
        CMainFrame& frame = *app.MainFrame();
        frame.show();
        frame.activateWindow();
        // The frame counts as active while a hidden dialog of its own still has the keyboard.
        ASSERT_TRUE(QTest::qWaitFor([&] { return QGuiApplication::focusWindow() == frame.windowHandle(); }));
    }
    // A modal dialog over the view; `meanwhile` runs while it has the keyboard, then it closes.
    void RunModalDialog(const std::function<void()>& meanwhile)
    {
        QDialog dialog(view);
        QTimer::singleShot(0, &dialog, [&] {
            EXPECT_EQ(QApplication::activeModalWidget(), &dialog);
            meanwhile();
            dialog.reject();
        });
        dialog.exec();
        Activate();
    }

    CHexEditBase& Hex() { return *commands->HexView(); }
    CRichEditCtrlExtend& LogPane() { return view->MessageLog(); }
    QWidget* CommandLine() { return view->GetDlgItem(CTonrigView::IDC_COMMAND_LINE); }
    static QWidget* Focus() { return QApplication::focusWidget(); }
};

// The keys of the Edit menu's commands work as soon as bytes are selected, without a menu shown
// first.
TEST_F(MainWindowKeys, EditShortcutsWorkWithoutAMenuShownFirst)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    const struct Case {
        const char* name;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        std::size_t first, last; // the selection; first == last: the cursor only
        const char* clipboardBefore;
        const char* clipboardAfter;
        std::vector<std::pair<std::size_t, std::uint8_t>> changed;
    } cases[] = {
        { "Ctrl+C", Qt::Key_C, Qt::ControlModifier, 2, 4, "", "02 03 04", {} },
        { "Ctrl+Insert", Qt::Key_Insert, Qt::ControlModifier, 6, 7, "", "06 07", {} },
        { "Ctrl+X", Qt::Key_X, Qt::ControlModifier, 1, 2, "", "01 02", { { 1, 0xFF }, { 2, 0xFF } } },
        { "Shift+Delete", Qt::Key_Delete, Qt::ShiftModifier, 9, 10, "", "09 0A", { { 9, 0xFF }, { 10, 0xFF } } },
        { "Ctrl+V", Qt::Key_V, Qt::ControlModifier, 3, 3, "AA BB", "AA BB", { { 3, 0xAA }, { 4, 0xBB } } },
        { "Shift+Insert", Qt::Key_Insert, Qt::ShiftModifier, 12, 12, "CC", "CC", { { 12, 0xCC } } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Main() = Seq(16);
        commands->ShowBufferTab(1);
        Hex().setFocus();
        if (*c.clipboardBefore)
            clipboard->setText(c.clipboardBefore);
        else
            clipboard->clear();
        if (c.first == c.last)
            Hex().SetCursor(c.first);
        else
            Hex().Select(c.first, c.last);
        QTest::keyClick(&Hex(), c.key, c.modifiers);
        EXPECT_EQ(clipboard->text().toStdString(), c.clipboardAfter);
        Bytes want = Seq(16);
        for (const auto& [at, value] : c.changed)
            want[at] = value;
        EXPECT_EQ(Main(), want);
    }
}

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

TEST_F(MainWindowKeys, AfterAModalDialogTheFocusIsWhereItWasOrOnThePaneInItsPlace)
{
    ASSERT_NE(g_pView2Header, nullptr);
    QWidget* fileOffset = g_pView2Header->FileOffsetEdit();
    const auto hex = [this]() -> QWidget* { return &Hex(); };
    const auto log = [this]() -> QWidget* { return &LogPane(); };
    const auto failure = [this] { view->ShowFailure(); }; // an operation failed under a box
    const auto load = [this] { commands->ShowBufferTab(1); }; // a file was loaded from a dialog
    const struct Case {
        const char* name;
        bool bufferTab; // the tab shown when the dialog opens
        std::function<QWidget*()> focused;
        std::function<void()> meanwhile;
        std::function<QWidget*()> expected;
    } cases[] = {
        { "the hex view", true, hex, [] {}, hex },
        { "the hex view, the log shown meanwhile", true, hex, failure, log },
        { "the log, the buffer shown meanwhile", false, log, load, hex },
        { "the header's field", true, [=] { return fileOffset; }, failure, [=] { return fileOffset; } },
        { "the command line", false, [this] { return CommandLine(); }, load, [this] { return CommandLine(); } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.bufferTab)
            commands->ShowBufferTab(1);
        else
            commands->ShowLogTab();
        c.focused()->setFocus();
        ASSERT_EQ(Focus(), c.focused());
        RunModalDialog(c.meanwhile);
        EXPECT_EQ(Focus(), c.expected());
    }

    // Without a dialog the same: keys typed after a failure showed the log do not edit the
    // hidden buffer.
    Main() = Bytes(16, 0xFF);
    commands->ShowBufferTab(1);
    Hex().setFocus();
    Hex().SetCursor(0);
    view->ShowFailure();
    EXPECT_EQ(Focus(), &LogPane());
    if (Focus())
        QTest::keyClicks(Focus(), "12");
    EXPECT_EQ(Main(), Bytes(16, 0xFF));
}

} // namespace
