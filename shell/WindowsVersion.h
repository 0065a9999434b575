#pragma once
// Which system the program runs on, in the form the design asks it: one plain record of version
// numbers, platform family, service pack, product type, edition and processor (as the program
// sees them and as the system underneath is), and a family of yes-or-no questions on it.
//
// The Windows rules are kept as a decoder of the answers the Windows queries, system metrics and
// registry values would give (DecodeWindowsVersion), which only tests supply. On this system
// Detect fills the record from the operating-system probe instead: the kernel's numbers on
// platform code 5, so that no Windows question is answered yes.

#include "platform/OsVersion.h"
#include "platform/WinTypes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct WINDOWS_VERSION_INFO {
    DWORD dwEmulatedMajorVersion; // as the program sees it
    DWORD dwEmulatedMinorVersion;
    DWORD dwEmulatedBuildNumber; // the low 16 bits of the system's build number
    DWORD dwEmulatedPlatformId; // 1 Win32s host, 2 9x family, 3 NT family, 4 CE; 5 Linux
    DWORD dwEmulatedProcessorType;
    char szEmulatedCSDVersion[128]; // zero-terminated
    WORD wEmulatedServicePackMajor;
    WORD wEmulatedServicePackMinor;
    DWORD dwUnderlyingMajorVersion; // the system underneath
    DWORD dwUnderlyingMinorVersion;
    DWORD dwUnderlyingBuildNumber;
    DWORD dwUnderlyingPlatformId;
    char szUnderlyingCSDVersion[128];
    WORD wUnderlyingServicePackMajor;
    std::int16_t wUnderlyingServicePackMinor;
    DWORD dwSuiteMask; // the edition flags below
    DWORD dwProductType; // 0 workstation, 1 server, 2 domain controller
    DWORD dwUnderlyingProcessorType;
};

namespace windows_version {

// Platform codes.
inline constexpr DWORD kPlatformWin32s = 1;
inline constexpr DWORD kPlatform9x = 2;
inline constexpr DWORD kPlatformNT = 3;
inline constexpr DWORD kPlatformCE = 4;
inline constexpr DWORD kPlatformLinux = 5;

// Product types.
inline constexpr DWORD kProductWorkstation = 0;
inline constexpr DWORD kProductServer = 1;
inline constexpr DWORD kProductDomainController = 2;

// Edition flags.
inline constexpr DWORD kSmallBusiness = 0x00000001;
inline constexpr DWORD kEnterprise = 0x00000002;
inline constexpr DWORD kPrimaryDomainController = 0x00000004;
inline constexpr DWORD kBackupDomainController = 0x00000008;
inline constexpr DWORD kTerminalServices = 0x00000010;
inline constexpr DWORD kDatacenter = 0x00000020;
inline constexpr DWORD kPersonal = 0x00000040;
inline constexpr DWORD kWebEdition = 0x00000080;
inline constexpr DWORD kEmbedded = 0x00000100;
inline constexpr DWORD kRemoteAdministration = 0x00000200;
inline constexpr DWORD kUniprocessorFree = 0x00000400;
inline constexpr DWORD kUniprocessorChecked = 0x00000800;
inline constexpr DWORD kMultiprocessorFree = 0x00001000;
inline constexpr DWORD kMultiprocessorChecked = 0x00002000;
inline constexpr DWORD kMediaCenter = 0x00004000;
inline constexpr DWORD kTabletPC = 0x00008000;
inline constexpr DWORD kStarter = 0x00010000;
inline constexpr DWORD kServerR2 = 0x00020000;
inline constexpr DWORD kComputeClusterServer = 0x00040000;
inline constexpr DWORD kStorageServer = 0x00080000;
inline constexpr DWORD kSecurityAppliance = 0x00100000;
inline constexpr DWORD kBackOffice = 0x00200000;
inline constexpr DWORD kUltimate = 0x00400000;
inline constexpr DWORD kHomeBasicN = 0x00800000;
inline constexpr DWORD kHomeBasic = 0x01000000;
inline constexpr DWORD kHomePremium = 0x02000000;
inline constexpr DWORD kBusinessN = 0x04000000;
inline constexpr DWORD kBusiness = 0x08000000;
inline constexpr DWORD kHomeServer = 0x10000000;

// The numbers the Windows queries answer with.
// Platform ids of the version query.
inline constexpr DWORD kIdWin32s = 0;
inline constexpr DWORD kIdWin32Windows = 1;
inline constexpr DWORD kIdWin32NT = 2;
inline constexpr DWORD kIdWin32CE = 3;
// Product types of the extended query.
inline constexpr BYTE kNtWorkstation = 1;
inline constexpr BYTE kNtDomainController = 2;
inline constexpr BYTE kNtServer = 3;
// Suite bits of the extended query.
inline constexpr WORD kSuiteSmallBusiness = 0x0001;
inline constexpr WORD kSuiteEnterprise = 0x0002;
inline constexpr WORD kSuiteBackOffice = 0x0004;
inline constexpr WORD kSuiteTerminal = 0x0010;
inline constexpr WORD kSuiteEmbeddedNT = 0x0040;
inline constexpr WORD kSuiteDatacenter = 0x0080;
inline constexpr WORD kSuiteSingleUserTS = 0x0100;
inline constexpr WORD kSuitePersonal = 0x0200;
inline constexpr WORD kSuiteBlade = 0x0400;
inline constexpr WORD kSuiteSecurityAppliance = 0x1000;
inline constexpr WORD kSuiteStorageServer = 0x2000;
inline constexpr WORD kSuiteComputeServer = 0x4000;
inline constexpr WORD kSuiteHomeServer = 0x8000;
// Processor architectures of the system information query.
inline constexpr WORD kArchX86 = 0;
inline constexpr WORD kArchMips = 1;
inline constexpr WORD kArchAlpha = 2;
inline constexpr WORD kArchPowerPC = 3;
inline constexpr WORD kArchArm = 5;
inline constexpr WORD kArchIa64 = 6;
inline constexpr WORD kArchX64 = 9;
inline constexpr WORD kArchArm64 = 12;
inline constexpr WORD kArchUnknown = 0xFFFF;

} // namespace windows_version

// The processor code of a processor-architecture number: 0 1, 1 2, 2 3, 3 4, 4 10, 5 9, 6 5, 7 7,
// 8 8, 9 6, 10 1; above 10 (unknown) 0.
DWORD ProcessorCodeOfArchitecture(unsigned architecture);

// The processor-architecture number of a machine or architecture name ("x86_64" 9, "i386" to
// "i686" 0, "arm" 5, "aarch64" and "arm64" 12, "ia64" 6, "mips" 1, "ppc" and "power" 3, "alpha"
// 2, anything else unknown).
WORD ArchitectureOfMachine(const std::string& machine);

// What the Windows version queries, system metrics and registry values answer; each may be
// absent.
struct WindowsVersionFacts {
    struct VersionInfo {
        DWORD major = 0;
        DWORD minor = 0;
        DWORD build = 0;
        DWORD platformId = 0;
        std::string csdVersion;
        // The extended form only.
        WORD servicePackMajor = 0;
        WORD servicePackMinor = 0;
        WORD suiteMask = 0;
        BYTE productType = 0;
    };

    bool kernel32 = true; // the system library is loaded
    bool hasGetVersionEx = true;
    // Without GetVersionEx: the packed number of the old query and "CSDVersion" as a text or a
    // number.
    DWORD packedVersion = 0;
    std::optional<std::string> csdVersionText;
    std::optional<DWORD> csdVersionNumber;
    // The extended form, else the plain one; neither: the queries failed.
    std::optional<VersionInfo> extended;
    std::optional<VersionInfo> plain;

    bool mediaCenterMetric = false;
    bool tabletPcMetric = false;
    bool starterMetric = false;
    bool serverR2Metric = false;
    std::optional<DWORD> mediaCenterInstalled; // "System\WPA\MediaCenter" "Installed"
    std::optional<DWORD> tabletPcInstalled; // "System\WPA\TabletPC" "Installed"
    std::optional<DWORD> productInfo; // the product-info query, when the system has it
    std::optional<std::string> productType; // ProductOptions "ProductType"
    std::optional<std::vector<std::string>> productSuite; // ProductOptions "ProductSuite"
    std::optional<DWORD> tsAppCompat; // Terminal Server "TSAppCompat"
    bool hotfixQ246009 = false; // the key "...\CurrentVersion\Hotfix\Q246009" is there
    std::optional<std::string> subVersionNumber;
    std::optional<std::string> currentType;

    WORD processorArchitecture = 0; // the ordinary system information
    std::optional<WORD> nativeProcessorArchitecture; // the native one, when the system has it
};

// Fills `info` (zeroed first) from the facts by the Windows rules. False when the system library
// is not there or both version queries failed.
bool DecodeWindowsVersion(const WindowsVersionFacts& facts, WINDOWS_VERSION_INFO& info);

// The record of this system from the probe's facts: the kernel's numbers on platform 5. False
// when the probe failed.
bool DecodeOsFacts(const platform::OsFacts& facts, WINDOWS_VERSION_INFO& info);

class CWindowsVersion {
public:
    // Fills the record from the operating-system probe; false when the probe fails.
    bool Detect(WINDOWS_VERSION_INFO& info) const;
    // A 32-bit program on a 64-bit kernel; false when the probe fails.
    bool IsWow64() const;

    bool IsWindows3x(const WINDOWS_VERSION_INFO& v) const;
    bool IsWindowsCE(const WINDOWS_VERSION_INFO& v) const;
    bool IsWindows95(const WINDOWS_VERSION_INFO& v) const;
    bool IsWindows95SP1(const WINDOWS_VERSION_INFO& v) const;
    bool IsWindows95OSR2(const WINDOWS_VERSION_INFO& v) const;
    bool IsWindows95OSR25(const WINDOWS_VERSION_INFO& v) const;
    bool IsWindows98(const WINDOWS_VERSION_INFO& v) const;
    bool IsWindows98SP1(const WINDOWS_VERSION_INFO& v) const;
    bool IsWindows98SE(const WINDOWS_VERSION_INFO& v) const;
    bool IsWindowsMe(const WINDOWS_VERSION_INFO& v) const;
    bool IsWindowsNT31(const WINDOWS_VERSION_INFO& v) const;
    bool IsWindowsNT35(const WINDOWS_VERSION_INFO& v) const;
    bool IsWindowsNT351(const WINDOWS_VERSION_INFO& v) const;
    bool IsWindowsNT4(const WINDOWS_VERSION_INFO& v) const;
    bool IsWindowsNTUpTo4(const WINDOWS_VERSION_INFO& v) const;
    bool IsNTWorkstation(const WINDOWS_VERSION_INFO& v) const;
    bool IsNTServer(const WINDOWS_VERSION_INFO& v) const;
    bool IsNTPrimaryDomainController(const WINDOWS_VERSION_INFO& v) const;
    bool IsNTBackupDomainController(const WINDOWS_VERSION_INFO& v) const;
    bool IsNTEnterpriseServer(const WINDOWS_VERSION_INFO& v) const;
    bool IsNTDatacenterServer(const WINDOWS_VERSION_INFO& v) const;
    bool IsWindows2000(const WINDOWS_VERSION_INFO& v) const;
    bool IsWindows2000Professional(const WINDOWS_VERSION_INFO& v) const;
    bool IsWindows2000Server(const WINDOWS_VERSION_INFO& v) const;
    bool IsWindows2000AdvancedServer(const WINDOWS_VERSION_INFO& v) const;
    bool IsWindows2000DatacenterServer(const WINDOWS_VERSION_INFO& v) const;
    bool IsWindows2000DomainController(const WINDOWS_VERSION_INFO& v) const;
    bool IsWindowsXPOrServer2003(const WINDOWS_VERSION_INFO& v) const;
    bool IsWindowsXPHome(const WINDOWS_VERSION_INFO& v) const;
    bool IsWindowsXPProfessional(const WINDOWS_VERSION_INFO& v) const;
    bool IsWindowsXP(const WINDOWS_VERSION_INFO& v) const;
    bool IsServer2003Web(const WINDOWS_VERSION_INFO& v) const;
    bool IsServer2003(const WINDOWS_VERSION_INFO& v) const;
    bool IsServer2003Enterprise(const WINDOWS_VERSION_INFO& v) const;
    bool IsServer2003Datacenter(const WINDOWS_VERSION_INFO& v) const;
    bool IsServer2003DomainController(const WINDOWS_VERSION_INFO& v) const;
    bool IsServer2003R2Web(const WINDOWS_VERSION_INFO& v) const;
    bool IsServer2003R2(const WINDOWS_VERSION_INFO& v) const;
    bool IsServer2003R2Enterprise(const WINDOWS_VERSION_INFO& v) const;
    bool IsServer2003R2Datacenter(const WINDOWS_VERSION_INFO& v) const;
    bool IsServer2003R2DomainController(const WINDOWS_VERSION_INFO& v) const;
    bool IsVistaOrLaterWorkstation(const WINDOWS_VERSION_INFO& v) const;
    bool IsServer2008OrLater(const WINDOWS_VERSION_INFO& v) const;
    bool IsServer2008Web(const WINDOWS_VERSION_INFO& v) const;
    bool IsServer2008Enterprise(const WINDOWS_VERSION_INFO& v) const;
    bool IsServer2008Datacenter(const WINDOWS_VERSION_INFO& v) const;

    // One edition bit each.
    bool IsSmallBusiness(const WINDOWS_VERSION_INFO& v) const { return Has(v, windows_version::kSmallBusiness); }
    bool IsEnterprise(const WINDOWS_VERSION_INFO& v) const { return Has(v, windows_version::kEnterprise); }
    bool IsTerminalServices(const WINDOWS_VERSION_INFO& v) const { return Has(v, windows_version::kTerminalServices); }
    bool IsEmbedded(const WINDOWS_VERSION_INFO& v) const { return Has(v, windows_version::kEmbedded); }
    bool IsRemoteAdministration(const WINDOWS_VERSION_INFO& v) const
    {
        return Has(v, windows_version::kRemoteAdministration);
    }
    bool IsMediaCenter(const WINDOWS_VERSION_INFO& v) const { return Has(v, windows_version::kMediaCenter); }
    bool IsTabletPC(const WINDOWS_VERSION_INFO& v) const { return Has(v, windows_version::kTabletPC); }
    bool IsStarter(const WINDOWS_VERSION_INFO& v) const { return Has(v, windows_version::kStarter); }
    bool IsComputeClusterServer(const WINDOWS_VERSION_INFO& v) const
    {
        return Has(v, windows_version::kComputeClusterServer);
    }
    bool IsStorageServer(const WINDOWS_VERSION_INFO& v) const { return Has(v, windows_version::kStorageServer); }
    bool IsSecurityAppliance(const WINDOWS_VERSION_INFO& v) const
    {
        return Has(v, windows_version::kSecurityAppliance);
    }
    bool IsBackOffice(const WINDOWS_VERSION_INFO& v) const { return Has(v, windows_version::kBackOffice); }
    bool IsUltimate(const WINDOWS_VERSION_INFO& v) const { return Has(v, windows_version::kUltimate); }
    bool IsHomeBasicN(const WINDOWS_VERSION_INFO& v) const { return Has(v, windows_version::kHomeBasicN); }
    bool IsHomeBasic(const WINDOWS_VERSION_INFO& v) const { return Has(v, windows_version::kHomeBasic); }
    bool IsHomePremium(const WINDOWS_VERSION_INFO& v) const { return Has(v, windows_version::kHomePremium); }
    bool IsBusinessN(const WINDOWS_VERSION_INFO& v) const { return Has(v, windows_version::kBusinessN); }
    bool IsBusiness(const WINDOWS_VERSION_INFO& v) const { return Has(v, windows_version::kBusiness); }
    bool IsHomeServer(const WINDOWS_VERSION_INFO& v) const { return Has(v, windows_version::kHomeServer); }

private:
    static bool Has(const WINDOWS_VERSION_INFO& v, DWORD flag) { return (v.dwSuiteMask & flag) != 0; }
};

extern CWindowsVersion g_WindowsVersion;
