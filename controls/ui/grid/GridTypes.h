#pragma once
// What the grid and its owners speak in: cell positions and spans, the cell request record and
// its mask, the cell state bits, the mouse modes and the notification codes.

#include "controls/FontRecord.h"
#include "platform/Colour.h"
#include "platform/WinTypes.h"

#include <QObject>
#include <QString>
#include <QtGlobal>

#include <algorithm>
#include <compare>

// A cell by row and column; valid when both are 0 or more.
struct CGridCellPos {
    int row = -1;
    int col = -1;

    CGridCellPos() = default;
    CGridCellPos(int r, int c)
        : row(r)
        , col(c)
    {
    }
    bool IsValid() const { return row >= 0 && col >= 0; }
    friend auto operator<=>(const CGridCellPos&, const CGridCellPos&) = default;
};

// A rectangle of cells, bounds inclusive; valid when all four bounds are 0 or more and neither
// minimum exceeds its maximum.
struct CGridCellSpan {
    int minRow = -1;
    int minCol = -1;
    int maxRow = -1;
    int maxCol = -1;

    CGridCellSpan() = default;
    CGridCellSpan(int r1, int c1, int r2, int c2)
        : minRow(r1)
        , minCol(c1)
        , maxRow(r2)
        , maxCol(c2)
    {
    }
    bool IsValid() const
    {
        return minRow >= 0 && minCol >= 0 && maxRow >= 0 && maxCol >= 0 && minRow <= maxRow && minCol <= maxCol;
    }
    bool Contains(int row, int col) const
    {
        return IsValid() && row >= minRow && row <= maxRow && col >= minCol && col <= maxCol;
    }
    bool Contains(const CGridCellPos& pos) const { return Contains(pos.row, pos.col); }
    // The larger minima and the smaller maxima.
    CGridCellSpan Intersect(const CGridCellSpan& other) const
    {
        return { std::max(minRow, other.minRow), std::max(minCol, other.minCol), std::min(maxRow, other.maxRow),
            std::min(maxCol, other.maxCol) };
    }
    CGridCellPos TopLeft() const { return { minRow, minCol }; }
    int RowSpan() const { return maxRow - minRow + 1; }
    int ColSpan() const { return maxCol - minCol + 1; }
    friend bool operator==(const CGridCellSpan&, const CGridCellSpan&) = default;
};

// The colour that means "take the default cell's".
constexpr COLORREF CLR_GRID_DEFAULT = 0xFF000000;
// The format and margin that mean "take the default cell's".
constexpr UINT GRID_DEFAULT_UINT = 0xFFFFFFFF;

// Which fields of a GRID_ITEM are valid.
constexpr UINT GI_TEXT = 0x0001;
constexpr UINT GI_IMAGE = 0x0002;
constexpr UINT GI_DATA = 0x0004;
constexpr UINT GI_STATE = 0x0008;
constexpr UINT GI_BKCOLOUR = 0x0010;
constexpr UINT GI_FGCOLOUR = 0x0020;
constexpr UINT GI_FORMAT = 0x0040;
constexpr UINT GI_FONT = 0x0080;
constexpr UINT GI_MARGIN = 0x0100;

// Several attributes of one cell at once; the mask says which fields count.
struct GRID_ITEM {
    int row = 0;
    int col = 0;
    UINT mask = 0;
    UINT nState = 0;
    UINT nFormat = 0;
    int iImage = -1;
    COLORREF crBkClr = CLR_GRID_DEFAULT;
    COLORREF crFgClr = CLR_GRID_DEFAULT;
    qintptr lParam = 0;
    LogFont lfFont;
    UINT nMargin = 0;
    QString strText;
};

// Cell state bits.
constexpr UINT GCS_FOCUSED = 0x01;
constexpr UINT GCS_SELECTED = 0x02;
constexpr UINT GCS_DROPHILITED = 0x04;
constexpr UINT GCS_READONLY = 0x08;
constexpr UINT GCS_FIXED = 0x10;
constexpr UINT GCS_FIXEDROW = 0x20;
constexpr UINT GCS_FIXEDCOL = 0x40;
constexpr UINT GCS_MODIFIED = 0x80;

// What the left mouse button is doing.
enum GridMouseMode : int {
    GRID_MOUSE_NOTHING = 0,
    GRID_MOUSE_SELECT_ALL = 1,
    GRID_MOUSE_SELECT_COLUMNS = 2,
    GRID_MOUSE_SELECT_ROWS = 3,
    GRID_MOUSE_SELECT_CELLS = 4,
    GRID_MOUSE_OVER_ROW_DIVIDER = 6,
    GRID_MOUSE_SIZING_ROW = 7,
    GRID_MOUSE_OVER_COLUMN_DIVIDER = 8,
    GRID_MOUSE_SIZING_COLUMN = 9,
    GRID_MOUSE_PREPARE_EDIT = 10,
    GRID_MOUSE_PREPARE_DRAG = 11,
    GRID_MOUSE_DRAGGING = 12,
};

// Notification codes the grid sends its owner.
constexpr int GN_SELCHANGING = -100;
constexpr int GN_SELCHANGED = -101;
constexpr int GN_BEGINEDIT = -105; // a negative answer cancels the edit
constexpr int GN_ENDEDIT = -106; // a negative answer restores the old text
constexpr int GN_BEGINDRAG = -109;
constexpr int GN_CLICK = -2;
constexpr int GN_DBLCLK = -3;
constexpr int GN_RCLICK = -5;
constexpr int GN_GETCELL = -150; // virtual mode: the owner fills the record's item
constexpr int GN_CACHEHINT = -113; // virtual mode: the span about to be drawn, then (-1, -1, -1, -1)

// Scroll requests, by the scroll bars' codes.
enum GridScrollCode : UINT {
    GRID_SB_LINEUP = 0,
    GRID_SB_LINELEFT = 0,
    GRID_SB_LINEDOWN = 1,
    GRID_SB_LINERIGHT = 1,
    GRID_SB_PAGEUP = 2,
    GRID_SB_PAGELEFT = 2,
    GRID_SB_PAGEDOWN = 3,
    GRID_SB_PAGERIGHT = 3,
    GRID_SB_THUMBPOSITION = 4,
    GRID_SB_THUMBTRACK = 5,
    GRID_SB_TOP = 6,
    GRID_SB_LEFT = 6,
    GRID_SB_BOTTOM = 7,
    GRID_SB_RIGHT = 7,
    GRID_SB_ENDSCROLL = 8,
};

// What starts a cell edit: a typed character, or a key (or the mouse) that is not one. Keys use
// the system's key numbers: Tab 9, Page Up to Down arrow 0x21..0x28, F2 0x71.
struct GridEditStart {
    UINT code = 0;
    bool isKey = false;

    static GridEditStart Char(UINT ch) { return { ch, false }; }
    static GridEditStart Key(UINT key) { return { key, true }; }
    friend bool operator==(const GridEditStart&, const GridEditStart&) = default;
};
constexpr UINT GRID_KEY_MOUSE = 1; // an edit started by the mouse
constexpr UINT GRID_KEY_TAB = 0x09;
constexpr UINT GRID_KEY_PRIOR = 0x21;
constexpr UINT GRID_KEY_NEXT = 0x22;
constexpr UINT GRID_KEY_END = 0x23;
constexpr UINT GRID_KEY_HOME = 0x24;
constexpr UINT GRID_KEY_LEFT = 0x25;
constexpr UINT GRID_KEY_UP = 0x26;
constexpr UINT GRID_KEY_RIGHT = 0x27;
constexpr UINT GRID_KEY_DOWN = 0x28;
constexpr UINT GRID_KEY_F2 = 0x71;

// The in-place editors' control id.
constexpr UINT GRID_EDIT_ID = 8;

// An editor's end-of-edit record: the item carries mask GI_TEXT | GI_DATA, the row, the column,
// the text, and in its data word the key that ended the edit (0 for a focus loss). The
// modifiers held with that key go with it, so a Shift+Tab moves back.
struct GRID_EDIT_NOTIFY {
    QObject* hwndFrom = nullptr;
    UINT idFrom = GRID_EDIT_ID;
    int code = GN_ENDEDIT;
    GRID_ITEM item;
    Qt::KeyboardModifiers modifiers;
};

// The auto-scroll timer while the mouse selects beyond the window.
constexpr UINT GRID_SCROLL_TIMER = 513;

// The scroll bars, as EnableScrollBars and the scroll positions name them.
constexpr int GRID_SB_HORZ = 0;
constexpr int GRID_SB_VERT = 1;
constexpr int GRID_SB_BOTH = 3;
