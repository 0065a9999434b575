#pragma once
// The in-place editors a cell lays over itself: an edit box, and a drop-down list whose edit part
// is its own line edit. An editor ends its edit when it loses the focus; the keys that leave it
// (Return, Enter, Esc, Tab, and Page Up, Page Down and the arrows when they leave) give the focus
// back to the grid. The grid hears the end exactly once, through OnInPlaceEditDone.

#include "controls/ui/grid/GridTypes.h"

#include "platform/ui/GdiShim.h"

#include <functional>
#include <QLineEdit>
#include <QPointer>

class CGridCtrl;
class QKeyEvent;

// What every in-place editor offers the cell and the grid.
class CGridInPlaceEditor {
public:
    virtual ~CGridInPlaceEditor() = default;
    // Sends the end-of-edit record (once per editor), then hides and deletes itself later.
    virtual void EndEdit() = 0;
    // A character for the open editor.
    virtual void TypeCharacter(GridEditStart ch) = 0;
    // The grid is going away: end without a word.
    virtual void Abandon() = 0;
};

namespace gridedit {

// The system's key number of a Qt key among those that end an edit; 0 for others.
UINT KeyCode(int qtKey);
// Page Up, Page Down or an arrow.
bool IsPagingOrArrow(int qtKey);
// Whether a key pressed in an editor leaves it. `exitOnArrows` covers the paging keys and the
// arrows, which leave anyway while Ctrl is held.
bool LeavesEditor(const QKeyEvent* event, bool exitOnArrows);
// Alt with a key: the system's keys, which an open editor swallows.
bool IsAltKey(const QKeyEvent* event);
// The keys an open editor keeps from the window around it: the shortcut override of every key
// that leaves it and of the Alt keys, and Tab and Backtab before Qt moves the focus with them
// (they go to `leave`). True when the event was taken.
bool TakeEditorKeys(QEvent* event, bool exitOnArrows, const std::function<void(UINT, Qt::KeyboardModifiers)>& leave);
// The end of `editor`'s edit: the record of the cell, its text and the last key goes to the grid
// (which first gets the focus back if the editor has it), then the editor hides and is deleted later.
void FinishEdit(QWidget* editor, CGridCtrl* grid, int row, int col, const QString& text, UINT lastKey,
    Qt::KeyboardModifiers modifiers);

} // namespace gridedit

class CGridInPlaceEdit : public QLineEdit, public CGridInPlaceEditor {
    Q_OBJECT
public:
    // `alignment` is the cell's: DT_RIGHT or DT_CENTER of its format, else left.
    CGridInPlaceEdit(CGridCtrl* grid, const WinRect& rect, UINT alignment, UINT id, int row, int col,
        const QString& initialText, GridEditStart first);

    void EndEdit() override;
    void TypeCharacter(GridEditStart ch) override;
    void Abandon() override { m_bEnded = true; }

    int Row() const { return m_nRow; }
    int Column() const { return m_nColumn; }
    UINT LastKey() const { return m_nLastKey; }
    bool ExitsOnArrows() const { return m_bExitOnArrows; }

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    // The last key, then the focus to the grid (which ends the edit).
    void Leave(UINT key, Qt::KeyboardModifiers modifiers);
    // Wider for the text and two spaces, up to the grid's right client edge.
    void Grow();

    QPointer<CGridCtrl> m_pGrid;
    int m_nRow;
    int m_nColumn;
    QString m_sInitText;
    UINT m_nLastKey = 0;
    Qt::KeyboardModifiers m_LastModifiers;
    bool m_bExitOnArrows;
    bool m_bEnded = false;
    WinRect m_Rect;
};
