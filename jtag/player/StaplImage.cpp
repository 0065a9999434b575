#include "jtag/player/StaplImage.h"

#include "jtag/Crc16.h"
#include "jtag/Opcodes.h"

#include <algorithm>
#include <cctype>
#include <cstring>

using namespace bytecode;

namespace {

std::string Cut(std::string_view text)
{
    return std::string(text.substr(0, kStaplNoteChars));
}

} // namespace

bool StaplEqualNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

std::uint32_t StaplImage::Word(std::size_t at) const
{
    return static_cast<std::uint32_t>(m_bytes[at]) << 24 | static_cast<std::uint32_t>(m_bytes[at + 1]) << 16
        | static_cast<std::uint32_t>(m_bytes[at + 2]) << 8 | m_bytes[at + 3];
}

std::optional<StaplImage> StaplImage::Open(std::span<const std::uint8_t> bytes)
{
    StaplImage image;
    image.m_bytes = bytes;
    if (!image.Validate())
        return std::nullopt;
    return image;
}

std::optional<std::string_view> StaplImage::StringAt(std::uint32_t base, std::uint32_t offset) const
{
    const std::uint64_t at = static_cast<std::uint64_t>(base) + offset;
    if (at >= m_bytes.size())
        return std::nullopt;
    const auto* start = m_bytes.data() + at;
    const void* nul = std::memchr(start, 0, m_bytes.size() - at);
    if (nul == nullptr)
        return std::nullopt;
    return std::string_view(
        reinterpret_cast<const char*>(start), static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - start));
}

StaplImage::Action StaplImage::ActionAt(std::uint32_t index) const
{
    const std::size_t at = actionTable + static_cast<std::size_t>(index) * kActionEntry;
    return { Word(at), Word(at + 4), Word(at + 8) };
}

StaplImage::Procedure StaplImage::ProcedureAt(std::uint32_t index) const
{
    const std::size_t at = procedureTable + static_cast<std::size_t>(index) * kProcedureEntry;
    return { Word(at), Word(at + 4), m_bytes[at + 8], Word(at + 9) };
}

StaplImage::Symbol StaplImage::SymbolAt(std::uint32_t index) const
{
    const HeaderLayout& layout = LayoutOf(m_container);
    const std::size_t at = symbolTable + static_cast<std::size_t>(index) * layout.symbolEntry;
    Symbol s {};
    s.attribute = m_bytes[at];
    std::size_t p = at + 1;
    if (layout.nameOffsetBytes == 2) {
        s.name = static_cast<std::uint32_t>(m_bytes[p]) << 8 | m_bytes[p + 1];
        p += 2;
    } else {
        s.name = Word(p);
        p += 4;
    }
    s.value = Word(p);
    s.size = Word(p + 4);
    return s;
}

std::string_view StaplImage::ActionName(std::uint32_t index) const
{
    return StringAt(stringTable, ActionAt(index).name).value_or("");
}

std::string_view StaplImage::ProcedureName(std::uint32_t index) const
{
    return StringAt(stringTable, ProcedureAt(index).name).value_or("");
}

std::string_view StaplImage::SymbolName(std::uint32_t index) const
{
    return StringAt(stringTable, SymbolAt(index).name).value_or("");
}

bool StaplImage::Validate()
{
    const std::uint64_t size = m_bytes.size();
    if (size <= 52 || std::memcmp(m_bytes.data(), kSignature.data(), 3) != 0 || m_bytes[3] > 1)
        return false;
    m_container = m_bytes[3] == 1 ? Container::Stapl : Container::Jam11;
    const HeaderLayout& layout = LayoutOf(m_container);
    if (size < layout.size)
        return false;
    const auto word = [&](int at) { return at < 0 ? 0u : Word(static_cast<std::size_t>(at)); };
    actionTable = word(layout.actionTable);
    procedureTable = word(layout.procedureTable);
    stringTable = word(layout.stringTable);
    noteStrings = word(layout.noteStrings);
    noteTable = word(layout.noteTable);
    symbolTable = word(layout.symbolTable);
    dataSection = word(layout.dataSection);
    codeSection = word(layout.codeSection);
    codeEnd = word(layout.codeEnd);
    crcOffset = word(layout.crcOffset);
    actionCount = word(layout.actionCount);
    procedureCount = word(layout.procedureCount);
    noteCount = word(layout.noteCount);
    symbolCount = word(layout.symbolCount);
    if (word(layout.reserved[0]) != 0 || word(layout.reserved[1]) != 0)
        return false;

    if (static_cast<std::uint64_t>(crcOffset) + 2 > size)
        return false;
    if (!(codeSection <= codeEnd && codeEnd <= crcOffset && dataSection <= codeSection))
        return false;
    if (stringTable > size || noteStrings > size)
        return false;
    const auto tableFits = [&](std::uint32_t offset, std::uint32_t count, std::size_t entry) {
        return static_cast<std::uint64_t>(offset) + static_cast<std::uint64_t>(count) * entry <= size;
    };
    if (!tableFits(noteTable, noteCount, kNoteEntry) || !tableFits(symbolTable, symbolCount, layout.symbolEntry))
        return false;
    if (IsStapl()
        && (!tableFits(actionTable, actionCount, kActionEntry)
            || !tableFits(procedureTable, procedureCount, kProcedureEntry)))
        return false;

    for (std::uint32_t i = 0; i < noteCount; ++i) {
        const std::size_t at = noteTable + static_cast<std::size_t>(i) * kNoteEntry;
        if (!StringAt(noteStrings, Word(at)) || !StringAt(noteStrings, Word(at + 4)))
            return false;
    }
    for (std::uint32_t i = 0; i < symbolCount; ++i) {
        const Symbol s = SymbolAt(i);
        if (!StringAt(stringTable, s.name))
            return false;
        const std::uint8_t a = s.attribute;
        if ((a & kSymUnusedBits) != 0)
            return false;
        if ((a & kSymCompressed) != 0 && (!IsCompressedArray(a) || (a & kSymInitialised) == 0))
            return false;
        if ((a & kSymArray) == 0 && ((a & kSymInitialised) != 0 || ((a & kSymBoolean) != 0 && s.value > 1)))
            return false;
    }
    if (!IsStapl())
        return true;

    for (std::uint32_t i = 0; i < procedureCount; ++i) {
        const Procedure p = ProcedureAt(i);
        if (!StringAt(stringTable, p.name) || (p.attribute & ~3u) != 0)
            return false;
        if (p.next != kNone && p.next >= procedureCount)
            return false;
    }
    // Each chain must end: walk it, marking entries in progress; meeting one again is a cycle.
    // Entries already known to end are not walked twice, so the check stays linear.
    enum : std::uint8_t { Unseen, Walking, Ends };
    std::vector<std::uint8_t> mark(procedureCount, Unseen);
    std::vector<std::uint32_t> path;
    for (std::uint32_t i = 0; i < actionCount; ++i) {
        const Action a = ActionAt(i);
        if (!StringAt(stringTable, a.name))
            return false;
        if (a.description != kNone && !StringAt(stringTable, a.description))
            return false;
        if (a.firstProcedure != kNone && a.firstProcedure >= procedureCount)
            return false;
        path.clear();
        for (std::uint32_t p = a.firstProcedure; p != kNone && mark[p] != Ends; p = ProcedureAt(p).next) {
            if (mark[p] == Walking)
                return false;
            mark[p] = Walking;
            path.push_back(p);
        }
        for (const std::uint32_t p : path)
            mark[p] = Ends;
    }
    return true;
}

int StaplCheckCrc(std::span<const std::uint8_t> image, std::uint16_t& expected, std::uint16_t& actual)
{
    const auto view = StaplImage::Open(image);
    if (!view)
        return 2;
    expected = static_cast<std::uint16_t>(image[view->crcOffset] << 8 | image[view->crcOffset + 1]);
    actual = Crc16(image.first(view->crcOffset));
    return expected == actual ? 0 : 9;
}

int StaplGetFileInfo(std::span<const std::uint8_t> image, int& version, int& actions, int& procedures)
{
    const auto view = StaplImage::Open(image);
    if (!view)
        return 2;
    version = view->Version();
    actions = view->IsStapl() ? static_cast<int>(std::min<std::uint32_t>(view->actionCount, INT32_MAX)) : 0;
    procedures = view->IsStapl() ? static_cast<int>(std::min<std::uint32_t>(view->procedureCount, INT32_MAX)) : 0;
    return 0;
}

int StaplGetNote(std::span<const std::uint8_t> image, int& index, std::string& key, std::string& value)
{
    const auto view = StaplImage::Open(image);
    return view ? StaplGetNote(*view, index, key, value) : 2;
}

int StaplGetNote(const StaplImage& image, int& index, std::string& key, std::string& value)
{
    const StaplImage* view = &image;
    if (index < 0 || static_cast<std::uint32_t>(index) >= view->noteCount)
        return 4;
    const std::size_t at = view->noteTable + static_cast<std::size_t>(index) * kNoteEntry;
    key = Cut(*view->StringAt(view->noteStrings, view->Word(at)));
    value = Cut(*view->StringAt(view->noteStrings, view->Word(at + 4)));
    ++index;
    return 0;
}

int StaplGetNote(std::span<const std::uint8_t> image, std::string_view key, std::string& value)
{
    const auto view = StaplImage::Open(image);
    return view ? StaplGetNote(*view, key, value) : 2;
}

int StaplGetNote(const StaplImage& image, std::string_view key, std::string& value)
{
    const StaplImage* view = &image;
    for (std::uint32_t i = 0; i < view->noteCount; ++i) {
        const std::size_t at = view->noteTable + static_cast<std::size_t>(i) * kNoteEntry;
        if (StaplEqualNoCase(*view->StringAt(view->noteStrings, view->Word(at)), key)) {
            value = Cut(*view->StringAt(view->noteStrings, view->Word(at + 4)));
            return 0;
        }
    }
    return 4;
}

int StaplGetActionInfo(std::span<const std::uint8_t> image, int index, std::string& name, std::string& description,
    bool& hasDescription, std::vector<StaplProcedureInfo>& procedures)
{
    const auto view = StaplImage::Open(image);
    return view ? StaplGetActionInfo(*view, index, name, description, hasDescription, procedures) : 2;
}

int StaplGetActionInfo(const StaplImage& image, int index, std::string& name, std::string& description,
    bool& hasDescription, std::vector<StaplProcedureInfo>& procedures)
{
    const StaplImage* view = &image;
    if (!view->IsStapl() || index < 0 || static_cast<std::uint32_t>(index) >= view->actionCount)
        return 2;
    const StaplImage::Action a = view->ActionAt(static_cast<std::uint32_t>(index));
    name = std::string(*view->StringAt(view->stringTable, a.name));
    hasDescription = a.description != kNone;
    description = hasDescription ? std::string(*view->StringAt(view->stringTable, a.description)) : std::string();
    procedures.clear();
    for (std::uint32_t p = a.firstProcedure; p != kNone; p = view->ProcedureAt(p).next)
        procedures.push_back({ std::string(view->ProcedureName(p)), view->ProcedureAt(p).attribute });
    return 0;
}

bool StaplHasMarker(const StaplImage& image)
{
    std::string value;
    return StaplGetNote(image, kMarkerKey, value) == 0 && value == kMarkerValue;
}
