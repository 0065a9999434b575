#pragma once
// Writes byte-code images (jtag/BYTECODE.md) of both containers for tests, benchmarks and
// build-time tools; never linked into the program. Code is emitted by mnemonic from the shared
// opcode table, with labels that may be used before they are bound. Every mistake (an unknown
// mnemonic, a wrong operand count, an unresolved label or symbol, an illegal attribute) makes
// Build() fail with a message; nothing is silently written as zero.

#include "jtag/BytecodeFormat.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace bytecode {

struct Label {
    int id = -1;
};

// One operand of an instruction: a 32-bit literal, a label (its code offset), a symbol by
// name (its index), or a text (its string-table offset, interned).
struct Operand {
    enum class Kind { Literal, Label, Symbol, String } kind = Kind::Literal;
    std::uint32_t value = 0;
    std::string text;

    Operand(std::int64_t literal)
        : value(static_cast<std::uint32_t>(literal))
    {
    }
    Operand(Label label)
        : kind(Kind::Label)
        , value(static_cast<std::uint32_t>(label.id))
    {
    }
    static Operand Sym(std::string name) { return Operand(Kind::Symbol, std::move(name)); }
    static Operand Str(std::string text) { return Operand(Kind::String, std::move(text)); }

private:
    Operand(Kind k, std::string t)
        : kind(k)
        , text(std::move(t))
    {
    }
};

inline Operand Sym(std::string name)
{
    return Operand::Sym(std::move(name));
}
inline Operand Str(std::string text)
{
    return Operand::Str(std::move(text));
}

// A symbol as the table holds it. The Add* helpers below cover the usual kinds.
struct SymbolSpec {
    std::string name;
    std::uint8_t attribute = kSymWritable;
    std::int32_t value = 0; // scalars: the initial value
    std::uint32_t count = 0; // arrays: elements
    std::vector<bool> bits; // Boolean array data
    std::vector<std::int32_t> words; // integer array data
};

struct ActionStep {
    std::string procedure;
    std::uint8_t attribute = kProcRequired;
};

// Damage for tests of the loader; every switch is off by default.
struct Damage {
    bool wrongCrc = false;
    bool noMarker = false;
    int reservedWord = -1; // 0 or 1: which reserved header word gets `reservedValue`
    std::uint32_t reservedValue = 0;
    bool cyclicChain = false; // the first action's last procedure points back at its first
};

struct BuildResult {
    std::vector<std::uint8_t> image; // empty on failure
    std::string error;
    bool ok() const { return error.empty(); }
};

class ImageBuilder {
public:
    explicit ImageBuilder(Container container)
        : m_container(container)
    {
    }

    Container container() const { return m_container; }

    void AddNote(std::string key, std::string value);

    void AddInteger(std::string name, std::int32_t value, bool writable = true);
    void AddBoolean(std::string name, bool value, bool writable = true);
    void AddIntegerArray(std::string name, std::vector<std::int32_t> values, bool writable = false);
    void AddBooleanArray(std::string name, std::vector<bool> bits, bool writable = false, bool compressed = false);
    // A writable array without data (zeroed at the start of a run).
    void AddUninitialisedArray(std::string name, bool boolean, std::uint32_t count);
    void AddSymbol(SymbolSpec symbol);

    Label NewLabel();
    void Bind(Label label);
    // The code offset the next instruction gets.
    std::uint32_t Here() const { return static_cast<std::uint32_t>(m_code.size()); }
    void Emit(std::string_view mnemonic, std::vector<Operand> operands = {});
    // Raw bytes, for tests of illegal codes and cut-off operands.
    void EmitBytes(const std::vector<std::uint8_t>& bytes);

    // STAPL only: a procedure's code starts at `entry`; an action runs its steps in order.
    void AddProcedure(std::string name, Label entry);
    void AddAction(std::string name, std::optional<std::string> description, std::vector<ActionStep> steps);

    Damage& damage() { return m_damage; }

    // The same input always gives the same bytes.
    BuildResult Build() const;

private:
    struct Fixup {
        std::size_t at;
        Operand operand;
    };
    struct Procedure {
        std::string name;
        Label entry;
    };
    struct Action {
        std::string name;
        std::optional<std::string> description;
        std::vector<ActionStep> steps;
    };
    void Fail(std::string message);

    Container m_container;
    std::vector<std::pair<std::string, std::string>> m_notes;
    std::vector<SymbolSpec> m_symbols;
    std::vector<std::uint8_t> m_code;
    std::vector<Fixup> m_fixups;
    std::vector<std::int64_t> m_labels; // code offset, -1 while unbound
    std::vector<Procedure> m_procedures;
    std::vector<Action> m_actions;
    Damage m_damage;
    std::string m_error;
};

} // namespace bytecode
