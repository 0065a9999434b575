#pragma once
// The library's record types: a memory segment, a 64 KiB image, an image with its segments, and
// one Intel HEX record.

#include <cstdint>
#include <vector>

#ifndef VEXPORT_API
#define VEXPORT_API __attribute__((visibility("default")))
#endif

struct VEXPORT_API MemSeg {
    std::uint32_t start = 0;
    std::uint32_t length = 0;
    std::uint8_t* data = nullptr;
};

struct VEXPORT_API TMemImg {
    std::uint8_t data[0x10000] = {};
};

// An image and the segments of it that hold data; each segment's `data` points into `image`.
// Copies point into their own image.
struct VEXPORT_API TMemCache {
    TMemImg image;
    std::vector<MemSeg> segments;

    TMemCache();
    TMemCache(const TMemCache& other);
    TMemCache& operator=(const TMemCache& other);
    ~TMemCache();
};

struct VEXPORT_API IntelHexRecord {
    std::uint8_t count = 0;
    std::uint16_t address = 0;
    std::uint8_t type = 0;
    std::uint8_t data[16] = {};
};
