#pragma once
// The choices of the file-options dialog and their defaults, kept here so that the dialog only
// shows them.

#include <string>
#include <string_view>

namespace buffer {

struct FormatChoice {
    const char* text; // list entry
    const char* pattern; // what OK stores
};

inline constexpr FormatChoice kFormatChoices[] = {
    { "Binary (.bin)", "*.bin" },
    { "Intel Hex (.hex)", "*.hex" },
    { "Motorola S (.s)", "*.s" },
    { "ROM (.rom)", "*.rom" },
    { "Xilinx STAPL Files (.stapl)", "*.stapl" },
    { "Altera JAM Files (.jam)", "*.jam" },
    { "Altera JBC Files (.jbc)", "*.jbc" },
    { "JECED Files(.jed)", "*.jed" },
    { "EMC Files(.cds)", "*.cds" },
};

// Fill list: "Normal" and "Fill 'FF'" store "FF", "Fill '00'" stores "00".
inline constexpr const char* kFillChoices[] = { "Normal", "Fill 'FF'", "Fill '00'" };
inline constexpr const char* kDefaultOffsetText = "000000";

// The format entry preselected for a file name (by its ending, case ignored): Intel Hex and
// Motorola S by kFormatExtensions (".s", ".mot", ".srec", ".s19", ...), then ".rom", ".stapl",
// ".jam", ".jbc", ".jed", anything else Binary.
int PreselectedFormat(std::string_view fileName);

// What OK stores for a fill entry.
std::string FillText(int fillChoice);

} // namespace buffer
