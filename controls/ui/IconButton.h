#pragma once
// A push button that paints itself: an icon or a bitmap with a transparent colour beside its
// caption, in six colours of its own, flat until the mouse is over it, optionally a check box
// that stays pressed while checked. It can open a popup menu (from a menu template) or an address
// on click. Every colour, line and text goes through platform/ui/GdiShim.

#include "platform/Colour.h"
#include "platform/WinTypes.h"
#include "platform/ui/GdiShim.h"
#include "platform/ui/MessageTarget.h"

#include <QBitmap>
#include <QPixmap>
#include <QPoint>
#include <QPushButton>
#include <QString>

#include <array>
#include <functional>
#include <memory>
#include <optional>

class QMenu;
class VarnMenu;

class CIconButton : public QPushButton {
    Q_OBJECT
public:
    enum ColorIndex {
        ColorHotBack = 0,
        ColorHotText = 1,
        ColorNormalBack = 2,
        ColorNormalText = 3,
        ColorFocusBack = 4,
        ColorFocusText = 5,
    };
    // Results of the setters.
    static constexpr int kDone = 0;
    static constexpr int kLoadFailed = 1; // an icon, bitmap, cursor or menu could not be loaded
    static constexpr int kMaskFailed = 2; // a bitmap's mask could not be made
    static constexpr int kBadColorIndex = 3;
    static constexpr int kBadAlign = 4;
    static constexpr int kBadValue = 5; // a shade out of range, a capture without transparent mode
    static constexpr int kBadPressedStyle = 6;
    // Normal-image ids that are no resource.
    static constexpr int kNoImage = 0;
    static constexpr int kGrayCopy = -2;
    static constexpr int kDarkCopy = -3;

    explicit CIconButton(QWidget* parent = nullptr);
    explicit CIconButton(const QString& caption, QWidget* parent = nullptr);
    ~CIconButton() override;

    // ---- images: resources by number ("ICON", "BITMAP"), or the images themselves ---------
    int SetIcon(int hotId, int normalId = kNoImage);
    int SetIcon(const QPixmap& hot, const QPixmap& normal = QPixmap());
    int SetBitmaps(int hotId, COLORREF hotTransparent, int normalId = kNoImage, COLORREF normalTransparent = 0);
    int SetBitmaps(
        const QPixmap& hot, COLORREF hotTransparent, const QPixmap& normal = QPixmap(), COLORREF normalTransparent = 0);
    bool HasImages() const;

    // ---- pure helpers ---------------------------------------------------------------------
    // Luminance in every channel; an icon's pixels of alpha 0, or a bitmap's pixels of its
    // transparent colour, stay.
    static QImage MakeGrayImage(const QImage& image, std::optional<COLORREF> transparent = std::nullopt);
    static QImage MakeDarkImage(const QImage& image, std::optional<COLORREF> transparent = std::nullopt);
    static COLORREF DarkenColor(COLORREF colour, double factor) { return ::DarkenColor(colour, factor); }
    struct ImageRects {
        WinRect image;
        WinRect caption;
    };
    static ImageRects PrepareImageRect(const WinRect& item, QSize image, bool hasCaption, int align, bool pressed,
        bool checkBox, QPoint imageOrigin, QPoint pressedOffset);
    // All three channels moved by `shade`, as far as every channel stays within 0..255.
    static COLORREF ShadedColor(COLORREF colour, int shade);

    // ---- colours and looks ----------------------------------------------------------------
    int SetDefaultColors(bool repaint = true);
    int SetColor(int index, COLORREF colour, bool repaint = true);
    int GetColor(int index, COLORREF& colour) const;
    int ShadeColor(int index, int shade, bool repaint = true);
    void SetFlat(bool flat, bool repaint = true);
    void SetHoverBorder(bool on, bool repaint = true);
    void SetFlatFocus(bool on, bool repaint = true);
    void SetAlwaysTrack(bool on) { m_bAlwaysTrack = on; }
    int SetImageAlign(int align, bool repaint = true);
    int SetPressedStyle(int style, bool repaint = true);
    void SetShowDisabledBitmap(bool on) { m_bShowDisabledBitmap = on; }
    bool IsDefault() const { return isDefault(); }
    bool IsHot() const { return m_bMouseOnButton; }

    // ---- check box ------------------------------------------------------------------------
    void SetCheckBox(bool on) { m_bIsCheckBox = on; }
    bool IsCheckBox() const { return m_bIsCheckBox; }
    // 1 or 2 checks, anything else unchecks; only a check box changes.
    void SetCheck(int check, bool repaint = true);
    int GetCheck() const { return m_nCheck; }

    // ---- the rest -------------------------------------------------------------------------
    int SetCursorId(int cursorId, bool repaint = true);
    void SetToolTipText(const QString& text, bool activate = true);
    void SetToolTipText(int textId, bool activate = true); // a "STRING" resource
    void ActivateToolTip(bool on);
    // Qt composes the parent under a widget that does not fill its background: transparent
    // mode only leaves the background step out.
    void SetTransparent(bool repaint = true);
    int CaptureParentBackground();
    void SetUrl(const QString& address);
    // The menu template `menuId`; its first popup opens on click at the button's bottom-left
    // corner, and the chosen command reaches `owner` as a posted WM_COMMAND.
    int SetPopupMenu(int menuId, platform::WindowHandle owner, bool repaint = true);
    // Sent to `window` (wParam the popup) before the menu opens.
    void SetMenuCallback(platform::WindowHandle window, UINT message, LPARAM lParam);
    void FitToImage();

    // Shows a popup menu and answers the action chosen (none: null); QMenu::exec by default.
    using MenuRunner = std::function<QAction*(QMenu& menu, QPoint at)>;
    static void SetMenuRunner(MenuRunner runner);

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;

    // The drawing steps, in order; a derived button can change one.
    virtual void DrawBackground(QPainter& dc, WinRect& rect);
    virtual void DrawFrame(QPainter& dc, const WinRect& rect);
    virtual void DrawIconImage(QPainter& dc, const WinRect& item, bool hasCaption, WinRect& caption);
    virtual void DrawBitmapImage(QPainter& dc, const WinRect& item, bool hasCaption, WinRect& caption);
    virtual void DrawCaption(QPainter& dc, WinRect caption, const QString& text);

    bool IsPressedLook() const;

    bool m_bShowDisabledBitmap = true;
    QPoint m_ptImageOrg { 3, 3 };
    QPoint m_ptPressedOffset { 1, 1 };
    bool m_bIsFlat = true;
    bool m_bMouseOnButton = false;
    bool m_bDrawTransparent = false;
    bool m_bIsCheckBox = false;
    int m_byAlign = 0;
    bool m_bDrawBorder = true;
    bool m_bDrawFlatFocus = false;
    std::array<COLORREF, 6> m_crColors {};
    bool m_bMenuDisplayed = false;
    bool m_bAlwaysTrack = true;
    int m_nCheck = 0;
    QString m_szURL;

private:
    struct Image {
        QPixmap pixmap;
        COLORREF transparent = 0;
    };
    void Init();
    void FreeImages();
    void Hover(QPointF position, Qt::MouseButtons buttons);
    void CancelHover();
    void OnClicked();
    // The image to show: the normal one unless pressed or hot (hot does not count for a check box).
    const Image& ChosenImage(const std::array<Image, 2>& images) const;

    std::array<Image, 2> m_csIcons; // 0 hot, 1 normal
    std::array<Image, 2> m_csBitmaps;
    std::unique_ptr<VarnMenu> m_hMenu;
    platform::WindowHandle m_hParentWndMenu;
    platform::WindowHandle m_callbackWindow;
    UINT m_callbackMessage = 0;
    LPARAM m_callbackLParam = 0;
    QString m_toolTip;
    bool m_toolTipActive = false;
    bool m_hasToolTip = false;
};
