#include "jtag/player/StaplInterpreter.h"

#include "jtag/JtagLayer.h"
#include "jtag/Opcodes.h"
#include "jtag/PackedBits.h"
#include "jtag/player/StaplArrays.h"
#include "jtag/player/StaplResult.h"
#include "platform/TextFormat.h"

#include <array>
#include <cctype>
#include <cerrno>
#include <cstdlib>

using namespace bytecode;

namespace {

constexpr std::size_t kStackEntries = 128;
constexpr std::size_t kPrintChars = 1024;

bool IsStable(std::uint32_t state)
{
    return state == RESET || state == IDLE || state == DRSHIFT || state == DRPAUSE || state == IRSHIFT
        || state == IRPAUSE;
}

std::int32_t Wrap(std::int64_t v)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
}

struct Define {
    std::string name;
    std::int32_t value;
};

// NAME=decimal; the name letters, digits and underscores, not starting with a digit.
int ParseDefines(const std::vector<std::string>& texts, std::vector<Define>& defines)
{
    for (const std::string& text : texts) {
        const std::size_t eq = text.find('=');
        if (eq == std::string::npos || eq + 1 >= text.size())
            return kSyntaxError;
        const std::string name = text.substr(0, eq);
        const std::string value = text.substr(eq + 1);
        char* end = nullptr;
        errno = 0;
        const long long v = std::strtoll(value.c_str(), &end, 10);
        if (*end != '\0' || std::isspace(static_cast<unsigned char>(value[0])))
            return kSyntaxError;
        if (errno == ERANGE || v < INT32_MIN || v > INT32_MAX)
            return kOverflow;
        if (name.empty() || std::isdigit(static_cast<unsigned char>(name[0])))
            return kIllegalName;
        for (const char c : name)
            if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_')
                return kIllegalName;
        for (const Define& d : defines)
            if (StaplEqualNoCase(d.name, name))
                return kRedefinedSymbol;
        defines.push_back({ name, static_cast<std::int32_t>(v) });
    }
    return kOk;
}

class Machine {
public:
    Machine(const StaplImage& image, const StaplRunOptions& options, JtagLayer& layer,
        const std::function<void(const std::string&)>& output, std::stop_token cancel, std::uint64_t budget)
        : m_image(image)
        , m_options(options)
        , m_layer(layer)
        , m_output(output)
        , m_cancel(std::move(cancel))
        , m_budget(budget)
        , m_code(image.Bytes().subspan(image.codeSection, image.codeEnd - image.codeSection))
    {
    }

    StaplExecution Run();

private:
    enum class Tag : std::uint8_t { Value, Pushed, Return, Loop };
    struct Entry {
        Tag tag = Tag::Value;
        std::int32_t value = 0; // a value; a return entry's offset; a loop's variable
        std::int32_t limit = 0; // loop
        std::int32_t step = 0; // loop
        std::uint32_t body = 0; // loop
        bool chain = false; // a return entry that goes on to the next procedure
    };
    struct Symbol {
        std::uint8_t attribute;
        std::int32_t value;
        std::uint32_t size;
    };

    int Setup();
    int Step();

    int PushValue(std::int32_t v)
    {
        if (m_sp >= kStackEntries)
            return kStackOverflow;
        m_stack[m_sp++] = Entry { Tag::Value, v };
        return kOk;
    }
    int PushEntry(const Entry& e)
    {
        if (m_sp >= kStackEntries)
            return kStackOverflow;
        m_stack[m_sp++] = e;
        return kOk;
    }
    int PopValue(std::int32_t& v)
    {
        if (m_sp == 0)
            return kStackOverflow;
        const Entry& e = m_stack[m_sp - 1];
        if (e.tag != Tag::Value && e.tag != Tag::Pushed)
            return kTypeMismatch;
        v = e.value;
        --m_sp;
        return kOk;
    }
    template <std::size_t N> int PopValues(std::array<std::int32_t, N>& v)
    {
        // v[0] is the deepest, v[N - 1] the top.
        for (std::size_t i = N; i-- > 0;)
            if (const int r = PopValue(v[i]); r != kOk)
                return r;
        return kOk;
    }

    int Scalar(std::uint32_t index, bool store, Symbol*& symbol);
    int Jump(std::uint32_t target);
    int EnterProcedure(std::size_t chainIndex);
    void Append(std::string_view text);

    const StaplImage& m_image;
    const StaplRunOptions& m_options;
    JtagLayer& m_layer;
    const std::function<void(const std::string&)>& m_output;
    std::stop_token m_cancel;
    std::uint64_t m_budget;
    std::span<const std::uint8_t> m_code;

    std::vector<Symbol> m_symbols;
    StaplArrays m_arrays;
    std::array<Entry, kStackEntries> m_stack {};
    std::size_t m_sp = 0;
    std::string m_print;
    std::uint32_t m_pc = 0;
    std::uint32_t m_opOffset = 0;
    std::vector<std::uint32_t> m_chain; // procedure entries that run, in order
    bool m_exited = false;
    std::int32_t m_exitCode = 0;
};

int Machine::Scalar(std::uint32_t index, bool store, Symbol*& symbol)
{
    if (index >= m_symbols.size())
        return kUndefinedSymbol;
    symbol = &m_symbols[index];
    if ((symbol->attribute & kSymArray) != 0)
        return kTypeMismatch;
    if (store && (symbol->attribute & kSymWritable) == 0)
        return kConstant;
    return kOk;
}

int Machine::Jump(std::uint32_t target)
{
    if (target >= m_code.size())
        return kBoundsError;
    m_pc = target;
    return kOk;
}

int Machine::EnterProcedure(std::size_t chainIndex)
{
    if (chainIndex >= m_chain.size()) {
        m_exited = true;
        m_exitCode = 0;
        return kOk;
    }
    const StaplImage::Procedure p = m_image.ProcedureAt(m_chain[chainIndex]);
    if (p.codeOffset >= m_code.size())
        return kBoundsError;
    Entry ret;
    ret.tag = Tag::Return;
    ret.value = static_cast<std::int32_t>(chainIndex + 1);
    ret.chain = true;
    if (const int r = PushEntry(ret); r != kOk)
        return r;
    m_pc = p.codeOffset;
    return kOk;
}

void Machine::Append(std::string_view text)
{
    if (m_print.size() < kPrintChars)
        m_print.append(text.substr(0, kPrintChars - m_print.size()));
}

int Machine::Setup()
{
    std::vector<Define> defines;
    if (const int r = ParseDefines(m_options.defines, defines); r != kOk)
        return r;

    m_symbols.reserve(m_image.symbolCount);
    for (std::uint32_t i = 0; i < m_image.symbolCount; ++i) {
        const StaplImage::Symbol s = m_image.SymbolAt(i);
        m_symbols.push_back({ s.attribute, static_cast<std::int32_t>(s.value), s.size });
    }
    if (const int r = m_arrays.Setup(m_image); r != kOk)
        return r;

    if (!m_image.IsStapl()) {
        // Jam 1.1: defines set the initial values of the scalars they name.
        for (const Define& d : defines)
            for (std::uint32_t i = 0; i < m_image.symbolCount; ++i)
                if ((m_symbols[i].attribute & kSymArray) == 0 && StaplEqualNoCase(m_image.SymbolName(i), d.name))
                    m_symbols[i].value = (m_symbols[i].attribute & kSymBoolean) != 0 ? (d.value != 0) : d.value;
        m_pc = 0;
        if (m_code.empty())
            return kBoundsError;
        return kOk;
    }

    if (!m_options.hasAction)
        return kActionNotFound;
    std::uint32_t action = kNone;
    for (std::uint32_t i = 0; i < m_image.actionCount && action == kNone; ++i)
        if (StaplEqualNoCase(m_image.ActionName(i), m_options.action))
            action = i;
    if (action == kNone)
        return kActionNotFound;
    // Optional procedures run only when forced in, the others unless forced out.
    for (std::uint32_t p = m_image.ActionAt(action).firstProcedure; p != kNone; p = m_image.ProcedureAt(p).next) {
        bool runs = (m_image.ProcedureAt(p).attribute & 3) != kProcOptional;
        for (const Define& d : defines)
            if (StaplEqualNoCase(d.name, m_image.ProcedureName(p)))
                runs = d.value != 0;
        if (runs)
            m_chain.push_back(p);
    }
    return EnterProcedure(0);
}

StaplExecution Machine::Run()
{
    int result = Setup();
    if (result != kOk)
        return { result, 0, m_pc };
    while (!m_exited) {
        if (m_cancel.stop_requested() || m_budget == 0)
            return { kCancelled, 0, m_pc };
        --m_budget;
        result = Step();
        if (result != kOk)
            return { result, 0, m_opOffset };
    }
    return { kOk, m_exitCode, m_opOffset };
}

int Machine::Step()
{
    m_opOffset = m_pc;
    if (m_pc >= m_code.size())
        return kEndOfFile;
    const std::uint8_t code = m_code[m_pc];
    const OpcodeInfo* info = FindOpcode(code);
    if (info == nullptr)
        return kIllegalInstruction;
    const std::size_t length = 1 + 4 * static_cast<std::size_t>(info->operands);
    if (m_code.size() - m_pc < length)
        return kEndOfFile;
    std::array<std::uint32_t, 3> operand {};
    for (std::size_t i = 0; i < info->operands; ++i) {
        const std::size_t at = m_pc + 1 + 4 * i;
        operand[i] = static_cast<std::uint32_t>(m_code[at]) << 24 | static_cast<std::uint32_t>(m_code[at + 1]) << 16
            | static_cast<std::uint32_t>(m_code[at + 2]) << 8 | m_code[at + 3];
    }
    m_pc += static_cast<std::uint32_t>(length);

    const auto binary = [&](auto fn) {
        std::array<std::int32_t, 2> v {};
        if (const int r = PopValues(v); r != kOk)
            return r;
        std::int32_t out = 0;
        if (const int r = fn(v[0], v[1], out); r != kOk)
            return r;
        return PushValue(out);
    };
    const auto unary = [&](auto fn) {
        std::int32_t a = 0;
        if (const int r = PopValue(a); r != kOk)
            return r;
        std::int32_t out = 0;
        if (const int r = fn(a, out); r != kOk)
            return r;
        return PushValue(out);
    };
    const auto simple = [&](auto fn) {
        return binary([&](std::int32_t a, std::int32_t b, std::int32_t& out) {
            out = fn(static_cast<std::int64_t>(a), static_cast<std::int64_t>(b));
            return static_cast<int>(kOk);
        });
    };

    switch (static_cast<Op>(code)) {
    case Op::Nop:
        return kOk;
    case Op::Dup: {
        std::int32_t a = 0;
        if (const int r = PopValue(a); r != kOk)
            return r;
        ++m_sp; // the entry stays as it was
        return PushValue(a);
    }
    case Op::Swap: {
        std::array<std::int32_t, 2> v {};
        if (const int r = PopValues(v); r != kOk)
            return r;
        PushValue(v[1]);
        return PushValue(v[0]);
    }
    case Op::Drop: {
        std::int32_t a = 0;
        return PopValue(a);
    }
    case Op::Add:
        return simple([](std::int64_t a, std::int64_t b) { return Wrap(a + b); });
    case Op::Sub:
        return simple([](std::int64_t a, std::int64_t b) { return Wrap(a - b); });
    case Op::Mul:
        return simple([](std::int64_t a, std::int64_t b) { return Wrap(a * b); });
    case Op::Div:
    case Op::Mod:
        return binary([&](std::int32_t a, std::int32_t b, std::int32_t& out) {
            if (b == 0)
                return static_cast<int>(kDivideByZero);
            if (a == INT32_MIN && b == -1) {
                if (static_cast<Op>(code) == Op::Div)
                    return static_cast<int>(kOverflow);
                out = 0;
                return static_cast<int>(kOk);
            }
            out = static_cast<Op>(code) == Op::Div ? a / b : a % b;
            return static_cast<int>(kOk);
        });
    case Op::Neg:
        return unary([](std::int32_t a, std::int32_t& out) {
            out = Wrap(-static_cast<std::int64_t>(a));
            return static_cast<int>(kOk);
        });
    case Op::And:
        return simple([](std::int64_t a, std::int64_t b) { return Wrap(a & b); });
    case Op::Or:
        return simple([](std::int64_t a, std::int64_t b) { return Wrap(a | b); });
    case Op::Xor:
        return simple([](std::int64_t a, std::int64_t b) { return Wrap(a ^ b); });
    case Op::Inv:
        return unary([](std::int32_t a, std::int32_t& out) {
            out = ~a;
            return static_cast<int>(kOk);
        });
    case Op::Not:
        return unary([](std::int32_t a, std::int32_t& out) {
            out = a == 0 ? 1 : 0;
            return static_cast<int>(kOk);
        });
    case Op::LogAnd:
        return simple([](std::int64_t a, std::int64_t b) { return (a != 0 && b != 0) ? 1 : 0; });
    case Op::LogOr:
        return simple([](std::int64_t a, std::int64_t b) { return (a != 0 || b != 0) ? 1 : 0; });
    case Op::Shl:
        return simple([](std::int64_t a, std::int64_t n) {
            return n < 0 || n > 31 ? 0 : Wrap(static_cast<std::int64_t>(static_cast<std::uint32_t>(a) << n));
        });
    case Op::Shr:
        return simple([](std::int64_t a, std::int64_t n) {
            if (n < 0 || n > 31)
                return a < 0 ? -1 : 0;
            return static_cast<std::int32_t>(static_cast<std::int32_t>(a) >> n);
        });
    case Op::Eq:
        return simple([](std::int64_t a, std::int64_t b) { return a == b ? 1 : 0; });
    case Op::Ne:
        return simple([](std::int64_t a, std::int64_t b) { return a != b ? 1 : 0; });
    case Op::Lt:
        return simple([](std::int64_t a, std::int64_t b) { return a < b ? 1 : 0; });
    case Op::Le:
        return simple([](std::int64_t a, std::int64_t b) { return a <= b ? 1 : 0; });
    case Op::Gt:
        return simple([](std::int64_t a, std::int64_t b) { return a > b ? 1 : 0; });
    case Op::Ge:
        return simple([](std::int64_t a, std::int64_t b) { return a >= b ? 1 : 0; });
    case Op::Abs:
        return unary([](std::int32_t a, std::int32_t& out) {
            if (a == INT32_MIN)
                return static_cast<int>(kOverflow);
            out = a < 0 ? -a : a;
            return static_cast<int>(kOk);
        });
    case Op::Bool:
        return unary([](std::int32_t a, std::int32_t& out) {
            out = a != 0 ? 1 : 0;
            return static_cast<int>(kOk);
        });
    case Op::Log2Ceil:
    case Op::Log2Floor:
        return unary([&](std::int32_t a, std::int32_t& out) {
            if (a < 1)
                return static_cast<int>(kBoundsError);
            int floorLog = 0;
            while ((static_cast<std::uint32_t>(a) >> (floorLog + 1)) != 0)
                ++floorLog;
            const bool power = (a & (a - 1)) == 0;
            out = static_cast<Op>(code) == Op::Log2Floor || power ? floorLog : floorLog + 1;
            return static_cast<int>(kOk);
        });
    case Op::SqrtCeil:
    case Op::SqrtFloor:
        return unary([&](std::int32_t a, std::int32_t& out) {
            if (a < 0)
                return static_cast<int>(kBoundsError);
            std::int64_t r = 0;
            while ((r + 1) * (r + 1) <= a)
                ++r;
            out = static_cast<std::int32_t>(static_cast<Op>(code) == Op::SqrtCeil && r * r != a ? r + 1 : r);
            return static_cast<int>(kOk);
        });
    case Op::Push:
        if (m_sp == 0)
            return kStackOverflow;
        if (m_stack[m_sp - 1].tag != Tag::Value && m_stack[m_sp - 1].tag != Tag::Pushed)
            return kTypeMismatch;
        m_stack[m_sp - 1].tag = Tag::Pushed;
        return kOk;
    case Op::Return: {
        if (m_sp == 0 || m_stack[m_sp - 1].tag != Tag::Return)
            return kReturnUnexpected;
        const Entry e = m_stack[--m_sp];
        if (e.chain)
            return EnterProcedure(static_cast<std::size_t>(e.value));
        m_pc = static_cast<std::uint32_t>(e.value);
        return kOk;
    }
    case Op::Exit: {
        std::int32_t exitCode = 0;
        if (const int r = PopValue(exitCode); r != kOk)
            return r;
        m_exited = true;
        m_exitCode = exitCode;
        return kOk;
    }
    case Op::PrintInt: {
        std::int32_t a = 0;
        if (const int r = PopValue(a); r != kOk)
            return r;
        Append(std::to_string(a));
        return kOk;
    }
    case Op::PrintChr: {
        std::int32_t a = 0;
        if (const int r = PopValue(a); r != kOk)
            return r;
        if (a < 1 || a > 255)
            return kBoundsError;
        Append(std::string(1, static_cast<char>(a)));
        return kOk;
    }
    case Op::PrintLine:
        m_output(m_print);
        m_print.clear();
        return kOk;
    case Op::PrintString: {
        const auto text = m_image.StringAt(m_image.stringTable, operand[0]);
        if (!text)
            return kBoundsError;
        Append(*text);
        return kOk;
    }

    case Op::PushLiteral:
        return PushValue(static_cast<std::int32_t>(operand[0]));
    case Op::Load: {
        Symbol* s = nullptr;
        if (const int r = Scalar(operand[0], false, s); r != kOk)
            return r;
        return PushValue(s->value);
    }
    case Op::Store:
    case Op::Pop: {
        if (static_cast<Op>(code) == Op::Pop && (m_sp == 0 || m_stack[m_sp - 1].tag != Tag::Pushed))
            return kPopUnexpected;
        std::int32_t v = 0;
        if (const int r = PopValue(v); r != kOk)
            return r;
        Symbol* s = nullptr;
        if (const int r = Scalar(operand[0], true, s); r != kOk)
            return r;
        s->value = (s->attribute & kSymBoolean) != 0 ? (v != 0) : v;
        return kOk;
    }
    case Op::Jump:
        return Jump(operand[0]);
    case Op::JumpZero:
    case Op::JumpNonZero: {
        std::int32_t c = 0;
        if (const int r = PopValue(c); r != kOk)
            return r;
        if (operand[0] >= m_code.size())
            return kBoundsError;
        if ((c == 0) == (static_cast<Op>(code) == Op::JumpZero))
            m_pc = operand[0];
        return kOk;
    }
    case Op::Call: {
        if (operand[0] >= m_code.size())
            return kBoundsError;
        Entry ret;
        ret.tag = Tag::Return;
        ret.value = static_cast<std::int32_t>(m_pc);
        if (const int r = PushEntry(ret); r != kOk)
            return r;
        m_pc = operand[0];
        return kOk;
    }
    case Op::For: {
        std::array<std::int32_t, 3> v {}; // start, limit, step
        if (const int r = PopValues(v); r != kOk)
            return r;
        Symbol* s = nullptr;
        if (const int r = Scalar(operand[0], true, s); r != kOk)
            return r;
        s->value = v[0];
        Entry loop;
        loop.tag = Tag::Loop;
        loop.value = static_cast<std::int32_t>(operand[0]);
        loop.limit = v[1];
        loop.step = v[2];
        loop.body = m_pc;
        return PushEntry(loop);
    }
    case Op::Next: {
        if (m_sp == 0 || m_stack[m_sp - 1].tag != Tag::Loop
            || m_stack[m_sp - 1].value != static_cast<std::int32_t>(operand[0]))
            return kNextUnexpected;
        const Entry& loop = m_stack[m_sp - 1];
        Symbol* s = nullptr;
        if (const int r = Scalar(operand[0], true, s); r != kOk)
            return r;
        const std::int64_t sum = static_cast<std::int64_t>(s->value) + loop.step;
        s->value = Wrap(sum);
        if (loop.step >= 0 ? sum <= loop.limit : sum >= loop.limit)
            m_pc = loop.body;
        else
            --m_sp;
        return kOk;
    }
    case Op::ExportInt: {
        std::int32_t v = 0;
        if (const int r = PopValue(v); r != kOk)
            return r;
        const auto key = m_image.StringAt(m_image.stringTable, operand[0]);
        if (!key)
            return kBoundsError;
        if (m_options.verbose)
            m_output(
                platform::Format("Export: key = \"%s\", value = %ld", std::string(*key).c_str(), static_cast<long>(v)));
        return kOk;
    }

    // Arrays.
    case Op::LoadElement: {
        std::int32_t index = 0, value = 0;
        if (const int r = PopValue(index); r != kOk)
            return r;
        if (const int r = m_arrays.LoadElement(operand[0], index, value); r != kOk)
            return r;
        return PushValue(value);
    }
    case Op::StoreElement: {
        std::array<std::int32_t, 2> v {}; // index, value
        if (const int r = PopValues(v); r != kOk)
            return r;
        return m_arrays.StoreElement(operand[0], v[0], v[1]);
    }
    case Op::LoadSlice: {
        std::array<std::int32_t, 2> v {}; // first, last
        if (const int r = PopValues(v); r != kOk)
            return r;
        std::int32_t value = 0;
        if (const int r = m_arrays.LoadSlice(operand[0], v[0], v[1], value); r != kOk)
            return r;
        return PushValue(value);
    }
    case Op::StoreSlice: {
        std::array<std::int32_t, 3> v {}; // first, last, value
        if (const int r = PopValues(v); r != kOk)
            return r;
        return m_arrays.StoreSlice(operand[0], v[0], v[1], v[2]);
    }
    case Op::Copy: {
        std::array<std::int32_t, 3> v {}; // count, dstStart, srcStart
        if (const int r = PopValues(v); r != kOk)
            return r;
        return m_arrays.Copy(operand[0], operand[1], v[0], v[1], v[2]);
    }
    case Op::ExportBool: {
        std::array<std::int32_t, 3> v {}; // symbol, count, start
        if (const int r = PopValues(v); r != kOk)
            return r;
        const auto key = m_image.StringAt(m_image.stringTable, operand[0]);
        if (!key)
            return kBoundsError;
        std::vector<std::string> lines;
        if (const int r = m_arrays.Hex(static_cast<std::uint32_t>(v[0]), v[2], v[1], lines); r != kOk)
            return r;
        if (m_options.verbose)
            for (const std::string& line : lines)
                m_output(platform::Format("Export: key = \"%s\", value = %s", std::string(*key).c_str(), line.c_str()));
        return kOk;
    }

    // JTAG.
    case Op::Frequency: {
        std::int32_t hz = 0;
        return PopValue(hz);
    }
    case Op::State:
    case Op::StateLast:
        if (operand[0] > IRUPDATE || (static_cast<Op>(code) == Op::StateLast && !IsStable(operand[0])))
            return kBoundsError;
        return m_layer.StaplGotoJtagState(static_cast<std::int32_t>(operand[0]));
    case Op::IrStop:
    case Op::DrStop:
        if (!IsStable(operand[0]))
            return kBoundsError;
        return static_cast<Op>(code) == Op::IrStop ? m_layer.StaplSetIrStop(static_cast<std::int32_t>(operand[0]))
                                                   : m_layer.StaplSetDrStop(static_cast<std::int32_t>(operand[0]));
    case Op::PreIr:
    case Op::PostIr:
    case Op::PreDr:
    case Op::PostDr: {
        std::array<std::int32_t, 2> v {}; // count, start
        if (const int r = PopValues(v); r != kOk)
            return r;
        if (v[0] < 0)
            return kBoundsError;
        const std::uint8_t* bits = nullptr;
        std::uint32_t start = 0;
        if (operand[0] != kAllOnes) {
            if (const int r = m_arrays.Bits(operand[0], v[1], v[0], bits); r != kOk)
                return r;
            start = static_cast<std::uint32_t>(v[1]);
        }
        const auto count = static_cast<std::uint32_t>(v[0]);
        switch (static_cast<Op>(code)) {
        case Op::PreIr:
            return m_layer.StaplSetIrPreamble(count, start, bits);
        case Op::PostIr:
            return m_layer.StaplSetIrPostamble(count, start, bits);
        case Op::PreDr:
            return m_layer.StaplSetDrPreamble(count, start, bits);
        default:
            return m_layer.StaplSetDrPostamble(count, start, bits);
        }
    }
    case Op::IrScan:
    case Op::DrScan: {
        std::array<std::int32_t, 2> v {}; // count, start
        if (const int r = PopValues(v); r != kOk)
            return r;
        const std::uint8_t* bits = nullptr;
        if (const int r = m_arrays.Bits(operand[0], v[1], v[0], bits); r != kOk)
            return r;
        const auto count = static_cast<std::uint32_t>(v[0]);
        const auto start = static_cast<std::uint32_t>(v[1]);
        return static_cast<Op>(code) == Op::IrScan ? m_layer.StaplIrScan(count, bits, start)
                                                   : m_layer.StaplDrScan(count, bits, start);
    }
    case Op::IrScanCapture:
    case Op::DrScanCapture: {
        std::array<std::int32_t, 3> v {}; // count, start, captureStart
        if (const int r = PopValues(v); r != kOk)
            return r;
        const std::uint8_t* bits = nullptr;
        if (const int r = m_arrays.Bits(operand[0], v[1], v[0], bits); r != kOk)
            return r;
        std::uint8_t* capture = nullptr;
        if (const int r = m_arrays.WritableBits(operand[1], v[2], v[0], capture); r != kOk)
            return r;
        const auto count = static_cast<std::uint32_t>(v[0]);
        const auto start = static_cast<std::uint32_t>(v[1]);
        const auto captureStart = static_cast<std::uint32_t>(v[2]);
        return static_cast<Op>(code) == Op::IrScanCapture
            ? m_layer.StaplIrScanCapture(count, bits, start, capture, captureStart)
            : m_layer.StaplDrScanCapture(count, bits, start, capture, captureStart);
    }
    case Op::Compare: {
        std::array<std::int32_t, 4> v {}; // count, captureStart, expectedStart, maskStart
        if (const int r = PopValues(v); r != kOk)
            return r;
        const std::uint8_t* capture = nullptr;
        const std::uint8_t* expected = nullptr;
        const std::uint8_t* mask = nullptr;
        if (const int r = m_arrays.Bits(operand[0], v[1], v[0], capture); r != kOk)
            return r;
        if (const int r = m_arrays.Bits(operand[1], v[2], v[0], expected); r != kOk)
            return r;
        if (const int r = m_arrays.Bits(operand[2], v[3], v[0], mask); r != kOk)
            return r;
        bool equal = true;
        for (std::int64_t i = 0; i < v[0] && equal; ++i)
            if (GetBit(mask, v[3] + i) && GetBit(capture, v[1] + i) != GetBit(expected, v[2] + i))
                equal = false;
        return PushValue(equal ? 1 : 0);
    }
    case Op::Wait: {
        std::array<std::int32_t, 2> v {}; // cycles, microseconds
        if (const int r = PopValues(v); r != kOk)
            return r;
        std::uint32_t waitState = operand[0];
        std::uint32_t endState = operand[1];
        if (!m_image.IsStapl()) {
            std::array<std::int32_t, 2> states {}; // wait state, end state
            if (const int r = PopValues(states); r != kOk)
                return r;
            waitState = static_cast<std::uint32_t>(states[0]);
            endState = static_cast<std::uint32_t>(states[1]);
        }
        // A run-test clocks TMS 0 where it stands: only a stable state stays put.
        if (!IsStable(waitState) || endState > IRUPDATE || v[0] < 0 || v[1] < 0)
            return kBoundsError;
        const auto wait = static_cast<std::int32_t>(waitState);
        if (v[0] != 0)
            if (const int r = m_layer.StaplWaitCycles(static_cast<std::uint32_t>(v[0]), wait); r != kOk)
                return r;
        if (v[1] != 0)
            if (const int r = m_layer.StaplMoveToState(static_cast<std::uint32_t>(v[1]), wait); r != kOk)
                return r;
        if (endState != waitState)
            return m_layer.StaplGotoJtagState(static_cast<std::int32_t>(endState));
        return kOk;
    }
    }
    return kIllegalInstruction;
}

} // namespace

StaplExecution StaplInterpreter::Execute(const StaplImage& image, std::span<std::uint8_t> workspace,
    const StaplRunOptions& options, JtagLayer& layer, const std::function<void(const std::string&)>& output,
    std::stop_token cancel)
{
    StaplExecution e;
    const int init = layer.StaplJtagInit(workspace.empty() ? nullptr : workspace.data(),
        static_cast<std::uint32_t>(std::min<std::size_t>(workspace.size(), UINT32_MAX)));
    if (init != 0) {
        e = { kOutOfMemory, 0, 0 };
    } else {
        Machine machine(image, options, layer, output, std::move(cancel), m_budget);
        e = machine.Run();
    }
    layer.StaplJtagFree(options.noReset ? 0 : 1);
    return e;
}
