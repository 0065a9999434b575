#pragma once
// Starting processes, always with an argument list (never one command string), and opening a
// URL or folder with the desktop through an injectable opener, so tests launch nothing.

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// The full path of a program found on PATH, or empty.
std::string FindProgram(const std::string& name);

// Starts a program detached. False when it could not be started.
bool StartDetached(
    const std::string& program, const std::vector<std::string>& args, const std::string& workingDir = {});

struct ProcessResult {
    bool started = false;
    bool finished = false; // false: still running at the time-out, and killed
    int exitCode = -1;
    std::string output; // standard output and error, merged
};
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args, int timeoutMs = 30000,
    const std::string& workingDir = {});

// A process run on the calling thread's event loop: the thread never waits for it. `done` runs
// there once, with the result, when it ends or could not start; a time-out on the platform clock
// (Clock::Schedule, its call posted to this thread) kills it and reports finished = false.
// Kill() ends it at once and drops its result: `done` never runs after it. Destroying the handle
// kills the process the same way.
class AsyncProcess {
public:
    using Done = std::function<void(const ProcessResult&)>;
    static std::shared_ptr<AsyncProcess> Start(const std::string& program, const std::vector<std::string>& args,
        const std::string& workingDir, std::chrono::milliseconds timeout, Done done);
    virtual ~AsyncProcess() = default;
    virtual void Kill() = 0;
    virtual bool Running() const = 0;
};

// Opens a URL or a local path with the desktop. Answers false with a reason when nothing can.
struct OpenResult {
    bool ok = false;
    std::string reason;
};
using DesktopOpener = std::function<OpenResult(const std::string& urlOrPath)>;
void SetDesktopOpener(DesktopOpener opener);
OpenResult OpenWithDesktop(const std::string& urlOrPath);

} // namespace platform
