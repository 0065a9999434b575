#include "transport/IntelHex.h"

namespace intelhex {

namespace {

int Digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

ParseResult Fail(int line, std::string what)
{
    ParseResult r;
    r.errorLine = line;
    r.error = "line " + std::to_string(line) + ": " + std::move(what);
    return r;
}

} // namespace

std::uint32_t Record::Base() const
{
    if (data.size() != 2)
        return 0;
    const std::uint32_t value = (std::uint32_t(data[0]) << 8) | data[1];
    return type == SegmentBase ? value << 4 : type == LinearBase ? value << 16 : 0;
}

ParseResult Parse(std::string_view text)
{
    ParseResult result;
    std::size_t pos = 0;
    int line = 0;
    while (pos < text.size()) {
        ++line;
        std::size_t end = text.find('\n', pos);
        std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view s = text.substr(pos, end - pos);
        pos = next;
        if (!s.empty() && s.back() == '\r')
            s.remove_suffix(1);
        if (s.empty())
            continue;
        if (s[0] != ':')
            return Fail(line, "a record starts with ':'");
        s.remove_prefix(1);
        if (s.size() % 2 != 0)
            return Fail(line, "an odd number of hex digits");
        std::vector<std::uint8_t> bytes;
        bytes.reserve(s.size() / 2);
        for (std::size_t i = 0; i < s.size(); i += 2) {
            const int hi = Digit(s[i]);
            const int lo = Digit(s[i + 1]);
            if (hi < 0 || lo < 0)
                return Fail(line, "a character that is not a hex digit");
            bytes.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
        }
        if (bytes.size() < 5 || bytes.size() != 5u + bytes[0])
            return Fail(line, "the byte count does not match the line");
        std::uint8_t sum = 0;
        for (std::uint8_t b : bytes)
            sum = static_cast<std::uint8_t>(sum + b);
        if (sum != 0)
            return Fail(line, "bad checksum");
        Record r;
        r.line = line;
        r.address = static_cast<std::uint16_t>((bytes[1] << 8) | bytes[2]);
        r.type = bytes[3];
        r.data.assign(bytes.begin() + 4, bytes.end() - 1);
        switch (r.type) {
        case Data:
            break;
        case End:
            result.records.push_back(std::move(r));
            result.ok = true;
            return result;
        case SegmentBase:
        case LinearBase:
            if (r.data.size() != 2)
                return Fail(line, "a base record carries two bytes");
            break;
        case SegmentStart:
        case LinearStart:
            continue;
        default:
            return Fail(line, "record type " + std::to_string(r.type) + " is unknown");
        }
        result.records.push_back(std::move(r));
    }
    return Fail(line + 1, "the end record is missing: the text is cut short");
}

} // namespace intelhex
