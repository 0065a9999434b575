#pragma once
// The drop-down list editor: a combo box of the cell's choices over the cell, editable (so a
// text that is none of the choices is taken too) unless made in the drop-down-list style.

#include "controls/ui/grid/GridInPlaceEdit.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <QStringList>

// The combo box styles.
constexpr DWORD GRID_CBS_DROPDOWN = 2;
constexpr DWORD GRID_CBS_DROPDOWNLIST = 3;
// The edit part's control id.
constexpr UINT GRID_LIST_EDIT_ID = 1001;

class CGridInPlaceList;

// The list's edit part: Ctrl with Page Up, Page Down or an arrow goes on to the combo box.
class CGridInPlaceListEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit CGridInPlaceListEdit(QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

class CGridInPlaceList : public QComboBox, public CGridInPlaceEditor {
    Q_OBJECT
public:
    CGridInPlaceList(CGridCtrl* grid, const WinRect& rect, DWORD comboStyle, UINT id, int row, int col,
        const QStringList& items, const QString& initialText, GridEditStart first);

    void EndEdit() override;
    void TypeCharacter(GridEditStart ch) override;
    void Abandon() override { m_bEnded = true; }

    int Row() const { return m_nRow; }
    int Column() const { return m_nColumn; }
    UINT LastKey() const { return m_nLastKey; }
    // The widest text plus a scroll bar and two spaces.
    int MeasuredWidth() const { return m_nMeasuredWidth; }
    CGridInPlaceListEdit* Edit() const { return m_pEdit; }

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void Leave(UINT key, Qt::KeyboardModifiers modifiers);
    void RestoreInitialText();

    QPointer<CGridCtrl> m_pGrid;
    CGridInPlaceListEdit* m_pEdit = nullptr;
    int m_nNumLines = 4;
    QString m_sInitText;
    int m_nRow;
    int m_nColumn;
    UINT m_nLastKey = 0;
    Qt::KeyboardModifiers m_LastModifiers;
    bool m_bExitOnArrows = false;
    bool m_bEnded = false;
    // True once a pick went to the grid's OnSelectionChanged.
    bool m_bPicked = false;
    int m_nMeasuredWidth = 0;
};
