#include "operations/ProgrammerHooks.h"

#include "link/ProgrammerLink.h"

#include <mutex>
#include <optional>

namespace {

std::mutex g_hooksMutex;
std::optional<ProgrammerHooks> g_hooks;

// The program's own hooks. Presence is the link's own check. The connection monitor and the
// identification routine are wired in here; until they are, there is no monitor (so the view
// never asks for presence) and an identification says it is not available.
ProgrammerHooks DefaultHooks()
{
    ProgrammerHooks hooks;
    hooks.makeMonitor = [](platform::WindowHandle, std::function<void()>) { return std::unique_ptr<LinkMonitor>(); };
    hooks.probePresence = [] { return g_ProgrammerLink.Open(); };
    hooks.identify = [](std::stop_token) {
        IdentifyOutcome outcome;
        outcome.reason = "The programmer identification is not available yet.";
        return outcome;
    };
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
