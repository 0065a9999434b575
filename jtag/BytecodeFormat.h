#pragma once
// Container layout of a byte-code image (jtag/BYTECODE.md): header word offsets and entry
// sizes of both containers. Header-only, shared by the loader and the image builder.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace bytecode {

enum class Container : std::uint8_t { Jam11 = 0, Stapl = 1 };

// Byte offsets of the big-endian header words; -1 where the container has no such word.
struct HeaderLayout {
    int actionTable;
    int procedureTable;
    int stringTable;
    int noteStrings;
    int noteTable;
    int symbolTable;
    int dataSection;
    int codeSection;
    int codeEnd;
    int crcOffset;
    int actionCount;
    int procedureCount;
    int noteCount;
    int symbolCount;
    int reserved[2];
    std::size_t size; // bytes of the header
    std::size_t symbolEntry; // bytes of one symbol entry
    std::size_t nameOffsetBytes;
    std::uint32_t window; // back-reference window of compressed arrays
};

inline constexpr HeaderLayout kJam11Layout { -1, -1, 4, 8, 12, 16, 20, 24, 28, 32, -1, -1, 44, 48, { 36, 40 }, 52, 11,
    2, 8192 };
inline constexpr HeaderLayout kStaplLayout { 4, 8, 12, 16, 20, 24, 28, 32, 36, 40, 48, 52, 60, 64, { 44, 56 }, 68, 13,
    4, 8191 };

constexpr const HeaderLayout& LayoutOf(Container c)
{
    return c == Container::Stapl ? kStaplLayout : kJam11Layout;
}

inline constexpr std::size_t kActionEntry = 12;
inline constexpr std::size_t kProcedureEntry = 13;
inline constexpr std::size_t kNoteEntry = 8;
inline constexpr std::uint32_t kNone = 0xFFFFFFFFu; // no description, end of a procedure chain

// Procedure attribute, bits 1-0.
inline constexpr std::uint8_t kProcRequired = 0;
inline constexpr std::uint8_t kProcOptional = 1;
inline constexpr std::uint8_t kProcRecommended = 2;

// Symbol attribute bits.
inline constexpr std::uint8_t kSymInitialised = 0x01;
inline constexpr std::uint8_t kSymArray = 0x02;
inline constexpr std::uint8_t kSymBoolean = 0x04;
inline constexpr std::uint8_t kSymCompressed = 0x08;
inline constexpr std::uint8_t kSymWritable = 0x10;
inline constexpr std::uint8_t kSymUnusedBits = 0xE0;
constexpr bool IsCompressedArray(std::uint8_t attribute)
{
    return (attribute & 0x1E) == 0x0E;
}

inline constexpr std::string_view kSignature = "JAM";

} // namespace bytecode
