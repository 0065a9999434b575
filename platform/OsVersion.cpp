#include "platform/OsVersion.h"

#include <QFile>
#include <QSysInfo>

#include <sys/utsname.h>

#include <cctype>
#include <mutex>
#include <utility>

namespace platform {

namespace {

std::mutex g_probeMutex;
OsVersionProbe g_probe;

std::string ReadOsReleaseText()
{
    for (const char* path : { "/etc/os-release", "/usr/lib/os-release" }) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            return file.read(64 * 1024).toStdString();
    }
    return {};
}

} // namespace

KernelVersion ParseKernelRelease(std::string_view release)
{
    unsigned long numbers[3] = { 0, 0, 0 };
    std::size_t at = 0;
    for (int i = 0; i < 3; ++i) {
        if (at >= release.size() || !std::isdigit(static_cast<unsigned char>(release[at])))
            break;
        unsigned long value = 0;
        while (at < release.size() && std::isdigit(static_cast<unsigned char>(release[at]))) {
            const unsigned long digit = static_cast<unsigned long>(release[at] - '0');
            // A number too long for the type stays at its largest value.
            value = value > (~0UL - digit) / 10 ? ~0UL : value * 10 + digit;
            ++at;
        }
        numbers[i] = value;
        if (at >= release.size() || release[at] != '.')
            break;
        ++at;
    }
    return { numbers[0], numbers[1], numbers[2] };
}

std::string OsReleasePrettyName(std::string_view text)
{
    static constexpr std::string_view kName = "PRETTY_NAME=";
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.substr(0, kName.size()) != kName)
            continue;
        std::string_view value = line.substr(kName.size());
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        std::string plain;
        for (std::size_t i = 0; i < value.size(); ++i) {
            if (value[i] == '\\' && i + 1 < value.size())
                ++i;
            if (static_cast<unsigned char>(value[i]) >= 0x20)
                plain += value[i];
        }
        return plain;
    }
    return {};
}

OsFacts ReadOsFacts()
{
    OsFacts facts;
    facts.buildArchitecture = QSysInfo::buildCpuArchitecture().toStdString();
    facts.prettyName = OsReleasePrettyName(ReadOsReleaseText());
    struct utsname name { };
    if (uname(&name) != 0)
        return facts;
    facts.ok = true;
    facts.kernelRelease = name.release;
    facts.kernel = ParseKernelRelease(facts.kernelRelease);
    facts.machine = name.machine;
    return facts;
}

OsFacts ProbeOsVersion()
{
    OsVersionProbe probe;
    {
        std::lock_guard lock(g_probeMutex);
        probe = g_probe;
    }
    return probe ? probe() : ReadOsFacts();
}

void SetOsVersionProbe(OsVersionProbe probe)
{
    std::lock_guard lock(g_probeMutex);
    g_probe = std::move(probe);
}

ScopedOsVersionProbe::ScopedOsVersionProbe(OsVersionProbe probe)
{
    std::lock_guard lock(g_probeMutex);
    m_previous = std::exchange(g_probe, std::move(probe));
}

ScopedOsVersionProbe::~ScopedOsVersionProbe()
{
    std::lock_guard lock(g_probeMutex);
    g_probe = std::move(m_previous);
}

} // namespace platform
