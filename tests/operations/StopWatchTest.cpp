#include "operations/StopWatch.h"
#include "operations/OperationText.h"

#include "LanguageFixture.h"

#include "platform/Clock.h"

#include <memory>

namespace {

using namespace std::chrono_literals;

class StopWatchTest : public BuiltInTexts {
protected:
    std::shared_ptr<platform::ManualClock> clock = std::make_shared<platform::ManualClock>();
    platform::ScopedClock scoped { clock };
};

TEST_F(StopWatchTest, ElapsedLeavesOutTheFirst100MsAndNeverGoesNegative)
{
    struct Case {
        std::chrono::milliseconds run;
        double seconds;
        const char* line;
    };
    const Case cases[] = {
        { 1334ms, 1.234, "Elapsed time: 1.23 seconds.\r\n" },
        { 100ms, 0.0, "Elapsed time: 0.00 seconds.\r\n" },
        { 50ms, 0.0, "Elapsed time: 0.00 seconds.\r\n" },
        { 0ms, 0.0, "Elapsed time: 0.00 seconds.\r\n" },
        { 62100ms, 62.0, "Elapsed time: 62.00 seconds.\r\n" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.run.count());
        CStopWatch watch;
        const auto before = clock->Now();
        watch.Start();
        EXPECT_EQ(clock->Now(), before) << "Start must not sleep";
        clock->Advance(c.run);
        watch.Stop();
        clock->Advance(5s); // a stopped watch no longer moves
        EXPECT_NEAR(watch.ElapsedSeconds(), c.seconds, 1e-9);
        EXPECT_EQ(ElapsedLine(watch.ElapsedSeconds()), c.line);
    }
}

TEST_F(StopWatchTest, RunningWatchReadsTheCounterNowAndAStopWithoutStartChangesNothing)
{
    CStopWatch watch;
    EXPECT_EQ(watch.ElapsedSeconds(), 0.0);
    watch.Stop();
    EXPECT_FALSE(watch.IsRunning());
    EXPECT_EQ(watch.ElapsedSeconds(), 0.0);

    watch.Start();
    clock->Advance(600ms);
    EXPECT_TRUE(watch.IsRunning());
    EXPECT_NEAR(watch.ElapsedSeconds(), 0.5, 1e-9);
    watch.Stop();
    watch.Stop(); // a second stop keeps the first reading
    clock->Advance(1s);
    EXPECT_NEAR(watch.ElapsedSeconds(), 0.5, 1e-9);

    watch.Start(); // a new start forgets the old reading
    clock->Advance(100ms);
    EXPECT_EQ(watch.ElapsedSeconds(), 0.0);
}

TEST_F(StopWatchTest, ElapsedLineFollowsTheLanguageAndRejectsNonsense)
{
    EXPECT_EQ(ElapsedLine(-3.0), "Elapsed time: 0.00 seconds.\r\n");
    EXPECT_EQ(ElapsedLine(0.005), "Elapsed time: 0.01 seconds.\r\n");
    g_LanguageTexts[94] = "Zeit";
    g_LanguageTexts[95] = "Sekunden";
    EXPECT_EQ(ElapsedLine(2.5), "Zeit: 2.50 Sekunden.\r\n");
}

TEST_F(BuiltInTexts, AddressByteAndTimeFormats)
{
    EXPECT_EQ(FormatAddress(0), "000000");
    EXPECT_EQ(FormatAddress(0x1234), "001234");
    EXPECT_EQ(FormatAddress(0xABCDEF), "ABCDEF");
    EXPECT_EQ(FormatAddress(0x1ABCDEF), "1ABCDEF") << "wider addresses are not cut";
    EXPECT_EQ(FormatByte(0x0A), "0A");
    EXPECT_EQ(FormatByte(0x3FF), "FF") << "only the low byte";

    struct Case {
        std::int64_t seconds;
        const char* line;
    };
    const Case cases[] = {
        { 0, "Time:00:00:00 \r\n" },
        { 59, "Time:00:00:59 \r\n" },
        { 3661, "Time:01:01:01 \r\n" },
        { 36000 + 59 * 60 + 7, "Time:10:59:07 \r\n" },
        { -5, "Time:00:00:00 \r\n" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(TimeLine(c.seconds), c.line) << c.seconds;
}

TEST_F(BuiltInTexts, ProgressCaptionsAdapterReminderAndQuestions)
{
    const char* captions[]
        = { "Reading...", "Writing...", "Erasing...", "Verifying...", "Blank checking...", "Detecting..." };
    for (int state = 3; state <= 8; ++state)
        EXPECT_EQ(ProgressCaption(state), captions[state - 3]) << state;
    EXPECT_EQ(ProgressCaption(1), "");
    EXPECT_EQ(ProgressCaption(9), "");

    EXPECT_EQ(AdapterDialogText("", ""), "Check the adapter/jumper setting.");
    EXPECT_EQ(AdapterDialogText("Adapter A", ""), "Adapter A");
    EXPECT_EQ(AdapterDialogText("", "Set J1"), "Set J1");
    EXPECT_EQ(AdapterDialogText("Adapter A", "Set J1"), "Adapter A\r\nSet J1");
    EXPECT_EQ(AdapterDialogCaption(), "Adapter");

    EXPECT_EQ(IdCheckQuestion(),
        "ID check failed.\r\nPlease check device type, chip's orientation and pin contact.\r\n"
        "Some OEM chips may have compatible chip ID\r\nContinue?");
    EXPECT_EQ(IdCheckCaption(), "ID Check");
    EXPECT_EQ(DeviceDetectedText("AT89C51"), "Device:AT89C51 detected!");
}

TEST_F(BuiltInTexts, TheStatePaneByStateAndStep)
{
    struct Case {
        int state;
        int progress;
        const char* text;
    };
    const Case cases[] = {
        { 0, 0, "No programmer" }, { 0, 4, "No programmer" }, // a lost link ends the step's caption
        { 1, 0, "Idle" }, { 2, 0, "Detecting..." }, { 3, 3, "Reading..." }, { 4, 4, "Writing..." },
        { 5, 0, "Erasing..." }, { 7, 7, "Blank checking..." },
        { 1, 6, "Verifying..." }, // a step whose progress window shows while the state is idle
    };
    for (const Case& c : cases)
        EXPECT_EQ(StatePaneText(c.state, c.progress), c.text) << c.state << "/" << c.progress;
}

TEST_F(BuiltInTexts, TheFailureLineIsTheFirstLineTheCompletionLogged)
{
    const std::string before = "Ready\nDevice write completed\n";
    struct Case {
        const char* name;
        std::string log;
        std::size_t mark;
        const char* line;
    };
    const Case cases[] = {
        { "past the elapsed time", before + "Elapsed time: 0.12 seconds.\nVerify Failed, Address=0x000200\nmore\n",
            before.size(), "Verify Failed, Address=0x000200" },
        { "a mark inside a line counts from its start", "Reading...Read cancelled.\r\n", 4,
            "Reading...Read cancelled." },
        { "nothing logged: the last line before", before + "Elapsed time: 1.00 seconds.\n", before.size(),
            "Device write completed" },
        { "a mark past the end", before, 1000, "Device write completed" },
        { "an empty log", "", 0, "" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(FailureLine(c.log, c.mark), c.line) << c.name;
}

} // namespace
