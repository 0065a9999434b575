#pragma once
// A spreadsheet-like window: rows and columns of cells, of which the first rows and columns may
// be fixed headers. Each cell holds its own text, image, data word, format, colours, font and
// margin, falling back to one of four default cells for what it leaves at the default marker.
// The grid keeps a focus cell and a selection (always equal to the cells' selected bits) and
// reports to its owner through one handler.

#include "controls/ui/grid/GridCell.h"
#include "controls/ui/grid/GridTypes.h"

#include "platform/ui/GdiShim.h"
#include "platform/ui/MessageTarget.h"

#include <QAbstractScrollArea>
#include <QFont>
#include <QPoint>
#include <QSize>

#include <functional>
#include <memory>
#include <set>
#include <vector>

class ImageList;
class QMimeData;
class QPainter;
class QPrinter;
class QScrollBar;

class CGridCtrl;

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

    // The grid's operations a subclass may replace.
    virtual void ClearSelectedText();
    virtual std::unique_ptr<QMimeData> CopySelectionAsText();
    virtual BOOL PasteTextIntoCells(int row, int col, const QMimeData* data, BOOL selectPasted = TRUE);
    virtual void OnBeginDrag();
    virtual int OnDragEnter(const QMimeData* data, DWORD keyState, QPoint point);
    virtual int OnDragOver(const QMimeData* data, DWORD keyState, QPoint point);
    virtual void OnDragLeave();
    virtual BOOL OnDrop(const QMimeData* data, int dropEffect, QPoint point);
    virtual void OnEditCut();
    virtual void OnEditCopy();
    virtual void OnEditPaste();
    virtual void OnEditSelectAll();
    virtual void OnBeginPrinting(QPainter* painter, QPrinter* printer);
    virtual void OnPrint(QPainter* painter, QPrinter* printer, int page);
    virtual void OnEndPrinting(QPainter* painter, QPrinter* printer);
    // Called by a cell's drop-down list with the index picked; the grid takes no action.
    virtual BOOL OnSelectionChanged(int index);
    virtual void PrintRowStrip(QPainter* painter, int row, int column, int& y);
    virtual void PrintHeadingRows(QPainter* painter, QPrinter* printer, int column, int& y);
    virtual void PrintTitle(QPainter* painter, QPrinter* printer);
    virtual void PrintPageNumber(QPainter* painter, QPrinter* printer, int page);
    virtual void PrintLabelColumns(QPainter* painter, int row, int& y);
    virtual void BuildDragImage();
    virtual void OnHeaderColumnClick(int col);
    virtual void OnHeaderRowClick(int row);
    virtual void BeginCellEdit(int row, int col, QPoint point, GridEditStart first);
    virtual void FinishCellEdit(int row, int col, const QString& text);
    virtual BOOL ValidateCellText(int row, int col, const QString& text);
    virtual void EndFocusCellEdit();
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

    void EraseBackground(QPainter* painter, const WinRect& clip);
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
    std::function<int(const CGridCellBase&, const CGridCellBase&, qintptr)> m_pfnSortCompare;
    BOOL m_bPrintShading = TRUE;
    int m_nHeaderLines = 0;
    int m_nFooterLines = 0;
    int m_nLeftMarginChars = 0;
    int m_nRightMarginChars = 0;
    int m_nTopMarginLines = 0;
    int m_nBottomMarginLines = 0;
    int m_nGapLines = 0;

private:
    OwnerHandler m_ownerHandler;
    mutable CGridCell m_VirtualCell;
    CGridCellPos m_DrawnTopLeft; // the top-left cell of the last paint
    bool m_bInOnSize = false; // this grid's re-entry guard
};
