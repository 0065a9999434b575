// In-place editing: the edit box and the drop-down list, their first characters and the keys
// that leave them, the owner's say over an edit, toggle-bit mode, and the title tip.

#include "GridTestSupport.h"

#include "controls/ui/grid/GridInPlaceEdit.h"
#include "controls/ui/grid/GridInPlaceList.h"
#include "platform/Clock.h"

#include <QAbstractItemView>
#include <QAction>
#include <QDialog>
#include <QMainWindow>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

using gridtest::TestGrid;

namespace {

class EditGrid : public TestGrid {
public:
    using TestGrid::m_bShowTips;
    using TestGrid::m_bToggleBits;
    using TestGrid::m_crTipBack;
    using TestGrid::m_Tip;
    using TestGrid::TestGrid;

    std::vector<GRID_EDIT_NOTIFY> records; // what the editors sent
    std::vector<int> picks; // OnSelectionChanged
    std::vector<std::pair<QEvent::Type, QPoint>> presses; // viewport presses
    std::vector<int> notices;
    std::map<int, int> answers; // the owner's answer by code

    LRESULT OnInPlaceEditDone(GRID_EDIT_NOTIFY* notify) override
    {
        records.push_back(*notify);
        return TestGrid::OnInPlaceEditDone(notify);
    }
    BOOL OnSelectionChanged(int index) override
    {
        picks.push_back(index);
        return TRUE;
    }
    void Listen()
    {
        SetOwnerHandler([this](GridNotify& n) {
            notices.push_back(n.code);
            return answers.count(n.code) ? answers[n.code] : 0;
        });
    }
    int Count(int code) const { return static_cast<int>(std::count(notices.begin(), notices.end(), code)); }

    // The visible editor, if any.
    template <typename Editor> Editor* Open() const
    {
        for (Editor* editor : viewport()->findChildren<Editor*>())
            if (editor->isVisible())
                return editor;
        return nullptr;
    }

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        presses.push_back({ event->type(), event->position().toPoint() });
    }
    void mouseDoubleClickEvent(QMouseEvent* event) override
    {
        presses.push_back({ event->type(), event->position().toPoint() });
    }
};

void Settle()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

class GridEdit : public gridtest::GridWindowTest {
protected:
    // Columns 30 | 60 60 60, rows 20 | 20 x 4, one fixed row and column, a 220 x 110 viewport;
    // the cells hold "r,c" texts and (1, 1) holds "abc" with the focus.
    std::unique_ptr<EditGrid> Grid(QWidget* parent = nullptr)
    {
        std::unique_ptr<EditGrid> grid
            = MakeGrid<EditGrid>({ 30, 60, 60, 60 }, std::vector<int>(5, 20), 1, 1, 220, 110);
        if (parent) {
            grid->setParent(parent);
            parent->show();
        }
        for (int row = 1; row < 5; ++row)
            for (int col = 1; col < 4; ++col)
                grid->SetItemText(row, col, QString("%1,%2").arg(row).arg(col));
        grid->SetItemText(1, 1, "abc");
        grid->SetModified(FALSE);
        grid->SetFocusCell(1, 1);
        QApplication::setActiveWindow(grid->window());
        grid->setFocus();
        grid->Listen();
        return grid;
    }
    static void Move(QWidget* widget, QPoint point)
    {
        QMouseEvent move(
            QEvent::MouseMove, point, widget->mapToGlobal(point), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(widget, &move);
    }
};

struct KeyStep {
    int key;
    Qt::KeyboardModifiers modifiers = Qt::NoModifier;
    QString text = {};
};

TEST_F(GridEdit, FirstCharactersAndLeavingKeys)
{
    struct Case {
        const char* name;
        std::vector<KeyStep> onGrid; // starts the edit on (1, 1)
        QString editorText;
        int cursor; // -1: everything selected
        std::vector<KeyStep> inEditor;
        QString cellText;
        bool modified;
        CGridCellPos openAfter; // the cell whose editor is open afterwards, (-1, -1) none
    };
    const std::vector<Case> cases = {
        { "a letter replaces the text", { { Qt::Key_X, {}, "x" } }, "x", 1, { { Qt::Key_Return } }, "x", true, {} },
        { "a parenthesis is typed, never a key", { { Qt::Key_ParenLeft, {}, "(" } }, "(", 1, { { Qt::Key_Return } },
            "(", true, {} },
        { "a dollar is typed, never a key", { { Qt::Key_Dollar, {}, "$" } }, "$", 1, { { Qt::Key_Return } }, "$", true,
            {} },
        { "backspace drops the last character", { { Qt::Key_Backspace } }, "ab", 2, { { Qt::Key_Return } }, "ab", true,
            {} },
        { "F2 keeps the text", { { Qt::Key_F2 } }, "abc", 3, { { Qt::Key_Return } }, "abc", false, {} },
        { "Enter keeps the text", { { Qt::Key_Return } }, "abc", 3, { { Qt::Key_Enter } }, "abc", false, {} },
        { "Esc restores the text", { { Qt::Key_X, {}, "x" } }, "x", 1, { { Qt::Key_Escape } }, "abc", false, {} },
        { "Tab goes on in the next cell", { { Qt::Key_F2 } }, "abc", 3, { { Qt::Key_Tab } }, "abc", false, { 1, 2 } },
        { "Shift+Tab goes back", { { Qt::Key_F2 } }, "abc", 3, { { Qt::Key_Backtab, Qt::ShiftModifier } }, "abc", false,
            { 0, 0 } /* replaced below */ },
        { "an arrow leaves a key-started edit", { { Qt::Key_F2 } }, "abc", 3, { { Qt::Key_Down } }, "abc", false,
            { 2, 1 } },
        { "Ctrl+arrow leaves too", { { Qt::Key_F2 } }, "abc", 3, { { Qt::Key_Right, Qt::ControlModifier } }, "abc",
            false, { 1, 2 } },
    };
    for (Case c : cases) {
        SCOPED_TRACE(c.name);
        auto grid = Grid();
        if (std::string(c.name) == "Shift+Tab goes back") {
            grid->SetFocusCell(1, 2);
            grid->SetItemText(1, 2, "abc");
            grid->SetModified(FALSE);
            c.openAfter = { 1, 1 };
        }
        for (const KeyStep& k : c.onGrid)
            QTest::keyClick(grid.get(), static_cast<Qt::Key>(k.key), k.modifiers);
        auto* edit = grid->Open<CGridInPlaceEdit>();
        ASSERT_NE(edit, nullptr);
        EXPECT_TRUE(edit->hasFocus());
        EXPECT_EQ(edit->text(), c.editorText);
        if (c.cursor < 0)
            EXPECT_EQ(edit->selectedText(), edit->text());
        else {
            EXPECT_EQ(edit->cursorPosition(), c.cursor);
            EXPECT_FALSE(edit->hasSelectedText());
        }
        EXPECT_TRUE(grid->IsItemEditing(grid->GetFocusCell().row, grid->GetFocusCell().col));
        const CGridCellPos edited = grid->GetFocusCell();
        for (const KeyStep& k : c.inEditor)
            QTest::keyClick(edit, static_cast<Qt::Key>(k.key), k.modifiers);
        ASSERT_EQ(grid->records.size(), 1u) << "one end per edit";
        EXPECT_EQ(grid->records[0].code, GN_ENDEDIT);
        EXPECT_EQ(grid->records[0].idFrom, GRID_EDIT_ID);
        EXPECT_EQ(grid->records[0].item.mask, GI_TEXT | GI_DATA);
        EXPECT_EQ(grid->records[0].item.row, edited.row);
        EXPECT_EQ(grid->records[0].item.strText, c.cellText);
        EXPECT_EQ(grid->GetItemText(edited.row, edited.col), c.cellText);
        EXPECT_EQ(grid->GetModified(edited.row, edited.col), c.modified ? TRUE : FALSE);
        EXPECT_FALSE(grid->IsItemEditing(edited.row, edited.col));
        Settle();
        auto* next = grid->Open<CGridInPlaceEdit>();
        if (c.openAfter.IsValid()) {
            ASSERT_NE(next, nullptr);
            EXPECT_EQ(grid->GetFocusCell(), c.openAfter);
            EXPECT_EQ(next->Row(), c.openAfter.row);
            EXPECT_EQ(next->Column(), c.openAfter.col);
            EXPECT_EQ(next->selectedText(), next->text()) << "a continued edit selects everything";
            EXPECT_TRUE(next->hasFocus());
        } else {
            EXPECT_EQ(next, nullptr);
            EXPECT_TRUE(grid->hasFocus());
        }
    }
}

TEST_F(GridEdit, MouseStartedEditKeepsTheArrows)
{
    auto grid = Grid();
    grid->BeginCellEdit(1, 1, Centre(*grid, 1, 1), GridEditStart::Key(GRID_KEY_MOUSE));
    auto* edit = grid->Open<CGridInPlaceEdit>();
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->cursorPosition(), 3);
    QTest::keyClick(edit, Qt::Key_Left);
    EXPECT_EQ(edit->cursorPosition(), 2) << "the arrow moves the caret";
    EXPECT_TRUE(grid->records.empty());
    QTest::keyClick(edit, Qt::Key_Down, Qt::ControlModifier);
    ASSERT_EQ(grid->records.size(), 1u);
    EXPECT_EQ(grid->records[0].item.lParam, static_cast<qintptr>(GRID_KEY_DOWN));
    EXPECT_EQ(grid->GetFocusCell(), CGridCellPos(2, 1));
}

TEST_F(GridEdit, OwnerRefusesTheEditOrItsResult)
{
    auto grid = Grid();
    grid->answers[GN_BEGINEDIT] = -1;
    QTest::keyClick(grid.get(), Qt::Key_X, {});
    EXPECT_EQ(grid->Open<CGridInPlaceEdit>(), nullptr);
    EXPECT_FALSE(grid->IsItemEditing(1, 1));

    grid->answers = { { GN_ENDEDIT, -1 } };
    QTest::keyClick(grid.get(), Qt::Key_X, {});
    auto* edit = grid->Open<CGridInPlaceEdit>();
    ASSERT_NE(edit, nullptr);
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(grid->GetItemText(1, 1), "abc");
    EXPECT_FALSE(grid->GetModified(1, 1));
    EXPECT_EQ(grid->Count(GN_ENDEDIT), 1);

    // An owner that deletes the edited row while refusing its text: the old text has no cell to
    // go back to, and the row that moved up keeps its own.
    grid->SetOwnerHandler([&](GridNotify& n) { return n.code == GN_ENDEDIT && grid->DeleteRow(1) ? -1 : 0; });
    QTest::keyClick(grid.get(), Qt::Key_Y, {});
    edit = grid->Open<CGridInPlaceEdit>();
    ASSERT_NE(edit, nullptr);
    QTest::keyClick(edit, Qt::Key_Return);
    Settle();
    EXPECT_EQ(grid->GetItemText(1, 1), "2,1");
}

TEST_F(GridEdit, EditBoxGrowsToTheClientEdgeAndNoFurther)
{
    auto grid = Grid();
    grid->SetFocusCell(1, 2);
    QTest::keyClick(grid.get(), Qt::Key_A, {});
    auto* edit = grid->Open<CGridInPlaceEdit>();
    ASSERT_NE(edit, nullptr);
    WinRect cell;
    grid->GetCellRect(1, 2, cell);
    EXPECT_EQ(edit->geometry(), cell.ToQRect());
    QTest::keyClicks(edit, "aaa");
    const int afterFew = edit->width();
    QTest::keyClicks(edit, QString(40, 'w'));
    EXPECT_GT(edit->width(), afterFew);
    EXPECT_EQ(edit->geometry().left() + edit->width(), grid->GetClientRect().right);
    QTest::keyClick(edit, Qt::Key_Escape);
    EXPECT_EQ(grid->records.size(), 1u);
}

TEST_F(GridEdit, WindowKeysNeverTakeTheKeysOfAnOpenEditor)
{
    for (int kind : { 1, 2 }) {
        SCOPED_TRACE(kind == 1 ? "edit box" : "list");
        // A main window with actions on Esc, Return and Tab.
        QMainWindow frame;
        std::unique_ptr<EditGrid> owned = Grid();
        EditGrid* grid = owned.release();
        frame.setCentralWidget(grid);
        int fired = 0;
        for (int key : { Qt::Key_Escape, Qt::Key_Return, Qt::Key_Tab }) {
            auto* action = new QAction(&frame);
            action->setShortcut(QKeySequence(key));
            QObject::connect(action, &QAction::triggered, [&] { ++fired; });
            frame.addAction(action);
        }
        frame.show();
        QApplication::setActiveWindow(&frame);
        grid->GetCell(1, 1)->m_nEditorKind = kind;
        grid->GetCell(1, 1)->m_Choices = QStringList { "abc", "def" };
        for (int key : { Qt::Key_Escape, Qt::Key_Return, Qt::Key_Tab }) {
            grid->SetFocusCell(1, 1);
            grid->setFocus();
            grid->BeginCellEdit(1, 1, QPoint(), GridEditStart::Char('z'));
            QWidget* editor = kind == 1 ? static_cast<QWidget*>(grid->Open<CGridInPlaceEdit>())
                                        : static_cast<QWidget*>(grid->Open<CGridInPlaceList>());
            ASSERT_NE(editor, nullptr);
            QTest::keyClick(editor, static_cast<Qt::Key>(key));
            EXPECT_EQ(fired, 0);
            EXPECT_FALSE(grid->IsItemEditing(1, 1));
            EXPECT_EQ(grid->GetItemText(1, 1), key == Qt::Key_Escape ? "abc" : "z");
            grid->SetItemText(1, 1, "abc");
            Settle();
        }
    }
    for (int kind : { 1, 2 }) {
        // A dialog with a default button.
        QDialog dialog;
        auto* layout = new QVBoxLayout(&dialog);
        std::unique_ptr<EditGrid> owned = Grid();
        EditGrid* grid = owned.release();
        layout->addWidget(grid);
        auto* ok = new QPushButton("OK", &dialog);
        ok->setDefault(true);
        layout->addWidget(ok);
        QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
        dialog.show();
        QApplication::setActiveWindow(&dialog);
        grid->GetCell(1, 1)->m_nEditorKind = kind;
        for (int key : { Qt::Key_Escape, Qt::Key_Return, Qt::Key_Tab }) {
            grid->SetFocusCell(1, 1);
            grid->setFocus();
            grid->BeginCellEdit(1, 1, QPoint(), GridEditStart::Char('z'));
            QWidget* editor = kind == 1 ? static_cast<QWidget*>(grid->Open<CGridInPlaceEdit>())
                                        : static_cast<QWidget*>(grid->Open<CGridInPlaceList>());
            ASSERT_NE(editor, nullptr);
            QTest::keyClick(editor, static_cast<Qt::Key>(key));
            EXPECT_TRUE(dialog.isVisible());
            EXPECT_EQ(dialog.result(), 0);
            EXPECT_FALSE(grid->IsItemEditing(1, 1));
            EXPECT_EQ(grid->GetItemText(1, 1), key == Qt::Key_Escape ? "abc" : "z");
            grid->SetItemText(1, 1, "abc");
            Settle();
        }
    }
}

TEST_F(GridEdit, CellsThatMoveOrGoWhileEditedTakeNoStrayText)
{
    auto grid = Grid();
    QTest::keyClick(grid.get(), Qt::Key_X, {});
    auto* edit = grid->Open<CGridInPlaceEdit>();
    ASSERT_NE(edit, nullptr);
    grid->InsertRow("new", 1);
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(grid->GetItemText(1, 1), "");
    EXPECT_EQ(grid->GetItemText(2, 1), "abc");
    Settle();
    EXPECT_FALSE(grid->IsItemEditing(2, 1));
    grid->BeginCellEdit(2, 1, QPoint(), GridEditStart::Key(GRID_KEY_F2));
    EXPECT_NE(grid->Open<CGridInPlaceEdit>(), nullptr) << "the moved cell edits again";
    Settle();

    // A row deleted under an open editor takes the editor with it, unheard.
    grid->SetFocusCell(3, 2);
    grid->setFocus();
    Settle();
    const size_t before = grid->records.size();
    grid->BeginCellEdit(3, 2, QPoint(), GridEditStart::Char('q'));
    ASSERT_NE(grid->Open<CGridInPlaceEdit>(), nullptr);
    grid->DeleteRow(3);
    Settle();
    EXPECT_EQ(grid->Open<CGridInPlaceEdit>(), nullptr);
    EXPECT_EQ(grid->records.size(), before);
    EXPECT_TRUE(grid->Consistent());
}

TEST_F(GridEdit, ToggleBitMode)
{
    struct Case {
        QString before;
        QString after;
    };
    for (const Case& c : std::vector<Case> { { "1", "0" }, { "0", "1" }, { "10", "0" }, { "x", "x" }, { "", "" } }) {
        SCOPED_TRACE(c.before.toStdString());
        auto grid = Grid();
        grid->SetToggleBitMode();
        grid->SetItemText(1, 1, c.before);
        grid->SetModified(FALSE);
        QSignalSpy toggled(grid.get(), &CGridCtrl::bitsToggled);
        grid->BeginCellEdit(1, 1, QPoint(), GridEditStart::Key(GRID_KEY_MOUSE));
        EXPECT_EQ(grid->GetItemText(1, 1), c.after);
        EXPECT_EQ(toggled.count(), 1);
        EXPECT_EQ(grid->Open<CGridInPlaceEdit>(), nullptr);
        EXPECT_EQ(grid->Count(GN_ENDEDIT), 0);
        EXPECT_TRUE(grid->records.empty());
        EXPECT_FALSE(grid->GetModified(1, 1));
    }
    for (bool readOnly : { true, false }) {
        auto grid = Grid();
        grid->SetToggleBitMode();
        grid->SetItemText(1, 1, "1");
        if (readOnly)
            grid->SetItemState(1, 1, grid->GetItemState(1, 1) | GCS_READONLY);
        else
            grid->SetEditable(FALSE);
        QSignalSpy toggled(grid.get(), &CGridCtrl::bitsToggled);
        grid->BeginCellEdit(1, 1, QPoint(), GridEditStart::Key(GRID_KEY_MOUSE));
        EXPECT_EQ(grid->GetItemText(1, 1), "1");
        EXPECT_EQ(toggled.count(), 0);
    }
}

TEST_F(GridEdit, DropDownList)
{
    auto grid = Grid();
    CGridCellBase* cell = grid->GetCell(1, 1);
    cell->m_nEditorKind = 2;
    cell->m_Choices = QStringList { "alpha", "beta", "gamma", "delta", "epsilon" };
    grid->SetItemText(1, 1, "beta");
    grid->BeginCellEdit(1, 1, QPoint(), GridEditStart::Key(GRID_KEY_MOUSE));
    auto* list = grid->Open<CGridInPlaceList>();
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->count(), 5);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(list->itemText(i), cell->m_Choices[i]);
    EXPECT_EQ(list->currentIndex(), 1);
    EXPECT_EQ(list->maxVisibleItems(), 4);
    EXPECT_TRUE(list->isEditable());
    EXPECT_EQ(list->Edit()->objectName(), "1001");
    WinRect rect;
    grid->GetCellRect(1, 1, rect);
    EXPECT_EQ(list->height(), rect.Height());
    EXPECT_EQ(list->width(), std::max(rect.Width(), list->MeasuredWidth()));
    EXPECT_TRUE(grid->picks.empty()) << "the initial selection is no pick";

    // Down with the list closed picks the next entry; Ctrl+Down would leave.
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(grid->picks, std::vector<int> { 2 });
    EXPECT_TRUE(grid->records.empty());

    // Opening the list is no pick and no end; a click on an entry picks it.
    list->showPopup();
    QAbstractItemView* view = list->view();
    ASSERT_TRUE(view->isVisible());
    EXPECT_GE(view->width(), list->MeasuredWidth());
    EXPECT_TRUE(grid->records.empty()) << "the popup's focus is no focus loss";
    EXPECT_EQ(grid->picks.size(), 1u);
    const QRect item = view->visualRect(list->model()->index(0, 0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, item.center());
    EXPECT_EQ(grid->picks, (std::vector<int> { 2, 0 }));
    EXPECT_TRUE(grid->records.empty());

    // A scroll while the list is open ends it, once.
    list->showPopup();
    grid->OnVScroll(GRID_SB_LINEDOWN);
    ASSERT_EQ(grid->records.size(), 1u);
    EXPECT_EQ(grid->records[0].item.strText, "alpha");
    EXPECT_EQ(grid->GetItemText(1, 1), "alpha");
    Settle();
    EXPECT_EQ(grid->Open<CGridInPlaceList>(), nullptr);
    EXPECT_EQ(grid->records.size(), 1u);
    EXPECT_FALSE(grid->IsItemEditing(1, 1));
}

TEST_F(GridEdit, DropDownListTakesATextOutsideItsChoices)
{
    auto grid = Grid();
    CGridCellBase* cell = grid->GetCell(1, 1);
    cell->m_nEditorKind = 2;
    cell->m_Choices = QStringList { "alpha", "beta" };
    grid->SetItemText(1, 1, "zeta");
    grid->BeginCellEdit(1, 1, QPoint(), GridEditStart::Key(GRID_KEY_F2));
    auto* list = grid->Open<CGridInPlaceList>();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->currentText(), "zeta") << "no choice matches: the text is shown";
    QTest::keyClick(list, Qt::Key_Escape);
    EXPECT_EQ(grid->GetItemText(1, 1), "zeta");
    Settle();

    // A typed space is typed in the list's edit part.
    grid->BeginCellEdit(1, 1, QPoint(), GridEditStart::Char(' '));
    list = grid->Open<CGridInPlaceList>();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->currentText(), " ");
    QTest::keyClicks(list, "omega");
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_EQ(grid->GetItemText(1, 1), " omega");
    EXPECT_TRUE(grid->GetModified(1, 1));
    EXPECT_EQ(grid->records.size(), 2u);
}

TEST_F(GridEdit, KindZeroOpensNothingAndStillShowsItsTip)
{
    auto grid = Grid();
    grid->GetCell(1, 1)->m_nEditorKind = 0;
    grid->SetItemText(1, 1, "a text far too long for its cell");
    grid->BeginCellEdit(1, 1, QPoint(), GridEditStart::Char('x'));
    grid->BeginCellEdit(1, 1, QPoint(), GridEditStart::Char('y'));
    EXPECT_EQ(grid->Open<CGridInPlaceEdit>(), nullptr);
    EXPECT_EQ(grid->Open<CGridInPlaceList>(), nullptr);
    EXPECT_FALSE(grid->IsItemEditing(1, 1));
    Move(grid->viewport(), Centre(*grid, 1, 1));
    EXPECT_TRUE(grid->m_Tip.isVisible());
}

TEST_F(GridEdit, TitleTip)
{
    platform::ScopedClock clock(std::make_shared<platform::ManualClock>());
    auto& manual = static_cast<platform::ManualClock&>(platform::GetClock());
    auto grid = Grid();
    QWidget* viewport = grid->viewport();
    CGridTitleTip& tip = grid->m_Tip;
    WinRect cell;
    grid->GetCellRect(1, 1, cell);
    const QPoint inside = Centre(*grid, 1, 1);

    Move(viewport, inside);
    EXPECT_FALSE(tip.isVisible()) << "\"abc\" fits";

    grid->SetItemText(1, 1, "a text far too long for its cell");
    Move(viewport, inside);
    ASSERT_TRUE(tip.isVisible());
    EXPECT_EQ(tip.ShownText(), " a text far too long for its cell ");
    EXPECT_EQ(tip.geometry().topLeft(), viewport->mapToGlobal(QPoint(cell.left, cell.top)));
    EXPECT_GT(tip.width(), cell.Width());
    EXPECT_EQ(tip.BackColour().rgb(), gridtest::Role(QPalette::ToolTipBase)) << "the marker colours";
    EXPECT_FALSE(tip.hasFocus());
    EXPECT_TRUE(grid->hasFocus());

    // Within the cell (and its line pixels) the tip stays; a pixel beyond, it goes.
    Move(viewport, inside + QPoint(5, 2));
    EXPECT_TRUE(tip.isVisible());
    Move(viewport, QPoint(cell.right, cell.bottom));
    EXPECT_TRUE(tip.isVisible());
    Move(viewport, QPoint(cell.right + 1, inside.y()));
    EXPECT_FALSE(tip.isVisible());

    // The same move sent to the tip hides it too, and the grid hears it.
    Move(viewport, inside);
    ASSERT_TRUE(tip.isVisible());
    Move(&tip, tip.mapFromGlobal(viewport->mapToGlobal(QPoint(cell.left, cell.bottom + 1))));
    EXPECT_FALSE(tip.isVisible());

    // Leaving the viewport for the tip keeps it; leaving elsewhere hides it.
    Move(viewport, inside);
    ASSERT_TRUE(tip.isVisible());
    QCursor::setPos(tip.mapToGlobal(QPoint(3, 3)));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(viewport, &leave);
    EXPECT_TRUE(tip.isVisible());
    QCursor::setPos(viewport->mapToGlobal(QPoint(cell.left, cell.bottom + 15)));
    QApplication::sendEvent(viewport, &leave);
    EXPECT_FALSE(tip.isVisible());

    // A press on the tip reaches the cell beneath; two within the double-click time, a double.
    Move(viewport, inside);
    ASSERT_TRUE(tip.isVisible());
    QTest::mousePress(&tip, Qt::LeftButton, {}, QPoint(4, 4));
    EXPECT_FALSE(tip.isVisible());
    ASSERT_EQ(grid->presses.size(), 1u);
    EXPECT_EQ(grid->presses[0].first, QEvent::MouseButtonPress);
    EXPECT_EQ(grid->GetCellFromPt(grid->presses[0].second), CGridCellPos(1, 1));
    QTest::mouseRelease(&tip, Qt::LeftButton, {}, QPoint(4, 4));
    manual.Advance(std::chrono::milliseconds(QApplication::doubleClickInterval() / 2));
    Move(viewport, inside);
    ASSERT_TRUE(tip.isVisible());
    QTest::mousePress(&tip, Qt::LeftButton, {}, QPoint(4, 4));
    ASSERT_EQ(grid->presses.size(), 2u);
    EXPECT_EQ(grid->presses[1].first, QEvent::MouseButtonDblClick);
    QTest::mouseRelease(&tip, Qt::LeftButton, {}, QPoint(4, 4));

    // A key hides it and reaches the grid.
    Move(viewport, inside);
    ASSERT_TRUE(tip.isVisible());
    QTest::keyClick(grid.get(), Qt::Key_Right);
    EXPECT_FALSE(tip.isVisible());
    EXPECT_EQ(grid->GetFocusCell(), CGridCellPos(1, 2));

    // No tip while tips are off or the cell is being edited; colours of the grid's own.
    grid->m_bShowTips = FALSE;
    Move(viewport, inside);
    EXPECT_FALSE(tip.isVisible());
    grid->m_bShowTips = TRUE;
    grid->m_crTipBack = RGB(0x12, 0x34, 0x56);
    Move(viewport, inside);
    ASSERT_TRUE(tip.isVisible());
    EXPECT_EQ(tip.BackColour(), QColor(0x12, 0x34, 0x56));
    const QImage pixels = tip.grab().toImage();
    EXPECT_EQ(QColor(pixels.pixel(pixels.width() - 2, 1)), QColor(0x12, 0x34, 0x56));
    grid->SetFocusCell(1, 1);
    grid->BeginCellEdit(1, 1, QPoint(), GridEditStart::Key(GRID_KEY_F2));
    EXPECT_FALSE(tip.isVisible()) << "an edit hides it";
    Move(viewport, inside);
    EXPECT_FALSE(tip.isVisible());
}

} // namespace
