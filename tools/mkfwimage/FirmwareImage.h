#pragma once
// Our firmware images: inert 8051 code (SJMP $ at 0x0000, so a real 8051 running one idles), a
// filler from a generator seeded by the image's number, and the descriptor of sim/FirmwareDescriptor.h
// at 0x0080. Written as Intel HEX (16-byte data records, CR LF, ":00000001FF", no extended
// records), stored transformed (".enc") or inside a ".cls" class file.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace mkfwimage {

struct ImageOptions {
    int number = 355;
    std::uint16_t models = 0xFFFF; // bit n accepts model n; 0xFFFF any
    std::uint16_t length = 1024; // RAM [0, length) the image covers, at most 16 KiB
    std::vector<std::pair<std::uint16_t, std::vector<std::uint8_t>>> extra; // records outside L
    bool badCrc = false;
};

// The image's bytes [0, length).
std::vector<std::uint8_t> ImageBytes(const ImageOptions& options);
// The image as Intel HEX text; empty when the options are out of range.
std::string ImageHex(const ImageOptions& options);

// A ".cls" file: the 32-byte header and the transformed HEX text.
std::string MakeClassFile(const std::string& name, const std::string& hexText);
// The HEX text inside a ".cls" file; nullopt when its header or CRC is wrong.
std::optional<std::string> ReadClassFile(const std::string& file);

struct NumberedImage {
    int number = 0;
    std::uint16_t models = 0xFFFF;
};
// "number models" lines ('#' starts a comment; models "any" or codes "2,4,5"). Nullopt and an
// error text naming the line when one is malformed.
std::optional<std::vector<NumberedImage>> ParseNumbers(const std::string& text, std::string& error);

} // namespace mkfwimage
