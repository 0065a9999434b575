#include "operations/script/ScriptThread.h"

#include "operations/DeviceSetup.h"
#include "operations/ScriptFlags.h"
#include "operations/script/ScriptLine.h"
#include "platform/Clock.h"
#include "platform/TextFormat.h"
#include "platform/Trace.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

// One step of a wait. A manual clock returns from its 10 ms at once; the short real pause keeps
// such a wait from spinning.
bool WaitStep(const std::stop_token& stop)
{
    using namespace std::chrono_literals;
    platform::GetClock().SleepFor(10ms, stop);
    std::this_thread::sleep_for(200us);
    return !stop.stop_requested();
}

template <class Pred> void WaitWhile(const std::stop_token& stop, Pred pred)
{
    while (!stop.stop_requested() && pred() && WaitStep(stop)) { }
}

std::size_t CharacterCount(const std::string& utf8)
{
    std::size_t n = 0;
    for (char c : utf8)
        n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

void SkipRestOfLine(ScriptStream& stream)
{
    for (int c = stream.Peek(); c >= 0 && c != '\r' && c != '\n' && c != 0xFF; c = stream.Peek())
        stream.Get();
}

} // namespace

int ScriptThreadProc(ScriptStart start, const ScriptThreadHost& host, std::stop_token stop)
{
    std::ifstream in(start.file, std::ios::binary);
    // A folder opens here but reads as an empty script.
    std::error_code error;
    if (!in || std::filesystem::is_directory(start.file, error)) {
        const std::string text = FileOpenErrorText(start.file);
        if (host.log)
            host.log(text + "\r\n");
        if (host.box)
            host.box(text);
        g_bScriptRunning = false;
        TraceText("Script task ended.\n");
        return 0;
    }

    ScriptStream stream(in);
    stream.SkipByteOrderMark();
    std::string label = start.label;
    int line = 0;
    std::array<char, kScriptLineLimit> buffer {};
    while (g_bScriptRunning && !stop.stop_requested()) {
        g_bScriptCommandDone = false;
        buffer.fill(0);
        const ScriptLineRead read = ReadScriptLine(stream, buffer.data(), buffer.size());
        if (read.count == 0)
            break;
        line = read.line;
        if (read.tooLong) {
            // Its tail would run as a command of its own.
            SkipRestOfLine(stream);
            if (host.log)
                host.log("Line longer than 1024 characters.\r\n");
            FailRunningScript();
            break;
        }
        const std::string text = TrimLeft(DecodeScriptText(std::string_view(buffer.data(), read.count)));
        if (CharacterCount(text) < 4 || text[0] == ';' || text[0] == '/')
            continue;
        if (label.empty()) {
            g_strScriptLine.Set(text, line);
            WaitWhile(stop, [] { return g_bSetupIdle != 1 && g_bScriptRunning; });
            if (!g_bScriptRunning || stop.stop_requested())
                break;
            if (host.armLine)
                host.armLine();
        } else {
            if (UpperAscii(Trim(text)) == "LABEL " + UpperAscii(Trim(label)))
                label.clear();
            g_bScriptCommandDone = true;
        }
        WaitWhile(stop, [] { return !g_bScriptCommandDone && g_bScriptRunning; });
        WaitWhile(stop, [] { return g_bScriptMessageOpen.load(); });
    }
    if (!label.empty() && g_bScriptRunning && !stop.stop_requested()) {
        if (host.log)
            host.log(platform::Format("Label not found: %s\r\n", label.c_str()));
        line = start.gotoLine;
        FailRunningScript();
    }
    if ((g_bScriptFailed || g_bScriptInterrupted) && !stop.stop_requested() && host.log) {
        // Stopped before it read a line, it stopped at its first.
        host.log(platform::Format("Script stopped at line %d.\r\n", std::max(line, 1)));
    }
    g_bScriptRunning = false;
    TraceText("Script task ended.\n");
    return 0;
}
