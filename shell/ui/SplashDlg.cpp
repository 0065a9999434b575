#include "shell/ui/SplashDlg.h"

#include "platform/GuiThread.h"
#include "shell/Language.h"
#include "shell/ShellMessages.h"

#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace {

// Logical pixels in the view's client area; Qt scales them for the display.
constexpr int kLeft = 195;
constexpr int kTop = 140;
constexpr int kWidth = 405;
constexpr int kHeight = 260;
constexpr int kMessageText = 104;

} // namespace

CSplashDlg::CSplashDlg(QWidget* parent, platform::WindowHandle owner)
    : QWidget(parent)
    , platform::MessageTarget(this)
    , m_owner(std::move(owner))
{
    m_ctlTitle = new QLabel(this);
    m_ctlTitle->setAlignment(Qt::AlignCenter);
    QFont titleFont = m_ctlTitle->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.3);
    m_ctlTitle->setFont(titleFont);

    m_ctlBrand = new QLabel(QStringLiteral("Zelvo"), this);
    m_ctlBrand->setAlignment(Qt::AlignCenter);
    QFont brandFont = m_ctlBrand->font();
    brandFont.setBold(true);
    brandFont.setItalic(true);
    brandFont.setPointSizeF(brandFont.pointSizeF() * 2.4);
    m_ctlBrand->setFont(brandFont);

    m_ctlMessage = new QLabel(this);
    m_ctlMessage->setAlignment(Qt::AlignCenter);
    m_ctlMessage->setWordWrap(true);

    m_ctlMaker = new QLabel(QStringLiteral("Ostrand"), this);
    m_ctlMaker->setAlignment(Qt::AlignRight | Qt::AlignBottom);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 12, 16, 10);
    layout->addWidget(m_ctlTitle);
    layout->addWidget(m_ctlBrand, 1);
    layout->addWidget(m_ctlMessage, 1);
    layout->addWidget(m_ctlMaker);

    setAutoFillBackground(true);
    UpdateTexts();
    hide();
}

CSplashDlg::~CSplashDlg() = default;

void CSplashDlg::UpdateTexts()
{
    m_strTitle = "USB Universal Programmer";
    m_strMessage = g_Language.GetText(kMessageText);
    m_ctlTitle->setText(QString::fromStdString(m_strTitle));
    m_ctlMessage->setText(QString::fromStdString(m_strMessage));
}

void CSplashDlg::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    // The sizing border of the panel.
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    painter.drawRect(rect().adjusted(3, 3, -4, -4));
}

void CSplashDlg::ShowSplash(bool show)
{
    if (platform::IsGuiThread()) {
        ShowOnGuiThread(show);
        return;
    }
    std::weak_ptr<int> alive = m_alive;
    platform::post([this, alive, show] {
        if (!alive.expired())
            ShowOnGuiThread(show);
    });
}

void CSplashDlg::ShowOnGuiThread(bool show)
{
    if (show) {
        m_nTick = 0;
        SetTimer(kHideTimer, kTimerMs);
        // The table may have been filled (or changed language) since the panel was made.
        UpdateTexts();
        setGeometry(kLeft, kTop, kWidth, kHeight);
        QWidget::show();
        raise();
        update();
    } else {
        m_nTick = kHiddenTick;
        KillTimer(kHideTimer);
        QWidget::hide();
    }
}

void CSplashDlg::OnTimer(UINT id)
{
    if (id != kHideTimer)
        return;
    const int t = m_nTick;
    m_nTick = t + 1;
    if (t > 2) {
        KillTimer(kHideTimer);
        QWidget::hide();
        m_owner.PostMessage(WM_POPUP_TIMEOUT, 0, 0);
    }
    if (m_nTick == 1)
        QWidget::show();
}

std::string CSplashDlg::TitleText() const
{
    return m_ctlTitle->text().toStdString();
}

std::string CSplashDlg::MessageText() const
{
    return m_ctlMessage->text().toStdString();
}
