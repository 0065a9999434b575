// Arbitrary text through the Intel HEX parsers (all three) and the S-record reader: they must
// never read or write outside their buffers, never grow past the limit, and keep every record
// they store inside the buffer's reported size.

#include "buffer/IntelHex.h"
#include "buffer/SRecord.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    constexpr std::size_t kLimit = 1 << 20;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (buffer::HexParser parser : { buffer::HexParser::Main, buffer::HexParser::Mcu, buffer::HexParser::Data }) {
        std::vector<std::uint8_t> image(16, 0xA5);
        buffer::CIntelHexReader reader(image, parser, 0x00, kLimit);
        std::string_view last;
        reader.ParseText(text, &last);
        if (image.size() > kLimit || reader.HighestDataEnd() > image.size())
            std::abort();
    }
    std::vector<std::uint8_t> image;
    buffer::CSRecordReader reader(image, 0xFF, kLimit);
    reader.ParseText(text);
    if (image.size() > kLimit || reader.HighestDataEnd() > image.size())
        std::abort();
    buffer::LooksLikeSRecords(text);
    return 0;
}
