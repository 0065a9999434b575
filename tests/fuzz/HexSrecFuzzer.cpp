// Arbitrary text through the Intel HEX parsers (all three) and the S-record reader: they must
// never read or write outside their buffers, never grow past the limit, keep every record they
// store inside the buffer's reported size, and read the text given in two blocks as they read it
// whole.

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
        buffer::CIntelHexReader reader(image, parser, 0x00, kLimit, size % 2 ? -0x100 : 0);
        reader.ParseText(text);
        if (image.size() > kLimit || reader.HighestDataEnd() > image.size())
            std::abort();
        // The same text in two blocks reads the same.
        std::vector<std::uint8_t> split(16, 0xA5);
        buffer::CIntelHexReader blocks(split, parser, 0x00, kLimit, size % 2 ? -0x100 : 0);
        const std::size_t used = blocks.Parse({ text.substr(0, size / 2), 0, false, false });
        if (used > size / 2)
            std::abort();
        if (!blocks.Done())
            blocks.Parse({ text.substr(used), used, true, false });
        if (split != image || blocks.Problems() != reader.Problems())
            std::abort();
    }
    std::vector<std::uint8_t> image;
    buffer::CSRecordReader reader(image, 0xFF, kLimit, size % 2 ? 0x10 : 0);
    reader.ParseText(text);
    if (image.size() > kLimit || reader.HighestDataEnd() > image.size())
        std::abort();
    std::vector<std::uint8_t> split;
    buffer::CSRecordReader blocks(split, 0xFF, kLimit, size % 2 ? 0x10 : 0);
    const std::size_t used = blocks.Parse({ text.substr(0, size / 2), 0, false, false });
    if (!blocks.Done())
        blocks.Parse({ text.substr(used), used, true, false });
    if (split != image || blocks.Problems() != reader.Problems())
        std::abort();
    buffer::LooksLikeSRecords(text);
    return 0;
}
