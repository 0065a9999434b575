#pragma once
// The grid's cells: the abstract base with the state bits and the measuring code, the ordinary
// cell that stores every attribute, and the default cell, four of which each grid holds to give
// the attributes that its cells leave at the default marker.

#include "controls/ui/grid/GridTypes.h"

#include "platform/ui/GdiShim.h"

#include <QFont>
#include <QPoint>
#include <QPointer>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <optional>

class CGridCtrl;
class CGridDefaultCell;
class QPainter;
class QWidget;

class CGridCellBase {
public:
    CGridCellBase() = default;
    virtual ~CGridCellBase() = default;
    CGridCellBase(const CGridCellBase&) = delete;
    CGridCellBase& operator=(const CGridCellBase&) = delete;

    virtual void SetText(const QString& text) = 0;
    virtual void SetImage(int image) = 0;
    virtual void SetData(qintptr data) = 0;
    virtual void SetState(UINT state) { m_nState = state; }
    virtual void SetFormat(UINT format) = 0;
    virtual void SetTextColour(COLORREF colour) = 0;
    virtual void SetBackColour(COLORREF colour) = 0;
    virtual void SetFont(const LogFont* font) = 0; // null: the default cell's font again
    virtual void SetMargin(UINT margin) = 0;
    virtual void SetGrid(CGridCtrl* grid) = 0;
    virtual void SetCoords(int row, int col) = 0;

    virtual QString GetText() const = 0;
    virtual QString GetTipText() const { return GetText(); }
    virtual int GetImage() const = 0;
    virtual qintptr GetData() const = 0;
    virtual UINT GetState() const { return m_nState; }
    virtual UINT GetFormat() const = 0;
    virtual COLORREF GetTextColour() const = 0;
    virtual COLORREF GetBackColour() const = 0;
    virtual const LogFont* GetFont() const = 0;
    virtual QFont GetFontObject() const = 0;
    virtual CGridCtrl* GetGrid() const = 0;
    virtual QWidget* GetEditor() const = 0;
    virtual UINT GetMargin() const = 0;
    // The grid's default cell for this cell's fixed state; null without a grid.
    virtual CGridDefaultCell* GetDefaultCell() const;
    virtual BOOL HasDefaultFont() const = 0;
    virtual BOOL IsEditing() const = 0;

    virtual BOOL IsFocused() const { return (GetState() & GCS_FOCUSED) != 0; }
    virtual BOOL IsFixed() const { return (GetState() & GCS_FIXED) != 0; }
    virtual BOOL IsFixedColumn() const { return (GetState() & GCS_FIXEDCOL) != 0; }
    virtual BOOL IsFixedRow() const { return (GetState() & GCS_FIXEDROW) != 0; }
    virtual BOOL IsSelected() const { return (GetState() & GCS_SELECTED) != 0; }
    virtual BOOL IsReadOnly() const { return (GetState() & GCS_READONLY) != 0; }
    virtual BOOL IsModified() const { return (GetState() & GCS_MODIFIED) != 0; }
    virtual BOOL IsDropHighlighted() const { return (GetState() & GCS_DROPHILITED) != 0; }

    // Copies every attribute through the other cell's getters (nothing when it is this cell).
    virtual void CopyFrom(const CGridCellBase& other);
    virtual void Reset() { m_nState = 0; }

    // Draws the cell into `rect`, which leaves out its right and bottom grid lines; fills the
    // background only when asked or when the cell has a colour of its own.
    virtual BOOL Draw(QPainter* painter, int row, int col, WinRect rect, BOOL eraseBackground = TRUE);
    // Moves the rectangle's left edge past the cell's image. Returns TRUE.
    virtual BOOL GetTextRect(WinRect& rect);
    virtual WinRect GetTipRect(const WinRect& rect);
    // The size the text needs in this cell's font and margins; measured for `painter`'s device
    // when given, else for the grid's window.
    virtual QSize GetTextExtent(const QString& text, QPainter* painter = nullptr);
    // The size the whole cell needs: text, image, and a pixel more for a fixed cell.
    virtual QSize GetCellExtent(QPainter* painter = nullptr);

    // Opens the cell's in-place editor over `rect` (viewport pixels), or hands `ch` to the
    // editor already open.
    virtual BOOL Edit(
        int /*row*/, int /*col*/, const WinRect& /*rect*/, QPoint /*point*/, UINT /*id*/, GridEditStart /*ch*/)
    {
        return FALSE;
    }
    virtual BOOL ValidateEdit(const QString& /*text*/) { return TRUE; }
    // Prints the cell into `rect` (the painter's logical units) with the grid's shading rules.
    virtual BOOL PrintCell(QPainter* painter, int row, int col, WinRect rect);
    // Asks the open editor to end its edit.
    virtual void EndEdit() { }
    // The editor has reported its end.
    virtual void OnEndEdit() { }

    virtual void OnHoverStart() { }
    virtual void OnHover() { }
    virtual void OnHoverEnd() { }
    virtual void OnClick(QPoint /*point*/) { }
    virtual void OnClickDown(QPoint /*point*/) { }
    virtual void OnRightClick(QPoint /*point*/) { }
    virtual void OnDoubleClick(QPoint /*point*/) { }
    virtual BOOL OnSetCursor();

    // The in-place editor to open: 0 none, 1 an edit box, 2 a drop-down list of m_Choices.
    int m_nEditorKind = 1;
    QStringList m_Choices;

protected:
    // The size of image `image` of the grid's image list; nullopt when it cannot be read.
    std::optional<QSize> ImageSize(int image) const;

    UINT m_nState = 0;
};

class CGridCell : public CGridCellBase {
public:
    CGridCell() { CGridCell::Reset(); }
    CGridCell& operator=(const CGridCellBase& other)
    {
        if (&other != this)
            CopyFrom(other);
        return *this;
    }

    void SetText(const QString& text) override { m_strText = text; }
    void SetImage(int image) override { m_nImage = image; }
    void SetData(qintptr data) override { m_lData = data; }
    void SetFormat(UINT format) override { m_nFormat = format; }
    void SetTextColour(COLORREF colour) override { m_crTextColour = colour; }
    void SetBackColour(COLORREF colour) override { m_crBackColour = colour; }
    void SetFont(const LogFont* font) override;
    void SetMargin(UINT margin) override { m_nMargin = margin; }
    void SetGrid(CGridCtrl* grid) override { m_pGrid = grid; }
    void SetCoords(int /*row*/, int /*col*/) override { }

    QString GetText() const override { return m_strText; }
    int GetImage() const override { return m_nImage; }
    qintptr GetData() const override { return m_lData; }
    UINT GetFormat() const override;
    COLORREF GetTextColour() const override { return m_crTextColour; }
    COLORREF GetBackColour() const override { return m_crBackColour; }
    const LogFont* GetFont() const override;
    QFont GetFontObject() const override;
    CGridCtrl* GetGrid() const override { return m_pGrid; }
    QWidget* GetEditor() const override { return m_pEditor; }
    UINT GetMargin() const override;
    BOOL HasDefaultFont() const override { return !m_pFont.has_value(); }
    // An editor that went away (its cell moved or was dropped) ends the edit too.
    BOOL IsEditing() const override { return m_bEditing && !m_pEditor.isNull(); }

    BOOL Edit(int row, int col, const WinRect& rect, QPoint point, UINT id, GridEditStart ch) override;
    void EndEdit() override;
    void OnEndEdit() override;

    // State 0, editor kind 1 and every attribute at its default.
    void Reset() override;

protected:
    QString m_strText;
    qintptr m_lData = 0;
    int m_nImage = -1;
    UINT m_nFormat = GRID_DEFAULT_UINT;
    COLORREF m_crTextColour = CLR_GRID_DEFAULT;
    COLORREF m_crBackColour = CLR_GRID_DEFAULT;
    std::optional<LogFont> m_pFont;
    UINT m_nMargin = GRID_DEFAULT_UINT;
    BOOL m_bEditing = FALSE;
    CGridCtrl* m_pGrid = nullptr;
    QPointer<QWidget> m_pEditor;
};

// The defaults of one region of a grid: format, colours, font, margin, and the width and height
// of the columns and rows made there.
class CGridDefaultCell : public CGridCell {
public:
    // Format 0x8824, colours at the marker, the application's font.
    CGridDefaultCell();

    void SetData(qintptr /*data*/) override { }
    void SetState(UINT /*state*/) override { }
    UINT GetState() const override { return CGridCell::GetState() | GCS_READONLY; }
    // Takes the font and sizes itself from it; null does nothing.
    void SetFont(const LogFont* font) override;
    const LogFont* GetFont() const override { return m_pFont ? &*m_pFont : nullptr; }
    QFont GetFontObject() const override { return m_FontObject; }
    UINT GetFormat() const override { return m_nFormat; }
    UINT GetMargin() const override { return m_nMargin; }

    virtual DWORD GetStyle() const { return m_dwStyle; }
    virtual void SetStyle(DWORD style) { m_dwStyle = style; }
    virtual int GetWidth() const { return m_Size.width(); }
    virtual int GetHeight() const { return m_Size.height(); }
    virtual void SetWidth(int width) { m_Size.setWidth(width); }
    virtual void SetHeight(int height) { m_Size.setHeight(height); }

    // A Qt font as it is, without the round trip through a logical font.
    void SetFontObject(const QFont& font);

protected:
    QSize m_Size;
    QFont m_FontObject;
    DWORD m_dwStyle = 0;
};
