#include "shell/ui/ProgressDlg.h"

#include "platform/GuiThread.h"
#include "platform/TextFormat.h"
#include "shell/ShellMessages.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QResizeEvent>

#include <algorithm>

namespace {

constexpr int kWidth = 480;
constexpr int kHeight = 140;
constexpr int kOffsetX = 155;
constexpr int kOffsetY = 150;

} // namespace

CProgressDlg::CProgressDlg(QWidget* parent, platform::WindowHandle owner)
    : QDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
    , platform::MessageTarget(this)
    , m_owner(std::move(owner))
{
    setModal(false);
    setWindowTitle(QStringLiteral("Progress Bar"));
    m_ctlText = new QLabel(QStringLiteral("Static"), this);
    m_ctlText->setAlignment(Qt::AlignCenter);
    m_ctlProgress = new QProgressBar(this);
    m_ctlProgress->setRange(0, 100);
    m_ctlProgress->setValue(0);
    m_ctlProgress->setTextVisible(false);
    m_ctlCancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_ctlCancel->setAutoDefault(false);
    connect(m_ctlCancel, &QPushButton::clicked, this, [this] { OnCancel(); });
    resize(kWidth, kHeight);
}

CProgressDlg::~CProgressDlg() = default;

void CProgressDlg::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    const int w = width();
    const int h = height();
    const int barBottom = h / 2;
    m_ctlProgress->setGeometry(30, barBottom - 20, std::max(0, w - 60), 20);
    m_ctlText->setGeometry(10, 4, std::max(0, w - 20), std::max(0, barBottom - 28));
    const QSize button = m_ctlCancel->sizeHint().expandedTo(QSize(90, 26));
    m_ctlCancel->setGeometry(
        (w - button.width()) / 2, barBottom + (h - barBottom - button.height()) / 2, button.width(), button.height());
}

void CProgressDlg::SetText(const std::string& text)
{
    m_strText = text;
}

void CProgressDlg::SetRange(std::uint32_t lower, std::uint32_t upper)
{
    m_nLower = lower;
    m_nUpper = upper;
    m_ctlProgress->setRange(0, 100);
}

void CProgressDlg::GetRange(std::uint32_t& lower, std::uint32_t& upper) const
{
    lower = m_nLower;
    upper = m_nUpper;
}

void CProgressDlg::SetPos(std::uint32_t pos)
{
    m_latestPos.store(pos);
    if (platform::IsGuiThread()) {
        ApplyPos(pos);
        return;
    }
    // The data pump calls this for every packet: many calls share one queued update, which
    // shows whatever position is latest when it runs.
    if (m_updatePending.exchange(true))
        return;
    ++m_queuedUpdates;
    std::weak_ptr<int> alive = m_alive;
    platform::post([this, alive] {
        if (alive.expired())
            return;
        ApplyLatestPos();
    });
}

void CProgressDlg::ApplyLatestPos()
{
    // Cleared before the read: a position stored after it queues a fresh update.
    m_updatePending.store(false);
    ApplyPos(m_latestPos.load());
}

void CProgressDlg::ApplyPos(std::uint32_t pos)
{
    pos = std::min(pos, m_nUpper);
    const double percent = m_nUpper ? pos * 100.0 / m_nUpper : 0.0;
    // In 64 bits: pos * 100 overflows 32 bits from about 42.9 million on.
    const int bar = m_nUpper ? static_cast<int>(std::uint64_t { pos } * 100 / m_nUpper) : 0;
    m_ctlText->setText(QString::fromStdString(platform::Format("%s (%.2f%%)", m_strText.c_str(), percent)));
    m_ctlCancel->setEnabled(m_nUpper > pos);
    m_ctlProgress->setValue(bar);
}

void CProgressDlg::Show(bool show)
{
    if (show) {
        m_nTick = 0;
        m_bCancelSent = false;
        SetTimer(kNoticeTimer, kTimerMs);
        CenterOnScreen();
        QDialog::show();
        raise();
        activateWindow();
        m_ctlText->setText(QString::fromStdString(m_strText));
    } else {
        m_nTick = kHiddenTick;
        KillTimer(kNoticeTimer);
        KillTimer(kTimedTimer);
        QDialog::hide();
        m_bLockCancel = true;
    }
}

void CProgressDlg::Start(int seconds)
{
    m_nSeconds = std::max(seconds, 0);
    m_bCancelSent = false;
    SetRange(0, static_cast<std::uint32_t>(m_nSeconds) * 2);
    SetPos(0);
    m_nStepTick = 0;
    SetTimer(kTimedTimer, kTimerMs);
    CenterOnScreen();
    QDialog::show();
}

void CProgressDlg::OnTimer(UINT id)
{
    if (id == kNoticeTimer) {
        const int t = m_nTick++;
        if (t > 4) {
            KillTimer(kNoticeTimer);
            m_owner.PostMessage(WM_POPUP_TIMEOUT, 0, 0);
            m_nTick = 0;
        }
    } else if (id == kTimedTimer) {
        const int t = m_nStepTick++;
        if (static_cast<long long>(t) < static_cast<long long>(m_nSeconds) * 2) {
            SetPos(static_cast<std::uint32_t>(t) + 1);
            if (m_bLockCancel)
                m_ctlCancel->setEnabled(false);
        } else {
            KillTimer(kTimedTimer);
            m_nStepTick = 0;
        }
    }
}

void CProgressDlg::OnCancel()
{
    // Once per showing, and never while Cancel is grey (Escape and the close box come here too,
    // and must not cancel a locked erase).
    if (m_bCancelSent || !m_ctlCancel->isEnabled())
        return;
    m_bCancelSent = true;
    m_owner.SendMessage(WM_CANCEL_OPERATION, 0, 0);
    KillTimer(kTimedTimer);
    KillTimer(kNoticeTimer);
    m_nTick = kHiddenTick;
    QDialog::reject();
}

void CProgressDlg::reject()
{
    OnCancel();
}

void CProgressDlg::CenterOnScreen()
{
    const QWidget* anchor = parentWidget();
    const QPoint origin = anchor ? anchor->mapToGlobal(QPoint(0, 0)) : QPoint(0, 0);
    resize(kWidth, kHeight);
    move(origin + QPoint(kOffsetX, kOffsetY));
    update();
}

std::string CProgressDlg::CaptionText() const
{
    return m_ctlText->text().toStdString();
}

int CProgressDlg::BarValue() const
{
    return m_ctlProgress->value();
}

bool CProgressDlg::IsCancelEnabled() const
{
    return m_ctlCancel->isEnabled();
}
