// The version record: every predicate over a table of records, the Windows decoder over a table of
// query answers, and Detect on this machine through the operating-system probe.

#include "shell/WindowsVersion.h"

#include "platform/OsVersion.h"

#include <sys/utsname.h>

#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using namespace windows_version;
using Predicate = bool (CWindowsVersion::*)(const WINDOWS_VERSION_INFO&) const;

struct Named {
    const char* name;
    Predicate predicate;
};

#define PREDICATE(name)                                                                                                \
    Named                                                                                                              \
    {                                                                                                                  \
#name, &CWindowsVersion::name                                                                                  \
    }

const std::vector<Named>& VersionPredicates()
{
    static const std::vector<Named> all = { PREDICATE(IsWindows3x), PREDICATE(IsWindowsCE), PREDICATE(IsWindows95),
        PREDICATE(IsWindows95SP1), PREDICATE(IsWindows95OSR2), PREDICATE(IsWindows95OSR25), PREDICATE(IsWindows98),
        PREDICATE(IsWindows98SP1), PREDICATE(IsWindows98SE), PREDICATE(IsWindowsMe), PREDICATE(IsWindowsNT31),
        PREDICATE(IsWindowsNT35), PREDICATE(IsWindowsNT351), PREDICATE(IsWindowsNT4), PREDICATE(IsWindowsNTUpTo4),
        PREDICATE(IsNTWorkstation), PREDICATE(IsNTServer), PREDICATE(IsNTPrimaryDomainController),
        PREDICATE(IsNTBackupDomainController), PREDICATE(IsNTEnterpriseServer), PREDICATE(IsNTDatacenterServer),
        PREDICATE(IsWindows2000), PREDICATE(IsWindows2000Professional), PREDICATE(IsWindows2000Server),
        PREDICATE(IsWindows2000AdvancedServer), PREDICATE(IsWindows2000DatacenterServer),
        PREDICATE(IsWindows2000DomainController), PREDICATE(IsWindowsXPOrServer2003), PREDICATE(IsWindowsXPHome),
        PREDICATE(IsWindowsXPProfessional), PREDICATE(IsWindowsXP), PREDICATE(IsServer2003Web), PREDICATE(IsServer2003),
        PREDICATE(IsServer2003Enterprise), PREDICATE(IsServer2003Datacenter), PREDICATE(IsServer2003DomainController),
        PREDICATE(IsServer2003R2Web), PREDICATE(IsServer2003R2), PREDICATE(IsServer2003R2Enterprise),
        PREDICATE(IsServer2003R2Datacenter), PREDICATE(IsServer2003R2DomainController),
        PREDICATE(IsVistaOrLaterWorkstation), PREDICATE(IsServer2008OrLater), PREDICATE(IsServer2008Web),
        PREDICATE(IsServer2008Enterprise), PREDICATE(IsServer2008Datacenter) };
    return all;
}

struct Bit {
    Named predicate;
    DWORD flag;
};

const std::vector<Bit>& BitPredicates()
{
    static const std::vector<Bit> all = { { PREDICATE(IsSmallBusiness), kSmallBusiness },
        { PREDICATE(IsEnterprise), kEnterprise }, { PREDICATE(IsTerminalServices), kTerminalServices },
        { PREDICATE(IsEmbedded), kEmbedded }, { PREDICATE(IsRemoteAdministration), kRemoteAdministration },
        { PREDICATE(IsMediaCenter), kMediaCenter }, { PREDICATE(IsTabletPC), kTabletPC },
        { PREDICATE(IsStarter), kStarter }, { PREDICATE(IsComputeClusterServer), kComputeClusterServer },
        { PREDICATE(IsStorageServer), kStorageServer }, { PREDICATE(IsSecurityAppliance), kSecurityAppliance },
        { PREDICATE(IsBackOffice), kBackOffice }, { PREDICATE(IsUltimate), kUltimate },
        { PREDICATE(IsHomeBasicN), kHomeBasicN }, { PREDICATE(IsHomeBasic), kHomeBasic },
        { PREDICATE(IsHomePremium), kHomePremium }, { PREDICATE(IsBusinessN), kBusinessN },
        { PREDICATE(IsBusiness), kBusiness }, { PREDICATE(IsHomeServer), kHomeServer } };
    return all;
}

#undef PREDICATE

// An underlying system; what the program sees is set to Windows 98 SE throughout, so that a
// predicate reading those fields shows.
WINDOWS_VERSION_INFO Record(DWORD platform, DWORD major, DWORD minor, DWORD build, DWORD type = 0, DWORD flags = 0)
{
    WINDOWS_VERSION_INFO v {};
    v.dwEmulatedMajorVersion = 4;
    v.dwEmulatedMinorVersion = 10;
    v.dwEmulatedBuildNumber = 2222;
    v.dwEmulatedPlatformId = kPlatform9x;
    v.dwUnderlyingPlatformId = platform;
    v.dwUnderlyingMajorVersion = major;
    v.dwUnderlyingMinorVersion = minor;
    v.dwUnderlyingBuildNumber = build;
    v.dwProductType = type;
    v.dwSuiteMask = flags;
    return v;
}

std::set<std::string> TrueVersionPredicates(const WINDOWS_VERSION_INFO& v)
{
    std::set<std::string> names;
    for (const Named& p : VersionPredicates())
        if ((g_WindowsVersion.*p.predicate)(v))
            names.insert(p.name);
    return names;
}

TEST(WindowsVersion, EveryPredicateOverATableOfSystems)
{
    using Names = std::set<std::string>;
    struct Row {
        const char* name;
        WINDOWS_VERSION_INFO record;
        Names holds;
    };
    const DWORD ws = kProductWorkstation, srv = kProductServer, dc = kProductDomainController;
    const Row rows[] = {
        { "98 SE", Record(kPlatform9x, 4, 10, 2222), { "IsWindows98SE" } },
        { "98", Record(kPlatform9x, 4, 10, 1998), { "IsWindows98" } },
        { "98 SP1", Record(kPlatform9x, 4, 10, 2182), { "IsWindows98SP1" } },
        { "Me 3000", Record(kPlatform9x, 4, 90, 3000), { "IsWindowsMe" } },
        { "Me 0", Record(kPlatform9x, 4, 90, 0), { "IsWindowsMe" } },
        { "95 950", Record(kPlatform9x, 4, 0, 950), { "IsWindows95" } },
        { "95 1000", Record(kPlatform9x, 4, 0, 1000), { "IsWindows95SP1" } },
        { "95 1111", Record(kPlatform9x, 4, 0, 1111), { "IsWindows95OSR2" } },
        { "95 1214", Record(kPlatform9x, 4, 0, 1214), { "IsWindows95OSR25" } },
        { "NT 3.10", Record(kPlatformNT, 3, 10, 528, ws), { "IsWindowsNT31", "IsWindowsNTUpTo4", "IsNTWorkstation" } },
        { "NT 3.50", Record(kPlatformNT, 3, 50, 807, srv), { "IsWindowsNT35", "IsWindowsNTUpTo4", "IsNTServer" } },
        { "NT 3.51", Record(kPlatformNT, 3, 51, 1057, ws),
            { "IsWindowsNT351", "IsWindowsNTUpTo4", "IsNTWorkstation" } },
        { "NT 4 workstation", Record(kPlatformNT, 4, 0, 1381, ws),
            { "IsWindowsNT4", "IsWindowsNTUpTo4", "IsNTWorkstation" } },
        { "NT 4 server", Record(kPlatformNT, 4, 0, 1381, srv), { "IsWindowsNT4", "IsWindowsNTUpTo4", "IsNTServer" } },
        { "NT 4 primary DC", Record(kPlatformNT, 4, 0, 1381, dc, kPrimaryDomainController),
            { "IsWindowsNT4", "IsWindowsNTUpTo4", "IsNTPrimaryDomainController" } },
        { "NT 4 backup DC", Record(kPlatformNT, 4, 0, 1381, dc, kBackupDomainController),
            { "IsWindowsNT4", "IsWindowsNTUpTo4", "IsNTBackupDomainController" } },
        { "NT 4 DC without a flag", Record(kPlatformNT, 4, 0, 1381, dc), { "IsWindowsNT4", "IsWindowsNTUpTo4" } },
        { "NT 4 enterprise", Record(kPlatformNT, 4, 0, 1381, srv, kEnterprise),
            { "IsWindowsNT4", "IsWindowsNTUpTo4", "IsNTServer", "IsNTEnterpriseServer" } },
        { "NT 4 datacenter", Record(kPlatformNT, 4, 0, 1381, srv, kDatacenter),
            { "IsWindowsNT4", "IsWindowsNTUpTo4", "IsNTServer", "IsNTDatacenterServer" } },
        { "2000 professional", Record(kPlatformNT, 5, 0, 2195, ws), { "IsWindows2000", "IsWindows2000Professional" } },
        { "2000 advanced server", Record(kPlatformNT, 5, 0, 2195, srv, kEnterprise),
            { "IsWindows2000", "IsWindows2000Server", "IsWindows2000AdvancedServer" } },
        { "2000 datacenter", Record(kPlatformNT, 5, 0, 2195, srv, kDatacenter),
            { "IsWindows2000", "IsWindows2000Server", "IsWindows2000DatacenterServer" } },
        { "2000 DC", Record(kPlatformNT, 5, 0, 2195, dc), { "IsWindows2000", "IsWindows2000DomainController" } },
        { "XP Home", Record(kPlatformNT, 5, 1, 2600, ws, kPersonal),
            { "IsWindowsXPOrServer2003", "IsWindowsXPHome", "IsWindowsXP" } },
        { "XP Professional", Record(kPlatformNT, 5, 1, 2600, ws),
            { "IsWindowsXPOrServer2003", "IsWindowsXPProfessional", "IsWindowsXP" } },
        { "Server 2003", Record(kPlatformNT, 5, 2, 3790, srv), { "IsWindowsXPOrServer2003", "IsServer2003" } },
        { "Server 2003 R2", Record(kPlatformNT, 5, 2, 3790, srv, kServerR2),
            { "IsWindowsXPOrServer2003", "IsServer2003R2" } },
        { "Server 2003 web", Record(kPlatformNT, 5, 2, 3790, srv, kWebEdition),
            { "IsWindowsXPOrServer2003", "IsServer2003", "IsServer2003Web" } },
        { "Server 2003 R2 web", Record(kPlatformNT, 5, 2, 3790, srv, kWebEdition | kServerR2),
            { "IsWindowsXPOrServer2003", "IsServer2003R2", "IsServer2003R2Web" } },
        { "Server 2003 enterprise", Record(kPlatformNT, 5, 2, 3790, srv, kEnterprise),
            { "IsWindowsXPOrServer2003", "IsServer2003", "IsServer2003Enterprise" } },
        { "Server 2003 R2 enterprise", Record(kPlatformNT, 5, 2, 3790, srv, kEnterprise | kServerR2),
            { "IsWindowsXPOrServer2003", "IsServer2003R2", "IsServer2003R2Enterprise" } },
        { "Server 2003 datacenter", Record(kPlatformNT, 5, 2, 3790, srv, kDatacenter),
            { "IsWindowsXPOrServer2003", "IsServer2003", "IsServer2003Datacenter" } },
        { "Server 2003 R2 datacenter", Record(kPlatformNT, 5, 2, 3790, srv, kDatacenter | kServerR2),
            { "IsWindowsXPOrServer2003", "IsServer2003R2", "IsServer2003R2Datacenter" } },
        { "Server 2003 DC", Record(kPlatformNT, 5, 2, 3790, dc),
            { "IsWindowsXPOrServer2003", "IsServer2003DomainController" } },
        { "Server 2003 R2 DC", Record(kPlatformNT, 5, 2, 3790, dc, kServerR2),
            { "IsWindowsXPOrServer2003", "IsServer2003R2DomainController" } },
        { "Vista workstation", Record(kPlatformNT, 6, 0, 6000, ws), { "IsVistaOrLaterWorkstation" } },
        { "Server 2008", Record(kPlatformNT, 6, 0, 6001, srv), { "IsServer2008OrLater" } },
        { "Server 2008 web", Record(kPlatformNT, 6, 0, 6001, srv, kWebEdition),
            { "IsServer2008OrLater", "IsServer2008Web" } },
        { "Server 2008 enterprise", Record(kPlatformNT, 6, 0, 6001, srv, kEnterprise),
            { "IsServer2008OrLater", "IsServer2008Enterprise" } },
        { "Server 2008 datacenter", Record(kPlatformNT, 6, 0, 6001, srv, kDatacenter),
            { "IsServer2008OrLater", "IsServer2008Datacenter" } },
        { "CE", Record(kPlatformCE, 4, 0, 0), { "IsWindowsCE" } },
        { "Win32s", Record(kPlatformWin32s, 3, 10, 0), { "IsWindows3x" } },
        // 9x numbers on the NT platform: no 9x predicate holds.
        { "4.10.2222 on NT", Record(kPlatformNT, 4, 10, 2222, ws),
            { "IsWindowsNT4", "IsWindowsNTUpTo4", "IsNTWorkstation" } },
        // Linux: none holds, whatever the numbers.
        { "Linux 4.10.2222", Record(kPlatformLinux, 4, 10, 2222), {} },
        { "Linux 6.1.0 with every flag", Record(kPlatformLinux, 6, 1, 0, srv, 0xFFFFFFFF), {} },
    };
    for (const Row& row : rows)
        EXPECT_EQ(TrueVersionPredicates(row.record), row.holds) << row.name;

    // Each one-bit predicate answers its own bit, and only it.
    for (const Bit& bit : BitPredicates()) {
        for (const Bit& other : BitPredicates()) {
            const WINDOWS_VERSION_INFO v = Record(kPlatformLinux, 6, 1, 0, 0, other.flag);
            EXPECT_EQ((g_WindowsVersion.*bit.predicate.predicate)(v), bit.flag == other.flag)
                << bit.predicate.name << " with " << other.predicate.name << "'s bit";
        }
        EXPECT_TRUE((g_WindowsVersion.*bit.predicate.predicate)(Record(kPlatformNT, 5, 1, 0, 0, ~0u)));
    }
}

TEST(WindowsVersion, ProcessorCodesAndArchitectures)
{
    const DWORD codes[] = { 1, 2, 3, 4, 10, 9, 5, 7, 8, 6, 1, 0 };
    for (unsigned arch = 0; arch <= 11; ++arch)
        EXPECT_EQ(ProcessorCodeOfArchitecture(arch), codes[arch]) << arch;
    EXPECT_EQ(ProcessorCodeOfArchitecture(0xFFFF), 0u);

    struct Case {
        const char* machine;
        WORD arch;
    };
    const Case cases[] = { { "x86_64", kArchX64 }, { "i386", kArchX86 }, { "i686", kArchX86 }, { "i786", kArchUnknown },
        { "armv7l", kArchArm }, { "arm", kArchArm }, { "aarch64", kArchArm64 }, { "arm64", kArchArm64 },
        { "ia64", kArchIa64 }, { "mips64", kArchMips }, { "ppc64le", kArchPowerPC }, { "power", kArchPowerPC },
        { "alpha", kArchAlpha }, { "riscv64", kArchUnknown }, { "", kArchUnknown } };
    for (const Case& c : cases)
        EXPECT_EQ(ArchitectureOfMachine(c.machine), c.arch) << c.machine;
}

// What an NT 4 or later system answers to the extended query.
WindowsVersionFacts::VersionInfo Info(
    DWORD major, DWORD minor, DWORD build, DWORD platformId, std::string csd = {}, WORD spMajor = 0)
{
    WindowsVersionFacts::VersionInfo v;
    v.major = major;
    v.minor = minor;
    v.build = build;
    v.platformId = platformId;
    v.csdVersion = std::move(csd);
    v.servicePackMajor = spMajor;
    return v;
}

WindowsVersionFacts Extended(WindowsVersionFacts::VersionInfo v)
{
    WindowsVersionFacts f;
    f.extended = std::move(v);
    return f;
}

WindowsVersionFacts Plain(WindowsVersionFacts::VersionInfo v)
{
    WindowsVersionFacts f;
    f.plain = std::move(v);
    return f;
}

// A 6.0 system whose product-info query answers `info`.
WindowsVersionFacts VistaProduct(DWORD info)
{
    auto f = Extended(Info(6, 0, 6000, kIdWin32NT));
    f.productInfo = info;
    return f;
}

struct Expect {
    DWORD platform = 0;
    DWORD major = 0, minor = 0, build = 0;
    WORD spMajor = 0;
    int spMinor = 0;
    DWORD flags = 0;
    DWORD type = 0;
};

void Check(const WINDOWS_VERSION_INFO& v, const Expect& e)
{
    EXPECT_EQ(v.dwUnderlyingPlatformId, e.platform);
    EXPECT_EQ(v.dwUnderlyingMajorVersion, e.major);
    EXPECT_EQ(v.dwUnderlyingMinorVersion, e.minor);
    EXPECT_EQ(v.dwUnderlyingBuildNumber, e.build);
    EXPECT_EQ(v.wUnderlyingServicePackMajor, e.spMajor);
    EXPECT_EQ(v.wUnderlyingServicePackMinor, e.spMinor);
    EXPECT_EQ(v.dwSuiteMask, e.flags);
    EXPECT_EQ(v.dwProductType, e.type);
}

TEST(WindowsVersion, TheDecoderFollowsTheWindowsAnswers)
{
    struct Row {
        const char* name;
        std::function<WindowsVersionFacts()> facts;
        Expect expect;
        std::function<void(const WINDOWS_VERSION_INFO&)> more = nullptr;
    };
    const Row rows[] = {
        { "NT 4 SP6 with the Q246009 key is SP 6a",
            [] {
                auto f = Extended(Info(4, 0, 1381, kIdWin32NT, "Service Pack 6", 6));
                f.extended->productType = kNtWorkstation;
                f.hotfixQ246009 = true;
                return f;
            },
            { kPlatformNT, 4, 0, 1381, 6, 1 },
            [](const WINDOWS_VERSION_INFO& v) {
                EXPECT_EQ(v.wEmulatedServicePackMinor, 1);
                EXPECT_STREQ(v.szUnderlyingCSDVersion, "Service Pack 6");
            } },
        { "NT 4 SP6 without the key", [] { return Extended(Info(4, 0, 1381, kIdWin32NT, "Service Pack 6", 6)); },
            { kPlatformNT, 4, 0, 1381, 6, 0 } },
        { "XP SP1 with SubVersionNumber a is SP 1a",
            [] {
                auto f = Extended(Info(5, 1, 2600, kIdWin32NT, "Service Pack 1", 1));
                f.subVersionNumber = "A";
                return f;
            },
            { kPlatformNT, 5, 1, 2600, 1, 1 } },
        { "2000 SP1 with a: minor 0 stays SP 1",
            [] {
                auto f = Extended(Info(5, 0, 2195, kIdWin32NT, "Service Pack 1", 1));
                f.subVersionNumber = "a";
                return f;
            },
            { kPlatformNT, 5, 0, 2195, 1, 0 } },
        { "CurrentType multiprocessor free",
            [] {
                auto f = Extended(Info(5, 1, 2600, kIdWin32NT));
                f.currentType = "multiprocessor free";
                return f;
            },
            { kPlatformNT, 5, 1, 2600, 0, 0, kMultiprocessorFree } },
        { "CurrentType unknown",
            [] {
                auto f = Extended(Info(5, 1, 2600, kIdWin32NT));
                f.currentType = "Quadprocessor Free";
                return f;
            },
            { kPlatformNT, 5, 1, 2600 } },
        { "the extended form's suites, type and metrics",
            [] {
                auto f = Extended(Info(5, 2, 0x12345678, kIdWin32NT));
                f.extended->suiteMask = kSuiteSmallBusiness | kSuiteEnterprise | kSuiteTerminal | kSuiteDatacenter
                    | kSuitePersonal | kSuiteBlade | kSuiteEmbeddedNT | kSuiteSingleUserTS | kSuiteComputeServer
                    | kSuiteStorageServer | kSuiteSecurityAppliance | kSuiteBackOffice | kSuiteHomeServer;
                f.extended->productType = kNtDomainController;
                f.productType = "lanmannt";
                f.mediaCenterInstalled = 1;
                f.tabletPcMetric = true;
                f.starterMetric = true;
                f.serverR2Metric = true;
                return f;
            },
            { kPlatformNT, 5, 2, 0x5678, 0, 0,
                kSmallBusiness | kEnterprise | kTerminalServices | kDatacenter | kPersonal | kWebEdition | kEmbedded
                    | kRemoteAdministration | kComputeClusterServer | kStorageServer | kSecurityAppliance | kBackOffice
                    | kHomeServer | kPrimaryDomainController | kMediaCenter | kTabletPC | kStarter | kServerR2,
                kProductDomainController } },
        { "the extended form's server, with a backup DC text",
            [] {
                auto f = Extended(Info(5, 2, 3790, kIdWin32NT));
                f.extended->productType = kNtServer;
                f.productType = "LANSECNT";
                f.mediaCenterInstalled = 0;
                return f;
            },
            { kPlatformNT, 5, 2, 3790, 0, 0, kBackupDomainController, kProductServer } },
        { "product info 1", [] { return VistaProduct(1); }, { kPlatformNT, 6, 0, 6000, 0, 0, kUltimate } },
        { "product info 4", [] { return VistaProduct(4); }, { kPlatformNT, 6, 0, 6000, 0, 0, kEnterprise } },
        { "product info 11", [] { return VistaProduct(11); }, { kPlatformNT, 6, 0, 6000, 0, 0, kStarter } },
        { "product info 16", [] { return VistaProduct(16); }, { kPlatformNT, 6, 0, 6000, 0, 0, kBusinessN } },
        { "product info unknown", [] { return VistaProduct(7); }, { kPlatformNT, 6, 0, 6000 } },
        { "98 build 2000 is SP1", [] { return Plain(Info(4, 10, 2000, kIdWin32Windows)); },
            { kPlatform9x, 4, 10, 2000, 1, 0 },
            [](const WINDOWS_VERSION_INFO& v) { EXPECT_EQ(v.wEmulatedServicePackMajor, 1); } },
        { "95 build 1000 is SP1", [] { return Plain(Info(4, 0, 1000, kIdWin32Windows)); },
            { kPlatform9x, 4, 0, 1000, 1, 0 } },
        { "95 build 1100 is SP2", [] { return Plain(Info(4, 0, 1100, kIdWin32Windows)); },
            { kPlatform9x, 4, 0, 1100, 2, 0 } },
        { "95 build 1300 is SP2.5", [] { return Plain(Info(4, 0, 1300, kIdWin32Windows)); },
            { kPlatform9x, 4, 0, 1300, 2, 5 } },
        { "95 build 950 has none", [] { return Plain(Info(4, 0, 950, kIdWin32Windows)); }, { kPlatform9x, 4, 0, 950 } },
        { "NT plain LANMANNT",
            [] {
                auto f = Plain(Info(4, 0, 1381, kIdWin32NT, "Service Pack 3"));
                f.productType = "LANMANNT";
                return f;
            },
            { kPlatformNT, 4, 0, 1381, 3, 0, kPrimaryDomainController, kProductDomainController } },
        { "NT plain SERVERNT",
            [] {
                auto f = Plain(Info(4, 0, 1381, kIdWin32NT, "no digits here"));
                f.productType = "servernt";
                return f;
            },
            { kPlatformNT, 4, 0, 1381, 0, 0, 0, kProductServer } },
        { "NT plain LANSECNT",
            [] {
                auto f = Plain(Info(4, 0, 1381, kIdWin32NT));
                f.productType = "LanSecNT";
                return f;
            },
            { kPlatformNT, 4, 0, 1381, 0, 0, kBackupDomainController, kProductDomainController } },
        { "NT plain WinNT with suites and TSAppCompat 0",
            [] {
                auto f = Plain(Info(4, 0, 1381, kIdWin32NT, "Service Pack 12"));
                f.productType = "WinNT";
                f.productSuite = std::vector<std::string> { "Terminal Server", "Small Business", "Other" };
                f.tsAppCompat = 0;
                return f;
            },
            { kPlatformNT, 4, 0, 1381, 12, 0, kTerminalServices | kSmallBusiness | kRemoteAdministration,
                kProductWorkstation } },
        { "NT plain suites SBS, Enterprise, Personal; TSAppCompat 1",
            [] {
                auto f = Plain(Info(4, 0, 1381, kIdWin32NT));
                f.productSuite = std::vector<std::string> { "sbs", "ENTERPRISE", "Personal" };
                f.tsAppCompat = 1;
                return f;
            },
            { kPlatformNT, 4, 0, 1381, 0, 0, kSmallBusiness | kEnterprise | kPersonal } },
        { "NT plain 6a",
            [] {
                auto f = Plain(Info(4, 0, 1381, kIdWin32NT, "Service Pack 6"));
                f.hotfixQ246009 = true;
                return f;
            },
            { kPlatformNT, 4, 0, 1381, 6, 1 } },
        { "CE", [] { return Plain(Info(4, 20, 1081, kIdWin32CE)); }, { kPlatformCE, 4, 20, 1081 } },
        { "Win32s", [] { return Plain(Info(1, 30, 160, kIdWin32s, "Win32s")); }, { kPlatformWin32s, 3, 10, 0 },
            [](const WINDOWS_VERSION_INFO& v) {
                EXPECT_EQ(v.dwEmulatedPlatformId, kPlatform9x);
                EXPECT_EQ(v.dwEmulatedMajorVersion, 1u);
                EXPECT_EQ(v.dwEmulatedMinorVersion, 30u);
                EXPECT_STREQ(v.szUnderlyingCSDVersion, "");
                EXPECT_STREQ(v.szEmulatedCSDVersion, "Win32s");
            } },
        { "the old packed query with a CSDVersion text",
            [] {
                WindowsVersionFacts f;
                f.hasGetVersionEx = false;
                f.packedVersion = 0x05650004; // 4.0 (the high word is the build's, unread)
                f.csdVersionText = "Service Pack 5";
                return f;
            },
            { kPlatformNT, 4, 0, 0, 5, 0 } },
        { "the old packed query with a CSDVersion number",
            [] {
                WindowsVersionFacts f;
                f.hasGetVersionEx = false;
                f.packedVersion = 0x0A03;
                f.csdVersionNumber = 0x0300;
                return f;
            },
            { kPlatformNT, 3, 10, 0, 3, 0 } },
        { "the processor from both queries",
            [] {
                auto f = Extended(Info(6, 1, 7601, kIdWin32NT));
                f.processorArchitecture = kArchX86;
                f.nativeProcessorArchitecture = kArchX64;
                return f;
            },
            { kPlatformNT, 6, 1, 7601 },
            [](const WINDOWS_VERSION_INFO& v) {
                EXPECT_EQ(v.dwEmulatedProcessorType, 1u);
                EXPECT_EQ(v.dwUnderlyingProcessorType, 6u);
            } },
        { "the processor without the native query",
            [] {
                auto f = Plain(Info(4, 10, 2222, kIdWin32Windows));
                f.processorArchitecture = kArchMips;
                return f;
            },
            { kPlatform9x, 4, 10, 2222 },
            [](const WINDOWS_VERSION_INFO& v) {
                EXPECT_EQ(v.dwEmulatedProcessorType, 2u);
                EXPECT_EQ(v.dwUnderlyingProcessorType, 2u);
            } },
        { "a long service-pack text is cut to fit",
            [] { return Extended(Info(5, 1, 2600, kIdWin32NT, std::string(300, 'x'), 0)); },
            { kPlatformNT, 5, 1, 2600 },
            [](const WINDOWS_VERSION_INFO& v) {
                EXPECT_EQ(std::strlen(v.szEmulatedCSDVersion), 127u);
                EXPECT_EQ(std::strlen(v.szUnderlyingCSDVersion), 127u);
            } },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        WINDOWS_VERSION_INFO v;
        std::memset(&v, 0xAB, sizeof v); // zeroed by the decoder
        ASSERT_TRUE(DecodeWindowsVersion(row.facts(), v));
        Check(v, row.expect);
        if (row.more)
            row.more(v);
    }

    // What makes detection fail.
    WINDOWS_VERSION_INFO v {};
    WindowsVersionFacts noLibrary = Extended(Info(5, 1, 2600, kIdWin32NT));
    noLibrary.kernel32 = false;
    EXPECT_FALSE(DecodeWindowsVersion(noLibrary, v));
    EXPECT_FALSE(DecodeWindowsVersion(WindowsVersionFacts {}, v)) << "both version queries failed";
}

TEST(WindowsVersion, DetectOnThisMachineIsTheKernelOnPlatformFive)
{
    struct utsname name { };
    ASSERT_EQ(uname(&name), 0);
    const platform::KernelVersion kernel = platform::ParseKernelRelease(name.release);
    WINDOWS_VERSION_INFO v {};
    ASSERT_TRUE(g_WindowsVersion.Detect(v));
    EXPECT_EQ(v.dwEmulatedPlatformId, kPlatformLinux);
    EXPECT_EQ(v.dwUnderlyingPlatformId, kPlatformLinux);
    EXPECT_EQ(v.dwUnderlyingMajorVersion, kernel.major);
    EXPECT_EQ(v.dwUnderlyingMinorVersion, kernel.minor);
    EXPECT_EQ(v.dwUnderlyingBuildNumber, kernel.patch & 0xFFFF);
    EXPECT_EQ(v.dwEmulatedMajorVersion, kernel.major);
    EXPECT_STREQ(v.szEmulatedCSDVersion, "");
    EXPECT_EQ(v.dwSuiteMask, 0u);
    EXPECT_EQ(v.dwProductType, 0u);
    EXPECT_TRUE(TrueVersionPredicates(v).empty());
    if (sizeof(void*) == 8 && std::string(name.machine) == "x86_64") {
        EXPECT_EQ(v.dwEmulatedProcessorType, 6u);
        EXPECT_EQ(v.dwUnderlyingProcessorType, 6u);
        EXPECT_FALSE(g_WindowsVersion.IsWow64());
    }

    struct Case {
        const char* name;
        platform::OsFacts facts;
        bool detects;
        bool wow64;
        DWORD processor;
        DWORD underlyingProcessor;
    };
    const auto facts = [](const char* build, const char* machine) {
        platform::OsFacts f;
        f.ok = true;
        f.kernel = { 6, 1, 70000 };
        f.buildArchitecture = build;
        f.machine = machine;
        return f;
    };
    const Case cases[] = {
        { "a 32-bit build on a 64-bit kernel", facts("i386", "x86_64"), true, true, 1, 6 },
        { "64 on 64", facts("x86_64", "x86_64"), true, false, 6, 6 },
        { "arm on aarch64", facts("arm", "aarch64"), true, true, 9, 0 },
        { "a failing probe", platform::OsFacts {}, false, false, 0, 0 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const platform::ScopedOsVersionProbe probe([&c] { return c.facts; });
        WINDOWS_VERSION_INFO r {};
        EXPECT_EQ(g_WindowsVersion.Detect(r), c.detects);
        EXPECT_EQ(g_WindowsVersion.IsWow64(), c.wow64);
        EXPECT_EQ(r.dwEmulatedProcessorType, c.processor);
        EXPECT_EQ(r.dwUnderlyingProcessorType, c.underlyingProcessor);
        if (c.detects) {
            EXPECT_EQ(r.dwUnderlyingBuildNumber, 70000u & 0xFFFF);
        }
    }
}

} // namespace
