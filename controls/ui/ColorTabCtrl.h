#pragma once
// A tab bar that owns one page per tab (the caller's widgets, placed at the page offset in the
// parent's coordinates), shows the selected tab's page and hides the others, keeps tabs of its own
// disabled (never selected, drawn grey; Qt's own flag would move the selection off a disabled
// current tab), and draws tab texts in chosen colours for the selected, normal, disabled and
// hovered tab.

#include "platform/Colour.h"
#include "platform/WinTypes.h"

#include <QPoint>
#include <QPointer>
#include <QTabBar>
#include <QWidget>

#include <vector>

class ImageList;

class CColorTabCtrl : public QTabBar {
    Q_OBJECT
public:
    explicit CColorTabCtrl(QWidget* parent = nullptr);
    ~CColorTabCtrl() override;

    void SetPageOffset(int x, int y) { m_ptPageOffset = QPoint(x, y); }
    CColorTabCtrl& SetHoverColor(COLORREF colour);
    CColorTabCtrl& SetDisabledColor(COLORREF colour);
    CColorTabCtrl& SetSelectedColor(COLORREF colour);
    CColorTabCtrl& SetNormalColor(COLORREF colour);
    void SetImageList(const ImageList* images) { m_pImages = images; }

    int AddTab(QWidget* page, const QString& label, int image = -1);
    int AddTab(const QString& label, int image = -1) { return AddTab(nullptr, label, image); }
    bool SetTab(int index, QWidget* page, const QString& label, int image = -1);
    void EnableTab(int index, bool enable);
    bool IsTabEnabled(int index) const;
    bool DeleteTab(int index);
    void DeleteAllTabs();
    bool SelectTab(int index);
    bool SelectTabByName(const QString& label);
    // The next enabled tab forward or back; no wrapping; false when none was selected.
    bool SelectNextTab(bool forward);

    QWidget* Page(int index) const;
    int HoverItem() const { return m_nHoverItem; }
    // The colour a tab's text is drawn in now.
    COLORREF TextColour(int index) const;

    std::vector<BOOL> m_arrEnabled;
    int m_nPrevSel = 0;
    QPoint m_ptPageOffset { 4, 28 };
    COLORREF m_crSelected = 0;
    COLORREF m_crDisabled = 0;
    COLORREF m_crNormal = 0;
    COLORREF m_crHover = 0;
    int m_nHoverItem = -1;
    bool m_bHoverColor = false;
    bool m_bNormalColor = false;
    bool m_bDisabledColor = false;
    bool m_bSelectedColor = false;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void OnCurrentChanged(int index);
    void Place(QWidget* page);
    void ShowOnlyCurrentPage();
    void SetHover(int index);

    std::vector<QPointer<QWidget>> m_pages;
    std::vector<int> m_images;
    const ImageList* m_pImages = nullptr;
    bool m_changing = false;
};
