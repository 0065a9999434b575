#pragma once
// Windows font faces that Linux lacks, mapped to faces it has. Faces not in the table pass
// through unchanged; the widget side falls back to DejaVu Sans when a face is not installed.

#include <string>

namespace platform {

std::string SubstituteFontFace(const std::string& face);

} // namespace platform
