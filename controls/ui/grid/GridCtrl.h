#pragma once
// A spreadsheet-like window: rows and columns of cells, of which the first rows and columns may
// be fixed headers. Each cell holds its own text, image, data word, format, colours, font and
// margin, falling back to one of four default cells for what it leaves at the default marker.
// The grid keeps a focus cell and a selection (always equal to the cells' selected bits) and
// reports to its owner through one handler.

#include "controls/ui/grid/GridCell.h"
#include "controls/ui/grid/GridDropTarget.h"
#include "controls/ui/grid/GridTitleTip.h"
#include "controls/ui/grid/GridTypes.h"

#include "platform/ui/GdiShim.h"
#include "platform/ui/MessageTarget.h"

#include <QAbstractScrollArea>
#include <QFont>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <algorithm>
#include <functional>
#include <memory>
#include <set>
#include <vector>

class ImageList;
class QMimeData;
class QPainter;
class QPrinter;
class QSaveFile;
class QScrollBar;

class CGridCtrl;

// How a print divides the grid: bands of rows down and of columns across, each band one page
// high or wide, every page one row band by one column band. A line larger than a page makes a
// band of its own; no room at all leaves the pages without rows (headings only).
struct GridPagination {
    std::vector<std::pair<int, int>> rowBands; // first and last row of each band
    std::vector<std::pair<int, int>> columnBands;
    int PagesDown() const { return std::max(1, static_cast<int>(rowBands.size())); }
    int PagesAcross() const { return std::max(1, static_cast<int>(columnBands.size())); }
    int PageCount() const { return PagesDown() * PagesAcross(); }
    // Pages run across first: page n (from 1) shows row band ceil(n / across) and column band
    // n mod across (across for 0), both from 1.
    int RowBand(int page) const { return (page + PagesAcross() - 1) / PagesAcross(); }
    int ColumnBand(int page) const { return page % PagesAcross() == 0 ? PagesAcross() : page % PagesAcross(); }
};

// Bands of the lines `first`.. of `sizes` within `usable`; without column paging one column band
// takes every column from `firstCol`.
GridPagination PaginateGrid(const std::vector<int>& rowHeights, int firstRow, int usableHeight,
    const std::vector<int>& columnWidths, int firstCol, int usableWidth, bool columnPaging);

// What the owner's handler receives.
struct GridNotify {
    CGridCtrl* grid = nullptr;
    int controlId = 0;
    int code = 0;
    int row = -1;
    int col = -1;
    GRID_ITEM* item = nullptr; // codes GN_ENDEDIT and GN_GETCELL
    CGridCellSpan span; // code GN_CACHEHINT
};

class CGridCtrl : public QAbstractScrollArea, public platform::MessageTarget {
    Q_OBJECT
public:
    using CellFactory = std::function<std::unique_ptr<CGridCellBase>()>;
    using OwnerHandler = std::function<int(GridNotify&)>;

    explicit CGridCtrl(int rows = 0, int cols = 0, int fixedRows = 0, int fixedCols = 0);
    ~CGridCtrl() override;

    // Places the window in `parent` with control id `id` (its object name) and sizes the row
    // and column arrays from the normal default cell. FALSE when memory runs out.
    virtual BOOL Create(const QRect& rect, QWidget* parent, UINT id, DWORD style = 0);
    int GetDlgCtrlID() const;

    // The owner's notification handler; without one nothing is sent and every answer is 0.
    void SetOwnerHandler(OwnerHandler handler) { m_ownerHandler = std::move(handler); }
    // The record carries `item` for GN_ENDEDIT and GN_GETCELL and `span` for GN_CACHEHINT.
    virtual LRESULT NotifyOwner(int row, int col, int code, GRID_ITEM* item = nullptr, const CGridCellSpan& span = {});
    // The cache hint of virtual mode: the span about to be drawn.
    LRESULT NotifyCacheHint(const CGridCellSpan& span);

    // Counts.
    virtual BOOL SetRowCount(int rows);
    virtual BOOL SetColumnCount(int cols);
    virtual BOOL SetFixedRowCount(int fixedRows);
    virtual BOOL SetFixedColumnCount(int fixedCols);
    int GetRowCount() const { return m_nRowCount; }
    int GetColumnCount() const { return m_nColumnCount; }
    int GetFixedRowCount() const { return m_nHeaderRows; }
    int GetFixedColumnCount() const { return m_nHeaderColumns; }
    virtual BOOL DeleteAllItems();

    // Items.
    virtual BOOL SetItem(const GRID_ITEM* item);
    virtual BOOL GetItem(GRID_ITEM* item);
    virtual BOOL SetItemText(int row, int col, const QString& text);
    virtual QString GetItemText(int row, int col) const;
    virtual BOOL SetItemState(int row, int col, UINT state);
    // printf-style; the ID form reads its format from the "STRING" resources.
    BOOL SetItemTextFmt(int row, int col, const char* format, ...) __attribute__((format(printf, 4, 5)));
    BOOL SetItemTextFmtID(int row, int col, UINT id, ...);
    virtual BOOL SetItemData(int row, int col, qintptr data);
    virtual qintptr GetItemData(int row, int col) const;
    virtual BOOL SetItemImage(int row, int col, int image);
    virtual int GetItemImage(int row, int col) const;
    virtual BOOL SetItemFormat(int row, int col, UINT format);
    virtual UINT GetItemFormat(int row, int col) const;
    virtual BOOL SetItemBkColour(int row, int col, COLORREF colour = CLR_GRID_DEFAULT);
    virtual COLORREF GetItemBkColour(int row, int col) const;
    virtual BOOL SetItemFgColour(int row, int col, COLORREF colour = CLR_GRID_DEFAULT);
    virtual COLORREF GetItemFgColour(int row, int col) const;
    virtual BOOL SetItemFont(int row, int col, const LogFont* font);
    virtual const LogFont* GetItemFont(int row, int col) const;
    BOOL IsItemEditing(int row, int col) const;
    // The size `text` needs in the cell's font and margins; (0, 0) without a cell.
    QSize GetTextExtent(int row, int col, const QString& text);

    // Structure.
    virtual int InsertColumn(
        const QString& heading, UINT format = DT_CENTER | DT_VCENTER | DT_SINGLELINE, int col = -1);
    virtual int InsertRow(const QString& heading, int row = -1);
    virtual BOOL DeleteColumn(int col);
    virtual BOOL DeleteRow(int row);
    BOOL DeleteNonFixedRows();
    // As many default-sized lines as the window holds, one fixed row and column, expanded to fit.
    void FillClientArea();

    // Automatic sizing; flags 1 the fixed rows, 2 the others, 3 all, 0 the fit style.
    BOOL AutoSizeColumn(int col, UINT flags = 0, BOOL resetScrollBars = TRUE);
    BOOL AutoSizeRow(int row, BOOL resetScrollBars = TRUE);
    void AutoSizeColumns(UINT flags = 0);
    void AutoSizeRows();
    void AutoSize(UINT flags = 0);
    void SetFitStyle(int style) { m_nFitStyle = style; }
    int GetFitStyle() const { return m_nFitStyle; }
    void ExpandColumnsToFit(BOOL expandFixed = TRUE);
    void ExpandRowsToFit(BOOL expandFixed = TRUE);
    void ExpandToFit(BOOL expandFixed = TRUE);
    void ExpandLastColumn();

    // Queries and switches.
    BOOL IsCellFixed(int row, int col) const;
    BOOL IsCellEditable(int row, int col) const;
    BOOL IsCellEditable(const CGridCellPos& cell) const { return IsCellEditable(cell.row, cell.col); }
    // The next cell from `start` in the directions and with the states `flags` name.
    CGridCellPos GetNextItem(const CGridCellPos& start, UINT flags) const;
    void SetListMode(BOOL enable = TRUE);
    BOOL GetListMode() const { return m_bRowMode; }
    void SetSingleRowSelection(BOOL single = TRUE) { m_bOneRowOnly = single; }
    void SetSingleColSelection(BOOL single = TRUE) { m_bOneColumnOnly = single; }
    BOOL IsOneRowOnly() const { return m_bRowMode && m_bOneRowOnly; }
    BOOL IsOneColumnOnly() const { return m_bOneColumnOnly; }
    void EnableSelection(BOOL enable = TRUE) { m_bSelectEnabled = enable; }
    // Switching empties the grid; in virtual mode the owner serves every cell (GN_GETCELL).
    void SetVirtualMode(BOOL virtualMode);

    // Selection.
    void SelectCells(int minRow, int minCol, int maxRow, int maxCol, BOOL forceRepaint = FALSE, BOOL select = TRUE);
    void SetSelectedRange(const CGridCellSpan& span, BOOL forceRepaint = FALSE, BOOL select = TRUE)
    {
        SelectCells(span.minRow, span.minCol, span.maxRow, span.maxCol, forceRepaint, select);
    }
    void SetSelectedRange(int minRow, int minCol, int maxRow, int maxCol, BOOL forceRepaint = FALSE, BOOL select = TRUE)
    {
        SelectCells(minRow, minCol, maxRow, maxCol, forceRepaint, select);
    }
    void SelectAllCells();
    void SelectColumns(const CGridCellPos& cell, BOOL forceRepaint = TRUE, BOOL select = TRUE);
    void SelectRows(const CGridCellPos& cell, BOOL forceRepaint = TRUE, BOOL select = TRUE);
    void SelectCellRange(const CGridCellPos& cell, BOOL forceRepaint = TRUE, BOOL select = TRUE);
    void OnSelecting(const CGridCellPos& cell);
    CGridCellSpan GetSelectedCellRange() const;
    virtual UINT GetItemState(int row, int col) const;

    // Cells.
    virtual CGridCellBase* GetCell(int row, int col) const;
    virtual BOOL SetCell(int row, int col, std::unique_ptr<CGridCellBase> cell);
    virtual BOOL SetCellType(int row, int col, const CellFactory& factory);
    virtual BOOL SetDefaultCellType(CellFactory factory);
    virtual BOOL IsCellSelected(int row, int col) const;
    BOOL IsCellSelected(const CGridCellPos& cell) const { return IsCellSelected(cell.row, cell.col); }
    virtual BOOL CanEditCell(int row, int col) const;
    int GetSelectedCount() const { return static_cast<int>(m_Selection.size()); }

    virtual void SetModified(BOOL modified = TRUE, int row = -1, int col = -1);
    virtual BOOL GetModified(int row = -1, int col = -1) const;

    // Sizes.
    virtual BOOL SetRowHeight(int row, int height);
    virtual BOOL SetColumnWidth(int col, int width);
    int GetRowHeight(int row) const;
    int GetColumnWidth(int col) const;
    int GetFixedRowHeight() const;
    int GetFixedColumnWidth() const;
    int GetVirtualHeight() const;
    int GetVirtualWidth() const;

    // Switches.
    void SetEditable(BOOL editable = TRUE) { m_bEditEnabled = editable; }
    BOOL IsEditable() const { return m_bEditEnabled; }
    void SetDragAndDrop(BOOL allow = TRUE) { m_bDragEnabled = allow; }
    BOOL GetDragAndDrop() const { return m_bDragEnabled; }
    // Only the low byte counts.
    void SetToggleBitMode(BOOL on = TRUE) { m_bToggleBits = on & 0xFF; }
    BOOL GetToggleBitMode() const { return m_bToggleBits; }
    BOOL GetVirtualMode() const { return m_bOwnerData; }
    COLORREF GetOutsideBack() const { return m_crOutsideBack; }
    void SetImageList(const ImageList* images) { m_pImages = images; }

    CGridCellPos GetFocusCell() const { return m_FocusCell; }
    virtual CGridCellPos SetFocusCell(int row, int col);
    CGridCellPos SetFocusCell(const CGridCellPos& cell) { return SetFocusCell(cell.row, cell.col); }

    // What the cells read while they draw.
    const ImageList* GetImages() const { return m_pImages; }
    int GetLineStyle() const { return m_nLineStyle; }
    int GetSortedColumn() const { return m_nSortedColumn; }
    BOOL IsSortUp() const { return m_bSortUp; }
    BOOL MarksFocusHeaders() const { return m_bMarkFocusHeaders; }
    BOOL FramesFocusCell() const { return m_bFrameFocusCell; }
    BOOL PrintsShading() const { return m_bPrintShading; }
    void SetPrintShading(BOOL shading = TRUE) { m_bPrintShading = shading; }
    void SetPrintColumnPaging(BOOL paging = TRUE) { m_bPrintMode = paging; }
    CGridDefaultCell* DefaultCellFor(BOOL fixedRow, BOOL fixedCol);
    const CGridDefaultCell* DefaultCellFor(BOOL fixedRow, BOOL fixedCol) const;

    // Print margins in lines and characters; a negative value keeps that margin.
    void SetPrintMarginInfo(
        int headerLines, int footerLines, int leftChars, int rightChars, int topLines, int bottomLines, int gapLines);
    void GetPrintMarginInfo(int& headerLines, int& footerLines, int& leftChars, int& rightChars, int& topLines,
        int& bottomLines, int& gapLines) const;

    BOOL IsValid(int row, int col) const;
    BOOL IsValid(const CGridCellPos& cell) const { return IsValid(cell.row, cell.col); }
    BOOL IsValid(const CGridCellSpan& span) const;

    // Drop every selected cell's bit, the previous selection and the focus.
    virtual void ResetSelectedRange();

    // Geometry, in viewport pixels. A cell's rectangle runs from its first pixel to its last but
    // one: the last column and row of pixels are its right and bottom grid lines.
    BOOL GetCellOrigin(int row, int col, QPoint* point);
    BOOL GetCellOrigin(const CGridCellPos& cell, QPoint* point) { return GetCellOrigin(cell.row, cell.col, point); }
    BOOL GetCellRect(int row, int col, WinRect& rect);
    BOOL GetCellRect(const CGridCellPos& cell, WinRect& rect) { return GetCellRect(cell.row, cell.col, rect); }
    BOOL GetCellTextRect(int row, int col, WinRect& rect);
    BOOL GetCellRangeRect(const CGridCellSpan& span, WinRect& rect);
    // The cell under a viewport point, (-1, -1) for none; fixed cells only with allowFixed.
    CGridCellPos GetCellFromPt(QPoint point, BOOL allowFixed = TRUE);
    CGridCellPos GetTopleftNonFixedCell(BOOL force = FALSE);
    CGridCellSpan GetVisibleNonFixedCellRange(WinRect* rect = nullptr, BOOL force = FALSE);
    CGridCellSpan GetUnobstructedNonFixedCellRange(BOOL force = FALSE);
    CGridCellSpan GetCellRange() const { return { 0, 0, m_nRowCount - 1, m_nColumnCount - 1 }; }
    BOOL IsOverRowBorder(QPoint point);
    BOOL IsOverColumnBorder(QPoint point);
    BOOL IsCellVisible(int row, int col);
    BOOL IsCellVisible(const CGridCellPos& cell) { return IsCellVisible(cell.row, cell.col); }
    // The viewport as the cells see it.
    WinRect GetClientRect() const;

    // Scroll bars: bar GRID_SB_HORZ or GRID_SB_VERT (GRID_SB_BOTH for EnableScrollBars).
    int GetScrollPos32(int bar, BOOL track = FALSE) const;
    BOOL SetScrollPos32(int bar, int pos, BOOL redraw = TRUE);
    void EnableScrollBars(int bar, BOOL show = TRUE);
    int GetScrollBarsShown() const { return m_nScrollBarsShown; }
    int GetVertRange() const { return m_nVertRange; }
    // Scrolling by the scroll bars' codes; `trackPos` is the thumb's position for the thumb
    // codes (the bar's slider position when -1).
    virtual void OnHScroll(UINT code, int trackPos = -1);
    virtual void OnVScroll(UINT code, int trackPos = -1);
    // Scrolls until the cell is whole in the window (as far as the scroll range allows).
    void EnsureVisible(int row, int col);
    void EnsureVisible(const CGridCellPos& cell) { EnsureVisible(cell.row, cell.col); }
    void OnTimer(UINT id) override;
    // The key-down steps: moves the focus, selects, scrolls, runs the clipboard keys. False when
    // the key is left to the default processing.
    virtual bool OnKeyDown(int key, Qt::KeyboardModifiers modifiers);
    virtual void OnChar(GridEditStart ch);
    virtual LRESULT OnImeChar(UINT ch);
    void SetWantTab(BOOL want = TRUE) { m_bWantTab = want; }
    int GetHorzRange() const { return m_nHorzRange; }

    virtual void UpdateScrollBars();
    virtual void Refresh();
    // Qt paints only in paint events: the redraws schedule an update of the cells' pixels.
    virtual BOOL RedrawCell(int row, int col, QPainter* painter = nullptr);
    BOOL RedrawCell(const CGridCellPos& cell, QPainter* painter = nullptr)
    {
        return RedrawCell(cell.row, cell.col, painter);
    }
    BOOL RedrawRow(int row);
    BOOL RedrawColumn(int col);
    BOOL InvalidateCellRect(int row, int col);
    BOOL InvalidateCellRect(const CGridCellPos& cell) { return InvalidateCellRect(cell.row, cell.col); }
    BOOL InvalidateCellSpan(const CGridCellSpan& span);
    void SetRedraw(BOOL allow, BOOL resetScrollBars = FALSE);
    BOOL GetRedraw() const { return m_bRedrawOn; }
    void SetGridLines(int style = 3);
    COLORREF GetGridLineColour() const { return m_crLineColour; }
    void SetGridLineColour(COLORREF colour) { m_crLineColour = colour; }
    // The normal default cell's font.
    QFont OnGetFont() const { return m_DefaultCell.GetFontObject(); }

    // Text changes for the user, each asked of the owner (GN_BEGINEDIT, then GN_ENDEDIT).
    virtual BOOL ReplaceCellText(int row, int col, const QString& text);
    void ClearCells(const CGridCellSpan& span);
    // Whether the edit commands can run now.
    BOOL OnUpdateEditCopy() const;
    BOOL OnUpdateEditCut() const;
    BOOL OnUpdateEditPaste() const;
    BOOL OnUpdateEditSelectAll() const;
    CGridDropTarget& DropTarget() { return m_DropSite; }

    // The grid's operations a subclass may replace.
    virtual void ClearSelectedText();
    virtual std::unique_ptr<QMimeData> CopySelectionAsText();
    virtual BOOL PasteTextIntoCells(int row, int col, const QMimeData* data, BOOL selectPasted = TRUE);
    virtual void OnBeginDrag();
    // The modal drag loop; takes the data. A test replaces it.
    virtual Qt::DropAction RunDrag(QMimeData* data);
    virtual int OnDragEnter(const QMimeData* data, DWORD keyState, QPoint point);
    virtual int OnDragOver(const QMimeData* data, DWORD keyState, QPoint point);
    virtual void OnDragLeave();
    virtual BOOL OnDrop(const QMimeData* data, int dropEffect, QPoint point);
    virtual void OnEditCut();
    virtual void OnEditCopy();
    virtual void OnEditPaste();
    virtual void OnEditSelectAll();
    // Prints to `printer`, or to the one the print dialog sets up (only OK prints). FALSE when
    // nothing printed or the printer failed.
    BOOL Print(QPrinter* printer = nullptr);
    virtual void OnBeginPrinting(QPainter* painter, QPrinter* printer);
    virtual void OnPrint(QPainter* painter, QPrinter* printer, int page);
    virtual void OnEndPrinting(QPainter* painter, QPrinter* printer);
    const GridPagination& GetPagination() const { return m_Pagination; }
    int GetPrintPageCount() const { return m_nLastPage; }
    // The title of the grid's first ancestor that has one.
    QString AncestorTitle() const;
    // "Page n of N" for the print under way.
    QString PageNumberText(int page) const;
    // Called by a cell's drop-down list with the index picked; the grid takes no action.
    virtual BOOL OnSelectionChanged(int index);
    // The cells of `row` from `firstCol` to `lastCol` with their grid lines, from (x, y) on.
    virtual void PrintRowStrip(QPainter* painter, int row, int firstCol, int lastCol, int x, int y);
    // The fixed rows from `y` down: the corner cells, then the page's columns.
    virtual void PrintHeadingRows(QPainter* painter, QPrinter* printer, int y);
    virtual void PrintTitle(QPainter* painter, QPrinter* printer);
    virtual void PrintPageNumber(QPainter* painter, QPrinter* printer, int page);
    // The fixed columns of the page's rows, from `y` down.
    virtual void PrintLabelColumns(QPainter* painter, QPrinter* printer, int y);
    // The focus cell drawn into a one-image list, its hot spot the bottom-right corner; null
    // without a focus cell rectangle.
    virtual std::unique_ptr<ImageList> BuildDragImage(QPoint* hotSpot = nullptr);
    // A press in a fixed column (select its row) or a fixed row (sort, or select its column).
    virtual void OnHeaderColumnClick(const CGridCellPos& cell);
    virtual void OnHeaderRowClick(const CGridCellPos& cell);
    // Sorting the non-fixed rows by a column; FALSE for a column out of range or fewer than two
    // rows to sort. The user value reaches every comparison.
    using CompareFunction = std::function<int(const CGridCellBase*, const CGridCellBase*, qintptr)>;
    virtual BOOL SortItems(int col, BOOL ascending, qintptr data = 0);
    BOOL SortItemsWith(const CompareFunction& compare, int col, BOOL ascending, qintptr data = 0);
    BOOL SortTextItems(int col, BOOL ascending, qintptr data = 0);
    // Null restores the text comparison.
    void SetCompareFunction(CompareFunction compare) { m_pfnSortCompare = std::move(compare); }
    // Rows low..high (-1: the last row) by the cells of `col`; rows move whole, no cell is copied.
    BOOL QuickSortRange(const CompareFunction& compare, int col, BOOL ascending, qintptr data, int low, int high);
    void SetSortColumn(int col);
    void SetSortAscending(BOOL ascending) { m_bSortUp = ascending; }
    // Code-point order of the texts; 0 when either cell is missing.
    static int CompareCellText(const CGridCellBase* a, const CGridCellBase* b, qintptr data);
    // The texts as decimal numbers by the C library's rules (leading blanks, a sign, the digits
    // up to the first other character, saturating); -1, 0 or 1.
    static int CompareCellNumbers(const CGridCellBase* a, const CGridCellBase* b, qintptr data);
    static long TextToLong(const QString& text);

    // Text files: every cell's text followed by `separator`, a line break after the last column.
    BOOL Save(const QString& path, QChar separator = QLatin1Char(','));
    // Rebuilds the grid from such a file: the first line's fields become columns.
    BOOL Load(const QString& path, QChar separator = QLatin1Char(','));
    void SetHeaderSort(BOOL sort = TRUE) { m_bHeaderSorts = sort; }
    BOOL GetHeaderSort() const { return m_bHeaderSorts; }
    void SetFixedRowSelection(BOOL select = TRUE) { m_bColumnHeaderSelects = select; }
    BOOL GetFixedRowSelection() const { return m_bColumnHeaderSelects; }
    void SetFixedColumnSelection(BOOL select = TRUE) { m_bRowHeaderSelects = select; }
    BOOL GetFixedColumnSelection() const { return m_bRowHeaderSelects; }

    // The mouse, in viewport pixels.
    virtual void OnLButtonDown(Qt::KeyboardModifiers modifiers, QPoint point);
    virtual void OnMouseMove(Qt::MouseButtons buttons, QPoint point);
    virtual void OnLButtonUp(QPoint point);
    virtual void OnLButtonDblClk(QPoint point);
    virtual void OnRButtonUp(QPoint point);
    virtual void OnMouseWheel(int delta);
    // The point relative to the cell's top-left corner; (0, 0) when the cell has no origin.
    QPoint GetPointInCell(int row, int col, QPoint point);
    virtual void BeginCellEdit(int row, int col, QPoint point, GridEditStart first);
    virtual void FinishCellEdit(int row, int col, const QString& text);
    virtual BOOL ValidateCellText(int row, int col, const QString& text);
    virtual void EndFocusCellEdit();
    // An editor's end: the text back through FinishCellEdit; a Tab or a paging or arrow key
    // moves the focus as that key would and goes on editing there.
    virtual LRESULT OnInPlaceEditDone(GRID_EDIT_NOTIFY* notify);
    void SetTipTextColour(COLORREF colour) { m_crTipText = colour; }
    COLORREF GetTipTextColour() const { return m_crTipText; }
    virtual void OnDraw(QPainter* painter, const WinRect& clip);
    virtual std::unique_ptr<CGridCellBase> NewCell(int row, int col);
    // Drops the cell from the selection and deletes it.
    virtual void DeleteCell(int row, int col);

    // The rows one wheel notch scrolls.
    static int QueryWheelLines();

    // The grid lost the mouse: no auto-scroll, no drag out of the grid.
    void OnCaptureChanged();

signals:
    // The bits of a toggle-bit grid changed (the owner reads the "1" cells back).
    void bitsToggled();
    // A cell was released, reported through the event queue.
    void cellReleased(int controlId);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    // The hover mode and cursor for a point: over a column divider 8, a row divider 6, else 0.
    int HoverMode(QPoint point);
    // The tracking band of a divider drag: a viewport position, -1 when none.
    void MoveTrackingBand(int position);
    bool viewportEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // Hides the title tip once `point` (viewport pixels) leaves its hover rectangle.
    void TitleTipHide(QPoint point);
    // Shows the tip of the cell under `point` when its text is cut off.
    void TitleTipShow(QPoint point);

    void EraseBackground(QPainter* painter, const WinRect& clip);
    // Writes the saved text; false when the write fails (a test replaces it).
    virtual bool WriteText(QSaveFile& file, const QByteArray& bytes);
    // Swaps two rows whole: cells, their positions and the heights.
    void SwapRows(int a, int b);
    // The cursor for the mouse mode at the last mouse point.
    virtual BOOL OnSetCursor();
    void OnSysColorChange();
    QScrollBar* ScrollBar(int bar) const;
    void OnScrollBarAction(int bar, int action);
    void Scroll(int bar, UINT code, int trackPos);
    // The nearest line of non-zero size from `from` in steps of `step` within [first, end); -1
    // when there is none.
    int VisibleColumn(int from, int step) const;
    int VisibleRow(int from, int step) const;

    // Drops the selection (and the previous one) but keeps the focus.
    void ClearSelection();
    // Sets or clears the selected bit of one cell, through SetItemState.
    void SetSelectedBit(int row, int col, bool selected);
    void ApplyExpansion(std::vector<UINT>& sizes, int first, int total, int client);
    // The virtual mode's one cell, filled for (row, col) and completed by the owner.
    CGridCellBase* VirtualCell(int row, int col) const;

    // Deletes every cell of row `row` (the row array stays).
    void DeleteRowCells(int row);
    CGridCellBase* CellAt(int row, int col) const;
    void SetFixedRowBits(int row, BOOL fixed);
    void SetFixedColumnBits(int col, BOOL fixed);

    COLORREF m_crOutsideBack = 0;
    COLORREF m_crLineColour = RGB(0xC0, 0xC0, 0xC0);
    COLORREF m_crSysWindowText = 0;
    COLORREF m_crSysWindow = 0;
    COLORREF m_crSysButtonFace = 0;
    COLORREF m_crSysButtonShadow = 0;
    COLORREF m_crTipText = CLR_GRID_DEFAULT;
    COLORREF m_crTipBack = CLR_GRID_DEFAULT;
    BOOL m_bOwnerData = FALSE;
    BOOL m_bToggleBits = FALSE;
    int m_nLineStyle = 3;
    BOOL m_bEditEnabled = TRUE;
    BOOL m_bChanged = FALSE;
    BOOL m_bDragEnabled = FALSE;
    BOOL m_bRowMode = FALSE;
    BOOL m_bOneRowOnly = FALSE;
    BOOL m_bOneColumnOnly = FALSE;
    BOOL m_bRedrawOn = TRUE;
    BOOL m_bSelectEnabled = TRUE;
    BOOL m_bRowHeaderSelects = TRUE;
    BOOL m_bColumnHeaderSelects = TRUE;
    BOOL m_bHeaderSorts = FALSE;
    BOOL m_bWantTab = TRUE;
    BOOL m_bOffscreenPaint = TRUE; // kept for callers; Qt paints double-buffered anyway
    BOOL m_bShowTips = TRUE;
    int m_nScrollBarsShown = 0;
    BOOL m_bPrintMode = FALSE;
    BOOL m_bZeroWidthPick = TRUE;
    BOOL m_bZeroHeightPick = TRUE;
    BOOL m_bColumnCanVanish = TRUE;
    BOOL m_bRowCanVanish = TRUE;
    BOOL m_bMarkFocusHeaders = TRUE;
    BOOL m_bFrameFocusCell = TRUE;
    int m_nFitStyle = 3;
    int m_nRowCount = 0;
    int m_nHeaderRows = 0;
    int m_nColumnCount = 0;
    int m_nHeaderColumns = 0;
    std::vector<UINT> m_RowHeights;
    std::vector<UINT> m_ColumnWidths;
    int m_nVertRange = 0;
    int m_nHorzRange = 0;
    CellFactory m_pCellClass;
    CGridDefaultCell m_DefaultCell;
    CGridDefaultCell m_DefaultHeaderColumnCell;
    CGridDefaultCell m_DefaultHeaderRowCell;
    CGridDefaultCell m_DefaultCornerCell;
    std::optional<QFont> m_GridFont;
    const ImageList* m_pImages = nullptr;
    std::vector<std::vector<std::unique_ptr<CGridCellBase>>> m_Rows;
    int m_nMouseState = GRID_MOUSE_NOTHING;
    BOOL m_bLeftDown = FALSE;
    BOOL m_bRightDown = FALSE;
    QPoint m_ptLeftDown;
    QPoint m_ptLastMouse;
    CGridCellPos m_LeftDownCell;
    CGridCellPos m_AnchorCell;
    CGridCellPos m_FocusCell;
    CGridCellPos m_TopLeftCache;
    UINT m_nScrollTimer = 0;
    int m_nScrollTimerMs = 25;
    int m_nBorderGrip = 3;
    BOOL m_bColumnResizable = TRUE;
    BOOL m_bRowResizable = TRUE;
    int m_nWheelLines = 3;
    // Keyed by the whole (row, column): no two cells share an entry.
    std::set<CGridCellPos> m_Selection;
    std::set<CGridCellPos> m_PrevSelection;
    CGridCellPos m_LastDragCell;
    BOOL m_bSortUp = TRUE;
    int m_nSortedColumn = -1;
    CompareFunction m_pfnSortCompare;
    BOOL m_bPrintShading = TRUE;
    int m_nHeaderLines = 0;
    int m_nFooterLines = 0;
    int m_nLeftMarginChars = 0;
    int m_nRightMarginChars = 0;
    int m_nTopMarginLines = 0;
    int m_nBottomMarginLines = 0;
    int m_nGapLines = 0;

    CGridTitleTip m_Tip;
    // The print under way.
    QFont m_PrintFont;
    QSize m_PrintCharSize;
    QSize m_PageExtent;
    QSize m_PaperExtent;
    int m_nPrintableHeight = 0;
    int m_nPrintableWidth = 0;
    int m_nPrintFirstRow = 0;
    int m_nPrintLastRow = -1;
    int m_nPrintFirstColumn = 0;
    int m_nPrintLastColumn = -1;
    int m_nPagesDown = 1;
    int m_nPagesAcross = 1;
    int m_nCurrentPage = 0;
    int m_nLastPage = 0;
    GridPagination m_Pagination;
    QRect m_PrintRect; // the header's or the footer's rectangle
    int m_nTrackPos = -1; // the divider drag's band, viewport pixels
    int m_nTrackMin = 0;
    int m_nTrackMax = 0;
    int m_nWheelRemainder = 0; // wheel units short of a whole line or page
    CGridDropTarget m_DropSite;

private:
    OwnerHandler m_ownerHandler;
    mutable CGridCell m_VirtualCell;
    CGridCellPos m_DrawnTopLeft; // the top-left cell of the last paint
    bool m_bInOnSize = false; // this grid's re-entry guard
};
