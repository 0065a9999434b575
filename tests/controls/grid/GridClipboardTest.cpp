// Text changes for the user, the clipboard as tab-separated text, dragging the selection out and
// dropping text in.

#include "GridTestSupport.h"

#include "controls/ui/grid/GridInPlaceEdit.h"
#include "controls/ui/grid/GridInPlaceList.h"
#include "platform/ui/ImageList.h"

#include <QClipboard>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QMimeData>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

using gridtest::TestGrid;

namespace {

class ClipGrid : public TestGrid {
public:
    using TestGrid::m_LastDragCell;
    using TestGrid::TestGrid;

    struct Notice {
        int code;
        CGridCellPos cell;
    };
    std::vector<Notice> notices;
    std::map<std::pair<int, CGridCellPos>, int> answers; // (code, cell) -> answer
    Qt::DropAction dragResult = Qt::CopyAction;
    std::vector<QString> dragged;

    void Listen()
    {
        SetOwnerHandler([this](GridNotify& n) {
            notices.push_back({ n.code, { n.row, n.col } });
            const auto it = answers.find({ n.code, { n.row, n.col } });
            return it == answers.end() ? 0 : it->second;
        });
    }
    Qt::DropAction RunDrag(QMimeData* data) override
    {
        std::unique_ptr<QMimeData> owned(data);
        dragged.push_back(owned->text());
        return dragResult;
    }
    void Select(std::initializer_list<CGridCellPos> cells)
    {
        for (const CGridCellPos& cell : cells)
            SetItemState(cell.row, cell.col, GetItemState(cell.row, cell.col) | GCS_SELECTED);
    }
    // Texts of rows 1.. and columns 1.., row by row.
    std::vector<std::vector<QString>> Texts() const
    {
        std::vector<std::vector<QString>> rows;
        for (int row = 1; row < GetRowCount(); ++row) {
            rows.emplace_back();
            for (int col = 1; col < GetColumnCount(); ++col)
                rows.back().push_back(GetItemText(row, col));
        }
        return rows;
    }
};

QString ClipboardText()
{
    return QGuiApplication::clipboard()->text();
}

std::unique_ptr<QMimeData> Text(const QString& text)
{
    auto data = std::make_unique<QMimeData>();
    data->setText(text);
    return data;
}

class GridClipboard : public gridtest::GridWindowTest {
protected:
    // Six rows and five columns of 20 x 40 behind one fixed row and column; the cells hold
    // "rNcM" and nothing is modified.
    std::unique_ptr<ClipGrid> Grid()
    {
        auto grid = MakeGrid<ClipGrid>(std::vector<int>(5, 40), std::vector<int>(6, 20), 1, 1, 250, 140);
        for (int row = 1; row < 6; ++row)
            for (int col = 1; col < 5; ++col)
                grid->SetItemText(row, col, QString("r%1c%2").arg(row).arg(col));
        grid->SetModified(FALSE);
        QApplication::setActiveWindow(grid.get());
        grid->setFocus();
        grid->Listen();
        return grid;
    }
};

TEST_F(GridClipboard, CopyWritesTheSelectedTextsAsTabSeparatedLines)
{
    auto grid = Grid();
    grid->SetItemText(1, 1, "a");
    grid->SetItemText(1, 2, "b");
    grid->SetItemText(1, 3, "c");
    grid->Select({ { 1, 1 }, { 1, 3 } });
    grid->OnEditCopy();
    EXPECT_EQ(ClipboardText(), "a\t\tc");

    // A hidden column and row leave no field and no line; an unselected cell leaves an empty one.
    grid = Grid();
    grid->SetColumnWidth(2, 0);
    grid->SetRowHeight(2, 0);
    grid->SelectCells(1, 1, 3, 3);
    grid->SetItemState(3, 3, grid->GetItemState(3, 3) & ~GCS_SELECTED);
    grid->OnEditCopy();
    EXPECT_EQ(ClipboardText(), "r1c1\tr1c3\r\nr3c1\t");
    EXPECT_FALSE(ClipboardText().endsWith("\n"));

    // Nothing selected: nothing copied.
    QGuiApplication::clipboard()->setText("kept");
    grid = Grid();
    EXPECT_EQ(grid->CopySelectionAsText(), nullptr);
    grid->OnEditCopy();
    EXPECT_EQ(ClipboardText(), "kept");
}

TEST_F(GridClipboard, CopiedBlockPastesBackCellForCell)
{
    auto source = Grid();
    source->SetItemText(1, 2, "");
    source->SetColumnWidth(3, 0);
    source->SelectCells(1, 1, 2, 4);
    source->SetItemState(2, 2, source->GetItemState(2, 2) & ~GCS_SELECTED);
    const std::unique_ptr<QMimeData> data = source->CopySelectionAsText();
    ASSERT_NE(data, nullptr);

    auto target = Grid();
    ASSERT_TRUE(target->PasteTextIntoCells(3, 1, data.get()));
    // Visible source columns 1, 2, 4 land on target columns 1, 2, 3.
    const std::vector<std::vector<QString>> expected = { { "r1c1", "", "r1c4" }, { "r2c1", "", "r2c4" } };
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(target->GetItemText(3 + r, 1 + c), expected[r][c]) << r << "," << c;
    EXPECT_EQ(target->GetItemText(3, 4), "r3c4") << "the block is three wide";
    EXPECT_EQ(target->GetItemText(5, 1), "r5c1");
}

TEST_F(GridClipboard, PasteFillsTheBlockFromTheStartCell)
{
    using Setup = std::function<void(ClipGrid&)>;
    struct Case {
        const char* name;
        CGridCellPos start;
        QString text;
        Setup setup;
        std::map<CGridCellPos, QString> changed; // every other cell keeps "rNcM"
        BOOL result = TRUE;
        CGridCellSpan selected = {};
    };
    const Setup none = [](ClipGrid&) {};
    const std::vector<Case> cases = {
        { "comma and tab", { 1, 1 }, "1,2\n3\t4", none,
            { { { 1, 1 }, "1" }, { { 1, 2 }, "2" }, { { 2, 1 }, "3" }, { { 2, 2 }, "4" } }, TRUE, { 1, 1, 2, 2 } },
        { "a closing LF adds no row", { 1, 1 }, "x\n", none, { { { 1, 1 }, "x" } }, TRUE, { 1, 1, 1, 1 } },
        { "a closing CR LF adds no row", { 1, 1 }, "x\r\n", none, { { { 1, 1 }, "x" } }, TRUE, { 1, 1, 1, 1 } },
        { "an empty inner line takes its row", { 1, 1 }, "a\n\nb", none,
            { { { 1, 1 }, "a" }, { { 2, 1 }, "" }, { { 3, 1 }, "b" } }, TRUE, { 1, 1, 3, 1 } },
        { "adjacent delimiters give an empty field", { 1, 1 }, "a\t\tc", none,
            { { { 1, 1 }, "a" }, { { 1, 2 }, "" }, { { 1, 3 }, "c" } }, TRUE, { 1, 1, 1, 3 } },
        { "fields are trimmed", { 1, 1 }, "  a , b\t", none, { { { 1, 1 }, "a" }, { { 1, 2 }, "b" }, { { 1, 3 }, "" } },
            TRUE, { 1, 1, 1, 3 } },
        { "a read-only cell inside keeps its text", { 1, 1 }, "1,2,3",
            [](ClipGrid& g) { g.SetItemState(1, 2, g.GetItemState(1, 2) | GCS_READONLY); },
            { { { 1, 1 }, "1" }, { { 1, 3 }, "3" } }, TRUE, { 1, 1, 1, 3 } },
        { "a read-only start cell changes nothing", { 1, 1 }, "1,2",
            [](ClipGrid& g) { g.SetItemState(1, 1, g.GetItemState(1, 1) | GCS_READONLY); }, {}, FALSE },
        { "text past the edges is dropped", { 4, 3 }, "a,b,c\nd,e,f\ng,h,i", none,
            { { { 4, 3 }, "a" }, { { 4, 4 }, "b" }, { { 5, 3 }, "d" }, { { 5, 4 }, "e" } }, TRUE, { 4, 3, 5, 4 } },
        { "hidden rows and columns are skipped", { 1, 1 }, "a,b\nc,d",
            [](ClipGrid& g) {
                g.SetRowHeight(2, 0);
                g.SetColumnWidth(2, 0);
            },
            { { { 1, 1 }, "a" }, { { 1, 3 }, "b" }, { { 3, 1 }, "c" }, { { 3, 3 }, "d" } }, TRUE, { 1, 1, 3, 3 } },
        { "the owner refuses an edit", { 1, 1 }, "a,b",
            [](ClipGrid& g) {
                g.answers[{ GN_BEGINEDIT, { 1, 2 } }] = -1;
            },
            { { { 1, 1 }, "a" } }, TRUE, { 1, 1, 1, 2 } },
        { "the owner refuses a result", { 1, 1 }, "a,b",
            [](ClipGrid& g) {
                g.answers[{ GN_ENDEDIT, { 1, 1 } }] = -1;
            },
            { { { 1, 2 }, "b" } }, TRUE, { 1, 1, 1, 2 } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto grid = Grid();
        c.setup(*grid);
        const auto data = Text(c.text);
        EXPECT_EQ(grid->PasteTextIntoCells(c.start.row, c.start.col, data.get()), c.result);
        for (int row = 1; row < 6; ++row)
            for (int col = 1; col < 5; ++col) {
                const auto it = c.changed.find({ row, col });
                const QString expected = it != c.changed.end() ? it->second : QString("r%1c%2").arg(row).arg(col);
                EXPECT_EQ(grid->GetItemText(row, col), expected) << row << "," << col;
                EXPECT_EQ(grid->GetModified(row, col), it != c.changed.end() ? TRUE : FALSE) << row << "," << col;
            }
        if (c.result) {
            EXPECT_EQ(grid->GetSelectedCellRange(), c.selected);
        }
        EXPECT_TRUE(grid->Consistent());
    }

    // Without selecting, the selection and the focus go.
    auto grid = Grid();
    grid->SelectCells(3, 3, 4, 4);
    grid->SetFocusCell(3, 3);
    const auto data = Text("q");
    EXPECT_TRUE(grid->PasteTextIntoCells(1, 1, data.get(), FALSE));
    EXPECT_EQ(grid->GetSelectedCount(), 0);
    EXPECT_FALSE(grid->GetFocusCell().IsValid());
}

TEST_F(GridClipboard, CutPasteAndSelectAll)
{
    auto grid = Grid();
    grid->SelectCells(1, 1, 1, 2);
    grid->OnEditCut();
    EXPECT_EQ(ClipboardText(), "r1c1\tr1c2");
    EXPECT_EQ(grid->GetItemText(1, 1), "");
    EXPECT_EQ(grid->GetItemText(1, 2), "");
    EXPECT_EQ(grid->GetItemText(1, 3), "r1c3");

    // Paste from the clipboard at the selection's top-left, selecting what it pasted.
    grid->ResetSelectedRange();
    grid->SelectCells(3, 2, 4, 3);
    grid->OnEditPaste();
    EXPECT_EQ(grid->GetItemText(3, 2), "r1c1");
    EXPECT_EQ(grid->GetItemText(3, 3), "r1c2");
    EXPECT_EQ(grid->GetSelectedCellRange(), CGridCellSpan(3, 2, 3, 3));

    // A non-editable grid cuts and pastes nothing.
    QGuiApplication::clipboard()->setText("kept");
    grid = Grid();
    grid->SetEditable(FALSE);
    grid->SelectCells(1, 1, 1, 2);
    grid->OnEditCut();
    grid->SetFocusCell(2, 2);
    grid->OnEditPaste();
    EXPECT_EQ(ClipboardText(), "kept");
    EXPECT_EQ(grid->GetItemText(1, 1), "r1c1");
    EXPECT_EQ(grid->GetItemText(2, 2), "r2c2");

    // With the start cell's edit box open, the paste goes to the edit box.
    grid = Grid();
    grid->SetFocusCell(2, 2);
    grid->BeginCellEdit(2, 2, QPoint(), GridEditStart::Key(GRID_KEY_F2));
    auto* edit = grid->viewport()->findChild<CGridInPlaceEdit*>();
    ASSERT_NE(edit, nullptr);
    grid->OnEditPaste();
    EXPECT_EQ(edit->text(), "r2c2kept");
    EXPECT_EQ(grid->GetItemText(2, 2), "r2c2");
    EXPECT_EQ(grid->GetItemText(2, 3), "r2c3");

    // And to the edit part of an open drop-down list.
    grid = Grid();
    grid->GetCell(2, 2)->m_nEditorKind = 2;
    grid->GetCell(2, 2)->m_Choices = QStringList { "one", "two" };
    grid->SetFocusCell(2, 2);
    grid->BeginCellEdit(2, 2, QPoint(), GridEditStart::Key(GRID_KEY_F2));
    auto* list = grid->viewport()->findChild<CGridInPlaceList*>();
    ASSERT_NE(list, nullptr);
    grid->OnEditPaste();
    EXPECT_EQ(list->currentText(), "r2c2kept");
    EXPECT_EQ(grid->GetItemText(2, 2), "r2c2");
    EXPECT_EQ(grid->GetItemText(2, 3), "r2c3");

    // Select All on one fixed row and column.
    grid = Grid();
    grid->SetFocusCell(2, 3);
    grid->notices.clear();
    grid->OnEditSelectAll();
    ASSERT_EQ(grid->notices.size(), 2u);
    EXPECT_EQ(grid->notices[0].code, GN_SELCHANGING);
    EXPECT_EQ(grid->notices[0].cell, CGridCellPos(-1, -1)) << "no press yet";
    EXPECT_EQ(grid->notices[1].code, GN_SELCHANGED);
    EXPECT_EQ(grid->notices[1].cell, CGridCellPos(2, 3));
    EXPECT_EQ(grid->GetSelectedCellRange(), CGridCellSpan(1, 1, 5, 4));
}

TEST_F(GridClipboard, CommandEnabling)
{
    struct Case {
        const char* name;
        bool select, editable, focus, readOnlyFocus, clipboardText, selectionEnabled;
        BOOL copy, cut, paste, selectAll;
    };
    const std::vector<Case> cases = {
        { "nothing", false, true, false, false, true, true, FALSE, FALSE, FALSE, TRUE },
        { "a selection", true, true, false, false, true, true, TRUE, TRUE, FALSE, TRUE },
        { "a selection, not editable", true, false, true, false, true, true, TRUE, FALSE, FALSE, TRUE },
        { "a focus cell and text", false, true, true, false, true, true, FALSE, FALSE, TRUE, TRUE },
        { "a focus cell, no text", false, true, true, false, false, true, FALSE, FALSE, FALSE, TRUE },
        { "a read-only focus cell", false, true, true, true, true, true, FALSE, FALSE, FALSE, TRUE },
        { "selection off", false, true, true, false, true, false, FALSE, FALSE, TRUE, FALSE },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto grid = Grid();
        if (c.clipboardText)
            QGuiApplication::clipboard()->setText("t");
        else
            QGuiApplication::clipboard()->setMimeData(new QMimeData);
        if (c.select)
            grid->SelectCells(1, 1, 2, 2);
        if (c.focus)
            grid->SetFocusCell(3, 3);
        if (c.readOnlyFocus)
            grid->SetItemState(3, 3, grid->GetItemState(3, 3) | GCS_READONLY);
        grid->SetEditable(c.editable);
        grid->EnableSelection(c.selectionEnabled);
        EXPECT_EQ(grid->OnUpdateEditCopy(), c.copy);
        EXPECT_EQ(grid->OnUpdateEditCut(), c.cut);
        EXPECT_EQ(grid->OnUpdateEditPaste(), c.paste);
        EXPECT_EQ(grid->OnUpdateEditSelectAll(), c.selectAll);
    }
}

TEST_F(GridClipboard, DropsFillEditableCells)
{
    auto grid = Grid();
    grid->SetDragAndDrop();
    QWidget* viewport = grid->viewport();
    const auto text = Text("x,y");
    const auto Enter = [&](QPoint at, Qt::KeyboardModifiers mods, const QMimeData* data) {
        QDragEnterEvent event(at, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, mods);
        QApplication::sendEvent(viewport, &event);
        return std::make_pair(event.isAccepted(), event.dropAction());
    };
    const auto Over = [&](QPoint at, Qt::KeyboardModifiers mods) {
        QDragMoveEvent event(at, Qt::CopyAction | Qt::MoveAction, text.get(), Qt::LeftButton, mods);
        QApplication::sendEvent(viewport, &event);
        return std::make_pair(event.isAccepted(), event.dropAction());
    };
    const auto Highlighted = [&](int row, int col) { return (grid->GetItemState(row, col) & GCS_DROPHILITED) != 0; };

    EXPECT_TRUE(viewport->acceptDrops()) << "registered when sized";
    EXPECT_FALSE(grid->DropTarget().Register(grid.get())) << "a second registration";

    EXPECT_EQ(Enter(Centre(*grid, 1, 1), Qt::ControlModifier, text.get()), std::make_pair(true, Qt::CopyAction));
    EXPECT_TRUE(Highlighted(1, 1));
    EXPECT_EQ(Enter(Centre(*grid, 1, 1), Qt::NoModifier, text.get()), std::make_pair(true, Qt::MoveAction));
    EXPECT_EQ(Over(Centre(*grid, 2, 2), Qt::NoModifier), std::make_pair(true, Qt::MoveAction));
    EXPECT_FALSE(Highlighted(1, 1));
    EXPECT_TRUE(Highlighted(2, 2));
    EXPECT_EQ(grid->m_LastDragCell, CGridCellPos(2, 2));

    // A drop pastes at the highlighted cell without selecting.
    grid->SelectCells(4, 4, 5, 4);
    QDropEvent drop(Centre(*grid, 2, 2), Qt::CopyAction | Qt::MoveAction, text.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_EQ(grid->GetItemText(2, 2), "x");
    EXPECT_EQ(grid->GetItemText(2, 3), "y");
    EXPECT_FALSE(Highlighted(2, 2));
    EXPECT_EQ(grid->GetSelectedCount(), 0);

    // Leaving clears the highlight.
    Enter(Centre(*grid, 3, 1), Qt::NoModifier, text.get());
    EXPECT_TRUE(Highlighted(3, 1));
    QDragLeaveEvent leave;
    QApplication::sendEvent(viewport, &leave);
    EXPECT_FALSE(Highlighted(3, 1));

    // Refused: a read-only cell, data without text, another widget, drag and drop off.
    grid->SetItemState(3, 2, grid->GetItemState(3, 2) | GCS_READONLY);
    EXPECT_FALSE(Enter(Centre(*grid, 3, 2), Qt::NoModifier, text.get()).first);
    EXPECT_FALSE(Highlighted(3, 2));
    QMimeData binary;
    binary.setData("application/octet-stream", "\x01\x02");
    EXPECT_FALSE(Enter(Centre(*grid, 1, 1), Qt::NoModifier, &binary).first);
    QWidget other;
    QDragEnterEvent foreign(QPoint(1, 1), Qt::CopyAction, text.get(), Qt::LeftButton, Qt::NoModifier);
    EXPECT_EQ(grid->DropTarget().OnDragEnter(&other, &foreign), GRID_DROPEFFECT_NONE);
    EXPECT_FALSE(foreign.isAccepted());
    EXPECT_EQ(grid->DropTarget().OnDragScroll(&other, Qt::NoModifier, QPoint()), GRID_DROPEFFECT_NONE);
    EXPECT_EQ(grid->DropTarget().OnDragScroll(viewport, Qt::ControlModifier, QPoint()), GRID_DROPEFFECT_COPY);
    grid->SetDragAndDrop(FALSE);
    EXPECT_FALSE(Enter(Centre(*grid, 1, 1), Qt::NoModifier, text.get()).first);
    QDropEvent late(Centre(*grid, 1, 1), Qt::CopyAction, text.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &late);
    EXPECT_FALSE(late.isAccepted());
    EXPECT_EQ(grid->GetItemText(1, 1), "r1c1");

    grid->DropTarget().Revoke();
    EXPECT_FALSE(viewport->acceptDrops());
    EXPECT_TRUE(grid->DropTarget().Register(grid.get()));
}

TEST_F(GridClipboard, DraggingOut)
{
    for (Qt::DropAction result : { Qt::MoveAction, Qt::CopyAction }) {
        SCOPED_TRACE(result == Qt::MoveAction ? "move" : "copy");
        auto grid = Grid();
        grid->SetDragAndDrop();
        grid->SelectCells(2, 2, 2, 3);
        grid->dragResult = result;
        grid->OnBeginDrag();
        ASSERT_EQ(grid->dragged, std::vector<QString> { "r2c2\tr2c3" });
        ASSERT_FALSE(grid->notices.empty());
        EXPECT_EQ(grid->notices[0].code, GN_BEGINDRAG);
        EXPECT_EQ(grid->notices[0].cell, CGridCellPos(2, 2));
        EXPECT_EQ(grid->m_nMouseState, GRID_MOUSE_NOTHING);
        const QString left = result == Qt::MoveAction ? "" : "r2c2";
        EXPECT_EQ(grid->GetItemText(2, 2), left);
        EXPECT_EQ(grid->GetItemText(2, 4), "r2c4");
    }
    auto grid = Grid();
    grid->SelectCells(2, 2, 2, 3);
    grid->OnBeginDrag();
    EXPECT_TRUE(grid->dragged.empty()) << "drag and drop off";
    EXPECT_TRUE(grid->notices.empty());

    // The drag image: the focus cell, its hot spot the bottom-right corner.
    EXPECT_EQ(grid->BuildDragImage(), nullptr);
    grid->SetFocusCell(2, 2);
    QPoint hotSpot;
    const std::unique_ptr<ImageList> image = grid->BuildDragImage(&hotSpot);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->GetImageCount(), 1);
    WinRect rect;
    grid->GetCellRect(2, 2, rect);
    EXPECT_EQ(image->ImageSize(), QSize(rect.Width(), rect.Height()));
    EXPECT_EQ(hotSpot, QPoint(rect.Width(), rect.Height()));
}

} // namespace
