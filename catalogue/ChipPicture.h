#pragma once
// Where the current device sits in the programmer's 40-pin ZIF socket: the socket picture of a
// package, and the socket rows each picture shows the chip in.

#include <optional>
#include <string>

namespace chip_picture {

// Picture ids (the keys the chip location dialog draws by).
inline constexpr int kNone = 0;
inline constexpr int kAdapter = 219; // an adapter board: "Adapter Needed"
inline constexpr int kDip18 = 258;
inline constexpr int kDip20 = 259;
inline constexpr int kDip24 = 260;
inline constexpr int kDip28 = 261;
inline constexpr int kDip32 = 262;
inline constexpr int kDip40 = 263;
inline constexpr int kDip8Bottom = 264;
inline constexpr int kDip8Pic = 265;
inline constexpr int kDip28Top = 266;

// Classes up to this index are not PICs (312 counts as one of them).
inline constexpr int kLastNonPicClass = 312;

// The picture of a device: its package compared exactly, then the adapter picture in place of
// it for a non-PIC class whose device names an adapter. kNone: no picture.
int ChooseChipPicture(const std::string& package, bool hasPicConfig, int classIndex, const std::string& adapter);

// The socket rows (1 at the top, next to the lever) a chip picture covers, and whether the chip
// is a wide (600 mil) one. Nothing for kNone, kAdapter and unknown ids.
struct ChipRows {
    int first = 0;
    int last = 0;
    bool wide = false;
};
std::optional<ChipRows> RowsOfPicture(int picture);

// The package as the user reads it. "PIC12F50X" only picks the socket picture of those PICs'
// 8-pin DIP: it names a class, not a package.
std::string PackageName(const std::string& package);

} // namespace chip_picture
