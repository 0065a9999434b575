#pragma once
// What a chip in the virtual programmer's socket is: its category (which decides the physical
// rules of its memories), its regions, signature, pins, programming voltage and times, and the
// conditions a test may give it (weak bits, an algorithm gate, failing bytes, a failing erase).
// A value type: tests build chips by hand from datasheet facts; the program maps its selected
// device to one.

#include "platform/Clock.h"
#include "sim/PinRole.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sim {

enum class ChipCategory {
    Eprom, // UV-erased: blank 0xFF, programming clears bits, no electrical erase
    Flash, // programming clears bits until a chip erase
    ParallelEeprom, // a write replaces; no erase needed
    SerialEeprom, // a write replaces; no erase needed
    Mcu8051, // code (clears bits), data EEPROM (replaces), lock; erase clears code and lock
    Avr, // as 8051, with fuse bytes
    Pic, // 12-, 14- or 16-bit words, configuration words, OSCCAL, data EEPROM
    Sram, // a write replaces; lost when the box loses power
    Nvram, // a write replaces, persistently
    OneWire, // memory replaces; the signature is the 8-byte ROM
};

// The memories a command can reach.
enum class ChipMemory { Main, Data, Config, ConfigWords, Osccal };

struct ChipPin {
    int number = 0; // the chip's own pin number, 1 up
    PinRole role = PinRole::Other;
    double maxVolts = 6.5; // absolute maximum on this pin
};

struct ChipRegion {
    std::uint32_t base = 0; // in the address units of its commands
    std::uint32_t size = 0; // bytes
};

struct ChipTimes {
    platform::Duration readPerByte = std::chrono::microseconds(1);
    platform::Duration programPerByte { 0 };
    // A page write cycle: every `pageSize` bytes (counted from a block's first byte) cost `pagePeriod`.
    platform::Duration pagePeriod { 0 };
    std::uint32_t pageSize = 0;
    platform::Duration erase = std::chrono::milliseconds(10);
};

enum class WeakMode {
    NeverPrograms, // the bits stay 1 and the write fails
    NeverProgramsQuiet, // the bits stay 1 but the chip's verify answers success anyway
    FlipsBack, // programmed once, the bits return to 1 after `flipAfter` of clock
};

struct WeakBits {
    ChipMemory memory = ChipMemory::Main;
    std::uint32_t offset = 0; // byte offset in the memory
    std::uint8_t mask = 0x01;
    WeakMode mode = WeakMode::NeverPrograms;
    platform::Duration flipAfter = std::chrono::milliseconds(100);
    std::uint32_t length = 1; // bytes from `offset` with these weak bits

    // Cells that need two programming passes: after one the bits read 1 again at once (so a
    // verify fails), after a second they hold.
    static WeakBits NeedsTwoPasses(ChipMemory memory, std::uint32_t offset, std::uint32_t length = 1)
    {
        WeakBits w;
        w.memory = memory;
        w.offset = offset;
        w.mask = 0xFF;
        w.mode = WeakMode::FlipsBack;
        w.flipAfter = platform::Duration(0);
        w.length = length;
        return w;
    }
};

// A byte that programs and reads back right while its block is written, and then changes: the
// next read shows it XORed with `mask`.
struct FlipAfterWrite {
    ChipMemory memory = ChipMemory::Main;
    std::uint32_t offset = 0;
    std::uint8_t mask = 0x01;
};

struct ChipConditions {
    std::vector<WeakBits> weak;
    // The algorithm the chip needs: the running firmware image and the P_DEVICE sub-code. On a
    // mismatch the chip is driven wrongly: it reads 0x00 and every write fails.
    std::optional<int> gateImage;
    std::optional<std::uint8_t> gateSubCode;
    // Bytes of the main memory that never program.
    std::vector<std::uint32_t> failAt;
    // The erase runs its full time (keep-alives included), then answers [1] and erases nothing.
    bool eraseFails = false;
    // The erase takes this long instead of `ChipTimes::erase` (a slow chip: [2] once a second).
    std::optional<platform::Duration> eraseTime;
    // PIC: writes of the OSCCAL word are answered as done but leave it as it was.
    bool osccalWriteIgnored = false;
    // PIC: a [57] that covers the OSCCAL word gets no reply at all.
    bool osccalReadUnanswered = false;
    // PIC: the configuration words refuse every write ([58] answers [1], [93] the failure).
    bool configWriteRefused = false;
    // Verify mismatches injected after a write.
    std::vector<FlipAfterWrite> flipAfterWrite;
    // [12] answers [1] and the lock stays as it was.
    bool lockRefused = false;
    // [65] answers [1] and the fuses stay as they were.
    bool fuseWriteRefused = false;
    // [65] answers [0] but the fuses stay as they were.
    bool fuseWriteIgnored = false;
    // [10] answers these bytes instead of the signature (another chip, or a PIC's revision bits).
    std::optional<std::vector<std::uint8_t>> signature;
};

// Where a 12-bit core keeps its configuration word: past the top of program memory, the word the
// programming-mode counter starts at before it steps on to program word 0.
inline constexpr std::uint32_t kPic12ConfigWord = 0xFFF;

struct PicLayout {
    int coreBits = 14; // 12, 14 or 16
    std::uint32_t idAddress = 0x2000; // m_nIdAddress: word address of the ID locations
    std::uint32_t idWords = 4; // ID locations at the start of configuration memory
    std::uint32_t configMemoryWords = 8; // m_nConfigMemoryWords
    // Word address of the first configuration word (a 12-bit core's: kPic12ConfigWord).
    std::uint32_t configWordAddress = 0x2007;
    std::uint32_t configWordCount = 1;
    std::optional<std::uint32_t> deviceIdAddress; // word address of the (read-only) device ID
    std::optional<std::uint32_t> osccalAddress; // word address of the OSCCAL word
    std::uint16_t osccalValue = 0x3480; // its factory calibration (a RETLW)
    std::uint32_t configPosition = 0x300000; // 16-bit cores: byte address of the configuration bytes
};

struct ChipSpec {
    std::string name;
    ChipCategory category = ChipCategory::Eprom;
    ChipRegion main; // commands 4-7
    ChipRegion data; // 46-49
    ChipRegion config; // 50-53 (a PIC's: its configuration memory, from the ID locations)
    std::vector<std::uint8_t> signature { 0xFF, 0xFF };
    bool wordMode = false; // 4-7 take word addresses (byte offset 2 x address)
    bool pageWrite = false; // a flash whose writes replace (page-write flash)
    PicLayout pic; // only for ChipCategory::Pic
    int packageCode = 0; // 2: DIP24, 4: DIP28 (powered through an address line above ZV-A)
    int pinCount = 0;
    int firstRow = 0; // row of pin 1 in the 40-pin socket; 0: bottom-aligned (21 - pins / 2)
    std::vector<ChipPin> pins;
    double programmingVoltage = 0; // volts on the Vpp pin(s); 0: none needed
    bool vppRuleOff = false; // program whatever the Vpp rail does
    bool hasLock = false; // lock levels 2 and 3 of [12]
    bool protectableUpperHalf = false; // an AT34C02-like chip
    std::vector<std::uint8_t> fuses; // initial fuse bytes (low, high, extended); empty: no fuses
    // Serial EEPROM: the levels strapped on its A2 A1 A0 pins (bit 2 A2) and the pins it decodes.
    // It answers only when the latched device address matches on the decoded pins.
    std::uint8_t eepromStrap = 0;
    std::uint8_t eepromDecoded = 0;
    // Flash blocks (byte offsets in main) that refuse writes without the temporary unprotect.
    std::vector<ChipRegion> protectedBlocks;
    bool noReadStatus = false; // the class-90 algorithm: block reads end without [0]
    ChipTimes times;
    ChipConditions conditions;

    // A chip of `category` with `mainSize` bytes of main memory and the datasheet-order times of
    // its kind; the rest left to the caller.
    static ChipSpec Make(ChipCategory category, std::uint32_t mainSize);
};

// Bits of a byte in a PIC word stream (high byte first) that exist: the high byte of a 12- or
// 14-bit word has only 4 or 6.
inline std::uint8_t PicHighMask(int coreBits)
{
    return coreBits == 12 ? 0x0F : coreBits == 14 ? 0x3F : 0xFF;
}

} // namespace sim
