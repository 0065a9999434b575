#pragma once
// The programmer's command vocabulary: byte 0 of every packet sent to the box, the endpoints and
// CPU control register that differ by USB controller, and builders for the fixed layouts that the
// link and control layers own. Every other layout belongs to its sender.

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

enum CProgrammerCommand : std::uint8_t {
    P_OK = 0,
    P_ERROR = 1,
    P_VERSION = 2,
    P_TEST = 3,
    P_READ = 4,
    P_WRITE = 5,
    P_READ_OK = 6,
    P_WRITE_OK = 7,
    P_STOP = 8,
    P_ERASE = 9,
    P_SIGNATURE = 10,
    P_READ_LOCK = 11,
    P_SET_LOCK = 12,
    P_ACK = 13,
    P_VPP = 14,
    P_VCC = 15,
    P_ADDRESS = 16,
    P_OE = 17,
    P_CE = 18,
    P_DATA_OUT = 19,
    P_DATA_IN = 20,
    P_POWER_DOWN = 21,
    P_SETUP = 22,
    P_DEVICE = 23,
    P_HW_SERIAL_NUMBER = 24,
    P_SPEED = 25,
    P_FIRMWARE_ID_SET = 26,
    P_FIRMWARE_ID_GET = 27,
    P_8051_PORT_READ = 28,
    P_8051_PORT_WRITE = 29,
    P_VCC_VPP_SETUP = 30,
    P_SWITCH_A_SETUP = 31,
    P_2051_SETTING_READ = 32,
    P_2051_Init_93C = 33,
    P_2051_CS_93C = 34,
    P_2051_BYTE_READ_UART_93C = 35,
    P_2051_BYTE_WRITE_93C = 36,
    P_2051_Init_24C = 37,
    P_2051_Init_25XX = 38,
    P_2051_CS_25XX = 39,
    P_2051_BYTE_READ_UART_25XX = 40,
    P_2051_BYTE_WRITE_25XX = 41,
    P_2051_Init_PICXXX = 42,
    P_2051_14bit_READ_UART_PICXXX = 43,
    P_2051_Bits_WRITE_PICXXX = 44,
    P_2051_BYTE_READ_UART_PICXXX = 45,
    P_READ_DATA = 46,
    P_WRITE_DATA = 47,
    P_READ_DATA_OK = 48,
    P_WRITE_DATA_OK = 49,
    P_READ_CFG = 50,
    P_WRITE_CFG = 51,
    P_READ_CFG_OK = 52,
    P_WRITE_CFG_OK = 53,
    P_2051_14bit_WRITE_UART_PICXXX = 54,
    P_CORE_WORD_LENGTH = 55,
    P_2051_COMMAND_REPEATER = 56,
    P_PIC_MEM_READ = 57,
    P_PIC_MEM_WRITE = 58,
    P_UART_BAUDRATE = 59,
    P_JTAG_Read = 60,
    P_JTAG_Write = 61,
    P_DATA_BUS_ENABLE = 62,
    P_ADDRESS_BUS_ENABLE = 63,
    P_READ_FUSE = 64,
    P_WRITE_FUSE = 65,
    P_CTL_SERIAL_BYTE_OUT = 66,
    P_OE_OVERWRITE_LOW = 67,
    P_DEVICE_PACKAGE = 68,
    P_PIC_INFO = 69,
    P_2051_PORT_WRITE_2 = 70,
    P_READ_VCC_VPP_VALUE = 71,
    P_U5_PORT_READ = 73,
    P_U5_PORT_WRITE = 74,
    P_ERASE_FLASH = 75,
    P_2051_CS_25XX_HI = 76,
    P_2051_CS_25XX_LO = 77,
    P_2051_BYTE_WRITE_25XX_1_BIT = 78,
    P_2051_BYTE_WRITE_25XX_2_BIT = 79,
    P_2051_BYTE_WRITE_25XX_3_BIT = 80,
    P_2051_BYTE_WRITE_25XX_4_BIT = 81,
    P_2051_BYTE_WRITE_25XX_8_BIT_1_Byte = 82,
    P_2051_BYTE_WRITE_25XX_8_BIT_2_Byte = 83,
    P_2051_BYTE_WRITE_25XX_8_BIT_3_Byte = 84,
    P_2051_BYTE_WRITE_25XX_8_BIT_4_Byte = 85,
    P_JTAG_IO = 86,
    P_2051_WRITE_ENABLE_25XX = 87,
    P_2051_BYTE_WRITE_25XX_AF = 88,
    P_2051_BYTE_WRITE_25XX_AD = 89,
    P_READ_CFG_WORD = 90,
    P_WRITE_CFG_WORD = 91,
    P_READ_CFG_WORD_OK = 92,
    P_WRITE_CFG_WORD_OK = 93,
    P_2051_Bits_WRITE_PIC_PGC_HiLo = 94,
    P_2051_CoreCommand0000 = 95,
    P_2051_CoreCommand0000_OE_XX = 96,
    P_2051_CoreCommand0000_6E_XX = 97,
    P_2051_CoreCommand0000_XX_XX = 98,
    P_2051_CoreCommand0000_XX_XX_XX = 99,
    P_VCC_VPP_POT_WRITE = 100,
    P_VCC_VPP_POT_READ = 101,
    P_2051_PulseMode = 102,
    P_USB_PACKAGE_SIZE = 106,
    P_SPI_FAST_WRITE = 107,
    P_EEPROM_Write = 110,
    P_EEPROM_Read = 111,
    P_EEPROM_Erase = 112,
    P_VCC_WRITE = 115,
    P_VCC_READ = 116,
    P_VPP_WRITE = 117,
    P_VPP_READ = 118,
    P_3V_REF_READ = 119,
    P_8051_PORT_BIT_WRITE = 120,
};

constexpr int P_TOTAL_COMMANDS = 121;

// The status of a block read or the answer to a write block when a serial EEPROM did not
// acknowledge its device address (sim/PROTOCOL.md, "No acknowledge"); firmware without it
// answers as before.
constexpr std::uint8_t kReplyNoAcknowledge = 3;

// Names for tracing, indexed by code: 0..120 (unused codes as "P_UNUSED_%d") and 121.
extern const std::array<const char*, 122> g_ProgrammerCommandNames;

// The name a trace line shows for a code: its table name, or "0x%02X" above 120.
std::string ProgrammerCommandName(std::uint8_t code);

// 2: an FX2 controller; any other value: an AN21xx. Written when the link opens.
extern std::atomic<int> g_nUsbChipType;

// The control layouts differ between ZV-A (code 2) and the later models: a code above 3 takes the
// later models' layout, so a model code we do not know does too.
constexpr bool ModelAboveZvA(int programmerModel)
{
    return programmerModel > 3;
}

constexpr std::uint8_t kBulkOutEndpoint = 0x02;
constexpr std::uint8_t BulkInEndpoint(int usbChipType)
{
    return usbChipType == 2 ? 0x86 : 0x82;
}
constexpr std::uint16_t CpuControlRegister(int usbChipType)
{
    return usbChipType == 2 ? 0xE600 : 0x7F92;
}

// Big-endian helpers for the packets' multi-byte fields.
inline void PutBe16(std::uint8_t* at, std::uint16_t v)
{
    at[0] = static_cast<std::uint8_t>(v >> 8);
    at[1] = static_cast<std::uint8_t>(v);
}
inline void PutBe32(std::uint8_t* at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}
inline std::uint16_t GetBe16(const std::uint8_t* at)
{
    return static_cast<std::uint16_t>(at[0] << 8 | at[1]);
}
inline std::uint32_t GetBe32(const std::uint8_t* at)
{
    return static_cast<std::uint32_t>(at[0]) << 24 | static_cast<std::uint32_t>(at[1]) << 16
        | static_cast<std::uint32_t>(at[2]) << 8 | at[3];
}

// The fixed layouts. A packet is the exact bytes that go out; its length is its size.
using Packet = std::vector<std::uint8_t>;

namespace packets {

// Only the low byte of the image number travels: 476 reads back as 0x00DC.
inline Packet FirmwareIdSet(int firmwareNumber)
{
    return { P_FIRMWARE_ID_SET, 0, static_cast<std::uint8_t>(firmwareNumber & 0xFF) };
}
inline Packet FirmwareIdGet()
{
    return { P_FIRMWARE_ID_GET };
}
inline Packet PortRead(std::uint8_t port)
{
    return { P_8051_PORT_READ, 0, port };
}
inline Packet PortWrite(std::uint8_t port, std::uint8_t value)
{
    return { P_8051_PORT_WRITE, 0, port, value };
}
inline Packet VccVppSetup(std::uint8_t vccSwitch, std::uint8_t vppSwitch, std::uint8_t select)
{
    return { P_VCC_VPP_SETUP, vccSwitch, vppSwitch, select };
}
inline Packet SwitchASetup(std::uint8_t switchA)
{
    return { P_SWITCH_A_SETUP, switchA };
}
// The short form carries switch B alone; the long form all five control bytes. They differ by
// length only.
inline Packet SerialByteOut(std::uint8_t switchB)
{
    return { P_CTL_SERIAL_BYTE_OUT, switchB };
}
inline Packet SerialBytesOut(const std::array<std::uint8_t, 5>& bytes)
{
    return { P_CTL_SERIAL_BYTE_OUT, 5, bytes[0], bytes[1], bytes[2], bytes[3], bytes[4] };
}
inline Packet PotWrite(std::uint8_t reg, std::uint8_t value)
{
    return { P_VCC_VPP_POT_WRITE, reg, value };
}
inline Packet PotRead(std::uint8_t reg)
{
    return { P_VCC_VPP_POT_READ, reg, 0 };
}
inline Packet VccWrite(std::uint8_t pot)
{
    return { P_VCC_WRITE, pot };
}
inline Packet VppWrite(std::uint8_t pot)
{
    return { P_VPP_WRITE, pot };
}

} // namespace packets
