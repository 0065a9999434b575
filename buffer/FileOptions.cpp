#include "buffer/FileOptions.h"

#include "buffer/FileFormat.h"

#include <cctype>
#include <utility>

namespace buffer {

int PreselectedFormat(std::string_view fileName)
{
    if (const std::optional<FileFormat> format = FormatForFileName(fileName)) {
        if (*format == FileFormat::IntelHex)
            return 1;
        if (*format == FileFormat::SRecord)
            return 2;
    }
    std::string name(fileName);
    for (char& c : name)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    static const std::pair<const char*, int> kEndings[]
        = { { ".rom", 3 }, { ".stapl", 4 }, { ".jam", 5 }, { ".jbc", 6 }, { ".jed", 7 } };
    for (const auto& [ending, index] : kEndings) {
        const std::string_view tail(ending);
        if (name.size() >= tail.size() && name.compare(name.size() - tail.size(), tail.size(), tail) == 0)
            return index;
    }
    return 0;
}

std::string FillText(int fillChoice)
{
    return fillChoice == 2 ? "00" : "FF";
}

} // namespace buffer
