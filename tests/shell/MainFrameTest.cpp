#include "shell/ui/MainFrame.h"

#include "controls/ui/IconButton.h"
#include "operations/OperationState.h"
#include "operations/ui/TonrigView.h"
#include "operations/ui/View2Header.h"
#include "platform/Resources.h"
#include "platform/ui/GdiShim.h"
#include "platform/ui/QtServices.h"
#include "shell/Language.h"
#include "shell/MenuTable.h"
#include "shell/ui/StatusBar.h"
#include "shell/ui/TonrigApp.h"
#include "support/RecordingMessageBox.h"
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QFile>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusTipEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QToolTip>

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <thread>

namespace {

class MainFrame : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(app.InitInstance());
        frame = app.MainFrame();
        ASSERT_NE(frame, nullptr);
        QCoreApplication::processEvents();
    }
    void TearDown() override { g_nOperationState = kStateIdle; }

    tonrig::test::ScopedSettingsFile settings;
    CTonrigApp app;
    CMainFrame* frame = nullptr;
};

TEST_F(MainFrame, OpensAt940By610CentredOnThePrimaryScreen)
{
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(frame->size(), QSize(940, 610));
    EXPECT_EQ(frame->pos(), QPoint(screen.x() + (screen.width() - 940) / 2, screen.y() + (screen.height() - 610) / 2));
    EXPECT_EQ(frame->windowTitle(), "Tonrig");
    EXPECT_EQ(g_pMainFrame, frame);
}

TEST_F(MainFrame, TheHeaderPaneKeepsItsNaturalWidthAndTheViewTakesTheRest)
{
    CTonrigView* view = frame->MainView();
    CView2Header* header = frame->HeaderPane();
    EXPECT_EQ(g_wndSplitter->GetPane(0, 0), view);
    EXPECT_EQ(g_wndSplitter->GetPane(0, 1), header);
    const int natural = header->sizeHint().width();
    EXPECT_EQ(header->width(), natural);
    EXPECT_EQ(view->width(), g_wndSplitter->width() - natural);
    EXPECT_EQ(header->x(), view->width());

    // Wider: the view widens, the header pane stays.
    frame->resize(1280, 1000);
    QCoreApplication::processEvents();
    EXPECT_EQ(header->width(), natural);
    EXPECT_EQ(view->width(), g_wndSplitter->width() - natural);
    EXPECT_EQ(view->height(), header->height());

    // Narrower than the panes need: the window stops at its minimum, both panes whole.
    frame->resize(300, 200);
    QCoreApplication::processEvents();
    EXPECT_GE(frame->width(), view->minimumSizeHint().width() + natural);
    EXPECT_EQ(header->width(), natural);
    EXPECT_GE(view->width(), view->minimumSizeHint().width());
}

// At the smallest size the window takes, every caption and status pane is whole and the header
// pane is shown.
TEST_F(MainFrame, AtItsMinimumSizeEveryButtonAndStatusPaneShowsItsWholeText)
{
    frame->show();
    // The longest firmware text the programmer gives.
    g_pStatusBar->SetPaneText(g_pStatusBar->CommandToIndex(106), "Firmware Rev: ZV-CQ Re-2.00");
    QCoreApplication::processEvents();
    frame->resize(1, 1);
    QCoreApplication::processEvents();
    ASSERT_LT(frame->width(), 940) << "the test wants the window at its minimum";

    auto fits = [](QWidget* widget, const QString& text) {
        const int advance = widget->fontMetrics().horizontalAdvance(text);
        return widget->isVisible() && advance <= widget->contentsRect().width();
    };
    QList<QPushButton*> buttons = frame->MainView()->findChildren<QPushButton*>();
    const QList<QPushButton*> headerButtons = frame->HeaderPane()->findChildren<QPushButton*>();
    buttons += headerButtons;
    ASSERT_GE(buttons.size(), 9);
    for (QPushButton* button : buttons) {
        if (!button->isVisibleTo(frame))
            continue;
        // A push button's frame and margins take about a character's width either side.
        const int advance = button->fontMetrics().horizontalAdvance(button->text());
        EXPECT_LE(advance + 8, button->width()) << button->text().toStdString();
        // A command button's caption shares the width with its icon and breaks onto more lines
        // where it must: it still stands whole in the button's height.
        if (qobject_cast<CIconButton*>(button)) {
            QPixmap icon;
            ASSERT_TRUE(icon.loadFromData(platform::LoadResource("ICON", 161).value()));
            const WinRect item { 0, 0, button->width(), button->height() };
            const WinRect caption
                = CIconButton::PrepareImageRect(item, icon.size(), true, 0, false, false, { 3, 3 }, { 1, 1 }).caption;
            const QRect wrapped = button->fontMetrics().boundingRect(
                QRect(0, 0, caption.Width(), 1000), Qt::TextWordWrap | Qt::AlignHCenter, button->text());
            EXPECT_LE(wrapped.height(), button->height()) << button->text().toStdString();
        }
    }
    const QList<QLabel*> panes = g_pStatusBar->findChildren<QLabel*>();
    ASSERT_EQ(panes.size(), 7);
    for (QLabel* pane : panes)
        EXPECT_TRUE(fits(pane, pane->text())) << pane->text().toStdString() << " in " << pane->width();
    CView2Header* header = frame->HeaderPane();
    EXPECT_TRUE(header->isVisible());
    EXPECT_GE(header->width(), header->sizeHint().width());
    EXPECT_EQ(header->x() + header->width(), g_wndSplitter->width());
}

TEST_F(MainFrame, StatusBarHasItsSevenPanes)
{
    ASSERT_EQ(g_pStatusBar, frame->StatusBar());
    ASSERT_EQ(g_hStatusBar, g_pStatusBar);
    // The state pane says what the view found at its start: no programmer answers here.
    ASSERT_EQ(g_nOperationState, kStateDisconnected);
    const std::vector<std::pair<UINT, std::string>> panes { { 0, "Ready" }, { 110, "Checksum: 0xFFFF" },
        { 103, "No programmer" }, { 106, "Firmware Rev: ---" }, { 59137, "CAP" }, { 59138, "NUM" }, { 59139, "SCRL" } };
    ASSERT_EQ(g_pStatusBar->GetCount(), 7);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(g_pStatusBar->GetItemID(i), panes[i].first) << i;
        EXPECT_EQ(g_pStatusBar->GetPaneText(i), panes[i].second) << i;
    }
    EXPECT_EQ(g_pStatusBar->CommandToIndex(106), 3);

    g_pStatusBar->SetPaneText(g_pStatusBar->CommandToIndex(110), "Checksum: 0x1234");
    EXPECT_EQ(g_pStatusBar->GetPaneText(1), "Checksum: 0x1234");

    std::thread worker([] { g_pStatusBar->SetPaneText(2, "Reading"); });
    worker.join();
    EXPECT_TRUE(tonrig::test::ProcessEventsUntil([] { return g_pStatusBar->GetPaneText(2) == "Reading"; }));
}

TEST_F(MainFrame, HoveringACommandShowsItsPromptInPaneZero)
{
    QStatusTipEvent tip(QString::fromStdString(CommandPrompt(32773)));
    QCoreApplication::sendEvent(frame, &tip);
    EXPECT_EQ(g_pStatusBar->GetPaneText(0), "Read data from device");
    QStatusTipEvent none { QString() };
    QCoreApplication::sendEvent(frame, &none);
    EXPECT_EQ(g_pStatusBar->GetPaneText(0), "Ready");
}

// One row per command: its menu text (the language table's where the view puts one), its
// shortcuts, and whether it is enabled (bound).
TEST_F(MainFrame, CommandTable)
{
    struct Row {
        UINT id;
        const char* text;
        std::vector<const char*> keys;
        bool enabled;
    };
    const Row rows[] = {
        { 57601, "Open...\tCtl+O", { "Ctrl+O" }, true },
        { 57603, "Save\tCtl+S", { "Ctrl+S" }, true },
        { 57604, "Save As...", {}, true },
        { 57606, "P&rint Setup...", {}, true },
        { 57607, "&Print...", { "Ctrl+P" }, false },
        { 57616, "Recent File", {}, false },
        { 57665, "Exit", {}, true },
        { 57600, "&New", { "Ctrl+N" }, true },
        { 57643, "&Undo", { "Ctrl+Z", "Alt+Backspace" }, false },
        { 57634, "&Copy", { "Ctrl+C", "Ctrl+Ins" }, false },
        { 57637, "&Paste", { "Ctrl+V", "Shift+Ins" }, false },
        { 57635, "Cu&t", { "Ctrl+X", "Shift+Del" }, false },
        { 32947, "Find\tCtl+F", { "Ctrl+F" }, true },
        { 32948, "Find Next\tF3", { "F3" }, true },
        { 32812, "Fill Buffer Hex", { "Ctrl+H" }, true },
        { 59392, "Tool Bar", {}, true },
        { 59393, "Status Bar", {}, true },
        { 32945, "Device List\tCtl+D", { "Ctrl+D" }, true },
        { 32946, "Select Device", {}, true },
        { 32974, "New Device Request", {}, true },
        { 32803, "Read\tCtl+R", { "Ctrl+R" }, true },
        { 32804, "Write\tCtl+W", { "Ctrl+W" }, true },
        { 32807, "Get ID\tCtl+I", { "Ctrl+I" }, true },
        { 32809, "Lock\tCtl+L", { "Ctrl+L" }, true },
        { 32918, "Buffer Byte Swap\tCtl+U", { "Ctrl+U" }, true },
        { 32962, "Run &Script", { "F5" }, true },
        { 32963, "Stop Script", { "Esc" }, true },
        { 32949, "Detect Hardware", {}, false },
        { 32958, "Language", {}, true },
        { 32951, "Help", {}, false },
        { 57664, "About Tonrig", {}, true },
        { 57680, "Next Pane", { "F6" }, true },
        { 57681, "Previous Pane", { "Shift+F6" }, true },
        { 32772, "Write", {}, true },
        { 32773, "Read", {}, true },
        { 32774, "Erase", {}, true },
        { 32775, "Verify", {}, true },
        { 32776, "Lock/Unlock", {}, true },
        { 32777, "Signature ID", {}, true },
        { 32778, "Blank check", {}, true },
        { 32782, "Batch Run", {}, true },
        { 32811, "Fill buffer with 0xFF", {}, true },
        { 32900, "Config device", {}, true },
        { 32920, "Byte Swap", {}, true },
        { 32922, "Calculator", {}, true },
        { 32977, "8/16-bit display", {}, false },
    };
    platform::CommandTable& commands = frame->Commands();
    commands.Refresh();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.id);
        QAction* action = commands.Action(row.id);
        ASSERT_NE(action, nullptr);
        EXPECT_EQ(action->text().toStdString(), row.text);
        QList<QKeySequence> expected;
        for (const char* key : row.keys)
            expected.append(QKeySequence(key));
        EXPECT_EQ(action->shortcuts(), expected);
        EXPECT_EQ(action->isEnabled(), row.enabled);
    }
}

TEST_F(MainFrame, MenuBarFollowsTheMenuTable)
{
    const QList<QAction*> popups = frame->menuBar()->actions();
    const auto& table = MainMenuTable();
    ASSERT_EQ(popups.size(), static_cast<qsizetype>(table.size()));
    for (size_t p = 0; p < table.size(); ++p) {
        SCOPED_TRACE(table[p].title);
        // The titles are the language table's texts 0 to 7 once the view has started.
        EXPECT_EQ(popups[p]->text().toStdString(), g_Language.GetText(static_cast<int>(p)));
        std::vector<UINT> shown;
        for (QAction* item : popups[p]->menu()->actions())
            if (item->isSeparator() || item->isVisible())
                shown.push_back(item->isSeparator() ? 0 : item->data().toUInt());
        std::vector<UINT> expected;
        for (const MenuItemDef& item : table[p].items)
            expected.push_back(item.id);
        EXPECT_EQ(shown, expected);
    }
}

TEST_F(MainFrame, MenuLoadsFromTemplate128WithItsImages)
{
    VarnMenu& menu = frame->Menu();
    EXPECT_TRUE(menu.IsLoadedFromTemplate());
    const auto& table = MainMenuTable();
    ASSERT_EQ(menu.OwnPopups().size(), table.size());
    ASSERT_EQ(frame->menuBar()->actions().size(), 8);
    EXPECT_EQ(frame->FileMenu(), menu.OwnPopups()[0].get());
    for (size_t p = 0; p < table.size(); ++p) {
        VarnMenu* popup = menu.OwnPopups()[p].get();
        EXPECT_EQ(frame->menuBar()->actions()[static_cast<qsizetype>(p)], popup->menuAction());
        EXPECT_EQ(menu.ItemRecords()[p]->m_nFlags, MF_BYPOSITION | MF_POPUP);
        EXPECT_TRUE(VarnMenu::IsOwnMenu(popup));
        ASSERT_EQ(popup->ItemRecords().size(), table[p].items.size()) << table[p].title;
        for (size_t i = 0; i < table[p].items.size(); ++i) {
            const VarnMenuItemRecord& record = *popup->ItemRecords()[i];
            EXPECT_TRUE(record.m_nFlags & MF_OWNERDRAW);
            EXPECT_EQ(record.m_nCommand, table[p].items[i].id);
            if (table[p].items[i].text) {
                EXPECT_EQ(record.m_pszText.left(3), QString::fromUtf8(table[p].items[i].text).left(3));
            }
        }
    }

    // The six images: one per command, Save and Save As alike, Find and Find Next alike.
    std::map<UINT, int> images;
    for (UINT id : { 32959u, 57601u, 57603u, 57604u, 32947u, 32948u }) {
        const VarnMenuItemRecord* record = menu.FindItemRecord(id);
        ASSERT_NE(record, nullptr) << id;
        EXPECT_GE(record->m_nGlobalImage, 0) << id;
        images[id] = record->m_nGlobalImage;
    }
    EXPECT_EQ(g_VarnMenuImages.Image(images[57603]), g_VarnMenuImages.Image(images[57604]));
    EXPECT_EQ(g_VarnMenuImages.Image(images[32947]), g_VarnMenuImages.Image(images[32948]));
    EXPECT_NE(g_VarnMenuImages.Image(images[57601]), g_VarnMenuImages.Image(images[57603]));
    EXPECT_EQ(menu.FindItemRecord(57665)->m_nGlobalImage, -1);

    // Two recent files: records of their own at the next opening.
    QTemporaryDir dir;
    for (const char* name : { "a.bin", "b.hex" }) {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    app.AddToRecentFileList(dir.filePath("a.bin").toStdString());
    app.AddToRecentFileList(dir.filePath("b.hex").toStdString());
    VarnMenu* file = frame->FileMenu();
    const size_t before = file->ItemRecords().size();
    file->popup(QPoint(0, 0));
    file->hide();
    ASSERT_EQ(file->ItemRecords().size(), before + 1);
    int position = -1;
    ASSERT_EQ(menu.FindCommandItem(ID_FILE_MRU_FILE1, position), file);
    EXPECT_TRUE(file->ItemRecords()[static_cast<size_t>(position)]->m_pszText.startsWith("&1 "));
    EXPECT_TRUE(file->ItemRecords()[static_cast<size_t>(position)]->m_pszText.endsWith("b.hex"));
    EXPECT_TRUE(file->ItemRecords()[static_cast<size_t>(position) + 1]->m_pszText.startsWith("&2 "));

    // Loading again replaces the tree without leaving popups behind.
    const size_t popups = g_VarnMenuPopups.size();
    ASSERT_TRUE(menu.LoadMenuTemplate(128));
    ASSERT_TRUE(menu.LoadMenuTemplate(128));
    EXPECT_EQ(g_VarnMenuPopups.size(), popups);
}

TEST_F(MainFrame, EveryPopupIsMeasuredAndDrawnByTheMenu)
{
    auto colours = [](const QImage& img, const QRect& r) {
        std::set<COLORREF> out;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                out.insert(platform::FromQColor(img.pixelColor(x, y)));
        return out;
    };
    const int K = g_nVarnMenuImageWidth + 4;
    const COLORREF xpColumn = LightenColor(GetSysColor(COLOR_BTNFACE), 0.25);
    for (int look : { 1, 0 }) {
        VarnMenu::SelectDrawStyle(look);
        for (const auto& owned : frame->Menu().OwnPopups()) {
            VarnMenu* popup = owned.get();
            SCOPED_TRACE(popup->title().toStdString() + (look ? " XP" : " classic"));
            popup->popup(QPoint(300, 200));
            int widest = 0;
            for (int i = 0; i < popup->GetMenuItemCount(); ++i) {
                QAction* action = popup->ActionAt(i);
                VarnMenuMeasureRecord measure;
                measure.itemData = popup->RecordFor(action);
                ASSERT_NE(measure.itemData, nullptr);
                popup->MeasureItem(measure);
                EXPECT_EQ(popup->actionGeometry(action).height(), static_cast<int>(measure.itemHeight)) << i;
                widest = std::max(widest, static_cast<int>(measure.itemWidth));
            }
            EXPECT_GE(popup->width(), widest);
            const QImage shot = popup->grab().toImage();
            // The image column of an item without image: F in the XP look, never in the classic one.
            const QRect last = popup->actionGeometry(popup->ActionAt(popup->GetMenuItemCount() - 1));
            const std::set<COLORREF> column = colours(shot, QRect(last.left() + 1, last.top() + 1, K - 2, 2));
            EXPECT_EQ(column.count(xpColumn), look == 1 ? 1u : 0u);
            if (popup == frame->FileMenu()) {
                for (UINT id : { ID_FILE_OPEN, ID_FILE_SAVE }) {
                    const QRect item = popup->actionGeometry(frame->Commands().Action(id));
                    EXPECT_TRUE(colours(shot, QRect(item.left(), item.top(), K, item.height()))
                                    .count(GetSysColor(COLOR_BTNTEXT)))
                        << id;
                }
            }
            popup->hide();
        }
    }
    VarnMenu::SelectDrawStyle(1);
}

TEST_F(MainFrame, ToolbarHasNineteenButtonsWithTheirTips)
{
    std::vector<UINT> shown;
    int buttons = 0;
    for (QAction* action : frame->ToolBar()->actions()) {
        shown.push_back(action->isSeparator() ? 0 : action->data().toUInt());
        if (!action->isSeparator()) {
            ++buttons;
            EXPECT_FALSE(action->icon().isNull()) << action->data().toUInt();
        }
    }
    EXPECT_EQ(shown, ToolbarTable());
    EXPECT_EQ(buttons, 19);

    QAction* read = frame->Commands().Action(32773);
    EXPECT_EQ(read->toolTip(), "Read");
    EXPECT_EQ(read->statusTip(), "Read data from device");
    for (UINT silent : { 32977u, 32962u, 32963u, 32951u })
        EXPECT_TRUE(CommandTooltip(silent).empty()) << silent;
    for (UINT silent : { 32962u, 32963u })
        EXPECT_TRUE(frame->Commands().Action(silent)->statusTip().isEmpty()) << silent;
}

// Every item of the menu and the toolbar either has a handler and is enabled, or is greyed and its
// status tip says that the program does not have it; the README names the greyed ones.
TEST_F(MainFrame, GreyedItemsSayTheyAreNotAvailable)
{
    std::set<UINT> shown(ToolbarTable().begin(), ToolbarTable().end());
    for (const MenuPopupDef& popup : MainMenuTable())
        for (const MenuItemDef& item : popup.items)
            shown.insert(item.id);
    shown.erase(0);
    shown.erase(ID_FILE_MRU_FILE1); // greyed while the list is empty
    shown.erase(57634); // Copy, Cut and Paste wait for something to take
    shown.erase(57635);
    shown.erase(57637);
    platform::CommandTable& commands = frame->Commands();
    commands.Refresh();
    std::set<UINT> greyed;
    for (UINT id : shown) {
        SCOPED_TRACE(id);
        QAction* action = commands.Action(id);
        ASSERT_NE(action, nullptr);
        EXPECT_EQ(action->isEnabled(), commands.IsBound(id));
        if (!action->isEnabled()) {
            greyed.insert(id);
            EXPECT_EQ(action->statusTip().toStdString(), kCommandNotAvailablePrompt);
        } else {
            EXPECT_NE(action->statusTip().toStdString(), kCommandNotAvailablePrompt);
        }
    }
    // File: Load Extended Algorithm, Load CPLD, Split 16Bit Buffer To Files, Print, Print
    // Preview; Commands: Read Data, Write Data; Tools: Detect Hardware, Test H/W; Setting: Font;
    // Help: Help, Supported List; the 8/16-bit display button.
    EXPECT_EQ(greyed,
        (std::set<UINT> { 32824, 32979, 32960, 57607, 57609, 32896, 32978, 32949, 32826, 32969, 32951, 32950, 32977 }));
    EXPECT_EQ(commands.Action(ID_FILE_MRU_FILE1)->statusTip(), "Open this file");

    // Pointing at a greyed item of an open menu puts the tip into pane 0.
    QApplication::setActiveWindow(frame);
    QMenu* file = frame->menuBar()->actions().front()->menu();
    file->popup(frame->mapToGlobal(QPoint(10, 10)));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(file));
    QAction* print = commands.Action(57607);
    QTest::mouseMove(file, file->actionGeometry(print).center());
    EXPECT_TRUE(tonrig::test::ProcessEventsUntil([&] {
        return g_pStatusBar->GetPaneText(0) == kCommandNotAvailablePrompt;
    })) << g_pStatusBar->GetPaneText(0);
    file->hide();
}

TEST_F(MainFrame, ViewBarsToggleAndTheirChecksFollow)
{
    QAction* toolbar = frame->Commands().Action(ID_VIEW_TOOLBAR);
    ASSERT_TRUE(toolbar->isChecked());
    toolbar->trigger();
    QCoreApplication::processEvents();
    EXPECT_FALSE(frame->ToolBar()->isVisible());
    EXPECT_FALSE(toolbar->isChecked());
    frame->Commands().Execute(ID_VIEW_STATUS_BAR);
    EXPECT_FALSE(frame->StatusBar()->isVisible());
}

TEST_F(MainFrame, ForwardedCommandsReachTheViewWhicheverPaneHasFocus)
{
    tonrig::test::RecordingMessageBox boxes;
    CTonrigView* view = frame->MainView();
    g_nOperationState = kStateIdle;
    for (QWidget* focus : { static_cast<QWidget*>(frame->HeaderPane()), static_cast<QWidget*>(&view->MessageLog()) }) {
        SCOPED_TRACE(focus->metaObject()->className());
        focus->setFocus();
        view->MessageLog().OnClearAll();
        // The Device menu's and the toolbar's operations: each reaches the view's device check.
        for (UINT id : { 32803u, 32804u, 32805u, 32808u, 32772u, 32773u, 32775u, 32778u, 32782u }) {
            const std::size_t before = boxes.Count();
            frame->Commands().Action(id)->trigger();
            ASSERT_EQ(boxes.Count(), before + 1) << id << " reached the view";
            EXPECT_EQ(boxes.Boxes().back().text, "No device selected.");
        }

        view->m_CodeBuffer[0] = 0x12;
        view->m_CodeBuffer[1] = 0x34;
        frame->Commands().Action(32918)->trigger();
        EXPECT_EQ(view->m_CodeBuffer[0], 0x34);
        EXPECT_EQ(view->m_CodeBuffer[1], 0x12);
        frame->Commands().Action(32920)->trigger();
        EXPECT_EQ(view->m_CodeBuffer[0], 0x12);
    }
}

TEST_F(MainFrame, ShortcutsWorkFromEitherPane)
{
    QApplication::setActiveWindow(frame);
    CTonrigView* view = frame->MainView();
    view->m_CodeBuffer[0] = 0x12;
    view->m_CodeBuffer[1] = 0x34;
    frame->HeaderPane()->setFocus();
    QTest::keyClick(frame->HeaderPane(), Qt::Key_U, Qt::ControlModifier);
    EXPECT_EQ(view->m_CodeBuffer[0], 0x34);
    view->MessageLog().setFocus();
    QTest::keyClick(&view->MessageLog(), Qt::Key_U, Qt::ControlModifier);
    EXPECT_EQ(view->m_CodeBuffer[0], 0x12);
    QTest::keyClick(&view->MessageLog(), Qt::Key_F6);
    EXPECT_TRUE(frame->HeaderPane()->hasFocus());
}

TEST_F(MainFrame, ToolbarTooltipsShowOnlyWhereTheCommandHasOne)
{
    auto tipOf = [&](UINT id) {
        QWidget* button = frame->ToolBar()->widgetForAction(frame->Commands().Action(id));
        QToolTip::showText(button->mapToGlobal(QPoint(2, 2)), "none", button);
        QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), button->mapToGlobal(QPoint(2, 2)));
        QCoreApplication::sendEvent(button, &help);
        return QToolTip::text().toStdString();
    };
    EXPECT_EQ(tipOf(32773), "Read");
    EXPECT_EQ(tipOf(32782), "Batch Run");
    EXPECT_EQ(tipOf(32977), "none"); // no tooltip of its own replaced the one shown
    EXPECT_EQ(tipOf(32951), "none");
}

TEST_F(MainFrame, NextPaneMovesFocusBetweenThePanes)
{
    frame->activateWindow();
    frame->MainView()->MessageLog().setFocus();
    frame->Commands().Execute(ID_NEXT_PANE);
    EXPECT_TRUE(frame->HeaderPane()->hasFocus());
    frame->Commands().Execute(ID_PREV_PANE);
    EXPECT_TRUE(frame->MainView()->MessageLog().hasFocus());
}

} // namespace
