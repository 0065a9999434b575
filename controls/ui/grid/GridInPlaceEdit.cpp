#include "controls/ui/grid/GridInPlaceEdit.h"

#include "controls/ui/grid/GridCtrl.h"

#include <QFocusEvent>
#include <QFontMetrics>
#include <QKeyEvent>

namespace gridedit {

UINT KeyCode(int qtKey)
{
    switch (qtKey) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return GRID_KEY_TAB;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 13;
    case Qt::Key_Escape:
        return 27;
    case Qt::Key_PageUp:
        return GRID_KEY_PRIOR;
    case Qt::Key_PageDown:
        return GRID_KEY_NEXT;
    case Qt::Key_End:
        return GRID_KEY_END;
    case Qt::Key_Home:
        return GRID_KEY_HOME;
    case Qt::Key_Left:
        return GRID_KEY_LEFT;
    case Qt::Key_Up:
        return GRID_KEY_UP;
    case Qt::Key_Right:
        return GRID_KEY_RIGHT;
    case Qt::Key_Down:
        return GRID_KEY_DOWN;
    default:
        return 0;
    }
}

bool IsPagingOrArrow(int qtKey)
{
    switch (qtKey) {
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Left:
    case Qt::Key_Up:
    case Qt::Key_Right:
    case Qt::Key_Down:
        return true;
    default:
        return false;
    }
}

bool LeavesEditor(const QKeyEvent* event, bool exitOnArrows)
{
    switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return true;
    default:
        return IsPagingOrArrow(event->key()) && (exitOnArrows || (event->modifiers() & Qt::ControlModifier));
    }
}

bool IsAltKey(const QKeyEvent* event)
{
    if (!(event->modifiers() & Qt::AltModifier))
        return false;
    switch (event->key()) {
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Meta:
        return false;
    default:
        return true;
    }
}

bool TakeEditorKeys(QEvent* event, bool exitOnArrows, const std::function<void(UINT, Qt::KeyboardModifiers)>& leave)
{
    if (event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        // A window's own action on these keys must not take them from an open editor.
        if (LeavesEditor(key, exitOnArrows) || IsAltKey(key)) {
            event->accept();
            return true;
        }
    } else if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
            leave(GRID_KEY_TAB, key->modifiers());
            event->accept();
            return true;
        }
    }
    return false;
}

void FinishEdit(QWidget* editor, CGridCtrl* grid, int row, int col, const QString& text, UINT lastKey,
    Qt::KeyboardModifiers modifiers)
{
    GRID_EDIT_NOTIFY notify;
    notify.hwndFrom = editor;
    notify.idFrom = static_cast<UINT>(editor->objectName().toUInt());
    notify.item.mask = GI_TEXT | GI_DATA;
    notify.item.row = row;
    notify.item.col = col;
    notify.item.strText = text;
    notify.item.lParam = static_cast<qintptr>(lastKey);
    notify.modifiers = modifiers;
    // The grid is told first; the continuation may open the next editor and take the focus.
    if (grid) {
        if (editor->hasFocus())
            grid->setFocus(Qt::OtherFocusReason);
        grid->OnInPlaceEditDone(&notify);
    }
    editor->hide();
    editor->deleteLater();
}

} // namespace gridedit

CGridInPlaceEdit::CGridInPlaceEdit(CGridCtrl* grid, const WinRect& rect, UINT alignment, UINT id, int row, int col,
    const QString& initialText, GridEditStart first)
    : QLineEdit(grid->viewport())
    , m_pGrid(grid)
    , m_nRow(row)
    , m_nColumn(col)
    , m_sInitText(initialText)
    , m_bExitOnArrows(first.code != GRID_KEY_MOUSE)
    , m_Rect(rect)
{
    setObjectName(QString::number(id));
    if (alignment & DT_RIGHT)
        setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    else if (alignment & DT_CENTER)
        setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    else
        setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setFont(grid->OnGetFont());
    setGeometry(rect.ToQRect());
    setText(initialText);
    show();
    setFocus(Qt::OtherFocusReason);

    if (first.code == GRID_KEY_MOUSE || (!first.isKey && first.code == 13)
        || (first.isKey && first.code == GRID_KEY_F2)) {
        end(false);
    } else if (!first.isKey && first.code == 8) {
        end(false);
        backspace();
    } else if (first.isKey || first.code == GRID_KEY_TAB || first.code == ' ') {
        selectAll();
    } else {
        selectAll();
        TypeCharacter(first);
    }
}

void CGridInPlaceEdit::TypeCharacter(GridEditStart ch)
{
    if (ch.isKey)
        return;
    if (ch.code == 8) {
        backspace();
    } else if (ch.code >= ' ') {
        insert(QStringView(QChar::fromUcs4(ch.code)).toString());
        Grow();
    }
}

bool CGridInPlaceEdit::event(QEvent* event)
{
    if (gridedit::TakeEditorKeys(event, m_bExitOnArrows, [this](UINT key, Qt::KeyboardModifiers modifiers) {
            Leave(key, modifiers);
        }))
        return true;
    return QLineEdit::event(event);
}

void CGridInPlaceEdit::keyPressEvent(QKeyEvent* event)
{
    if (gridedit::IsAltKey(event)) {
        event->accept();
        return;
    }
    const int key = event->key();
    if (key == Qt::Key_Escape)
        setText(m_sInitText);
    if (gridedit::LeavesEditor(event, m_bExitOnArrows)) {
        Leave(gridedit::KeyCode(key), event->modifiers());
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
    if (!event->text().isEmpty() && event->text().at(0).isPrint())
        Grow();
}

void CGridInPlaceEdit::Leave(UINT key, Qt::KeyboardModifiers modifiers)
{
    m_nLastKey = key;
    m_LastModifiers = modifiers;
    if (m_pGrid)
        m_pGrid->setFocus(Qt::OtherFocusReason);
    // Without an active window no focus change happens: end here.
    EndEdit();
}

void CGridInPlaceEdit::Grow()
{
    if (!m_pGrid)
        return;
    const int needed = QFontMetrics(font()).horizontalAdvance(text() + QStringLiteral("  "));
    if (needed <= m_Rect.Width())
        return;
    const int clientRight = m_pGrid->GetClientRect().right;
    m_Rect.right = std::max(m_Rect.right, std::min(m_Rect.left + needed, clientRight));
    setGeometry(m_Rect.ToQRect());
}

void CGridInPlaceEdit::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    EndEdit();
}

void CGridInPlaceEdit::EndEdit()
{
    if (m_bEnded)
        return;
    m_bEnded = true;
    gridedit::FinishEdit(this, m_pGrid, m_nRow, m_nColumn, text(), m_nLastKey, m_LastModifiers);
}
