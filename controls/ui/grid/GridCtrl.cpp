#include "controls/ui/grid/GridCtrl.h"

#include "platform/MessageBox.h"

#include <QApplication>
#include <QFocusEvent>
#include <QMetaObject>
#include <QMimeData>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>

#include <new>
#include <numeric>
#include <stdexcept>

namespace {

constexpr const char* kOutOfMemory = "Out of memory.";

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

    m_crSysWindowText = GetSysColor(COLOR_WINDOWTEXT);
    m_crSysWindow = GetSysColor(COLOR_WINDOW);
    m_crSysButtonFace = GetSysColor(COLOR_BTNFACE);
    m_crSysButtonShadow = GetSysColor(COLOR_BTNSHADOW);
    m_crOutsideBack = m_crSysButtonShadow;

    m_nWheelLines = QueryWheelLines();

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
    if (!m_ownerHandler)
        return 0;
    GridNotify notify;
    notify.grid = this;
    notify.controlId = GetDlgCtrlID();
    notify.code = GN_CACHEHINT;
    notify.span = span;
    return m_ownerHandler(notify);
}

LRESULT CGridCtrl::NotifyOwner(int row, int col, int code)
{
    if (!m_ownerHandler)
        return 0;
    GridNotify notify;
    notify.grid = this;
    notify.controlId = GetDlgCtrlID();
    notify.code = code;
    notify.row = row;
    notify.col = col;
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
    m_PrevSelection.clear();
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
    return CellAt(row, col);
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
    // The selection forgets the cell before it goes.
    m_Selection.erase(CGridCellPos(row, col));
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

void CGridCtrl::ResetSelectedRange()
{
    m_PrevSelection.clear();
    const std::set<CGridCellPos> selected = m_Selection;
    for (const CGridCellPos& pos : selected)
        SetItemState(pos.row, pos.col, GetItemState(pos.row, pos.col) & ~GCS_SELECTED);
    m_Selection.clear();
    SetFocusCell(-1, -1);
}

int CGridCtrl::QueryWheelLines()
{
    const int lines = QApplication::wheelScrollLines();
    return lines > 0 ? lines : 3;
}

// ---- operations that later parts of the grid fill -------------------------------------------

void CGridCtrl::ClearSelectedText() { }
std::unique_ptr<QMimeData> CGridCtrl::CopySelectionAsText()
{
    return nullptr;
}
BOOL CGridCtrl::PasteTextIntoCells(int, int, const QMimeData*, BOOL)
{
    return FALSE;
}
void CGridCtrl::OnBeginDrag() { }
int CGridCtrl::OnDragEnter(const QMimeData*, DWORD, QPoint)
{
    return 0;
}
int CGridCtrl::OnDragOver(const QMimeData*, DWORD, QPoint)
{
    return 0;
}
void CGridCtrl::OnDragLeave() { }
BOOL CGridCtrl::OnDrop(const QMimeData*, int, QPoint)
{
    return FALSE;
}
void CGridCtrl::OnEditCut() { }
void CGridCtrl::OnEditCopy() { }
void CGridCtrl::OnEditPaste() { }
void CGridCtrl::OnEditSelectAll() { }
void CGridCtrl::OnBeginPrinting(QPainter*, QPrinter*) { }
void CGridCtrl::OnPrint(QPainter*, QPrinter*, int) { }
void CGridCtrl::OnEndPrinting(QPainter*, QPrinter*) { }
BOOL CGridCtrl::OnSelectionChanged(int)
{
    return TRUE;
}
void CGridCtrl::PrintRowStrip(QPainter*, int, int, int&) { }
void CGridCtrl::PrintHeadingRows(QPainter*, QPrinter*, int, int&) { }
void CGridCtrl::PrintTitle(QPainter*, QPrinter*) { }
void CGridCtrl::PrintPageNumber(QPainter*, QPrinter*, int) { }
void CGridCtrl::PrintLabelColumns(QPainter*, int, int&) { }
void CGridCtrl::BuildDragImage() { }
void CGridCtrl::OnHeaderColumnClick(int) { }
void CGridCtrl::OnHeaderRowClick(int) { }
void CGridCtrl::BeginCellEdit(int, int, QPoint, UINT) { }
void CGridCtrl::FinishCellEdit(int, int, const QString&) { }
BOOL CGridCtrl::ValidateCellText(int, int, const QString&)
{
    return TRUE;
}
void CGridCtrl::EndFocusCellEdit() { }

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
    if (!IsValid(row, col))
        return FALSE;
    const CGridCellPos topLeft = GetTopleftNonFixedCell();
    if ((col >= m_nHeaderColumns && col < topLeft.col) || (row >= m_nHeaderRows && row < topLeft.row))
        return FALSE;
    const WinRect client = GetClientRect();
    int x = 0;
    if (col < m_nHeaderColumns) {
        for (int i = 0; i < col; ++i)
            x += GetColumnWidth(i);
    } else {
        x = GetFixedColumnWidth();
        for (int i = topLeft.col; i < col; ++i)
            x += GetColumnWidth(i);
    }
    if (x >= client.right)
        return FALSE;
    int y = 0;
    if (row < m_nHeaderRows) {
        for (int i = 0; i < row; ++i)
            y += GetRowHeight(i);
    } else {
        y = GetFixedRowHeight();
        for (int i = topLeft.row; i < row; ++i)
            y += GetRowHeight(i);
    }
    return y < client.bottom ? TRUE : FALSE;
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

void CGridCtrl::scrollContentsBy(int dx, int dy)
{
    // Whole cells are drawn from the top-left one: only the scrolling part is repainted, the
    // fixed rows and columns stay.
    m_TopLeftCache = CGridCellPos(-1, -1);
    if (!m_bRedrawOn)
        return;
    const QRect client = viewport()->rect();
    if (dx != 0) {
        const int fixedWidth = GetFixedColumnWidth();
        viewport()->update(QRect(fixedWidth, 0, client.width() - fixedWidth, client.height()));
    }
    if (dy != 0) {
        const int fixedHeight = GetFixedRowHeight();
        viewport()->update(QRect(0, fixedHeight, client.width(), client.height() - fixedHeight));
    }
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

void CGridCtrl::mouseMoveEvent(QMouseEvent* event)
{
    m_ptLastMouse = event->position().toPoint();
    OnSetCursor();
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
