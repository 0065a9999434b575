#include "shell/WindowsVersion.h"

#include <QString>

#include <algorithm>
#include <cctype>
#include <cstring>

using namespace windows_version;

CWindowsVersion g_WindowsVersion;

namespace {

bool SameText(const std::string& a, const char* b)
{
    return QString::fromStdString(a).compare(QString::fromUtf8(b), Qt::CaseInsensitive) == 0;
}

// Copies `text` into a 128-byte field, cut to fit and zero-terminated.
void CopyText(char (&field)[128], const std::string& text)
{
    const std::size_t n = std::min(text.size(), sizeof field - 1);
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

// The first run of digits in a text as a number; 0 when there is none.
WORD FirstNumber(const std::string& text)
{
    const auto digit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
    const auto start = std::find_if(text.begin(), text.end(), digit);
    unsigned value = 0;
    for (auto it = start; it != text.end() && digit(*it); ++it)
        value = std::min(value * 10 + static_cast<unsigned>(*it - '0'), 0xFFFFu);
    return static_cast<WORD>(value);
}

DWORD EditionOfSuites(WORD suites)
{
    struct Map {
        WORD suite;
        DWORD flag;
    };
    static constexpr Map kMap[] = {
        { kSuiteSmallBusiness, kSmallBusiness },
        { kSuiteEnterprise, kEnterprise },
        { kSuiteTerminal, kTerminalServices },
        { kSuiteDatacenter, kDatacenter },
        { kSuitePersonal, kPersonal },
        { kSuiteBlade, kWebEdition },
        { kSuiteEmbeddedNT, kEmbedded },
        { kSuiteSingleUserTS, kRemoteAdministration },
        { kSuiteComputeServer, kComputeClusterServer },
        { kSuiteStorageServer, kStorageServer },
        { kSuiteSecurityAppliance, kSecurityAppliance },
        { kSuiteBackOffice, kBackOffice },
        { kSuiteHomeServer, kHomeServer },
    };
    DWORD flags = 0;
    for (const Map& m : kMap)
        if (suites & m.suite)
            flags |= m.flag;
    return flags;
}

DWORD EditionOfProductInfo(DWORD product)
{
    switch (product) {
    case 1:
        return kUltimate;
    case 2:
        return kHomeBasic;
    case 3:
        return kHomePremium;
    case 4:
        return kEnterprise;
    case 5:
        return kHomeBasicN;
    case 6:
        return kBusiness;
    case 11:
        return kStarter;
    case 16:
        return kBusinessN;
    default:
        return 0;
    }
}

DWORD BuildTypeOf(const std::string& currentType)
{
    if (SameText(currentType, "Uniprocessor Free"))
        return kUniprocessorFree;
    if (SameText(currentType, "Uniprocessor Checked"))
        return kUniprocessorChecked;
    if (SameText(currentType, "Multiprocessor Free"))
        return kMultiprocessorFree;
    if (SameText(currentType, "Multiprocessor Checked"))
        return kMultiprocessorChecked;
    return 0;
}

void CopySeenToUnderlying(WINDOWS_VERSION_INFO& info)
{
    info.dwUnderlyingMajorVersion = info.dwEmulatedMajorVersion;
    info.dwUnderlyingMinorVersion = info.dwEmulatedMinorVersion;
    info.dwUnderlyingBuildNumber = info.dwEmulatedBuildNumber;
    info.dwUnderlyingPlatformId = info.dwEmulatedPlatformId;
    std::memcpy(info.szUnderlyingCSDVersion, info.szEmulatedCSDVersion, sizeof info.szUnderlyingCSDVersion);
    info.wUnderlyingServicePackMajor = info.wEmulatedServicePackMajor;
    info.wUnderlyingServicePackMinor = static_cast<std::int16_t>(info.wEmulatedServicePackMinor);
}

void SetServicePack(WINDOWS_VERSION_INFO& info, WORD major, WORD minor)
{
    info.wEmulatedServicePackMajor = major;
    info.wEmulatedServicePackMinor = minor;
    info.wUnderlyingServicePackMajor = major;
    info.wUnderlyingServicePackMinor = static_cast<std::int16_t>(minor);
}

// The domain-controller bits of the "ProductType" text (the extended form).
void ApplyDomainControllerText(const WindowsVersionFacts& facts, WINDOWS_VERSION_INFO& info)
{
    if (!facts.productType)
        return;
    if (SameText(*facts.productType, "LANMANNT"))
        info.dwSuiteMask |= kPrimaryDomainController;
    else if (SameText(*facts.productType, "LANSECNT"))
        info.dwSuiteMask |= kBackupDomainController;
}

// Step 6: the 6a and 1a service packs and the build type.
void ApplyCorrections(const WindowsVersionFacts& facts, WINDOWS_VERSION_INFO& info)
{
    if (info.dwUnderlyingMajorVersion == 4 && info.wUnderlyingServicePackMajor == 6 && facts.hotfixQ246009)
        SetServicePack(info, 6, 1);
    if (info.dwUnderlyingMajorVersion == 5 && info.dwUnderlyingMinorVersion > 0 && info.wUnderlyingServicePackMajor == 1
        && facts.subVersionNumber && SameText(*facts.subVersionNumber, "a"))
        SetServicePack(info, 1, 1);
    if (facts.currentType)
        info.dwSuiteMask |= BuildTypeOf(*facts.currentType);
}

void DecodeExtended(
    const WindowsVersionFacts& facts, const WindowsVersionFacts::VersionInfo& v, WINDOWS_VERSION_INFO& info)
{
    info.dwEmulatedMajorVersion = v.major;
    info.dwEmulatedMinorVersion = v.minor;
    info.dwEmulatedBuildNumber = v.build & 0xFFFF;
    CopyText(info.szEmulatedCSDVersion, v.csdVersion);
    info.wEmulatedServicePackMajor = v.servicePackMajor;
    info.wEmulatedServicePackMinor = v.servicePackMinor;
    info.dwSuiteMask |= EditionOfSuites(v.suiteMask);
    switch (v.productType) {
    case kNtDomainController:
        info.dwProductType = kProductDomainController;
        break;
    case kNtServer:
        info.dwProductType = kProductServer;
        break;
    default:
        info.dwProductType = kProductWorkstation;
        break;
    }
    ApplyDomainControllerText(facts, info);
    if (facts.mediaCenterMetric || (facts.mediaCenterInstalled && *facts.mediaCenterInstalled != 0))
        info.dwSuiteMask |= kMediaCenter;
    if (facts.tabletPcMetric || (facts.tabletPcInstalled && *facts.tabletPcInstalled != 0))
        info.dwSuiteMask |= kTabletPC;
    if (facts.starterMetric)
        info.dwSuiteMask |= kStarter;
    if (facts.serverR2Metric)
        info.dwSuiteMask |= kServerR2;
    if (facts.productInfo)
        info.dwSuiteMask |= EditionOfProductInfo(*facts.productInfo);
    switch (v.platformId) {
    case kIdWin32Windows:
        info.dwEmulatedPlatformId = kPlatform9x;
        break;
    case kIdWin32NT:
        info.dwEmulatedPlatformId = kPlatformNT;
        break;
    case kIdWin32CE:
        info.dwEmulatedPlatformId = kPlatformCE;
        break;
    default:
        break;
    }
    CopySeenToUnderlying(info);
    ApplyCorrections(facts, info);
}

void DecodePlainNT(const WindowsVersionFacts& facts, WINDOWS_VERSION_INFO& info)
{
    info.dwEmulatedPlatformId = kPlatformNT;
    info.wEmulatedServicePackMajor = FirstNumber(info.szEmulatedCSDVersion);
    info.wEmulatedServicePackMinor = 0;
    if (facts.productType) {
        const std::string& type = *facts.productType;
        if (SameText(type, "LANMANNT")) {
            info.dwProductType = kProductDomainController;
            info.dwSuiteMask |= kPrimaryDomainController;
        } else if (SameText(type, "SERVERNT")) {
            info.dwProductType = kProductServer;
        } else if (SameText(type, "LANSECNT")) {
            info.dwProductType = kProductDomainController;
            info.dwSuiteMask |= kBackupDomainController;
        } else if (SameText(type, "WinNT")) {
            info.dwProductType = kProductWorkstation;
        }
    }
    if (facts.productSuite) {
        for (const std::string& suite : *facts.productSuite) {
            if (SameText(suite, "Terminal Server"))
                info.dwSuiteMask |= kTerminalServices;
            else if (SameText(suite, "SBS") || SameText(suite, "Small Business"))
                info.dwSuiteMask |= kSmallBusiness;
            else if (SameText(suite, "Enterprise"))
                info.dwSuiteMask |= kEnterprise;
            else if (SameText(suite, "Personal"))
                info.dwSuiteMask |= kPersonal;
        }
    }
    if (facts.tsAppCompat && *facts.tsAppCompat == 0)
        info.dwSuiteMask |= kRemoteAdministration;
    CopySeenToUnderlying(info);
    ApplyCorrections(facts, info);
}

void Decode9xServicePack(WINDOWS_VERSION_INFO& info)
{
    const DWORD build = info.dwEmulatedBuildNumber;
    const DWORD minor = info.dwEmulatedMinorVersion;
    if (minor < 10) {
        if (build >= 951 && build <= 1080)
            SetServicePack(info, 1, 0);
        else if (build >= 1081 && build <= 1213)
            SetServicePack(info, 2, 0);
        else if (build >= 1214)
            SetServicePack(info, 2, 5);
    } else if (minor == 10 && build >= 1999 && build <= 2182) {
        SetServicePack(info, 1, 0);
    }
}

void DecodePlain(
    const WindowsVersionFacts& facts, const WindowsVersionFacts::VersionInfo& v, WINDOWS_VERSION_INFO& info)
{
    info.dwEmulatedMajorVersion = v.major;
    info.dwEmulatedMinorVersion = v.minor;
    info.dwEmulatedBuildNumber = v.build & 0xFFFF;
    CopyText(info.szEmulatedCSDVersion, v.csdVersion);
    switch (v.platformId) {
    case kIdWin32Windows:
        info.dwEmulatedPlatformId = kPlatform9x;
        info.dwProductType = kProductWorkstation;
        CopySeenToUnderlying(info);
        Decode9xServicePack(info);
        break;
    case kIdWin32NT:
        DecodePlainNT(facts, info);
        break;
    case kIdWin32CE:
        info.dwEmulatedPlatformId = kPlatformCE;
        info.dwProductType = kProductWorkstation;
        CopySeenToUnderlying(info);
        break;
    case kIdWin32s:
        // A 32-bit program on Windows 3.1: the host underneath.
        info.dwEmulatedPlatformId = kPlatform9x;
        info.dwUnderlyingMajorVersion = 3;
        info.dwUnderlyingMinorVersion = 10;
        info.dwUnderlyingBuildNumber = 0;
        info.dwUnderlyingPlatformId = kPlatformWin32s;
        info.szUnderlyingCSDVersion[0] = '\0';
        break;
    default:
        break;
    }
}

} // namespace

DWORD ProcessorCodeOfArchitecture(unsigned architecture)
{
    static constexpr DWORD kCodes[] = { 1, 2, 3, 4, 10, 9, 5, 7, 8, 6, 1 };
    return architecture < std::size(kCodes) ? kCodes[architecture] : 0;
}

WORD ArchitectureOfMachine(const std::string& machine)
{
    std::string m = machine;
    std::transform(m.begin(), m.end(), m.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const auto starts = [&m](const char* head) { return m.rfind(head, 0) == 0; };
    if (m == "x86_64" || m == "amd64")
        return kArchX64;
    if (m.size() == 4 && m[0] == 'i' && m[1] >= '3' && m[1] <= '6' && m.compare(2, 2, "86") == 0)
        return kArchX86;
    if (starts("aarch64") || starts("arm64"))
        return kArchArm64;
    if (starts("arm"))
        return kArchArm;
    if (m == "ia64")
        return kArchIa64;
    if (starts("mips"))
        return kArchMips;
    if (starts("ppc") || starts("power"))
        return kArchPowerPC;
    if (starts("alpha"))
        return kArchAlpha;
    return kArchUnknown;
}

bool DecodeWindowsVersion(const WindowsVersionFacts& facts, WINDOWS_VERSION_INFO& info)
{
    info = WINDOWS_VERSION_INFO {};
    if (!facts.kernel32)
        return false;
    if (!facts.hasGetVersionEx) {
        // The old packed query: NT by assumption.
        info.dwEmulatedMajorVersion = facts.packedVersion & 0xFF;
        info.dwEmulatedMinorVersion = (facts.packedVersion >> 8) & 0xFF;
        info.dwEmulatedBuildNumber = 0;
        info.dwEmulatedPlatformId = kPlatformNT;
        WORD servicePack = 0;
        if (facts.csdVersionText)
            servicePack = FirstNumber(*facts.csdVersionText);
        else if (facts.csdVersionNumber)
            servicePack = static_cast<WORD>((*facts.csdVersionNumber >> 8) & 0xFF);
        info.wEmulatedServicePackMajor = servicePack;
        CopySeenToUnderlying(info);
    } else if (facts.extended) {
        DecodeExtended(facts, *facts.extended, info);
    } else if (facts.plain) {
        DecodePlain(facts, *facts.plain, info);
    } else {
        return false;
    }
    // Step 7: the processor, of the real system when the native query is there.
    info.dwEmulatedProcessorType = ProcessorCodeOfArchitecture(facts.processorArchitecture);
    info.dwUnderlyingProcessorType
        = ProcessorCodeOfArchitecture(facts.nativeProcessorArchitecture.value_or(facts.processorArchitecture));
    return true;
}

bool DecodeOsFacts(const platform::OsFacts& facts, WINDOWS_VERSION_INFO& info)
{
    info = WINDOWS_VERSION_INFO {};
    if (!facts.ok)
        return false;
    const auto clamp
        = [](unsigned long value) { return static_cast<DWORD>(std::min<unsigned long>(value, 0xFFFFFFFFul)); };
    info.dwEmulatedMajorVersion = clamp(facts.kernel.major);
    info.dwEmulatedMinorVersion = clamp(facts.kernel.minor);
    info.dwEmulatedBuildNumber = static_cast<DWORD>(facts.kernel.patch & 0xFFFF);
    info.dwEmulatedPlatformId = kPlatformLinux;
    CopySeenToUnderlying(info);
    info.dwEmulatedProcessorType = ProcessorCodeOfArchitecture(ArchitectureOfMachine(facts.buildArchitecture));
    info.dwUnderlyingProcessorType = ProcessorCodeOfArchitecture(ArchitectureOfMachine(facts.machine));
    return true;
}

bool CWindowsVersion::Detect(WINDOWS_VERSION_INFO& info) const
{
    return DecodeOsFacts(platform::ProbeOsVersion(), info);
}

namespace {

bool Is64BitArchitecture(const std::string& name)
{
    std::string m = name;
    std::transform(m.begin(), m.end(), m.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return m.find("64") != std::string::npos || m == "s390x" || m == "alpha";
}

} // namespace

bool CWindowsVersion::IsWow64() const
{
    const platform::OsFacts facts = platform::ProbeOsVersion();
    return facts.ok && !Is64BitArchitecture(facts.buildArchitecture) && Is64BitArchitecture(facts.machine);
}

// ---- Predicates: the underlying fields, the edition flags and the product type only ----

namespace {

bool On(const WINDOWS_VERSION_INFO& v, DWORD platform)
{
    return v.dwUnderlyingPlatformId == platform;
}

bool Version(const WINDOWS_VERSION_INFO& v, DWORD platform, DWORD major, DWORD minor)
{
    return On(v, platform) && v.dwUnderlyingMajorVersion == major && v.dwUnderlyingMinorVersion == minor;
}

bool BuildIn(const WINDOWS_VERSION_INFO& v, DWORD low, DWORD high)
{
    return v.dwUnderlyingBuildNumber >= low && v.dwUnderlyingBuildNumber <= high;
}

bool Flag(const WINDOWS_VERSION_INFO& v, DWORD flag)
{
    return (v.dwSuiteMask & flag) != 0;
}

} // namespace

bool CWindowsVersion::IsWindows3x(const WINDOWS_VERSION_INFO& v) const
{
    return On(v, kPlatformWin32s);
}
bool CWindowsVersion::IsWindowsCE(const WINDOWS_VERSION_INFO& v) const
{
    return On(v, kPlatformCE);
}
bool CWindowsVersion::IsWindows95(const WINDOWS_VERSION_INFO& v) const
{
    return Version(v, kPlatform9x, 4, 0) && v.dwUnderlyingBuildNumber == 950;
}
bool CWindowsVersion::IsWindows95SP1(const WINDOWS_VERSION_INFO& v) const
{
    return On(v, kPlatform9x) && v.dwUnderlyingMajorVersion == 4 && BuildIn(v, 951, 1080);
}
bool CWindowsVersion::IsWindows95OSR2(const WINDOWS_VERSION_INFO& v) const
{
    return On(v, kPlatform9x) && v.dwUnderlyingMajorVersion == 4 && v.dwUnderlyingMinorVersion < 10
        && BuildIn(v, 1081, 1213);
}
bool CWindowsVersion::IsWindows95OSR25(const WINDOWS_VERSION_INFO& v) const
{
    return On(v, kPlatform9x) && v.dwUnderlyingMajorVersion == 4 && v.dwUnderlyingMinorVersion < 10
        && v.dwUnderlyingBuildNumber >= 1214;
}
bool CWindowsVersion::IsWindows98(const WINDOWS_VERSION_INFO& v) const
{
    return Version(v, kPlatform9x, 4, 10) && v.dwUnderlyingBuildNumber == 1998;
}
bool CWindowsVersion::IsWindows98SP1(const WINDOWS_VERSION_INFO& v) const
{
    return Version(v, kPlatform9x, 4, 10) && BuildIn(v, 1999, 2182);
}
bool CWindowsVersion::IsWindows98SE(const WINDOWS_VERSION_INFO& v) const
{
    return Version(v, kPlatform9x, 4, 10) && v.dwUnderlyingBuildNumber >= 2183;
}
bool CWindowsVersion::IsWindowsMe(const WINDOWS_VERSION_INFO& v) const
{
    return Version(v, kPlatform9x, 4, 90);
}
bool CWindowsVersion::IsWindowsNT31(const WINDOWS_VERSION_INFO& v) const
{
    return Version(v, kPlatformNT, 3, 10);
}
bool CWindowsVersion::IsWindowsNT35(const WINDOWS_VERSION_INFO& v) const
{
    return Version(v, kPlatformNT, 3, 50);
}
bool CWindowsVersion::IsWindowsNT351(const WINDOWS_VERSION_INFO& v) const
{
    return Version(v, kPlatformNT, 3, 51);
}
bool CWindowsVersion::IsWindowsNT4(const WINDOWS_VERSION_INFO& v) const
{
    return On(v, kPlatformNT) && v.dwUnderlyingMajorVersion == 4;
}
bool CWindowsVersion::IsWindowsNTUpTo4(const WINDOWS_VERSION_INFO& v) const
{
    return On(v, kPlatformNT) && v.dwUnderlyingMajorVersion <= 4;
}
bool CWindowsVersion::IsNTWorkstation(const WINDOWS_VERSION_INFO& v) const
{
    return IsWindowsNTUpTo4(v) && v.dwProductType == kProductWorkstation;
}
bool CWindowsVersion::IsNTServer(const WINDOWS_VERSION_INFO& v) const
{
    return IsWindowsNTUpTo4(v) && v.dwProductType == kProductServer;
}
bool CWindowsVersion::IsNTPrimaryDomainController(const WINDOWS_VERSION_INFO& v) const
{
    return IsWindowsNTUpTo4(v) && v.dwProductType == kProductDomainController && Flag(v, kPrimaryDomainController);
}
bool CWindowsVersion::IsNTBackupDomainController(const WINDOWS_VERSION_INFO& v) const
{
    return IsWindowsNTUpTo4(v) && v.dwProductType == kProductDomainController && Flag(v, kBackupDomainController);
}
bool CWindowsVersion::IsNTEnterpriseServer(const WINDOWS_VERSION_INFO& v) const
{
    return IsWindowsNTUpTo4(v) && Flag(v, kEnterprise);
}
bool CWindowsVersion::IsNTDatacenterServer(const WINDOWS_VERSION_INFO& v) const
{
    return IsWindowsNTUpTo4(v) && Flag(v, kDatacenter);
}
bool CWindowsVersion::IsWindows2000(const WINDOWS_VERSION_INFO& v) const
{
    return Version(v, kPlatformNT, 5, 0);
}
bool CWindowsVersion::IsWindows2000Professional(const WINDOWS_VERSION_INFO& v) const
{
    return IsWindows2000(v) && v.dwProductType == kProductWorkstation;
}
bool CWindowsVersion::IsWindows2000Server(const WINDOWS_VERSION_INFO& v) const
{
    return IsWindows2000(v) && v.dwProductType == kProductServer;
}
bool CWindowsVersion::IsWindows2000AdvancedServer(const WINDOWS_VERSION_INFO& v) const
{
    return IsWindows2000(v) && Flag(v, kEnterprise);
}
bool CWindowsVersion::IsWindows2000DatacenterServer(const WINDOWS_VERSION_INFO& v) const
{
    return IsWindows2000(v) && Flag(v, kDatacenter);
}
bool CWindowsVersion::IsWindows2000DomainController(const WINDOWS_VERSION_INFO& v) const
{
    return IsWindows2000(v) && v.dwProductType == kProductDomainController;
}
bool CWindowsVersion::IsWindowsXPOrServer2003(const WINDOWS_VERSION_INFO& v) const
{
    return On(v, kPlatformNT) && v.dwUnderlyingMajorVersion == 5 && v.dwUnderlyingMinorVersion != 0;
}
bool CWindowsVersion::IsWindowsXPHome(const WINDOWS_VERSION_INFO& v) const
{
    return IsWindowsXPOrServer2003(v) && Flag(v, kPersonal);
}
bool CWindowsVersion::IsWindowsXPProfessional(const WINDOWS_VERSION_INFO& v) const
{
    return IsWindowsXPOrServer2003(v) && v.dwProductType == kProductWorkstation && !IsWindowsXPHome(v);
}
bool CWindowsVersion::IsWindowsXP(const WINDOWS_VERSION_INFO& v) const
{
    return IsWindowsXPHome(v) || IsWindowsXPProfessional(v);
}
bool CWindowsVersion::IsServer2003Web(const WINDOWS_VERSION_INFO& v) const
{
    return IsWindowsXPOrServer2003(v) && Flag(v, kWebEdition) && !Flag(v, kServerR2);
}
bool CWindowsVersion::IsServer2003(const WINDOWS_VERSION_INFO& v) const
{
    return IsWindowsXPOrServer2003(v) && v.dwProductType == kProductServer && !Flag(v, kServerR2);
}
bool CWindowsVersion::IsServer2003Enterprise(const WINDOWS_VERSION_INFO& v) const
{
    return IsWindowsXPOrServer2003(v) && Flag(v, kEnterprise) && !Flag(v, kServerR2);
}
bool CWindowsVersion::IsServer2003Datacenter(const WINDOWS_VERSION_INFO& v) const
{
    return IsWindowsXPOrServer2003(v) && Flag(v, kDatacenter) && !Flag(v, kServerR2);
}
bool CWindowsVersion::IsServer2003DomainController(const WINDOWS_VERSION_INFO& v) const
{
    return IsWindowsXPOrServer2003(v) && v.dwProductType == kProductDomainController && !Flag(v, kServerR2);
}
bool CWindowsVersion::IsServer2003R2Web(const WINDOWS_VERSION_INFO& v) const
{
    return IsWindowsXPOrServer2003(v) && Flag(v, kWebEdition) && Flag(v, kServerR2);
}
bool CWindowsVersion::IsServer2003R2(const WINDOWS_VERSION_INFO& v) const
{
    return IsWindowsXPOrServer2003(v) && v.dwProductType == kProductServer && Flag(v, kServerR2);
}
bool CWindowsVersion::IsServer2003R2Enterprise(const WINDOWS_VERSION_INFO& v) const
{
    return IsWindowsXPOrServer2003(v) && Flag(v, kEnterprise) && Flag(v, kServerR2);
}
bool CWindowsVersion::IsServer2003R2Datacenter(const WINDOWS_VERSION_INFO& v) const
{
    return IsWindowsXPOrServer2003(v) && Flag(v, kDatacenter) && Flag(v, kServerR2);
}
bool CWindowsVersion::IsServer2003R2DomainController(const WINDOWS_VERSION_INFO& v) const
{
    return IsWindowsXPOrServer2003(v) && v.dwProductType == kProductDomainController && Flag(v, kServerR2);
}
bool CWindowsVersion::IsVistaOrLaterWorkstation(const WINDOWS_VERSION_INFO& v) const
{
    return On(v, kPlatformNT) && v.dwProductType == kProductWorkstation && v.dwUnderlyingMajorVersion >= 6;
}
bool CWindowsVersion::IsServer2008OrLater(const WINDOWS_VERSION_INFO& v) const
{
    return On(v, kPlatformNT) && v.dwProductType == kProductServer && v.dwUnderlyingMajorVersion > 5;
}
bool CWindowsVersion::IsServer2008Web(const WINDOWS_VERSION_INFO& v) const
{
    return IsServer2008OrLater(v) && Flag(v, kWebEdition);
}
bool CWindowsVersion::IsServer2008Enterprise(const WINDOWS_VERSION_INFO& v) const
{
    return IsServer2008OrLater(v) && Flag(v, kEnterprise);
}
bool CWindowsVersion::IsServer2008Datacenter(const WINDOWS_VERSION_INFO& v) const
{
    return IsServer2008OrLater(v) && Flag(v, kDatacenter);
}
