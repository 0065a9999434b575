#pragma once
// Our firmware images carry a 16-byte descriptor at 0x0080, by which the virtual programmer knows
// an image it is given and checks it whole. Header-only: the image maker shares it.
//
//   0  "ZVFW"        magic
//   4  1             version
//   5  0             reserved
//   6  number        BE16, the image's resource number
//   8  models        BE16, bit n accepts programmer model n; 0xFFFF accepts any
//  10  length L      BE16, the image covers RAM [0, L)
//  12  CRC-32        BE32 of RAM [0, L), the CRC's own four bytes read as zero

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace sim::fw {

inline constexpr std::uint16_t kDescriptorAddress = 0x0080;
inline constexpr std::size_t kDescriptorSize = 16;
inline constexpr std::uint16_t kCrcAddress = kDescriptorAddress + 12;
inline constexpr std::uint8_t kDescriptorVersion = 1;
inline constexpr std::uint16_t kAnyModel = 0xFFFF;
inline constexpr std::size_t kMinLength = kDescriptorAddress + kDescriptorSize;

struct Descriptor {
    std::uint16_t number = 0;
    std::uint16_t models = kAnyModel;
    std::uint16_t length = 0;
    std::uint32_t crc = 0;
};

// CRC-32 with the reflected polynomial 0xEDB88320 (as zlib and PNG use it).
inline constexpr std::array<std::uint32_t, 256> kCrcTable = [] {
    std::array<std::uint32_t, 256> t {};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[i] = c;
    }
    return t;
}();

inline std::uint32_t Crc32Update(std::uint32_t crc, const std::uint8_t* data, std::size_t n)
{
    crc = ~crc;
    for (std::size_t i = 0; i < n; ++i)
        crc = kCrcTable[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

inline std::uint32_t Crc32(const std::uint8_t* data, std::size_t n)
{
    return Crc32Update(0, data, n);
}

// CRC of image bytes [0, length) with the CRC field read as zero; `image` holds at least `length`.
inline std::uint32_t ImageCrc(const std::uint8_t* image, std::size_t length)
{
    static constexpr std::uint8_t zero[4] = { 0, 0, 0, 0 };
    std::uint32_t crc = Crc32Update(0, image, kCrcAddress);
    crc = Crc32Update(crc, zero, 4);
    return Crc32Update(crc, image + kCrcAddress + 4, length - (kCrcAddress + 4));
}

inline void PutBE16(std::uint8_t* p, std::uint16_t v)
{
    p[0] = static_cast<std::uint8_t>(v >> 8);
    p[1] = static_cast<std::uint8_t>(v);
}
inline void PutBE32(std::uint8_t* p, std::uint32_t v)
{
    PutBE16(p, static_cast<std::uint16_t>(v >> 16));
    PutBE16(p + 2, static_cast<std::uint16_t>(v));
}
inline std::uint16_t GetBE16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}
inline std::uint32_t GetBE32(const std::uint8_t* p)
{
    return (static_cast<std::uint32_t>(GetBE16(p)) << 16) | GetBE16(p + 2);
}

// Writes the descriptor into `image` (length L bytes at least) and its CRC over [0, L).
inline void WriteDescriptor(std::uint8_t* image, const Descriptor& d)
{
    std::uint8_t* p = image + kDescriptorAddress;
    p[0] = 'Z';
    p[1] = 'V';
    p[2] = 'F';
    p[3] = 'W';
    p[4] = kDescriptorVersion;
    p[5] = 0;
    PutBE16(p + 6, d.number);
    PutBE16(p + 8, d.models);
    PutBE16(p + 10, d.length);
    PutBE32(p + 12, 0);
    PutBE32(p + 12, ImageCrc(image, d.length));
}

// The descriptor of the image in `ram` when it is well formed: magic, version, a length that
// covers the descriptor and fits `ramSize`. The CRC is read, not checked (see ImageIntact).
inline std::optional<Descriptor> ReadDescriptor(const std::uint8_t* ram, std::size_t ramSize)
{
    if (ramSize < kMinLength)
        return std::nullopt;
    const std::uint8_t* p = ram + kDescriptorAddress;
    if (p[0] != 'Z' || p[1] != 'V' || p[2] != 'F' || p[3] != 'W' || p[4] != kDescriptorVersion)
        return std::nullopt;
    Descriptor d;
    d.number = GetBE16(p + 6);
    d.models = GetBE16(p + 8);
    d.length = GetBE16(p + 10);
    d.crc = GetBE32(p + 12);
    if (d.length < kMinLength || d.length > ramSize)
        return std::nullopt;
    return d;
}

inline bool ImageIntact(const std::uint8_t* ram, const Descriptor& d)
{
    return ImageCrc(ram, d.length) == d.crc;
}

inline bool AcceptsModel(std::uint16_t models, int model)
{
    return models == kAnyModel || (model >= 0 && model < 16 && (models >> model) & 1);
}

} // namespace sim::fw
