#include "operations/StartupChecks.h"

#include "platform/TextFormat.h"

#include <algorithm>
#include <cctype>

namespace {

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

} // namespace

bool MatchesConflictedDevice(const std::vector<std::string>& ids, const std::string& manufacturer,
    const std::string& id, const std::string& text, bool exact)
{
    const std::string wanted = Lower(id);
    const bool idMatches = std::any_of(ids.begin(), ids.end(),
        [&](const std::string& candidate) { return Lower(candidate).compare(0, wanted.size(), wanted) == 0; });
    if (!idMatches)
        return false;
    return exact ? Lower(manufacturer) == Lower(text) : manufacturer.find(text) != std::string::npos;
}

DriverScanResult ScanConflictedDrivers(platform::usb::UsbProvider& provider, const std::string& id,
    const std::string& text, bool exact, const std::function<void(const std::string&)>& log)
{
    using namespace platform::usb;
    DriverScanResult result;
    for (const UsbDeviceInfo& device : provider.Enumerate()) {
        if (!device.kernelDriverBound
            || !MatchesConflictedDevice(device.hardwareIds, device.manufacturer, id, text, exact))
            continue;
        ++result.matched;
        const UsbOpenResult opened = provider.Open(device);
        UsbStatus status = opened.status;
        if (status == UsbStatus::Ok && opened.handle)
            status = opened.handle->DetachKernelDriver(0);
        else if (status == UsbStatus::Ok)
            status = UsbStatus::Other;
        if (status == UsbStatus::Ok) {
            ++result.detached;
        } else if (log) {
            log(platform::Format("Could not detach the kernel driver from %s: %s (%d).\r\n", device.path.c_str(),
                UsbStatusText(status), UsbErrorNumber(status)));
        }
    }
    return result;
}

std::string WindowsVersionName(unsigned major, unsigned minor, unsigned build)
{
    if (major == 10 && build >= 22000)
        return "Windows 11";
    if (major == 10 && build >= 10240)
        return "Windows 10";
    if (major == 6) {
        switch (minor) {
        case 3:
            return "Windows 8.1";
        case 2:
            return "Windows 8";
        case 1:
            return "Windows 7";
        case 0:
            return "Windows Vista";
        default:
            break;
        }
    }
    if (major == 5 && minor == 1)
        return "Windows XP";
    return "Unknown or unsupported Windows version\n";
}

std::string LinuxSystemName(const std::string& prettyName)
{
    return prettyName.empty() ? "Linux" : "Linux " + prettyName;
}

std::string LinuxVersionLine(const std::string& prettyName, const platform::KernelVersion& kernel)
{
    return LinuxSystemName(prettyName) + platform::Format("(%lu.%lu.%lu)\n", kernel.major, kernel.minor, kernel.patch)
        + "\r\n";
}

InstallerChoice ChooseDriverInstaller(unsigned major, unsigned minor, bool is64)
{
    struct Row {
        const char* exe64;
        const char* folder32;
    };
    static constexpr Row kWin10 { "\\USBDrivers\\Win 11 64bit\\ZelvoUSBdriver3.0Win10.64bit.EXE",
        "\\USBDrivers\\Win 11 32bit" };
    static constexpr Row kWin81 { "\\USBDrivers\\Win 8.1 64bit\\ZelvoUSBdriver3.0Win8.1.64bit.EXE",
        "\\USBDrivers\\Win 8.1 32bit" };
    static constexpr Row kWin8 { "\\USBDrivers\\Win 8 64bit\\ZelvoUSBdriver3.0Win8.64bit.EXE",
        "\\USBDrivers\\Win 8 32bit" };
    static constexpr Row kWin7 { "\\USBDrivers\\Win 7 64bit\\ZelvoUSBdriver3.0.Win7.64bit.EXE",
        "\\USBDrivers\\Win 7 32bit" };
    static constexpr Row kVista { "\\USBDrivers\\Win Vista 64bit\\ZelvoUSBdriver3.0WinVista.64bit.EXE",
        "\\USBDrivers\\Win Vista 32bit" };
    static constexpr Row kXp { "\\USBDrivers\\Win XP 64bit\\ZelvoUSBdriver3.0WinXP.64bit.EXE",
        "\\USBDrivers\\Win XP 32bit" };
    const Row* row = &kXp;
    if (major == 10)
        row = &kWin10;
    else if (major == 6 && minor == 3)
        row = &kWin81;
    else if (major == 6 && minor == 2)
        row = &kWin8;
    else if (major == 6 && minor == 1)
        row = &kWin7;
    else if (major == 6 && minor == 0)
        row = &kVista;
    return is64 ? InstallerChoice { row->exe64, "runas" } : InstallerChoice { row->folder32, "open" };
}
