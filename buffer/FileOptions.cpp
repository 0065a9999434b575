#include "buffer/FileOptions.h"

#include <cctype>
#include <utility>

namespace buffer {

int PreselectedFormat(std::string_view fileName)
{
    std::string name(fileName);
    for (char& c : name)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    static const std::pair<const char*, int> kEndings[]
        = { { ".hex", 1 }, { ".s", 2 }, { ".rom", 3 }, { ".stapl", 4 }, { ".jam", 5 }, { ".jbc", 6 }, { ".jed", 7 } };
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
