#include "jtag/player/StaplArrays.h"

#include "jtag/BytecodeFormat.h"
#include "jtag/PackedBits.h"
#include "jtag/player/StaplImage.h"
#include "jtag/player/StaplResult.h"
#include "jtag/player/StaplUncompress.h"

#include <algorithm>

using namespace bytecode;

namespace {

std::uint64_t BytesOf(bool boolean, std::uint32_t count)
{
    return boolean ? (static_cast<std::uint64_t>(count) + 7) / 8 : static_cast<std::uint64_t>(count) * 4;
}

// [start, start + count) inside [0, n), count >= 0.
bool InRange(std::int64_t start, std::int64_t count, std::uint32_t n)
{
    return start >= 0 && count >= 0 && start + count <= static_cast<std::int64_t>(n);
}

} // namespace

int StaplArrays::Setup(const StaplImage& image)
{
    m_arrays.assign(image.symbolCount, Array {});
    std::uint64_t total = 0;
    for (std::uint32_t i = 0; i < image.symbolCount; ++i) {
        const StaplImage::Symbol s = image.SymbolAt(i);
        if ((s.attribute & kSymArray) == 0)
            continue;
        const bool boolean = (s.attribute & kSymBoolean) != 0;
        if ((s.attribute & kSymWritable) != 0 || IsCompressedArray(s.attribute) || (s.attribute & kSymInitialised) == 0)
            total += BytesOf(boolean, s.size);
    }
    if (total > kMaxBytes)
        return kOutOfMemory;

    const std::span<const std::uint8_t> bytes = image.Bytes();
    for (std::uint32_t i = 0; i < image.symbolCount; ++i) {
        const StaplImage::Symbol s = image.SymbolAt(i);
        Array& a = m_arrays[i];
        if ((s.attribute & kSymArray) == 0)
            continue;
        a.array = true;
        a.boolean = (s.attribute & kSymBoolean) != 0;
        a.writable = (s.attribute & kSymWritable) != 0;
        a.count = s.size;
        const std::uint64_t size = BytesOf(a.boolean, a.count);
        const std::uint64_t at = static_cast<std::uint64_t>(image.dataSection) + s.value;
        if (IsCompressedArray(s.attribute)) {
            a.memory.assign(static_cast<std::size_t>(size), 0);
            const std::span<const std::uint8_t> stream = at < image.codeSection
                ? bytes.subspan(static_cast<std::size_t>(at), static_cast<std::size_t>(image.codeSection - at))
                : std::span<const std::uint8_t> {};
            if (StaplUncompress(a.memory, stream, image.Window()) != 0)
                return kInternalError;
            a.data = a.memory.data();
        } else if ((s.attribute & kSymInitialised) != 0) {
            if (at + size > image.codeSection)
                return kBoundsError;
            const std::uint8_t* in = bytes.data() + at;
            if (a.writable) {
                a.memory.assign(in, in + size);
                a.data = a.memory.data();
            } else {
                a.data = in;
            }
        } else {
            a.memory.assign(static_cast<std::size_t>(size), 0);
            a.data = a.memory.data();
        }
    }
    return kOk;
}

int StaplArrays::Check(std::uint32_t symbol) const
{
    if (symbol >= m_arrays.size())
        return kUndefinedSymbol;
    return m_arrays[symbol].array ? kOk : kTypeMismatch;
}

int StaplArrays::Readable(std::uint32_t symbol, bool boolean) const
{
    if (const int r = Check(symbol); r != kOk)
        return r;
    return m_arrays[symbol].boolean == boolean ? kOk : kTypeMismatch;
}

int StaplArrays::Writable(std::uint32_t symbol, bool boolean) const
{
    if (const int r = Readable(symbol, boolean); r != kOk)
        return r;
    return m_arrays[symbol].writable ? kOk : kConstant;
}

int StaplArrays::LoadElement(std::uint32_t symbol, std::int32_t index, std::int32_t& value) const
{
    if (const int r = Check(symbol); r != kOk)
        return r;
    const Array& a = m_arrays[symbol];
    if (!InRange(index, 1, a.count))
        return kBoundsError;
    const auto i = static_cast<std::size_t>(index);
    if (a.boolean) {
        value = GetBit(a.data, i) ? 1 : 0;
    } else {
        const std::uint8_t* w = a.data + 4 * i;
        value = static_cast<std::int32_t>(static_cast<std::uint32_t>(w[0]) << 24
            | static_cast<std::uint32_t>(w[1]) << 16 | static_cast<std::uint32_t>(w[2]) << 8 | w[3]);
    }
    return kOk;
}

int StaplArrays::StoreElement(std::uint32_t symbol, std::int32_t index, std::int32_t value)
{
    if (const int r = Check(symbol); r != kOk)
        return r;
    Array& a = m_arrays[symbol];
    if (!a.writable)
        return kConstant;
    if (!InRange(index, 1, a.count))
        return kBoundsError;
    const auto i = static_cast<std::size_t>(index);
    if (a.boolean) {
        SetBit(a.memory.data(), i, value != 0);
    } else {
        const auto v = static_cast<std::uint32_t>(value);
        for (int k = 0; k < 4; ++k)
            a.memory[4 * i + static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(v >> (24 - 8 * k));
    }
    return kOk;
}

int StaplArrays::LoadSlice(std::uint32_t symbol, std::int32_t first, std::int32_t last, std::int32_t& value) const
{
    if (const int r = Readable(symbol, true); r != kOk)
        return r;
    const Array& a = m_arrays[symbol];
    const std::int64_t width = (first >= last ? std::int64_t { first } - last : std::int64_t { last } - first) + 1;
    if (!InRange(first, 1, a.count) || !InRange(last, 1, a.count) || width > 32)
        return kBoundsError;
    const int direction = first >= last ? 1 : -1;
    std::uint32_t v = 0;
    for (std::int64_t k = 0; k < width; ++k)
        if (GetBit(a.data, static_cast<std::uint64_t>(last + direction * k)))
            v |= 1u << k;
    value = static_cast<std::int32_t>(v);
    return kOk;
}

int StaplArrays::StoreSlice(std::uint32_t symbol, std::int32_t first, std::int32_t last, std::int32_t value)
{
    if (const int r = Writable(symbol, true); r != kOk)
        return r;
    Array& a = m_arrays[symbol];
    const std::int64_t width = (first >= last ? std::int64_t { first } - last : std::int64_t { last } - first) + 1;
    if (!InRange(first, 1, a.count) || !InRange(last, 1, a.count) || width > 32)
        return kBoundsError;
    const int direction = first >= last ? 1 : -1;
    for (std::int64_t k = 0; k < width; ++k)
        SetBit(a.memory.data(), static_cast<std::uint64_t>(last + direction * k),
            ((static_cast<std::uint32_t>(value) >> k) & 1) != 0);
    return kOk;
}

int StaplArrays::Copy(
    std::uint32_t dst, std::uint32_t src, std::int32_t count, std::int32_t dstStart, std::int32_t srcStart)
{
    if (const int r = Writable(dst, true); r != kOk)
        return r;
    if (const int r = Readable(src, true); r != kOk)
        return r;
    if (!InRange(dstStart, count, m_arrays[dst].count) || !InRange(srcStart, count, m_arrays[src].count))
        return kBoundsError;
    std::vector<bool> bits(static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < bits.size(); ++i)
        bits[i] = GetBit(m_arrays[src].data, static_cast<std::uint64_t>(srcStart) + i);
    for (std::size_t i = 0; i < bits.size(); ++i)
        SetBit(m_arrays[dst].memory.data(), static_cast<std::uint64_t>(dstStart) + i, bits[i]);
    return kOk;
}

int StaplArrays::Bits(std::uint32_t symbol, std::int32_t start, std::int32_t count, const std::uint8_t*& bits) const
{
    if (const int r = Readable(symbol, true); r != kOk)
        return r;
    if (!InRange(start, count, m_arrays[symbol].count))
        return kBoundsError;
    bits = m_arrays[symbol].data;
    return kOk;
}

int StaplArrays::WritableBits(std::uint32_t symbol, std::int32_t start, std::int32_t count, std::uint8_t*& bits)
{
    if (const int r = Writable(symbol, true); r != kOk)
        return r;
    if (!InRange(start, count, m_arrays[symbol].count))
        return kBoundsError;
    bits = m_arrays[symbol].memory.data();
    return kOk;
}

int StaplArrays::Hex(
    std::uint32_t symbol, std::int32_t start, std::int32_t count, std::vector<std::string>& lines) const
{
    const std::uint8_t* data = nullptr;
    if (const int r = Bits(symbol, start, count, data); r != kOk)
        return r;
    constexpr std::int64_t kChunk = 288;
    lines.clear();
    const std::int64_t chunks = count == 0 ? 1 : (count + kChunk - 1) / kChunk;
    for (std::int64_t c = chunks - 1; c >= 0; --c) {
        const std::int64_t low = c * kChunk;
        const std::int64_t bits = std::min<std::int64_t>(kChunk, count - low);
        std::string line;
        for (std::int64_t d = (bits + 3) / 4 - 1; d >= 0; --d) {
            unsigned digit = 0;
            for (std::int64_t k = 0; k < 4; ++k) {
                const std::int64_t bit = low + 4 * d + k;
                if (bit < low + bits && GetBit(data, static_cast<std::uint64_t>(start + bit)))
                    digit |= 1u << k;
            }
            line += "0123456789ABCDEF"[digit];
        }
        lines.push_back(line);
    }
    return kOk;
}
