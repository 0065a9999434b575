// The byte-code player frame: arguments, the loader's validation, the CRC lines, the listing,
// and the texts of every result, through a fake interpreter and a recording port.

#include "jtag/player/StaplPlayer.h"
#include "jtag/Crc16.h"
#include "jtag/JtagLayer.h"
#include "jtag/builder/ImageBuilder.h"
#include "jtag/player/PlayerTexts.h"
#include "jtag/player/StaplImage.h"
#include "platform/Clock.h"
#include "platform/TextFormat.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>

using namespace bytecode;
using namespace std::chrono_literals;

namespace {

using Image = std::vector<std::uint8_t>;
using Lines = std::vector<std::string>;

class RecordingPort final : public IJtagPort {
public:
    bool Send(std::span<const std::uint8_t> bytes) override
    {
        sends.emplace_back(bytes.begin(), bytes.end());
        return true;
    }
    int Read(std::uint8_t* buffer, int size) override
    {
        std::fill_n(buffer, size, 0);
        return size;
    }
    std::vector<Image> sends;
};

class FakeHost final : public IStaplHost {
public:
    explicit FakeHost(Image bytes = {})
        : image(std::move(bytes))
    {
    }
    std::string ProgramName() const override { return name; }
    bool LoadImage(std::vector<std::uint8_t>& out, std::string& error) override
    {
        if (loadError) {
            error = *loadError;
            return false;
        }
        out = image;
        return true;
    }
    void Output(const std::string& line) override
    {
        output.push_back(line);
        if (onOutput)
            onOutput(line);
    }
    void Console(const std::string& line) override { console.push_back(line); }
    IJtagPort& Port() override { return port; }
    int SpeedLevel() override { return 5; }
    std::stop_token Cancel() override { return stop.get_token(); }

    std::string name = "test.jbc";
    Image image;
    std::optional<std::string> loadError;
    Lines output;
    Lines console;
    std::function<void(const std::string&)> onOutput;
    RecordingPort port;
    std::stop_source stop;
};

class FakeInterpreter final : public IStaplInterpreter {
public:
    StaplExecution Execute(const StaplImage&, std::span<std::uint8_t> workspace, const StaplRunOptions& options,
        JtagLayer&, const std::function<void(const std::string&)>& output, std::stop_token) override
    {
        ++calls;
        last = options;
        workspaceBytes = workspace.size();
        if (runFor.count() != 0)
            platform::GetClock().SleepFor(runFor);
        if (!print.empty())
            output(print);
        return answer;
    }
    int calls = 0;
    StaplRunOptions last;
    std::size_t workspaceBytes = 0;
    std::chrono::nanoseconds runFor { 0 };
    std::string print;
    StaplExecution answer;
};

// A STAPL image with two notes, two actions (one with a description, one without) and required,
// optional and recommended procedures.
Image ListedImage()
{
    ImageBuilder b(Container::Stapl);
    b.AddNote("DESIGN", "model CPLD");
    b.AddNote("DATE", "2026");
    b.AddInteger("COUNT", 3);
    const Label code = b.NewLabel();
    b.Bind(code);
    b.Emit("RETURN");
    for (const char* p : { "DO_ERASE", "DO_PROGRAM", "DO_VERIFY", "READ_ID" })
        b.AddProcedure(p, code);
    b.AddAction("PROGRAM", "Program the device",
        { { "DO_ERASE", kProcRecommended }, { "DO_PROGRAM", kProcRequired }, { "DO_VERIFY", kProcOptional } });
    b.AddAction("READ_IDCODE", std::nullopt, { { "READ_ID", kProcRequired } });
    const BuildResult r = b.Build();
    EXPECT_TRUE(r.ok()) << r.error;
    return r.image;
}

Image Jam11Image()
{
    ImageBuilder b(Container::Jam11);
    b.Emit("PUSHI", { 0 });
    b.Emit("EXIT");
    return b.Build().image;
}

std::uint32_t WordAt(const Image& image, std::size_t at)
{
    return static_cast<std::uint32_t>(image[at] << 24 | image[at + 1] << 16 | image[at + 2] << 8 | image[at + 3]);
}

void SetWord(Image& image, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        image[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

struct PlayerRun {
    PlayerOutcome outcome;
    Lines output;
    Lines console;
    std::vector<Image> sends;
    int calls = 0;
};

PlayerRun Play(Image image, std::vector<std::string> args, FakeInterpreter& fake)
{
    platform::ScopedClock clock(std::make_shared<platform::ManualClock>());
    FakeHost host(std::move(image));
    args.insert(args.begin(), "not used");
    PlayerRun run;
    run.outcome = RunStaplPlayer(host, args, &fake);
    run.output = host.output;
    run.console = host.console;
    run.sends = host.port.sends;
    run.calls = fake.calls;
    return run;
}

const Image kPowerOn = { 15, 1 };
const Image kPowerOff = { 15, 0 };

} // namespace

TEST(StaplImage, RefusesMalformedImages)
{
    const Image good = ListedImage();
    ASSERT_TRUE(StaplImage::Open(good));
    const std::size_t size = good.size();

    struct Case {
        const char* name;
        std::function<Image()> make;
    };
    const auto patched = [&](std::size_t at, std::uint32_t value) {
        return [=] {
            Image image = good;
            SetWord(image, at, value);
            return image;
        };
    };
    const std::vector<Case> cases = {
        { "empty", [] { return Image {}; } },
        { "52 bytes", [&] { return Image(good.begin(), good.begin() + 52); } },
        { "a STAPL image of 60 bytes", [&] { return Image(good.begin(), good.begin() + 60); } },
        { "bad signature",
            [&] {
                Image image = good;
                image[3] = 2;
                return image;
            } },
        { "a Jam 1.1 image cut to its header",
            [] {
                const Image jam = Jam11Image();
                return Image(jam.begin(), jam.begin() + 53);
            } },
        { "CRC offset of length - 1", patched(40, static_cast<std::uint32_t>(size - 1)) },
        { "code end past the CRC offset", patched(36, static_cast<std::uint32_t>(size - 1)) },
        { "action table past the end", patched(4, static_cast<std::uint32_t>(size)) },
        { "procedure table past the end", patched(8, static_cast<std::uint32_t>(size)) },
        { "string table past the end", patched(12, static_cast<std::uint32_t>(size)) },
        { "note strings past the end", patched(16, static_cast<std::uint32_t>(size)) },
        { "note table past the end", patched(20, static_cast<std::uint32_t>(size)) },
        { "symbol table past the end", patched(24, static_cast<std::uint32_t>(size)) },
        { "a huge symbol count", patched(64, 0xFFFFFFFFu) },
        { "a name without its NUL",
            [&] {
                // The first action's name moves to the image's last byte, made non-zero.
                Image image = good;
                image.back() = 'X';
                SetWord(image, WordAt(image, 4), static_cast<std::uint32_t>(size - 1 - WordAt(image, 12)));
                return image;
            } },
        { "a chain index past the count",
            [&] {
                Image image = good;
                SetWord(image, WordAt(image, 4) + 8, WordAt(image, 52));
                return image;
            } },
        { "a cyclic chain",
            [] {
                ImageBuilder b(Container::Stapl);
                const Label l = b.NewLabel();
                b.Bind(l);
                b.Emit("RETURN");
                b.AddProcedure("P", l);
                b.AddAction("A", std::nullopt, { { "P" }, { "P" } });
                b.damage().cyclicChain = true;
                return b.Build().image;
            } },
        { "a reserved word",
            [] {
                ImageBuilder b(Container::Jam11);
                b.damage().reservedWord = 0;
                b.damage().reservedValue = 1;
                return b.Build().image;
            } },
        { "an illegal symbol attribute",
            [] {
                ImageBuilder b(Container::Stapl);
                b.AddInteger("X", 0);
                Image image = b.Build().image;
                image[WordAt(image, 24)] = 0x20;
                return image;
            } },
    };
    for (const Case& c : cases) {
        FakeInterpreter fake;
        const PlayerRun run = Play(c.make(), { "-aPROGRAM" }, fake);
        EXPECT_EQ(run.output, (Lines { "Error: File format is not recognized.", "Elapsed time = 00:00:00" })) << c.name;
        EXPECT_EQ(run.calls, 0) << c.name;
        EXPECT_EQ(run.sends, (std::vector<Image> { kPowerOn, kPowerOff })) << c.name;
        EXPECT_EQ(run.outcome.end, PlayerEnd::Unrecognised) << c.name;
        EXPECT_EQ(run.outcome.result, 2) << c.name;
        EXPECT_FALSE(run.outcome.Succeeded()) << c.name;
        int version = 0, actions = 0, procedures = 0, index = 0;
        std::string key, value, name;
        bool hasDescription = false;
        std::vector<StaplProcedureInfo> procs;
        const Image image = c.make();
        EXPECT_EQ(StaplGetFileInfo(image, version, actions, procedures), 2) << c.name;
        EXPECT_EQ(StaplGetNote(image, index, key, value), 2) << c.name;
        EXPECT_EQ(StaplGetActionInfo(image, 0, name, value, hasDescription, procs), 2) << c.name;
    }
}

TEST(StaplImage, ReadsNotesActionsAndFileInfo)
{
    const Image image = ListedImage();
    int version = 0, actions = 0, procedures = 0;
    ASSERT_EQ(StaplGetFileInfo(image, version, actions, procedures), 0);
    EXPECT_EQ(version, 2);
    EXPECT_EQ(actions, 2);
    EXPECT_EQ(procedures, 4);
    ASSERT_EQ(StaplGetFileInfo(Jam11Image(), version, actions, procedures), 0);
    EXPECT_EQ(version, 1);
    EXPECT_EQ(actions, 0);

    int index = 2;
    std::string key, value;
    ASSERT_EQ(StaplGetNote(image, index, key, value), 0);
    EXPECT_EQ(index, 3);
    EXPECT_EQ(key, "TONRIG_BYTECODE");
    EXPECT_EQ(StaplGetNote(image, index, key, value), 4);
    ASSERT_EQ(StaplGetNote(image, "design", value), 0);
    EXPECT_EQ(value, "model CPLD");
    EXPECT_EQ(StaplGetNote(image, "NOTHING", value), 4);

    ImageBuilder noNotes(Container::Jam11);
    noNotes.damage().noMarker = true;
    index = 0;
    EXPECT_EQ(StaplGetNote(noNotes.Build().image, index, key, value), 4);

    ImageBuilder longNote(Container::Jam11);
    longNote.AddNote(std::string(300, 'k'), std::string(400, 'v'));
    index = 0;
    ASSERT_EQ(StaplGetNote(longNote.Build().image, index, key, value), 0);
    EXPECT_EQ(key.size(), 256u);
    EXPECT_EQ(value.size(), 256u);

    std::string name, description;
    bool hasDescription = false;
    std::vector<StaplProcedureInfo> procs;
    EXPECT_EQ(StaplGetActionInfo(Jam11Image(), 0, name, description, hasDescription, procs), 2);
    EXPECT_EQ(StaplGetActionInfo(image, 2, name, description, hasDescription, procs), 2);
    ASSERT_EQ(StaplGetActionInfo(image, 0, name, description, hasDescription, procs), 0);
    EXPECT_EQ(name, "PROGRAM");
    EXPECT_TRUE(hasDescription);
    EXPECT_EQ(description, "Program the device");
    ASSERT_EQ(procs.size(), 3u);
    EXPECT_EQ(procs[0].name, "DO_ERASE");
    EXPECT_EQ(procs[0].attribute, kProcRecommended);
    EXPECT_EQ(procs[2].name, "DO_VERIFY");
    EXPECT_EQ(procs[2].attribute, kProcOptional);
}

TEST(StaplPlayer, ChecksTheCrc)
{
    const Image image = ListedImage();
    std::uint16_t expected = 0, actual = 0;
    ASSERT_EQ(StaplCheckCrc(image, expected, actual), 0);
    EXPECT_EQ(expected, actual);
    EXPECT_EQ(actual, Crc16(std::span(image.data(), image.size() - 2)));

    FakeInterpreter fake;
    const PlayerRun listed = Play(image, { "-v" }, fake);
    ASSERT_FALSE(listed.output.empty());
    EXPECT_EQ(listed.output[0], platform::Format("CRC matched: CRC value = %04X", actual));

    // One flipped byte of a note's text: reported, and the program still runs.
    Image flipped = image;
    flipped[WordAt(image, 16) + 1] ^= 0x01;
    ASSERT_EQ(StaplCheckCrc(flipped, expected, actual), 9);
    const PlayerRun run = Play(flipped, { "-aPROGRAM" }, fake);
    EXPECT_EQ(run.output[0], platform::Format("CRC mismatch: expected %04X, actual %04X", expected, actual));
    EXPECT_EQ(run.calls, 1);
}

TEST(StaplPlayer, ListsTheImage)
{
    const Lines listing = {
        "File format is Jam STAPL ByteCode format",
        "NOTE \"DESIGN\" = \"model CPLD\"",
        "NOTE \"DATE\" = \"2026\"",
        "NOTE \"TONRIG_BYTECODE\" = \"1\"",
        "",
        "Actions available in this file:",
        "PROGRAM \"Program the device\"",
        "    DO_ERASE (recommended)",
        "    DO_VERIFY (optional)",
        "READ_IDCODE",
    };
    for (const std::vector<std::string>& args :
        { std::vector<std::string> { "-i" }, std::vector<std::string> { "-v", "-aPROGRAM" } }) {
        FakeInterpreter fake;
        const PlayerRun run = Play(ListedImage(), args, fake);
        ASSERT_EQ(run.output.size(), listing.size() + 2) << args[0];
        EXPECT_EQ(Lines(run.output.begin() + 1, run.output.end() - 1), listing) << args[0];
        EXPECT_EQ(run.output.back(), "Elapsed time = 00:00:00");
        EXPECT_EQ(run.calls, 0) << "nothing executes";
        EXPECT_EQ(run.outcome.end, PlayerEnd::Listed);
        EXPECT_EQ(run.console, Lines { "Jam STAPL ByteCode Player Version 2.2" });
    }
    FakeInterpreter fake;
    const PlayerRun jam = Play(Jam11Image(), { "-i" }, fake);
    EXPECT_EQ(jam.output[1], "File format is pre-standardized Jam 1.1 ByteCode format");
    EXPECT_EQ(jam.output[2], "NOTE \"TONRIG_BYTECODE\" = \"1\"");
    EXPECT_EQ(jam.output.size(), 4u) << "no actions heading for Jam 1.1";
}

TEST(StaplPlayer, ParsesArguments)
{
    struct Case {
        std::vector<std::string> args;
        Lines illegal; // the console lines after the banner
        std::function<void(const StaplRunOptions&, std::size_t workspace)> check;
    };
    const auto illegalLine = [](const std::string& a) { return "Illegal argument: \"" + a + "\""; };
    std::vector<std::string> nine = { "prog.jbc" };
    for (int i = 1; i <= 9; ++i)
        nine.push_back("-dV" + std::to_string(i) + "=" + std::to_string(i));
    std::vector<std::string> ten = nine;
    ten.push_back("-dV10=10");
    const std::vector<Case> cases = {
        { { "/APROGRAM" }, {}, [](const StaplRunOptions& o, std::size_t) { EXPECT_EQ(o.action, "PROGRAM"); } },
        { { "-aread", "-aPROGRAM" }, { illegalLine("-aPROGRAM") },
            [](const StaplRunOptions& o, std::size_t) { EXPECT_EQ(o.action, "read"); } },
        { nine, {}, [](const StaplRunOptions& o, std::size_t) { EXPECT_EQ(o.defines.size(), 9u); } },
        { ten, { illegalLine("-dV10=10") },
            [](const StaplRunOptions& o, std::size_t) { EXPECT_EQ(o.defines.size(), 9u); } },
        { { "-d\"X=1" }, {}, [](const StaplRunOptions& o, std::size_t) { EXPECT_EQ(o.defines, Lines { "X=1" }); } },
        { { "-D\"Y=-12" }, {}, [](const StaplRunOptions& o, std::size_t) { EXPECT_EQ(o.defines, Lines { "Y=-12" }); } },
        { { "-dX" }, { illegalLine("-dX") },
            [](const StaplRunOptions& o, std::size_t) { EXPECT_TRUE(o.defines.empty()); } },
        { { "-dX=a" }, { illegalLine("-dX=a") }, {} },
        { { "-m0" }, { illegalLine("-m0") }, [](const StaplRunOptions&, std::size_t w) { EXPECT_EQ(w, 0u); } },
        { { "-mabc" }, { illegalLine("-mabc") }, [](const StaplRunOptions&, std::size_t w) { EXPECT_EQ(w, 0u); } },
        { { "-m4096" }, {}, [](const StaplRunOptions&, std::size_t w) { EXPECT_EQ(w, 4096u); } },
        { { "a.jbc", "b.jbc" }, { illegalLine("b.jbc") }, {} },
        { { "-q" }, { illegalLine("-q") }, {} },
        { { "-r", "-s", "-h" }, {}, [](const StaplRunOptions& o, std::size_t) { EXPECT_TRUE(o.noReset); } },
    };
    for (const Case& c : cases) {
        FakeInterpreter fake;
        const PlayerRun run = Play(ListedImage(), c.args, fake);
        Lines expected = { "Jam STAPL ByteCode Player Version 2.2" };
        expected.insert(expected.end(), c.illegal.begin(), c.illegal.end());
        EXPECT_EQ(run.console, expected) << c.args[0];
        ASSERT_EQ(run.calls, 1) << c.args[0] << ": the help flag has no further effect";
        if (c.check)
            c.check(fake.last, fake.workspaceBytes);
    }
    const StaplArguments helped = ParseStaplArguments({ "not used", "-q" }, [](const std::string&) {});
    EXPECT_TRUE(helped.help);
}

TEST(StaplPlayer, TurnsResultsIntoTexts)
{
    auto clock = std::make_shared<platform::ManualClock>();
    platform::ScopedClock scoped(clock);
    struct Case {
        const char* name;
        std::vector<std::string> args;
        StaplExecution answer;
        Image image;
        Lines tail; // the lines before "Elapsed time"
    };
    const Image stapl = ListedImage();
    const Image jam = Jam11Image();
    const std::vector<Case> cases = {
        { "24 with an action", { "-aERASE" }, { 24, 0, 5 }, stapl,
            { "Error: action \"ERASE\" is not supported for this Jam STAPL file.", "Program terminated." } },
        { "24 without an action", {}, { 24, 0, 0 }, stapl,
            { "Error: no action specified for Jam STAPL file.", "Program terminated." } },
        { "24 in Jam 1.1", {}, { 24, 0, 9 }, jam, { "Error at address 9: action not found.", "Program terminated." } },
        { "3 at offset 17", { "-aPROGRAM" }, { 3, 0, 17 }, stapl,
            { "Error at address 17: syntax error.", "Program terminated." } },
        { "25", { "-aPROGRAM" }, { 25, 0, 0 }, stapl, { "Unknown error code 25" } },
        { "exit 18", { "-aPROGRAM" }, { 0, 18, 0 }, stapl, { "Exit code = 18... Unknown exit code" } },
        { "exit 17", { "-aPROGRAM" }, { 0, 17, 0 }, stapl, { "Exit code = 17... Performing system test failure" } },
        { "Jam 1.1 exit 8", {}, { 0, 8, 0 }, jam, { "Exit code = 8... Unknown exit code" } },
        { "Jam 1.1 exit 7", {}, { 0, 7, 0 }, jam, { "Exit code = 7... SRAM configuration failure" } },
    };
    for (const Case& c : cases) {
        FakeInterpreter fake;
        fake.answer = c.answer;
        const PlayerRun run = Play(c.image, c.args, fake);
        ASSERT_GE(run.output.size(), c.tail.size() + 1) << c.name;
        EXPECT_EQ(Lines(run.output.end() - 1 - static_cast<long>(c.tail.size()), run.output.end() - 1), c.tail)
            << c.name;
        EXPECT_EQ(run.outcome.result, c.answer.result) << c.name;
        EXPECT_EQ(run.outcome.exitCode, c.answer.exitCode) << c.name;
        EXPECT_EQ(run.outcome.status, 0) << c.name << ": a failed run is still a run";
        EXPECT_FALSE(run.outcome.Succeeded()) << c.name;
        EXPECT_TRUE(StaplFailureLine(c.tail.front())) << c.name;
    }

    // Exit 0: the line comes 100 ms of clock after the run, and the elapsed time is the run's.
    FakeInterpreter fake;
    fake.runFor = 1h + 2min + 3s;
    FakeHost host(stapl);
    platform::Duration runEnd {};
    platform::Duration exitLine {};
    fake.print = "printed";
    host.onOutput = [&](const std::string& line) {
        if (line == "printed")
            runEnd = clock->Now();
        if (line.rfind("Exit code", 0) == 0)
            exitLine = clock->Now();
    };
    const PlayerOutcome outcome = RunStaplPlayer(host, { "not used", "-aPROGRAM" }, &fake);
    EXPECT_TRUE(outcome.Succeeded());
    ASSERT_GE(host.output.size(), 3u);
    EXPECT_EQ(host.output[host.output.size() - 2], "Exit code = 0... Success");
    EXPECT_EQ(host.output.back(), "Elapsed time = 01:02:03");
    EXPECT_EQ(exitLine - runEnd, 100ms);
    EXPECT_EQ(host.port.sends, (std::vector<Image> { kPowerOn, kPowerOff }));
}

// The hosts log a failure line in the error colour: every exit code but 0, in both tables and
// outside them, and the error lines; the other lines of a run are none.
TEST(StaplPlayer, TellsFailureLines)
{
    for (const int version : { 1, 2 }) {
        for (int exitCode = -2; exitCode <= 19; ++exitCode) {
            const std::string line
                = platform::Format(kPlayerExitCode, exitCode, StaplExitText(version, exitCode).c_str());
            EXPECT_EQ(StaplFailureLine(line), exitCode != 0) << "Jam " << version << ": " << line;
        }
    }
    for (const char* line : { "Error: can't open file \"x.jbc\"", "Error reading file \"x.jbc\"",
             "Error: File format is not recognized.", "Error: can't allocate memory (17 Kbytes)" })
        EXPECT_TRUE(StaplFailureLine(line)) << line;
    for (const char* line : { "Exit code = 0... Success", "Elapsed time = 00:00:09", "CRC matched: CRC value = 1234",
             "Jam STAPL ByteCode Player Version 2.2", "USERCODE code is 00000009", "Exit code = 9", "Exit code = ...",
             "", "Exit code" })
        EXPECT_FALSE(StaplFailureLine(line)) << line;
}

TEST(StaplPlayer, RefusesForeignImagesAndFailedLoads)
{
    ImageBuilder foreign(Container::Stapl);
    foreign.damage().noMarker = true;
    const Label l = foreign.NewLabel();
    foreign.Bind(l);
    foreign.Emit("RETURN");
    foreign.AddProcedure("P", l);
    foreign.AddAction("A", std::nullopt, { { "P" } });
    FakeInterpreter fake;
    const PlayerRun run = Play(foreign.Build().image, { "-aA" }, fake);
    EXPECT_EQ(run.output,
        (Lines { "Error: this byte-code file was made for another player and cannot run here (it lacks the note "
                 "TONRIG_BYTECODE = \"1\").",
            "Program terminated.", "Elapsed time = 00:00:00" }));
    EXPECT_EQ(run.calls, 0);
    EXPECT_EQ(run.outcome.end, PlayerEnd::Refused);
    EXPECT_EQ(run.sends, (std::vector<Image> { kPowerOn, kPowerOff }));
    EXPECT_EQ(Play(foreign.Build().image, { "-i" }, fake).outcome.end, PlayerEnd::Listed) << "it can still be listed";

    // The marker's value must be ours.
    ImageBuilder other(Container::Jam11);
    other.damage().noMarker = true;
    other.AddNote("tonrig_bytecode", "2");
    EXPECT_EQ(Play(other.Build().image, {}, fake).outcome.end, PlayerEnd::Refused);

    FakeHost noProgram;
    noProgram.name.clear();
    EXPECT_EQ(RunStaplPlayer(noProgram, { "not used" }, &fake).status, -1);
    EXPECT_TRUE(noProgram.console.empty());

    FakeHost missing;
    missing.loadError = "Error: can't open file \"x.jbc\"";
    const PlayerOutcome failed = RunStaplPlayer(missing, { "not used" }, &fake);
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(missing.console.back(), "Error: can't open file \"x.jbc\"");
    EXPECT_TRUE(missing.port.sends.empty()) << "a load failure never powers the socket";

    FakeHost big(ListedImage());
    const PlayerOutcome tooBig = RunStaplPlayer(big, { "not used", "-m16777217" }, &fake);
    EXPECT_EQ(tooBig.status, 1);
    EXPECT_EQ(big.console.back(), "Error: can't allocate memory (16384 Kbytes)");
    EXPECT_TRUE(big.port.sends.empty());

    std::string error;
    Image image;
    EXPECT_FALSE(StaplLoadFile("/nonexistent/x.jbc", image, error));
    EXPECT_EQ(error, "Error: can't open file \"/nonexistent/x.jbc\"");
}
