#pragma once
// "Voltage Diagnostic" (template 279): the voltage self-test's log (control 119) and its two
// buttons, "Test" (1) and "Exit" (2). "Test" starts the chain of operations/VoltageTest on the
// view's exchange helper; each reading comes back to the GUI thread, is judged and logged in its
// colour. Exit, Esc or closing stops a running chain and closes at once: the GUI thread never
// waits for it.

#include "operations/VoltageTest.h"

#include <QDialog>

#include <functional>
#include <memory>
#include <stop_token>

class CRichEditCtrlExtend;
class QPushButton;

class CVoltageTestDlg : public QDialog {
    Q_OBJECT
public:
    // Starts `work` as one exchange and calls `done` on the GUI thread once it has ended; false
    // when it would not start (the view's RunExchange).
    using ChainStarter = std::function<bool(
        std::function<void(ExchangeLink&, std::stop_token)> work, std::function<void(bool linkLost)> done)>;

    explicit CVoltageTestDlg(QWidget* parent = nullptr);
    ~CVoltageTestDlg() override;

    void SetStarter(ChainStarter starter) { m_start = std::move(starter); }
    // The red warning.
    void OnInitDialog();
    // "Test": the first heading and the chain; "Test" stays disabled until it ends.
    void OnOK();
    // Exit, Esc and the close button.
    void reject() override;
    bool ChainRunning() const { return m_running; }

    CRichEditCtrlExtend& Log() { return *m_log; }
    QPushButton* TestButton() const { return m_test; }
    QPushButton* ExitButton() const { return m_exit; }

    static constexpr int kLogId = 119;
    static constexpr int kStripHeight = 70; // below the log, for the buttons

private:
    void OnReading(const VoltageReading& reading);
    void OnChainEnd();

    ChainStarter m_start;
    CRichEditCtrlExtend* m_log = nullptr;
    QPushButton* m_test = nullptr;
    QPushButton* m_exit = nullptr;
    bool m_running = false;
    int m_model = 0;
    std::shared_ptr<std::stop_source> m_stop;
};
