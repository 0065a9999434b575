#pragma once
// The operating system the program runs on: the kernel release and machine from uname(), the
// distribution's name from os-release, and the architecture the program was built for. One probe
// answers for the whole program; tests install their own.

#include <functional>
#include <string>
#include <string_view>

namespace platform {

struct KernelVersion {
    unsigned long major = 0;
    unsigned long minor = 0;
    unsigned long patch = 0;

    friend bool operator==(const KernelVersion&, const KernelVersion&) = default;
};

// The first three numbers of a kernel release ("6.1.0-13-amd64" 6.1.0, "5.15" 5.15.0); a release
// that does not begin with a number is 0.0.0.
KernelVersion ParseKernelRelease(std::string_view release);

// PRETTY_NAME of an os-release text (KEY=value lines, the value plain or quoted with " or '),
// its quotes and backslash escapes undone and control characters dropped; empty when there is
// none.
std::string OsReleasePrettyName(std::string_view osRelease);

struct OsFacts {
    bool ok = false; // false only when uname() failed
    std::string kernelRelease; // uname's release, as given
    KernelVersion kernel;
    std::string machine; // uname's machine: "x86_64", "aarch64", "i686"...
    std::string prettyName; // from /etc/os-release, else /usr/lib/os-release; may be empty
    std::string buildArchitecture; // the program's own: QSysInfo::buildCpuArchitecture()
};

// This system's facts.
OsFacts ReadOsFacts();

// The probe the program asks; ReadOsFacts unless a test installed another (an empty function
// puts ReadOsFacts back). Any thread.
using OsVersionProbe = std::function<OsFacts()>;
OsFacts ProbeOsVersion();
void SetOsVersionProbe(OsVersionProbe probe);

// Installs a probe for a scope, then puts back the one before.
class ScopedOsVersionProbe {
public:
    explicit ScopedOsVersionProbe(OsVersionProbe probe);
    ~ScopedOsVersionProbe();
    ScopedOsVersionProbe(const ScopedOsVersionProbe&) = delete;
    ScopedOsVersionProbe& operator=(const ScopedOsVersionProbe&) = delete;

private:
    OsVersionProbe m_previous;
};

} // namespace platform
