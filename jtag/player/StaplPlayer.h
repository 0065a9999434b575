#pragma once
// The byte-code player frame: one run of one byte-code image from an argument list, with the
// power bracket, the CRC check, the information listing, the interpreter's run and the texts
// of its result. The hosts (the JTAG programmer dialog, the programmer's CPLD update) give it the
// image, the port and where lines go; everything else is here.

#include "jtag/player/StaplImage.h"

#include <cstdint>
#include <functional>
#include <span>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

class IJtagPort;
class JtagLayer;

// The parsed argument list.
struct StaplArguments {
    bool hasAction = false;
    std::string action;
    std::vector<std::string> defines; // NAME=decimal, at most kMaxDefines
    bool help = false;
    bool verbose = false; // -v or -i: list, run nothing
    bool noReset = false; // -r
    bool hasWorkspace = false;
    long workspaceSize = 0; // -m
    bool hasProgram = false;
};
inline constexpr std::size_t kStaplMaxDefines = 9;
inline constexpr long kStaplMaxWorkspace = 16L * 1024 * 1024;
// Hosts refuse images above this size with kPlayerNoMemory.
inline constexpr std::size_t kStaplMaxImageBytes = 64u * 1024 * 1024;

// Element 0 is "not used". Each illegal argument writes its line to `console` and sets `help`.
StaplArguments ParseStaplArguments(
    const std::vector<std::string>& argv, const std::function<void(const std::string&)>& console);

// What the interpreter is told for one run.
struct StaplRunOptions {
    bool hasAction = false;
    std::string action;
    std::vector<std::string> defines;
    bool noReset = false;
    bool verbose = false; // EXPORT prints only then; the frame never executes verbose
};

struct StaplExecution {
    int result = 0;
    int exitCode = 0;
    std::int64_t offset = 0; // of the failing instruction, from the start of the code section
};

class IStaplInterpreter {
public:
    virtual ~IStaplInterpreter() = default;
    // Runs one action of a validated image. `workspace` is empty unless the player was given
    // "-m". Program output lines go to `output`; `cancel` ends the run with 19.
    virtual StaplExecution Execute(const StaplImage& image, std::span<std::uint8_t> workspace,
        const StaplRunOptions& options, JtagLayer& layer, const std::function<void(const std::string&)>& output,
        std::stop_token cancel)
        = 0;
};

// The interpreter the player runs unless a caller passes another.
IStaplInterpreter& DefaultStaplInterpreter();

class IStaplHost {
public:
    virtual ~IStaplHost() = default;
    // The program's name as the host knows it; empty when the host has no program.
    virtual std::string ProgramName() const = 0;
    // The image, at most kStaplMaxImageBytes. False with the console line that says why.
    virtual bool LoadImage(std::vector<std::uint8_t>& image, std::string& error) = 0;
    virtual void Output(const std::string& line) = 0;
    virtual void Console(const std::string& line) = 0;
    virtual IJtagPort& Port() = 0;
    // 1 to 5, read at every wait.
    virtual int SpeedLevel() = 0;
    virtual std::stop_token Cancel() = 0;
};

enum class PlayerEnd {
    NoProgram, // status -1, nothing done
    Failed, // status 1: the workspace or the image could not be had
    Listed, // verbose: listed, nothing executed
    Unrecognised, // the image failed validation (result 2)
    Refused, // a valid image without our marker note
    Ran, // the interpreter ran; see result and exit code
};

struct PlayerOutcome {
    int status = 0; // -1, 1 or 0
    PlayerEnd end = PlayerEnd::Ran;
    int result = 0;
    int exitCode = 0;
    std::int64_t offset = 0;
    // What the hosts call success: the program ran and exited 0.
    bool Succeeded() const { return end == PlayerEnd::Ran && result == 0 && exitCode == 0; }
};

PlayerOutcome RunStaplPlayer(
    IStaplHost& host, const std::vector<std::string>& arguments, IStaplInterpreter* interpreter = nullptr);

// The texts of a result code and of an exit code (version 1: Jam 1.1, 2: STAPL).
std::string StaplErrorText(int result);
std::string StaplExitText(int version, int exitCode);

// Whether a line of a run's log tells of a failure: a line that starts with "Error", a result
// code outside the table, or the exit-code line of a program that exited with other than 0.
bool StaplFailureLine(std::string_view line);

// Reads a whole file into `image` for the file host; false with the console line that says why.
bool StaplLoadFile(const std::string& path, std::vector<std::uint8_t>& image, std::string& error);
