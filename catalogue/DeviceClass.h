#pragma once
// The device class record: the template from which one kind of chip is programmed, and the
// working record of the selected chip (g_CurrentDevice) that every operation reads.
//
// Records copy by value. A PIC class's configuration descriptor is owned by its record and
// copied with it, so the current device never shares state with the class table.

#include <array>
#include <cstdint>
#include <memory>
#include <string>

// Device categories (m_nType, and the category of a device record).
constexpr int kCategoryAll = 0;
constexpr int kCategoryEprom = 1;
constexpr int kCategoryEeprom = 2;
constexpr int kCategoryFlash = 3;
constexpr int kCategoryMcu = 4;
constexpr int kCategorySerialEprom = 5;
constexpr int kCategorySram = 6;
constexpr int kCategoryGalCpld = 7;
constexpr int kCategoryCmos = 8;
constexpr int kCategoryTtl = 9;
constexpr int kCategoryNotGiven = 10; // device records only

constexpr int kDeviceClassCount = 327;
constexpr int kNoDeviceClass = 326; // never filled: "no device selected"
constexpr int kFirstPicClass = 312;
constexpr int kLastPicClass = 325;

// Positions in CPicConfigInfo::m_Command. Positions 1 and 7 have no device list key.
enum PicCommandIndex : int {
    kCmdLdConf = 0,
    kCmdUnnamed1 = 1,
    kCmdLdCode = 2,
    kCmdLdData = 3,
    kCmdRdCode = 4,
    kCmdRdData = 5,
    kCmdIncAdd = 6,
    kCmdUnnamed7 = 7,
    kBegPrgCommand = 8,
    kBegEraseCodeCommand = 9,
    kBegEraseDataCommand = 10,
    kEndPrgCommand = 11,
    kEraseChipCommand = 12,
    kBegEraseChipCommand = 13,
    kSkipWriteBlank = 14,
    kPageWriteSize = 15,
    kDataPageWriteSize = 16,
    kCfgPageWriteSize = 17,
    kPicCommandCount = 18,
};

// The configuration descriptor of a PIC class.
struct CPicConfigInfo {
    std::uint8_t m_nCoreBits = 0; // 12, 14 or 16
    std::uint8_t m_bEnabled = 0;
    std::uint8_t m_bHasOscCal = 0;
    std::int32_t m_nConfigAddress = 0x2007; // words; 0x300000 for 16-bit cores
    std::array<std::uint8_t, 32> m_ConfigMask = FilledBytes(0xFF);
    std::array<std::uint8_t, 32> m_ConfigValue = FilledBytes(0);
    std::int32_t m_nDeviceIdAddress = 0x2006;
    std::int32_t m_nIdAddress = 0x2000;
    std::int32_t m_nConfigMemoryWords = 8;
    std::array<std::array<std::string, 8>, 32> m_strBitName = DashNames(); // [byte][bit], bit 0 first
    std::int32_t m_nReserved1 = 0;
    std::int32_t m_nReserved2 = 0;
    std::int32_t m_nConfigBytes = 2;
    std::int32_t m_nConfigHexAddress = 0x400E;
    std::int32_t m_nIdHexAddress = 0x4000;
    std::int32_t m_nEepromHexAddress = 0x4200;
    std::int32_t m_nOscCalAddress = 1023;
    std::array<std::string, 5> m_strRegisterName {};
    std::array<std::int32_t, 5> m_nRegisterValue { -1, -1, -1, -1, -1 };
    std::uint8_t m_nProgramMode = 1;
    // The PIC16 serial programming command codes, then the skip-blank flag and page sizes.
    std::array<std::uint8_t, kPicCommandCount> m_Command { 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 14, 31, 24, 1, 1, 1, 1 };
    std::array<std::uint8_t, 32> m_ConfigPresent = FilledBytes(0);
    std::uint16_t m_nIdMask = 0; // 0x3FE0 for 14-bit cores, 0xFFE0 for 16-bit, 0 for 12-bit
    std::uint16_t m_nDeviceId = 0; // the device ID after the mask; 0 where a class has none
    std::uint8_t m_nProgramLatch = 1; // words written per program-memory write
    std::uint8_t m_nDataLatch = 1;
    std::uint8_t m_nConfigLatch = 1;
    // m_ConfigValue holds words someone gave: a loaded file's configuration section, a read from
    // the chip, Set CFG bits or the configuration grid. The class table never sets it, so a
    // descriptor fresh from the table (a class change) starts without it. Writes and verifies of
    // the configuration words in a sequence take place only when it is set: the class defaults
    // are no safe thing to program.
    bool m_bConfigSupplied = false;

    // Length of buffer 2 (configuration memory from m_nIdAddress) and buffer 3 (configuration
    // words) in bytes.
    int ConfigMemoryBytes() const { return 2 * m_nConfigMemoryWords; }
    int ConfigWordBytes() const { return m_nConfigBytes; }

private:
    static std::array<std::uint8_t, 32> FilledBytes(std::uint8_t value)
    {
        std::array<std::uint8_t, 32> bytes;
        bytes.fill(value);
        return bytes;
    }
    static std::array<std::array<std::string, 8>, 32> DashNames()
    {
        std::array<std::array<std::string, 8>, 32> names;
        for (auto& byte : names)
            byte.fill("-");
        return names;
    }
};

// An owner of an optional CPicConfigInfo that copies the descriptor with it.
class PicConfigPtr {
public:
    PicConfigPtr() = default;
    PicConfigPtr(std::nullptr_t) { }
    explicit PicConfigPtr(const CPicConfigInfo& info)
        : m_info(std::make_unique<CPicConfigInfo>(info))
    {
    }
    PicConfigPtr(const PicConfigPtr& other)
        : m_info(other ? std::make_unique<CPicConfigInfo>(*other) : nullptr)
    {
    }
    PicConfigPtr(PicConfigPtr&&) noexcept = default;
    PicConfigPtr& operator=(const PicConfigPtr& other)
    {
        if (this != &other)
            m_info = other ? std::make_unique<CPicConfigInfo>(*other) : nullptr;
        return *this;
    }
    PicConfigPtr& operator=(PicConfigPtr&&) noexcept = default;
    PicConfigPtr& operator=(std::nullptr_t)
    {
        m_info.reset();
        return *this;
    }

    explicit operator bool() const { return m_info != nullptr; }
    CPicConfigInfo* operator->() const { return m_info.get(); }
    CPicConfigInfo& operator*() const { return *m_info; }
    CPicConfigInfo* get() const { return m_info.get(); }

    friend bool operator==(const PicConfigPtr& p, std::nullptr_t) { return !p; }

private:
    std::unique_ptr<CPicConfigInfo> m_info;
};

class CDeviceClass {
public:
    std::int32_t m_nType = 0;
    std::string m_strManufacturer;
    std::string m_strName;
    std::string m_strGroup;
    std::uint8_t m_nVpp = 4;
    std::uint8_t m_nReadVpp = 0xFF;
    std::uint8_t m_nVcc = 12;
    std::uint8_t m_nWriteVcc = 12;
    std::uint8_t m_nBlankVcc = 0xFF;
    std::uint8_t m_nEraseVpp = 0xFF;
    std::uint8_t m_nEraseVcc = 0xFF;
    std::int32_t m_nCodeSize = 0;
    std::uint8_t m_nBusWidth = 1;
    std::int32_t m_nDataSize = 0;
    std::int32_t m_nPicParam = 0;
    std::int32_t m_nSignature = 0x1E9005;
    std::string m_strId = "1E9005";
    std::string m_strLockText = "0";
    std::string m_strFuseLabels;
    std::array<std::string, 5> m_strBufferTitle {};
    std::int32_t m_nAlgorithm = 0;
    std::string m_strCpldDip = "000000000000";
    std::uint8_t m_nSwitchA = 0x80;
    std::uint8_t m_nVccSwitch = 0x08;
    std::uint8_t m_nVppSwitch = 0x80;
    std::uint8_t m_nGndSwitch = 0;
    std::uint8_t m_nZif48U9 = 0;
    std::uint8_t m_nZif48Cfg = 0;
    std::uint8_t m_nVccAdjust = 0;
    std::uint8_t m_nDeviceAddress = 0;
    std::string m_strPackage = "DIP32";
    std::string m_strAdapter;
    std::string m_strMessage;
    std::string m_strPlatform;
    std::string m_strChipMode;
    std::string m_strTempUnprotect;
    std::uint8_t m_nSpeed = 5;
    std::string m_strDeviceFile;
    std::string m_strBufferMode = "8BIT";
    std::string m_strFirmwareId;
    std::string m_strFirmwareIdQ8U;
    std::int32_t m_nFirmwareNumber = 0;
    std::int32_t m_nFirmwareNumberQ8U = 0;
    std::string m_strClassFile;
    std::string m_strCtlBytes;
    std::uint8_t m_nDeviceIndex = 0;
    std::string m_strPinGnd;
    std::string m_strGndBytes;
    PicConfigPtr m_pPicConfig;
    // 2 for DIP24 and 4 for DIP28 parallel memories, else 0.
    std::uint8_t m_nPackageCode = 0;
};

// The number of bytes of the chip signature: the hex digit pairs of m_strId, or 0 when the
// text is not an even run of hex digits.
int SignatureLength(const CDeviceClass& device);

// The class table (entries filled by InitDeviceClassTable), the selected device after its
// record's overlay, and the device selected before it.
extern std::array<CDeviceClass, kDeviceClassCount> g_DeviceClassTable;
extern CDeviceClass g_CurrentDevice;
extern CDeviceClass g_PreviousDevice;

// The class index of the device set up or detected; kNoDeviceClass while none is. Only the
// device operations write it.
extern int g_nCurrentClass;
