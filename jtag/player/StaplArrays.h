#pragma once
// The arrays of one run (jtag/BYTECODE.md, "Symbols"): read-only arrays read in place from the
// data section, writable and zero-filled ones in memory of the run's own, compressed ones
// expanded at the start. Boolean arrays hold bits LSB first; integer arrays 32-bit big-endian
// words, in place and in memory alike. Every access is checked; results are the player's codes.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

class StaplImage;

class StaplArrays {
public:
    // All arrays of a run together may take at most this much memory.
    static constexpr std::uint64_t kMaxBytes = 64u * 1024 * 1024;

    // 0; 1 when the arrays need more than kMaxBytes; 10 for compressed data that does not
    // expand; 11 for array data outside the data section.
    int Setup(const StaplImage& image);

    // 0 for an array symbol; 5 past the symbol count; 12 for a scalar.
    int Check(std::uint32_t symbol) const;
    bool IsBoolean(std::uint32_t symbol) const { return m_arrays[symbol].boolean; }
    std::uint32_t Count(std::uint32_t symbol) const { return m_arrays[symbol].count; }

    int LoadElement(std::uint32_t symbol, std::int32_t index, std::int32_t& value) const;
    int StoreElement(std::uint32_t symbol, std::int32_t index, std::int32_t value);
    // Bits `first` to `last` of a Boolean array, in either direction; bit `last` is bit 0.
    int LoadSlice(std::uint32_t symbol, std::int32_t first, std::int32_t last, std::int32_t& value) const;
    int StoreSlice(std::uint32_t symbol, std::int32_t first, std::int32_t last, std::int32_t value);
    // `count` bits from src[srcStart + i] to dst[dstStart + i]; overlapping copies come out right.
    int Copy(std::uint32_t dst, std::uint32_t src, std::int32_t count, std::int32_t dstStart, std::int32_t srcStart);
    // A Boolean array's bits for `count` bits from `start`: the checks of a slice, then its data.
    int Bits(std::uint32_t symbol, std::int32_t start, std::int32_t count, const std::uint8_t*& bits) const;
    int WritableBits(std::uint32_t symbol, std::int32_t start, std::int32_t count, std::uint8_t*& bits);
    // The slice as hexadecimal, most significant digit first, split into lines of 288 bits
    // counted from the least significant bit.
    int Hex(std::uint32_t symbol, std::int32_t start, std::int32_t count, std::vector<std::string>& lines) const;

private:
    struct Array {
        bool array = false;
        bool boolean = false;
        bool writable = false;
        std::uint32_t count = 0;
        const std::uint8_t* data = nullptr; // in place, or memory's
        std::vector<std::uint8_t> memory;
    };
    int Writable(std::uint32_t symbol, bool boolean) const;
    int Readable(std::uint32_t symbol, bool boolean) const;

    std::vector<Array> m_arrays;
};
