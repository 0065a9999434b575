#pragma once
// The start-up panel that asks the user to take the chip out of the socket while the programmer
// is initialised. A child panel of the main view: the view creates it once, shows it while the
// USB link comes up (and again when the programmer comes back after a loss) and hides it once
// the programmer is identified; it hides itself about 2 s after the last show in any case and
// then posts WM_POPUP_TIMEOUT to its owner.

#include "platform/ui/MessageTarget.h"

#include <QWidget>

#include <memory>
#include <string>

class QLabel;

class CSplashDlg : public QWidget, public platform::MessageTarget {
    Q_OBJECT
public:
    static constexpr UINT kHideTimer = 109;
    static constexpr UINT kTimerMs = 500;
    static constexpr int kHiddenTick = 100;

    // `parent` hosts the panel; `owner` receives WM_POPUP_TIMEOUT (usually the parent itself).
    explicit CSplashDlg(QWidget* parent = nullptr, platform::WindowHandle owner = {});
    ~CSplashDlg() override;

    void SetOwner(platform::WindowHandle owner) { m_owner = std::move(owner); }
    // Shows the panel (restarting the 2-second count) or hides it. Callable from any thread:
    // off the GUI thread the call is queued to it.
    void ShowSplash(bool show);

    // Timer ticks; tests call it directly to advance without waiting.
    void OnTimer(UINT id) override;

    std::string m_strTitle;
    std::string m_strMessage;
    int m_nTick = 0;

    std::string TitleText() const;
    std::string MessageText() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void ShowOnGuiThread(bool show);
    void UpdateTexts();

    platform::WindowHandle m_owner;
    QLabel* m_ctlTitle = nullptr;
    QLabel* m_ctlMessage = nullptr;
    QLabel* m_ctlBrand = nullptr;
    QLabel* m_ctlMaker = nullptr;
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
};
