#include "operations/StartupChecks.h"

#include "ViewTestSupport.h"
#include "platform/usb/VirtualBus.h"

#include <gtest/gtest.h>

using namespace platform::usb;

namespace {

TEST(StartupChecks, TheMatcherWantsTheIdPrefixAndTheManufacturer)
{
    const std::vector<std::string> programmer { "USB\\VID_04B4&PID_8613&REV_0001", "USB\\VID_04B4&PID_8613" };
    struct Case {
        std::vector<std::string> ids;
        const char* manufacturer;
        bool exact;
        bool matches;
    };
    const Case cases[] = {
        { programmer, "IOS Manufacturer", false, true },
        { programmer, "The IOS Manufacturer Ltd", false, true },
        { programmer, "ios manufacturer", false, false }, // the substring test minds case
        { programmer, "ios manufacturer", true, true }, // the exact test does not
        { programmer, "The IOS Manufacturer Ltd", true, false },
        { programmer, "Ostrand", false, false },
        { programmer, "", false, false },
        { { "usb\\vid_04b4&pid_8613&rev_0001" }, "IOS Manufacturer", false, true },
        { { "USB\\VID_04B4&PID_8614&REV_0001" }, "IOS Manufacturer", false, false },
        { { "HID\\VID_04B4&PID_8613" }, "IOS Manufacturer", false, false },
        { { "USB\\VID_04B4" }, "IOS Manufacturer", false, false }, // shorter than the id
        { {}, "IOS Manufacturer", false, false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.manufacturer) + (c.ids.empty() ? "" : " " + c.ids[0]));
        EXPECT_EQ(MatchesConflictedDevice(c.ids, c.manufacturer, kConflictHardwareId, kConflictManufacturer, c.exact),
            c.matches);
    }
}

TEST(StartupChecks, WindowsVersionNames)
{
    struct Case {
        unsigned major, minor, build;
        const char* name;
    };
    const Case cases[] = {
        { 10, 0, 22631, "Windows 11" },
        { 10, 0, 22000, "Windows 11" },
        { 10, 0, 21999, "Windows 10" },
        { 10, 0, 10240, "Windows 10" },
        { 10, 0, 10000, "Unknown or unsupported Windows version\n" },
        { 6, 3, 9600, "Windows 8.1" },
        { 6, 2, 9200, "Windows 8" },
        { 6, 1, 7601, "Windows 7" },
        { 6, 0, 6002, "Windows Vista" },
        { 6, 4, 0, "Unknown or unsupported Windows version\n" },
        { 5, 1, 2600, "Windows XP" },
        { 5, 2, 3790, "Unknown or unsupported Windows version\n" },
        { 4, 0, 1381, "Unknown or unsupported Windows version\n" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(WindowsVersionName(c.major, c.minor, c.build), c.name) << c.major << "." << c.minor << "." << c.build;
}

TEST(StartupChecks, InstallerChoiceByVersionAndWordSize)
{
    struct Case {
        unsigned major, minor;
        bool is64;
        const char* path;
        const char* verb;
    };
    const Case cases[] = {
        { 10, 0, true, "\\USBDrivers\\Win 11 64bit\\ZelvoUSBdriver3.0Win10.64bit.EXE", "runas" },
        { 10, 0, false, "\\USBDrivers\\Win 11 32bit", "open" },
        { 6, 3, true, "\\USBDrivers\\Win 8.1 64bit\\ZelvoUSBdriver3.0Win8.1.64bit.EXE", "runas" },
        { 6, 3, false, "\\USBDrivers\\Win 8.1 32bit", "open" },
        { 6, 2, true, "\\USBDrivers\\Win 8 64bit\\ZelvoUSBdriver3.0Win8.64bit.EXE", "runas" },
        { 6, 2, false, "\\USBDrivers\\Win 8 32bit", "open" },
        { 6, 1, true, "\\USBDrivers\\Win 7 64bit\\ZelvoUSBdriver3.0.Win7.64bit.EXE", "runas" },
        { 6, 1, false, "\\USBDrivers\\Win 7 32bit", "open" },
        { 6, 0, true, "\\USBDrivers\\Win Vista 64bit\\ZelvoUSBdriver3.0WinVista.64bit.EXE", "runas" },
        { 6, 0, false, "\\USBDrivers\\Win Vista 32bit", "open" },
        { 5, 1, true, "\\USBDrivers\\Win XP 64bit\\ZelvoUSBdriver3.0WinXP.64bit.EXE", "runas" },
        { 5, 1, false, "\\USBDrivers\\Win XP 32bit", "open" },
        { 6, 4, true, "\\USBDrivers\\Win XP 64bit\\ZelvoUSBdriver3.0WinXP.64bit.EXE", "runas" },
        { 11, 0, false, "\\USBDrivers\\Win XP 32bit", "open" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.major << "." << c.minor << (c.is64 ? " 64" : " 32"));
        const InstallerChoice choice = ChooseDriverInstaller(c.major, c.minor, c.is64);
        EXPECT_EQ(choice.path, c.path);
        EXPECT_EQ(choice.verb, c.verb);
    }
}

TEST(StartupChecks, TheLinuxLineFromTheProbesNameAndKernelNumbers)
{
    struct Case {
        std::string prettyName;
        platform::KernelVersion kernel;
        const char* line;
    };
    const Case cases[] = {
        { "Debian GNU/Linux 12 (bookworm)", { 6, 1, 0 }, "Linux Debian GNU/Linux 12 (bookworm)(6.1.0)\n\r\n" },
        { "", { 4, 0, 0 }, "Linux(4.0.0)\n\r\n" },
        { "", {}, "Linux(0.0.0)\n\r\n" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(LinuxVersionLine(c.prettyName, c.kernel), c.line) << c.prettyName;
    EXPECT_EQ(LinuxSystemName("Debian GNU/Linux 12 (bookworm)"), "Linux Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(LinuxSystemName(""), "Linux");
}

TEST(StartupChecks, TheScanDetachesOnlyTheMatchingDevicesDriver)
{
    VirtualBus bus;
    auto ours = bus.Plug(std::make_shared<tonrig::test::PlantedDevice>(0x04B4, 0x8613, "IOS Manufacturer Inc."));
    auto otherMaker = bus.Plug(std::make_shared<tonrig::test::PlantedDevice>(0x04B4, 0x8613, "Somebody Else"));
    auto otherId = bus.Plug(std::make_shared<tonrig::test::PlantedDevice>(0x04B4, 0x1004, "IOS Manufacturer Inc."));
    auto unbound = bus.Plug(std::make_shared<tonrig::test::PlantedDevice>(0x04B4, 0x8613, "IOS Manufacturer"));
    for (auto& port : { ours, otherMaker, otherId })
        port->SetDriverBound(true);

    std::vector<std::string> lines;
    const auto log = [&](const std::string& line) { lines.push_back(line); };
    DriverScanResult result = ScanConflictedDrivers(bus, kConflictHardwareId, kConflictManufacturer, false, log);
    EXPECT_EQ(result.matched, 1);
    EXPECT_EQ(result.detached, 1);
    EXPECT_FALSE(ours->DriverBound());
    EXPECT_TRUE(otherMaker->DriverBound());
    EXPECT_TRUE(otherId->DriverBound());
    EXPECT_FALSE(unbound->DriverBound());
    EXPECT_TRUE(lines.empty());

    // Nothing left to do on a second scan.
    result = ScanConflictedDrivers(bus, kConflictHardwareId, kConflictManufacturer, false, log);
    EXPECT_EQ(result.matched, 0);

    // A device we may not open: one line with the USB layer's error, the driver stays.
    ours->SetDriverBound(true);
    ours->SetAccessDenied(true);
    result = ScanConflictedDrivers(bus, kConflictHardwareId, kConflictManufacturer, false, log);
    EXPECT_EQ(result.matched, 1);
    EXPECT_EQ(result.detached, 0);
    EXPECT_TRUE(ours->DriverBound());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("Access denied (insufficient permissions) (-3)"), std::string::npos) << lines[0];
}

} // namespace
