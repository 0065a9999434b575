#include "operations/CompletionReport.h"

#include "LanguageFixture.h"

#include <vector>

namespace {

class CompletionReportTest : public BuiltInTexts { };

StepResult Result(StepOperation operation, StepKind kind, std::uint32_t address = 0, std::uint8_t device = 0,
    std::uint8_t buffer = 0, bool inBuffer = true)
{
    StepResult r;
    r.operation = operation;
    r.kind = kind;
    r.address = address;
    r.deviceByte = device;
    r.bufferByte = buffer;
    r.addressInBuffer = inBuffer;
    return r;
}

// A failure a serial EEPROM did not acknowledge at `deviceAddress`; the other fields as a pump
// leaves them after the floating bus's bytes.
StepResult Unanswered(StepOperation operation, std::uint8_t deviceAddress)
{
    StepResult r = Result(operation, StepKind::Failed, 0, 0xFF, 0x00);
    r.unansweredAddress = deviceAddress;
    return r;
}

ReportContext Context(bool inWalk = false, bool walkEnded = false, bool secondPass = false)
{
    ReportContext c;
    c.inWalk = inWalk;
    c.walkEnded = walkEnded;
    c.secondPassArmed = secondPass;
    return c;
}

TEST_F(CompletionReportTest, LinesAndBoxesOfEachResult)
{
    using O = StepOperation;
    using K = StepKind;
    struct Case {
        const char* name;
        StepResult result;
        ReportContext context;
        std::vector<std::string> lines;
        const char* box;
        const char* caption;
        bool elapsed;
    };
    const Case cases[] = {
        { "blank done", Result(O::BlankCheck, K::Done), Context(), { "Chip is blank\r\n" }, "", "", true },
        { "blank done in a walk", Result(O::BlankCheck, K::Done), Context(true), { "OK\r\n" }, "", "", true },
        { "blank walk ends", Result(O::BlankCheck, K::Done), Context(true, true), { "OK\r\n", "Chip is blank\r\n" }, "",
            "", true },
        { "blank failed", Result(O::BlankCheck, K::Failed, 0x1234, 0x00), Context(),
            { "Device blank check failed at address:  0x001234, Read= 0x00.\r\n", "Blank check failed\r\n" },
            "Device blank check failed at address:  0x001234, Read= 0x00.", "Blank Check", true },
        { "blank cancelled", Result(O::BlankCheck, K::Cancelled, 0x800), Context(),
            { "Blank check is cancelled at address: 0x000800\r\n", "Cancelled\r\n" },
            "Blank check is cancelled at address: 0x000800", "Blank check is cancelled", true },
        { "verify done", Result(O::Verify, K::Done), Context(), { "Device is verified\r\n" }, "", "", true },
        { "verify walk ends", Result(O::Verify, K::Done), Context(true, true), { "OK\r\n", "Device is verified\r\n" },
            "", "", true },
        { "verify failed", Result(O::Verify, K::Failed, 0x1234, 0xED, 0x12), Context(),
            { "Verify Failed, Address=0x001234, Buffer=0x12, Device=0xED\r\n" }, "", "", true },
        { "verify cancelled", Result(O::Verify, K::Cancelled, 0x4000), Context(),
            { "Device verify cancelled, Address=0x004000\r\n" }, "", "", true },
        { "write done", Result(O::Write, K::Done), Context(), { "Device write completed\r\n" }, "", "", true },
        { "write done, second pass armed", Result(O::Write, K::Done), Context(false, false, true), {}, "", "", false },
        { "write failed at 0x0400", Result(O::Write, K::Failed, 0x400, 0x5A, 0xA5), Context(),
            { "Write failed, Address=0x000400, Buffer=0xA5 Device=0x5A\r\n", "Write failed\r\n" },
            "Write failed, Address=0x000400, Buffer=0xA5 Device=0x5A", "Write", true },
        { "write failed at 0 with data 0 is still a failure", Result(O::Write, K::Failed, 0, 0, 0), Context(),
            { "Write failed, Address=0x000000, Buffer=0x00 Device=0x00\r\n", "Write failed\r\n" },
            "Write failed, Address=0x000000, Buffer=0x00 Device=0x00", "Write", true },
        { "write failed outside the buffer", Result(O::Write, K::Failed, 0x20000, 0, 0, false), Context(),
            { "Write failed, Address = 0x020000\r\n", "Write failed\r\n" }, "Write failed, Address = 0x020000", "Write",
            true },
        { "write cancelled: no box", Result(O::Write, K::Cancelled, 0x100), Context(), { "Device write cancelled\r\n" },
            "", "", true },
        { "link lost", Result(O::Verify, K::LinkLost, 0x100), Context(), { "USB connection lost!\r\n" }, "", "",
            false },
        { "refused", Result(O::Write, K::Refused), Context(), {}, "", "", false },
        { "read is not reported here", Result(O::Read, K::Done), Context(), {}, "", "", false },
        // A chip that did not answer: its one line, no address, no byte, no box.
        { "read without an answer", Unanswered(O::Read, 0xA2), Context(),
            { "No answer from the chip at device address 0xA2.\r\n" }, "", "", false },
        { "write without an answer", Unanswered(O::Write, 0xA2), Context(),
            { "No answer from the chip at device address 0xA2.\r\n" }, "", "", true },
        { "verify without an answer", Unanswered(O::Verify, 0xAE), Context(true),
            { "No answer from the chip at device address 0xAE.\r\n" }, "", "", true },
        { "blank check without an answer", Unanswered(O::BlankCheck, 0xA0), Context(),
            { "No answer from the chip at device address 0xA0.\r\n" }, "", "", true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CompletionReport report = MakeCompletionReport(c.result, c.context);
        std::vector<std::string> lines;
        for (const ReportLine& line : report.lines)
            lines.push_back(line.text);
        EXPECT_EQ(lines, c.lines);
        EXPECT_EQ(report.boxText, c.box);
        EXPECT_EQ(report.boxCaption, c.caption);
        EXPECT_EQ(report.elapsedFirst, c.elapsed);
        for (const ReportLine& line : report.lines)
            EXPECT_EQ(line.tone, c.result.kind == K::Done ? LineTone::Success : LineTone::Error) << line.text;
    }
}

TEST_F(CompletionReportTest, FollowsTheLanguage)
{
    g_LanguageTexts[97] = "Fertig";
    const CompletionReport report = MakeCompletionReport(Result(StepOperation::Write, StepKind::Done), Context());
    ASSERT_EQ(report.lines.size(), 1u);
    EXPECT_EQ(report.lines[0].text, "Fertig\r\n");
}

} // namespace
