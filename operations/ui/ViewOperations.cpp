// The main view's operation control: the step timers, the progress window and the controls, the
// common end of every operation, the exchange helper, and the ID-check and lock steps.

#include "operations/ui/TonrigView.h"

#include "catalogue/DeviceClassTable.h"
#include "link/CFGManager.h"
#include "link/LinkLease.h"
#include "link/ProgrammerCommand.h"
#include "operations/ChipIdCheck.h"
#include "operations/CommandChannelPump.h"
#include "operations/LogColours.h"
#include "operations/OperationControl.h"
#include "operations/OperationText.h"
#include "operations/StepExchange.h"
#include "operations/StopWatch.h"
#include "operations/ui/BufferCommands.h"
#include "operations/ui/PumpController.h"
#include "operations/ui/View2Header.h"
#include "operations/ui/ViewPumpPort.h"
#include "operations/ui/ViewSetup.h"
#include "platform/GuiThread.h"
#include "platform/MessageBox.h"
#include "platform/TextFormat.h"
#include "shell/Language.h"
#include "shell/ui/MainFrame.h"
#include "shell/ui/ProgressDlg.h"
#include "shell/ui/StatusBar.h"

#include <QPointer>
#include <QScrollBar>

#include <algorithm>

namespace {

// The voltages of an exchange: a read's or a write's, with the device's switch bytes.
PumpVoltages ExchangeVoltages(const CDeviceClass& d, bool write)
{
    PumpVoltages v;
    v.vccSwitch = d.m_nVccSwitch;
    v.vppSwitch = d.m_nVppSwitch;
    v.switchA = d.m_nSwitchA;
    if (write) {
        v.vcc = d.m_nWriteVcc;
        v.vpp = d.m_nVpp;
    } else {
        v.vcc = d.m_nVcc;
        v.vpp = d.m_nReadVpp == 0xFF ? 0 : d.m_nReadVpp;
    }
    return v;
}

ExchangeLink::Status FromPump(PumpChannel::Status status)
{
    switch (status) {
    case PumpChannel::Status::Ok:
        return ExchangeLink::Status::Ok;
    case PumpChannel::Status::Timeout:
        return ExchangeLink::Status::Timeout;
    case PumpChannel::Status::Gone:
        return ExchangeLink::Status::Gone;
    default:
        return ExchangeLink::Status::Failed;
    }
}

// The exchange helper's link: the pump's channel and voltage setter, with the device's voltages
// taken when the exchange started.
class ViewExchangeLink final : public ExchangeLink {
public:
    ViewExchangeLink(PumpChannel& channel, PumpVoltageSetter& setter, const CDeviceClass& device)
        : m_channel(channel)
        , m_setter(setter)
        , m_read(ExchangeVoltages(device, false))
        , m_write(ExchangeVoltages(device, true))
    {
    }
    void SetVoltages(Voltages voltages) override
    {
        m_setter.SetVoltages(voltages == Voltages::Write ? m_write : m_read);
    }
    Status Send(std::span<const std::uint8_t> packet) override
    {
        return FromPump(m_channel.SendCommand(packet.data(), static_cast<int>(packet.size()), false));
    }
    int Read(std::span<std::uint8_t> buffer, Status& status) override
    {
        PumpChannel::Status got = PumpChannel::Status::Ok;
        const int n = m_channel.ReadResponse(buffer.data(), static_cast<int>(buffer.size()), got);
        status = FromPump(got);
        return n;
    }
    void SetVcc(std::uint8_t code) override { g_CFGManager.SetVcc(code); }
    void SetVpp(std::uint8_t code) override { g_CFGManager.SetVpp(code); }
    void Drain() override { m_channel.Drain(); }
    int ReadFor(std::span<std::uint8_t> buffer, std::chrono::milliseconds timeout, std::stop_token stop,
        Status& status) override
    {
        PumpChannel::Status got = PumpChannel::Status::Ok;
        const int n = m_channel.ReadResponseFor(
            buffer.data(), static_cast<int>(buffer.size()), static_cast<int>(timeout.count()), std::move(stop), got);
        status = FromPump(got);
        return n;
    }

private:
    PumpChannel& m_channel;
    PumpVoltageSetter& m_setter;
    PumpVoltages m_read;
    PumpVoltages m_write;
};

} // namespace

OperationControlHooks CTonrigView::MakeControlHooks()
{
    OperationControlHooks hooks;
    hooks.armTimer
        = [this](int timer, int periodMs) { SetTimer(static_cast<UINT>(timer), static_cast<UINT>(periodMs), true); };
    hooks.killTimer = [this](int timer) { KillTimer(static_cast<UINT>(timer)); };
    hooks.showBufferTab = [this](int index) {
        m_nBufferIndex = index;
        m_pBufferCommands->SetBufferIndex(index);
        ShowBufferTab(1);
    };
    hooks.enableControls = [this](bool busy) { EnableControls(busy); };
    hooks.log = [this](const std::string& line, LineTone tone) { Log(line, log_colours::OfTone(tone)); };
    hooks.box = [](const std::string& text, const std::string& caption, UINT type) {
        return MessageBox(text, caption, type);
    };
    hooks.isAutoStepEnabled
        = [](int operation) { return g_pView2Header && g_pView2Header->IsAutoStepEnabled(operation); };
    hooks.isDoubleWriteChecked = [] { return g_pView2Header && g_pView2Header->DoubleWrite(); };
    hooks.deviceShape = [] {
        DeviceShape shape;
        shape.hasData = g_CurrentDevice.m_nDataSize > 0;
        shape.hasConfig = g_CurrentDevice.m_pPicConfig != nullptr;
        shape.configSupplied = shape.hasConfig && g_CurrentDevice.m_pPicConfig->m_bConfigSupplied;
        return shape;
    };
    hooks.runConfigWords = [this](StepOperation operation) {
        auto then = [this, operation](StepKind kind) { m_pControl->OnConfigWordsResult(operation, kind); };
        if (operation == StepOperation::Write)
            WriteConfigWords(then);
        else
            VerifyConfigWords(then);
    };
    hooks.requestCancel = [] { g_bCancelOperation = 1; };
    hooks.isLinkMarkedLost = [this] { return m_bCompletionLinkLost; };
    hooks.beginProgress = [this](int state) { BeginProgress(state); };
    hooks.confirmAdapter = [] { return ConfirmAdapter(g_CurrentDevice.m_strAdapter, g_CurrentDevice.m_strMessage); };
    hooks.runEnded = [this](bool done) { OnRunEnded(done); };
    hooks.showFailure = [this] { ShowFailure(); };
    return hooks;
}

OperationRunFlags& CTonrigView::RunFlags()
{
    return m_pControl->Flags();
}

BYTE CTonrigView::StartOperation(int step)
{
    return m_pControl->StartOperation(step) ? 1 : 0;
}

bool CTonrigView::PrepareOperation()
{
    PrepareInput input;
    input.state = g_nOperationState;
    input.leaseHeld = g_LinkLease.IsHeld() || m_pSetup->Setup().Busy();
    input.exchangeRunning = RunInFlight();
    input.classIndex = g_nCurrentClass;
    input.setupMessage = m_pSetup->Setup().NotReadyReason();
    input.setupReady = input.setupMessage.empty();
    return m_pControl->PrepareOperation(input);
}

bool CTonrigView::RunInFlight() const
{
    // An exchange leaves the state at idle; the lease says an operation holds the link all the same.
    // Between two steps of a run the next one is armed: a command there would take the link from it.
    return m_bExchangeRunning || g_LinkLease.Holder() == LeaseHolder::Operation || m_pControl->ArmedTimer() != 0;
}

void CTonrigView::BeginProgress(int state)
{
    CProgressDlg& progress = *m_pProgress;
    progress.SetText(ProgressCaption(state));
    progress.SetRange(0, static_cast<std::uint32_t>(std::max(m_nEndPosition, 0)));
    progress.SetPos(0);
    progress.Show(true);
    m_CommandLine->setEnabled(false);
    m_nProgressState = state;
    UpdateStatePane();
}

void CTonrigView::EnableControls(bool busy)
{
    m_pProgress->Show(busy);
    m_CommandLine->setEnabled(!busy);
    if (!busy) {
        m_nProgressState = 0;
        UpdateStatePane();
    }
}

// ---- The status bar and the tabs ----

void CTonrigView::UpdateStatePane()
{
    SetStatusPane(CStatusBar::ID_INDICATOR_STATE, StatePaneText(g_nOperationState, m_nProgressState));
}

void CTonrigView::MarkCompletionStart()
{
    m_nCompletionLogMark = m_MessageLog->GetText().size();
}

void CTonrigView::ShowFailure()
{
    if (m_bShutDown)
        return;
    if (!m_pBufferCommands->ScriptTabActive())
        m_pBufferCommands->ShowLogTab();
    // Scrolled, not the caret moved: a selection the user made stays.
    if (QScrollBar* bar = m_MessageLog->verticalScrollBar())
        bar->setValue(bar->maximum());

    if (g_pStatusBar)
        g_pStatusBar->HoldMessage(FailureLine(m_MessageLog->GetText(), m_nCompletionLogMark));
}

void CTonrigView::ClearFailureNote()
{
    if (g_pStatusBar)
        g_pStatusBar->ReleaseMessage();
}

void CTonrigView::OnStepTimer(UINT id)
{
    m_pControl->OnStepTimer(static_cast<int>(id));
    if (!PrepareOperation())
        return;
    RunStepOfTimer(id);
}

void CTonrigView::RunStepOfTimer(UINT id)
{
    switch (id) {
    case kTimerRead:
        RunReadStep();
        break;
    case kTimerWrite:
        RunWriteStep();
        break;
    case kTimerErase:
        RunErase();
        break;
    case kTimerVerify:
        RunVerifyStep();
        break;
    case kTimerBlankCheck:
        RunBlankCheckStep();
        break;
    case kTimerLock:
        LockDeviceStep();
        break;
    case kTimerIdCheck:
        RunIdCheckStep();
        break;
    default:
        break;
    }
}

// ---- The common end of an operation ----

void CTonrigView::FinishOperation(const PumpResult& result, bool linkLost)
{
    MarkCompletionStart();
    // A read that finds the state changed under it did not end as the pump says.
    const bool stateLost = result.operation == PumpOperation::Read && g_nOperationState != 3;
    // P_POWER_DOWN through the channel the pump used (the command channel in the program), on a
    // lost link too: a programmer that stopped answering may still take it, and the chip should
    // not stay powered; a programmer that is gone refuses it at once.
    m_pPumpPort->SendPowerDown();
    if (!linkLost)
        SetPinDrivers();
    g_nOperationState = linkLost ? kStateDisconnected : kStateIdle;
    m_nProgressState = 0;
    UpdateStatePane();
    g_StopWatch.Stop();
    // Last: its release may start a setup that waited for the link.
    g_LinkLease.Release(LeaseHolder::Operation);

    StepResult step = ToStepResult(result);
    step.kind = KindUnderLinkWatch(step.kind, linkLost);
    m_bCompletionLinkLost = linkLost;
    switch (result.operation) {
    case PumpOperation::Read:
        if (stateLost && step.kind == StepKind::Done) {
            MessageBox("Receiving Error #2");
            step.kind = StepKind::Failed;
        }
        OnReadDone(step);
        break;
    case PumpOperation::Erase:
        OnEraseDone(step);
        break;
    default:
        m_pControl->OnResult(step);
        break;
    }
    m_bCompletionLinkLost = false;
}

// ---- The exchange helper ----

bool CTonrigView::RunExchange(
    std::function<void(ExchangeLink&, std::stop_token)> work, std::function<void(bool linkLost)> done)
{
    if (m_bShutDown || !work)
        return false;
    if (!m_pPumpPort->HasChannel()) {
        Log("The command channel is not connected.\r\n", kLogError);
        return false;
    }
    if (m_bExchangeRunning || m_pPump->Running()) {
        Log(platform::Format("Exchange: the programmer is busy with %s.\r\n", LeaseHolderName(LeaseHolder::Operation)),
            kLogNote);
        return false;
    }
    if (!CheckLinkFree("Exchange"))
        return false;
    if (!g_LinkLease.Take(LeaseHolder::Operation)) {
        // Taken between the check and here: the log names who has it.
        CheckLinkFree("Exchange");
        return false;
    }
    auto link = std::make_shared<ViewExchangeLink>(m_pPumpPort->Channel(), m_pPumpPort->Voltages(), g_CurrentDevice);
    m_pSetup->Channel().BeginOperation();
    m_bExchangeRunning = true;
    QPointer<CTonrigView> self(this);
    auto finish = std::make_shared<std::function<void(bool)>>(std::move(done));
    const bool started
        = StartWorker(WorkerSlot::Pump, [self, link, work = std::move(work), finish](std::stop_token stop) {
              work(*link, stop);
              platform::post([self, finish] {
                  if (!self || self->m_bShutDown)
                      return;
                  self->StopWorker(WorkerSlot::Pump);
                  self->m_bExchangeRunning = false;
                  self->MarkCompletionStart();
                  const bool lost = FinishedOperationState() == kStateDisconnected;
                  g_nOperationState = lost ? kStateDisconnected : kStateIdle;
                  self->UpdateStatePane();
                  g_LinkLease.Release(LeaseHolder::Operation);
                  if (*finish)
                      (*finish)(lost);
              });
          });
    if (!started) {
        m_bExchangeRunning = false;
        g_LinkLease.Release(LeaseHolder::Operation);
        Log("Exchange: the previous exchange has not ended yet.\r\n", kLogNote);
        return false;
    }
    return true;
}

// ---- The ID-check step (the lock step is LockDeviceStep) ----

void CTonrigView::RunIdCheckStep()
{
    const CDeviceClass& device = g_CurrentDevice;
    const int length = SignatureLength(device);
    const bool word = UsesIdWord(g_nCurrentClass);
    const std::string id = device.m_strId;
    const std::uint16_t mask = device.m_pPicConfig ? device.m_pPicConfig->m_nIdMask : 0;
    StepResult result;
    result.operation = StepOperation::IdCheck;
    if (CompareChipId({}, length, id, word, mask) == IdCheckVerdict::Skipped) {
        Log(IdCheckLine(IdCheckVerdict::Skipped), log_colours::kInfo);
        result.kind = StepKind::Done;
        m_pControl->OnResult(result);
        return;
    }
    const bool started
        = RunExchangeFor<ExchangeResult>([](ExchangeLink& link, std::stop_token) { return RunSignatureExchange(link); },
            [this, length, word, id, mask, result](ExchangeResult exchange, bool linkLost) mutable {
                if (linkLost)
                    exchange.kind = StepKind::LinkLost;
                const IdCheckStep step = DecideIdCheck(exchange, length, id, word, mask);
                const bool good = step.verdict == IdCheckVerdict::Match || step.verdict == IdCheckVerdict::Skipped;
                if (!step.line.empty())
                    Log(step.line, good ? log_colours::kSuccess : log_colours::kError);
                result.kind = step.kind;
                if (step.ask)
                    result.kind = AskIdCheckContinue() ? StepKind::Done : StepKind::Failed;
                m_pControl->OnResult(result);
            });
    if (!started)
        m_pControl->EndRun();
}

// ---- Messages ----

void CTonrigView::OnDeviceDetected(int classIndex)
{
    if (!IsDetectableClass(classIndex))
        return;
    g_nOperationState = kStateIdle;
    UpdateStatePane();
    MessageBox(DeviceDetectedText(g_DeviceClassTable[static_cast<std::size_t>(classIndex)].m_strName),
        kDeviceDetectedCaption, MB_OK);
    StartDeviceSetup(classIndex, 1, 1, 1);
}
