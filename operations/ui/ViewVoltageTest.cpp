// Tools -> "Test H/W Voltage" on the view: the checks, the dialog with the exchange helper as its
// chain's starter, and the device's setup again once the dialog and its chain are done.

#include "operations/ui/TonrigView.h"

#include "catalogue/DeviceClass.h"
#include "link/LinkLease.h"
#include "operations/OperationState.h"
#include "operations/ui/PumpController.h"
#include "operations/ui/VoltageTestDlg.h"
#include "shell/Language.h"

#include <QPointer>

void CTonrigView::OnTestVoltage()
{
    if (m_bShutDown)
        return;
    if (g_nOperationState == kStateDisconnected) {
        Log(g_Language.GetText(49) + "\r\n", kLogNote);
        return;
    }
    if (g_nOperationState != kStateIdle || g_LinkLease.IsHeld() || RunInFlight() || m_pPump->Running()) {
        Log(g_Language.GetText(73) + "\r\n", kLogNote);
        return;
    }

    // Whether a chain runs, and whether the dialog has closed: the setup waits for both.
    struct Chain {
        bool running = false;
        bool closed = false;
    };
    auto chain = std::make_shared<Chain>();
    const QPointer<CTonrigView> self(this);
    CVoltageTestDlg dialog(this);
    dialog.SetStarter(
        [this, self, chain](std::function<void(ExchangeLink&, std::stop_token)> work, std::function<void(bool)> done) {
            const bool started = RunExchange(std::move(work), [self, chain, done](bool linkLost) {
                chain->running = false;
                if (done)
                    done(linkLost);
                if (chain->closed && self)
                    self->AfterVoltageTest();
            });
            chain->running = started;
            return started;
        });
    dialog.OnInitDialog();
    if (m_runVoltageTest)
        m_runVoltageTest(dialog);
    else
        dialog.exec();
    if (!self)
        return;
    chain->closed = true;
    if (!chain->running)
        AfterVoltageTest();
}

void CTonrigView::AfterVoltageTest()
{
    // A lost link left the state at 0: nothing to set up.
    if (m_bShutDown || g_nOperationState != kStateIdle)
        return;
    if (g_nCurrentClass >= 0 && g_nCurrentClass < kNoDeviceClass)
        StartDeviceSetup(g_nCurrentClass, 1, 1, 0);
}
