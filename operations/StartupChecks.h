#pragma once
// The main view's start-up checks that need no window: the scan for a foreign kernel driver bound
// to the programmer, the operating-system line of the log and the choice of the USB driver
// installer the "Did not find programmer." box offers.

#include "platform/OsVersion.h"
#include "platform/usb/Usb.h"

#include <functional>
#include <string>
#include <vector>

// The programmer as the scan looks for it.
inline constexpr const char* kConflictHardwareId = "USB\\VID_04B4&PID_8613";
inline constexpr const char* kConflictManufacturer = "IOS Manufacturer";

// True when one of `ids` begins with `id` (case-insensitive, as hardware ids are) and
// `manufacturer` contains `text` (case-sensitive), or in `exact` mode equals it ignoring case.
bool MatchesConflictedDevice(const std::vector<std::string>& ids, const std::string& manufacturer,
    const std::string& id, const std::string& text, bool exact);

struct DriverScanResult {
    int matched = 0; // devices that matched with a kernel driver bound
    int detached = 0; // of these, the ones whose driver is now detached
};

// Enumerates `provider`, and for each matching device with a kernel driver bound detaches that
// driver from the device's interface; nothing else on the bus is touched. A failure is one line
// through `log` with the USB layer's error.
DriverScanResult ScanConflictedDrivers(platform::usb::UsbProvider& provider, const std::string& id,
    const std::string& text, bool exact, const std::function<void(const std::string&)>& log);

// The name of a Windows version as the log and the installer box give it.
std::string WindowsVersionName(unsigned major, unsigned minor, unsigned build);

// The system line of the log: "Linux" alone without a distribution name, else "Linux " + it;
// then "(%lu.%lu.%lu)\n" with the kernel's numbers, then "\r\n". The values are the probe's
// (platform/OsVersion).
std::string LinuxVersionLine(const std::string& prettyName, const platform::KernelVersion& kernel);
// The same name without the numbers, for the installer box.
std::string LinuxSystemName(const std::string& prettyName);

struct InstallerChoice {
    std::string path; // below the program folder, with the installer's own separators
    std::string verb; // "runas" starts the installer elevated, "open" opens the folder
};

// The driver installer for a Windows version and word size.
InstallerChoice ChooseDriverInstaller(unsigned major, unsigned minor, bool is64);
