#include "controls/ui/grid/GridInPlaceList.h"

#include "controls/ui/grid/GridCtrl.h"

#include <QAbstractItemView>
#include <QCoreApplication>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QStyle>

CGridInPlaceListEdit::CGridInPlaceListEdit(QWidget* parent)
    : QLineEdit(parent)
{
    setObjectName(QString::number(GRID_LIST_EDIT_ID));
}

void CGridInPlaceListEdit::keyPressEvent(QKeyEvent* event)
{
    // The combo box decides what Ctrl with a paging key or an arrow does.
    if ((event->modifiers() & Qt::ControlModifier) && gridedit::IsPagingOrArrow(event->key())) {
        if (auto* combo = qobject_cast<CGridInPlaceList*>(parentWidget())) {
            QKeyEvent copy(event->type(), event->key(), event->modifiers(), event->text());
            QCoreApplication::sendEvent(combo, &copy);
            event->setAccepted(copy.isAccepted());
            return;
        }
    }
    QLineEdit::keyPressEvent(event);
}

CGridInPlaceList::CGridInPlaceList(CGridCtrl* grid, const WinRect& rect, DWORD comboStyle, UINT id, int row, int col,
    const QStringList& items, const QString& initialText, GridEditStart first)
    : QComboBox(grid->viewport())
    , m_pGrid(grid)
    , m_sInitText(initialText)
    , m_nRow(row)
    , m_nColumn(col)
{
    setObjectName(QString::number(id));
    const bool dropDownList = (comboStyle & 3) == GRID_CBS_DROPDOWNLIST;
    if (!dropDownList) {
        setEditable(true);
        m_pEdit = new CGridInPlaceListEdit(this);
        setLineEdit(m_pEdit);
        // A typed text stays a text; it never becomes a new choice.
        setInsertPolicy(QComboBox::NoInsert);
        setCompleter(nullptr);
    }
    setFont(grid->OnGetFont());
    addItems(items);
    setMaxVisibleItems(m_nNumLines);

    const QFontMetrics metrics(font());
    int widest = 0;
    for (const QString& item : items)
        widest = std::max(widest, metrics.horizontalAdvance(item));
    m_nMeasuredWidth = widest + style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 2 * metrics.horizontalAdvance(' ');
    WinRect placed = rect;
    if (placed.Width() < m_nMeasuredWidth)
        placed.right = placed.left + m_nMeasuredWidth;
    setGeometry(placed.ToQRect());
    view()->setMinimumWidth(m_nMeasuredWidth);

    const int index = findText(initialText, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0)
        setCurrentIndex(index);
    else if (isEditable())
        setEditText(initialText);
    else
        setCurrentIndex(-1);

    // Only a user's pick: the initial selection above has already happened.
    connect(this, &QComboBox::activated, this, [this](int picked) {
        m_bPicked = true;
        if (m_pGrid)
            m_pGrid->OnSelectionChanged(picked);
    });

    show();
    setFocus(Qt::OtherFocusReason);
    if (!m_pEdit)
        return;
    if (first.code == GRID_KEY_MOUSE || (!first.isKey && first.code == 13)
        || (first.isKey && first.code == GRID_KEY_F2)) {
        m_pEdit->end(false);
    } else if (!first.isKey && first.code == 8) {
        m_pEdit->end(false);
        m_pEdit->backspace();
    } else if (first.isKey) {
        m_pEdit->selectAll();
    } else {
        m_pEdit->selectAll();
        TypeCharacter(first);
    }
}

void CGridInPlaceList::TypeCharacter(GridEditStart ch)
{
    if (!m_pEdit || ch.isKey)
        return;
    if (ch.code == 8)
        m_pEdit->backspace();
    else if (ch.code >= ' ')
        m_pEdit->insert(QStringView(QChar::fromUcs4(ch.code)).toString());
}

bool CGridInPlaceList::event(QEvent* event)
{
    if (gridedit::TakeEditorKeys(event, m_bExitOnArrows, [this](UINT key, Qt::KeyboardModifiers modifiers) {
            Leave(key, modifiers);
        }))
        return true;
    return QComboBox::event(event);
}

void CGridInPlaceList::keyPressEvent(QKeyEvent* event)
{
    if (gridedit::IsAltKey(event)) {
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Escape)
        RestoreInitialText();
    if (gridedit::LeavesEditor(event, m_bExitOnArrows)) {
        Leave(gridedit::KeyCode(event->key()), event->modifiers());
        event->accept();
        return;
    }
    QComboBox::keyPressEvent(event);
}

void CGridInPlaceList::mouseReleaseEvent(QMouseEvent* event)
{
    // The list handles its presses; a release on the field means nothing more.
    event->accept();
}

void CGridInPlaceList::RestoreInitialText()
{
    const int index = findText(m_sInitText, Qt::MatchExactly | Qt::MatchCaseSensitive);
    // The grid already heard of a pick in this edit (an arrow key picks at once): going back is
    // a pick of the first choice, or, with no choice to go back to, the pick stands.
    if (m_bPicked) {
        if (index < 0)
            return;
        if (index != currentIndex()) {
            setCurrentIndex(index);
            if (isEditable())
                setEditText(m_sInitText);
            if (m_pGrid)
                m_pGrid->OnSelectionChanged(index);
            return;
        }
    }
    if (index >= 0)
        setCurrentIndex(index);
    if (isEditable())
        setEditText(m_sInitText);
}

void CGridInPlaceList::Leave(UINT key, Qt::KeyboardModifiers modifiers)
{
    m_nLastKey = key;
    m_LastModifiers = modifiers;
    if (m_pGrid)
        m_pGrid->setFocus(Qt::OtherFocusReason);
    EndEdit();
}

void CGridInPlaceList::focusOutEvent(QFocusEvent* event)
{
    QComboBox::focusOutEvent(event);
    // Opening the list moves the focus to its popup: the edit goes on.
    if (event->reason() == Qt::PopupFocusReason)
        return;
    if (view() && view()->isVisible())
        return;
    EndEdit();
}

void CGridInPlaceList::EndEdit()
{
    if (m_bEnded)
        return;
    m_bEnded = true;
    const QString endText = currentText();
    hidePopup();
    gridedit::FinishEdit(this, m_pGrid, m_nRow, m_nColumn, endText, m_nLastKey, m_LastModifiers);
}
