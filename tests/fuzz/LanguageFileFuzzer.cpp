// Arbitrary bytes as a language file: the parser keeps at most 213 texts, and the texts it reads
// come back unchanged when written out in the file format and read again.

#include "shell/Language.h"
#include "shell/LanguageLoader.h"
#include "shell/UnicodeStdioFile.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

// Splits as the file reader does: at CR LF, CR or LF, each line decoded as 8-bit text.
void Feed(std::string_view text, CLanguageFileParser& parser)
{
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            parser.AddLine(DecodeEightBitText(text.substr(start)));
            return;
        }
        parser.AddLine(DecodeEightBitText(text.substr(start, end - start)));
        start = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    CLanguageFileParser parser;
    Feed(std::string_view(reinterpret_cast<const char*>(data), size), parser);
    const auto& texts = parser.Texts();
    if (texts.size() > static_cast<size_t>(kLanguageTextCount)
        || static_cast<int>(texts.size()) != std::min(parser.TextLineCount(), kLanguageTextCount))
        std::abort();

    CLanguageFileParser again;
    Feed(CLanguageLoader::FormatLanguageFile("X", texts), again);
    if (again.Texts() != texts || again.Name() != "X")
        std::abort();
    return 0;
}
