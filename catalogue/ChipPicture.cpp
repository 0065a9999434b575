#include "catalogue/ChipPicture.h"

#include <map>

namespace chip_picture {

int ChooseChipPicture(const std::string& package, bool hasPicConfig, int classIndex, const std::string& adapter)
{
    int picture = kNone;
    if (package == "DIP8")
        picture = hasPicConfig ? kDip8Pic : kDip8Bottom;
    else if (package == "DIP18")
        picture = kDip18;
    else if (package == "DIP20")
        picture = kDip20;
    else if (package == "DIP24")
        picture = kDip24;
    else if (package == "DIP28")
        picture = classIndex <= kLastNonPicClass ? kDip28 : kDip28Top;
    else if (package == "DIP32")
        picture = kDip32;
    else if (package == "DIP40")
        picture = kDip40;
    else if (package == "PIC12F50X")
        picture = kDip8Pic;
    if (classIndex <= kLastNonPicClass && !adapter.empty())
        picture = kAdapter;
    return picture;
}

std::optional<ChipRows> RowsOfPicture(int picture)
{
    static const std::map<int, ChipRows> rows = {
        { kDip18, { 12, 20, false } },
        { kDip20, { 11, 20, false } },
        { kDip24, { 9, 20, true } },
        { kDip28, { 7, 20, true } },
        { kDip32, { 5, 20, true } },
        { kDip40, { 1, 20, true } },
        { kDip8Bottom, { 17, 20, false } },
        { kDip8Pic, { 12, 15, false } },
        { kDip28Top, { 1, 14, false } },
    };
    const auto it = rows.find(picture);
    if (it == rows.end())
        return std::nullopt;
    return it->second;
}

std::string PackageName(const std::string& package)
{
    return package == "PIC12F50X" ? "DIP8" : package;
}

} // namespace chip_picture
