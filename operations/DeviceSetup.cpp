#include "operations/DeviceSetup.h"

#include "link/LinkLease.h"
#include "link/ProgrammerCommand.h"
#include "link/ProgrammerModel.h"
#include "operations/ChipBits.h"
#include "operations/CommandChannel.h"
#include "operations/OperationState.h"
#include "platform/Clock.h"
#include "platform/Folders.h"
#include "platform/GuiThread.h"
#include "platform/MessageBox.h"
#include "platform/TextFormat.h"
#include "platform/Trace.h"
#include "shell/Language.h"

#include <QCoreApplication>

#include <array>
#include <chrono>
#include <condition_variable>

std::atomic<int> g_bSetupIdle { 1 };

namespace {

constexpr int kTextReady = 51;
constexpr int kTextInitFailed = 52;
constexpr int kTextChecking = 204;
constexpr const char* kDipSwitchText = "DIP switch setting need to update.";

// The pins a PIC package puts in the socket; 0 for a package the programmer cannot take.
int PicPackagePins(const std::string& package)
{
    if (package == "PIC12F50X" || package == "DIP8")
        return 8;
    if (package == "DIP14")
        return 14;
    if (package == "DIP18" || package == "DIP20")
        return 18;
    if (package == "DIP28")
        return 28;
    if (package == "DIP40")
        return 40;
    return 0;
}

// A language text; the built-in one while no table is loaded.
std::string Text(int number)
{
    return g_Language.GetTextOrDefault(number);
}

bool IsBareName(const std::string& name)
{
    return !name.empty() && name.find('/') == std::string::npos && name.find('\\') == std::string::npos
        && name.find("..") == std::string::npos;
}

} // namespace

std::string ClassFilePath(const std::string& name)
{
    if (!IsBareName(name))
        return {};
    const std::string user = GetAppDataFolder() + "/ClassFiles/" + name + ".cls";
    if (FileExists(user))
        return user;
    return platform::ProgramFolder() + "/ClassFiles/" + name + ".cls";
}

DeviceSetup::DeviceSetup(
    CommandChannel& channel, ISetupView& view, ISetupHardware& hardware, IProgrammerConfigUpdater* updater)
    : m_channel(channel)
    , m_view(view)
    , m_hardware(hardware)
    , m_updater(updater)
{
}

DeviceSetup::~DeviceSetup()
{
    Shutdown();
    m_alive->alive = false;
}

void DeviceSetup::Start(int classIndex, std::uint8_t mode, std::uint8_t probe, std::uint8_t reload, std::string version)
{
    SetupRequest request;
    request.classIndex = classIndex;
    request.mode = mode;
    request.probe = probe;
    request.reload = reload;
    request.device = g_CurrentDevice;
    request.model = g_nProgrammerModel.load();
    request.version = std::move(version);
    request.operationState = g_nOperationState;
    Start(std::move(request));
}

void DeviceSetup::Start(SetupRequest request)
{
    // Refused before anything reads a table by this index.
    if (request.classIndex < 0 || request.classIndex > kLastPicClass) {
        Trace("Device setup: class %d refused\n", request.classIndex);
        MessageBox(SetupBoxText(SetupBox::NotSupportedYet), "");
        return;
    }
    if (m_running || g_LinkLease.IsHeld()) {
        // A script that asked for this device waits for it, not just for the link.
        g_bSetupIdle = 0;
        m_pending = std::move(request);
        g_LinkLease.WhenFree([weak = std::weak_ptr<Alive>(m_alive), this] {
            if (auto alive = weak.lock(); alive && alive->alive)
                StartPending();
        });
        return;
    }
    StartNow(std::move(request));
}

void DeviceSetup::StartPending()
{
    if (!m_pending || m_running)
        return;
    SetupRequest request = std::move(*m_pending);
    m_pending.reset();
    // The device and programmer may have changed while it waited: the request keeps what the
    // user asked for, the rest is taken now.
    request.model = g_nProgrammerModel.load();
    request.operationState = g_nOperationState;
    if (g_LinkLease.IsHeld()) {
        Start(std::move(request));
        return;
    }
    StartNow(std::move(request));
}

void DeviceSetup::StartNow(SetupRequest request)
{
    if (!g_LinkLease.Take(LeaseHolder::Setup)) {
        Start(std::move(request));
        return;
    }
    JoinWorker(false);
    m_running = true;
    g_bSetupIdle = 0;
    request.classChanged = request.classIndex != g_nCurrentClass;
    g_nCurrentClass = request.classIndex;
    const std::string checking = Text(kTextChecking);
    m_view.SetField(kFieldStatus, checking);
    m_view.ProgressStart(checking, 5);

    auto work = [this, request = std::move(request)](std::stop_token stop) mutable {
        SetupDevice(request, stop);
        std::weak_ptr<Alive> weak = m_alive;
        platform::post([weak, this] {
            if (auto alive = weak.lock(); alive && alive->alive)
                Finish();
        });
    };
    if (!m_slot.start) {
        m_thread = std::jthread(std::move(work));
        return;
    }
    if (!m_slot.start(std::move(work))) {
        Trace("Device setup: the setup slot is busy\n");
        m_running = false;
        g_bSetupIdle = 1;
        m_view.ProgressHide();
        g_LinkLease.Release(LeaseHolder::Setup);
    }
}

void DeviceSetup::JoinWorker(bool stop)
{
    if (m_slot.stop) {
        if (m_running || stop)
            m_slot.stop();
        return;
    }
    if (!m_thread.joinable())
        return;
    if (m_thread.get_id() == std::this_thread::get_id()) {
        m_thread.detach();
        return;
    }
    if (stop)
        m_thread.request_stop();
    m_thread.join();
}

void DeviceSetup::Finish()
{
    if (!m_running)
        return;
    JoinWorker(false);
    m_running = false;
    m_view.ProgressHide();
    const std::string notReady = NotReadyReason();
    m_view.SetField(kFieldStatus, notReady.empty() ? Text(kTextReady) : notReady);
    // A request that waited starts from here.
    g_LinkLease.Release(LeaseHolder::Setup);
    // Idle only with nothing left to set up: a script must not slip in between two setups.
    if (!Busy())
        g_bSetupIdle = 1;
    if (!Busy() && m_whenDone) {
        auto callback = std::move(m_whenDone);
        m_whenDone = nullptr;
        callback();
    }
}

bool DeviceSetup::Busy() const
{
    return m_running || m_pending.has_value();
}

void DeviceSetup::WhenDone(std::function<void()> callback)
{
    if (!Busy()) {
        if (callback)
            callback();
        return;
    }
    m_whenDone = std::move(callback);
}

void DeviceSetup::Shutdown()
{
    if (m_pending && !m_running)
        g_bSetupIdle = 1;
    m_pending.reset();
    m_whenDone = nullptr;
    // A worker waiting for the GUI thread (a box, a widget update) gives up the wait.
    JoinWorker(true);
    if (m_running) {
        m_running = false;
        g_bSetupIdle = 1;
        g_LinkLease.Release(LeaseHolder::Setup);
    }
}

std::string DeviceSetup::NotReadyReason() const
{
    std::lock_guard lock(m_mutex);
    return m_notReady;
}

bool DeviceSetup::Gui(const std::function<void()>& fn)
{
    if (!QCoreApplication::instance() || platform::IsGuiThread()) {
        fn();
        return true;
    }
    if (platform::IsShuttingDown() || m_stop.stop_requested())
        return false;
    // As platform::send, but a stop of the setup also ends the wait: the GUI thread that stops
    // it waits for this worker and serves no call meanwhile.
    struct Call {
        std::mutex mutex;
        std::condition_variable_any done;
        enum { Pending, Running, Done, Abandoned } state = Pending;
    };
    auto call = std::make_shared<Call>();
    const bool queued = platform::post([call, &fn] {
        {
            std::lock_guard lock(call->mutex);
            if (call->state != Call::Pending)
                return;
            call->state = Call::Running;
        }
        fn();
        {
            std::lock_guard lock(call->mutex);
            call->state = Call::Done;
        }
        call->done.notify_all();
    });
    if (!queued)
        return false;
    std::unique_lock lock(call->mutex);
    call->done.wait(lock, m_stop, [&] { return call->state == Call::Done; });
    if (call->state == Call::Done)
        return true;
    if (call->state == Call::Pending) {
        call->state = Call::Abandoned;
        return false;
    }
    // Already running on the GUI thread: it uses our stack, so wait for it to finish.
    call->done.wait(lock, [&] { return call->state == Call::Done; });
    return true;
}

void DeviceSetup::Log(const std::string& text)
{
    Gui([&] { m_view.Log(text); });
}

bool DeviceSetup::Box(const std::string& text, int captionText)
{
    return Gui([&] {
        const std::string caption = captionText >= 0 ? Text(captionText) : std::string();
        MessageBox(text, caption, MB_OK);
    });
}

bool DeviceSetup::EndWith(const std::string& text, bool showBox, int captionText)
{
    {
        std::lock_guard lock(m_mutex);
        m_notReady = text;
    }
    Trace("Device setup ended: %s\n", text.c_str());
    if (showBox)
        Box(text, captionText);
    return false;
}

bool DeviceSetup::Sleep(int milliseconds, const std::stop_token& stop)
{
    return platform::GetClock().SleepFor(std::chrono::milliseconds(milliseconds), stop);
}

void DeviceSetup::RunConfiguration(const SetupRequest& request, int configuration)
{
    const CDeviceClass& device = request.device;
    const std::string& expected = request.model == kModelZvD && !device.m_strFirmwareIdQ8U.empty()
        ? device.m_strFirmwareIdQ8U
        : device.m_strFirmwareId;
    if (!m_updater) {
        Trace("Device setup: CPLD configuration %d skipped (no updater)\n", configuration);
        return;
    }
    // The update runs the JTAG player at speed level 1; the user's level comes back after it.
    const int level = m_hardware.SpeedLevel();
    m_updater->UpdateProgrammerConfig(configuration, false, expected);
    m_hardware.SetSpeedLevel(level);
}

bool DeviceSetup::SendPacket(std::initializer_list<std::uint8_t> bytes)
{
    return m_channel.SendCommand(bytes.begin(), static_cast<int>(bytes.size()));
}

bool DeviceSetup::AckAndRead(std::uint8_t value)
{
    const bool sent = SendPacket({ P_ACK, value });
    std::uint8_t reply[1] = {};
    return sent && m_channel.ReadResponse(reply, 1) == 1;
}

bool DeviceSetup::SetupDevice(SetupRequest& request, std::stop_token stop)
{
    const int index = request.classIndex;
    CDeviceClass& device = request.device;
    const bool live = request.operationState != kStateDisconnected;
    m_stop = stop;
    {
        std::lock_guard lock(m_mutex);
        m_notReady.clear();
    }

    m_channel.BeginOperation();
    m_hardware.InvalidateSentCache();
    if (request.classChanged && !device.m_pPicConfig)
        Gui([&] { m_view.ClearGridLoaded(); });
    const std::string deviceText = platform::Format("Device: %s", device.m_strName.c_str());
    Gui([&] {
        m_view.Log(deviceText + "\r\n");
        m_view.SetField(kFieldDevice, deviceText);
    });
    if (stop.stop_requested())
        return EndWith("stopped", false);

    // Firmware-id probe: an image that left the algorithm half set up is told to start afresh.
    if (live && device.m_strPlatform != "ZV-D" && request.probe == 1) {
        const std::uint8_t get[1] = { P_FIRMWARE_ID_GET };
        std::array<std::uint8_t, 64> reply {};
        if (m_hardware.Exchange(get, 1, reply.data(), 64) >= 2) {
            const int id = reply[0] << 8 | reply[1];
            if (id == 0xDC)
                SendPacket({ P_SETUP });
        }
    }

    bool imageLoaded = false;
    if (live && !device.m_strClassFile.empty()) {
        const std::string path = ClassFilePath(device.m_strClassFile);
        if (path.empty())
            Trace("Device setup: class file name \"%s\" refused\n", device.m_strClassFile.c_str());
        else
            imageLoaded = m_hardware.LoadClassFile(path);
    }
    // The base image would replace a class file that just loaded; it never counts as the class's.
    if (live && !imageLoaded) {
        m_hardware.LoadFirmware(kBaseFirmware);
        if (!Sleep(100, stop))
            return EndWith("stopped", false);
    }
    if (stop.stop_requested())
        return EndWith("stopped", false);

    const SetupRow& row = SetupRowFor(index);
    const auto boxText = [&](SetupBox box) {
        const int caption = SetupBoxCaptionText(box);
        return caption >= 0 ? platform::Format(SetupBoxText(box), device.m_strName.c_str())
                            : std::string(SetupBoxText(box));
    };
    if (row.Has(kExtraRowBox))
        return EndWith(boxText(row.rowBox), true, SetupBoxCaptionText(row.rowBox));

    const int model = request.model;
    const int subCode = SetupSubCode(row, index);
    if (live) {
        if (!imageLoaded) {
            SetupCell cell = row.ForModel(model);
            if (row.Has(kExtraByRevision) && model != kModelZvCQ && model != kModelZvD) {
                cell.firmware = static_cast<std::int16_t>(FirmwareByRevision(request.version.c_str(), model));
                if (cell.firmware == 0)
                    return EndWith(
                        boxText(SetupBox::UpdateSoftware), true, SetupBoxCaptionText(SetupBox::UpdateSoftware));
            }
            if (cell.configuration)
                RunConfiguration(request, cell.configuration);
            // The base image keeps running: its JTAG packets are to reach the socket's chain.
            if (row.Has(kExtraJtagSocket) && model == kModelZvD && cell.firmware == 0)
                SendPacket({ P_JTAG_IO, 5, 1 });
            if (cell.box != SetupBox::None) {
                if (cell.box != SetupBox::LoadFirmwareNow)
                    return EndWith(boxText(cell.box), true, SetupBoxCaptionText(cell.box));
                if (!Box(boxText(cell.box)))
                    return EndWith("stopped", false);
            }
            if (cell.firmware) {
                const FirmwareLoad load = m_hardware.LoadFirmware(cell.firmware);
                if (load != FirmwareLoad::Loaded) {
                    Trace("Device setup: firmware %d did not load\n", cell.firmware);
                    return EndWith(Text(kTextInitFailed), !stop.stop_requested());
                }
                imageLoaded = true;
            }
        }
        if (stop.stop_requested())
            return EndWith("stopped", false);

        if (subCode >= 0) {
            const auto sub = static_cast<std::uint8_t>(subCode);
            SendPacket({ P_DEVICE, sub });
            if (row.Has(kExtraTwice))
                SendPacket({ P_DEVICE, sub });
            if (row.Has(kExtraAck)) {
                if (!Sleep(50, stop))
                    return EndWith("stopped", false);
                AckAndRead(sub);
            }
        }
        // A serial EEPROM's bus address: the programmer forgets it at every boot.
        if (IsTwoWireEepromClass(index)) {
            const std::uint8_t address = TwoWireDeviceAddress(device.m_nDeviceAddress);
            const bool sent = SendPacket({ P_2051_Init_24C, address });
            std::uint8_t reply[1] = {};
            if (!sent || m_channel.ReadResponse(reply, 1) != 1 || reply[0] != 0)
                Trace("Device setup: the EEPROM address 0x%02x was not taken\n", address);
        }
        if (row.Has(kExtraBracket)) {
            AckAndRead(0x89);
            Gui([&] { m_view.SetJumperPicture(device); });
            SendPacket({ P_VCC, 1 });
            if (!Sleep(100, stop))
                return EndWith("stopped", false);
            RunConfiguration(request, kBracketConfiguration);
            AckAndRead(0x8A);
        }
        if (row.Has(kExtraPulseMode) && request.version.find("ZV-C") != std::string::npos)
            SendPacket({ P_2051_PulseMode, request.mode });
        if (row.Has(kExtraPortB) && model != kModelZvCQ && model != kModelZvD) {
            constexpr std::uint8_t kPortB = 5;
            std::array<std::uint8_t, 64> reply {};
            const std::uint8_t read[3] = { P_8051_PORT_READ, 0, kPortB };
            m_hardware.Exchange(read, 3, reply.data(), 64);
            SendPacket({ P_8051_PORT_WRITE, 0, kPortB, 0x2D });
            m_hardware.Exchange(read, 3, reply.data(), 64);
        }
        if (row.Has(kExtraPic)) {
            const int bits = device.m_pPicConfig ? device.m_pPicConfig->m_nCoreBits : 0;
            if (bits != 12 && bits != 14 && bits != 16)
                return EndWith(SetupBoxText(SetupBox::CoreWordLength), true);
            SendPacket({ P_CORE_WORD_LENGTH, static_cast<std::uint8_t>(bits) });
            const int pins = PicPackagePins(device.m_strPackage);
            if (!pins)
                return EndWith(SetupBoxText(SetupBox::PackageNotSupported), true);
            SendPacket({ P_DEVICE_PACKAGE, static_cast<std::uint8_t>(pins) });
        }
    }

    // A 28-pin PIC of these classes needs the socket's pin 7 line in its pattern.
    if (index >= 321 && index <= 325 && device.m_strPackage == "DIP28" && device.m_strCpldDip.size() >= 7) {
        device.m_strCpldDip[6] = '1';
        Gui([&] {
            if (g_CurrentDevice.m_strName == device.m_strName && g_CurrentDevice.m_strCpldDip.size() >= 7)
                g_CurrentDevice.m_strCpldDip[6] = '1';
        });
    }
    if (stop.stop_requested())
        return EndWith("stopped", false);
    return Tail(request, stop);
}

bool DeviceSetup::Tail(SetupRequest& request, std::stop_token stop)
{
    const CDeviceClass& device = request.device;
    const bool live = request.operationState != kStateDisconnected;
    std::string refused;
    if (request.reload == 1) {
        const bool read = Gui([&] {
            refused = m_view.LoadDeviceFile();
            m_view.FillGrid();
            // The description file may have changed the device's sizes and configuration words:
            // what follows sends and sizes by them.
            if (refused.empty() && g_CurrentDevice.m_strName == request.device.m_strName)
                request.device = g_CurrentDevice;
        });
        std::lock_guard lock(m_mutex);
        if (read)
            m_refused = { request.classIndex, device.m_strName, refused };
    } else {
        std::lock_guard lock(m_mutex);
        if (m_refused.classIndex == request.classIndex && m_refused.name == device.m_strName)
            refused = m_refused.line;
    }
    // Without a description the device is not sized, switched or remembered; operations refuse
    // with the line until another setup.
    if (!refused.empty())
        return EndWith(refused, false);
    if (live && device.m_pPicConfig) {
        SendPacket({ P_PIC_INFO, device.m_pPicConfig->m_nCoreBits,
            static_cast<std::uint8_t>(device.m_pPicConfig->m_nConfigBytes) });
    }
    if (request.classChanged)
        Gui([&] { m_view.ResetBuffers(device.m_nCodeSize, device.m_nDataSize); });
    if (live)
        m_hardware.ApplySwitches(device);
    if (stop.stop_requested())
        return EndWith("stopped", false);
    Gui([&] {
        m_view.SetSocketPicture(device);
        m_view.SetJumperPicture(device);
        m_view.SaveLastDevice(device.m_strName);
    });
    if (live && request.model == kModelZvA) {
        bool changed = false;
        {
            std::lock_guard lock(m_mutex);
            changed = m_lastPinPattern != device.m_strCpldDip;
            m_lastPinPattern = device.m_strCpldDip;
        }
        // The ZV-A's DIP switches are set by hand.
        if (changed)
            Box(kDipSwitchText);
    }
    return true;
}
