// Scrolling and the keyboard: the scroll codes, bringing a cell into view, the auto-scroll
// timer, the keys that move the focus and select, the characters that start an edit, and the
// clipboard keys against a window's own shortcut.

#include "GridTestSupport.h"

#include <QAction>
#include <QDialog>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMainWindow>
#include <QScrollBar>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using gridtest::TestGrid;

namespace {

// Records the operations that the editing and clipboard parts of the grid fill.
class RecordingGrid : public TestGrid {
public:
    using TestGrid::keyPressEvent;
    using TestGrid::m_ptLastMouse;
    using TestGrid::TestGrid;

    struct Call {
        std::string what;
        GridEditStart first;
        friend bool operator==(const Call&, const Call&) = default;
    };
    std::vector<Call> calls;
    std::vector<int> notices;
    int paints = 0;

    void BeginCellEdit(int, int, QPoint, GridEditStart first) override { calls.push_back({ "edit", first }); }
    void OnEditCopy() override { calls.push_back({ "copy", {} }); }
    void OnEditPaste() override { calls.push_back({ "paste", {} }); }
    void OnEditCut() override { calls.push_back({ "cut", {} }); }
    void OnEditSelectAll() override { calls.push_back({ "select all", {} }); }
    void ClearSelectedText() override { calls.push_back({ "clear", {} }); }
    void OnDraw(QPainter* painter, const WinRect& clip) override
    {
        ++paints;
        TestGrid::OnDraw(painter, clip);
    }
    void RecordNotices()
    {
        SetOwnerHandler([this](GridNotify& n) {
            notices.push_back(n.code);
            return 0;
        });
    }
};

class GridKeys : public gridtest::GridWindowTest {
protected:
    // Ten rows of 20 pixels and columns 50, 0, 80, 0, 80, 0 behind one fixed row and column,
    // in a 150 x 100 viewport: both directions scroll.
    std::unique_ptr<RecordingGrid> NavigationGrid()
    {
        auto grid = MakeGrid<RecordingGrid>({ 50, 0, 80, 0, 80, 0 }, std::vector<int>(10, 20), 1, 1, 150, 100);
        QApplication::setActiveWindow(grid.get());
        grid->setFocus();
        return grid;
    }
};

struct NavCase {
    const char* name;
    CGridCellPos start;
    int key;
    Qt::KeyboardModifiers modifiers;
    CGridCellPos expected;
    int hpos = -1, vpos = -1; // scroll values to start from (-1: as they are)
};

TEST_F(GridKeys, KeysMoveTheFocusOverVisibleLines)
{
    const auto shift = Qt::ShiftModifier;
    const auto ctrl = Qt::ControlModifier;
    const std::vector<NavCase> cases = {
        { "right skips a hidden column", { 2, 2 }, Qt::Key_Right, {}, { 2, 4 } },
        { "left skips it back", { 2, 4 }, Qt::Key_Left, {}, { 2, 2 } },
        { "left with every column to the left hidden", { 2, 2 }, Qt::Key_Left, {}, { 2, 2 } },
        { "right with every column to the right hidden", { 2, 4 }, Qt::Key_Right, {}, { 2, 4 } },
        { "home", { 2, 4 }, Qt::Key_Home, {}, { 2, 2 } },
        { "end", { 2, 2 }, Qt::Key_End, {}, { 2, 4 } },
        { "down", { 2, 2 }, Qt::Key_Down, {}, { 3, 2 } },
        { "up stops at the first normal row", { 1, 2 }, Qt::Key_Up, {}, { 1, 2 } },
        { "tab along the row", { 2, 2 }, Qt::Key_Tab, {}, { 2, 4 } },
        { "tab changes line", { 2, 4 }, Qt::Key_Tab, {}, { 3, 2 } },
        { "backtab to the last column of the row above", { 3, 2 }, Qt::Key_Backtab, shift, { 2, 4 } },
        { "shift and tab, the other way it arrives", { 3, 2 }, Qt::Key_Tab, shift, { 2, 4 } },
        { "tab on the last cell of the last row", { 9, 4 }, Qt::Key_Tab, {}, { 9, 4 } },
        { "ctrl home", { 7, 4 }, Qt::Key_Home, ctrl, { 1, 2 }, 1000, 1000 },
        { "ctrl end", { 1, 2 }, Qt::Key_End, ctrl, { 9, 4 }, 0, 0 },
        { "page down on the last page", { 7, 2 }, Qt::Key_PageDown, {}, { 9, 2 }, 0, 1000 },
        { "page up on the first page", { 3, 2 }, Qt::Key_PageUp, {}, { 1, 2 }, 0, 0 },
        { "page down moves by the rows scrolled", { 2, 2 }, Qt::Key_PageDown, {}, { 6, 2 }, 0, 0 },
    };
    for (const NavCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto grid = NavigationGrid();
        if (c.hpos >= 0)
            grid->horizontalScrollBar()->setValue(c.hpos);
        if (c.vpos >= 0)
            grid->verticalScrollBar()->setValue(c.vpos);
        grid->SetFocusCell(c.start);
        QTest::keyClick(grid.get(), static_cast<Qt::Key>(c.key), c.modifiers);
        EXPECT_EQ(grid->GetFocusCell(), c.expected);
        if (!(c.expected == c.start)) {
            EXPECT_TRUE(grid->IsCellVisible(grid->GetFocusCell())) << "scrolled into view";
        }
        EXPECT_TRUE(grid->calls.empty());
    }

    // Home and End scroll to the ends, with Control both ways.
    auto grid = NavigationGrid();
    const QScrollBar* h = grid->horizontalScrollBar();
    const QScrollBar* v = grid->verticalScrollBar();
    ASSERT_GT(h->maximum(), 0);
    ASSERT_GT(v->maximum(), 0);
    grid->SetFocusCell(5, 2);
    QTest::keyClick(grid.get(), Qt::Key_End);
    EXPECT_EQ(h->value(), h->maximum());
    EXPECT_EQ(grid->GetFocusCell().row, 5) << "End alone keeps the row";
    QTest::keyClick(grid.get(), Qt::Key_Home);
    EXPECT_EQ(h->value(), 0);
    QTest::keyClick(grid.get(), Qt::Key_End, ctrl);
    EXPECT_EQ(h->value(), h->maximum());
    EXPECT_EQ(v->value(), v->maximum());
    QTest::keyClick(grid.get(), Qt::Key_Home, ctrl);
    EXPECT_EQ(h->value(), 0);
    EXPECT_EQ(v->value(), 0);
}

TEST_F(GridKeys, TabOnTheLastCellStaysInTheGridOfADialog)
{
    QDialog dialog;
    auto* layout = new QVBoxLayout(&dialog);
    auto* grid = new RecordingGrid(4, 3, 1, 1);
    layout->addWidget(grid);
    layout->addWidget(new QLineEdit);
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    grid->setFocus();
    grid->SetFocusCell(3, 2);
    QTest::keyClick(grid, Qt::Key_Tab);
    EXPECT_EQ(grid->GetFocusCell(), CGridCellPos(3, 2));
    EXPECT_EQ(QApplication::focusWidget(), grid);
    QTest::keyClick(grid, Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(grid->GetFocusCell(), CGridCellPos(3, 1));
    EXPECT_EQ(QApplication::focusWidget(), grid);
}

TEST_F(GridKeys, ShiftExtendsTheSelectionFromTheAnchor)
{
    auto grid = MakeGrid<RecordingGrid>(std::vector<int>(6, 30), std::vector<int>(6, 15), 1, 1, 300, 200);
    grid->RecordNotices();
    grid->SetFocusCell(2, 2);
    const auto range = [](int r1, int c1, int r2, int c2) {
        std::set<CGridCellPos> cells;
        for (int r = r1; r <= r2; ++r)
            for (int c = c1; c <= c2; ++c)
                cells.insert({ r, c });
        return cells;
    };
    QTest::keyClick(grid.get(), Qt::Key_Right);
    EXPECT_EQ(grid->SelectedBits(), range(2, 3, 2, 3)) << "a plain arrow moves the anchor";
    QTest::keyClick(grid.get(), Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(grid->SelectedBits(), range(2, 3, 3, 3));
    QTest::keyClick(grid.get(), Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(grid->SelectedBits(), range(2, 3, 3, 4));
    EXPECT_EQ(grid->notices,
        std::vector<int>(
            { GN_SELCHANGING, GN_SELCHANGED, GN_SELCHANGING, GN_SELCHANGED, GN_SELCHANGING, GN_SELCHANGED }));
    QTest::keyClick(grid.get(), Qt::Key_Left);
    EXPECT_EQ(grid->SelectedBits(), range(3, 3, 3, 3));
    EXPECT_TRUE(grid->Consistent());

    grid->SetListMode(TRUE);
    grid->SetFocusCell(2, 2);
    QTest::keyClick(grid.get(), Qt::Key_Down);
    EXPECT_EQ(grid->SelectedBits(), range(3, 1, 3, 5)) << "list mode selects whole rows";
    QTest::keyClick(grid.get(), Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(grid->SelectedBits(), range(3, 1, 4, 5));
}

TEST_F(GridKeys, ScrollCodesMoveByTheGridsSteps)
{
    // Columns 40 (fixed), 30, 0, 50, 60, 70, 80, 90, 100 in a 200-pixel viewport.
    auto grid
        = MakeGrid<RecordingGrid>({ 40, 30, 0, 50, 60, 70, 80, 90, 100 }, std::vector<int>(12, 20), 1, 1, 200, 100);
    const QScrollBar* h = grid->horizontalScrollBar();
    const int page = grid->viewport()->width() - 40;
    struct Step {
        const char* name;
        UINT code;
        int track;
        int pos;
        int topLeftCol;
    };
    const std::vector<Step> steps = {
        { "line right by the first column", GRID_SB_LINERIGHT, -1, 30, 2 },
        { "line right over the hidden column", GRID_SB_LINERIGHT, -1, 80, 4 },
        { "line left by the nearest visible column", GRID_SB_LINELEFT, -1, 30, 2 },
        { "page left clamps at 0", GRID_SB_PAGELEFT, -1, 0, 1 },
        { "line left at 0 does nothing", GRID_SB_LINELEFT, -1, 0, 1 },
        { "page right", GRID_SB_PAGERIGHT, -1, page, -2 },
        { "page right again", GRID_SB_PAGERIGHT, -1, 2 * page, -2 },
        { "page right clamps at the range", GRID_SB_PAGERIGHT, -1, h->maximum(), -2 },
        { "line right at the end does nothing", GRID_SB_LINERIGHT, -1, h->maximum(), -2 },
        { "left end", GRID_SB_LEFT, -1, 0, 1 },
        { "right end", GRID_SB_RIGHT, -1, h->maximum(), -2 },
        { "thumb track", GRID_SB_THUMBTRACK, 81, 81, 5 },
        { "thumb position", GRID_SB_THUMBPOSITION, 31, 31, 4 },
        { "end of scroll", GRID_SB_ENDSCROLL, -1, 31, 4 },
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.name);
        grid->OnHScroll(s.code, s.track);
        EXPECT_EQ(h->value(), s.pos);
        if (s.topLeftCol != -2) {
            EXPECT_EQ(grid->GetTopleftNonFixedCell().col, s.topLeftCol);
        }
    }

    // The scroll bar's own actions take the grid's steps.
    grid->OnHScroll(GRID_SB_LEFT);
    grid->horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(h->value(), 30);
    grid->horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(h->value(), 80);
    grid->horizontalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepSub);
    EXPECT_EQ(h->value(), 0);
    grid->verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(grid->verticalScrollBar()->value(), 20);
    grid->verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMaximum);
    EXPECT_EQ(grid->verticalScrollBar()->value(), grid->verticalScrollBar()->maximum());

    // A thumb move that keeps the top-left cell paints nothing.
    grid->OnHScroll(GRID_SB_THUMBTRACK, 31);
    QApplication::processEvents();
    grid->paints = 0;
    grid->OnHScroll(GRID_SB_THUMBTRACK, 60);
    QApplication::processEvents();
    EXPECT_EQ(grid->GetTopleftNonFixedCell().col, 4);
    EXPECT_EQ(grid->paints, 0);
    grid->OnHScroll(GRID_SB_THUMBTRACK, 81);
    QApplication::processEvents();
    EXPECT_GT(grid->paints, 0);
}

TEST_F(GridKeys, EnsureVisibleBringsTheWholeCellIn)
{
    struct Case {
        const char* name;
        int hpos, vpos;
        CGridCellPos cell;
    };
    const std::vector<Case> cases = {
        { "to the right", 0, 0, { 3, 6 } },
        { "below", 0, 0, { 11, 2 } },
        { "to the left", 1000, 0, { 3, 1 } },
        { "above", 0, 1000, { 1, 3 } },
        { "a partly visible last column", 0, 0, { 2, 5 } },
        { "the last cell", 0, 0, { 11, 6 } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto grid = MakeGrid<RecordingGrid>({ 40, 30, 0, 50, 60, 70, 80 }, std::vector<int>(12, 20), 1, 1, 200, 100);
        grid->horizontalScrollBar()->setValue(c.hpos);
        grid->verticalScrollBar()->setValue(c.vpos);
        if (c.cell.col == 5) {
            WinRect before;
            ASSERT_TRUE(grid->GetCellRect(c.cell, before));
            ASSERT_TRUE(grid->IsCellVisible(c.cell));
            ASSERT_GT(before.right, grid->GetClientRect().right) << "starts partly visible";
        }
        grid->EnsureVisible(c.cell);
        WinRect rect;
        ASSERT_TRUE(grid->GetCellRect(c.cell, rect)) << "scrolled out still";
        const WinRect client = grid->GetClientRect();
        EXPECT_LE(rect.right, client.right);
        EXPECT_LE(rect.bottom, client.bottom);
        EXPECT_TRUE(grid->IsCellVisible(c.cell));
    }
}

struct CharCase {
    const char* name;
    int key;
    Qt::KeyboardModifiers modifiers;
    QString text;
    bool inDialog;
    bool wantTab;
    std::vector<RecordingGrid::Call> expected;
};

TEST_F(GridKeys, CharactersStartEditsAndKeysReachTheirOperations)
{
    using Call = RecordingGrid::Call;
    const auto edit = [](UINT ch) { return Call { "edit", GridEditStart::Char(ch) }; };
    const std::vector<CharCase> cases = {
        { "a letter", Qt::Key_X, {}, "x", false, true, { edit('x') } },
        { "a parenthesis is a character, not the down key", Qt::Key_ParenLeft, {}, "(", false, true, { edit('(') } },
        { "a dollar is a character, not Home", Qt::Key_Dollar, {}, "$", false, true, { edit('$') } },
        { "backspace", Qt::Key_Backspace, {}, "\b", false, true, { edit(8) } },
        { "return in a plain window", Qt::Key_Return, {}, "\r", false, true, { edit(13) } },
        { "return in a dialog is the dialog's", Qt::Key_Return, {}, "\r", true, true, {} },
        { "tab while the grid wants it moves", Qt::Key_Tab, {}, "\t", false, true, {} },
        { "tab while it does not is a character", Qt::Key_Tab, {}, "\t", false, false, { edit(9) } },
        { "ctrl x cuts", Qt::Key_X, Qt::ControlModifier, "\x18", false, true, { { "cut", {} } } },
        { "ctrl c copies", Qt::Key_C, Qt::ControlModifier, "\x03", false, true, { { "copy", {} } } },
        { "ctrl v pastes", Qt::Key_V, Qt::ControlModifier, "\x16", false, true, { { "paste", {} } } },
        { "ctrl a selects all", Qt::Key_A, Qt::ControlModifier, "\x01", false, true, { { "select all", {} } } },
        { "shift insert pastes", Qt::Key_Insert, Qt::ShiftModifier, "", false, true, { { "paste", {} } } },
        { "alt x is the system's", Qt::Key_X, Qt::AltModifier, "x", false, true, {} },
        { "delete clears", Qt::Key_Delete, {}, "\x7f", false, true, { { "clear", {} } } },
        { "escape", Qt::Key_Escape, {}, "\x1b", false, true, {} },
        { "f2", Qt::Key_F2, {}, "", false, true, { { "edit", GridEditStart::Key(GRID_KEY_F2) } } },
    };
    for (const CharCase& c : cases) {
        SCOPED_TRACE(c.name);
        QDialog dialog;
        QWidget plain;
        QWidget* window = c.inDialog ? static_cast<QWidget*>(&dialog) : &plain;
        auto* layout = new QVBoxLayout(window);
        auto* grid = new RecordingGrid(4, 4, 1, 1);
        layout->addWidget(grid);
        grid->SetWantTab(c.wantTab);
        grid->SetFocusCell(1, 1);
        QKeyEvent event(QEvent::KeyPress, c.key, c.modifiers, c.text);
        grid->keyPressEvent(&event);
        EXPECT_EQ(grid->calls, c.expected);
    }

    // An input method's commit string, a character at a time.
    RecordingGrid grid(3, 3, 1, 1);
    grid.SetFocusCell(1, 1);
    QInputMethodEvent ime;
    ime.setCommitString(QString::fromUtf8("ä"));
    QApplication::sendEvent(&grid, &ime);
    EXPECT_EQ(grid.calls, std::vector<Call>({ edit(0xE4) }));
    EXPECT_TRUE(grid.testAttribute(Qt::WA_InputMethodEnabled));
    EXPECT_EQ(grid.focusPolicy(), Qt::StrongFocus);

    // No focus cell: the grid leaves every key alone.
    RecordingGrid unfocused(3, 3, 1, 1);
    QKeyEvent key(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, "x");
    unfocused.keyPressEvent(&key);
    EXPECT_FALSE(key.isAccepted());
    EXPECT_TRUE(unfocused.calls.empty());
}

TEST_F(GridKeys, AWindowShortcutWinsOverTheClipboardKeys)
{
    QMainWindow frame;
    auto* grid = new RecordingGrid(4, 4, 1, 1);
    frame.setCentralWidget(grid);
    int copies = 0;
    auto* copy = new QAction("Copy", &frame);
    copy->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    QObject::connect(copy, &QAction::triggered, [&] { ++copies; });
    frame.addAction(copy);
    frame.show();
    QApplication::setActiveWindow(&frame);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
    grid->setFocus();
    grid->SetFocusCell(1, 1);
    QTest::keyClick(grid, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(copies, 1);
    EXPECT_TRUE(grid->calls.empty());

    QDialog dialog;
    auto* layout = new QVBoxLayout(&dialog);
    auto* inDialog = new RecordingGrid(4, 4, 1, 1);
    layout->addWidget(inDialog);
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    inDialog->setFocus();
    inDialog->SetFocusCell(1, 1);
    QTest::keyClick(inDialog, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(inDialog->calls, std::vector<RecordingGrid::Call>({ { "copy", {} } }));
}

TEST_F(GridKeys, TheScrollTimerStepsAndSelectsToTheEdge)
{
    // Rows of 20 below a fixed row of 20 in a 100-pixel viewport: four rows show.
    auto grid = MakeGrid<RecordingGrid>({ 50, 50, 50, 50 }, std::vector<int>(20, 20), 1, 1, 300, 100);
    ASSERT_EQ(grid->GetUnobstructedNonFixedCellRange().maxRow, 4);
    grid->SetFocusCell(4, 1);
    grid->m_AnchorCell = { 1, 1 };
    grid->m_nMouseState = GRID_MOUSE_SELECT_CELLS;
    grid->m_ptLastMouse = QPoint(60, 150);
    grid->OnTimer(GRID_SCROLL_TIMER);
    EXPECT_EQ(grid->verticalScrollBar()->value(), 20) << "one row down";
    EXPECT_EQ(grid->GetFocusCell(), CGridCellPos(5, 1));
    // The cell at the client bottom edge (the row just below the last one shown).
    const CGridCellSpan selected = grid->GetSelectedCellRange();
    EXPECT_EQ(selected, CGridCellSpan(1, 1, 6, 1));

    grid->m_AnchorCell = { 5, 1 };
    grid->m_ptLastMouse = QPoint(60, -10);
    grid->SetFocusCell(2, 1);
    grid->OnTimer(GRID_SCROLL_TIMER);
    EXPECT_EQ(grid->verticalScrollBar()->value(), 0) << "one row up";
    EXPECT_EQ(grid->GetFocusCell(), CGridCellPos(1, 1));
    EXPECT_EQ(grid->GetSelectedCellRange(), CGridCellSpan(1, 1, 5, 1));

    grid->OnTimer(512);
    EXPECT_EQ(grid->GetFocusCell(), CGridCellPos(1, 1)) << "other timers are not the grid's";
}

} // namespace
