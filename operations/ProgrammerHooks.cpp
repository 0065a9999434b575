#include "operations/ProgrammerHooks.h"

#include "link/EzUsbFailOver.h"
#include "link/MonitorSink.h"
#include "link/ProgrammerIdentity.h"
#include "link/ProgrammerLink.h"

#include <mutex>
#include <optional>

namespace {

std::mutex g_hooksMutex;
std::optional<ProgrammerHooks> g_hooks;

// The connection monitor with the view as its sink.
class ViewLinkMonitor final : public LinkMonitor {
public:
    ViewLinkMonitor(platform::WindowHandle view, std::function<void()> showSplash)
        : m_sink([view](UINT message, WPARAM wParam, LPARAM lParam) { view.PostMessage(message, wParam, lParam); },
            std::move(showSplash))
        , m_monitor(m_sink)
    {
    }
    ~ViewLinkMonitor() override { m_monitor.Stop(); }

    bool Start() override { return m_monitor.Start(); }
    void StartTimer() override { m_monitor.StartTimer(); }
    void StopTimer() override { m_monitor.StopTimer(); }
    void Stop() override { m_monitor.Stop(); }
    bool IsConnected() const override { return CEZ_USB_Fail_Over::IsConnected(); }

private:
    CallbackMonitorSink m_sink;
    CEZ_USB_Fail_Over m_monitor; // after the sink it reports to
};

IdentifyOutcome FromIdentity(ProgrammerIdentity identity)
{
    IdentifyOutcome outcome;
    outcome.ok = identity.ok;
    outcome.reason = std::move(identity.failure);
    outcome.version = std::move(identity.version);
    outcome.model = identity.model;
    outcome.serial = std::move(identity.serial);
    outcome.history = std::move(identity.history);
    for (std::string& line : identity.log) {
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        outcome.log.push_back(std::move(line));
    }
    return outcome;
}

// The program's own hooks: the connection monitor on the programmer link, the link's presence
// check and the identification routine.
ProgrammerHooks DefaultHooks()
{
    ProgrammerHooks hooks;
    hooks.makeMonitor
        = [](platform::WindowHandle view, std::function<void()> showSplash) -> std::unique_ptr<LinkMonitor> {
        // A new monitor starts from "not connected": its first tick reports the programmer.
        g_bUsbConnected = 0;
        return std::make_unique<ViewLinkMonitor>(std::move(view), std::move(showSplash));
    };
    hooks.probePresence = [] { return g_ProgrammerLink.Open(); };
    hooks.identify = [](std::stop_token stop) { return FromIdentity(IdentifyProgrammer(g_ProgrammerLink, stop)); };
    return hooks;
}

} // namespace

ProgrammerHooks CurrentProgrammerHooks()
{
    std::lock_guard lock(g_hooksMutex);
    return g_hooks ? *g_hooks : DefaultHooks();
}

void SetProgrammerHooks(ProgrammerHooks hooks)
{
    std::lock_guard lock(g_hooksMutex);
    g_hooks = std::move(hooks);
}

ScopedProgrammerHooks::ScopedProgrammerHooks(ProgrammerHooks hooks)
{
    std::lock_guard lock(g_hooksMutex);
    m_hadPrevious = g_hooks.has_value();
    if (m_hadPrevious)
        m_previous = *g_hooks;
    g_hooks = std::move(hooks);
}

ScopedProgrammerHooks::~ScopedProgrammerHooks()
{
    std::lock_guard lock(g_hooksMutex);
    if (m_hadPrevious)
        g_hooks = std::move(m_previous);
    else
        g_hooks.reset();
}
