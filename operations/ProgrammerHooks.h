#pragma once
// How the main view reaches the programmer's link watch and identification. The view asks these
// hooks for the connection monitor, the start-up presence check and the identification routine,
// so it needs neither the link nor the monitor at compile time, and tests drive it with their own.

#include "link/BlackBox.h"
#include "platform/ui/MessageTarget.h"

#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <vector>

// The connection monitor as the view drives it.
class LinkMonitor {
public:
    virtual ~LinkMonitor() = default;
    // False when the monitor could not start.
    virtual bool Start() = 0;
    virtual void StartTimer() = 0;
    virtual void StopTimer() = 0;
    // Wakes every wait of the monitor and joins it.
    virtual void Stop() = 0;
    // The flag the monitor's probe keeps; reading it never touches the link.
    virtual bool IsConnected() const = 0;
};

// What one identification of the programmer found.
struct IdentifyOutcome {
    bool ok = false;
    std::string reason; // one English line for the log when not ok
    std::string version; // such as "ZV-CQ Re-2.00"
    int model = 5;
    std::string serial; // upper case
    CBlackBox history;
    std::vector<std::string> log; // lines about what was missing or unknown, for the message log
};

struct ProgrammerHooks {
    // The monitor for a view; it posts WM_PROGRAMMER_CHANGED and WM_USB_INIT to `view` and shows
    // the splash through `showSplash` (callable from any thread). Null: no monitor.
    std::function<std::unique_ptr<LinkMonitor>(platform::WindowHandle view, std::function<void()> showSplash)>
        makeMonitor;
    // Whether a programmer answers now; no identification.
    std::function<bool()> probePresence;
    // Blocking, on the view's identification worker; ends soon after a stop request.
    std::function<IdentifyOutcome(std::stop_token)> identify;
};

// The hooks in force: those set last, else the program's own.
ProgrammerHooks CurrentProgrammerHooks();
void SetProgrammerHooks(ProgrammerHooks hooks);

class ScopedProgrammerHooks {
public:
    explicit ScopedProgrammerHooks(ProgrammerHooks hooks);
    ~ScopedProgrammerHooks();
    ScopedProgrammerHooks(const ScopedProgrammerHooks&) = delete;
    ScopedProgrammerHooks& operator=(const ScopedProgrammerHooks&) = delete;

private:
    ProgrammerHooks m_previous;
    bool m_hadPrevious;
};
