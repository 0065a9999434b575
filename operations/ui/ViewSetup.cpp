#include "operations/ui/ViewSetup.h"

#include "operations/ui/ConfigGrid.h"

#include "operations/OperationPump.h"

#include "buffer/BufferLoader.h"
#include "catalogue/DeviceClass.h"
#include "jtag/JtagPort.h"
#include "link/CFGManager.h"
#include "operations/BufferDeviceParams.h"
#include "operations/ConfigWords.h"
#include "operations/DeviceSwitches.h"
#include "operations/HeaderModel.h"
#include "operations/LastSession.h"
#include "operations/OperationState.h"
#include "operations/ui/BufferCommands.h"
#include "operations/ui/TonrigView.h"
#include "operations/ui/View2Header.h"
#include "platform/GuiThread.h"
#include "platform/Trace.h"
#include "shell/RegistryKey.h"
#include "shell/ui/ProgressDlg.h"

#include <QPointer>
#include <QVariant>
#include <QWidget>

namespace {

// The program's port: the pin-driver state and the header pane behind the hooks.
std::unique_ptr<ISetupLinkPort> ProgramPort()
{
    auto port = std::make_unique<ProgrammerLinkPort>();
    port->invalidateSentCache = [] { g_CFGManager.InvalidateSentCache(); };
    port->applySwitches = [](const CDeviceClass& device) { ApplyDeviceSwitches(g_CFGManager, device); };
    port->speedLevel = [] { return g_pView2Header ? g_pView2Header->SpeedLevel() : HeaderModel::kDefaultSpeedLevel; };
    port->setSpeedLevel = [](int level) {
        if (g_pView2Header)
            g_pView2Header->SetSpeedLevel(level);
    };
    return port;
}

// The CPLD update's JTAG packets go the way of setup's own.
class SetupJtagPort final : public IJtagPort {
public:
    explicit SetupJtagPort(ISetupLinkPort& port)
        : m_port(port)
    {
    }
    bool Send(std::span<const std::uint8_t> bytes) override
    {
        return m_port.Send(bytes.data(), static_cast<int>(bytes.size()));
    }
    int Read(std::uint8_t* buffer, int size) override { return m_port.Read(buffer, size); }

private:
    ISetupLinkPort& m_port;
};

} // namespace

std::unique_ptr<ProgrammerConfigUpdate> CViewSetup::MakeUpdate()
{
    m_jtagPort = std::make_unique<SetupJtagPort>(*m_port);
    ProgrammerConfigUpdate::Hooks hooks;
    hooks.speedLevel = [this] { return m_port->SpeedLevel(); };
    hooks.setSpeedLevel = [this](int level) { m_port->SetSpeedLevel(level); };
    QPointer<CTonrigView> view(&m_view);
    hooks.log = [view](const std::string& text) {
        platform::post([view, text] {
            if (view)
                view->Log(text);
        });
    };
    hooks.progressStart = [view](int range) {
        platform::post([view, range] {
            if (view)
                view->ProgressDlg().Start(range);
        });
    };
    hooks.box = [this](const std::string& text) { m_setup.ShowBox(text); };
    hooks.stop = [this] { return m_setup.WorkerStop(); };
    hooks.port = m_jtagPort.get();
    return std::make_unique<ProgrammerConfigUpdate>(std::move(hooks));
}

CViewSetup::CViewSetup(CTonrigView& view, std::unique_ptr<ISetupLinkPort> port, IProgrammerConfigUpdater* updater)
    : m_view(view)
    , m_port(port ? std::move(port) : ProgramPort())
    , m_channel(*m_port)
    , m_update(updater ? nullptr : MakeUpdate())
    , m_setup(m_channel, *this, *m_port, updater ? updater : m_update.get())
{
    CommandChannel::Hooks hooks;
    hooks.applyVpp = [](std::uint8_t code) { g_CFGManager.SetVpp(code); };
    hooks.delayFactor = [] { return g_pView2Header ? g_pView2Header->DelayFactor() : 1; };
    // Cancel stays set whenever no pump runs, so only a running operation's cancel counts.
    hooks.cancelled = [] { return g_bPumpRunning && g_bCancelOperation != 0; };
    m_channel.SetHooks(std::move(hooks));
    // The setup runs on the view's setup slot, which the view's shut-down stops with the others.
    m_setup.UseWorkerSlot({ [&view](std::function<void(std::stop_token)> work) {
                               return view.StartWorker(WorkerSlot::Setup, std::move(work));
                           },
        [&view] { view.StopWorker(WorkerSlot::Setup); } });
    onSocketPicture = [](const CDeviceClass&) {
        if (g_pView2Header)
            g_pView2Header->Refresh();
    };
    onJumperPicture = [](const CDeviceClass&) {
        if (g_pView2Header)
            g_pView2Header->setJumperPicture(g_nCurrentClass);
    };
}

CViewSetup::~CViewSetup()
{
    Shutdown();
}

void CViewSetup::Shutdown()
{
    m_setup.Shutdown();
}

void CViewSetup::Start(int classIndex, std::uint8_t mode, std::uint8_t probe, std::uint8_t reload)
{
    m_setup.Start(classIndex, mode, probe, reload, m_view.m_strHardwareVersion);
}

void CViewSetup::LoadLastSession()
{
    LastSessionHost host;
    host.runLine = [this](const std::string& line, std::function<void(bool)> done) {
        // A programmer plugged in late finds the user's work in the buffers: it is kept.
        if (!m_view.BufferCommands().EditedBuffers().empty()) {
            m_view.Log(std::string(kLastSessionSkippedLine) + "\r\n", CTonrigView::kLogNote);
            if (done)
                done(false);
            return;
        }
        m_view.ExecuteScriptLine(line, CTonrigView::ScriptSource::LastSession, std::move(done));
    };
    ::LoadLastSession(host);
}

void CViewSetup::OnProgrammerIdentified()
{
    if (++m_identifications == 1)
        return;
    const std::string& name = g_CurrentDevice.m_strName;
    if (g_nCurrentClass == kNoDeviceClass || name.empty() || name == "All")
        return;
    Start(g_nCurrentClass, 1, 1, 0);
}

std::string CViewSetup::FieldText(int id) const
{
    const auto it = m_fields.find(id);
    return it == m_fields.end() ? std::string() : it->second;
}

void CViewSetup::Log(const std::string& text)
{
    m_view.Log(text);
}

void CViewSetup::SetField(int id, const std::string& text)
{
    m_fields[id] = text;
    if (auto* pane = m_view.findChild<QWidget*>(QString::number(id)))
        pane->setProperty("text", QString::fromStdString(text));
}

void CViewSetup::ProgressStart(const std::string& caption, int range)
{
    m_view.ProgressDlg().SetText(caption);
    m_view.ProgressDlg().Start(range);
}

void CViewSetup::ProgressHide()
{
    m_view.ProgressDlg().Show(false);
}

std::string CViewSetup::LoadDeviceFile()
{
    std::string refusal;
    m_bGridLoaded = m_view.LoadDeviceFile(&refusal);
    return refusal;
}

void CViewSetup::FillGrid()
{
    // The records already hold what LoadDeviceFile put into the bytes.
    m_view.ConfigGrid().FillGrid();
}

void CViewSetup::ResetBuffers(int codeSize, int dataSize)
{
    // Each buffer's size is the device's. What is blanked holds no edits any more (a person was
    // asked before the device was chosen).
    buffer::CBufferModel& buffers = m_view.Buffers();
    if (codeSize > 0) {
        m_view.m_CodeBuffer.assign(static_cast<std::size_t>(codeSize), 0xFF);
        buffers.SetModified(buffer::kMainBuffer, false);
    }
    m_view.m_DataBuffer.assign(static_cast<std::size_t>(std::max(0, dataSize)), 0xFF);
    buffers.SetModified(buffer::kDataBuffer, false);
    // A PIC's blank word holds only the core's bits, as the chip reads it, and buffer 3 shows
    // the new class's configuration words rather than the last device's.
    const buffer::CBufferDeviceParams device = CurrentBufferDeviceParams();
    if (device.pic && g_CurrentDevice.m_pPicConfig) {
        buffer::MaskBuffer(m_view.Buffers(), 0, device);
        buffer::MaskBuffer(m_view.Buffers(), 2, device);
        ShowConfigWords(*g_CurrentDevice.m_pPicConfig, m_view.m_ConfigWordBuffer);
    }
    // Whatever the new device, the last PIC's word is gone.
    buffers.SetModified(buffer::kConfigWord, false);
    m_view.BufferCommands().ForgetSavedState();
    m_view.BufferCommands().BuffersChanged();
    m_view.BufferCommands().UpdateModifiedTitle();
}

void CViewSetup::SetSocketPicture(const CDeviceClass& device)
{
    if (onSocketPicture)
        onSocketPicture(device);
}

void CViewSetup::SetJumperPicture(const CDeviceClass& device)
{
    if (onJumperPicture)
        onJumperPicture(device);
}

void CViewSetup::SaveLastDevice(const std::string& name)
{
    CRegistryKey key(HKEY_CURRENT_USER);
    if (!key.Open(HKEY_CURRENT_USER, kLastSessionKey)) {
        key.Create(HKEY_CURRENT_USER, kLastSessionKey);
        if (!key.Open(HKEY_CURRENT_USER, kLastSessionKey))
            return;
    }
    key.WriteString("LastDevice", name);
    key.Close();
}
