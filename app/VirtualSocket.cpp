#include "app/VirtualSocket.h"

#include "catalogue/DeviceClassTable.h"

#include "platform/Trace.h"

#include <cstdlib>
#include <mutex>
#include <string>

namespace {

// An AVR's fuse bytes as they leave the factory (low, high, extended), as many as it has.
std::vector<std::uint8_t> FactoryFuses(int classIndex)
{
    switch (classIndex) {
    case 27: // ATtiny2313
    case 35:
        return { 0x64, 0xDF, 0xFF };
    case 37: // ATmega16
        return { 0xE1, 0x99 };
    default:
        return { 0xE1, 0xD9, 0xFF };
    }
}

bool Between(int index, int first, int last)
{
    return index >= first && index <= last;
}

std::vector<std::uint8_t> SignatureOf(const CDeviceClass& device)
{
    std::vector<std::uint8_t> bytes;
    const int n = SignatureLength(device);
    for (int i = 0; i < n; ++i)
        bytes.push_back(static_cast<std::uint8_t>(std::strtoul(device.m_strId.substr(2 * i, 2).c_str(), nullptr, 16)));
    if (bytes.size() < 2)
        bytes.resize(2, 0xFF);
    return bytes;
}

// A 1-Wire chip's 64-bit ROM: family code, a 48-bit serial number (least significant byte
// first), then the CRC-8 (x^8 + x^5 + x^4 + 1, bits least significant first) of those seven.
std::vector<std::uint8_t> OneWireRom(int index)
{
    std::vector<std::uint8_t> rom { static_cast<std::uint8_t>(index == 309 ? 0x23 : 0x2D), 0x5A, 0x3C, 0x91, 0x07, 0x00,
        0x00 };
    std::uint8_t crc = 0;
    for (std::uint8_t byte : rom) {
        for (int bit = 0; bit < 8; ++bit) {
            const bool mix = ((crc ^ byte) & 1) != 0;
            crc = static_cast<std::uint8_t>(crc >> 1);
            if (mix)
                crc ^= 0x8C;
            byte = static_cast<std::uint8_t>(byte >> 1);
        }
    }
    rom.push_back(crc);
    return rom;
}

// The classes whose erase and write take the temporary unprotect: their chips carry a protected
// boot sector, at the top of a top-boot part ("...T") and at the bottom of the others.
bool HasProtectedSector(int index)
{
    return index == 204 || index == 242 || Between(index, 256, 260) || Between(index, 264, 276)
        || Between(index, 278, 289) || index == 300;
}

sim::ChipCategory CategoryOf(const CDeviceClass& device, int index, bool& pageWrite, bool& none)
{
    using sim::ChipCategory;
    pageWrite = false;
    none = false;
    switch (device.m_nType) {
    case kCategoryEprom:
        return ChipCategory::Eprom;
    case kCategoryEeprom:
        return ChipCategory::ParallelEeprom;
    case kCategoryFlash:
        // The table files some parallel EEPROMs as flash: the 28C classes and HN58C1001.
        if (Between(index, 180, 182) || index == 261 || index == 263 || index == 155)
            return ChipCategory::ParallelEeprom;
        pageWrite = Between(index, 186, 196); // AT29C, W29EE, SST29EE: writes replace
        return ChipCategory::Flash;
    case kCategoryMcu:
        if (Between(index, kFirstPicClass, kLastPicClass) && device.m_pPicConfig)
            return ChipCategory::Pic;
        if (Between(index, 25, 32) || index == 35 || index == 37)
            return ChipCategory::Avr;
        if (index == 306 || index == 307)
            return ChipCategory::Eprom; // the UV-erased 8748
        return ChipCategory::Mcu8051;
    case kCategorySerialEprom:
        if (Between(index, 80, 92))
            return ChipCategory::Flash; // SPI flash
        if (index == 308 || index == 309)
            return ChipCategory::OneWire;
        if (index == 310 || index == 311)
            none = true; // JTAG parts
        return ChipCategory::SerialEeprom;
    case kCategorySram:
        return Between(index, 301, 305) ? ChipCategory::Nvram : ChipCategory::Sram;
    default:
        none = true;
        return ChipCategory::Eprom;
    }
}

} // namespace

std::optional<sim::ChipSpec> ChipSpecForDevice(const CDeviceClass& device, int classIndex)
{
    bool pageWrite = false;
    bool none = false;
    const sim::ChipCategory category = CategoryOf(device, classIndex, pageWrite, none);
    if (none || classIndex < 0 || classIndex >= kNoDeviceClass)
        return std::nullopt;
    sim::ChipSpec s = sim::ChipSpec::Make(category, static_cast<std::uint32_t>(std::max(device.m_nCodeSize, 0)));
    s.name = device.m_strName;
    s.pageWrite = pageWrite;
    s.data.size = static_cast<std::uint32_t>(std::max(device.m_nDataSize, 0));
    s.signature = SignatureOf(device);
    s.wordMode = device.m_nBusWidth == 2;
    s.packageCode = device.m_nPackageCode;
    s.protectableUpperHalf = device.m_strName.find("AT34C02") != std::string::npos;
    s.noReadStatus = classIndex == 90;
    if (category == sim::ChipCategory::OneWire)
        s.signature = OneWireRom(classIndex);
    if (category == sim::ChipCategory::Flash && HasProtectedSector(classIndex) && s.main.size >= 0x8000) {
        const std::uint32_t sector = 0x4000;
        const bool top = !s.name.empty() && s.name.back() == 'T';
        s.protectedBlocks = { { top ? s.main.size - sector : 0, sector } };
    }
    if (category == sim::ChipCategory::Avr)
        s.fuses = FactoryFuses(classIndex);
    if (category == sim::ChipCategory::SerialEeprom)
        s.eepromDecoded = EepromAddressPins(classIndex);
    if (category == sim::ChipCategory::Pic) {
        const CPicConfigInfo& pic = *device.m_pPicConfig;
        s.pic.coreBits = pic.m_nCoreBits;
        s.pic.idAddress = static_cast<std::uint32_t>(pic.m_nIdAddress);
        s.pic.configMemoryWords = static_cast<std::uint32_t>(pic.m_nConfigMemoryWords);
        s.pic.configWordCount = static_cast<std::uint32_t>(std::max(pic.m_nConfigBytes, 2) / 2);
        if (pic.m_nCoreBits == 16) {
            s.pic.configPosition = static_cast<std::uint32_t>(pic.m_nConfigAddress);
            s.pic.configWordAddress = s.pic.configPosition / 2;
        } else if (pic.m_nCoreBits == 12) {
            // The chip keeps its configuration word past the top of program memory, where the
            // programming-mode counter starts; the host reaches it as type 7 at word 0.
            s.pic.configWordAddress = sim::kPic12ConfigWord;
        } else {
            s.pic.configWordAddress = static_cast<std::uint32_t>(pic.m_nConfigAddress);
        }
        s.pic.deviceIdAddress = static_cast<std::uint32_t>(pic.m_nDeviceIdAddress);
        if (pic.m_bHasOscCal) {
            s.pic.osccalAddress = static_cast<std::uint32_t>(pic.m_nOscCalAddress);
            // A factory calibration as the part ships it: MOVLW k on a 12-bit core, RETLW k on a
            // 14-bit one.
            s.pic.osccalValue = pic.m_nCoreBits == 12 ? 0x0C70 : 0x3480;
        }
        if (pic.m_nDeviceId)
            s.signature
                = { static_cast<std::uint8_t>(pic.m_nDeviceId >> 8), static_cast<std::uint8_t>(pic.m_nDeviceId) };
    }
    // The programming voltage stays unchecked here: which socket pins carry it is the electrical
    // model's to tell.
    return s;
}

void FillJtagChain(sim::JtagChain& chain, int classIndex)
{
    chain.Clear();
    if (classIndex == 310 || classIndex == 311) {
        chain.Add(std::make_unique<sim::ModelCpld>());
    } else if (classIndex == 3 || classIndex == 4) {
        // The jig's CPLD, which configuration 486 programs, answers like the programmer's.
        sim::ModelCpldSpec facts;
        facts.idcode = sim::kProgrammerCpldIdcode;
        chain.Add(std::make_unique<sim::ModelCpld>(facts));
    }
}

void WatchVirtualSocket(sim::Box& box)
{
    struct State {
        std::mutex mutex;
        bool known = false;
        int index = kNoDeviceClass;
        std::string name;
    };
    auto state = std::make_shared<State>();
    auto follow = [state, &box](const std::uint8_t*, std::size_t) {
        const int index = g_nCurrentClass;
        std::lock_guard lock(state->mutex);
        if (state->known && state->index == index && state->name == g_CurrentDevice.m_strName)
            return; // the same device set up again: its chip keeps what it holds
        const CDeviceClass device = g_CurrentDevice;
        state->known = true;
        state->index = index;
        state->name = device.m_strName;
        auto& socket = box.ChipSocket();
        if (const auto chipSpec = ChipSpecForDevice(device, index)) {
            socket.Insert(*chipSpec);
            Trace("virtual programmer: a blank %s in the socket\n", chipSpec->name.c_str());
        } else {
            socket.Remove();
        }
        FillJtagChain(box.Jtag().SocketChain(), index);
    };
    box.Observe(22, follow);
    box.Observe(23, follow);
    // A JTAG part's setup may send neither: its first JTAG packet brings its chain.
    box.Observe(0x56, follow);
}
