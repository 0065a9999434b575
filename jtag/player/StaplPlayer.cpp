#include "jtag/player/StaplPlayer.h"

#include "jtag/JtagLayer.h"
#include "jtag/player/PlayerTexts.h"
#include "jtag/player/StaplInterpreter.h"
#include "jtag/player/StaplResult.h"
#include "link/ProgrammerCommand.h"
#include "platform/Clock.h"
#include "platform/TextFormat.h"

#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>

using platform::Format;

namespace {

// A define is NAME=decimal: a non-empty name, and an optionally signed run of digits.
bool IsDefine(std::string_view text)
{
    const std::size_t eq = text.find('=');
    if (eq == 0 || eq == std::string_view::npos)
        return false;
    std::string_view value = text.substr(eq + 1);
    if (!value.empty() && (value[0] == '-' || value[0] == '+'))
        value.remove_prefix(1);
    if (value.empty())
        return false;
    for (const char c : value)
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
    return true;
}

// Splits a text at its line breaks, one callback per line.
void Lines(const std::function<void(const std::string&)>& sink, const std::string& text)
{
    std::size_t start = 0;
    for (;;) {
        const std::size_t nl = text.find('\n', start);
        sink(text.substr(start, nl == std::string::npos ? std::string::npos : nl - start));
        if (nl == std::string::npos)
            return;
        start = nl + 1;
    }
}

void Power(IJtagPort& port, bool on)
{
    const std::uint8_t packet[2] = { P_VCC, static_cast<std::uint8_t>(on ? 1 : 0) };
    port.Send(packet);
}

} // namespace

StaplArguments ParseStaplArguments(
    const std::vector<std::string>& argv, const std::function<void(const std::string&)>& console)
{
    StaplArguments args;
    const auto illegal = [&](const std::string& arg) {
        console(Format(kPlayerIllegalArgument, arg.c_str()));
        args.help = true;
    };
    for (std::size_t i = 1; i < argv.size(); ++i) {
        const std::string& arg = argv[i];
        if (arg.size() < 2 || (arg[0] != '-' && arg[0] != '/')) {
            if (!arg.empty() && (arg[0] == '-' || arg[0] == '/'))
                illegal(arg);
            else if (args.hasProgram)
                illegal(arg);
            else
                args.hasProgram = true;
            continue;
        }
        const std::string rest = arg.substr(2);
        switch (std::tolower(static_cast<unsigned char>(arg[1]))) {
        case 'a':
            if (args.hasAction || rest.empty()) {
                illegal(arg);
            } else {
                args.hasAction = true;
                args.action = rest;
            }
            break;
        case 'd': {
            const std::string define = !rest.empty() && rest[0] == '"' ? rest.substr(1) : rest;
            if (args.defines.size() >= kStaplMaxDefines || !IsDefine(define))
                illegal(arg);
            else
                args.defines.push_back(define);
            break;
        }
        case 'h':
            args.help = true;
            break;
        case 'i':
        case 'v':
            args.verbose = true;
            break;
        case 'm': {
            char* end = nullptr;
            errno = 0;
            const long size = std::strtol(rest.c_str(), &end, 10);
            if (rest.empty() || *end != '\0' || errno != 0 || size <= 0 || args.hasWorkspace) {
                illegal(arg);
            } else {
                args.hasWorkspace = true;
                args.workspaceSize = size;
            }
            break;
        }
        case 'r':
            args.noReset = true;
            break;
        case 's':
            break;
        default:
            illegal(arg);
        }
    }
    return args;
}

std::string StaplErrorText(int result)
{
    if (result < 0 || static_cast<std::size_t>(result) >= kPlayerErrorTexts.size())
        return Format(kPlayerUnknownError, static_cast<long>(result));
    return kPlayerErrorTexts[static_cast<std::size_t>(result)];
}

std::string StaplExitText(int version, int exitCode)
{
    if (version == 2) {
        if (exitCode >= 0 && static_cast<std::size_t>(exitCode) < kPlayerStaplExitTexts.size())
            return kPlayerStaplExitTexts[static_cast<std::size_t>(exitCode)];
    } else if (exitCode >= 0 && static_cast<std::size_t>(exitCode) < kPlayerJam11ExitTexts.size()) {
        return kPlayerJam11ExitTexts[static_cast<std::size_t>(exitCode)];
    }
    return kPlayerUnknownExit;
}

bool StaplFailureLine(std::string_view line)
{
    // The texts up to their first conversion.
    const auto lead = [](std::string_view format) { return format.substr(0, format.find('%')); };
    if (line.starts_with("Error") || line.starts_with(lead(kPlayerUnknownError)))
        return true;
    if (!line.starts_with(lead(kPlayerExitCode)))
        return false;
    line.remove_prefix(lead(kPlayerExitCode).size());
    int exitCode = 0;
    const auto [end, error] = std::from_chars(line.data(), line.data() + line.size(), exitCode);
    return error == std::errc() && std::string_view(end, line.data() + line.size()).starts_with("...") && exitCode != 0;
}

IStaplInterpreter& DefaultStaplInterpreter()
{
    static StaplInterpreter interpreter;
    return interpreter;
}

bool StaplLoadFile(const std::string& path, std::vector<std::uint8_t>& image, std::string& error)
{
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    if (!file) {
        error = Format(kPlayerCantOpen, path.c_str());
        return false;
    }
    // A folder opens as a stream on Linux, and its "length" is no size to allocate.
    std::error_code ec;
    const std::streamoff length = file.tellg();
    if (length < 0 || !std::filesystem::is_regular_file(path, ec)) {
        error = Format(kPlayerReadError, path.c_str());
        return false;
    }
    if (static_cast<std::uint64_t>(length) > kStaplMaxImageBytes) {
        error = Format(kPlayerNoMemory, static_cast<int>(length / 1024));
        return false;
    }
    image.assign(static_cast<std::size_t>(length), 0);
    file.seekg(0);
    if (!file.read(reinterpret_cast<char*>(image.data()), length)) {
        image.clear();
        error = Format(kPlayerReadError, path.c_str());
        return false;
    }
    return true;
}

PlayerOutcome RunStaplPlayer(
    IStaplHost& host, const std::vector<std::string>& arguments, IStaplInterpreter* interpreter)
{
    PlayerOutcome outcome;
    if (host.ProgramName().empty()) {
        outcome.status = -1;
        outcome.end = PlayerEnd::NoProgram;
        return outcome;
    }
    const auto console = [&](const std::string& line) { host.Console(line); };
    const auto output = [&](const std::string& line) { Lines([&](const std::string& l) { host.Output(l); }, line); };

    // 1-2: banner, arguments, workspace.
    console(kPlayerBanner);
    const StaplArguments args = ParseStaplArguments(arguments, console);
    std::vector<std::uint8_t> workspace;
    if (args.hasWorkspace) {
        if (args.workspaceSize > kStaplMaxWorkspace) {
            console(Format(kPlayerNoMemory, static_cast<int>(args.workspaceSize / 1024)));
            outcome.status = 1;
            outcome.end = PlayerEnd::Failed;
            return outcome;
        }
        workspace.assign(static_cast<std::size_t>(args.workspaceSize), 0);
    }

    // 3: the image.
    std::vector<std::uint8_t> image;
    std::string loadError;
    if (!host.LoadImage(image, loadError) || image.size() > kStaplMaxImageBytes) {
        if (loadError.empty())
            loadError = Format(kPlayerNoMemory, static_cast<int>(image.size() / 1024));
        console(loadError);
        outcome.status = 1;
        outcome.end = PlayerEnd::Failed;
        return outcome;
    }

    // 4-5: power, CRC.
    IJtagPort& port = host.Port();
    Power(port, true);
    std::uint16_t expected = 0;
    std::uint16_t actual = 0;
    const int crc = StaplCheckCrc(image, expected, actual);
    std::optional<StaplImage> view;
    if (crc == 2) {
        output(kPlayerNotRecognised);
        outcome.end = PlayerEnd::Unrecognised;
        outcome.result = 2;
    } else {
        view = StaplImage::Open(image);
        if (crc == 9)
            output(Format(kPlayerCrcMismatch, expected, actual));
        else if (args.verbose)
            output(Format(kPlayerCrcMatched, actual));
    }

    // 6: the listing.
    if (view && args.verbose) {
        const int version = view->Version();
        output(Format(kPlayerFileFormat, version == 2 ? kPlayerStaplFormat : kPlayerJam11Format));
        std::string key;
        std::string value;
        for (int index = 0; StaplGetNote(*view, index, key, value) == 0;)
            output(Format(kPlayerNote, key.c_str(), value.c_str()));
        if (version == 2 && view->actionCount > 0) {
            output("");
            output(kPlayerActionsHeading);
            std::string name;
            std::string description;
            bool hasDescription = false;
            std::vector<StaplProcedureInfo> procedures;
            for (int index = 0; StaplGetActionInfo(*view, index, name, description, hasDescription, procedures) == 0;
                 ++index) {
                output(hasDescription ? Format(kPlayerActionWithDescription, name.c_str(), description.c_str()) : name);
                for (const StaplProcedureInfo& p : procedures)
                    if ((p.attribute & 3) != 0)
                        output(Format(kPlayerProcedure, p.name.c_str(),
                            (p.attribute & 3) == 1 ? kPlayerOptional : kPlayerRecommended));
            }
        }
        outcome.end = PlayerEnd::Listed;
    }

    // 7-9: the run and its result.
    std::chrono::nanoseconds elapsed { 0 };
    if (view && !args.verbose) {
        if (!StaplHasMarker(*view)) {
            output(kPlayerForeignImage);
            outcome.end = PlayerEnd::Refused;
        } else {
            StaplRunOptions options;
            options.hasAction = args.hasAction;
            options.action = args.action;
            options.defines = args.defines;
            options.noReset = args.noReset;
            JtagLayer layer(
                port, [&host] { return host.SpeedLevel(); }, host.Cancel());
            IStaplInterpreter& run = interpreter != nullptr ? *interpreter : DefaultStaplInterpreter();
            const auto start = platform::GetClock().Now();
            const StaplExecution e = run.Execute(*view, workspace, options, layer, output, host.Cancel());
            elapsed = platform::GetClock().Now() - start;
            outcome.end = PlayerEnd::Ran;
            outcome.result = e.result;
            outcome.exitCode = e.exitCode;
            outcome.offset = e.offset;
            if (e.result != 0) {
                if (view->Version() == 2 && e.result == bytecode::kActionNotFound)
                    output(args.hasAction ? Format(kPlayerActionNotSupported, args.action.c_str()) : kPlayerNoAction);
                else if (e.result > 0 && static_cast<std::size_t>(e.result) < kPlayerErrorTexts.size())
                    output(Format(kPlayerErrorAt, static_cast<long>(e.offset), StaplErrorText(e.result).c_str()));
                else
                    output(StaplErrorText(e.result));
            } else {
                platform::GetClock().SleepFor(std::chrono::milliseconds(100));
                output(Format(kPlayerExitCode, e.exitCode, StaplExitText(view->Version(), e.exitCode).c_str()));
            }
        }
    }

    // 10: elapsed time, power down.
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(elapsed).count();
    output(Format(kPlayerElapsed, static_cast<unsigned>(seconds / 3600), static_cast<unsigned>(seconds / 60 % 60),
        static_cast<unsigned>(seconds % 60)));
    Power(port, false);
    outcome.status = 0;
    return outcome;
}
