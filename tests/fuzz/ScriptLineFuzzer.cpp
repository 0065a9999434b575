// Arbitrary script files through the line reader and every line through the parser: nothing may
// read outside its buffer, a line never holds more than the limit nor a line end, line numbers
// only grow, and each parse is one of the commands with its values in range.

#include "operations/script/ScriptLine.h"

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::istringstream in(bytes);
    ScriptStream stream(in);
    stream.SkipByteOrderMark();
    int lastLine = 0;
    std::size_t lines = 0;
    for (;;) {
        std::vector<char> buffer(kScriptLineLimit);
        const ScriptLineRead read = ReadScriptLine(stream, buffer.data(), buffer.size());
        if (read.count == 0)
            break;
        if (read.count > kScriptLineLimit || read.line < lastLine || read.line < 1 || ++lines > size)
            std::abort();
        lastLine = read.line;
        const std::string raw(buffer.data(), read.count);
        for (char c : raw) {
            if (c == '\r' || c == '\n' || static_cast<unsigned char>(c) == 0xFF)
                std::abort();
        }
        if (read.tooLong && read.count != kScriptLineLimit)
            std::abort();
        const ScriptParse p = ParseScriptLine(DecodeScriptText(raw));
        if (p.command < ScriptCommand::Device || p.command > ScriptCommand::Ignored)
            std::abort();
        if (p.speedLevel < 1 || p.speedLevel > 5 || p.waitMs > 86400u * 1000u || p.fillFrom > 0xFFFFFF
            || (p.fillTo && *p.fillTo > 0xFFFFFF) || p.color > 0xFFFFFF)
            std::abort();
    }
    // Every single line is parsed as typed too.
    ParseScriptLine(bytes);
    return 0;
}
