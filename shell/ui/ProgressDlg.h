#pragma once
// The one modeless progress window of the program, a tool window over the main view. Two modes:
//   counted: SetText, SetRange(0, n), SetPos(1), Show(true), SetPos as work proceeds, Show(false)
//   timed:   SetText, Start(seconds) (the bar moves every half second by itself), Show(false)
// Cancel sends WM_CANCEL_OPERATION to the owner and hides the window; it never stops work
// itself. SetPos may be called from any thread.

#include "platform/ui/MessageTarget.h"

#include <QDialog>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

class QLabel;
class QProgressBar;
class QPushButton;

class CProgressDlg : public QDialog, public platform::MessageTarget {
    Q_OBJECT
public:
    static constexpr UINT kNoticeTimer = 113; // WM_POPUP_TIMEOUT about 3 s after Show(true)
    static constexpr UINT kTimedTimer = 114; // timed progress
    static constexpr UINT kTimerMs = 500;
    static constexpr int kHiddenTick = 100; // the tick value of a hidden or cancelled window

    // `parent` anchors the window's position; `owner` receives WM_CANCEL_OPERATION and
    // WM_POPUP_TIMEOUT (usually the parent itself).
    explicit CProgressDlg(QWidget* parent = nullptr, platform::WindowHandle owner = {});
    ~CProgressDlg() override;

    void SetOwner(platform::WindowHandle owner) { m_owner = std::move(owner); }
    void SetText(const std::string& text);
    void SetRange(std::uint32_t lower, std::uint32_t upper);
    void GetRange(std::uint32_t& lower, std::uint32_t& upper) const;
    // Clamped to the range's top. On the GUI thread the window changes at once; from another
    // thread the latest position is kept and one pending GUI-thread call shows it.
    void SetPos(std::uint32_t pos);
    void Show(bool show);
    void Start(int seconds);
    // Places the window at the parent's left + 155, top + 150 (logical pixels, 480 x 140).
    void CenterOnScreen();

    // Timer ticks; tests call it directly to advance without waiting.
    void OnTimer(UINT id) override;
    // The Cancel button (also Escape and the close box, while Cancel is enabled).
    void OnCancel();

    // What the window shows, for tests.
    std::string CaptionText() const;
    int BarValue() const;
    bool IsCancelEnabled() const;
    // GUI-thread updates queued by SetPos from other threads so far.
    int QueuedUpdates() const { return m_queuedUpdates.load(); }

    std::string m_strText;
    std::uint32_t m_nUpper = 0;
    std::uint32_t m_nLower = 0;
    int m_nTick = 0; // timer 113
    int m_nStepTick = 0; // timer 114: its own count, so the two timers never disturb each other
    int m_nSeconds = 0;
    bool m_bLockCancel = true;
    bool m_bCancelSent = false; // Cancel reaches the owner once per showing

protected:
    void reject() override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void ApplyPos(std::uint32_t pos);
    void ApplyLatestPos();

    platform::WindowHandle m_owner;
    QLabel* m_ctlText = nullptr;
    QProgressBar* m_ctlProgress = nullptr;
    QPushButton* m_ctlCancel = nullptr;

    std::atomic<std::uint32_t> m_latestPos { 0 };
    std::atomic<bool> m_updatePending { false };
    std::atomic<int> m_queuedUpdates { 0 };
    // Queued updates check it, so none runs on a destroyed window.
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
};
