#include "jtag/builder/CpldProgram.h"

#include <array>
#include <optional>

namespace bytecode {

namespace {

constexpr std::int64_t kIdle = 1; // TAP state numbers of jtag/BYTECODE.md
constexpr std::array<std::uint8_t, 10> kInstructions
    = { cpld::kIdcode, cpld::kUsercode, cpld::kIspEnable, cpld::kIspDisable, cpld::kErase, cpld::kAddress,
          cpld::kProgram, cpld::kRead, cpld::kUsercodeProgram, cpld::kBypass };

std::vector<bool> Bits(std::uint64_t value, int count)
{
    std::vector<bool> bits(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        bits[static_cast<std::size_t>(i)] = ((value >> i) & 1) != 0;
    return bits;
}

class Writer {
public:
    explicit Writer(ImageBuilder& b)
        : m_b(b)
    {
    }

    void Ir(std::uint8_t instruction)
    {
        std::int64_t index = 0;
        while (kInstructions[static_cast<std::size_t>(index)] != instruction)
            ++index;
        m_b.Emit("PUSHI", { 8 });
        m_b.Emit("PUSHI", { index * 8 });
        m_b.Emit("IRSCAN", { Sym("INSTR") });
    }
    // 32 bits of zeros in, what the register held into CAP.
    void Capture()
    {
        m_b.Emit("PUSHI", { cpld::kRowBits });
        m_b.Emit("PUSHI", { 0 });
        m_b.Emit("PUSHI", { 0 });
        m_b.Emit("DRSCANC", { Sym("ZERO"), Sym("CAP") });
    }
    // CAP against `expected` from bit I * 32 (rows) or 0; jumps to `fail` on a difference.
    void CompareOrJump(const char* expected, bool byRow, Label fail)
    {
        m_b.Emit("PUSHI", { cpld::kRowBits });
        m_b.Emit("PUSHI", { 0 });
        if (byRow)
            RowStart();
        else
            m_b.Emit("PUSHI", { 0 });
        m_b.Emit("PUSHI", { 0 });
        m_b.Emit("COMPARE", { Sym("CAP"), Sym(expected), Sym("ONES") });
        m_b.Emit("JZ", { fail });
    }
    void RowStart()
    {
        m_b.Emit("LOAD", { Sym("I") });
        m_b.Emit("PUSHI", { cpld::kRowBits });
        m_b.Emit("MUL");
    }
    void Wait(std::int64_t clocks)
    {
        m_b.Emit("PUSHI", { clocks });
        m_b.Emit("PUSHI", { 0 });
        m_b.Emit("WAIT", { kIdle, kIdle });
    }
    void AddressZero()
    {
        Ir(cpld::kAddress);
        m_b.Emit("PUSHI", { 8 });
        m_b.Emit("PUSHI", { 0 });
        m_b.Emit("DRSCAN", { Sym("ZERO") });
    }
    void ForRows()
    {
        m_b.Emit("PUSHI", { 0 });
        m_b.Emit("PUSHI", { cpld::kRows - 1 });
        m_b.Emit("PUSHI", { 1 });
        m_b.Emit("FOR", { Sym("I") });
    }
    void Exit(std::int64_t code)
    {
        m_b.Emit("PUSHI", { code });
        m_b.Emit("EXIT");
    }
    // The rows and the USERCODE against `rows` and `usercode`; `exitCode` on a difference.
    void Check(const char* rows, const char* usercode, std::int64_t exitCode)
    {
        const Label fail = m_b.NewLabel();
        const Label done = m_b.NewLabel();
        AddressZero();
        Ir(cpld::kRead);
        ForRows();
        Capture();
        CompareOrJump(rows, std::string_view(rows) == "ROWS", fail);
        m_b.Emit("NEXT", { Sym("I") });
        Ir(cpld::kUsercode);
        Capture();
        CompareOrJump(usercode, false, fail);
        m_b.Emit("JMP", { done });
        m_b.Bind(fail);
        Ir(cpld::kIspDisable);
        Exit(exitCode);
        m_b.Bind(done);
        m_b.Emit("RETURN");
    }

private:
    ImageBuilder& m_b;
};

} // namespace

std::vector<std::uint32_t> CpldPatternRows(std::uint32_t seed)
{
    std::vector<std::uint32_t> rows(cpld::kRows);
    std::uint32_t x = seed * 2654435761u + 0x6D2B79F5u;
    for (std::uint32_t& row : rows) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        row = x;
    }
    return rows;
}

BuildResult BuildCpldProgram(const CpldProgramPlan& plan)
{
    if (plan.rows.size() != static_cast<std::size_t>(cpld::kRows))
        return { {}, "a CPLD program needs 16 rows" };
    ImageBuilder b(Container::Stapl);
    for (const auto& [key, value] : plan.notes)
        b.AddNote(key, value);

    std::vector<bool> instructions;
    for (const std::uint8_t code : kInstructions)
        for (const bool bit : Bits(code, 8))
            instructions.push_back(bit);
    std::vector<bool> rows;
    for (const std::uint32_t row : plan.rows)
        for (const bool bit : Bits(row, cpld::kRowBits))
            rows.push_back(bit);
    b.AddBooleanArray("INSTR", instructions);
    b.AddBooleanArray("ROWS", rows, false, true);
    b.AddBooleanArray("UC", Bits(plan.usercode, 32));
    b.AddBooleanArray("ID", Bits(plan.idcode, 32));
    b.AddBooleanArray("ONES", std::vector<bool>(32, true));
    b.AddBooleanArray("ZERO", std::vector<bool>(32, false));
    b.AddUninitialisedArray("CAP", true, 32);
    b.AddInteger("I", 0);
    b.AddInteger("K", 0);

    Writer w(b);
    const Label idCheck = b.NewLabel();
    const Label readUsercode = b.NewLabel(), enterIsp = b.NewLabel(), erase = b.NewLabel(), program = b.NewLabel(),
                verify = b.NewLabel(), blankCheck = b.NewLabel(), leaveIsp = b.NewLabel();

    // The IDCODE check, called: exit 6 on another device.
    {
        const Label ok = b.NewLabel();
        b.Bind(idCheck);
        w.Ir(cpld::kIdcode);
        w.Capture();
        b.Emit("PUSHI", { 32 });
        b.Emit("PUSHI", { 0 });
        b.Emit("PUSHI", { 0 });
        b.Emit("PUSHI", { 0 });
        b.Emit("COMPARE", { Sym("CAP"), Sym("ID"), Sym("ONES") });
        b.Emit("JNZ", { ok });
        w.Exit(6);
        b.Bind(ok);
        b.Emit("RETURN");
    }

    b.Bind(readUsercode);
    b.Emit("CALL", { idCheck });
    w.Ir(cpld::kUsercode);
    w.Capture();
    if (plan.readUsercodePrints) {
        // Eight hexadecimal digits, the most significant first.
        const Label digit = b.NewLabel(), out = b.NewLabel();
        b.Emit("PRINTS", { Str("USERCODE code is ") });
        b.Emit("PUSHI", { 7 });
        b.Emit("PUSHI", { 0 });
        b.Emit("PUSHI", { -1 });
        b.Emit("FOR", { Sym("K") });
        b.Emit("LOAD", { Sym("K") });
        b.Emit("PUSHI", { 4 });
        b.Emit("MUL");
        b.Emit("PUSHI", { 3 });
        b.Emit("ADD");
        b.Emit("LOAD", { Sym("K") });
        b.Emit("PUSHI", { 4 });
        b.Emit("MUL");
        b.Emit("LOADS", { Sym("CAP") });
        b.Emit("DUP");
        b.Emit("PUSHI", { 10 });
        b.Emit("LT");
        b.Emit("JNZ", { digit });
        b.Emit("PUSHI", { 'A' - 10 });
        b.Emit("ADD");
        b.Emit("JMP", { out });
        b.Bind(digit);
        b.Emit("PUSHI", { '0' });
        b.Emit("ADD");
        b.Bind(out);
        b.Emit("PRINTC");
        b.Emit("NEXT", { Sym("K") });
        b.Emit("PRINTL");
    }
    b.Emit("RETURN");

    b.Bind(enterIsp);
    b.Emit("CALL", { idCheck });
    if (plan.programExitCode != 0)
        w.Exit(plan.programExitCode);
    w.Ir(cpld::kIspEnable);
    b.Emit("RETURN");

    b.Bind(erase);
    w.Ir(cpld::kErase);
    w.Wait(plan.eraseClocks);
    b.Emit("RETURN");

    b.Bind(program);
    w.AddressZero();
    w.Ir(cpld::kProgram);
    w.ForRows();
    b.Emit("PUSHI", { cpld::kRowBits });
    w.RowStart();
    b.Emit("DRSCAN", { Sym("ROWS") });
    b.Emit("PUSHI", { plan.rowClocks });
    if (plan.shortRow >= 0) {
        b.Emit("LOAD", { Sym("I") });
        b.Emit("PUSHI", { plan.shortRow });
        b.Emit("EQ");
        b.Emit("SUB");
    }
    b.Emit("PUSHI", { 0 });
    b.Emit("WAIT", { kIdle, kIdle });
    b.Emit("NEXT", { Sym("I") });
    w.Ir(cpld::kUsercodeProgram);
    b.Emit("PUSHI", { 32 });
    b.Emit("PUSHI", { 0 });
    b.Emit("DRSCAN", { Sym("UC") });
    w.Wait(plan.rowClocks);
    b.Emit("RETURN");

    b.Bind(verify);
    w.Check("ROWS", "UC", 11);
    b.Bind(blankCheck);
    w.Check("ONES", "ONES", 9);

    b.Bind(leaveIsp);
    w.Ir(cpld::kIspDisable);
    b.Emit("RETURN");

    b.AddProcedure("READ_USERCODE", readUsercode);
    b.AddProcedure("ENTER_ISP", enterIsp);
    b.AddProcedure("DO_ERASE", erase);
    b.AddProcedure("DO_PROGRAM", program);
    b.AddProcedure("DO_VERIFY", verify);
    b.AddProcedure("DO_BLANKCHECK", blankCheck);
    b.AddProcedure("LEAVE_ISP", leaveIsp);
    b.AddAction("Read_usercode", "Read the USERCODE", { { "READ_USERCODE" } });
    b.AddAction("PROGRAM", "Program the device",
        { { "ENTER_ISP" }, { "DO_ERASE", plan.eraseAttribute }, { "DO_PROGRAM" }, { "DO_VERIFY", plan.verifyAttribute },
            { "LEAVE_ISP" } });
    b.AddAction("VERIFY", "Verify the device", { { "ENTER_ISP" }, { "DO_VERIFY" }, { "LEAVE_ISP" } });
    b.AddAction("ERASE", "Erase the device", { { "ENTER_ISP" }, { "DO_ERASE" }, { "LEAVE_ISP" } });
    b.AddAction("BLANKCHECK", "Check the device is erased", { { "ENTER_ISP" }, { "DO_BLANKCHECK" }, { "LEAVE_ISP" } });
    return b.Build();
}

} // namespace bytecode
