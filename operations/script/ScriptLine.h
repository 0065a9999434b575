#pragma once
// Reading and parsing ZelvoScript lines, as pure functions: a line from a script file (with the
// line number an editor would show), and a line split into its command and checked values. The
// view only carries out what ParseScriptLine gives.

#include "operations/HeaderModel.h"
#include "platform/Colour.h"

#include <cstddef>
#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The longest line a script or the command line hands over.
inline constexpr std::size_t kScriptLineLimit = 1024;

// A script file as bytes, one at a time, counting lines as an editor does: CR LF, a lone CR and a
// lone LF each end one line.
class ScriptStream {
public:
    explicit ScriptStream(std::istream& in)
        : m_in(in)
    {
    }
    // Skips a UTF-8 byte-order mark at the very start; true when there was one.
    bool SkipByteOrderMark();
    // The next byte (0 to 255), or -1 at the end.
    int Get();
    int Peek();
    // The line (from 1) of the byte Get returned last.
    int LineOfLast() const { return m_lastLine; }

private:
    std::istream& m_in;
    int m_line = 1;
    int m_lastLine = 1;
    bool m_afterCr = false;
};

struct ScriptLineRead {
    std::size_t count = 0; // characters stored
    // `length` characters were stored and the byte after them ends no line.
    bool tooLong = false;
    int line = 0; // the line of the first stored character
};

// Reads one line into `line` (at most `length` bytes; not terminated). CR, LF and 0xFF end a line
// once a character is stored, and are skipped before the first one, so empty lines never come
// back. A count of 0 means the end of the stream.
ScriptLineRead ReadScriptLine(ScriptStream& stream, char* line, std::size_t length);

// Script bytes as text: UTF-8 when they are valid UTF-8, else Latin-1.
std::string DecodeScriptText(std::string_view bytes);

// Blanks (space, tab, CR, LF, FF, VT) removed at the start, at the end, or both.
std::string TrimLeft(std::string_view text);
std::string Trim(std::string_view text);
// ASCII upper case; other bytes as they are.
std::string UpperAscii(std::string_view text);

// The commands, numbered as the keyword table orders them.
enum class ScriptCommand : int {
    Device = 1,
    Read,
    Write,
    Verify,
    Erase,
    BlankCheck,
    Message,
    Wait,
    OffsetFile,
    OffsetDevice,
    ByteSwap,
    Stop,
    Fill,
    Speed,
    Load,
    Save,
    UncheckBox,
    CheckBox,
    Color,
    Script,
    ExitApp,
    Log,
    Cls,
    Goto,
    Label,
    Help,
    Unknown,
    Ignored, // a text too short to run
};

enum class ColorTarget { LogBack, LogText, CommandBack, CommandText };

struct ScriptParse {
    ScriptCommand command = ScriptCommand::Ignored;
    std::string keyword; // as matched
    // What the log echoes (the trimmed text as typed); empty: no echo (LOG, an ignored text).
    std::string echo;
    // The text after the keyword, as typed; for DEVICE the upper-cased name.
    std::string argument;
    // A refusal: the line fails with this log line ("Bad value: ...").
    std::string error;
    // A line that is logged but leaves the line done ("Unknown option.").
    std::string note;

    // FILL: the byte and the range; a missing end means the buffer's last address.
    std::uint8_t fillByte = 0;
    std::uint32_t fillFrom = 0;
    std::optional<std::uint32_t> fillTo;
    // SPEED: the level 1 to 5.
    int speedLevel = 5;
    // WAIT: milliseconds, 0 to 86,400,000.
    std::uint32_t waitMs = 0;
    // CHECKBOX, UNCHECKBOX.
    std::optional<HeaderOption> option;
    // COLOR.
    ColorTarget colorTarget = ColorTarget::LogBack;
    COLORREF color = 0;
};

// Parses one line (a script's, a typed one or a start-up one). A text shorter than 2 characters
// but "?" is Ignored; a keyword matches when the upper-cased, trimmed text begins with it, in
// table order.
ScriptParse ParseScriptLine(std::string_view text);

// The help the HELP and "?" lines print, a line each.
const std::vector<std::string>& ScriptHelpLines();

// "file open error: " and the path: the line of a script, or a LOAD's file, that cannot be read.
std::string FileOpenErrorText(const std::string& path);
