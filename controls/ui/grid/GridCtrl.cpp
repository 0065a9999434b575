#include "controls/ui/grid/GridCtrl.h"

#include "controls/ui/FontFromLogFont.h"
#include "controls/ui/grid/GridInPlaceEdit.h"

#include "platform/FileSync.h"
#include "platform/MessageBox.h"
#include "platform/Resources.h"
#include "platform/TextFormat.h"
#include "platform/ui/ImageList.h"
#include "platform/ui/QtServices.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QCursor>
#include <QDialog>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFile>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMetaObject>
#include <QMimeData>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QRegularExpression>
#include <QResizeEvent>
#include <QSaveFile>
#include <QScrollBar>
#include <QWheelEvent>

#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <new>
#include <numeric>
#include <stdexcept>

namespace {

constexpr const char* kOutOfMemory = "Out of memory.";
constexpr const char* kCannotOpen = "%1 cannot be opened.\n%2";
constexpr const char* kUnableToSave = "Unable to save grid list";
constexpr const char* kUnableToLoad = "Unable to load grid data";

// Allocation failures while a count grows: the grid stays consistent and says so.
template <typename Body> bool GuardAllocation(Body&& body)
{
    try {
        body();
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
}

} // namespace

CGridCtrl::CGridCtrl(int rows, int cols, int fixedRows, int fixedCols)
    : platform::MessageTarget(this)
{
    m_pCellClass = [] { return std::make_unique<CGridCell>(); };

    // The viewport paints every pixel itself; the bars show only through EnableScrollBars.
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAutoFillBackground(false);
    viewport()->setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
    connect(horizontalScrollBar(), &QScrollBar::actionTriggered, this,
        [this](int action) { OnScrollBarAction(GRID_SB_HORZ, action); });
    connect(verticalScrollBar(), &QScrollBar::actionTriggered, this,
        [this](int action) { OnScrollBarAction(GRID_SB_VERT, action); });

    m_crSysWindowText = GetSysColor(COLOR_WINDOWTEXT);
    m_crSysWindow = GetSysColor(COLOR_WINDOW);
    m_crSysButtonFace = GetSysColor(COLOR_BTNFACE);
    m_crSysButtonShadow = GetSysColor(COLOR_BTNSHADOW);
    m_crOutsideBack = m_crSysButtonShadow;

    m_nWheelLines = QueryWheelLines();
    m_Tip.SetParentWnd(viewport());

    for (CGridDefaultCell* cell :
        { &m_DefaultCell, &m_DefaultHeaderColumnCell, &m_DefaultHeaderRowCell, &m_DefaultCornerCell }) {
        cell->SetGrid(this);
        cell->SetTextColour(m_crSysWindowText);
        cell->SetBackColour(cell == &m_DefaultCell ? m_crSysWindow : m_crSysButtonFace);
    }

    SetRowCount(rows);
    SetColumnCount(cols);
    SetFixedRowCount(fixedRows);
    SetFixedColumnCount(fixedCols);

    m_crTipText = CLR_GRID_DEFAULT;
    m_crTipBack = CLR_GRID_DEFAULT;
    m_Selection.clear();
    m_PrevSelection.clear();
    SetPrintMarginInfo(2, 2, 4, 4, 1, 1, 1);
}

CGridCtrl::~CGridCtrl()
{
    // An owner that holds the grid as a child is half gone by now: it hears nothing more.
    m_ownerHandler = nullptr;
    for (QObject* child : viewport()->children())
        if (auto* editor = dynamic_cast<CGridInPlaceEditor*>(child))
            editor->Abandon();
    DeleteAllItems();
}

BOOL CGridCtrl::Create(const QRect& rect, QWidget* parent, UINT id, DWORD /*style*/)
{
    setParent(parent);
    setGeometry(rect);
    setObjectName(QString::number(id));
    const bool sized = GuardAllocation([&] {
        m_RowHeights.assign(static_cast<size_t>(m_nRowCount), static_cast<UINT>(m_DefaultCell.GetHeight()));
        m_ColumnWidths.assign(static_cast<size_t>(m_nColumnCount), static_cast<UINT>(m_DefaultCell.GetWidth()));
    });
    return sized ? TRUE : FALSE;
}

int CGridCtrl::GetDlgCtrlID() const
{
    return objectName().toInt();
}

LRESULT CGridCtrl::NotifyCacheHint(const CGridCellSpan& span)
{
    return NotifyOwner(-1, -1, GN_CACHEHINT, nullptr, span);
}

LRESULT CGridCtrl::NotifyOwner(int row, int col, int code, GRID_ITEM* item, const CGridCellSpan& span)
{
    if (!m_ownerHandler)
        return 0;
    GridNotify notify;
    notify.grid = this;
    notify.controlId = GetDlgCtrlID();
    notify.code = code;
    notify.row = row;
    notify.col = col;
    notify.item = item;
    notify.span = span;
    return m_ownerHandler(notify);
}

// ---- counts ---------------------------------------------------------------------------------

BOOL CGridCtrl::SetRowCount(int rows)
{
    if (rows < 0)
        return FALSE;
    if (rows == m_nRowCount)
        return TRUE;

    m_TopLeftCache = CGridCellPos(-1, -1);
    if (m_nHeaderRows > rows)
        m_nHeaderRows = rows;
    if (m_FocusCell.row >= rows)
        SetFocusCell(-1, -1);

    const int old = m_nRowCount;
    BOOL result = TRUE;
    if (rows < old) {
        if (!m_bOwnerData)
            for (int row = rows; row < old; ++row)
                DeleteRowCells(row);
        m_Rows.resize(m_bOwnerData ? 0 : static_cast<size_t>(rows));
        m_RowHeights.resize(static_cast<size_t>(rows));
        m_nRowCount = rows;
    } else {
        const UINT height = static_cast<UINT>(m_DefaultCell.GetHeight());
        // Rows are added one at a time, so a failure keeps every row that was completed.
        int building = -1;
        const bool grown = GuardAllocation([&] {
            m_RowHeights.reserve(static_cast<size_t>(rows));
            if (!m_bOwnerData)
                m_Rows.reserve(static_cast<size_t>(rows));
            for (int row = old; row < rows; ++row) {
                if (!m_bOwnerData)
                    m_Rows.emplace_back(static_cast<size_t>(m_nColumnCount));
                m_RowHeights.push_back(height);
                // The row counts while its cells are made, so that NewCell sees it.
                building = row;
                m_nRowCount = row + 1;
                if (!m_bOwnerData)
                    for (int col = 0; col < m_nColumnCount; ++col)
                        m_Rows.back()[static_cast<size_t>(col)] = NewCell(row, col);
                building = -1;
            }
        });
        if (!grown) {
            if (building >= 0) {
                // The row whose cells were not all made goes again.
                DeleteRowCells(building);
                m_nRowCount = building;
            }
            m_Rows.resize(m_bOwnerData ? 0 : static_cast<size_t>(m_nRowCount));
            m_RowHeights.resize(static_cast<size_t>(m_nRowCount));
            result = FALSE;
        }
    }

    SetModified();
    UpdateScrollBars();
    Refresh();
    return result;
}

BOOL CGridCtrl::SetColumnCount(int cols)
{
    if (cols < 0)
        return FALSE;
    if (cols == m_nColumnCount)
        return TRUE;

    m_TopLeftCache = CGridCellPos(-1, -1);
    if (m_nHeaderColumns > cols)
        m_nHeaderColumns = cols;
    if (m_FocusCell.col >= cols)
        SetFocusCell(-1, -1);

    const int old = m_nColumnCount;
    BOOL result = TRUE;
    if (cols < old) {
        if (!m_bOwnerData)
            for (int row = 0; row < m_nRowCount; ++row)
                for (int col = cols; col < old; ++col)
                    DeleteCell(row, col);
        for (auto& cells : m_Rows)
            cells.resize(static_cast<size_t>(cols));
        m_ColumnWidths.resize(static_cast<size_t>(cols));
        m_nColumnCount = cols;
    } else {
        const UINT width = static_cast<UINT>(m_DefaultHeaderColumnCell.GetWidth());
        const bool grown = GuardAllocation([&] {
            m_ColumnWidths.resize(static_cast<size_t>(cols), width);
            for (auto& cells : m_Rows)
                cells.resize(static_cast<size_t>(cols));
            // The new columns count while their cells are made, so that NewCell sees them.
            m_nColumnCount = cols;
            if (!m_bOwnerData)
                for (int row = 0; row < m_nRowCount; ++row)
                    for (int col = old; col < cols; ++col)
                        m_Rows[static_cast<size_t>(row)][static_cast<size_t>(col)] = NewCell(row, col);
        });
        if (!grown) {
            // All or nothing: the columns made so far go again.
            for (int row = 0; row < static_cast<int>(m_Rows.size()); ++row)
                for (int col = old; col < static_cast<int>(m_Rows[static_cast<size_t>(row)].size()); ++col)
                    if (m_Rows[static_cast<size_t>(row)][static_cast<size_t>(col)])
                        DeleteCell(row, col);
            for (auto& cells : m_Rows)
                cells.resize(static_cast<size_t>(old));
            m_ColumnWidths.resize(static_cast<size_t>(old));
            m_nColumnCount = old;
            MessageBox(kOutOfMemory, platform::kAppTitle, MB_OK | MB_ICONERROR);
            result = FALSE;
        }
    }

    SetModified();
    UpdateScrollBars();
    Refresh();
    return result;
}

void CGridCtrl::SetFixedRowBits(int row, BOOL fixed)
{
    for (int col = 0; col < m_nColumnCount; ++col) {
        CGridCellBase* cell = CellAt(row, col);
        if (!cell)
            continue;
        if (fixed) {
            cell->SetState(cell->GetState() | GCS_FIXED | GCS_FIXEDROW);
            cell->SetBackColour(CLR_GRID_DEFAULT);
            cell->SetTextColour(CLR_GRID_DEFAULT);
        } else if (col < m_nHeaderColumns) {
            cell->SetState(cell->GetState() & ~GCS_FIXEDROW);
        } else {
            cell->SetState(cell->GetState() & ~(GCS_FIXED | GCS_FIXEDROW));
            cell->SetBackColour(CLR_GRID_DEFAULT);
            cell->SetTextColour(CLR_GRID_DEFAULT);
        }
    }
}

void CGridCtrl::SetFixedColumnBits(int col, BOOL fixed)
{
    for (int row = 0; row < m_nRowCount; ++row) {
        CGridCellBase* cell = CellAt(row, col);
        if (!cell)
            continue;
        if (fixed) {
            cell->SetState(cell->GetState() | GCS_FIXED | GCS_FIXEDCOL);
            cell->SetBackColour(CLR_GRID_DEFAULT);
            cell->SetTextColour(CLR_GRID_DEFAULT);
        } else if (row < m_nHeaderRows) {
            cell->SetState(cell->GetState() & ~GCS_FIXEDCOL);
        } else {
            cell->SetState(cell->GetState() & ~(GCS_FIXED | GCS_FIXEDCOL));
            cell->SetBackColour(CLR_GRID_DEFAULT);
            cell->SetTextColour(CLR_GRID_DEFAULT);
        }
    }
}

BOOL CGridCtrl::SetFixedRowCount(int fixedRows)
{
    if (fixedRows < 0)
        return FALSE;
    if (fixedRows == m_nHeaderRows)
        return TRUE;

    ResetSelectedRange();
    if (fixedRows > m_nRowCount && !SetRowCount(fixedRows))
        return FALSE;
    if (m_FocusCell.row < fixedRows)
        SetFocusCell(-1, -1);

    if (!m_bOwnerData) {
        for (int row = m_nHeaderRows; row < fixedRows; ++row)
            SetFixedRowBits(row, TRUE);
        for (int row = fixedRows; row < m_nHeaderRows; ++row)
            SetFixedRowBits(row, FALSE);
    }
    m_nHeaderRows = fixedRows;
    m_TopLeftCache = CGridCellPos(-1, -1);
    Refresh();
    return TRUE;
}

BOOL CGridCtrl::SetFixedColumnCount(int fixedCols)
{
    if (fixedCols < 0)
        return FALSE;
    if (fixedCols == m_nHeaderColumns)
        return TRUE;

    ResetSelectedRange();
    if (fixedCols > m_nColumnCount && !SetColumnCount(fixedCols))
        return FALSE;
    if (m_FocusCell.col < fixedCols)
        SetFocusCell(-1, -1);

    if (!m_bOwnerData) {
        for (int col = m_nHeaderColumns; col < fixedCols; ++col)
            SetFixedColumnBits(col, TRUE);
        for (int col = fixedCols; col < m_nHeaderColumns; ++col)
            SetFixedColumnBits(col, FALSE);
    }
    m_nHeaderColumns = fixedCols;
    m_TopLeftCache = CGridCellPos(-1, -1);
    Refresh();
    return TRUE;
}

void CGridCtrl::DeleteRowCells(int row)
{
    if (row < 0 || row >= static_cast<int>(m_Rows.size()))
        return;
    for (int col = 0; col < static_cast<int>(m_Rows[static_cast<size_t>(row)].size()); ++col)
        DeleteCell(row, col);
}

BOOL CGridCtrl::DeleteAllItems()
{
    ResetSelectedRange();
    for (int row = 0; row < static_cast<int>(m_Rows.size()); ++row)
        DeleteRowCells(row);
    m_Rows.clear();
    m_RowHeights.clear();
    m_ColumnWidths.clear();
    m_Selection.clear();
    m_FocusCell = CGridCellPos(-1, -1);
    m_nRowCount = m_nHeaderRows = m_nColumnCount = m_nHeaderColumns = 0;
    m_TopLeftCache = CGridCellPos(-1, -1);
    UpdateScrollBars();
    SetModified();
    return TRUE;
}

// ---- cells ----------------------------------------------------------------------------------

CGridCellBase* CGridCtrl::CellAt(int row, int col) const
{
    if (row < 0 || col < 0 || row >= static_cast<int>(m_Rows.size()))
        return nullptr;
    const auto& cells = m_Rows[static_cast<size_t>(row)];
    if (col >= static_cast<int>(cells.size()))
        return nullptr;
    return cells[static_cast<size_t>(col)].get();
}

CGridCellBase* CGridCtrl::GetCell(int row, int col) const
{
    if (!IsValid(row, col))
        return nullptr;
    if (m_bOwnerData)
        return VirtualCell(row, col);
    return CellAt(row, col);
}

CGridCellBase* CGridCtrl::VirtualCell(int row, int col) const
{
    CGridCtrl* self = const_cast<CGridCtrl*>(this);
    const bool fixedRow = row < m_nHeaderRows;
    const bool fixedCol = col < m_nHeaderColumns;
    CGridDefaultCell* def = self->DefaultCellFor(fixedRow, fixedCol);
    m_VirtualCell.Reset();
    m_VirtualCell.SetGrid(self);
    m_VirtualCell.SetFormat(def->GetFormat());
    m_VirtualCell.SetMargin(def->GetMargin());
    UINT state = 0;
    if (m_Selection.count(CGridCellPos(row, col)))
        state |= GCS_SELECTED;
    if (fixedRow)
        state |= GCS_FIXED | GCS_FIXEDROW;
    if (fixedCol)
        state |= GCS_FIXED | GCS_FIXEDCOL;
    if (m_FocusCell == CGridCellPos(row, col))
        state |= GCS_FOCUSED;
    m_VirtualCell.SetState(state);
    m_VirtualCell.SetCoords(row, col);

    // The owner completes the record; only the fields it leaves in the mask count.
    GRID_ITEM item;
    item.row = row;
    item.col = col;
    item.mask = GI_TEXT | GI_IMAGE | GI_DATA | GI_STATE | GI_FORMAT | GI_BKCOLOUR | GI_FGCOLOUR | GI_MARGIN;
    item.nState = state;
    item.nFormat = m_VirtualCell.GetFormat();
    item.iImage = -1;
    item.nMargin = m_VirtualCell.GetMargin();
    self->NotifyOwner(row, col, GN_GETCELL, &item);
    if (item.mask & GI_TEXT)
        m_VirtualCell.SetText(item.strText);
    if (item.mask & GI_IMAGE)
        m_VirtualCell.SetImage(item.iImage);
    if (item.mask & GI_DATA)
        m_VirtualCell.SetData(item.lParam);
    if (item.mask & GI_STATE)
        m_VirtualCell.SetState(item.nState);
    if (item.mask & GI_FORMAT)
        m_VirtualCell.SetFormat(item.nFormat);
    if (item.mask & GI_BKCOLOUR)
        m_VirtualCell.SetBackColour(item.crBkClr);
    if (item.mask & GI_FGCOLOUR)
        m_VirtualCell.SetTextColour(item.crFgClr);
    if (item.mask & GI_FONT)
        m_VirtualCell.SetFont(&item.lfFont);
    if (item.mask & GI_MARGIN)
        m_VirtualCell.SetMargin(item.nMargin);
    return &m_VirtualCell;
}

BOOL CGridCtrl::SetCell(int row, int col, std::unique_ptr<CGridCellBase> cell)
{
    if (m_bOwnerData || !IsValid(row, col) || row >= static_cast<int>(m_Rows.size()))
        return FALSE;
    auto& cells = m_Rows[static_cast<size_t>(row)];
    if (col >= static_cast<int>(cells.size()))
        return FALSE;
    if (cell)
        cell->SetCoords(row, col);
    cells[static_cast<size_t>(col)] = std::move(cell);
    return TRUE;
}

std::unique_ptr<CGridCellBase> CGridCtrl::NewCell(int row, int col)
{
    if (!m_pCellClass)
        return nullptr;
    std::unique_ptr<CGridCellBase> cell = m_pCellClass();
    if (!cell)
        return nullptr;
    cell->SetGrid(this);
    cell->SetCoords(row, col);
    if (col < m_nHeaderColumns)
        cell->SetState(cell->GetState() | GCS_FIXED | GCS_FIXEDCOL);
    if (row < m_nHeaderRows)
        cell->SetState(cell->GetState() | GCS_FIXED | GCS_FIXEDROW);
    if (const CGridDefaultCell* def = cell->GetDefaultCell())
        cell->SetFormat(def->GetFormat());
    return cell;
}

void CGridCtrl::DeleteCell(int row, int col)
{
    if (row < 0 || col < 0 || row >= static_cast<int>(m_Rows.size()))
        return;
    auto& cells = m_Rows[static_cast<size_t>(row)];
    if (col >= static_cast<int>(cells.size()) || !cells[static_cast<size_t>(col)])
        return;
    // The selection forgets the cell before it goes, and its open editor goes unheard.
    m_Selection.erase(CGridCellPos(row, col));
    if (QWidget* editor = cells[static_cast<size_t>(col)]->GetEditor()) {
        if (auto* inPlace = dynamic_cast<CGridInPlaceEditor*>(editor))
            inPlace->Abandon();
        editor->hide();
        editor->deleteLater();
    }
    cells[static_cast<size_t>(col)]->SetState(0);
    cells[static_cast<size_t>(col)].reset();
}

BOOL CGridCtrl::SetCellType(int row, int col, const CellFactory& factory)
{
    if (!factory || !IsValid(row, col))
        return FALSE;
    CGridCellBase* old = GetCell(row, col);
    if (!old || m_bOwnerData)
        return FALSE;
    std::unique_ptr<CGridCellBase> cell = factory();
    if (!cell)
        return FALSE;
    cell->CopyFrom(*old);
    return SetCell(row, col, std::move(cell));
}

BOOL CGridCtrl::SetDefaultCellType(CellFactory factory)
{
    if (!factory)
        return FALSE;
    m_pCellClass = std::move(factory);
    return TRUE;
}

// ---- items ----------------------------------------------------------------------------------

BOOL CGridCtrl::SetItem(const GRID_ITEM* item)
{
    if (!item || m_bOwnerData)
        return FALSE;
    CGridCellBase* cell = GetCell(item->row, item->col);
    if (!cell)
        return FALSE;

    SetModified(TRUE, item->row, item->col);
    if (item->mask & GI_TEXT)
        cell->SetText(item->strText);
    if (item->mask & GI_DATA)
        cell->SetData(item->lParam);
    if (item->mask & GI_IMAGE)
        cell->SetImage(item->iImage);
    if (item->mask & GI_STATE)
        SetItemState(item->row, item->col, item->nState);
    if (item->mask & GI_FORMAT)
        cell->SetFormat(item->nFormat);
    if (item->mask & GI_BKCOLOUR)
        cell->SetBackColour(item->crBkClr);
    if (item->mask & GI_FGCOLOUR)
        cell->SetTextColour(item->crFgClr);
    if (item->mask & GI_FONT)
        cell->SetFont(&item->lfFont);
    if (item->mask & GI_MARGIN)
        cell->SetMargin(item->nMargin);
    return TRUE;
}

BOOL CGridCtrl::GetItem(GRID_ITEM* item)
{
    if (!item)
        return FALSE;
    const CGridCellBase* cell = GetCell(item->row, item->col);
    if (!cell)
        return FALSE;
    if (item->mask & GI_TEXT)
        item->strText = cell->GetText();
    if (item->mask & GI_DATA)
        item->lParam = cell->GetData();
    if (item->mask & GI_IMAGE)
        item->iImage = cell->GetImage();
    if (item->mask & GI_STATE)
        item->nState = cell->GetState();
    if (item->mask & GI_FORMAT)
        item->nFormat = cell->GetFormat();
    if (item->mask & GI_BKCOLOUR)
        item->crBkClr = cell->GetBackColour();
    if (item->mask & GI_FGCOLOUR)
        item->crFgClr = cell->GetTextColour();
    if (item->mask & GI_FONT) {
        if (const LogFont* font = cell->GetFont())
            item->lfFont = *font;
    }
    if (item->mask & GI_MARGIN)
        item->nMargin = cell->GetMargin();
    return TRUE;
}

BOOL CGridCtrl::SetItemText(int row, int col, const QString& text)
{
    if (m_bOwnerData)
        return FALSE;
    CGridCellBase* cell = GetCell(row, col);
    if (!cell)
        return FALSE;
    cell->SetText(text);
    SetModified(TRUE, row, col);
    return TRUE;
}

QString CGridCtrl::GetItemText(int row, int col) const
{
    const CGridCellBase* cell = GetCell(row, col);
    return cell ? cell->GetText() : QString();
}

BOOL CGridCtrl::SetItemState(int row, int col, UINT state)
{
    if (!IsValid(row, col))
        return FALSE;
    CGridCellBase* cell = m_bOwnerData ? nullptr : GetCell(row, col);
    if (!m_bOwnerData && !cell)
        return FALSE;
    const CGridCellPos pos(row, col);
    if (state & GCS_SELECTED)
        m_Selection.insert(pos);
    else
        m_Selection.erase(pos);
    if (cell)
        cell->SetState(state);
    return TRUE;
}

UINT CGridCtrl::GetItemState(int row, int col) const
{
    const CGridCellBase* cell = GetCell(row, col);
    return cell ? cell->GetState() : 0;
}

BOOL CGridCtrl::IsCellSelected(int row, int col) const
{
    if (!m_bSelectEnabled)
        return FALSE;
    if (m_bOwnerData)
        return m_Selection.count(CGridCellPos(row, col)) ? TRUE : FALSE;
    const CGridCellBase* cell = GetCell(row, col);
    return cell && cell->IsSelected() ? TRUE : FALSE;
}

BOOL CGridCtrl::CanEditCell(int row, int col) const
{
    if (!m_bEditEnabled)
        return FALSE;
    const CGridCellBase* cell = GetCell(row, col);
    return cell && !(cell->GetState() & GCS_READONLY) ? TRUE : FALSE;
}

void CGridCtrl::SetModified(BOOL modified, int row, int col)
{
    if (col == -1 || col == m_nSortedColumn)
        m_nSortedColumn = -1;
    if (row < 0 || col < 0) {
        m_bChanged = modified;
    } else if (CGridCellBase* cell = GetCell(row, col)) {
        if (modified) {
            cell->SetState(cell->GetState() | GCS_MODIFIED);
            m_bChanged = TRUE;
        } else {
            cell->SetState(cell->GetState() & ~GCS_MODIFIED);
        }
    }
    if (!m_bChanged && !m_bOwnerData)
        for (auto& cells : m_Rows)
            for (auto& cell : cells)
                if (cell)
                    cell->SetState(cell->GetState() & ~GCS_MODIFIED);
}

BOOL CGridCtrl::GetModified(int row, int col) const
{
    if (row < 0 || col < 0)
        return m_bChanged;
    const CGridCellBase* cell = GetCell(row, col);
    return cell && cell->IsModified() ? TRUE : FALSE;
}

// ---- sizes ----------------------------------------------------------------------------------

BOOL CGridCtrl::SetRowHeight(int row, int height)
{
    if (row < 0 || row >= m_nRowCount || height < 0)
        return FALSE;
    m_RowHeights[static_cast<size_t>(row)] = static_cast<UINT>(height);
    UpdateScrollBars();
    return TRUE;
}

BOOL CGridCtrl::SetColumnWidth(int col, int width)
{
    if (col < 0 || col >= m_nColumnCount || width < 0)
        return FALSE;
    m_ColumnWidths[static_cast<size_t>(col)] = static_cast<UINT>(width);
    UpdateScrollBars();
    return TRUE;
}

int CGridCtrl::GetRowHeight(int row) const
{
    if (row < 0 || row >= m_nRowCount)
        return -1;
    return static_cast<int>(m_RowHeights[static_cast<size_t>(row)]);
}

int CGridCtrl::GetColumnWidth(int col) const
{
    if (col < 0 || col >= m_nColumnCount)
        return -1;
    return static_cast<int>(m_ColumnWidths[static_cast<size_t>(col)]);
}

int CGridCtrl::GetFixedRowHeight() const
{
    int height = 0;
    for (int row = 0; row < m_nHeaderRows; ++row)
        height += GetRowHeight(row);
    return height;
}

int CGridCtrl::GetFixedColumnWidth() const
{
    int width = 0;
    for (int col = 0; col < m_nHeaderColumns; ++col)
        width += GetColumnWidth(col);
    return width;
}

int CGridCtrl::GetVirtualHeight() const
{
    return static_cast<int>(std::accumulate(m_RowHeights.begin(), m_RowHeights.end(), std::int64_t { 0 }));
}

int CGridCtrl::GetVirtualWidth() const
{
    return static_cast<int>(std::accumulate(m_ColumnWidths.begin(), m_ColumnWidths.end(), std::int64_t { 0 }));
}

// ---- state ----------------------------------------------------------------------------------

CGridDefaultCell* CGridCtrl::DefaultCellFor(BOOL fixedRow, BOOL fixedCol)
{
    if (fixedRow && fixedCol)
        return &m_DefaultCornerCell;
    if (fixedRow)
        return &m_DefaultHeaderRowCell;
    if (fixedCol)
        return &m_DefaultHeaderColumnCell;
    return &m_DefaultCell;
}

const CGridDefaultCell* CGridCtrl::DefaultCellFor(BOOL fixedRow, BOOL fixedCol) const
{
    return const_cast<CGridCtrl*>(this)->DefaultCellFor(fixedRow, fixedCol);
}

void CGridCtrl::SetPrintMarginInfo(
    int headerLines, int footerLines, int leftChars, int rightChars, int topLines, int bottomLines, int gapLines)
{
    const auto keep = [](int& member, int value) {
        if (value >= 0)
            member = value;
    };
    keep(m_nHeaderLines, headerLines);
    keep(m_nFooterLines, footerLines);
    keep(m_nLeftMarginChars, leftChars);
    keep(m_nRightMarginChars, rightChars);
    keep(m_nTopMarginLines, topLines);
    keep(m_nBottomMarginLines, bottomLines);
    keep(m_nGapLines, gapLines);
}

void CGridCtrl::GetPrintMarginInfo(int& headerLines, int& footerLines, int& leftChars, int& rightChars, int& topLines,
    int& bottomLines, int& gapLines) const
{
    headerLines = m_nHeaderLines;
    footerLines = m_nFooterLines;
    leftChars = m_nLeftMarginChars;
    rightChars = m_nRightMarginChars;
    topLines = m_nTopMarginLines;
    bottomLines = m_nBottomMarginLines;
    gapLines = m_nGapLines;
}

BOOL CGridCtrl::IsValid(int row, int col) const
{
    return row >= 0 && row < m_nRowCount && col >= 0 && col < m_nColumnCount;
}

BOOL CGridCtrl::IsValid(const CGridCellSpan& span) const
{
    return span.minRow >= 0 && span.minCol >= 0 && span.maxRow >= 0 && span.maxCol >= 0 && span.maxRow < m_nRowCount
        && span.maxCol < m_nColumnCount && span.minRow <= span.maxRow && span.minCol <= span.maxCol;
}

void CGridCtrl::ClearSelection()
{
    m_PrevSelection.clear();
    SelectCells(-1, -1, -1, -1, FALSE, TRUE);
    // Entries that selection switched off could not visit.
    for (const CGridCellPos& pos : std::set<CGridCellPos>(m_Selection))
        SetSelectedBit(pos.row, pos.col, false);
    m_Selection.clear();
}

void CGridCtrl::SetSelectedBit(int row, int col, bool selected)
{
    // In virtual mode the map is the selection: the owner is not asked for the state.
    const UINT state = m_bOwnerData ? 0 : GetItemState(row, col);
    SetItemState(row, col, selected ? (state | GCS_SELECTED) : (state & ~GCS_SELECTED));
}

void CGridCtrl::ResetSelectedRange()
{
    ClearSelection();
    SetFocusCell(-1, -1);
}

int CGridCtrl::QueryWheelLines()
{
    const int lines = QApplication::wheelScrollLines();
    return lines > 0 ? lines : 3;
}

// ---- operations that later parts of the grid fill -------------------------------------------

// ---- text changes, clipboard, drag and drop ------------------------------------------------

BOOL CGridCtrl::ReplaceCellText(int row, int col, const QString& text)
{
    if (!CanEditCell(row, col) || NotifyOwner(row, col, GN_BEGINEDIT) < 0)
        return FALSE;
    CGridCellBase* cell = GetCell(row, col);
    if (!cell)
        return FALSE;
    const QString old = cell->GetText();
    if (text == old)
        return FALSE;
    cell->SetText(text);
    GRID_ITEM item;
    item.row = row;
    item.col = col;
    item.mask = GI_TEXT;
    item.strText = text;
    if (ValidateCellText(row, col, text) && NotifyOwner(row, col, GN_ENDEDIT, &item) >= 0) {
        SetModified(TRUE, row, col);
        RedrawCell(row, col);
        return TRUE;
    }
    if (CGridCellBase* still = GetCell(row, col))
        still->SetText(old);
    return FALSE;
}

void CGridCtrl::ClearCells(const CGridCellSpan& span)
{
    if (!IsValid(span))
        return;
    for (int row = span.minRow; row <= span.maxRow; ++row)
        for (int col = span.minCol; col <= span.maxCol; ++col)
            if (GetRowHeight(row) > 0 && GetColumnWidth(col) > 0)
                ReplaceCellText(row, col, QString());
    Refresh();
}

void CGridCtrl::ClearSelectedText()
{
    if (!m_bEditEnabled)
        return;
    const std::set<CGridCellPos> selected = m_Selection;
    for (const CGridCellPos& pos : selected)
        ReplaceCellText(pos.row, pos.col, QString());
}

std::unique_ptr<QMimeData> CGridCtrl::CopySelectionAsText()
{
    const CGridCellSpan range = GetSelectedCellRange();
    if (!IsValid(range))
        return nullptr;
    if (m_bOwnerData)
        NotifyCacheHint(range);
    QString text;
    for (int row = range.minRow; row <= range.maxRow; ++row) {
        if (GetRowHeight(row) == 0)
            continue;
        for (int col = range.minCol; col <= range.maxCol; ++col) {
            if (GetColumnWidth(col) == 0)
                continue;
            if (const CGridCellBase* cell = GetCell(row, col); cell && IsCellSelected(row, col))
                text += cell->GetText();
            if (col != range.maxCol)
                text += QLatin1Char('\t');
        }
        if (row != range.maxRow)
            text += QStringLiteral("\r\n");
    }
    if (m_bOwnerData)
        NotifyCacheHint(CGridCellSpan());
    auto data = std::make_unique<QMimeData>();
    data->setText(text);
    return data;
}

BOOL CGridCtrl::PasteTextIntoCells(int row, int col, const QMimeData* data, BOOL selectPasted)
{
    if (!IsValid(row, col) || !IsCellEditable(row, col) || !data || !data->hasText())
        return FALSE;
    QStringList lines = data->text().split(QLatin1Char('\n'));
    // A closing line end starts no further line.
    if (lines.size() > 1 && lines.last().isEmpty())
        lines.removeLast();
    static const QRegularExpression delimiters(QStringLiteral("[\t,]"));
    CGridCellSpan pasted(row, col, row, col);
    int target = row;
    for (const QString& line : lines) {
        while (target < m_nRowCount && GetRowHeight(target) == 0)
            ++target;
        if (target >= m_nRowCount)
            break;
        // Every delimiter ends one field: "a\t\tc" has an empty second field.
        const QStringList fields = line.split(delimiters);
        int column = col;
        for (const QString& field : fields) {
            while (column < m_nColumnCount && GetColumnWidth(column) == 0)
                ++column;
            if (column >= m_nColumnCount)
                break;
            ReplaceCellText(target, column, field.trimmed());
            SetItemState(target, column, GetItemState(target, column) & ~GCS_SELECTED);
            pasted.maxRow = std::max(pasted.maxRow, target);
            pasted.maxCol = std::max(pasted.maxCol, column);
            ++column;
        }
        ++target;
    }
    if (selectPasted) {
        SetSelectedRange(pasted, TRUE);
        viewport()->update();
    } else {
        ResetSelectedRange();
        Refresh();
    }
    return TRUE;
}

void CGridCtrl::OnEditCopy()
{
    if (std::unique_ptr<QMimeData> data = CopySelectionAsText())
        QGuiApplication::clipboard()->setMimeData(data.release());
}

void CGridCtrl::OnEditCut()
{
    if (!m_bEditEnabled)
        return;
    OnEditCopy();
    ClearSelectedText();
}

void CGridCtrl::OnEditPaste()
{
    if (!m_bEditEnabled)
        return;
    CGridCellPos start = GetSelectedCellRange().TopLeft();
    if (!IsValid(start))
        start = m_FocusCell;
    if (!IsValid(start))
        start = GetTopleftNonFixedCell();
    if (!IsValid(start))
        return;
    if (CGridCellBase* cell = GetCell(start.row, start.col); cell && cell->IsEditing()) {
        // The open editor takes the paste: an edit box, or the edit part of a drop-down list.
        QLineEdit* edit = qobject_cast<QLineEdit*>(cell->GetEditor());
        if (auto* list = qobject_cast<QComboBox*>(cell->GetEditor()))
            edit = list->lineEdit();
        if (edit) {
            edit->paste();
            return;
        }
    }
    PasteTextIntoCells(start.row, start.col, QGuiApplication::clipboard()->mimeData(), TRUE);
}

void CGridCtrl::OnEditSelectAll()
{
    NotifyOwner(m_LeftDownCell.row, m_LeftDownCell.col, GN_SELCHANGING);
    SelectAllCells();
    NotifyOwner(m_FocusCell.row, m_FocusCell.col, GN_SELCHANGED);
}

BOOL CGridCtrl::OnUpdateEditCopy() const
{
    return GetSelectedCount() > 0 ? TRUE : FALSE;
}

BOOL CGridCtrl::OnUpdateEditCut() const
{
    return m_bEditEnabled && GetSelectedCount() > 0 ? TRUE : FALSE;
}

BOOL CGridCtrl::OnUpdateEditPaste() const
{
    if (!IsValid(m_FocusCell) || !CanEditCell(m_FocusCell.row, m_FocusCell.col))
        return FALSE;
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    return data && data->hasText() ? TRUE : FALSE;
}

BOOL CGridCtrl::OnUpdateEditSelectAll() const
{
    return m_bSelectEnabled;
}

void CGridCtrl::OnBeginDrag()
{
    if (!m_bDragEnabled)
        return;
    std::unique_ptr<QMimeData> data = CopySelectionAsText();
    if (!data)
        return;
    const CGridCellPos topLeft = GetSelectedCellRange().TopLeft();
    NotifyOwner(topLeft.row, topLeft.col, GN_BEGINDRAG);
    m_nMouseState = GRID_MOUSE_DRAGGING;
    m_bLeftDown = FALSE;
    const Qt::DropAction result = RunDrag(data.release());
    if (result == Qt::MoveAction)
        ClearSelectedText();
    OnCaptureChanged();
}

Qt::DropAction CGridCtrl::RunDrag(QMimeData* data)
{
    auto* drag = new QDrag(viewport());
    drag->setMimeData(data);
    return drag->exec(Qt::CopyAction | Qt::MoveAction);
}

int CGridCtrl::OnDragEnter(const QMimeData* data, DWORD keyState, QPoint point)
{
    if (!m_bDragEnabled || !data || !data->hasText())
        return GRID_DROPEFFECT_NONE;
    m_LastDragCell = GetCellFromPt(point);
    if (!IsValid(m_LastDragCell) || !IsCellEditable(m_LastDragCell))
        return GRID_DROPEFFECT_NONE;
    SetItemState(
        m_LastDragCell.row, m_LastDragCell.col, GetItemState(m_LastDragCell.row, m_LastDragCell.col) | GCS_DROPHILITED);
    RedrawCell(m_LastDragCell);
    return (keyState & GRID_MK_CONTROL) ? GRID_DROPEFFECT_COPY : GRID_DROPEFFECT_MOVE;
}

int CGridCtrl::OnDragOver(const QMimeData* data, DWORD keyState, QPoint point)
{
    if (!m_bDragEnabled || !m_bEditEnabled || !data || !data->hasText())
        return GRID_DROPEFFECT_NONE;
    const CGridCellPos pos = GetCellFromPt(point);
    if (!IsValid(pos)) {
        OnDragLeave();
        m_LastDragCell = CGridCellPos(-1, -1);
        return GRID_DROPEFFECT_NONE;
    }
    if (!IsCellEditable(pos))
        return GRID_DROPEFFECT_NONE;
    if (!(pos == m_LastDragCell)) {
        if (IsValid(m_LastDragCell)) {
            SetItemState(m_LastDragCell.row, m_LastDragCell.col,
                GetItemState(m_LastDragCell.row, m_LastDragCell.col) & ~GCS_DROPHILITED);
            RedrawCell(m_LastDragCell);
        }
        m_LastDragCell = pos;
        SetItemState(pos.row, pos.col, GetItemState(pos.row, pos.col) | GCS_DROPHILITED);
        RedrawCell(pos);
    }
    return (keyState & GRID_MK_CONTROL) ? GRID_DROPEFFECT_COPY : GRID_DROPEFFECT_MOVE;
}

void CGridCtrl::OnDragLeave()
{
    if (!IsValid(m_LastDragCell))
        return;
    SetItemState(m_LastDragCell.row, m_LastDragCell.col,
        GetItemState(m_LastDragCell.row, m_LastDragCell.col) & ~GCS_DROPHILITED);
    RedrawCell(m_LastDragCell);
}

BOOL CGridCtrl::OnDrop(const QMimeData* data, int /*dropEffect*/, QPoint /*point*/)
{
    m_nMouseState = GRID_MOUSE_NOTHING;
    if (!m_bDragEnabled || !IsCellEditable(m_LastDragCell))
        return FALSE;
    OnDragLeave();
    return PasteTextIntoCells(m_LastDragCell.row, m_LastDragCell.col, data, FALSE);
}

void CGridCtrl::dragEnterEvent(QDragEnterEvent* event)
{
    m_DropSite.OnDragEnter(viewport(), event);
}

void CGridCtrl::dragMoveEvent(QDragMoveEvent* event)
{
    m_DropSite.OnDragOver(viewport(), event);
}

void CGridCtrl::dragLeaveEvent(QDragLeaveEvent* /*event*/)
{
    m_DropSite.OnDragLeave(viewport());
}

void CGridCtrl::dropEvent(QDropEvent* event)
{
    m_DropSite.OnDrop(viewport(), event);
}

std::unique_ptr<ImageList> CGridCtrl::BuildDragImage(QPoint* hotSpot)
{
    WinRect rect;
    if (!IsValid(m_FocusCell) || !GetCellRect(m_FocusCell, rect))
        return nullptr;
    const int width = rect.Width();
    const int height = rect.Height();
    CGridCellBase* cell = GetCell(m_FocusCell.row, m_FocusCell.col);
    auto images = std::make_unique<ImageList>();
    if (!cell || !images->Create(width, height))
        return nullptr;
    if (hotSpot)
        *hotSpot = QPoint(width, height);
    const COLORREF transparent = m_DefaultCell.GetBackColour();
    QImage image(width, height, QImage::Format_RGB32);
    // What the cell leaves undrawn is the transparent colour.
    image.fill(platform::ToQColor(transparent));
    {
        QPainter painter(&image);
        cell->Draw(&painter, m_FocusCell.row, m_FocusCell.col, WinRect { 0, 0, width, height }, FALSE);
    }
    if (images->Add(image, transparent) < 0)
        return nullptr;
    return images;
}

BOOL CGridCtrl::OnSelectionChanged(int)
{
    return TRUE;
}
void CGridCtrl::OnHeaderColumnClick(const CGridCellPos& cell)
{
    if (!IsValid(cell) || !m_bRowHeaderSelects)
        return;
    m_nMouseState = cell.row < m_nHeaderRows ? GRID_MOUSE_SELECT_ALL : GRID_MOUSE_SELECT_ROWS;
    OnSelecting(cell);
}

void CGridCtrl::OnHeaderRowClick(const CGridCellPos& cell)
{
    if (!IsValid(cell))
        return;
    if (m_bHeaderSorts) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        struct CursorGuard {
            ~CursorGuard() { QApplication::restoreOverrideCursor(); }
        } guard;
        SortItems(cell.col, cell.col == m_nSortedColumn ? !m_bSortUp : TRUE, 0);
        viewport()->update();
    }
    if (m_bColumnHeaderSelects) {
        m_nMouseState = cell.col < m_nHeaderColumns ? GRID_MOUSE_SELECT_ALL : GRID_MOUSE_SELECT_COLUMNS;
        OnSelecting(cell);
    }
}

// ---- printing -------------------------------------------------------------------------------

namespace {

std::vector<std::pair<int, int>> Bands(const std::vector<int>& sizes, int first, int usable)
{
    std::vector<std::pair<int, int>> bands;
    const int count = static_cast<int>(sizes.size());
    if (usable <= 0 || first >= count)
        return bands;
    int start = first;
    int sum = 0;
    for (int line = first; line < count; ++line) {
        const int size = sizes[static_cast<size_t>(line)];
        if (sum > 0 && sum + size > usable) {
            bands.emplace_back(start, line - 1);
            start = line;
            sum = 0;
        }
        sum += size;
    }
    bands.emplace_back(start, count - 1);
    return bands;
}

} // namespace

GridPagination PaginateGrid(const std::vector<int>& rowHeights, int firstRow, int usableHeight,
    const std::vector<int>& columnWidths, int firstCol, int usableWidth, bool columnPaging)
{
    GridPagination pagination;
    pagination.rowBands = Bands(rowHeights, firstRow, usableHeight);
    if (!columnPaging) {
        if (firstCol < static_cast<int>(columnWidths.size()))
            pagination.columnBands.emplace_back(firstCol, static_cast<int>(columnWidths.size()) - 1);
    } else {
        pagination.columnBands = Bands(columnWidths, firstCol, usableWidth);
    }
    return pagination;
}

QString CGridCtrl::AncestorTitle() const
{
    for (const QWidget* w = parentWidget(); w; w = w->parentWidget())
        if (!w->windowTitle().isEmpty())
            return w->windowTitle();
    return windowTitle();
}

QString CGridCtrl::PageNumberText(int page) const
{
    return QString::asprintf("Page %d of %d", page, m_nLastPage);
}

BOOL CGridCtrl::Print(QPrinter* printer)
{
    std::unique_ptr<QPrinter> own;
    if (!printer) {
        own = std::make_unique<QPrinter>();
        QPrintDialog dialog(own.get(), this);
        dialog.setOption(QAbstractPrintDialog::PrintToFile, false);
        dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
        dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
        dialog.setOption(QAbstractPrintDialog::PrintCollateCopies, true);
        if (dialog.exec() != QDialog::Accepted)
            return FALSE;
        printer = own.get();
    }
    QString name = QGuiApplication::applicationDisplayName();
    if (name.isEmpty())
        name = AncestorTitle();
    printer->setDocName(name);
    QPainter painter;
    if (!painter.begin(printer))
        return FALSE;
    OnBeginPrinting(&painter, printer);
    bool good = true;
    for (int page = 1; page <= m_nLastPage && good; ++page) {
        if (page > 1 && !printer->newPage()) {
            good = false;
            break;
        }
        m_nCurrentPage = page;
        OnPrint(&painter, printer, page);
    }
    OnEndPrinting(&painter, printer);
    if (!good)
        printer->abort();
    painter.end();
    return good ? TRUE : FALSE;
}

void CGridCtrl::OnBeginPrinting(QPainter* /*painter*/, QPrinter* printer)
{
    LogFont logFont;
    logFont.lfHeight = -10;
    logFont.lfWeight = 400;
    logFont.lfFaceName = "Arial";
    m_PrintFont = FontFromLogFont(logFont);
    const QFontMetrics metrics(m_PrintFont, printer);
    const QString sample = QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSATUVWXYZ").left(52);
    m_PrintCharSize = QSize(std::max(1, metrics.horizontalAdvance(sample) / 52), std::max(1, metrics.height()));
    m_PaperExtent = QSize(std::max(1, printer->width()), std::max(1, printer->height()));
    const int charW = m_PrintCharSize.width();
    const int charH = m_PrintCharSize.height();
    if (m_bPrintMode) {
        m_PageExtent
            = QSize(viewport()->logicalDpiX() * m_PaperExtent.width() / std::max(1, printer->logicalDpiX()) * 3 / 4,
                viewport()->logicalDpiY() * m_PaperExtent.height() / std::max(1, printer->logicalDpiY()) * 3 / 4);
    } else {
        const int width = std::max(1, GetVirtualWidth() + (m_nLeftMarginChars + m_nRightMarginChars) * charW);
        m_PageExtent = QSize(width,
            static_cast<int>(std::lround(static_cast<double>(width) * m_PaperExtent.height() / m_PaperExtent.width())));
    }
    m_nPrintableHeight
        = m_PageExtent.height() - GetFixedRowHeight() - (m_nHeaderLines + m_nFooterLines + 2 * m_nGapLines) * charH;
    m_nPrintableWidth
        = m_PageExtent.width() - GetFixedColumnWidth() - (m_nLeftMarginChars + m_nRightMarginChars) * charW;
    std::vector<int> heights(m_RowHeights.begin(), m_RowHeights.end());
    std::vector<int> widths(m_ColumnWidths.begin(), m_ColumnWidths.end());
    m_Pagination = PaginateGrid(
        heights, m_nHeaderRows, m_nPrintableHeight, widths, m_nHeaderColumns, m_nPrintableWidth, m_bPrintMode);
    m_nPagesDown = m_Pagination.PagesDown();
    m_nPagesAcross = m_Pagination.PagesAcross();
    m_nLastPage = m_Pagination.PageCount();
    m_nCurrentPage = 1;
}

void CGridCtrl::OnPrint(QPainter* painter, QPrinter* printer, int page)
{
    painter->save();
    painter->setFont(m_PrintFont);
    const int charW = m_PrintCharSize.width();
    const int charH = m_PrintCharSize.height();
    painter->setWindow(-m_nLeftMarginChars * charW, 0, m_PageExtent.width(), m_PageExtent.height());
    painter->setViewport(0, 0, m_PaperExtent.width(), m_PaperExtent.height());
    painter->setPen(Qt::black);

    const int printableWidth = m_PageExtent.width() - (m_nLeftMarginChars + m_nRightMarginChars) * charW;
    m_PrintRect = QRect(0, 0, printableWidth, m_nHeaderLines * charH);
    PrintTitle(painter, printer);

    const int rowBand = m_Pagination.RowBand(page);
    const int columnBand = m_Pagination.ColumnBand(page);
    m_nPrintFirstRow = m_nHeaderRows;
    m_nPrintLastRow = m_nHeaderRows - 1;
    if (rowBand <= static_cast<int>(m_Pagination.rowBands.size())) {
        m_nPrintFirstRow = m_Pagination.rowBands[static_cast<size_t>(rowBand - 1)].first;
        m_nPrintLastRow = m_Pagination.rowBands[static_cast<size_t>(rowBand - 1)].second;
    }
    m_nPrintFirstColumn = m_nHeaderColumns;
    m_nPrintLastColumn = m_nHeaderColumns - 1;
    if (columnBand <= static_cast<int>(m_Pagination.columnBands.size())) {
        m_nPrintFirstColumn = m_Pagination.columnBands[static_cast<size_t>(columnBand - 1)].first;
        m_nPrintLastColumn = m_Pagination.columnBands[static_cast<size_t>(columnBand - 1)].second;
    }

    const int headingTop = m_PrintRect.bottom() + 1 + m_nGapLines * charH;
    const int rowsTop = headingTop + GetFixedRowHeight();
    PrintLabelColumns(painter, printer, rowsTop);
    PrintHeadingRows(painter, printer, headingTop);

    // The page's cells; a band's one line larger than the page is cut at the page's edge.
    if (m_nPrintFirstRow <= m_nPrintLastRow && m_nPrintFirstColumn <= m_nPrintLastColumn) {
        painter->save();
        painter->setClipRect(QRect(GetFixedColumnWidth(), rowsTop,
            m_bPrintMode ? m_nPrintableWidth : m_PageExtent.width(), std::max(0, m_nPrintableHeight)));
        int y = rowsTop;
        for (int row = m_nPrintFirstRow; row <= m_nPrintLastRow; ++row) {
            PrintRowStrip(painter, row, m_nPrintFirstColumn, m_nPrintLastColumn, GetFixedColumnWidth(), y);
            y += GetRowHeight(row);
        }
        painter->restore();
    }

    const int footerHeight = m_nFooterLines * charH;
    m_PrintRect = QRect(0, m_PageExtent.height() - footerHeight, printableWidth, footerHeight);
    PrintPageNumber(painter, printer, page);
    painter->restore();
}

void CGridCtrl::OnEndPrinting(QPainter* /*painter*/, QPrinter* /*printer*/)
{
    m_PrintFont = QFont();
}

void CGridCtrl::PrintRowStrip(QPainter* painter, int row, int firstCol, int lastCol, int x, int y)
{
    const int height = GetRowHeight(row);
    if (height <= 0)
        return;
    const bool horizontal = m_nLineStyle == 1 || m_nLineStyle == 3;
    const bool vertical = m_nLineStyle == 2 || m_nLineStyle == 3;
    for (int col = firstCol; col <= lastCol; ++col) {
        const int width = GetColumnWidth(col);
        if (width <= 0)
            continue;
        const WinRect rect { x, y, x + width - 1, y + height - 1 };
        if (CGridCellBase* cell = GetCell(row, col))
            cell->PrintCell(painter, row, col, rect);
        if (horizontal) {
            painter->drawLine(rect.left, rect.bottom, rect.right, rect.bottom);
            if (row == 0)
                painter->drawLine(rect.left, rect.top, rect.right, rect.top);
        }
        if (vertical) {
            painter->drawLine(rect.right, rect.top, rect.right, rect.bottom);
            if (col == 0)
                painter->drawLine(rect.left, rect.top, rect.left, rect.bottom);
        }
        x += width;
    }
}

void CGridCtrl::PrintHeadingRows(QPainter* painter, QPrinter* /*printer*/, int y)
{
    for (int row = 0; row < m_nHeaderRows; ++row) {
        PrintRowStrip(painter, row, 0, m_nHeaderColumns - 1, 0, y);
        if (m_nPrintFirstColumn <= m_nPrintLastColumn) {
            painter->save();
            painter->setClipRect(QRect(GetFixedColumnWidth(), y,
                m_bPrintMode ? m_nPrintableWidth : m_PageExtent.width(), std::max(0, GetRowHeight(row))));
            PrintRowStrip(painter, row, m_nPrintFirstColumn, m_nPrintLastColumn, GetFixedColumnWidth(), y);
            painter->restore();
        }
        y += GetRowHeight(row);
    }
}

void CGridCtrl::PrintLabelColumns(QPainter* painter, QPrinter* /*printer*/, int y)
{
    if (m_nHeaderColumns == 0)
        return;
    painter->save();
    painter->setClipRect(QRect(0, y, GetFixedColumnWidth(), std::max(0, m_nPrintableHeight)));
    for (int row = m_nPrintFirstRow; row <= m_nPrintLastRow; ++row) {
        PrintRowStrip(painter, row, 0, m_nHeaderColumns - 1, 0, y);
        y += GetRowHeight(row);
    }
    painter->restore();
}

void CGridCtrl::PrintTitle(QPainter* painter, QPrinter* /*printer*/)
{
    painter->save();
    QFont bold = m_PrintFont;
    bold.setWeight(QFont::Bold);
    painter->setFont(bold);
    painter->setPen(Qt::black);
    const QString title = AncestorTitle();
    if (!title.isEmpty())
        painter->drawText(m_PrintRect, Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine, title);
    const QString application = QGuiApplication::applicationDisplayName();
    if (!application.isEmpty())
        painter->drawText(m_PrintRect, Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine, application);
    painter->drawLine(m_PrintRect.left(), m_PrintRect.bottom(), m_PrintRect.right(), m_PrintRect.bottom());
    painter->restore();
}

void CGridCtrl::PrintPageNumber(QPainter* painter, QPrinter* /*printer*/, int page)
{
    painter->save();
    painter->setPen(Qt::black);
    painter->drawLine(m_PrintRect.left(), m_PrintRect.top(), m_PrintRect.right(), m_PrintRect.top());
    QFont bold = m_PrintFont;
    bold.setWeight(QFont::Bold);
    painter->setFont(bold);
    painter->drawText(m_PrintRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, PageNumberText(page));
    char stamp[128] = {};
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "%c", &local);
    painter->drawText(
        m_PrintRect, Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine, QString::fromLocal8Bit(stamp));
    painter->restore();
}

// ---- sorting --------------------------------------------------------------------------------

int CGridCtrl::CompareCellText(const CGridCellBase* a, const CGridCellBase* b, qintptr /*data*/)
{
    if (!a || !b)
        return 0;
    return QString::compare(a->GetText(), b->GetText(), Qt::CaseSensitive);
}

long CGridCtrl::TextToLong(const QString& text)
{
    int i = 0;
    const int n = static_cast<int>(text.size());
    while (i < n && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    // Accumulated negative, so the most negative value fits too.
    constexpr long least = std::numeric_limits<long>::min();
    long value = 0;
    bool saturated = false;
    for (; i < n && text[i] >= '0' && text[i] <= '9'; ++i) {
        const int digit = text[i].unicode() - '0';
        if (saturated)
            continue;
        if (value < (least + digit) / 10) {
            saturated = true;
            value = least;
            continue;
        }
        value = value * 10 - digit;
    }
    if (negative)
        return value;
    return value == least ? std::numeric_limits<long>::max() : -value;
}

int CGridCtrl::CompareCellNumbers(const CGridCellBase* a, const CGridCellBase* b, qintptr /*data*/)
{
    if (!a || !b)
        return 0;
    const long x = TextToLong(a->GetText());
    const long y = TextToLong(b->GetText());
    return x < y ? -1 : x > y ? 1 : 0;
}

void CGridCtrl::SetSortColumn(int col)
{
    if (m_nSortedColumn >= 0)
        InvalidateCellRect(0, m_nSortedColumn);
    m_nSortedColumn = col;
    if (col >= 0)
        InvalidateCellRect(0, col);
}

BOOL CGridCtrl::SortItems(int col, BOOL ascending, qintptr data)
{
    if (m_pfnSortCompare)
        return SortItemsWith(m_pfnSortCompare, col, ascending, data);
    return SortItemsWith(&CGridCtrl::CompareCellText, col, ascending, data);
}

BOOL CGridCtrl::SortTextItems(int col, BOOL ascending, qintptr data)
{
    return SortItemsWith(&CGridCtrl::CompareCellText, col, ascending, data);
}

BOOL CGridCtrl::SortItemsWith(const CompareFunction& compare, int col, BOOL ascending, qintptr data)
{
    if (!compare || col < 0 || col >= m_nColumnCount || m_nRowCount - m_nHeaderRows < 2 || m_bOwnerData)
        return FALSE;
    // An open edit ends first: its text goes to its cell, which then moves with its row.
    EndFocusCellEdit();
    SetSortColumn(col);
    m_bSortUp = ascending;
    ResetSelectedRange();
    SetFocusCell(-1, -1);
    const BOOL sorted = QuickSortRange(compare, col, ascending, data, m_nHeaderRows, -1);
    Refresh();
    return sorted;
}

void CGridCtrl::SwapRows(int a, int b)
{
    std::swap(m_Rows[static_cast<size_t>(a)], m_Rows[static_cast<size_t>(b)]);
    for (int row : { a, b })
        for (int col = 0; col < m_nColumnCount; ++col)
            if (CGridCellBase* cell = m_Rows[static_cast<size_t>(row)][static_cast<size_t>(col)].get())
                cell->SetCoords(row, col);
    std::swap(m_RowHeights[static_cast<size_t>(a)], m_RowHeights[static_cast<size_t>(b)]);
}

BOOL CGridCtrl::QuickSortRange(const CompareFunction& compare, int col, BOOL ascending, qintptr data, int low, int high)
{
    if (m_bOwnerData || col < 0 || col >= m_nColumnCount)
        return FALSE;
    if (high == -1)
        high = m_nRowCount - 1;
    if (low < m_nHeaderRows || high >= m_nRowCount || low >= high)
        return FALSE;
    const auto cell = [&](int row) { return m_Rows[static_cast<size_t>(row)][static_cast<size_t>(col)].get(); };
    // The smaller part recurses, the larger one loops: the depth stays logarithmic.
    while (low < high) {
        // The pivot is a cell object: it moves with its row during the pass.
        const CGridCellBase* pivot = cell((low + high) / 2);
        int i = low;
        int j = high;
        while (i <= j) {
            if (ascending) {
                while (i < high && compare(cell(i), pivot, data) < 0)
                    ++i;
                while (j > low && compare(cell(j), pivot, data) > 0)
                    --j;
            } else {
                while (i < high && compare(cell(i), pivot, data) > 0)
                    ++i;
                while (j > low && compare(cell(j), pivot, data) < 0)
                    --j;
            }
            if (i <= j) {
                if (i != j && compare(cell(i), cell(j), data) != 0)
                    SwapRows(i, j);
                ++i;
                --j;
            }
        }
        if (j - low < high - i) {
            if (low < j)
                QuickSortRange(compare, col, ascending, data, low, j);
            low = i;
        } else {
            if (i < high)
                QuickSortRange(compare, col, ascending, data, i, high);
            high = j;
        }
    }
    return TRUE;
}

// ---- text files -----------------------------------------------------------------------------

bool CGridCtrl::WriteText(QSaveFile& file, const QByteArray& bytes)
{
    return file.write(bytes) == bytes.size();
}

BOOL CGridCtrl::Save(const QString& path, QChar separator)
{
    platform::RemoveSaveLeftovers(path.toStdString());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        MessageBox(QString::fromLatin1(kCannotOpen).arg(path, file.errorString()).toStdString(), platform::kAppTitle,
            MB_OK | MB_ICONWARNING);
        return FALSE;
    }
    QString text;
    for (int row = 0; row < m_nRowCount; ++row)
        for (int col = 0; col < m_nColumnCount; ++col) {
            if (const CGridCellBase* cell = GetCell(row, col))
                text += cell->GetText();
            text += col == m_nColumnCount - 1 ? QChar(QLatin1Char('\n')) : separator;
        }
    if (!WriteText(file, text.toUtf8()) || !file.commit()) {
        file.cancelWriting();
        MessageBox(kUnableToSave, platform::kAppTitle, MB_OK | MB_ICONWARNING);
        return FALSE;
    }
    return TRUE;
}

namespace {

// A line's fields: each ends at the separator or the line's end; an empty field at the very
// end ends the list.
QStringList SplitFields(const QString& line, QChar separator)
{
    QStringList fields;
    qsizetype pos = 0;
    for (;;) {
        const qsizetype next = line.indexOf(separator, pos);
        if (next < 0) {
            if (pos < line.size())
                fields.push_back(line.mid(pos));
            return fields;
        }
        fields.push_back(line.mid(pos, next - pos));
        pos = next + 1;
    }
}

// The bytes at the end of a chunk that start a UTF-8 character the chunk cuts off, else 0.
qsizetype IncompleteUtf8Tail(const QByteArray& bytes)
{
    const auto byte = [&](qsizetype i) { return static_cast<unsigned char>(bytes[i]); };
    qsizetype continuation = 0;
    while (continuation < 3 && continuation < bytes.size() && (byte(bytes.size() - 1 - continuation) & 0xC0) == 0x80)
        ++continuation;
    const qsizetype lead = bytes.size() - 1 - continuation;
    if (lead < 1)
        return 0;
    const unsigned char c = byte(lead);
    const qsizetype length = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 1;
    return length > continuation + 1 ? continuation + 1 : 0;
}

} // namespace

BOOL CGridCtrl::Load(const QString& path, QChar separator)
{
    if (m_bOwnerData)
        return FALSE;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        MessageBox(QString::fromLatin1(kCannotOpen).arg(path, file.errorString()).toStdString(), platform::kAppTitle,
            MB_OK | MB_ICONWARNING);
        return FALSE;
    }
    DeleteAllItems();
    // Lines of at most 1023 bytes; a longer one goes on as the next line.
    constexpr qint64 kLineBytes = 1023;
    const auto readLine = [&](QString& line) {
        QByteArray bytes = file.readLine(kLineBytes + 1);
        if (bytes.isEmpty())
            return false;
        if (bytes.endsWith('\n')) {
            bytes.chop(1);
        } else if (bytes.size() >= kLineBytes) {
            // A line that just fills the chunk ends here: its line end is no line of its own.
            if (file.peek(1) == "\n")
                file.skip(1);
            else if (file.peek(2) == "\r\n")
                file.skip(2);
            else if (const qsizetype tail = IncompleteUtf8Tail(bytes); tail > 0 && file.seek(file.pos() - tail))
                bytes.chop(tail); // the next line starts with the whole character
        }
        if (bytes.endsWith('\r'))
            bytes.chop(1);
        line = QString::fromStdString(
            platform::DecodeEightBitText(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size()))));
        return true;
    };
    QString line;
    bool failed = false;
    if (readLine(line)) {
        for (const QString& heading : SplitFields(line, separator))
            InsertColumn(heading, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        while (readLine(line)) {
            const QStringList fields = SplitFields(line, separator);
            // An empty line still appends its row, so line i stays row i.
            const int row = InsertRow(fields.isEmpty() ? QString() : fields[0]);
            if (row < 0) {
                failed = true;
                break;
            }
            for (int k = 1; k < fields.size() && k < m_nColumnCount; ++k)
                SetItemText(row, k, fields[k]);
        }
    }
    if (failed || file.error() != QFileDevice::NoError) {
        MessageBox(kUnableToLoad, platform::kAppTitle, MB_OK | MB_ICONWARNING);
        return FALSE;
    }
    AutoSizeColumns();
    return TRUE;
}
void CGridCtrl::BeginCellEdit(int row, int col, QPoint point, GridEditStart first)
{
    m_Tip.Hide();
    if (!IsValid(row, col) || !CanEditCell(row, col))
        return;
    EnsureVisible(row, col);
    WinRect rect;
    if (!IsCellVisible(row, col) || !GetCellRect(row, col, rect))
        return;
    if (NotifyOwner(row, col, GN_BEGINEDIT) < 0)
        return;
    CGridCellBase* cell = GetCell(row, col);
    if (!cell)
        return;
    if (!m_bToggleBits) {
        cell->Edit(row, col, rect, point, GRID_EDIT_ID, first);
        return;
    }
    // Toggle-bit mode flips a "1" or "0" cell in place; the owner hears of it either way.
    const QString text = cell->GetText();
    if (text.startsWith(QLatin1Char('1')))
        cell->SetText(QStringLiteral("0"));
    else if (text.startsWith(QLatin1Char('0')))
        cell->SetText(QStringLiteral("1"));
    Refresh();
    emit bitsToggled();
}

void CGridCtrl::FinishCellEdit(int row, int col, const QString& text)
{
    CGridCellBase* cell = GetCell(row, col);
    if (!cell)
        return;
    const QString old = cell->GetText();
    if (text != old) {
        cell->SetText(text);
        GRID_ITEM item;
        item.row = row;
        item.col = col;
        item.mask = GI_TEXT;
        item.strText = text;
        if (ValidateCellText(row, col, text) && NotifyOwner(row, col, GN_ENDEDIT, &item) >= 0) {
            SetModified(TRUE, row, col);
            RedrawCell(row, col);
        } else if (GetCell(row, col) == cell) {
            // The owner may have deleted the cell while it answered.
            cell->SetText(old);
        }
    }
    // The owner may have deleted the cell meanwhile.
    if (CGridCellBase* still = GetCell(row, col))
        still->OnEndEdit();
}

LRESULT CGridCtrl::OnInPlaceEditDone(GRID_EDIT_NOTIFY* notify)
{
    if (!notify)
        return 0;
    const GRID_ITEM& item = notify->item;
    // The cell moved or went while it was edited: its text has no place any more.
    const CGridCellBase* cell = GetCell(item.row, item.col);
    if (!cell || cell->GetEditor() != notify->hwndFrom)
        return 0;
    FinishCellEdit(item.row, item.col, item.strText);
    const UINT key = static_cast<UINT>(item.lParam);
    static const std::pair<UINT, int> keys[]
        = { { GRID_KEY_TAB, Qt::Key_Tab }, { GRID_KEY_PRIOR, Qt::Key_PageUp }, { GRID_KEY_NEXT, Qt::Key_PageDown },
              { GRID_KEY_END, Qt::Key_End }, { GRID_KEY_HOME, Qt::Key_Home }, { GRID_KEY_LEFT, Qt::Key_Left },
              { GRID_KEY_UP, Qt::Key_Up }, { GRID_KEY_RIGHT, Qt::Key_Right }, { GRID_KEY_DOWN, Qt::Key_Down } };
    for (const auto& [code, qtKey] : keys) {
        if (code != key)
            continue;
        // The modifiers stay with the key (Shift+Tab moves back); Ctrl only made the key leave.
        OnKeyDown(qtKey, notify->modifiers & Qt::ShiftModifier);
        BeginCellEdit(m_FocusCell.row, m_FocusCell.col, QPoint(-1, -1), GridEditStart::Key(key));
        break;
    }
    return 0;
}

BOOL CGridCtrl::ValidateCellText(int row, int col, const QString& text)
{
    if (CGridCellBase* cell = GetCell(row, col))
        return cell->ValidateEdit(text);
    return TRUE;
}

void CGridCtrl::EndFocusCellEdit()
{
    if (!IsValid(m_FocusCell))
        return;
    if (CGridCellBase* cell = GetCell(m_FocusCell.row, m_FocusCell.col))
        cell->EndEdit();
}

// ---- geometry -------------------------------------------------------------------------------

WinRect CGridCtrl::GetClientRect() const
{
    return WinRect::FromQRect(viewport()->rect());
}

BOOL CGridCtrl::GetCellOrigin(int row, int col, QPoint* point)
{
    if (!IsValid(row, col) || !point)
        return FALSE;
    CGridCellPos topLeft;
    if (col >= m_nHeaderColumns || row >= m_nHeaderRows)
        topLeft = GetTopleftNonFixedCell();
    if ((row >= m_nHeaderRows && row < topLeft.row) || (col >= m_nHeaderColumns && col < topLeft.col))
        return FALSE;

    int x = 0;
    if (col < m_nHeaderColumns) {
        for (int i = 0; i < col; ++i)
            x += GetColumnWidth(i);
    } else {
        x = GetFixedColumnWidth();
        for (int i = topLeft.col; i < col; ++i)
            x += GetColumnWidth(i);
    }
    int y = 0;
    if (row < m_nHeaderRows) {
        for (int i = 0; i < row; ++i)
            y += GetRowHeight(i);
    } else {
        y = GetFixedRowHeight();
        for (int i = topLeft.row; i < row; ++i)
            y += GetRowHeight(i);
    }
    *point = QPoint(x, y);
    return TRUE;
}

BOOL CGridCtrl::GetCellRect(int row, int col, WinRect& rect)
{
    QPoint origin;
    if (!GetCellOrigin(row, col, &origin))
        return FALSE;
    rect = WinRect { origin.x(), origin.y(), origin.x() + GetColumnWidth(col) - 1, origin.y() + GetRowHeight(row) - 1 };
    return TRUE;
}

BOOL CGridCtrl::GetCellTextRect(int row, int col, WinRect& rect)
{
    WinRect cellRect;
    if (!GetCellRect(row, col, cellRect))
        return FALSE;
    CGridCellBase* cell = GetCell(row, col);
    if (!cell)
        return FALSE;
    if (!cell->GetTextRect(cellRect))
        return FALSE;
    rect = cellRect;
    return TRUE;
}

BOOL CGridCtrl::GetCellRangeRect(const CGridCellSpan& span, WinRect& rect)
{
    QPoint minOrigin;
    QPoint maxOrigin;
    if (!GetCellOrigin(span.minRow, span.minCol, &minOrigin) || !GetCellOrigin(span.maxRow, span.maxCol, &maxOrigin))
        return FALSE;
    rect = WinRect { minOrigin.x(), minOrigin.y(), maxOrigin.x() + GetColumnWidth(span.maxCol) - 1,
        maxOrigin.y() + GetRowHeight(span.maxRow) - 1 };
    return TRUE;
}

CGridCellPos CGridCtrl::GetCellFromPt(QPoint point, BOOL allowFixed)
{
    CGridCellPos cell;
    const CGridCellPos topLeft = GetTopleftNonFixedCell();
    if (!allowFixed && !IsValid(topLeft))
        return cell;

    const int fixedWidth = GetFixedColumnWidth();
    if (point.x() < 0 || (!allowFixed && point.x() < fixedWidth)) {
        cell.col = -1;
    } else if (point.x() < fixedWidth) {
        int x = 0;
        int col = 0;
        for (; col < m_nHeaderColumns; ++col) {
            x += GetColumnWidth(col);
            if (x > point.x())
                break;
        }
        cell.col = col;
    } else {
        int x = fixedWidth;
        int col = std::max(topLeft.col, 0);
        for (; col < m_nColumnCount; ++col) {
            x += GetColumnWidth(col);
            if (x > point.x())
                break;
        }
        cell.col = col >= m_nColumnCount ? -1 : col;
    }

    const int fixedHeight = GetFixedRowHeight();
    if (point.y() < 0 || (!allowFixed && point.y() < fixedHeight)) {
        cell.row = -1;
    } else if (point.y() < fixedHeight) {
        int y = 0;
        int row = 0;
        for (; row < m_nHeaderRows; ++row) {
            y += GetRowHeight(row);
            if (y > point.y())
                break;
        }
        cell.row = row;
    } else {
        int y = fixedHeight;
        int row = std::max(topLeft.row, 0);
        for (; row < m_nRowCount; ++row) {
            y += GetRowHeight(row);
            if (y > point.y())
                break;
        }
        cell.row = row >= m_nRowCount ? -1 : row;
    }
    return cell;
}

CGridCellPos CGridCtrl::GetTopleftNonFixedCell(BOOL force)
{
    if (m_TopLeftCache.IsValid() && !force)
        return m_TopLeftCache;
    const int horz = GetScrollPos32(GRID_SB_HORZ);
    const int vert = GetScrollPos32(GRID_SB_VERT);

    int col = m_nHeaderColumns;
    for (int right = 0; right < horz && col < m_nColumnCount - 1;)
        right += GetColumnWidth(col++);
    int row = m_nHeaderRows;
    for (int bottom = 0; bottom < vert && row < m_nRowCount - 1;)
        bottom += GetRowHeight(row++);
    m_TopLeftCache = CGridCellPos(row, col);
    return m_TopLeftCache;
}

CGridCellSpan CGridCtrl::GetVisibleNonFixedCellRange(WinRect* rect, BOOL force)
{
    const WinRect client = GetClientRect();
    const CGridCellPos topLeft = GetTopleftNonFixedCell(force);

    int bottom = GetFixedRowHeight();
    int row = topLeft.row;
    for (; row < m_nRowCount; ++row) {
        bottom += GetRowHeight(row);
        if (bottom >= client.bottom) {
            bottom = client.bottom;
            break;
        }
    }
    const int maxRow = std::min(row, m_nRowCount - 1);

    int right = GetFixedColumnWidth();
    int col = topLeft.col;
    for (; col < m_nColumnCount; ++col) {
        right += GetColumnWidth(col);
        if (right >= client.right) {
            right = client.right;
            break;
        }
    }
    const int maxCol = std::min(col, m_nColumnCount - 1);
    if (rect)
        *rect = WinRect { 0, 0, right, bottom };
    return { topLeft.row, topLeft.col, maxRow, maxCol };
}

CGridCellSpan CGridCtrl::GetUnobstructedNonFixedCellRange(BOOL force)
{
    const WinRect client = GetClientRect();
    const CGridCellPos topLeft = GetTopleftNonFixedCell(force);

    int bottom = GetFixedRowHeight();
    int row = topLeft.row;
    for (; row < m_nRowCount; ++row) {
        bottom += GetRowHeight(row);
        if (bottom >= client.bottom)
            break;
    }
    int maxRow = std::min(row, m_nRowCount - 1);
    if (maxRow > 0 && bottom > client.bottom)
        --maxRow;

    int right = GetFixedColumnWidth();
    int col = topLeft.col;
    for (; col < m_nColumnCount; ++col) {
        right += GetColumnWidth(col);
        if (right >= client.right)
            break;
    }
    int maxCol = std::min(col, m_nColumnCount - 1);
    if (maxCol > 0 && right > client.right)
        --maxCol;
    return { topLeft.row, topLeft.col, maxRow, maxCol };
}

BOOL CGridCtrl::IsOverRowBorder(QPoint point)
{
    if (point.x() >= GetFixedColumnWidth())
        return FALSE;
    const CGridCellPos cell = GetCellFromPt(point, TRUE);
    QPoint origin;
    if (!GetCellOrigin(cell, &origin))
        return FALSE;
    const int end = origin.y() + GetRowHeight(cell.row);
    return ((point.y() - origin.y() < m_nBorderGrip && cell.row != 0) || end - point.y() < m_nBorderGrip) ? TRUE
                                                                                                          : FALSE;
}

BOOL CGridCtrl::IsOverColumnBorder(QPoint point)
{
    if (point.y() >= GetFixedRowHeight())
        return FALSE;
    const CGridCellPos cell = GetCellFromPt(point, TRUE);
    QPoint origin;
    if (!GetCellOrigin(cell, &origin))
        return FALSE;
    const int end = origin.x() + GetColumnWidth(cell.col);
    return ((point.x() - origin.x() < m_nBorderGrip && cell.col != 0) || end - point.x() < m_nBorderGrip) ? TRUE
                                                                                                          : FALSE;
}

BOOL CGridCtrl::IsCellVisible(int row, int col)
{
    QPoint origin;
    if (!GetCellOrigin(row, col, &origin))
        return FALSE;
    const WinRect client = GetClientRect();
    return origin.x() < client.right && origin.y() < client.bottom ? TRUE : FALSE;
}

// ---- focus ----------------------------------------------------------------------------------

CGridCellPos CGridCtrl::SetFocusCell(int row, int col)
{
    const CGridCellPos previous = m_FocusCell;
    if (row == m_FocusCell.row && col == m_FocusCell.col)
        return previous;
    if (row != -1 && row < m_nHeaderRows)
        row = m_nHeaderRows;
    if (col != -1 && col < m_nHeaderColumns)
        col = m_nHeaderColumns;
    if (row == m_FocusCell.row && col == m_FocusCell.col)
        return previous;

    m_FocusCell = CGridCellPos(row, col);
    if (IsValid(previous)) {
        if (CGridCellBase* cell = GetCell(previous.row, previous.col))
            cell->SetState(cell->GetState() & ~GCS_FOCUSED);
        RedrawCell(previous);
        if (m_bMarkFocusHeaders) {
            if (previous.col != col)
                for (int r = 0; r < m_nHeaderRows; ++r)
                    RedrawCell(r, previous.col);
            if (previous.row != row)
                for (int c = 0; c < m_nHeaderColumns; ++c)
                    RedrawCell(previous.row, c);
        }
    }
    if (IsValid(m_FocusCell)) {
        if (CGridCellBase* cell = GetCell(row, col))
            cell->SetState(cell->GetState() | GCS_FOCUSED);
        RedrawCell(m_FocusCell);
        if (m_bMarkFocusHeaders) {
            if (previous.col != col)
                for (int r = 0; r < m_nHeaderRows; ++r)
                    RedrawCell(r, col);
            if (previous.row != row)
                for (int c = 0; c < m_nHeaderColumns; ++c)
                    RedrawCell(row, c);
        }
    }
    return previous;
}

// ---- scroll bars ----------------------------------------------------------------------------

QScrollBar* CGridCtrl::ScrollBar(int bar) const
{
    return bar == GRID_SB_HORZ ? horizontalScrollBar() : verticalScrollBar();
}

int CGridCtrl::GetScrollPos32(int bar, BOOL track) const
{
    const QScrollBar* scrollBar = ScrollBar(bar);
    if (!scrollBar)
        return 0;
    return track && scrollBar->isSliderDown() ? scrollBar->sliderPosition() : scrollBar->value();
}

BOOL CGridCtrl::SetScrollPos32(int bar, int pos, BOOL /*redraw*/)
{
    m_TopLeftCache = CGridCellPos(-1, -1);
    QScrollBar* scrollBar = ScrollBar(bar);
    if (!scrollBar)
        return FALSE;
    scrollBar->setValue(pos);
    return TRUE;
}

void CGridCtrl::EnableScrollBars(int bar, BOOL show)
{
    const auto apply = [&](int bit, bool horizontal) {
        const bool shown = (m_nScrollBarsShown & bit) != 0;
        if (shown == static_cast<bool>(show))
            return;
        const Qt::ScrollBarPolicy policy = show ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff;
        if (horizontal)
            setHorizontalScrollBarPolicy(policy);
        else
            setVerticalScrollBarPolicy(policy);
        m_nScrollBarsShown = show ? (m_nScrollBarsShown | bit) : (m_nScrollBarsShown & ~bit);
    };
    if (bar == GRID_SB_HORZ || bar == GRID_SB_BOTH)
        apply(1, true);
    if (bar == GRID_SB_VERT || bar == GRID_SB_BOTH)
        apply(2, false);
}

void CGridCtrl::UpdateScrollBars()
{
    m_TopLeftCache = CGridCellPos(-1, -1);
    if (!m_bRedrawOn)
        return;
    const QRect client = viewport()->rect();
    if (client.width() <= 0 || client.height() <= 0)
        return;

    // The area the frame gives the viewport and its bars together.
    const QRect area = contentsRect();
    const int fixedWidth = GetFixedColumnWidth();
    const int fixedHeight = GetFixedRowHeight();
    int visibleWidth = area.width() - fixedWidth;
    int visibleHeight = area.height() - fixedHeight;
    if (visibleWidth <= 0 || visibleHeight <= 0) {
        EnableScrollBars(GRID_SB_BOTH, FALSE);
        return;
    }

    const int virtualWidth = GetVirtualWidth() - fixedWidth;
    const int virtualHeight = GetVirtualHeight() - fixedHeight;
    const int barWidth = verticalScrollBar()->sizeHint().width();
    const int barHeight = horizontalScrollBar()->sizeHint().height();
    // A bar that one dimension needs can make the other overflow: settle both, which takes at
    // most two passes.
    bool vertical = false;
    bool horizontal = false;
    for (int pass = 0; pass < 2; ++pass) {
        if (!vertical && visibleHeight < virtualHeight) {
            vertical = true;
            visibleWidth -= barWidth;
        }
        if (!horizontal && visibleWidth < virtualWidth) {
            horizontal = true;
            visibleHeight -= barHeight;
        }
    }

    m_nVertRange = vertical ? virtualHeight - 1 : 0;
    m_nHorzRange = horizontal ? virtualWidth - 1 : 0;
    EnableScrollBars(GRID_SB_VERT, vertical);
    EnableScrollBars(GRID_SB_HORZ, horizontal);

    const auto setBar = [](QScrollBar* bar, int range, int page) {
        page = range > 0 ? std::max(page, 0) : 0;
        bar->setPageStep(page);
        bar->setMinimum(0);
        bar->setMaximum(range > 0 ? std::max(0, range - page + 1) : 0);
    };
    setBar(horizontalScrollBar(), m_nHorzRange, visibleWidth);
    setBar(verticalScrollBar(), m_nVertRange, visibleHeight);
    m_TopLeftCache = CGridCellPos(-1, -1);
}

void CGridCtrl::scrollContentsBy(int /*dx*/, int /*dy*/)
{
    // Whole cells are drawn from the top-left one: only a new top-left cell needs pixels, and
    // only the scrolling part; the fixed rows and columns stay.
    m_TopLeftCache = CGridCellPos(-1, -1);
    if (!m_bRedrawOn)
        return;
    const CGridCellPos topLeft = GetTopleftNonFixedCell();
    const QRect client = viewport()->rect();
    if (topLeft.col != m_DrawnTopLeft.col) {
        const int fixedWidth = GetFixedColumnWidth();
        viewport()->update(QRect(fixedWidth, 0, client.width() - fixedWidth, client.height()));
    }
    if (topLeft.row != m_DrawnTopLeft.row) {
        const int fixedHeight = GetFixedRowHeight();
        viewport()->update(QRect(0, fixedHeight, client.width(), client.height() - fixedHeight));
    }
    m_DrawnTopLeft = topLeft;
}

// ---- redrawing ------------------------------------------------------------------------------

void CGridCtrl::Refresh()
{
    if (m_bRedrawOn)
        viewport()->update();
}

BOOL CGridCtrl::RedrawCell(int row, int col, QPainter* /*painter*/)
{
    if (!m_bRedrawOn || !IsCellVisible(row, col))
        return FALSE;
    WinRect rect;
    if (!GetCellRect(row, col, rect))
        return FALSE;
    // The cell's pixels with its right and bottom lines, which a fixed cell draws itself and
    // a normal cell's redraw restores.
    viewport()->update(QRect(rect.left, rect.top, rect.Width() + 1, rect.Height() + 1));
    return TRUE;
}

BOOL CGridCtrl::RedrawRow(int row)
{
    BOOL all = TRUE;
    for (int col = 0; col < m_nColumnCount; ++col)
        if (!RedrawCell(row, col))
            all = FALSE;
    return all;
}

BOOL CGridCtrl::RedrawColumn(int col)
{
    BOOL all = TRUE;
    for (int row = 0; row < m_nRowCount; ++row)
        if (!RedrawCell(row, col))
            all = FALSE;
    return all;
}

BOOL CGridCtrl::InvalidateCellRect(int row, int col)
{
    if (!m_bRedrawOn || !IsCellVisible(row, col))
        return FALSE;
    WinRect rect;
    if (!GetCellRect(row, col, rect))
        return FALSE;
    viewport()->update(QRect(rect.left, rect.top, rect.Width() + 1, rect.Height() + 1));
    return TRUE;
}

BOOL CGridCtrl::InvalidateCellSpan(const CGridCellSpan& span)
{
    if (!m_bRedrawOn)
        return FALSE;
    const CGridCellSpan visible = span.Intersect(GetVisibleNonFixedCellRange());
    WinRect rect;
    if (!visible.IsValid() || !GetCellRangeRect(visible, rect))
        return FALSE;
    viewport()->update(QRect(rect.left, rect.top, rect.Width() + 1, rect.Height() + 1));
    return TRUE;
}

void CGridCtrl::SetRedraw(BOOL allow, BOOL resetScrollBars)
{
    if (allow && !m_bRedrawOn) {
        m_bRedrawOn = TRUE;
        Refresh();
    }
    m_bRedrawOn = allow;
    if (resetScrollBars)
        UpdateScrollBars();
}

void CGridCtrl::SetGridLines(int style)
{
    m_nLineStyle = style;
    Refresh();
}

// ---- painting -------------------------------------------------------------------------------

void CGridCtrl::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    OnDraw(&painter, WinRect::FromQRect(event->rect()));
    // A divider drag's band: two inverted pixels across the client area.
    if (m_nTrackPos >= 0) {
        painter.setClipRect(event->rect());
        painter.setCompositionMode(QPainter::RasterOp_NotDestination);
        const QRect client = viewport()->rect();
        if (m_nMouseState == GRID_MOUSE_SIZING_COLUMN)
            painter.fillRect(QRect(m_nTrackPos - 1, 0, 2, client.height()), Qt::black);
        else
            painter.fillRect(QRect(0, m_nTrackPos - 1, client.width(), 2), Qt::black);
    }
}

void CGridCtrl::EraseBackground(QPainter* painter, const WinRect& clip)
{
    WinRect visible;
    GetVisibleNonFixedCellRange(&visible);
    const int fixedWidth = GetFixedColumnWidth();
    const int fixedHeight = GetFixedRowHeight();

    if (clip.left < fixedWidth && clip.top < fixedHeight)
        FillSolidRect(
            *painter, WinRect { clip.left, clip.top, fixedWidth, fixedHeight }, m_DefaultCornerCell.GetBackColour());
    // The fixed column below the corner, which keeps its own colour.
    if (clip.left < fixedWidth && clip.top < visible.bottom)
        FillSolidRect(*painter, WinRect { clip.left, std::max(clip.top, fixedHeight), fixedWidth, visible.bottom },
            m_DefaultHeaderColumnCell.GetBackColour());
    if (clip.top < fixedHeight && clip.right > fixedWidth && clip.left < visible.right)
        FillSolidRect(*painter, WinRect { fixedWidth - 1, clip.top, visible.right, fixedHeight },
            m_DefaultHeaderRowCell.GetBackColour());

    WinRect normal { std::max(clip.left, fixedWidth), std::max(clip.top, fixedHeight),
        std::min(clip.right, visible.right), std::min(clip.bottom, visible.bottom) };
    if (!normal.IsEmpty())
        FillSolidRect(*painter, normal, m_DefaultCell.GetBackColour());

    if (clip.right > visible.right)
        FillSolidRect(*painter, WinRect { visible.right, clip.top, clip.right, clip.bottom }, m_crOutsideBack);
    if (clip.bottom > visible.bottom && clip.left < visible.right)
        FillSolidRect(*painter, WinRect { clip.left, visible.bottom, visible.right, clip.bottom }, m_crOutsideBack);
}

void CGridCtrl::OnDraw(QPainter* painter, const WinRect& clip)
{
    if (!m_bRedrawOn || !painter)
        return;
    EraseBackground(painter, clip);

    const int fixedHeight = GetFixedRowHeight();
    const int fixedWidth = GetFixedColumnWidth();
    WinRect visibleRect;
    const CGridCellSpan visible = GetVisibleNonFixedCellRange(&visibleRect);
    m_DrawnTopLeft = visible.TopLeft();
    if (m_bOwnerData)
        NotifyCacheHint(visible);

    const auto draw = [&](int row, int col, const WinRect& rect) {
        if (CGridCellBase* cell = GetCell(row, col)) {
            cell->SetCoords(row, col);
            cell->Draw(painter, row, col, rect, FALSE);
        }
    };
    // Cells run from the pixel after the previous cell's last pixel to that pixel + size - 1.
    WinRect rect;
    rect.bottom = -1;
    for (int row = 0; row < m_nHeaderRows; ++row) {
        const int height = GetRowHeight(row);
        if (height <= 0)
            continue;
        rect.top = rect.bottom + 1;
        rect.bottom = rect.top + height - 1;
        rect.right = -1;
        for (int col = 0; col < m_nHeaderColumns; ++col) {
            const int width = GetColumnWidth(col);
            if (width <= 0)
                continue;
            rect.left = rect.right + 1;
            rect.right = rect.left + width - 1;
            draw(row, col, rect);
        }
    }

    const auto pass = [&](int firstRow, int lastRow, int top, int firstCol, int lastCol, int left) {
        WinRect r;
        r.bottom = top - 1;
        for (int row = firstRow; row <= lastRow; ++row) {
            const int height = GetRowHeight(row);
            if (height <= 0)
                continue;
            r.top = r.bottom + 1;
            r.bottom = r.top + height - 1;
            if (r.top > clip.bottom)
                break;
            if (r.bottom < clip.top)
                continue;
            r.right = left - 1;
            for (int col = firstCol; col <= lastCol; ++col) {
                const int width = GetColumnWidth(col);
                if (width <= 0)
                    continue;
                r.left = r.right + 1;
                r.right = r.left + width - 1;
                if (r.left > clip.right)
                    break;
                if (r.right < clip.left)
                    continue;
                draw(row, col, r);
            }
        }
    };
    if (m_nRowCount > 0 && m_nColumnCount > 0) {
        pass(visible.minRow, visible.maxRow, fixedHeight, 0, m_nHeaderColumns - 1, 0);
        pass(0, m_nHeaderRows - 1, 0, visible.minCol, visible.maxCol, fixedWidth);
        pass(visible.minRow, visible.maxRow, fixedHeight, visible.minCol, visible.maxCol, fixedWidth);
    }

    if (m_nLineStyle == 2 || m_nLineStyle == 3) {
        int x = fixedWidth;
        for (int col = visible.minCol; col <= visible.maxCol && col >= 0; ++col) {
            const int width = GetColumnWidth(col);
            if (width <= 0)
                continue;
            x += width;
            DrawLine(*painter, x - 1, fixedHeight, x - 1, visibleRect.bottom, m_crLineColour);
        }
    }
    if (m_nLineStyle == 1 || m_nLineStyle == 3) {
        int y = fixedHeight;
        for (int row = visible.minRow; row <= visible.maxRow && row >= 0; ++row) {
            const int height = GetRowHeight(row);
            if (height <= 0)
                continue;
            y += height;
            DrawLine(*painter, fixedWidth, y - 1, visibleRect.right, y - 1, m_crLineColour);
        }
    }
    if (m_bOwnerData)
        NotifyCacheHint(CGridCellSpan(-1, -1, -1, -1));
}

// ---- window events --------------------------------------------------------------------------

void CGridCtrl::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    if (m_bInOnSize)
        return;
    m_bInOnSize = true;
    if (!m_DropSite.IsRegistered())
        m_DropSite.Register(this);
    EndFocusCellEdit();
    UpdateScrollBars();
    m_bInOnSize = false;
}

void CGridCtrl::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        m_GridFont = font();
        for (CGridDefaultCell* cell :
            { &m_DefaultCell, &m_DefaultHeaderColumnCell, &m_DefaultHeaderRowCell, &m_DefaultCornerCell })
            cell->SetFontObject(font());
        Refresh();
    } else if (event->type() == QEvent::PaletteChange) {
        OnSysColorChange();
    }
}

void CGridCtrl::OnSysColorChange()
{
    const COLORREF text = GetSysColor(COLOR_WINDOWTEXT);
    const COLORREF window = GetSysColor(COLOR_WINDOW);
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    const COLORREF shadow = GetSysColor(COLOR_BTNSHADOW);
    for (CGridDefaultCell* cell :
        { &m_DefaultCell, &m_DefaultHeaderColumnCell, &m_DefaultHeaderRowCell, &m_DefaultCornerCell }) {
        if (cell->GetTextColour() == m_crSysWindowText)
            cell->SetTextColour(text);
        if (cell->GetBackColour() == m_crSysWindow)
            cell->SetBackColour(window);
        else if (cell != &m_DefaultCell && cell->GetBackColour() == m_crSysButtonFace)
            cell->SetBackColour(face);
    }
    if (m_crOutsideBack == m_crSysButtonShadow)
        m_crOutsideBack = shadow;
    m_crSysWindowText = text;
    m_crSysWindow = window;
    m_crSysButtonFace = face;
    m_crSysButtonShadow = shadow;
    Refresh();
}

void CGridCtrl::focusOutEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusOutEvent(event);
    OnCaptureChanged();
}

void CGridCtrl::OnCaptureChanged()
{
    KillTimer(513);
    m_nScrollTimer = 0;
    if (m_nMouseState == GRID_MOUSE_DRAGGING)
        m_nMouseState = GRID_MOUSE_NOTHING;
}

void CGridCtrl::TitleTipHide(QPoint point)
{
    if (m_Tip.isVisible() && !m_Tip.HoverRect().contains(m_Tip.mapFromGlobal(viewport()->mapToGlobal(point))))
        m_Tip.Hide();
}

void CGridCtrl::TitleTipShow(QPoint point)
{
    if (!m_bShowTips || m_Tip.isVisible())
        return;
    const CGridCellPos pos = GetCellFromPt(point, TRUE);
    if (!IsValid(pos))
        return;
    CGridCellBase* cell = GetCell(pos.row, pos.col);
    if (!cell || cell->IsEditing())
        return;
    const QString tip = cell->GetTipText();
    WinRect cellRect;
    if (tip.isEmpty() || !GetCellRect(pos, cellRect))
        return;
    const WinRect tipRect = cell->GetTipRect(cellRect);
    m_Tip.Show(tipRect, tip, 0, &cellRect, cell->GetFont(), m_crTipText, m_crTipBack);
}

// ---- mouse ----------------------------------------------------------------------------------

QPoint CGridCtrl::GetPointInCell(int row, int col, QPoint point)
{
    QPoint origin;
    if (!GetCellOrigin(row, col, &origin))
        return QPoint(0, 0);
    return point - origin;
}

int CGridCtrl::HoverMode(QPoint point)
{
    if (m_bColumnResizable && IsOverColumnBorder(point))
        return GRID_MOUSE_OVER_COLUMN_DIVIDER;
    if (m_bRowResizable && IsOverRowBorder(point))
        return GRID_MOUSE_OVER_ROW_DIVIDER;
    return GRID_MOUSE_NOTHING;
}

void CGridCtrl::MoveTrackingBand(int position)
{
    // The band is painted by paintEvent: the old strip and the new one are repainted.
    const bool vertical = m_nMouseState == GRID_MOUSE_SIZING_COLUMN;
    const QRect client = viewport()->rect();
    const auto strip
        = [&](int at) { return vertical ? QRect(at - 1, 0, 2, client.height()) : QRect(0, at - 1, client.width(), 2); };
    if (m_nTrackPos >= 0)
        viewport()->update(strip(m_nTrackPos));
    m_nTrackPos = position;
    if (m_nTrackPos >= 0)
        viewport()->update(strip(m_nTrackPos));
}

void CGridCtrl::mousePressEvent(QMouseEvent* event)
{
    m_Tip.Hide();
    if (event->button() == Qt::LeftButton)
        OnLButtonDown(event->modifiers(), event->position().toPoint());
    event->accept();
}

void CGridCtrl::mouseMoveEvent(QMouseEvent* event)
{
    OnMouseMove(event->buttons(), event->position().toPoint());
}

void CGridCtrl::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        OnLButtonUp(event->position().toPoint());
    else if (event->button() == Qt::RightButton)
        OnRButtonUp(event->position().toPoint());
    event->accept();
}

void CGridCtrl::mouseDoubleClickEvent(QMouseEvent* event)
{
    // Not the base class: it would run mousePressEvent, and the first press already came.
    m_Tip.Hide();
    if (event->button() == Qt::LeftButton)
        OnLButtonDblClk(event->position().toPoint());
    event->accept();
}

void CGridCtrl::wheelEvent(QWheelEvent* event)
{
    OnMouseWheel(event->angleDelta().y());
    event->accept();
}

void CGridCtrl::OnLButtonDown(Qt::KeyboardModifiers modifiers, QPoint point)
{
    setFocus(Qt::MouseFocusReason);
    m_bLeftDown = TRUE;
    m_ptLeftDown = point;
    m_ptLastMouse = point;
    m_LeftDownCell = GetCellFromPt(point, TRUE);
    if (!IsValid(m_LeftDownCell))
        return;
    const bool shift = modifiers & Qt::ShiftModifier;
    const bool ctrl = modifiers & Qt::ControlModifier;
    if (!shift)
        m_AnchorCell = m_LeftDownCell;
    else if (!IsValid(m_AnchorCell))
        m_AnchorCell = m_FocusCell;

    EndFocusCellEdit();
    if (CGridCellBase* cell = GetCell(m_LeftDownCell.row, m_LeftDownCell.col))
        cell->OnClickDown(GetPointInCell(m_LeftDownCell.row, m_LeftDownCell.col, point));
    WinRect textRect;
    const bool onText
        = GetCellTextRect(m_LeftDownCell.row, m_LeftDownCell.col, textRect) && textRect.Contains(point.x(), point.y());

    if (m_LeftDownCell == m_FocusCell && !ctrl && onText && IsCellEditable(m_LeftDownCell)) {
        m_nMouseState = GRID_MOUSE_PREPARE_EDIT;
        return;
    }
    if (IsCellSelected(m_LeftDownCell)) {
        SetFocusCell(m_LeftDownCell);
        if (ctrl) {
            if (m_bRowMode)
                SelectRows(m_LeftDownCell);
            else
                SelectCellRange(m_LeftDownCell);
            return;
        }
        if (m_bDragEnabled)
            m_nMouseState = GRID_MOUSE_PREPARE_DRAG;
    } else if (m_nMouseState != GRID_MOUSE_OVER_COLUMN_DIVIDER && m_nMouseState != GRID_MOUSE_OVER_ROW_DIVIDER) {
        if (IsCellFixed(m_LeftDownCell.row, m_LeftDownCell.col))
            SetFocusCell(-1, -1);
        else
            SetFocusCell(m_LeftDownCell);
    }

    // Qt's implicit grab during a press stands for the capture.
    if (m_nMouseState == GRID_MOUSE_NOTHING) {
        m_nMouseState = HoverMode(point);
        OnSetCursor();
    }

    const WinRect client = GetClientRect();
    if (m_nMouseState == GRID_MOUSE_OVER_COLUMN_DIVIDER) {
        m_nMouseState = GRID_MOUSE_SIZING_COLUMN;
        const int last = m_nColumnCount - 1;
        bool lastRule = false;
        WinRect visible;
        GetVisibleNonFixedCellRange(&visible);
        if (GetColumnWidth(last) < m_nBorderGrip && std::abs(point.x() - visible.right) < m_nBorderGrip) {
            m_LeftDownCell.col = last;
            lastRule = true;
        }
        QPoint start;
        if (!GetCellOrigin(m_LeftDownCell, &start)) {
            m_nMouseState = GRID_MOUSE_NOTHING;
            return;
        }
        // Near a cell's left edge the divider is its left neighbour's.
        int col = m_LeftDownCell.col;
        if (!lastRule && point.x() - start.x() < m_nBorderGrip)
            --col;
        if (!m_bZeroWidthPick)
            while (col >= 0 && GetColumnWidth(col) == 0)
                --col;
        if (col < 0) {
            m_nMouseState = GRID_MOUSE_NOTHING;
            return;
        }
        m_LeftDownCell.col = col;
        GetCellOrigin(m_LeftDownCell, &start);
        m_nTrackMin = start.x() + 1;
        m_nTrackMax = start.x() + client.Width() - GetFixedColumnWidth() + 1;
        MoveTrackingBand(std::clamp(point.x(), m_nTrackMin, m_nTrackMax));
        return;
    }
    if (m_nMouseState == GRID_MOUSE_OVER_ROW_DIVIDER) {
        m_nMouseState = GRID_MOUSE_SIZING_ROW;
        const int last = m_nRowCount - 1;
        bool lastRule = false;
        WinRect visible;
        GetVisibleNonFixedCellRange(&visible);
        if (GetRowHeight(last) < m_nBorderGrip && std::abs(point.y() - visible.bottom) < m_nBorderGrip) {
            m_LeftDownCell.row = last;
            lastRule = true;
        }
        QPoint start;
        if (!GetCellOrigin(m_LeftDownCell, &start)) {
            m_nMouseState = GRID_MOUSE_NOTHING;
            return;
        }
        int row = m_LeftDownCell.row;
        if (!lastRule && point.y() - start.y() < m_nBorderGrip)
            --row;
        if (!m_bZeroHeightPick)
            while (row >= 0 && GetRowHeight(row) == 0)
                --row;
        if (row < 0) {
            m_nMouseState = GRID_MOUSE_NOTHING;
            return;
        }
        m_LeftDownCell.row = row;
        GetCellOrigin(m_LeftDownCell, &start);
        m_nTrackMin = start.y() + 1;
        m_nTrackMax = start.y() + client.Height() - GetFixedRowHeight() + 1;
        MoveTrackingBand(std::clamp(point.y(), m_nTrackMin, m_nTrackMax));
        return;
    }

    if (m_nMouseState != GRID_MOUSE_PREPARE_DRAG) {
        NotifyOwner(m_LeftDownCell.row, m_LeftDownCell.col, GN_SELCHANGING);
        m_PrevSelection.clear();
        if (ctrl)
            m_PrevSelection = m_Selection;
        if (m_LeftDownCell.row < m_nHeaderRows) {
            OnHeaderRowClick(m_LeftDownCell);
        } else if (m_LeftDownCell.col < m_nHeaderColumns) {
            OnHeaderColumnClick(m_LeftDownCell);
        } else {
            m_nMouseState = m_bRowMode ? GRID_MOUSE_SELECT_ROWS : GRID_MOUSE_SELECT_CELLS;
            OnSelecting(m_LeftDownCell);
            m_nScrollTimer = GRID_SCROLL_TIMER;
            SetTimer(GRID_SCROLL_TIMER, static_cast<UINT>(m_nScrollTimerMs));
        }
    }
    m_ptLastMouse = point;
}

void CGridCtrl::OnMouseMove(Qt::MouseButtons buttons, QPoint point)
{
    TitleTipHide(point);
    const bool leftDown = m_bLeftDown && (buttons & Qt::LeftButton);
    const WinRect client = GetClientRect();
    if (m_nMouseState != GRID_MOUSE_DRAGGING && !client.Contains(point.x(), point.y())) {
        // The auto-scroll timer still needs to know where the mouse went.
        m_ptLastMouse = point;
        return;
    }

    if (!leftDown || m_nMouseState == GRID_MOUSE_NOTHING) {
        const int mode = HoverMode(point);
        if (mode != m_nMouseState || mode == GRID_MOUSE_NOTHING) {
            m_nMouseState = mode;
            m_ptLastMouse = point;
            OnSetCursor();
        }
        if (m_nMouseState == GRID_MOUSE_NOTHING) {
            const CGridCellPos pos = GetCellFromPt(point, TRUE);
            if (CGridCellBase* cell = IsValid(pos) ? GetCell(pos.row, pos.col) : nullptr)
                cell->OnHover();
            TitleTipShow(point);
        }
        m_ptLastMouse = point;
        return;
    }

    if (IsValid(m_LeftDownCell)) {
        switch (m_nMouseState) {
        case GRID_MOUSE_SELECT_COLUMNS:
        case GRID_MOUSE_SELECT_ROWS:
        case GRID_MOUSE_SELECT_CELLS: {
            const CGridCellPos pos = GetCellFromPt(point, TRUE);
            if (!IsValid(pos)) {
                m_ptLastMouse = point;
                return;
            }
            if (!(pos == m_FocusCell)) {
                OnSelecting(pos);
                if (!IsCellFixed(pos.row, pos.col) || m_nMouseState != GRID_MOUSE_SELECT_CELLS)
                    SetFocusCell(pos);
            }
            break;
        }
        case GRID_MOUSE_SIZING_ROW:
            MoveTrackingBand(std::clamp(point.y(), m_nTrackMin, m_nTrackMax));
            break;
        case GRID_MOUSE_SIZING_COLUMN:
            MoveTrackingBand(std::clamp(point.x(), m_nTrackMin, m_nTrackMax));
            break;
        case GRID_MOUSE_PREPARE_EDIT:
        case GRID_MOUSE_PREPARE_DRAG:
            // A click with a little jitter is still a click.
            if ((point - m_ptLeftDown).manhattanLength() >= QApplication::startDragDistance()) {
                m_nMouseState = GRID_MOUSE_PREPARE_DRAG;
                OnBeginDrag();
            }
            break;
        default:
            break;
        }
    }
    m_ptLastMouse = point;
}

void CGridCtrl::OnLButtonUp(QPoint point)
{
    m_bLeftDown = FALSE;
    KillTimer(GRID_SCROLL_TIMER);
    m_nScrollTimer = 0;

    switch (m_nMouseState) {
    case GRID_MOUSE_PREPARE_EDIT:
        BeginCellEdit(m_FocusCell.row, m_FocusCell.col, point, GridEditStart::Key(GRID_KEY_MOUSE));
        break;
    case GRID_MOUSE_PREPARE_DRAG: {
        if (CGridCellBase* cell = IsValid(m_FocusCell) ? GetCell(m_FocusCell.row, m_FocusCell.col) : nullptr)
            cell->OnClick(GetPointInCell(m_FocusCell.row, m_FocusCell.col, point));
        NotifyOwner(m_LeftDownCell.row, m_LeftDownCell.col, GN_CLICK);
        NotifyOwner(m_LeftDownCell.row, m_LeftDownCell.col, GN_SELCHANGING);
        ResetSelectedRange();
        NotifyOwner(m_FocusCell.row, m_FocusCell.col, GN_SELCHANGED);
        break;
    }
    case GRID_MOUSE_SIZING_COLUMN:
    case GRID_MOUSE_SIZING_ROW: {
        const bool column = m_nMouseState == GRID_MOUSE_SIZING_COLUMN;
        MoveTrackingBand(-1);
        QPoint start;
        if (!(point == m_ptLeftDown) && !point.isNull() && GetCellOrigin(m_LeftDownCell, &start)) {
            // The point as far as the band lets it go.
            const int at = std::clamp(column ? point.x() : point.y(), m_nTrackMin, m_nTrackMax);
            const bool canVanish = column ? m_bColumnCanVanish : m_bRowCanVanish;
            const int size = std::max(at - (column ? start.x() : start.y()), canVanish ? 0 : 1);
            if (column)
                SetColumnWidth(m_LeftDownCell.col, size);
            else
                SetRowHeight(m_LeftDownCell.row, size);
            UpdateScrollBars();
            viewport()->update();
        }
        break;
    }
    default:
        NotifyOwner(m_FocusCell.row, m_FocusCell.col, GN_SELCHANGED);
        if (CGridCellBase* cell = IsValid(m_FocusCell) ? GetCell(m_FocusCell.row, m_FocusCell.col) : nullptr)
            cell->OnClick(GetPointInCell(m_FocusCell.row, m_FocusCell.col, point));
        NotifyOwner(m_LeftDownCell.row, m_LeftDownCell.col, GN_CLICK);
        break;
    }
    m_nMouseState = GRID_MOUSE_NOTHING;
    viewport()->setCursor(Qt::ArrowCursor);
    if (IsValid(m_LeftDownCell)) {
        const int id = GetDlgCtrlID();
        QMetaObject::invokeMethod(
            this, [this, id] { emit cellReleased(id); }, Qt::QueuedConnection);
    }
}

void CGridCtrl::OnLButtonDblClk(QPoint point)
{
    const CGridCellPos pos = GetCellFromPt(point, TRUE);
    if (!IsValid(pos))
        return;
    // The release left mode 0; the divider under the point counts as hovered again.
    if (m_nMouseState == GRID_MOUSE_NOTHING)
        m_nMouseState = HoverMode(point);
    QPoint start;
    if (m_nMouseState == GRID_MOUSE_OVER_COLUMN_DIVIDER) {
        if (!GetCellOrigin(pos, &start))
            return;
        int col = pos.col;
        if (point.x() - start.x() < m_nBorderGrip)
            --col;
        while (col >= 0 && GetColumnWidth(col) == 0)
            --col;
        if (col < 0)
            return;
        AutoSizeColumn(col, static_cast<UINT>(m_nFitStyle));
        viewport()->update();
    } else if (m_nMouseState == GRID_MOUSE_OVER_ROW_DIVIDER) {
        if (!GetCellOrigin(pos, &start))
            return;
        int row = pos.row;
        if (point.y() - start.y() < m_nBorderGrip)
            --row;
        while (row >= 0 && GetRowHeight(row) == 0)
            --row;
        if (row < 0)
            return;
        AutoSizeRow(row);
        viewport()->update();
    } else if (m_nMouseState == GRID_MOUSE_NOTHING) {
        WinRect textRect;
        if (!IsCellFixed(pos.row, pos.col) && GetCellTextRect(pos.row, pos.col, textRect)
            && textRect.Contains(point.x(), point.y()))
            BeginCellEdit(pos.row, pos.col, point, GridEditStart::Key(GRID_KEY_MOUSE));
        if (CGridCellBase* cell = GetCell(pos.row, pos.col))
            cell->OnDoubleClick(GetPointInCell(pos.row, pos.col, point));
        NotifyOwner(pos.row, pos.col, GN_DBLCLK);
    }
}

void CGridCtrl::OnRButtonUp(QPoint point)
{
    EndFocusCellEdit();
    const CGridCellPos pos = GetCellFromPt(point, TRUE);
    if (!IsValid(pos)) {
        NotifyOwner(-1, -1, GN_RCLICK);
        return;
    }
    SetFocusCell(-1, -1);
    const CGridCellPos focus(std::max(pos.row, m_nHeaderRows), std::max(pos.col, m_nHeaderColumns));
    SetFocusCell(focus);
    if (CGridCellBase* cell = GetCell(focus.row, focus.col))
        cell->OnRightClick(GetPointInCell(focus.row, focus.col, point));
    NotifyOwner(focus.row, focus.col, GN_RCLICK);
}

void CGridCtrl::OnMouseWheel(int delta)
{
    // Deltas finer than a notch add up until they make a whole line or page.
    const int perNotch = m_nWheelLines == -1 ? 1 : m_nWheelLines;
    m_nWheelRemainder += delta * perNotch;
    const int steps = m_nWheelRemainder / 120;
    m_nWheelRemainder -= steps * 120;
    const bool pages = m_nWheelLines == -1;
    const UINT code
        = steps > 0 ? (pages ? GRID_SB_PAGEUP : GRID_SB_LINEUP) : (pages ? GRID_SB_PAGEDOWN : GRID_SB_LINEDOWN);
    for (int i = 0; i < std::abs(steps); ++i)
        OnVScroll(code);
}

bool CGridCtrl::viewportEvent(QEvent* event)
{
    // Leaving for the tip over a cell keeps it.
    if (event->type() == QEvent::Leave && m_Tip.isVisible()
        && !m_Tip.HoverRect().contains(m_Tip.mapFromGlobal(QCursor::pos())))
        m_Tip.Hide();
    return QAbstractScrollArea::viewportEvent(event);
}

BOOL CGridCtrl::OnSetCursor()
{
    switch (m_nMouseState) {
    case GRID_MOUSE_OVER_ROW_DIVIDER:
        viewport()->setCursor(Qt::SizeVerCursor);
        return TRUE;
    case GRID_MOUSE_OVER_COLUMN_DIVIDER:
        viewport()->setCursor(Qt::SizeHorCursor);
        return TRUE;
    case GRID_MOUSE_SIZING_ROW:
    case GRID_MOUSE_SIZING_COLUMN:
    case GRID_MOUSE_DRAGGING:
        return TRUE;
    default:
        break;
    }
    if (!m_bOwnerData) {
        const CGridCellPos pos = GetCellFromPt(m_ptLastMouse, TRUE);
        if (CGridCellBase* cell = IsValid(pos) ? GetCell(pos.row, pos.col) : nullptr)
            return cell->OnSetCursor();
    }
    viewport()->setCursor(Qt::ArrowCursor);
    return TRUE;
}

// ---- items ----------------------------------------------------------------------------------

BOOL CGridCtrl::SetItemTextFmt(int row, int col, const char* format, ...)
{
    if (!format)
        return FALSE;
    va_list args;
    va_start(args, format);
    const QString text = QString::vasprintf(format, args);
    va_end(args);
    return SetItemText(row, col, text);
}

BOOL CGridCtrl::SetItemTextFmtID(int row, int col, UINT id, ...)
{
    const std::optional<QByteArray> format = platform::LoadResource("STRING", static_cast<int>(id));
    if (!format)
        return FALSE;
    const QByteArray text = *format; // keeps the terminating zero of constData()
    va_list args;
    va_start(args, id);
    const QString result = QString::vasprintf(text.constData(), args);
    va_end(args);
    return SetItemText(row, col, result);
}

BOOL CGridCtrl::SetItemData(int row, int col, qintptr data)
{
    if (m_bOwnerData)
        return FALSE;
    CGridCellBase* cell = GetCell(row, col);
    if (!cell)
        return FALSE;
    cell->SetData(data);
    SetModified(TRUE, row, col);
    return TRUE;
}

qintptr CGridCtrl::GetItemData(int row, int col) const
{
    const CGridCellBase* cell = GetCell(row, col);
    return cell ? cell->GetData() : 0;
}

BOOL CGridCtrl::SetItemImage(int row, int col, int image)
{
    if (m_bOwnerData)
        return FALSE;
    CGridCellBase* cell = GetCell(row, col);
    if (!cell)
        return FALSE;
    cell->SetImage(image);
    SetModified(TRUE, row, col);
    return TRUE;
}

int CGridCtrl::GetItemImage(int row, int col) const
{
    const CGridCellBase* cell = GetCell(row, col);
    return cell ? cell->GetImage() : -1;
}

BOOL CGridCtrl::SetItemFormat(int row, int col, UINT format)
{
    CGridCellBase* cell = m_bOwnerData ? nullptr : GetCell(row, col);
    if (!cell)
        return FALSE;
    cell->SetFormat(format);
    return TRUE;
}

UINT CGridCtrl::GetItemFormat(int row, int col) const
{
    const CGridCellBase* cell = GetCell(row, col);
    return cell ? cell->GetFormat() : 0;
}

BOOL CGridCtrl::SetItemBkColour(int row, int col, COLORREF colour)
{
    CGridCellBase* cell = m_bOwnerData ? nullptr : GetCell(row, col);
    if (!cell)
        return FALSE;
    cell->SetBackColour(colour);
    return TRUE;
}

COLORREF CGridCtrl::GetItemBkColour(int row, int col) const
{
    const CGridCellBase* cell = GetCell(row, col);
    return cell ? cell->GetBackColour() : 0;
}

BOOL CGridCtrl::SetItemFgColour(int row, int col, COLORREF colour)
{
    CGridCellBase* cell = m_bOwnerData ? nullptr : GetCell(row, col);
    if (!cell)
        return FALSE;
    cell->SetTextColour(colour);
    return TRUE;
}

COLORREF CGridCtrl::GetItemFgColour(int row, int col) const
{
    const CGridCellBase* cell = GetCell(row, col);
    return cell ? cell->GetTextColour() : 0;
}

BOOL CGridCtrl::SetItemFont(int row, int col, const LogFont* font)
{
    CGridCellBase* cell = m_bOwnerData ? nullptr : GetCell(row, col);
    if (!cell)
        return FALSE;
    cell->SetFont(font);
    return TRUE;
}

const LogFont* CGridCtrl::GetItemFont(int row, int col) const
{
    if (const CGridCellBase* cell = GetCell(row, col))
        return cell->GetFont();
    return DefaultCellFor(row >= 0 && row < m_nHeaderRows, col >= 0 && col < m_nHeaderColumns)->GetFont();
}

BOOL CGridCtrl::IsItemEditing(int row, int col) const
{
    const CGridCellBase* cell = GetCell(row, col);
    return cell && cell->IsEditing() ? TRUE : FALSE;
}

QSize CGridCtrl::GetTextExtent(int row, int col, const QString& text)
{
    CGridCellBase* cell = GetCell(row, col);
    return cell ? cell->GetTextExtent(text) : QSize(0, 0);
}

// ---- structure ------------------------------------------------------------------------------

int CGridCtrl::InsertColumn(const QString& heading, UINT format, int col)
{
    if (col != -1 && (col < m_nHeaderColumns || col > m_nColumnCount))
        return -1;
    if (col == m_nColumnCount)
        col = -1;
    ClearSelection();
    const bool addedRow = m_nRowCount < 1;
    if (addedRow && !SetRowCount(1))
        return -1;

    const int index = col < 0 ? m_nColumnCount : col;
    const bool inserted = GuardAllocation([&] {
        m_ColumnWidths.reserve(m_ColumnWidths.size() + 1);
        for (auto& cells : m_Rows)
            cells.reserve(cells.size() + 1);
        std::vector<std::unique_ptr<CGridCellBase>> made;
        if (!m_bOwnerData) {
            made.reserve(m_Rows.size());
            for (int row = 0; row < m_nRowCount; ++row)
                made.push_back(NewCell(row, index));
        }
        // Nothing below allocates: the column goes in whole.
        m_ColumnWidths.insert(m_ColumnWidths.begin() + index, 0);
        for (size_t row = 0; row < made.size(); ++row)
            m_Rows[row].insert(m_Rows[row].begin() + index, std::move(made[row]));
    });
    if (!inserted) {
        if (addedRow)
            SetRowCount(0);
        MessageBox(kOutOfMemory, platform::kAppTitle, MB_OK | MB_ICONERROR);
        return -1;
    }
    ++m_nColumnCount;
    if (m_FocusCell.IsValid() && m_FocusCell.col >= index)
        ++m_FocusCell.col;

    SetItemText(0, index, heading);
    for (int row = 0; row < m_nRowCount; ++row)
        SetItemFormat(row, index, format);
    m_ColumnWidths[static_cast<size_t>(index)]
        = static_cast<UINT>(std::max(0, GetTextExtent(0, index, heading).width()));

    m_TopLeftCache = CGridCellPos(-1, -1);
    UpdateScrollBars();
    SetModified();
    return index;
}

int CGridCtrl::InsertRow(const QString& heading, int row)
{
    if (row != -1 && (row < m_nHeaderRows || row >= m_nRowCount))
        return -1;
    ClearSelection();
    const bool addedColumn = m_nColumnCount < 1;
    if (addedColumn && !SetColumnCount(1))
        return -1;

    const int index = row < 0 ? m_nRowCount : row;
    const bool inserted = GuardAllocation([&] {
        m_RowHeights.reserve(m_RowHeights.size() + 1);
        std::vector<std::unique_ptr<CGridCellBase>> cells;
        if (!m_bOwnerData) {
            m_Rows.reserve(m_Rows.size() + 1);
            cells.reserve(static_cast<size_t>(m_nColumnCount));
            for (int col = 0; col < m_nColumnCount; ++col)
                cells.push_back(NewCell(index, col));
            m_Rows.insert(m_Rows.begin() + index, std::move(cells));
        }
        m_RowHeights.insert(m_RowHeights.begin() + index, 0);
    });
    if (!inserted) {
        if (addedColumn)
            SetColumnCount(0);
        MessageBox(kOutOfMemory, platform::kAppTitle, MB_OK | MB_ICONERROR);
        return -1;
    }
    ++m_nRowCount;
    if (m_FocusCell.IsValid() && m_FocusCell.row >= index)
        ++m_FocusCell.row;

    SetItemText(index, 0, heading);
    const int height
        = heading.isEmpty() ? m_DefaultHeaderRowCell.GetHeight() : GetTextExtent(index, 0, heading).height();
    m_RowHeights[static_cast<size_t>(index)] = static_cast<UINT>(std::max(0, height));

    m_TopLeftCache = CGridCellPos(-1, -1);
    UpdateScrollBars();
    SetModified();
    return index;
}

BOOL CGridCtrl::DeleteColumn(int col)
{
    if (col < 0 || col >= m_nColumnCount)
        return FALSE;
    ClearSelection();
    if (!m_bOwnerData)
        for (int row = 0; row < static_cast<int>(m_Rows.size()); ++row) {
            DeleteCell(row, col);
            auto& cells = m_Rows[static_cast<size_t>(row)];
            cells.erase(cells.begin() + col);
        }
    m_ColumnWidths.erase(m_ColumnWidths.begin() + col);
    --m_nColumnCount;
    if (col < m_nHeaderColumns)
        --m_nHeaderColumns;
    if (m_FocusCell.col == col)
        m_FocusCell = CGridCellPos(-1, -1);
    else if (m_FocusCell.IsValid() && m_FocusCell.col > col)
        --m_FocusCell.col;
    m_TopLeftCache = CGridCellPos(-1, -1);
    UpdateScrollBars();
    SetModified();
    return TRUE;
}

BOOL CGridCtrl::DeleteRow(int row)
{
    if (row < 0 || row >= m_nRowCount)
        return FALSE;
    ClearSelection();
    if (!m_bOwnerData) {
        DeleteRowCells(row);
        m_Rows.erase(m_Rows.begin() + row);
    }
    m_RowHeights.erase(m_RowHeights.begin() + row);
    --m_nRowCount;
    if (row < m_nHeaderRows)
        --m_nHeaderRows;
    if (m_FocusCell.row == row)
        m_FocusCell = CGridCellPos(-1, -1);
    else if (m_FocusCell.IsValid() && m_FocusCell.row > row)
        --m_FocusCell.row;
    m_TopLeftCache = CGridCellPos(-1, -1);
    UpdateScrollBars();
    SetModified();
    return TRUE;
}

BOOL CGridCtrl::DeleteNonFixedRows()
{
    for (int row = m_nRowCount - 1; row >= m_nHeaderRows; --row)
        DeleteRow(row);
    return TRUE;
}

void CGridCtrl::FillClientArea()
{
    const QRect client = viewport()->rect();
    const int width = std::max(1, m_DefaultCell.GetWidth());
    const int height = std::max(1, m_DefaultCell.GetHeight());
    SetColumnCount(client.width() / width + 1);
    SetRowCount(client.height() / height + 1);
    SetFixedRowCount(1);
    SetFixedColumnCount(1);
    ExpandToFit(TRUE);
}

// ---- automatic sizing -----------------------------------------------------------------------

namespace {

// The rows that sizing flags take: bit 1 the fixed rows, bit 2 the others.
std::pair<int, int> SizedRows(UINT flags, int fixedRows, int rows)
{
    const int first = (flags & 1) ? 0 : fixedRows;
    const int last = (flags & 2) ? rows - 1 : fixedRows - 1;
    return { first, last };
}

} // namespace

BOOL CGridCtrl::AutoSizeColumn(int col, UINT flags, BOOL resetScrollBars)
{
    if (col < 0 || col >= m_nColumnCount || GetColumnWidth(col) == 0)
        return FALSE;
    if (flags == 0)
        flags = static_cast<UINT>(m_nFitStyle);
    const auto [first, last] = SizedRows(flags, m_nHeaderRows, m_nRowCount);
    int width = -1;
    for (int row = first; row <= last; ++row)
        if (CGridCellBase* cell = GetCell(row, col))
            width = std::max(width, cell->GetCellExtent().width());
    // A column that no row measured keeps its width.
    if (width >= 0)
        m_ColumnWidths[static_cast<size_t>(col)] = static_cast<UINT>(width);
    if (resetScrollBars)
        UpdateScrollBars();
    return TRUE;
}

BOOL CGridCtrl::AutoSizeRow(int row, BOOL resetScrollBars)
{
    if (row < 0 || row >= m_nRowCount || GetRowHeight(row) == 0)
        return FALSE;
    int height = -1;
    for (int col = 0; col < m_nColumnCount; ++col)
        if (CGridCellBase* cell = GetCell(row, col))
            height = std::max(height, cell->GetCellExtent().height());
    if (height >= 0)
        m_RowHeights[static_cast<size_t>(row)] = static_cast<UINT>(height);
    if (resetScrollBars)
        UpdateScrollBars();
    return TRUE;
}

void CGridCtrl::AutoSizeColumns(UINT flags)
{
    for (int col = 0; col < m_nColumnCount; ++col)
        if (GetColumnWidth(col) > 0)
            AutoSizeColumn(col, flags, FALSE);
    UpdateScrollBars();
}

void CGridCtrl::AutoSizeRows()
{
    for (int row = 0; row < m_nRowCount; ++row)
        if (GetRowHeight(row) > 0)
            AutoSizeRow(row, FALSE);
    UpdateScrollBars();
}

void CGridCtrl::AutoSize(UINT flags)
{
    if (flags == 0)
        flags = static_cast<UINT>(m_nFitStyle);
    const auto [first, last] = SizedRows(flags, m_nHeaderRows, m_nRowCount);
    // Only lines that something measured change; hidden ones stay hidden.
    std::vector<int> heights(static_cast<size_t>(std::max(0, m_nRowCount)), -1);
    for (int col = 0; col < m_nColumnCount; ++col) {
        if (GetColumnWidth(col) == 0)
            continue;
        int width = -1;
        for (int row = first; row <= last; ++row) {
            if (GetRowHeight(row) == 0)
                continue;
            CGridCellBase* cell = GetCell(row, col);
            if (!cell)
                continue;
            const QSize extent = cell->GetCellExtent();
            width = std::max(width, extent.width());
            heights[static_cast<size_t>(row)] = std::max(heights[static_cast<size_t>(row)], extent.height());
        }
        if (width >= 0)
            m_ColumnWidths[static_cast<size_t>(col)] = static_cast<UINT>(width);
    }
    for (int row = first; row <= last; ++row)
        if (heights[static_cast<size_t>(row)] >= 0)
            m_RowHeights[static_cast<size_t>(row)] = static_cast<UINT>(std::max(1, heights[static_cast<size_t>(row)]));
    UpdateScrollBars();
    Refresh();
}

// ---- filling the client area ----------------------------------------------------------------

void CGridCtrl::ApplyExpansion(std::vector<UINT>& sizes, int first, int total, int client)
{
    int expandable = 0;
    for (size_t i = static_cast<size_t>(first); i < sizes.size(); ++i)
        if (sizes[i] > 0)
            ++expandable;
    if (expandable == 0)
        return;
    const int difference = client - total;
    const int share = difference / expandable;
    // Sizes are unsigned: a line narrower than its share stops at 1 rather than wrapping.
    const auto add
        = [](UINT size, int delta) { return static_cast<UINT>(std::max(1, static_cast<int>(size) + delta)); };
    for (size_t i = static_cast<size_t>(first); i < sizes.size(); ++i)
        if (sizes[i] > 0)
            sizes[i] = add(sizes[i], share);
    const int remainder = std::abs(difference - share * expandable);
    const int step = difference < 0 ? -1 : 1;
    for (int i = first; i < first + remainder && i < static_cast<int>(sizes.size()); ++i)
        if (sizes[static_cast<size_t>(i)] > 0)
            sizes[static_cast<size_t>(i)] = add(sizes[static_cast<size_t>(i)], step);
}

void CGridCtrl::ExpandColumnsToFit(BOOL expandFixed)
{
    if (expandFixed ? m_nColumnCount <= 0 : m_nColumnCount <= m_nHeaderColumns)
        return;
    EnableScrollBars(GRID_SB_HORZ, FALSE);
    ApplyExpansion(m_ColumnWidths, expandFixed ? 0 : m_nHeaderColumns, GetVirtualWidth(), viewport()->width());
    Refresh();
    UpdateScrollBars();
}

void CGridCtrl::ExpandRowsToFit(BOOL expandFixed)
{
    if (expandFixed ? m_nRowCount <= 0 : m_nRowCount <= m_nHeaderRows)
        return;
    EnableScrollBars(GRID_SB_VERT, FALSE);
    ApplyExpansion(m_RowHeights, expandFixed ? 0 : m_nHeaderRows, GetVirtualHeight(), viewport()->height());
    Refresh();
    UpdateScrollBars();
}

void CGridCtrl::ExpandToFit(BOOL expandFixed)
{
    ExpandColumnsToFit(expandFixed);
    ExpandRowsToFit(expandFixed);
    ExpandColumnsToFit(expandFixed);
    Refresh();
}

void CGridCtrl::ExpandLastColumn()
{
    int last = m_nColumnCount - 1;
    while (last >= 0 && GetColumnWidth(last) <= 0)
        --last;
    if (last <= 0)
        return;
    EnableScrollBars(GRID_SB_HORZ, FALSE);
    const int difference = viewport()->width() - GetVirtualWidth();
    if (difference > 0)
        m_ColumnWidths[static_cast<size_t>(last)] += static_cast<UINT>(difference);
    Refresh();
}

// ---- queries and switches -------------------------------------------------------------------

BOOL CGridCtrl::IsCellFixed(int row, int col) const
{
    return row < m_nHeaderRows || col < m_nHeaderColumns;
}

BOOL CGridCtrl::IsCellEditable(int row, int col) const
{
    return CanEditCell(row, col);
}

CGridCellPos CGridCtrl::GetNextItem(const CGridCellPos& start, UINT flags) const
{
    // Condition flags name state bits, but for "modified", which is bit 0x80 of a cell.
    UINT wanted = flags & 0x1F;
    if (flags & 0x20)
        wanted |= GCS_MODIFIED;
    const auto matches = [&](int row, int col) {
        if (wanted == 0)
            return true;
        const CGridCellBase* cell = GetCell(row, col);
        return cell && (cell->GetState() & wanted) != 0;
    };

    if ((flags & 0xE00) == 0xE00) {
        int row = start.row <= 0 ? m_nHeaderRows : start.row;
        for (; row < m_nRowCount; ++row)
            for (int col = row == start.row ? start.col + 1 : m_nHeaderColumns; col < m_nColumnCount; ++col)
                if (matches(row, col))
                    return { row, col };
        return {};
    }
    if ((flags & 0xE00) == 0xA00) {
        for (int row = start.row <= 0 ? m_nHeaderRows : start.row; row < m_nRowCount; ++row)
            for (int col = start.col + 1; col < m_nColumnCount; ++col)
                if (matches(row, col))
                    return { row, col };
        return {};
    }
    if (!IsValid(start))
        return {};
    if (flags & 0x100)
        for (int row = start.row - 1; row >= 0; --row)
            if (matches(row, start.col))
                return { row, start.col };
    if (flags & 0x200)
        for (int row = start.row + 1; row < m_nRowCount; ++row)
            if (matches(row, start.col))
                return { row, start.col };
    if (flags & 0x400)
        for (int col = start.col - 1; col >= 0; --col)
            if (matches(start.row, col))
                return { start.row, col };
    if (flags & 0x800)
        for (int col = start.col + 1; col < m_nColumnCount; ++col)
            if (matches(start.row, col))
                return { start.row, col };
    return {};
}

void CGridCtrl::SetListMode(BOOL enable)
{
    ResetSelectedRange();
    m_nSortedColumn = -1;
    m_bRowMode = enable;
    m_bRowHeaderSelects = FALSE;
    Refresh();
}

void CGridCtrl::SetVirtualMode(BOOL virtualMode)
{
    DeleteAllItems();
    m_bOwnerData = virtualMode;
    if (virtualMode) {
        m_bEditEnabled = FALSE;
        m_bHeaderSorts = FALSE;
        m_bRowHeaderSelects = FALSE;
        m_bColumnHeaderSelects = FALSE;
        m_nFitStyle = 1;
    }
}

// ---- selection ------------------------------------------------------------------------------

void CGridCtrl::SelectCells(int minRow, int minCol, int maxRow, int maxCol, BOOL /*forceRepaint*/, BOOL select)
{
    if (!m_bSelectEnabled)
        return;
    // Redraws are updates scheduled at once, forced or not.
    if (minRow >= 0 && minRow < m_nHeaderRows)
        minRow = m_nHeaderRows;
    if (maxRow >= 0 && maxRow < m_nHeaderRows)
        maxRow = m_nHeaderRows;
    if (minCol >= 0 && minCol < m_nHeaderColumns)
        minCol = m_nHeaderColumns;
    if (maxCol >= 0 && maxCol < m_nHeaderColumns)
        maxCol = m_nHeaderColumns;
    const CGridCellSpan span(minRow, minCol, maxRow, maxCol);
    const bool allBounds = minRow >= 0 && minCol >= 0 && maxRow >= 0 && maxCol >= 0;

    if (select) {
        for (const CGridCellPos& pos : std::set<CGridCellPos>(m_Selection)) {
            if (!IsValid(pos)) {
                m_Selection.erase(pos);
                continue;
            }
            SetSelectedBit(pos.row, pos.col, false);
            if (!span.Contains(pos))
                RedrawCell(pos);
        }
        if (!IsOneRowOnly() && allBounds)
            for (const CGridCellPos& pos : m_PrevSelection) {
                if (!IsValid(pos))
                    continue;
                SetSelectedBit(pos.row, pos.col, true);
                RedrawCell(pos);
            }
    }

    if (allBounds && maxRow < m_nRowCount && maxCol < m_nColumnCount && minRow <= maxRow && minCol <= maxCol)
        for (int row = minRow; row <= maxRow; ++row)
            for (int col = minCol; col <= maxCol; ++col) {
                const bool selected = m_Selection.count(CGridCellPos(row, col)) != 0;
                if (selected == static_cast<bool>(select))
                    continue;
                SetSelectedBit(row, col, select);
                RedrawCell(row, col);
            }
}

void CGridCtrl::SelectAllCells()
{
    if (!m_bSelectEnabled)
        return;
    SetSelectedRange(m_nHeaderRows, m_nHeaderColumns, m_nRowCount - 1, m_nColumnCount - 1, FALSE, TRUE);
}

void CGridCtrl::SelectColumns(const CGridCellPos& cell, BOOL forceRepaint, BOOL select)
{
    if (!m_bSelectEnabled || !IsValid(cell) || cell.col < m_nHeaderColumns)
        return;
    if (m_bOneColumnOnly)
        SetSelectedRange(m_nHeaderRows, cell.col, m_nRowCount - 1, cell.col, forceRepaint, select);
    else
        SetSelectedRange(m_nHeaderRows, std::min(m_AnchorCell.col, cell.col), m_nRowCount - 1,
            std::max(m_AnchorCell.col, cell.col), forceRepaint, select);
}

void CGridCtrl::SelectRows(const CGridCellPos& cell, BOOL forceRepaint, BOOL select)
{
    if (!m_bSelectEnabled || !IsValid(cell) || cell.row < m_nHeaderRows)
        return;
    if (IsOneRowOnly())
        SetSelectedRange(cell.row, m_nHeaderColumns, cell.row, m_nColumnCount - 1, forceRepaint, select);
    else
        SetSelectedRange(std::min(m_AnchorCell.row, cell.row), m_nHeaderColumns, std::max(m_AnchorCell.row, cell.row),
            m_nColumnCount - 1, forceRepaint, select);
}

void CGridCtrl::SelectCellRange(const CGridCellPos& cell, BOOL forceRepaint, BOOL select)
{
    if (!m_bSelectEnabled || !IsValid(cell) || IsCellFixed(cell.row, cell.col))
        return;
    SetSelectedRange(std::min(m_AnchorCell.row, cell.row), std::min(m_AnchorCell.col, cell.col),
        std::max(m_AnchorCell.row, cell.row), std::max(m_AnchorCell.col, cell.col), forceRepaint, select);
}

void CGridCtrl::OnSelecting(const CGridCellPos& cell)
{
    if (!m_bSelectEnabled)
        return;
    switch (m_nMouseState) {
    case GRID_MOUSE_SELECT_ALL:
        SelectAllCells();
        break;
    case GRID_MOUSE_SELECT_COLUMNS:
        SelectColumns(cell, FALSE);
        break;
    case GRID_MOUSE_SELECT_ROWS:
        SelectRows(cell, FALSE);
        break;
    case GRID_MOUSE_SELECT_CELLS:
        SelectCellRange(cell, FALSE);
        break;
    default:
        break;
    }
}

CGridCellSpan CGridCtrl::GetSelectedCellRange() const
{
    CGridCellSpan span(m_nRowCount, m_nColumnCount, -1, -1);
    for (const CGridCellPos& pos : m_Selection) {
        if (!IsValid(pos))
            continue;
        span.minRow = std::min(span.minRow, pos.row);
        span.minCol = std::min(span.minCol, pos.col);
        span.maxRow = std::max(span.maxRow, pos.row);
        span.maxCol = std::max(span.maxCol, pos.col);
    }
    return span;
}

// ---- scrolling ------------------------------------------------------------------------------

void CGridCtrl::OnScrollBarAction(int bar, int action)
{
    // Qt has moved the slider by its own step; the grid's step replaces it before Qt applies
    // it (the scroll below sets the value, which Qt then leaves alone).
    UINT code = GRID_SB_ENDSCROLL;
    switch (action) {
    case QAbstractSlider::SliderSingleStepAdd:
        code = GRID_SB_LINEDOWN;
        break;
    case QAbstractSlider::SliderSingleStepSub:
        code = GRID_SB_LINEUP;
        break;
    case QAbstractSlider::SliderPageStepAdd:
        code = GRID_SB_PAGEDOWN;
        break;
    case QAbstractSlider::SliderPageStepSub:
        code = GRID_SB_PAGEUP;
        break;
    case QAbstractSlider::SliderToMinimum:
        code = GRID_SB_TOP;
        break;
    case QAbstractSlider::SliderToMaximum:
        code = GRID_SB_BOTTOM;
        break;
    case QAbstractSlider::SliderMove:
        code = GRID_SB_THUMBTRACK;
        break;
    default:
        return;
    }
    QScrollBar* scrollBar = ScrollBar(bar);
    const int track = scrollBar->sliderPosition();
    // Back to where the grid stands, so that a step the grid refuses leaves it there.
    scrollBar->setSliderPosition(scrollBar->value());
    if (bar == GRID_SB_HORZ)
        OnHScroll(code, track);
    else
        OnVScroll(code, track);
    scrollBar->setSliderPosition(scrollBar->value());
}

int CGridCtrl::VisibleColumn(int from, int step) const
{
    for (int col = from; col >= m_nHeaderColumns && col < m_nColumnCount; col += step)
        if (GetColumnWidth(col) > 0)
            return col;
    return -1;
}

int CGridCtrl::VisibleRow(int from, int step) const
{
    for (int row = from; row >= m_nHeaderRows && row < m_nRowCount; row += step)
        if (GetRowHeight(row) > 0)
            return row;
    return -1;
}

void CGridCtrl::OnHScroll(UINT code, int trackPos)
{
    Scroll(GRID_SB_HORZ, code, trackPos);
}

void CGridCtrl::OnVScroll(UINT code, int trackPos)
{
    Scroll(GRID_SB_VERT, code, trackPos);
}

void CGridCtrl::Scroll(int bar, UINT code, int trackPos)
{
    EndFocusCellEdit();
    m_Tip.Hide();
    const bool horizontal = bar == GRID_SB_HORZ;
    const int position = GetScrollPos32(bar);
    const int range = horizontal ? m_nHorzRange : m_nVertRange;
    const CGridCellPos topLeft = GetTopleftNonFixedCell();
    const int topLine = horizontal ? topLeft.col : topLeft.row;
    const int firstLine = horizontal ? m_nHeaderColumns : m_nHeaderRows;
    const int lineCount = horizontal ? m_nColumnCount : m_nRowCount;
    const auto size = [&](int line) { return horizontal ? GetColumnWidth(line) : GetRowHeight(line); };
    const QRect client = viewport()->rect();
    const int fixedExtent = horizontal ? GetFixedColumnWidth() : GetFixedRowHeight();
    const QRect scrolling = horizontal ? QRect(fixedExtent, 0, client.width() - fixedExtent, client.height())
                                       : QRect(0, fixedExtent, client.width(), client.height() - fixedExtent);
    const int page = (horizontal ? client.width() : client.height()) - fixedExtent;

    bool changed = false;
    bool whole = false;
    switch (code) {
    case GRID_SB_LINEDOWN:
        if (position < range) {
            int step = 0;
            for (int line = topLine; line >= 0 && line < lineCount; ++line)
                if ((step = size(line)) > 0)
                    break;
            SetScrollPos32(bar, position + step);
            changed = GetScrollPos32(bar) != position;
        }
        break;
    case GRID_SB_LINEUP:
        if (position > 0 && topLine > firstLine) {
            int step = 0;
            for (int line = topLine - 1; line >= firstLine; --line)
                if ((step = size(line)) > 0)
                    break;
            SetScrollPos32(bar, std::max(0, position - step));
            changed = true;
        }
        break;
    case GRID_SB_PAGEDOWN:
        if (position < range) {
            SetScrollPos32(bar, std::min(range, position + page));
            changed = true;
        }
        break;
    case GRID_SB_PAGEUP:
        if (position > 0) {
            SetScrollPos32(bar, std::max(0, position - page));
            changed = true;
        }
        break;
    case GRID_SB_THUMBPOSITION:
    case GRID_SB_THUMBTRACK: {
        SetScrollPos32(bar, trackPos >= 0 ? trackPos : ScrollBar(bar)->sliderPosition());
        const CGridCellPos now = GetTopleftNonFixedCell();
        changed = (horizontal ? now.col : now.row) != topLine;
        break;
    }
    case GRID_SB_TOP:
        if (position > 0) {
            SetScrollPos32(bar, 0);
            changed = whole = true;
        }
        break;
    case GRID_SB_BOTTOM:
        if (position < range) {
            SetScrollPos32(bar, range);
            changed = whole = true;
        }
        break;
    default:
        break;
    }
    if (changed && m_bRedrawOn)
        viewport()->update(whole ? client : scrolling);
}

void CGridCtrl::EnsureVisible(int row, int col)
{
    if (!m_bRedrawOn || !IsValid(row, col))
        return;
    const CGridCellSpan visible = GetVisibleNonFixedCellRange();
    for (int c = visible.maxCol + 1; c <= col; ++c)
        if (GetColumnWidth(c) > 0)
            OnHScroll(GRID_SB_LINERIGHT);
    for (int c = visible.minCol - 1; c >= col && c >= m_nHeaderColumns; --c)
        if (GetColumnWidth(c) > 0)
            OnHScroll(GRID_SB_LINELEFT);
    for (int r = visible.maxRow + 1; r <= row; ++r)
        if (GetRowHeight(r) > 0)
            OnVScroll(GRID_SB_LINEDOWN);
    for (int r = visible.minRow - 1; r >= row && r >= m_nHeaderRows; --r)
        if (GetRowHeight(r) > 0)
            OnVScroll(GRID_SB_LINEUP);

    // A cell seen only in part: one line more while that still shows more of it. A scroll that
    // no longer moves ends the loop (the end of the range).
    WinRect rect;
    const WinRect client = GetClientRect();
    while (GetCellRect(row, col, rect) && rect.right > client.right && rect.left > GetFixedColumnWidth()
        && (m_nScrollBarsShown & 1)) {
        const int before = GetScrollPos32(GRID_SB_HORZ);
        OnHScroll(GRID_SB_LINERIGHT);
        if (GetScrollPos32(GRID_SB_HORZ) == before)
            break;
    }
    while (GetCellRect(row, col, rect) && rect.bottom > client.bottom && rect.top > GetFixedRowHeight()
        && (m_nScrollBarsShown & 2)) {
        const int before = GetScrollPos32(GRID_SB_VERT);
        OnVScroll(GRID_SB_LINEDOWN);
        if (GetScrollPos32(GRID_SB_VERT) == before)
            break;
    }
}

void CGridCtrl::OnTimer(UINT id)
{
    if (id != GRID_SCROLL_TIMER)
        return;
    QPoint point = m_ptLastMouse;
    const WinRect client = GetClientRect();
    const int fixedHeight = GetFixedRowHeight();
    const int fixedWidth = GetFixedColumnWidth();
    if (point.y() > client.bottom) {
        OnKeyDown(Qt::Key_Down, Qt::NoModifier);
        point.setX(std::clamp(point.x(), 0, client.right));
        point.setY(client.bottom);
    } else if (point.y() < fixedHeight) {
        OnKeyDown(Qt::Key_Up, Qt::NoModifier);
        point.setX(std::clamp(point.x(), 0, client.right));
        point.setY(fixedHeight + 1);
    } else if (point.x() > client.right) {
        OnKeyDown(Qt::Key_Right, Qt::NoModifier);
        point.setY(std::clamp(point.y(), 0, client.bottom));
        point.setX(client.right);
    } else if (point.x() < fixedWidth) {
        OnKeyDown(Qt::Key_Left, Qt::NoModifier);
        point.setY(std::clamp(point.y(), 0, client.bottom));
        point.setX(fixedWidth + 1);
    } else {
        return;
    }
    OnSelecting(GetCellFromPt(point, TRUE));
}

// ---- keyboard -------------------------------------------------------------------------------

bool CGridCtrl::focusNextPrevChild(bool next)
{
    // A grid that wants Tab keeps it: Tab and Backtab reach keyPressEvent.
    if (m_bWantTab)
        return false;
    return QAbstractScrollArea::focusNextPrevChild(next);
}

bool CGridCtrl::OnKeyDown(int key, Qt::KeyboardModifiers modifiers)
{
    if (!IsValid(m_FocusCell))
        return false;
    const bool ctrl = modifiers & Qt::ControlModifier;
    const bool shift = modifiers & Qt::ShiftModifier;
    const bool tab = key == Qt::Key_Tab || key == Qt::Key_Backtab;
    const bool backtab = key == Qt::Key_Backtab || (key == Qt::Key_Tab && shift);

    if (ctrl) {
        if (key == Qt::Key_Insert || key == Qt::Key_C)
            OnEditCopy();
        else if (key == Qt::Key_A)
            OnEditSelectAll();
        else if (key == Qt::Key_V)
            OnEditPaste();
        else if (key == Qt::Key_X)
            OnEditCut();
    } else if (shift && key == Qt::Key_Insert) {
        OnEditPaste();
    }

    CGridCellPos next = m_FocusCell;
    bool lineChange = false;
    bool handled = true;
    UINT lineScroll = GRID_SB_ENDSCROLL; // the one-line scroll towards a cell out of view
    int lineBar = GRID_SB_VERT;
    bool ctrlHome = false;
    bool ctrlEnd = false;
    if (key == Qt::Key_Left || backtab) {
        lineScroll = GRID_SB_LINELEFT;
        lineBar = GRID_SB_HORZ;
        const int col = VisibleColumn(next.col - 1, -1);
        if (col >= 0) {
            next.col = col;
        } else if (backtab) {
            const int row = VisibleRow(next.row - 1, -1);
            const int last = VisibleColumn(m_nColumnCount - 1, -1);
            if (row >= 0 && last >= 0) {
                next = CGridCellPos(row, last);
                lineChange = true;
            }
        }
    } else if (key == Qt::Key_Right || tab) {
        lineScroll = GRID_SB_LINERIGHT;
        lineBar = GRID_SB_HORZ;
        const int col = VisibleColumn(next.col + 1, 1);
        if (col >= 0) {
            next.col = col;
        } else if (tab) {
            const int row = VisibleRow(next.row + 1, 1);
            const int first = VisibleColumn(m_nHeaderColumns, 1);
            if (row >= 0 && first >= 0) {
                next = CGridCellPos(row, first);
                lineChange = true;
            }
        }
    } else if (key == Qt::Key_Up || key == Qt::Key_Down) {
        const int step = key == Qt::Key_Up ? -1 : 1;
        lineScroll = step < 0 ? GRID_SB_LINEUP : GRID_SB_LINEDOWN;
        const int row = VisibleRow(next.row + step, step);
        if (row >= 0)
            next.row = row;
    } else if (key == Qt::Key_PageUp || key == Qt::Key_PageDown) {
        const bool up = key == Qt::Key_PageUp;
        lineScroll = up ? GRID_SB_LINEUP : GRID_SB_LINEDOWN;
        const int before = GetTopleftNonFixedCell().row;
        OnVScroll(up ? GRID_SB_PAGEUP : GRID_SB_PAGEDOWN);
        const int moved = GetTopleftNonFixedCell().row - before;
        if (moved == 0)
            next.row = up ? m_nHeaderRows : m_nRowCount - 1;
        else
            next.row = std::clamp(next.row + moved, m_nHeaderRows, m_nRowCount - 1);
        // A hidden row is stepped over, in the key's direction first.
        if (GetRowHeight(next.row) == 0) {
            int row = VisibleRow(next.row, up ? -1 : 1);
            if (row < 0)
                row = VisibleRow(next.row, up ? 1 : -1);
            if (row >= 0)
                next.row = row;
        }
    } else if (key == Qt::Key_Home) {
        const int col = VisibleColumn(m_nHeaderColumns, 1);
        if (col >= 0)
            next.col = col;
        if (ctrl) {
            const int row = VisibleRow(m_nHeaderRows, 1);
            if (row >= 0)
                next.row = row;
            OnVScroll(GRID_SB_TOP);
            ctrlHome = true;
        }
        OnHScroll(GRID_SB_LEFT);
    } else if (key == Qt::Key_End) {
        int col = m_nColumnCount - 1;
        while (col > m_nHeaderColumns && GetColumnWidth(col) == 0)
            --col;
        next.col = col;
        if (ctrl) {
            int row = m_nRowCount - 1;
            while (row > m_nHeaderRows && GetRowHeight(row) == 0)
                --row;
            next.row = row;
            OnVScroll(GRID_SB_BOTTOM);
            ctrlEnd = true;
        }
        OnHScroll(GRID_SB_RIGHT);
    } else if (key == Qt::Key_F2) {
        BeginCellEdit(m_FocusCell.row, m_FocusCell.col, QPoint(-1, -1), GridEditStart::Key(GRID_KEY_F2));
    } else if (key == Qt::Key_Delete) {
        ClearSelectedText();
    } else {
        handled = false;
    }

    if (!(next == m_FocusCell)) {
        if (m_nMouseState == GRID_MOUSE_NOTHING) {
            m_PrevSelection.clear();
            m_nMouseState = m_bRowMode ? GRID_MOUSE_SELECT_ROWS : GRID_MOUSE_SELECT_CELLS;
            if (!shift || tab)
                m_AnchorCell = next;
            NotifyOwner(next.row, next.col, GN_SELCHANGING);
            OnSelecting(next);
            NotifyOwner(next.row, next.col, GN_SELCHANGED);
            m_nMouseState = GRID_MOUSE_NOTHING;
        }
        SetFocusCell(next);
        if (!IsCellVisible(next)) {
            if (lineChange) {
                OnVScroll(backtab ? GRID_SB_LINEUP : GRID_SB_LINEDOWN);
                SetScrollPos32(GRID_SB_HORZ, backtab ? m_nHorzRange : 0);
            } else if (lineScroll != GRID_SB_ENDSCROLL) {
                if (lineBar == GRID_SB_HORZ)
                    OnHScroll(lineScroll);
                else
                    OnVScroll(lineScroll);
            }
            EnsureVisible(next);
            viewport()->update();
        }
        EnsureVisible(next);
        if (ctrlHome) {
            OnVScroll(GRID_SB_ENDSCROLL);
            OnHScroll(GRID_SB_ENDSCROLL);
        } else if (ctrlEnd) {
            OnVScroll(GRID_SB_ENDSCROLL);
        }
    }
    return handled;
}

void CGridCtrl::keyPressEvent(QKeyEvent* event)
{
    m_Tip.Hide();
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    const int key = event->key();
    // Alt combinations are the system's keys: default processing only.
    if (modifiers & Qt::AltModifier) {
        event->ignore();
        return;
    }
    if (!IsValid(m_FocusCell)) {
        event->ignore();
        return;
    }
    const bool tab = key == Qt::Key_Tab || key == Qt::Key_Backtab;
    const bool handled = OnKeyDown(key, modifiers);
    // A wanted Tab stays in the grid even where the focus could not move.
    if (handled || (tab && m_bWantTab))
        event->accept();
    else
        event->ignore();

    // One event carries the key and its character: the character follows the key's steps.
    if (modifiers & Qt::ControlModifier)
        return;
    const bool inDialog = qobject_cast<QDialog*>(window()) != nullptr;
    std::optional<UINT> ch;
    switch (key) {
    case Qt::Key_Escape:
    case Qt::Key_Delete:
        break;
    case Qt::Key_Backspace:
        ch = 8;
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // In a dialog the default button takes Return, as the dialog did before the grid.
        if (!inDialog)
            ch = 13;
        break;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        if (!m_bWantTab)
            ch = 9;
        break;
    default:
        if (const QString text = event->text(); !text.isEmpty() && text.at(0).isPrint())
            ch = text.at(0).unicode();
        break;
    }
    if (ch) {
        OnChar(GridEditStart::Char(*ch));
        if (m_nMouseState == GRID_MOUSE_NOTHING && !(*ch == 9 && m_bWantTab))
            event->accept();
    }
}

void CGridCtrl::OnChar(GridEditStart ch)
{
    // keyPressEvent passes no character while Control is held.
    if (m_nMouseState != GRID_MOUSE_NOTHING || ch.code == 27 || (ch.code == 9 && m_bWantTab))
        return;
    BeginCellEdit(m_FocusCell.row, m_FocusCell.col, QPoint(-1, -1), ch);
}

LRESULT CGridCtrl::OnImeChar(UINT ch)
{
    if (m_nMouseState == GRID_MOUSE_NOTHING && ch != 27 && !(ch == 9 && m_bWantTab))
        BeginCellEdit(m_FocusCell.row, m_FocusCell.col, QPoint(-1, -1), GridEditStart::Char(ch));
    return 0;
}

void CGridCtrl::inputMethodEvent(QInputMethodEvent* event)
{
    const QString text = event->commitString();
    for (const QChar c : text)
        OnImeChar(c.unicode());
    event->accept();
}
