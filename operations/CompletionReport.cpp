#include "operations/CompletionReport.h"

#include "operations/OperationText.h"
#include "platform/TextFormat.h"
#include "shell/Language.h"

namespace {

std::string Text(int number)
{
    return g_Language.GetText(number);
}

std::string WithoutLineEnd(std::string line)
{
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    return line;
}

void Add(CompletionReport& report, std::string text, LineTone tone)
{
    report.lines.push_back({ std::move(text), tone });
}

// The first line of the report shown in a box as well.
void BoxOfFirstLine(CompletionReport& report, std::string caption)
{
    report.boxText = WithoutLineEnd(report.lines.front().text);
    report.boxCaption = std::move(caption);
}

void BlankCheck(const StepResult& r, const ReportContext& c, CompletionReport& report)
{
    const std::string address = FormatAddress(r.address);
    switch (r.kind) {
    case StepKind::Done:
        Add(report, Text(c.inWalk ? 46 : 83) + "\r\n", LineTone::Success);
        if (c.inWalk && c.walkEnded)
            Add(report, Text(83) + "\r\n", LineTone::Success);
        break;
    case StepKind::Failed:
        Add(report,
            platform::Format("%s 0x%s, %s= 0x%s.\r\n", Text(82).c_str(), address.c_str(), Text(18).c_str(),
                FormatByte(r.deviceByte).c_str()),
            LineTone::Error);
        BoxOfFirstLine(report, Text(20));
        Add(report, Text(85) + "\r\n", LineTone::Error);
        break;
    case StepKind::Cancelled:
        Add(report, platform::Format("%s 0x%s\r\n", Text(53).c_str(), address.c_str()), LineTone::Error);
        BoxOfFirstLine(report, Text(54));
        Add(report, Text(55) + "\r\n", LineTone::Error);
        break;
    default:
        break;
    }
}

void Verify(const StepResult& r, const ReportContext& c, CompletionReport& report)
{
    const std::string address = FormatAddress(r.address);
    switch (r.kind) {
    case StepKind::Done:
        Add(report, Text(c.inWalk ? 46 : 84) + "\r\n", LineTone::Success);
        if (c.inWalk && c.walkEnded)
            Add(report, Text(84) + "\r\n", LineTone::Success);
        break;
    case StepKind::Failed:
        Add(report,
            platform::Format("%s, %s=0x%s, %s=0x%s, %s=0x%s\r\n", Text(103).c_str(), Text(99).c_str(), address.c_str(),
                Text(100).c_str(), FormatByte(r.bufferByte).c_str(), Text(3).c_str(), FormatByte(r.deviceByte).c_str()),
            LineTone::Error);
        break;
    case StepKind::Cancelled:
        Add(report, platform::Format("%s, %s=0x%s\r\n", Text(102).c_str(), Text(99).c_str(), address.c_str()),
            LineTone::Error);
        break;
    default:
        break;
    }
}

void Write(const StepResult& r, const ReportContext& c, CompletionReport& report)
{
    const std::string address = FormatAddress(r.address);
    switch (r.kind) {
    case StepKind::Done:
        if (!c.secondPassArmed)
            Add(report, Text(97) + "\r\n", LineTone::Success);
        break;
    case StepKind::Failed:
        if (r.addressInBuffer)
            Add(report,
                platform::Format("%s, %s=0x%s, %s=0x%s %s=0x%s\r\n", Text(71).c_str(), Text(99).c_str(),
                    address.c_str(), Text(100).c_str(), FormatByte(r.bufferByte).c_str(), Text(3).c_str(),
                    FormatByte(r.deviceByte).c_str()),
                LineTone::Error);
        else
            Add(report, platform::Format("%s, %s = 0x%s\r\n", Text(71).c_str(), Text(99).c_str(), address.c_str()),
                LineTone::Error);
        BoxOfFirstLine(report, Text(19));
        Add(report, Text(71) + "\r\n", LineTone::Error);
        break;
    case StepKind::Cancelled:
        Add(report, Text(98) + "\r\n", LineTone::Error);
        break;
    default:
        break;
    }
}

} // namespace

CompletionReport MakeCompletionReport(const StepResult& result, const ReportContext& context)
{
    CompletionReport report;
    if (result.kind == StepKind::LinkLost) {
        Add(report, std::string(kLinkLostLine) + "\r\n", LineTone::Error);
        return report;
    }
    if (result.kind == StepKind::Refused)
        return report;
    if (result.kind == StepKind::Failed && result.unansweredAddress) {
        // No byte of it means anything: no address, no byte, no second line.
        Add(report, NoAnswerText(result.unansweredAddress) + "\r\n", LineTone::Error);
        // A read logs its elapsed line itself.
        report.elapsedFirst = result.operation != StepOperation::Read;
        return report;
    }
    switch (result.operation) {
    case StepOperation::BlankCheck:
        BlankCheck(result, context, report);
        break;
    case StepOperation::Verify:
        Verify(result, context, report);
        break;
    case StepOperation::Write:
        Write(result, context, report);
        break;
    default:
        return report;
    }
    report.elapsedFirst
        = !(result.operation == StepOperation::Write && result.kind == StepKind::Done && context.secondPassArmed);
    return report;
}
