#pragma once
// Combine Files To Buffer: places a further binary file into the code buffer at an offset,
// keeping what the buffer held around it.

#include "buffer/BufferTypes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace buffer {

// Language texts of the refusal box: "Offset setting wrong.", caption "Error".
constexpr int kTextOffsetWrong = 80;
constexpr int kTextErrorCaption = 50;

struct CombineResult {
    bool combined = false; // the buffer holds the file now
    std::vector<BoxMessage> boxes; // to show in order; a refusal leaves the buffer as it was
};

// Reads `path` and writes it into `image` at `offset`. A blank image (every byte 0xFF, or empty)
// becomes `offset` bytes of 0xFF followed by the file; any other image grows to
// max(its size, offset + file length), new bytes 0xFF, and the file overwrites it from `offset`.
// A negative offset, or an end above `limit`, is refused; so is a file that cannot be read.
CombineResult CombineFile(
    std::vector<std::uint8_t>& image, const std::string& path, std::int64_t offset, std::size_t limit);

} // namespace buffer
