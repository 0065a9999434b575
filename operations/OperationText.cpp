#include "operations/OperationText.h"

#include "operations/StopWatch.h"

#include "platform/MessageBox.h"
#include "platform/TextFormat.h"
#include "shell/Language.h"

#include <algorithm>

std::string FormatAddress(std::uint32_t value)
{
    return platform::Format("%06X", static_cast<unsigned>(value));
}

std::string FormatByte(std::uint32_t value)
{
    return platform::Format("%02X", static_cast<unsigned>(value & 0xFF));
}

std::string NoAnswerText(std::uint8_t deviceAddress)
{
    return platform::Format("No answer from the chip at device address 0x%02X.", static_cast<unsigned>(deviceAddress));
}

std::string TimeLine(std::int64_t seconds)
{
    if (seconds < 0)
        seconds = 0;
    const long long hours = seconds / 3600;
    const int minutes = static_cast<int>(seconds / 60 % 60);
    const int secs = static_cast<int>(seconds % 60);
    return platform::Format("%s:%02lld:%02d:%02d \r\n", g_Language.GetText(96).c_str(), hours, minutes, secs);
}

std::string ProgressCaption(int state)
{
    static constexpr int kCaptions[] = { 75, 76, 74, 77, 78, 79 }; // states 3..8
    if (state < 3 || state > 8)
        return {};
    return g_Language.GetText(kCaptions[state - 3]);
}

std::string StatePaneText(int state, int progressState)
{
    if (state == 0)
        return kNoProgrammerText;
    if (const std::string caption = ProgressCaption(progressState); !caption.empty())
        return caption;
    if (state == 2)
        return ProgressCaption(8);
    if (const std::string caption = ProgressCaption(state); !caption.empty())
        return caption;
    return kIdleText;
}

std::string FailureLine(const std::string& log, std::size_t mark)
{
    const std::string elapsed = ElapsedLine(0.0);
    const std::string elapsedHead = elapsed.substr(0, elapsed.find(':') + 1);
    std::size_t at = std::min(mark, log.size());
    // A mark inside a line (an append without its line end) counts from that line's start.
    if (at > 0 && log[at - 1] != '\n') {
        const std::size_t start = log.rfind('\n', at - 1);
        at = start == std::string::npos ? 0 : start + 1;
    }
    std::string last;
    for (std::size_t pos = 0; pos < log.size();) {
        std::size_t end = log.find('\n', pos);
        if (end == std::string::npos)
            end = log.size();
        std::string line = log.substr(pos, end - pos);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.pop_back();
        if (!line.empty() && line.rfind(elapsedHead, 0) != 0) {
            if (pos >= at)
                return line;
            last = std::move(line);
        }
        pos = end + 1;
    }
    return last;
}

std::string AdapterDialogText(const std::string& adapter, const std::string& message)
{
    if (adapter.empty() && message.empty())
        return kCheckAdapterText;
    if (adapter.empty())
        return message;
    if (message.empty())
        return adapter;
    return adapter + "\r\n" + message;
}

std::string AdapterDialogCaption()
{
    return g_Language.GetText(37);
}

std::string IdCheckQuestion()
{
    return g_Language.GetText(88) + "\r\n" + g_Language.GetText(89) + "\r\n" + g_Language.GetText(91) + "\r\n"
        + g_Language.GetText(90);
}

std::string IdCheckCaption()
{
    return g_Language.GetText(42);
}

std::string DeviceDetectedText(const std::string& name)
{
    return "Device:" + name + " detected!";
}

bool AskIdCheckContinue()
{
    return MessageBox(IdCheckQuestion(), IdCheckCaption(), MB_YESNO | MB_ICONQUESTION) == IDYES;
}

bool ConfirmAdapter(const std::string& adapter, const std::string& message)
{
    return MessageBox(AdapterDialogText(adapter, message), AdapterDialogCaption(), MB_OKCANCEL) == IDOK;
}
