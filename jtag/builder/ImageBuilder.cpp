#include "jtag/builder/ImageBuilder.h"

#include "jtag/Crc16.h"
#include "jtag/Opcodes.h"
#include "jtag/builder/Compressor.h"

#include <map>

namespace bytecode {

namespace {

void PutWord(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t word)
{
    out[at] = static_cast<std::uint8_t>(word >> 24);
    out[at + 1] = static_cast<std::uint8_t>(word >> 16);
    out[at + 2] = static_cast<std::uint8_t>(word >> 8);
    out[at + 3] = static_cast<std::uint8_t>(word);
}

void AppendWord(std::vector<std::uint8_t>& out, std::uint32_t word)
{
    out.resize(out.size() + 4);
    PutWord(out, out.size() - 4, word);
}

// NUL-terminated texts, each stored once, in the order first asked for.
class StringPool {
public:
    std::uint32_t Intern(const std::string& text)
    {
        const auto found = m_offsets.find(text);
        if (found != m_offsets.end())
            return found->second;
        const auto offset = static_cast<std::uint32_t>(m_bytes.size());
        m_bytes.insert(m_bytes.end(), text.begin(), text.end());
        m_bytes.push_back(0);
        m_offsets.emplace(text, offset);
        return offset;
    }
    const std::vector<std::uint8_t>& bytes() const { return m_bytes; }

private:
    std::map<std::string, std::uint32_t> m_offsets;
    std::vector<std::uint8_t> m_bytes;
};

std::vector<std::uint8_t> PackBits(const std::vector<bool>& bits)
{
    std::vector<std::uint8_t> out((bits.size() + 7) / 8, 0);
    for (std::size_t i = 0; i < bits.size(); ++i)
        if (bits[i])
            out[i / 8] = static_cast<std::uint8_t>(out[i / 8] | (1u << (i % 8)));
    return out;
}

} // namespace

void ImageBuilder::Fail(std::string message)
{
    if (m_error.empty())
        m_error = std::move(message);
}

void ImageBuilder::AddNote(std::string key, std::string value)
{
    m_notes.emplace_back(std::move(key), std::move(value));
}

void ImageBuilder::AddInteger(std::string name, std::int32_t value, bool writable)
{
    AddSymbol({ std::move(name), static_cast<std::uint8_t>(writable ? kSymWritable : 0), value, 0, {}, {} });
}

void ImageBuilder::AddBoolean(std::string name, bool value, bool writable)
{
    AddSymbol({ std::move(name), static_cast<std::uint8_t>(kSymBoolean | (writable ? kSymWritable : 0)), value ? 1 : 0,
        0, {}, {} });
}

void ImageBuilder::AddIntegerArray(std::string name, std::vector<std::int32_t> values, bool writable)
{
    const auto count = static_cast<std::uint32_t>(values.size());
    AddSymbol({ std::move(name), static_cast<std::uint8_t>(kSymArray | kSymInitialised | (writable ? kSymWritable : 0)),
        0, count, {}, std::move(values) });
}

void ImageBuilder::AddBooleanArray(std::string name, std::vector<bool> bits, bool writable, bool compressed)
{
    const auto count = static_cast<std::uint32_t>(bits.size());
    std::uint8_t attribute = kSymArray | kSymBoolean | kSymInitialised;
    if (writable)
        attribute |= kSymWritable;
    if (compressed)
        attribute |= kSymCompressed;
    AddSymbol({ std::move(name), attribute, 0, count, std::move(bits), {} });
}

void ImageBuilder::AddUninitialisedArray(std::string name, bool boolean, std::uint32_t count)
{
    AddSymbol({ std::move(name), static_cast<std::uint8_t>(kSymArray | kSymWritable | (boolean ? kSymBoolean : 0)), 0,
        count, {}, {} });
}

void ImageBuilder::AddSymbol(SymbolSpec symbol)
{
    const std::uint8_t a = symbol.attribute;
    const bool array = (a & kSymArray) != 0;
    if ((a & kSymUnusedBits) != 0)
        Fail("symbol \"" + symbol.name + "\": attribute bits 0x20-0x80 must be zero");
    if ((a & kSymCompressed) != 0 && !IsCompressedArray(a))
        Fail("symbol \"" + symbol.name + "\": only read-only Boolean arrays can be compressed");
    if ((a & kSymCompressed) != 0 && (a & kSymInitialised) == 0)
        Fail("symbol \"" + symbol.name + "\": a compressed array needs data");
    if (!array && (a & kSymInitialised) != 0)
        Fail("symbol \"" + symbol.name + "\": the initialised bit is for arrays");
    if (!array && (a & kSymBoolean) != 0 && symbol.value != 0 && symbol.value != 1)
        Fail("symbol \"" + symbol.name + "\": a Boolean holds 0 or 1");
    if (array && (a & kSymInitialised) != 0) {
        const std::size_t have = (a & kSymBoolean) != 0 ? symbol.bits.size() : symbol.words.size();
        if (have != symbol.count)
            Fail("symbol \"" + symbol.name + "\": its data does not hold its element count");
    }
    for (const SymbolSpec& s : m_symbols)
        if (s.name == symbol.name)
            Fail("symbol \"" + symbol.name + "\" is declared twice");
    m_symbols.push_back(std::move(symbol));
}

Label ImageBuilder::NewLabel()
{
    m_labels.push_back(-1);
    return Label { static_cast<int>(m_labels.size() - 1) };
}

void ImageBuilder::Bind(Label label)
{
    if (label.id < 0 || static_cast<std::size_t>(label.id) >= m_labels.size()) {
        Fail("binding an unknown label");
        return;
    }
    if (m_labels[static_cast<std::size_t>(label.id)] >= 0)
        Fail("label " + std::to_string(label.id) + " is bound twice");
    m_labels[static_cast<std::size_t>(label.id)] = static_cast<std::int64_t>(m_code.size());
}

void ImageBuilder::Emit(std::string_view mnemonic, std::vector<Operand> operands)
{
    const OpcodeInfo* info = FindMnemonic(mnemonic);
    if (info == nullptr) {
        Fail("unknown mnemonic " + std::string(mnemonic));
        return;
    }
    if (operands.size() != info->operands) {
        Fail(std::string(mnemonic) + " takes " + std::to_string(info->operands) + " operand(s), given "
            + std::to_string(operands.size()));
        return;
    }
    m_code.push_back(info->code);
    for (Operand& operand : operands) {
        const std::size_t at = m_code.size();
        m_code.resize(at + 4);
        if (operand.kind == Operand::Kind::Literal)
            PutWord(m_code, at, operand.value);
        else
            m_fixups.push_back({ at, std::move(operand) });
    }
}

void ImageBuilder::EmitBytes(const std::vector<std::uint8_t>& bytes)
{
    m_code.insert(m_code.end(), bytes.begin(), bytes.end());
}

void ImageBuilder::AddProcedure(std::string name, Label entry)
{
    if (m_container != Container::Stapl)
        Fail("Jam 1.1 images have no procedures");
    m_procedures.push_back({ std::move(name), entry });
}

void ImageBuilder::AddAction(std::string name, std::optional<std::string> description, std::vector<ActionStep> steps)
{
    if (m_container != Container::Stapl)
        Fail("Jam 1.1 images have no actions");
    m_actions.push_back({ std::move(name), std::move(description), std::move(steps) });
}

BuildResult ImageBuilder::Build() const
{
    BuildResult result;
    if (!m_error.empty()) {
        result.error = m_error;
        return result;
    }
    const HeaderLayout& layout = LayoutOf(m_container);
    const auto fail = [&](std::string message) {
        result.error = std::move(message);
        result.image.clear();
        return result;
    };
    const auto labelOffset = [&](const Label& label, std::uint32_t& offset) {
        if (label.id < 0 || static_cast<std::size_t>(label.id) >= m_labels.size()
            || m_labels[static_cast<std::size_t>(label.id)] < 0)
            return false;
        offset = static_cast<std::uint32_t>(m_labels[static_cast<std::size_t>(label.id)]);
        return true;
    };

    StringPool strings;
    StringPool noteStrings;

    // Actions and their procedure chains; a procedure used twice gets an entry in each chain.
    struct ProcEntry {
        std::uint32_t name, next, code;
        std::uint8_t attribute;
    };
    std::vector<std::uint8_t> actionTable;
    std::vector<ProcEntry> procEntries;
    for (const Action& action : m_actions) {
        AppendWord(actionTable, strings.Intern(action.name));
        AppendWord(actionTable, action.description ? strings.Intern(*action.description) : kNone);
        AppendWord(actionTable, action.steps.empty() ? kNone : static_cast<std::uint32_t>(procEntries.size()));
        for (std::size_t i = 0; i < action.steps.size(); ++i) {
            const ActionStep& step = action.steps[i];
            const Procedure* proc = nullptr;
            for (const Procedure& p : m_procedures)
                if (p.name == step.procedure)
                    proc = &p;
            if (proc == nullptr)
                return fail("action \"" + action.name + "\" names the unknown procedure \"" + step.procedure + "\"");
            if (step.attribute > 3)
                return fail("procedure attribute " + std::to_string(step.attribute) + " of \"" + step.procedure + "\"");
            std::uint32_t code = 0;
            if (!labelOffset(proc->entry, code))
                return fail("procedure \"" + proc->name + "\" has an unresolved label");
            const auto next = i + 1 < action.steps.size() ? static_cast<std::uint32_t>(procEntries.size() + 1) : kNone;
            procEntries.push_back({ strings.Intern(proc->name), next, code, step.attribute });
        }
    }
    if (m_damage.cyclicChain) {
        if (m_actions.empty() || m_actions.front().steps.empty())
            return fail("a cyclic chain needs an action with procedures");
        procEntries[m_actions.front().steps.size() - 1].next = 0;
    }

    // Symbols and the data section.
    std::vector<std::uint8_t> symbolTable;
    std::vector<std::uint8_t> data;
    for (const SymbolSpec& s : m_symbols) {
        const std::uint32_t name = strings.Intern(s.name);
        symbolTable.push_back(s.attribute);
        if (layout.nameOffsetBytes == 2) {
            if (name > 0xFFFF)
                return fail("symbol \"" + s.name + "\": its name lies beyond the 2-byte offset of Jam 1.1");
            symbolTable.push_back(static_cast<std::uint8_t>(name >> 8));
            symbolTable.push_back(static_cast<std::uint8_t>(name));
        } else {
            AppendWord(symbolTable, name);
        }
        std::uint32_t value = static_cast<std::uint32_t>(s.value);
        if ((s.attribute & kSymArray) != 0) {
            value = 0;
            if ((s.attribute & kSymInitialised) != 0) {
                value = static_cast<std::uint32_t>(data.size());
                if ((s.attribute & kSymBoolean) != 0) {
                    std::vector<std::uint8_t> packed = PackBits(s.bits);
                    if (IsCompressedArray(s.attribute))
                        packed = Compress(packed, layout.window);
                    data.insert(data.end(), packed.begin(), packed.end());
                } else {
                    for (const std::int32_t w : s.words)
                        AppendWord(data, static_cast<std::uint32_t>(w));
                }
            }
        }
        AppendWord(symbolTable, value);
        AppendWord(symbolTable, (s.attribute & kSymArray) != 0 ? s.count : 0);
    }

    // Code: resolve labels, symbols and texts.
    std::vector<std::uint8_t> code = m_code;
    for (const Fixup& f : m_fixups) {
        std::uint32_t value = 0;
        switch (f.operand.kind) {
        case Operand::Kind::Literal:
            value = f.operand.value;
            break;
        case Operand::Kind::Label:
            if (!labelOffset(Label { static_cast<int>(f.operand.value) }, value))
                return fail("unresolved label " + std::to_string(static_cast<int>(f.operand.value)) + " at code offset "
                    + std::to_string(f.at - 1));
            break;
        case Operand::Kind::Symbol: {
            bool found = false;
            for (std::size_t i = 0; i < m_symbols.size() && !found; ++i)
                if (m_symbols[i].name == f.operand.text) {
                    value = static_cast<std::uint32_t>(i);
                    found = true;
                }
            if (!found)
                return fail("unknown symbol \"" + f.operand.text + "\"");
            break;
        }
        case Operand::Kind::String:
            value = strings.Intern(f.operand.text);
            break;
        }
        PutWord(code, f.at, value);
    }

    std::vector<std::uint8_t> noteTable;
    std::vector<std::pair<std::string, std::string>> notes = m_notes;
    if (!m_damage.noMarker)
        notes.emplace_back(std::string(kMarkerKey), std::string(kMarkerValue));
    for (const auto& [key, value] : notes) {
        AppendWord(noteTable, noteStrings.Intern(key));
        AppendWord(noteTable, noteStrings.Intern(value));
    }

    // Layout: header, actions, procedures, notes, symbols, strings, note strings, data, code, CRC.
    std::vector<std::uint8_t>& out = result.image;
    out.assign(layout.size, 0);
    out[0] = 'J';
    out[1] = 'A';
    out[2] = 'M';
    out[3] = static_cast<std::uint8_t>(m_container);
    const auto place = [&](int headerWord, const std::vector<std::uint8_t>& bytes) {
        if (headerWord >= 0)
            PutWord(out, static_cast<std::size_t>(headerWord), static_cast<std::uint32_t>(out.size()));
        out.insert(out.end(), bytes.begin(), bytes.end());
    };
    std::vector<std::uint8_t> procTable;
    for (const ProcEntry& p : procEntries) {
        AppendWord(procTable, p.name);
        AppendWord(procTable, p.next);
        procTable.push_back(p.attribute);
        AppendWord(procTable, p.code);
    }
    place(layout.actionTable, actionTable);
    place(layout.procedureTable, procTable);
    place(layout.noteTable, noteTable);
    place(layout.symbolTable, symbolTable);
    place(layout.stringTable, strings.bytes());
    place(layout.noteStrings, noteStrings.bytes());
    place(layout.dataSection, data);
    place(layout.codeSection, code);
    PutWord(out, static_cast<std::size_t>(layout.codeEnd), static_cast<std::uint32_t>(out.size()));
    PutWord(out, static_cast<std::size_t>(layout.crcOffset), static_cast<std::uint32_t>(out.size()));
    if (layout.actionCount >= 0) {
        PutWord(out, static_cast<std::size_t>(layout.actionCount), static_cast<std::uint32_t>(m_actions.size()));
        PutWord(out, static_cast<std::size_t>(layout.procedureCount), static_cast<std::uint32_t>(procEntries.size()));
    }
    PutWord(out, static_cast<std::size_t>(layout.noteCount), static_cast<std::uint32_t>(notes.size()));
    PutWord(out, static_cast<std::size_t>(layout.symbolCount), static_cast<std::uint32_t>(m_symbols.size()));
    if (m_damage.reservedWord == 0 || m_damage.reservedWord == 1)
        PutWord(out, static_cast<std::size_t>(layout.reserved[m_damage.reservedWord]), m_damage.reservedValue);

    std::uint16_t crc = Crc16(out);
    if (m_damage.wrongCrc)
        crc = static_cast<std::uint16_t>(crc ^ 0x5A5A);
    out.push_back(static_cast<std::uint8_t>(crc >> 8));
    out.push_back(static_cast<std::uint8_t>(crc));
    return result;
}

} // namespace bytecode
