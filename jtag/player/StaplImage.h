#pragma once
// The byte-code image loader (jtag/BYTECODE.md): one validation that every reader relies on,
// and the readers the player frame lists an image with. Any byte string is safe to pass: a
// field is read only after the validation has placed it inside the image.

#include "jtag/BytecodeFormat.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// A validated image: the header words, and checked access to its strings.
class StaplImage {
public:
    // The image when it passes every check of BYTECODE.md ("What a reader checks"), else none.
    static std::optional<StaplImage> Open(std::span<const std::uint8_t> bytes);

    std::span<const std::uint8_t> Bytes() const { return m_bytes; }
    bytecode::Container Kind() const { return m_container; }
    bool IsStapl() const { return m_container == bytecode::Container::Stapl; }
    // (signature & 1) + 1: 1 for Jam 1.1, 2 for STAPL.
    int Version() const { return IsStapl() ? 2 : 1; }
    std::uint32_t Window() const { return bytecode::LayoutOf(m_container).window; }

    std::uint32_t Word(std::size_t at) const;

    std::uint32_t actionTable = 0, procedureTable = 0, stringTable = 0, noteStrings = 0, noteTable = 0;
    std::uint32_t symbolTable = 0, dataSection = 0, codeSection = 0, codeEnd = 0, crcOffset = 0;
    std::uint32_t actionCount = 0, procedureCount = 0, noteCount = 0, symbolCount = 0;

    // The NUL-terminated string at base + offset, when it ends inside the image.
    std::optional<std::string_view> StringAt(std::uint32_t base, std::uint32_t offset) const;

    struct Action {
        std::uint32_t name, description, firstProcedure;
    };
    struct Procedure {
        std::uint32_t name, next;
        std::uint8_t attribute;
        std::uint32_t codeOffset;
    };
    struct Symbol {
        std::uint8_t attribute;
        std::uint32_t name, value, size;
    };
    // Entries by index; the index must be below its count.
    Action ActionAt(std::uint32_t index) const;
    Procedure ProcedureAt(std::uint32_t index) const;
    Symbol SymbolAt(std::uint32_t index) const;
    std::string_view ActionName(std::uint32_t index) const;
    std::string_view ProcedureName(std::uint32_t index) const;
    std::string_view SymbolName(std::uint32_t index) const;

private:
    bool Validate();

    std::span<const std::uint8_t> m_bytes;
    bytecode::Container m_container = bytecode::Container::Stapl;
};

// The readers. Results are the player's codes: 0 success, 2 an image that is not recognised.

// 0 match, 2 not recognised, 9 mismatch; `expected` is the stored CRC, `actual` the computed one.
int StaplCheckCrc(std::span<const std::uint8_t> image, std::uint16_t& expected, std::uint16_t& actual);
// Version (signature & 1) + 1; the action and procedure counts for version 2 only (else 0).
int StaplGetFileInfo(std::span<const std::uint8_t> image, int& version, int& actions, int& procedures);

// Notes are cut to this many characters.
inline constexpr std::size_t kStaplNoteChars = 256;
// The note at `index`, which then advances; 4 when there are no notes or the index is past them.
int StaplGetNote(std::span<const std::uint8_t> image, int& index, std::string& key, std::string& value);
// The first note whose key equals `key` without regard to case; 4 when none does.
int StaplGetNote(std::span<const std::uint8_t> image, std::string_view key, std::string& value);
// The same over an image already validated.
int StaplGetNote(const StaplImage& image, int& index, std::string& key, std::string& value);
int StaplGetNote(const StaplImage& image, std::string_view key, std::string& value);

struct StaplProcedureInfo {
    std::string name;
    std::uint8_t attribute = 0; // bits 1-0: 0 required, 1 optional, 2 or 3 recommended
};
// STAPL only (else 2); 2 for an index at or past the action count. `hasDescription` is false
// for an action without one.
int StaplGetActionInfo(std::span<const std::uint8_t> image, int index, std::string& name, std::string& description,
    bool& hasDescription, std::vector<StaplProcedureInfo>& procedures);
int StaplGetActionInfo(const StaplImage& image, int index, std::string& name, std::string& description,
    bool& hasDescription, std::vector<StaplProcedureInfo>& procedures);

// Whether two names are the same without regard to case (ASCII), as an image's names are matched.
bool StaplEqualNoCase(std::string_view a, std::string_view b);

// Whether the image carries the marker note of our opcode map.
bool StaplHasMarker(const StaplImage& image);
