#pragma once
// Device setup: brings the programmer up for the selected device class on a worker of its own,
// while the window stays live. It loads the class file or the class's firmware image, brings the
// programmer's CPLD to the class's configuration, picks the algorithm with P_DEVICE, then applies
// the device's switch bytes and resets what the view shows for it.
//
// Requests are values: the class index and flags, a copy of the current device, the programmer's
// model and version text, taken on the GUI thread. One setup runs at a time; while the link lease
// is held by anyone, the latest request waits in one slot and starts when the lease is free.
//
// Everything that touches a widget, a log, the settings or g_CurrentDevice runs on the GUI thread
// (through platform::send from the worker); link traffic runs on the worker.

#include "catalogue/DeviceClass.h"
#include "operations/SetupTable.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>

class CommandChannel;

// 0 while a setup runs; scripts wait for 1 before their next line.
extern std::atomic<int> g_bSetupIdle;

// Field ids of the view's status panes.
constexpr int kFieldDevice = 131;
constexpr int kFieldStatus = 132;

struct SetupRequest {
    int classIndex = kNoDeviceClass;
    std::uint8_t mode = 1;
    std::uint8_t probe = 1;
    std::uint8_t reload = 1;
    CDeviceClass device; // the current device when the request was made
    int model = 5;
    std::string version; // the programmer's version text, "ZV-C Re-2.00"
    int operationState = 1; // 0: no programmer, no link traffic
    bool classChanged = false; // filled when the setup starts
};

enum class FirmwareLoad { Loaded, NoProgrammer, Failed };

// The view's side, called on the GUI thread.
class ISetupView {
public:
    virtual ~ISetupView() = default;
    virtual void Log(const std::string& text) = 0;
    virtual void SetField(int id, const std::string& text) = 0;
    virtual void ProgressStart(const std::string& caption, int range) = 0;
    virtual void ProgressHide() = 0;
    virtual void ClearGridLoaded() = 0;
    // The current device's description file; empty, or the line (already logged) that says why
    // the device is not set up.
    virtual std::string LoadDeviceFile() = 0;
    virtual void FillGrid() = 0;
    // Code and data buffers to these sizes, filled with 0xFF (a PIC's words within its core
    // width, and buffer 3 its class's configuration words).
    virtual void ResetBuffers(int codeSize, int dataSize) = 0;
    virtual void SetSocketPicture(const CDeviceClass& device) = 0;
    virtual void SetJumperPicture(const CDeviceClass& device) = 0;
    virtual void SaveLastDevice(const std::string& name) = 0;
};

// The programmer's side, called on the setup worker.
class ISetupHardware {
public:
    virtual ~ISetupHardware() = default;
    // A packet and its reply; the count read.
    virtual int Exchange(const std::uint8_t* packet, int length, std::uint8_t* reply, int size) = 0;
    virtual FirmwareLoad LoadFirmware(int number) = 0;
    virtual bool LoadClassFile(const std::string& path) = 0;
    // The pin-driver state: resend every control byte next time; apply a device's switch bytes.
    virtual void InvalidateSentCache() = 0;
    virtual void ApplySwitches(const CDeviceClass& device) = 0;
    // The header pane's speed level (1-5), which a CPLD update changes.
    virtual int SpeedLevel() = 0;
    virtual void SetSpeedLevel(int level) = 0;
};

// Brings the programmer's CPLD to a configuration when its USERCODE differs from the expected one.
class IProgrammerConfigUpdater {
public:
    virtual ~IProgrammerConfigUpdater() = default;
    virtual void UpdateProgrammerConfig(int configuration, bool forced, const std::string& expectedUserCode) = 0;
};

// The class file path for a name: <appdata>/ClassFiles/<name>.cls when it exists, else the
// program folder's; empty for anything but a bare name.
std::string ClassFilePath(const std::string& name);

class DeviceSetup {
public:
    // Without an updater the configuration steps send nothing.
    DeviceSetup(CommandChannel& channel, ISetupView& view, ISetupHardware& hardware,
        IProgrammerConfigUpdater* updater = nullptr);
    ~DeviceSetup();
    DeviceSetup(const DeviceSetup&) = delete;
    DeviceSetup& operator=(const DeviceSetup&) = delete;

    // GUI thread. A request from the globals: g_CurrentDevice, g_nProgrammerModel,
    // g_nOperationState, and the version text given.
    void Start(int classIndex, std::uint8_t mode, std::uint8_t probe, std::uint8_t reload, std::string version);
    void Start(SetupRequest request);

    // GUI thread. True while a setup runs or waits.
    bool Busy() const;
    bool Running() const { return m_running; }
    bool HasPending() const { return m_pending.has_value(); }
    // Runs once the setup now running or waiting has ended (at once when none is).
    void WhenDone(std::function<void()> callback);

    // The window closes: stops the worker, waits for it, and leaves idle 1 and the lease free.
    void Shutdown();

    // Runs the worker on a thread slot of the owner's instead of a thread of its own: `start`
    // starts the work on the slot (false when it could not), `stop` requests a stop and joins.
    struct WorkerSlot {
        std::function<bool(std::function<void(std::stop_token)>)> start;
        std::function<void()> stop;
    };
    void UseWorkerSlot(WorkerSlot slot) { m_slot = std::move(slot); }

    // For the configuration update on the worker: a box that waits for OK (false when it could
    // not be shown), and the worker's stop.
    bool ShowBox(const std::string& text) { return Box(text); }
    std::stop_token WorkerStop() const { return m_stop; }

    // Why the device cannot be used (the box a setup ended with); empty when it is ready.
    std::string NotReadyReason() const;

    // The setup itself, on the worker (public for tests that drive it on their own thread).
    // False when it ended early.
    bool SetupDevice(SetupRequest& request, std::stop_token stop);

private:
    enum class End { Done, Ended };
    struct Alive {
        std::atomic<bool> alive { true };
    };

    void StartNow(SetupRequest request);
    void StartPending();
    void Finish();
    void JoinWorker(bool stop);
    bool Gui(const std::function<void()>& fn);
    void Log(const std::string& text);
    // A box without caption (or with the language text `captionText`); false when it could not be
    // shown (the window is closing).
    bool Box(const std::string& text, int captionText = -1);
    bool EndWith(const std::string& text, bool showBox, int captionText = -1);
    bool Sleep(int milliseconds, const std::stop_token& stop);
    void RunConfiguration(const SetupRequest& request, int configuration);
    bool SendPacket(std::initializer_list<std::uint8_t> bytes);
    bool AckAndRead(std::uint8_t value);
    bool Tail(SetupRequest& request, std::stop_token stop);

    CommandChannel& m_channel;
    ISetupView& m_view;
    ISetupHardware& m_hardware;
    IProgrammerConfigUpdater* m_updater;

    WorkerSlot m_slot;
    std::jthread m_thread; // without a slot
    std::stop_token m_stop; // the worker's, for its waits on the GUI thread
    bool m_running = false;
    std::optional<SetupRequest> m_pending;
    std::function<void()> m_whenDone;
    std::shared_ptr<Alive> m_alive = std::make_shared<Alive>();

    mutable std::mutex m_mutex; // m_notReady, m_lastPinPattern, m_refused
    std::string m_notReady;
    std::optional<std::string> m_lastPinPattern;
    // The device whose description file refused it, and the line: a setup that reads no file
    // (after a replug) refuses it again.
    struct Refused {
        int classIndex = kNoDeviceClass;
        std::string name;
        std::string line;
    };
    Refused m_refused;
};
