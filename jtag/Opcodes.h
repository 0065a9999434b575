#pragma once
// The byte-code opcode map (jtag/BYTECODE.md): one row per assigned opcode. Header-only, so the
// player, the image builder and the tools share one table without linking each other.
//
// The operand count is given by the opcode's top two bits; `pops` and `pushes` count stack
// entries in the usual case (BYTECODE.md gives the exceptions: NEXT at the loop's end, WAIT in
// Jam 1.1 images).

#include <array>
#include <cstdint>
#include <string_view>

namespace bytecode {

enum class Op : std::uint8_t {
    Nop = 0x00,
    Dup = 0x01,
    Swap = 0x02,
    Drop = 0x03,
    Add = 0x04,
    Sub = 0x05,
    Mul = 0x06,
    Div = 0x07,
    Mod = 0x08,
    Neg = 0x09,
    And = 0x0A,
    Or = 0x0B,
    Xor = 0x0C,
    Inv = 0x0D,
    Not = 0x0E,
    LogAnd = 0x0F,
    LogOr = 0x10,
    Shl = 0x11,
    Shr = 0x12,
    Eq = 0x13,
    Ne = 0x14,
    Lt = 0x15,
    Le = 0x16,
    Gt = 0x17,
    Ge = 0x18,
    Abs = 0x1C,
    Bool = 0x1D,
    Log2Ceil = 0x1E,
    Log2Floor = 0x1F,
    SqrtCeil = 0x20,
    SqrtFloor = 0x21,
    Push = 0x22,
    Return = 0x23,
    Exit = 0x24,
    Frequency = 0x25,
    PrintInt = 0x26,
    PrintChr = 0x27,
    PrintLine = 0x2C,

    PushLiteral = 0x40,
    Load = 0x41,
    Store = 0x42,
    LoadElement = 0x43,
    StoreElement = 0x44,
    LoadSlice = 0x45,
    State = 0x47,
    StateLast = 0x48,
    IrStop = 0x49,
    DrStop = 0x4A,
    StoreSlice = 0x4B,
    Jump = 0x4C,
    JumpZero = 0x4D,
    JumpNonZero = 0x4E,
    Call = 0x4F,
    Pop = 0x50,
    For = 0x51,
    Next = 0x52,
    PrintString = 0x53,
    IrScan = 0x54,
    DrScan = 0x55,
    PreIr = 0x56,
    PostIr = 0x57,
    PreDr = 0x58,
    PostDr = 0x59,
    ExportInt = 0x5A,
    ExportBool = 0x5C,

    Copy = 0x80,
    IrScanCapture = 0x82,
    DrScanCapture = 0x83,
    Wait = 0x84,

    Compare = 0xC0,
};

struct OpcodeInfo {
    std::uint8_t code;
    std::string_view mnemonic;
    std::uint8_t operands;
    std::uint8_t pops;
    std::uint8_t pushes;
};

// Operand count of any opcode byte, assigned or not.
constexpr int OperandCount(std::uint8_t code)
{
    return code >> 6;
}

// An operand that stands for "all ones" in place of an array (PREIR ... POSTDR).
inline constexpr std::uint32_t kAllOnes = 0xFFFFFFFFu;

// Version of the map, carried by every image as the note kMarkerKey = kMarkerValue.
inline constexpr std::string_view kMarkerKey = "TONRIG_BYTECODE";
inline constexpr std::string_view kMarkerValue = "1";

inline constexpr std::array<OpcodeInfo, 70> kOpcodes { {
    { 0x00, "NOP", 0, 0, 0 },
    { 0x01, "DUP", 0, 1, 2 },
    { 0x02, "SWAP", 0, 2, 2 },
    { 0x03, "DROP", 0, 1, 0 },
    { 0x04, "ADD", 0, 2, 1 },
    { 0x05, "SUB", 0, 2, 1 },
    { 0x06, "MUL", 0, 2, 1 },
    { 0x07, "DIV", 0, 2, 1 },
    { 0x08, "MOD", 0, 2, 1 },
    { 0x09, "NEG", 0, 1, 1 },
    { 0x0A, "AND", 0, 2, 1 },
    { 0x0B, "OR", 0, 2, 1 },
    { 0x0C, "XOR", 0, 2, 1 },
    { 0x0D, "INV", 0, 1, 1 },
    { 0x0E, "NOT", 0, 1, 1 },
    { 0x0F, "LAND", 0, 2, 1 },
    { 0x10, "LOR", 0, 2, 1 },
    { 0x11, "SHL", 0, 2, 1 },
    { 0x12, "SHR", 0, 2, 1 },
    { 0x13, "EQ", 0, 2, 1 },
    { 0x14, "NE", 0, 2, 1 },
    { 0x15, "LT", 0, 2, 1 },
    { 0x16, "LE", 0, 2, 1 },
    { 0x17, "GT", 0, 2, 1 },
    { 0x18, "GE", 0, 2, 1 },
    { 0x1C, "ABS", 0, 1, 1 },
    { 0x1D, "BOOL", 0, 1, 1 },
    { 0x1E, "LOG2C", 0, 1, 1 },
    { 0x1F, "LOG2F", 0, 1, 1 },
    { 0x20, "SQRTC", 0, 1, 1 },
    { 0x21, "SQRTF", 0, 1, 1 },
    { 0x22, "PUSH", 0, 1, 1 },
    { 0x23, "RETURN", 0, 1, 0 },
    { 0x24, "EXIT", 0, 1, 0 },
    { 0x25, "FREQUENCY", 0, 1, 0 },
    { 0x26, "PRINTI", 0, 1, 0 },
    { 0x27, "PRINTC", 0, 1, 0 },
    { 0x2C, "PRINTL", 0, 0, 0 },

    { 0x40, "PUSHI", 1, 0, 1 },
    { 0x41, "LOAD", 1, 0, 1 },
    { 0x42, "STORE", 1, 1, 0 },
    { 0x43, "LOADE", 1, 1, 1 },
    { 0x44, "STOREE", 1, 2, 0 },
    { 0x45, "LOADS", 1, 2, 1 },
    { 0x47, "STATE", 1, 0, 0 },
    { 0x48, "STATEL", 1, 0, 0 },
    { 0x49, "IRSTOP", 1, 0, 0 },
    { 0x4A, "DRSTOP", 1, 0, 0 },
    { 0x4B, "STORES", 1, 3, 0 },
    { 0x4C, "JMP", 1, 0, 0 },
    { 0x4D, "JZ", 1, 1, 0 },
    { 0x4E, "JNZ", 1, 1, 0 },
    { 0x4F, "CALL", 1, 0, 1 },
    { 0x50, "POP", 1, 1, 0 },
    { 0x51, "FOR", 1, 3, 1 },
    { 0x52, "NEXT", 1, 1, 1 },
    { 0x53, "PRINTS", 1, 0, 0 },
    { 0x54, "IRSCAN", 1, 2, 0 },
    { 0x55, "DRSCAN", 1, 2, 0 },
    { 0x56, "PREIR", 1, 2, 0 },
    { 0x57, "POSTIR", 1, 2, 0 },
    { 0x58, "PREDR", 1, 2, 0 },
    { 0x59, "POSTDR", 1, 2, 0 },
    { 0x5A, "EXPORTI", 1, 1, 0 },
    { 0x5C, "EXPORTB", 1, 3, 0 },

    { 0x80, "COPY", 2, 3, 0 },
    { 0x82, "IRSCANC", 2, 3, 0 },
    { 0x83, "DRSCANC", 2, 3, 0 },
    { 0x84, "WAIT", 2, 2, 0 },

    { 0xC0, "COMPARE", 3, 4, 1 },
} };

namespace detail {
constexpr std::array<std::int16_t, 256> MakeIndex()
{
    std::array<std::int16_t, 256> index {};
    for (auto& i : index)
        i = -1;
    for (std::size_t i = 0; i < kOpcodes.size(); ++i)
        index[kOpcodes[i].code] = static_cast<std::int16_t>(i);
    return index;
}
inline constexpr std::array<std::int16_t, 256> kOpcodeIndex = MakeIndex();

constexpr bool TableIsSound()
{
    for (std::size_t i = 0; i < kOpcodes.size(); ++i) {
        if (kOpcodes[i].operands != OperandCount(kOpcodes[i].code))
            return false;
        for (std::size_t j = i + 1; j < kOpcodes.size(); ++j)
            if (kOpcodes[i].code >= kOpcodes[j].code || kOpcodes[i].mnemonic == kOpcodes[j].mnemonic)
                return false;
    }
    return true;
}
static_assert(TableIsSound(), "opcodes ascend, mnemonics are unique, operand counts follow the top bits");
} // namespace detail

// The row of an assigned opcode; null for illegal and unused slots.
constexpr const OpcodeInfo* FindOpcode(std::uint8_t code)
{
    const int i = detail::kOpcodeIndex[code];
    return i < 0 ? nullptr : &kOpcodes[static_cast<std::size_t>(i)];
}

constexpr const OpcodeInfo* FindMnemonic(std::string_view mnemonic)
{
    for (const OpcodeInfo& info : kOpcodes)
        if (info.mnemonic == mnemonic)
            return &info;
    return nullptr;
}

} // namespace bytecode
