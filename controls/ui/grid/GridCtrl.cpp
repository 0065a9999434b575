#include "controls/ui/grid/GridCtrl.h"

#include "platform/MessageBox.h"

#include <QApplication>
#include <QMetaObject>
#include <QMimeData>
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

CGridCellPos CGridCtrl::SetFocusCell(int row, int col)
{
    const CGridCellPos previous = m_FocusCell;
    if (row == m_FocusCell.row && col == m_FocusCell.col)
        return previous;
    if (row != -1 && row < m_nHeaderRows)
        row = m_nHeaderRows;
    if (col != -1 && col < m_nHeaderColumns)
        col = m_nHeaderColumns;
    if (IsValid(previous))
        if (CGridCellBase* cell = GetCell(previous.row, previous.col))
            cell->SetState(cell->GetState() & ~GCS_FOCUSED);
    m_FocusCell = CGridCellPos(row, col);
    if (IsValid(m_FocusCell))
        if (CGridCellBase* cell = GetCell(row, col))
            cell->SetState(cell->GetState() | GCS_FOCUSED);
    return previous;
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

// ---- window ---------------------------------------------------------------------------------

void CGridCtrl::UpdateScrollBars()
{
    m_TopLeftCache = CGridCellPos(-1, -1);
}

void CGridCtrl::Refresh()
{
    if (m_bRedrawOn)
        viewport()->update();
}

BOOL CGridCtrl::RedrawCell(int /*row*/, int /*col*/, QPainter* /*painter*/)
{
    return m_bRedrawOn ? TRUE : FALSE;
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
void CGridCtrl::OnDraw(QPainter*, const WinRect&) { }
