#include "controls/ui/ColorTabCtrl.h"

#include "platform/ui/GdiShim.h"
#include "platform/ui/ImageList.h"
#include "platform/ui/QtServices.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionTab>

namespace {
constexpr int kEdge = 2; // SM_CYEDGE
}

CColorTabCtrl::CColorTabCtrl(QWidget* parent)
    : QTabBar(parent)
{
    setMouseTracking(true);
    connect(this, &QTabBar::currentChanged, this, &CColorTabCtrl::OnCurrentChanged);
}

CColorTabCtrl::~CColorTabCtrl()
{
    m_arrEnabled.clear();
}

CColorTabCtrl& CColorTabCtrl::SetHoverColor(COLORREF colour)
{
    m_crHover = colour;
    m_bHoverColor = true;
    return *this;
}

CColorTabCtrl& CColorTabCtrl::SetDisabledColor(COLORREF colour)
{
    m_crDisabled = colour;
    m_bDisabledColor = true;
    return *this;
}

CColorTabCtrl& CColorTabCtrl::SetSelectedColor(COLORREF colour)
{
    m_crSelected = colour;
    m_bSelectedColor = true;
    return *this;
}

CColorTabCtrl& CColorTabCtrl::SetNormalColor(COLORREF colour)
{
    m_crNormal = colour;
    m_bNormalColor = true;
    return *this;
}

void CColorTabCtrl::Place(QWidget* page)
{
    if (page)
        page->move(m_ptPageOffset);
}

QWidget* CColorTabCtrl::Page(int index) const
{
    if (index < 0 || index >= static_cast<int>(m_pages.size()))
        return nullptr;
    return m_pages[static_cast<size_t>(index)];
}

int CColorTabCtrl::AddTab(QWidget* page, const QString& label, int image)
{
    const int index = count();
    m_pages.push_back(page);
    m_images.push_back(image);
    m_arrEnabled.push_back(TRUE);
    m_changing = true;
    insertTab(index, label);
    m_changing = false;
    Place(page);
    if (page)
        page->setVisible(index == 0);
    if (index == 0)
        m_nPrevSel = 0;
    return index;
}

bool CColorTabCtrl::SetTab(int index, QWidget* page, const QString& label, int image)
{
    if (index < 0 || index >= count())
        return false;
    // The replaced page goes out of sight with its tab.
    if (QWidget* old = Page(index); old && old != page)
        old->hide();
    setTabText(index, label);
    m_pages[static_cast<size_t>(index)] = page;
    m_images[static_cast<size_t>(index)] = image;
    m_arrEnabled[static_cast<size_t>(index)] = TRUE;
    Place(page);
    if (page)
        page->hide();
    if (QWidget* current = Page(currentIndex()))
        current->show();
    update();
    return true;
}

void CColorTabCtrl::EnableTab(int index, bool enable)
{
    if (index < 0 || index >= static_cast<int>(m_arrEnabled.size()))
        return;
    const BOOL flag = enable ? TRUE : FALSE;
    if (m_arrEnabled[static_cast<size_t>(index)] == flag)
        return;
    m_arrEnabled[static_cast<size_t>(index)] = flag;
    update(tabRect(index));
}

bool CColorTabCtrl::IsTabEnabled(int index) const
{
    return index >= 0 && index < static_cast<int>(m_arrEnabled.size()) && m_arrEnabled[static_cast<size_t>(index)];
}

void CColorTabCtrl::ShowOnlyCurrentPage()
{
    const int current = currentIndex();
    for (int i = 0; i < static_cast<int>(m_pages.size()); ++i)
        if (QWidget* page = m_pages[static_cast<size_t>(i)]; page && i != current)
            page->hide();
    if (QWidget* page = Page(current))
        page->show();
    m_nPrevSel = std::max(0, current);
}

bool CColorTabCtrl::DeleteTab(int index)
{
    if (index < 0 || index >= count())
        return false;
    if (QWidget* page = Page(index))
        page->hide();
    m_arrEnabled.erase(m_arrEnabled.begin() + index);
    m_pages.erase(m_pages.begin() + index);
    m_images.erase(m_images.begin() + index);
    m_changing = true;
    removeTab(index);
    m_changing = false;
    ShowOnlyCurrentPage();
    if (m_nHoverItem >= count())
        m_nHoverItem = -1;
    return true;
}

void CColorTabCtrl::DeleteAllTabs()
{
    while (count() > 0)
        DeleteTab(count() - 1);
}

bool CColorTabCtrl::SelectTab(int index)
{
    if (index == currentIndex())
        return true;
    if (!IsTabEnabled(index))
        return false;
    setCurrentIndex(index); // OnCurrentChanged swaps the pages
    return true;
}

bool CColorTabCtrl::SelectTabByName(const QString& label)
{
    for (int i = 0; i < count(); ++i)
        if (tabText(i) == label)
            return SelectTab(i);
    return false;
}

bool CColorTabCtrl::SelectNextTab(bool forward)
{
    const int step = forward ? 1 : -1;
    for (int i = currentIndex() + step; i >= 0 && i < count(); i += step)
        if (IsTabEnabled(i))
            return SelectTab(i);
    return false;
}

void CColorTabCtrl::OnCurrentChanged(int index)
{
    if (m_changing || index < 0)
        return;
    if (!IsTabEnabled(index)) {
        // A key or the wheel went onto a disabled tab: back to where it was.
        m_changing = true;
        setCurrentIndex(m_nPrevSel);
        m_changing = false;
        return;
    }
    if (QWidget* previous = Page(m_nPrevSel); previous && m_nPrevSel != index)
        previous->hide();
    if (QWidget* page = Page(index))
        page->show();
    m_nPrevSel = index;
}

COLORREF CColorTabCtrl::TextColour(int index) const
{
    if (!IsTabEnabled(index))
        return m_bDisabledColor ? m_crDisabled : GetSysColor(COLOR_GRAYTEXT);
    if (index == currentIndex())
        return m_bSelectedColor ? m_crSelected : GetSysColor(COLOR_BTNTEXT);
    if (m_bHoverColor && index == m_nHoverItem)
        return m_crHover;
    return m_bNormalColor ? m_crNormal : GetSysColor(COLOR_BTNTEXT);
}

void CColorTabCtrl::paintEvent(QPaintEvent*)
{
    QPainter dc(this);
    dc.setFont(font());
    for (int i = 0; i < count(); ++i) {
        QStyleOptionTab option;
        initStyleOption(&option, i);
        option.text.clear();
        option.icon = QIcon();
        style()->drawControl(QStyle::CE_TabBarTabShape, &option, &dc, this);
        WinRect r = WinRect::FromQRect(tabRect(i));
        r.Deflate(kEdge, 0);
        r.top += kEdge;
        FillSolidRect(dc, r, GetSysColor(COLOR_BTNFACE));
        const int image = m_images[static_cast<size_t>(i)];
        if (m_pImages && image >= 0) {
            r.left += dc.fontMetrics().horizontalAdvance(u' ');
            m_pImages->Draw(dc, image, r.left, r.top);
            r.left += m_pImages->ImageSize().width();
        }
        r.top -= kEdge;
        dc.setPen(platform::ToQColor(TextColour(i)));
        DrawText(dc, tabText(i), r, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
    }
}

void CColorTabCtrl::mousePressEvent(QMouseEvent* event)
{
    const int index = tabAt(event->position().toPoint());
    if (index >= 0 && !IsTabEnabled(index)) {
        event->accept(); // a disabled tab is not selected
        return;
    }
    QTabBar::mousePressEvent(event);
}

void CColorTabCtrl::SetHover(int index)
{
    if (index == m_nHoverItem)
        return;
    if (m_nHoverItem >= 0)
        update(tabRect(m_nHoverItem));
    m_nHoverItem = index;
    if (index >= 0)
        update(tabRect(index));
}

void CColorTabCtrl::mouseMoveEvent(QMouseEvent* event)
{
    if (m_bHoverColor)
        SetHover(tabAt(event->position().toPoint()));
    QTabBar::mouseMoveEvent(event);
}

void CColorTabCtrl::leaveEvent(QEvent* event)
{
    SetHover(-1);
    QTabBar::leaveEvent(event);
}
