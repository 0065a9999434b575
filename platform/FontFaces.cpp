#include "platform/FontFaces.h"

#include <array>
#include <cctype>
#include <utility>

namespace platform {

namespace {

constexpr std::array<std::pair<const char*, const char*>, 14> kFaces{{
    {"fixedsys", "DejaVu Sans Mono"},
    {"terminal", "DejaVu Sans Mono"},
    {"courier", "DejaVu Sans Mono"},
    {"courier new", "DejaVu Sans Mono"},
    {"lucida console", "DejaVu Sans Mono"},
    {"consolas", "DejaVu Sans Mono"},
    {"ms sans serif", "DejaVu Sans"},
    {"microsoft sans serif", "DejaVu Sans"},
    {"ms shell dlg", "DejaVu Sans"},
    {"arial", "DejaVu Sans"},
    {"tahoma", "DejaVu Sans"},
    {"verdana", "DejaVu Sans"},
    {"outlook", "DejaVu Sans"},
    {"times new roman", "DejaVu Serif"},
}};

} // namespace

std::string SubstituteFontFace(const std::string& face)
{
    std::string lower;
    for (char c : face)
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const auto& [from, to] : kFaces)
        if (lower == from)
            return to;
    return face;
}

} // namespace platform
