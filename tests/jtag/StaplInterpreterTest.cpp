// The byte-code interpreter's core: programs built with the builder, run by the player frame
// against a port that records packets. Each case asserts what the log would show: the printed
// lines, the exit line, or the error line with its offset.

#include "jtag/player/StaplInterpreter.h"
#include "jtag/JtagLayer.h"
#include "jtag/Opcodes.h"
#include "jtag/builder/ImageBuilder.h"
#include "jtag/player/StaplPlayer.h"
#include "platform/Clock.h"
#include "platform/TextFormat.h"

#include "PlayerTestSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <thread>

using namespace bytecode;
using namespace std::chrono_literals;

namespace {

using test::ErrorLine;
using test::Host;
using test::Image;
using test::Lines;
using test::NullPort;
using test::Outcome;
using test::Play;

struct Instr {
    std::string mnemonic;
    std::vector<Operand> operands;
};

// A Jam 1.1 program: the instructions, then PRINTI, PRINTL and EXIT 0. Returns the image and the
// offset of the last given instruction.
BuildResult Expression(const std::vector<Instr>& code, std::uint32_t& last)
{
    ImageBuilder b(Container::Jam11);
    for (const Instr& i : code) {
        last = b.Here();
        b.Emit(i.mnemonic, i.operands);
    }
    b.Emit("PRINTI");
    b.Emit("PRINTL");
    b.Emit("PUSHI", { 0 });
    b.Emit("EXIT");
    return b.Build();
}

Instr P(std::int64_t v)
{
    return { "PUSHI", { v } };
}
Instr I(const char* m)
{
    return { m, {} };
}

} // namespace

TEST(StaplInterpreter, EvaluatesExpressions)
{
    struct Case {
        std::vector<Instr> code;
        std::string printed; // the line printed, or empty
        const char* error = nullptr; // the error text at the last instruction
    };
    const std::int64_t kMin = INT32_MIN;
    const std::int64_t kMax = INT32_MAX;
    const std::vector<Case> cases = {
        { { P(2), P(3), I("ADD") }, "5" },
        { { P(kMax), P(1), I("ADD") }, "-2147483648" },
        { { P(-5), P(7), I("SUB") }, "-12" },
        { { P(kMin), P(1), I("SUB") }, "2147483647" },
        { { P(-3), P(4), I("MUL") }, "-12" },
        { { P(65536), P(65536), I("MUL") }, "0" },
        { { P(-7), P(2), I("DIV") }, "-3" },
        { { P(-7), P(2), I("MOD") }, "-1" },
        { { P(7), P(-2), I("MOD") }, "1" },
        { { P(kMin), P(-1), I("DIV") }, "", "integer overflow" },
        { { P(kMin), P(-1), I("MOD") }, "0" },
        { { P(1), P(0), I("DIV") }, "", "divide by zero" },
        { { P(1), P(0), I("MOD") }, "", "divide by zero" },
        { { P(-5), I("NEG") }, "5" },
        { { P(kMin), I("NEG") }, "-2147483648" },
        { { P(12), P(10), I("AND") }, "8" },
        { { P(12), P(10), I("OR") }, "14" },
        { { P(12), P(-1), I("XOR") }, "-13" },
        { { P(0), I("INV") }, "-1" },
        { { P(0), I("NOT") }, "1" },
        { { P(-5), I("NOT") }, "0" },
        { { P(2), P(-3), I("LAND") }, "1" },
        { { P(2), P(0), I("LAND") }, "0" },
        { { P(0), P(0), I("LOR") }, "0" },
        { { P(0), P(-1), I("LOR") }, "1" },
        { { P(1), P(-1), I("SHL") }, "0" },
        { { P(1), P(0), I("SHL") }, "1" },
        { { P(1), P(31), I("SHL") }, "-2147483648" },
        { { P(1), P(32), I("SHL") }, "0" },
        { { P(-8), P(1), I("SHR") }, "-4" },
        { { P(kMin), P(31), I("SHR") }, "-1" },
        { { P(8), P(-1), I("SHR") }, "0" },
        { { P(-8), P(32), I("SHR") }, "-1" },
        { { P(8), P(32), I("SHR") }, "0" },
        { { P(-2), P(-2), I("EQ") }, "1" },
        { { P(-2), P(2), I("NE") }, "1" },
        { { P(-3), P(2), I("LT") }, "1" },
        { { P(2), P(-3), I("LT") }, "0" },
        { { P(-3), P(-3), I("LE") }, "1" },
        { { P(-1), P(-3), I("GT") }, "1" },
        { { P(-4), P(-3), I("GE") }, "0" },
        { { P(-5), I("ABS") }, "5" },
        { { P(kMin), I("ABS") }, "", "integer overflow" },
        { { P(-3), I("BOOL") }, "1" },
        { { P(0), I("BOOL") }, "0" },
        { { P(1), I("LOG2C") }, "0" },
        { { P(5), I("LOG2C") }, "3" },
        { { P(8), I("LOG2C") }, "3" },
        { { P(5), I("LOG2F") }, "2" },
        { { P(kMax), I("LOG2C") }, "31" },
        { { P(kMax), I("LOG2F") }, "30" },
        { { P(0), I("LOG2F") }, "", "bounds error" },
        { { P(10), I("SQRTC") }, "4" },
        { { P(16), I("SQRTC") }, "4" },
        { { P(10), I("SQRTF") }, "3" },
        { { P(0), I("SQRTF") }, "0" },
        { { P(kMax), I("SQRTF") }, "46340" },
        { { P(kMax), I("SQRTC") }, "46341" },
        { { P(-1), I("SQRTC") }, "", "bounds error" },
        { { P(4), P(9), I("SWAP"), I("SUB") }, "5" },
        { { P(4), I("DUP"), I("MUL") }, "16" },
        { { P(4), P(9), I("DROP") }, "4" },
    };
    for (const Case& c : cases) {
        std::uint32_t last = 0;
        const Outcome o = Play(Expression(c.code, last));
        std::string what = c.code.back().mnemonic + " of";
        for (const Instr& i : c.code)
            if (i.mnemonic == "PUSHI")
                what += " " + std::to_string(static_cast<std::int32_t>(i.operands[0].value));
        if (c.error != nullptr)
            EXPECT_EQ(o.lines, (Lines { ErrorLine(last, c.error), "Program terminated." })) << what;
        else
            EXPECT_EQ(o.lines, (Lines { c.printed, "Exit code = 0... Success" })) << what;
    }
}

TEST(StaplInterpreter, Prints)
{
    ImageBuilder b(Container::Jam11);
    b.Emit("PUSHI", { 65 });
    b.Emit("PRINTC");
    b.Emit("PRINTS", { Str("BC ") });
    b.Emit("PUSHI", { -12 });
    b.Emit("PRINTI");
    b.Emit("PRINTL");
    b.Emit("PRINTL");
    b.Emit("PRINTS", { Str(std::string(1100, 'x')) });
    b.Emit("PRINTL");
    const std::uint32_t bad = b.Here();
    b.Emit("PUSHI", { 256 });
    b.Emit("PRINTC");
    const Outcome o = Play(b.Build());
    ASSERT_EQ(o.lines.size(), 5u);
    EXPECT_EQ(o.lines[0], "ABC -12");
    EXPECT_EQ(o.lines[1], "");
    EXPECT_EQ(o.lines[2], std::string(1024, 'x')) << "a line is cut at 1,024 characters";
    EXPECT_EQ(o.lines[3], ErrorLine(bad + 5, "bounds error")) << "CHR$ of 256";

    ImageBuilder s(Container::Jam11);
    s.Emit("PRINTS", { 0x7FFFFFFF });
    EXPECT_EQ(Play(s.Build()).lines[0], ErrorLine(0, "bounds error")) << "a string outside the image";
}

TEST(StaplInterpreter, RunsLoopsCallsAndJumps)
{
    // FOR I = 1 TO 3 (step 1), FOR J = 3 TO 1 STEP -1, nested, printing I*10+J; then CALL.
    ImageBuilder b(Container::Jam11);
    b.AddInteger("I", 0);
    b.AddInteger("J", 0);
    const Label outer = b.NewLabel(), inner = b.NewLabel(), sub = b.NewLabel(), end = b.NewLabel();
    b.Emit("PUSHI", { 1 });
    b.Emit("PUSHI", { 3 });
    b.Emit("PUSHI", { 1 });
    b.Emit("FOR", { Sym("I") });
    b.Bind(outer);
    b.Emit("PUSHI", { 3 });
    b.Emit("PUSHI", { 1 });
    b.Emit("PUSHI", { -1 });
    b.Emit("FOR", { Sym("J") });
    b.Bind(inner);
    b.Emit("LOAD", { Sym("I") });
    b.Emit("PUSHI", { 10 });
    b.Emit("MUL");
    b.Emit("LOAD", { Sym("J") });
    b.Emit("ADD");
    b.Emit("PRINTI");
    b.Emit("PRINTS", { Str(" ") });
    b.Emit("NEXT", { Sym("J") });
    b.Emit("NEXT", { Sym("I") });
    b.Emit("PRINTL");
    b.Emit("CALL", { sub });
    b.Emit("PRINTS", { Str("back, I = ") });
    b.Emit("LOAD", { Sym("I") });
    b.Emit("PRINTI");
    b.Emit("PRINTL");
    b.Emit("JMP", { end });
    b.Bind(sub);
    b.Emit("PRINTS", { Str("in sub") });
    b.Emit("PRINTL");
    b.Emit("RETURN");
    b.Bind(end);
    b.Emit("PUSHI", { 5 });
    b.Emit("PUSH");
    b.Emit("POP", { Sym("J") });
    b.Emit("LOAD", { Sym("J") });
    b.Emit("JZ", { sub });
    b.Emit("PUSHI", { 0 });
    b.Emit("EXIT");
    EXPECT_EQ(Play(b.Build()).lines,
        (Lines { "13 12 11 23 22 21 33 32 31 ", "in sub", "back, I = 4", "Exit code = 0... Success" }));
}

TEST(StaplInterpreter, ReportsFlowFaults)
{
    struct Case {
        const char* name;
        std::function<void(ImageBuilder&, std::uint32_t& at)> code;
        const char* error;
    };
    const std::vector<Case> cases = {
        { "NEXT of the wrong variable",
            [](ImageBuilder& b, std::uint32_t& at) {
                for (int v : { 1, 2, 1 })
                    b.Emit("PUSHI", { v });
                b.Emit("FOR", { Sym("I") });
                at = b.Here();
                b.Emit("NEXT", { Sym("J") });
            },
            "NEXT unexpected" },
        { "POP with nothing pushed",
            [](ImageBuilder& b, std::uint32_t& at) {
                b.Emit("PUSHI", { 1 });
                at = b.Here();
                b.Emit("POP", { Sym("I") });
            },
            "POP unexpected" },
        { "RETURN at the top",
            [](ImageBuilder& b, std::uint32_t& at) {
                b.Emit("NOP");
                at = b.Here();
                b.Emit("RETURN");
            },
            "RETURN unexpected" },
        { "RETURN over a value",
            [](ImageBuilder& b, std::uint32_t& at) {
                const Label sub = b.NewLabel();
                b.Emit("CALL", { sub });
                b.Bind(sub);
                b.Emit("PUSHI", { 1 });
                at = b.Here();
                b.Emit("RETURN");
            },
            "RETURN unexpected" },
        { "a jump past the code end",
            [](ImageBuilder& b, std::uint32_t& at) {
                at = b.Here();
                b.Emit("JMP", { 1000 });
            },
            "bounds error" },
        { "a call past the code end",
            [](ImageBuilder& b, std::uint32_t& at) {
                b.Emit("NOP");
                at = b.Here();
                b.Emit("CALL", { 6 });
            },
            "bounds error" },
        { "running off the code end",
            [](ImageBuilder& b, std::uint32_t& at) {
                b.Emit("NOP");
                at = b.Here();
            },
            "unexpected end of file" },
        { "an operand cut off by the code end",
            [](ImageBuilder& b, std::uint32_t& at) {
                b.Emit("NOP");
                at = b.Here();
                b.EmitBytes({ 0x40, 0, 0, 0 });
            },
            "unexpected end of file" },
        { "a pop of an empty stack",
            [](ImageBuilder& b, std::uint32_t& at) {
                at = b.Here();
                b.Emit("DROP");
            },
            "stack overflow" },
        { "a value wanted from a loop entry",
            [](ImageBuilder& b, std::uint32_t& at) {
                for (int v : { 1, 2, 1 })
                    b.Emit("PUSHI", { v });
                b.Emit("FOR", { Sym("I") });
                at = b.Here();
                b.Emit("PRINTI");
            },
            "type mismatch" },
        { "a store into a constant",
            [](ImageBuilder& b, std::uint32_t& at) {
                b.Emit("PUSHI", { 1 });
                at = b.Here();
                b.Emit("STORE", { Sym("K") });
            },
            "assignment to constant" },
        { "a symbol past the count",
            [](ImageBuilder& b, std::uint32_t& at) {
                at = b.Here();
                b.Emit("LOAD", { 4 });
            },
            "undefined symbol" },
        { "an array loaded as a scalar",
            [](ImageBuilder& b, std::uint32_t& at) {
                at = b.Here();
                b.Emit("LOAD", { Sym("A") });
            },
            "type mismatch" },
    };
    for (const Case& c : cases) {
        ImageBuilder b(Container::Jam11);
        b.AddInteger("I", 0);
        b.AddInteger("J", 0);
        b.AddInteger("K", 7, false);
        b.AddIntegerArray("A", { 1, 2 });
        std::uint32_t at = 0;
        c.code(b, at);
        EXPECT_EQ(Play(b.Build()).lines, (Lines { ErrorLine(at, c.error), "Program terminated." })) << c.name;
    }
}

TEST(StaplInterpreter, HoldsOneHundredAndTwentyEightStackEntries)
{
    for (const int pushes : { 128, 129 }) {
        ImageBuilder b(Container::Jam11);
        for (int i = 0; i < pushes; ++i)
            b.Emit("PUSHI", { i });
        b.Emit("PRINTI");
        b.Emit("PRINTL");
        b.Emit("PUSHI", { 0 });
        b.Emit("EXIT");
        const Outcome o = Play(b.Build());
        if (pushes == 128)
            EXPECT_EQ(o.lines, (Lines { "127", "Exit code = 0... Success" }));
        else
            EXPECT_EQ(o.lines, (Lines { ErrorLine(128 * 5, "stack overflow"), "Program terminated." }));
    }
}

TEST(StaplInterpreter, RefusesEveryIllegalAndUnusedCode)
{
    int checked = 0;
    for (int code = 0; code < 256; ++code) {
        if (FindOpcode(static_cast<std::uint8_t>(code)) != nullptr)
            continue;
        ImageBuilder b(Container::Jam11);
        b.Emit("NOP");
        b.EmitBytes({ static_cast<std::uint8_t>(code), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0 });
        EXPECT_EQ(Play(b.Build()).lines, (Lines { ErrorLine(1, "illegal instruction code"), "Program terminated." }))
            << std::hex << code;
        ++checked;
    }
    EXPECT_EQ(checked, 256 - static_cast<int>(kOpcodes.size()));
}

TEST(StaplInterpreter, RunsTheActionAsked)
{
    ImageBuilder b(Container::Stapl);
    const Label usercode = b.NewLabel(), opt = b.NewLabel(), fail = b.NewLabel();
    b.Bind(usercode);
    b.Emit("PRINTS", { Str("USERCODE") });
    b.Emit("PRINTL");
    b.Emit("RETURN");
    b.Bind(opt);
    b.Emit("PRINTS", { Str("optional ran") });
    b.Emit("PRINTL");
    b.Emit("RETURN");
    b.Bind(fail);
    b.Emit("PUSHI", { 3 });
    b.Emit("EXIT");
    b.AddProcedure("DO_READ", usercode);
    b.AddProcedure("DO_OPT", opt);
    b.AddProcedure("DO_FAIL", fail);
    b.AddAction("Read_usercode", std::nullopt, { { "DO_READ" }, { "DO_OPT", kProcOptional } });
    b.AddAction("FAIL", std::nullopt, { { "DO_FAIL" } });
    const BuildResult image = b.Build();

    EXPECT_EQ(Play(image, { "-aread_usercode" }).lines, (Lines { "USERCODE", "Exit code = 0... Success" }));
    EXPECT_EQ(Play(image, { "-aREAD_USERCODE", "-dDO_OPT=1" }).lines,
        (Lines { "USERCODE", "optional ran", "Exit code = 0... Success" }));
    EXPECT_EQ(Play(image, { "-aREAD_USERCODE", "-ddo_read=0" }).lines, (Lines { "Exit code = 0... Success" }));
    EXPECT_EQ(Play(image, { "-aERASE" }).lines,
        (Lines { "Error: action \"ERASE\" is not supported for this Jam STAPL file.", "Program terminated." }));
    EXPECT_EQ(Play(image).lines, (Lines { "Error: no action specified for Jam STAPL file.", "Program terminated." }));
    EXPECT_EQ(Play(image, { "-aFAIL" }).lines, (Lines { "Exit code = 3... Reading USERCODE failure" }));

    // Jam 1.1: the code start whatever the action; defines set scalars.
    ImageBuilder jam(Container::Jam11);
    jam.AddInteger("COUNT", 2);
    jam.Emit("LOAD", { Sym("COUNT") });
    jam.Emit("PRINTI");
    jam.Emit("PRINTL");
    jam.Emit("PUSHI", { 3 });
    jam.Emit("EXIT");
    EXPECT_EQ(
        Play(jam.Build(), { "-aANY" }).lines, (Lines { "2", "Exit code = 3... Device revision is not supported" }));
    EXPECT_EQ(Play(jam.Build(), { "-dcount=5" }).lines.front(), "5");
}

TEST(StaplInterpreter, ChecksDefinesAndTheWorkspace)
{
    ImageBuilder jam(Container::Jam11);
    jam.Emit("PUSHI", { 0 });
    jam.Emit("EXIT");
    const BuildResult image = jam.Build();
    struct Case {
        std::vector<std::string> defines;
        int result;
    };
    const Case cases[] = {
        { { "X=1", "x=2" }, 6 },
        { { "X=99999999999" }, 7 },
        { { "1X=1" }, 17 },
        { { "X-Y=1" }, 17 },
        { { "X=" }, 3 },
        { { "X" }, 3 },
        { { "X=1", "Y=-2147483648" }, 0 },
    };
    for (const Case& c : cases) {
        NullPort port;
        JtagLayer layer(port);
        StaplRunOptions options;
        options.defines = c.defines;
        StaplInterpreter interpreter;
        const auto view = StaplImage::Open(image.image);
        ASSERT_TRUE(view);
        EXPECT_EQ(interpreter.Execute(*view, {}, options, layer, [](const std::string&) {}, {}).result, c.result)
            << c.defines.back();
    }
    EXPECT_EQ(Play(image, { "-m100" }).lines, (Lines { ErrorLine(0, "out of memory"), "Program terminated." }));
    EXPECT_EQ(Play(image, { "-m640" }).lines, (Lines { "Exit code = 0... Success" }));
}

TEST(StaplInterpreter, IsCancelledFromAnotherThread)
{
    ImageBuilder b(Container::Jam11);
    const Label loop = b.NewLabel();
    b.Bind(loop);
    b.Emit("NOP");
    b.Emit("JMP", { loop });
    Host host(b.Build().image);
    std::thread canceller([&] {
        std::this_thread::sleep_for(20ms);
        host.stop.request_stop();
    });
    const PlayerOutcome outcome = RunStaplPlayer(host, { "not used" });
    canceller.join();
    EXPECT_EQ(outcome.result, 19);
    ASSERT_GE(host.output.size(), 2u);
    EXPECT_NE(host.output[0].find(": execution cancelled."), std::string::npos) << host.output[0];

    // The fuzzers' budget ends an endless run the same way.
    StaplInterpreter budgeted;
    budgeted.SetInstructionBudget(1000);
    NullPort port;
    JtagLayer layer(port);
    const auto view = StaplImage::Open(host.image);
    EXPECT_EQ(budgeted.Execute(*view, {}, {}, layer, [](const std::string&) {}, {}).result, 19);
}

namespace {

TEST(StaplInterpreter, ChecksTheJtagInstructionsOperands)
{
    // A: 8 bits 0b10110010, B: 8 bits 0b10010010 (they differ in bit 5), M: bits 0-4 and 6-7.
    const auto image = [](const std::vector<Instr>& code, std::uint32_t& last) {
        ImageBuilder b(Container::Jam11);
        b.AddBooleanArray("A", { false, true, false, false, true, true, false, true });
        b.AddBooleanArray("B", { false, true, false, false, true, false, false, true });
        b.AddBooleanArray("M", { true, true, true, true, true, false, true, true });
        b.AddUninitialisedArray("W", true, 8);
        b.AddInteger("N", 0);
        bool seen = false;
        for (const Instr& i : code) {
            if (!seen && i.mnemonic != "PUSHI") {
                last = b.Here(); // the instruction under test
                seen = true;
            }
            b.Emit(i.mnemonic, i.operands);
        }
        b.Emit("PRINTI");
        b.Emit("PRINTL");
        b.Emit("PUSHI", { 0 });
        b.Emit("EXIT");
        return b.Build();
    };
    struct Case {
        const char* name;
        std::vector<Instr> code;
        const char* error; // nullptr: prints `printed`
        std::int32_t printed = 0;
    };
    const Case cases[] = {
        // COMPARE pops count, captureStart, expectedStart, maskStart.
        { "masked compare", { P(8), P(0), P(0), P(0), { "COMPARE", { Sym("A"), Sym("B"), Sym("M") } } }, nullptr, 1 },
        { "unmasked compare", { P(8), P(0), P(0), P(0), { "COMPARE", { Sym("A"), Sym("B"), Sym("A") } } }, nullptr, 0 },
        { "compare past the mask", { P(8), P(0), P(0), P(1), { "COMPARE", { Sym("A"), Sym("B"), Sym("M") } } },
            "bounds error" },
        { "compare of an integer", { P(1), P(0), P(0), P(0), { "COMPARE", { Sym("N"), Sym("B"), Sym("M") } } },
            "type mismatch" },
        { "state 16", { { "STATE", { 16 } }, P(1) }, "bounds error" },
        { "state inside a path", { { "STATE", { 5 } }, P(1) }, nullptr, 1 },
        { "last state not stable", { { "STATEL", { 5 } }, P(1) }, "bounds error" },
        { "IR stop not stable", { { "IRSTOP", { 15 } }, P(1) }, "bounds error" },
        { "DR stop DRPAUSE", { { "DRSTOP", { 6 } }, P(1) }, nullptr, 1 },
        { "negative scan count", { P(-1), P(0), { "DRSCAN", { Sym("A") } }, P(1) }, "bounds error" },
        { "scan past the array", { P(8), P(1), { "IRSCAN", { Sym("A") } }, P(1) }, "bounds error" },
        { "capture into a constant", { P(8), P(0), P(0), { "DRSCANC", { Sym("A"), Sym("B") } }, P(1) },
            "assignment to constant" },
        { "capture", { P(8), P(0), P(0), { "DRSCANC", { Sym("A"), Sym("W") } }, P(1) }, nullptr, 1 },
        { "negative preamble", { P(-1), P(0), { "PREDR", { kAllOnes } }, P(1) }, "bounds error" },
        { "preamble slice past", { P(4), P(5), { "PREIR", { Sym("A") } }, P(1) }, "bounds error" },
        { "postamble of ones", { P(40), P(0), { "POSTDR", { kAllOnes } }, P(1) }, nullptr, 1 },
        { "wait in a path state", { P(5), P(1), P(10), P(0), { "WAIT", { 0, 0 } }, P(1) }, "bounds error" },
        { "wait ending past 15", { P(1), P(16), P(10), P(0), { "WAIT", { 0, 0 } }, P(1) }, "bounds error" },
        { "negative wait", { P(1), P(1), P(-1), P(0), { "WAIT", { 0, 0 } }, P(1) }, "bounds error" },
        { "wait", { P(1), P(6), P(10), P(0), { "WAIT", { 0, 0 } }, P(1) }, nullptr, 1 },
        { "frequency", { P(1000000), I("FREQUENCY"), P(1) }, nullptr, 1 },
    };
    for (const Case& c : cases) {
        std::uint32_t last = 0;
        const BuildResult built = image(c.code, last);
        const Lines lines = Play(built).lines;
        if (c.error == nullptr) {
            EXPECT_EQ(lines, (Lines { std::to_string(c.printed), "Exit code = 0... Success" })) << c.name;
        } else {
            EXPECT_EQ(lines, (Lines { ErrorLine(last, c.error), "Program terminated." })) << c.name;
        }
    }
}

TEST(StaplInterpreter, EndsTheRunWithTheLayersResult)
{
    // A port whose transfers fail: the first JTAG packet ends the run with 10 at its offset.
    class DeadPort final : public IJtagPort {
    public:
        bool Send(std::span<const std::uint8_t>) override { return false; }
        int Read(std::uint8_t*, int) override { return 0; }
    };
    ImageBuilder b(Container::Jam11);
    b.AddBooleanArray("A", std::vector<bool>(8, true));
    b.Emit("PUSHI", { 8 });
    b.Emit("PUSHI", { 0 });
    b.Emit("IRSCAN", { Sym("A") });
    b.Emit("PUSHI", { 0 });
    b.Emit("EXIT");
    const BuildResult built = b.Build(); // the image the view points into
    const auto view = StaplImage::Open(built.image);
    ASSERT_TRUE(view);
    DeadPort port;
    JtagLayer layer(port);
    StaplInterpreter interpreter;
    const StaplExecution e = interpreter.Execute(*view, {}, {}, layer, [](const std::string&) {}, {});
    EXPECT_EQ(e.result, 10);
    EXPECT_EQ(e.offset, 10);
}

} // namespace
