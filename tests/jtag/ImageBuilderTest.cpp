// The byte-code format's shared pieces: the CRC, the opcode map against BYTECODE.md, the image
// builder's exact output and its errors, and the compressor read back by a decoder written from
// the document alone.

#include "jtag/builder/ImageBuilder.h"
#include "jtag/Crc16.h"
#include "jtag/Opcodes.h"
#include "jtag/builder/Compressor.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>

using namespace bytecode;

namespace {

std::vector<std::uint8_t> Bytes(std::string_view text)
{
    return { text.begin(), text.end() };
}

// ---- a decoder of compressed data, written from BYTECODE.md ----

struct Decoded {
    bool ok = false;
    std::vector<std::uint8_t> out;
    std::uint32_t maxDistance = 0;
};

Decoded Decode(const std::vector<std::uint8_t>& in, std::uint32_t window, std::size_t capacity)
{
    Decoded d;
    std::size_t bit = 0;
    const auto read = [&](int bits, std::uint32_t& value) {
        value = 0;
        for (int i = 0; i < bits; ++i, ++bit) {
            if (bit / 8 >= in.size())
                return false;
            value |= static_cast<std::uint32_t>((in[bit / 8] >> (bit % 8)) & 1) << i;
        }
        return true;
    };
    std::uint32_t length = 0;
    if (!read(32, length) || length > capacity)
        return d;
    d.out.assign(capacity, 0);
    std::size_t written = 0;
    while (written < length) {
        std::uint32_t flag = 0;
        if (!read(1, flag))
            return d;
        if (flag == 1) {
            const std::uint32_t limit = std::min<std::uint32_t>(window, static_cast<std::uint32_t>(written));
            int bits = 1;
            while ((limit >> bits) != 0)
                ++bits;
            std::uint32_t distance = 0, count = 0;
            if (!read(bits, distance) || !read(8, count))
                return d;
            if (distance == 0 || distance > written || count == 0 || written + count > length)
                return d;
            d.maxDistance = std::max(d.maxDistance, distance);
            for (std::uint32_t i = 0; i < count; ++i, ++written)
                d.out[written] = d.out[written - distance];
        } else {
            for (int i = 0; i < 3; ++i) {
                std::uint32_t byte = 0;
                if (!read(8, byte))
                    return d;
                if (written < length)
                    d.out[written++] = static_cast<std::uint8_t>(byte);
            }
        }
    }
    d.ok = true;
    return d;
}

// Writes a stream bit by bit, for hand-worked expectations.
struct Bits {
    std::vector<std::uint8_t> bytes;
    std::size_t bit = 0;
    Bits& Put(std::uint32_t value, int count)
    {
        for (int i = 0; i < count; ++i, ++bit) {
            if (bit % 8 == 0)
                bytes.push_back(0);
            bytes.back() = static_cast<std::uint8_t>(bytes.back() | (((value >> i) & 1) << (bit % 8)));
        }
        return *this;
    }
};

void ExpectRoundTrip(const std::vector<std::uint8_t>& data, std::uint32_t window, const std::string& what)
{
    const std::vector<std::uint8_t> stream = Compress(data, window);
    const Decoded d = Decode(stream, window, data.size());
    ASSERT_TRUE(d.ok) << what;
    EXPECT_EQ(d.out, data) << what;
    EXPECT_LE(d.maxDistance, window) << what;
}

} // namespace

TEST(Crc16, StandardCheckValue)
{
    EXPECT_EQ(Crc16(Bytes("123456789")), 0x906E);
}

// ---- the opcode map ----

TEST(OpcodeMap, MatchesTheDocument)
{
    std::ifstream file(TONRIG_SOURCE_DIR "/jtag/BYTECODE.md");
    ASSERT_TRUE(file.good());
    std::string line;
    bool inMap = false;
    std::set<std::uint8_t> seen;
    while (std::getline(file, line)) {
        if (line.rfind("## ", 0) == 0)
            inMap = line == "## Opcode map";
        if (!inMap || line.rfind("| 0x", 0) != 0)
            continue;
        std::vector<std::string> cells;
        std::stringstream row(line.substr(1));
        std::string cell;
        while (cells.size() < 5 && std::getline(row, cell, '|')) {
            cell.erase(0, cell.find_first_not_of(' '));
            cell.erase(cell.find_last_not_of(' ') + 1);
            cells.push_back(cell);
        }
        ASSERT_EQ(cells.size(), 5u) << line;
        const auto code = static_cast<std::uint8_t>(std::stoul(cells[0], nullptr, 16));
        const OpcodeInfo* info = FindOpcode(code);
        ASSERT_NE(info, nullptr) << "the document assigns " << cells[0] << " but the table does not";
        EXPECT_EQ(info->mnemonic, cells[1]) << cells[0];
        EXPECT_EQ(info->operands, std::stoi(cells[2])) << cells[0];
        EXPECT_EQ(info->pops, std::stoi(cells[3])) << cells[0];
        EXPECT_EQ(info->pushes, std::stoi(cells[4])) << cells[0];
        EXPECT_TRUE(seen.insert(code).second) << cells[0] << " appears twice";
    }
    EXPECT_EQ(seen.size(), kOpcodes.size()) << "the document leaves opcodes of the table out";
}

TEST(OpcodeMap, KeepsTheFixedFacts)
{
    // The vector-signal instructions and the unassigned ranges.
    std::set<int> never = { 0x19, 0x1A, 0x1B, 0x28, 0x29, 0x2A, 0x2B, 0x2E, 0x46, 0x5B, 0x81, 0x85, 0xC1 };
    for (int c = 0x30; c <= 0x3F; ++c)
        never.insert(c);
    for (int c = 0x5D; c <= 0x7F; ++c)
        never.insert(c);
    for (int c = 0x86; c <= 0xBF; ++c)
        never.insert(c);
    for (int c = 0xC2; c <= 0xFF; ++c)
        never.insert(c);
    for (const int c : never)
        EXPECT_EQ(FindOpcode(static_cast<std::uint8_t>(c)), nullptr) << std::hex << c;

    const std::pair<int, std::string_view> fixed[] = { { 0x47, "STATE" }, { 0x48, "STATEL" }, { 0x49, "IRSTOP" },
        { 0x4A, "DRSTOP" }, { 0x84, "WAIT" }, { 0xC0, "COMPARE" } };
    for (const auto& [code, mnemonic] : fixed) {
        const OpcodeInfo* info = FindOpcode(static_cast<std::uint8_t>(code));
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info->mnemonic, mnemonic);
    }
    EXPECT_EQ(FindOpcode(0x84)->operands, 2);
    EXPECT_EQ(FindOpcode(0xC0)->operands, 3);

    int byOperands[4] = {};
    for (const OpcodeInfo& info : kOpcodes) {
        EXPECT_EQ(info.operands, info.code >> 6) << info.mnemonic;
        ++byOperands[info.operands];
    }
    // Of the legal slots (40, 27, 4, 1) only 0x2D and 0x2F are left unused.
    EXPECT_EQ(byOperands[0], 38);
    EXPECT_EQ(byOperands[1], 27);
    EXPECT_EQ(byOperands[2], 4);
    EXPECT_EQ(byOperands[3], 1);
    EXPECT_EQ(FindOpcode(0x2D), nullptr);
    EXPECT_EQ(FindOpcode(0x2F), nullptr);
}

// ---- exact images ----

TEST(ImageBuilder, WritesAStaplImageExactly)
{
    ImageBuilder b(Container::Stapl);
    b.AddInteger("X", 5);
    const Label entry = b.NewLabel();
    b.Bind(entry);
    b.Emit("PUSHI", { 7 });
    b.Emit("EXIT");
    b.AddProcedure("P", entry);
    b.AddAction("A", std::nullopt, { { "P", kProcRequired } });
    const BuildResult r = b.Build();
    ASSERT_TRUE(r.ok()) << r.error;

    const std::vector<std::uint8_t> expected = { // header
        'J', 'A', 'M', 1, //
        0, 0, 0, 68, // action table
        0, 0, 0, 80, // procedure table
        0, 0, 0, 114, // string table
        0, 0, 0, 120, // note strings
        0, 0, 0, 93, // note table
        0, 0, 0, 101, // symbol table
        0, 0, 0, 138, // data section
        0, 0, 0, 138, // code section
        0, 0, 0, 144, // code end
        0, 0, 0, 144, // CRC offset
        0, 0, 0, 0, // reserved
        0, 0, 0, 1, // actions
        0, 0, 0, 1, // procedures
        0, 0, 0, 0, // reserved
        0, 0, 0, 1, // notes
        0, 0, 0, 1, // symbols
        // 68: action "A", no description, first procedure 0
        0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0,
        // 80: procedure "P", end of chain, required, code offset 0
        0, 0, 0, 2, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0,
        // 93: the marker note
        0, 0, 0, 0, 0, 0, 0, 16,
        // 101: writable integer "X" = 5
        0x10, 0, 0, 0, 4, 0, 0, 0, 5, 0, 0, 0, 0,
        // 114: strings
        'A', 0, 'P', 0, 'X', 0,
        // 120: note strings
        'T', 'O', 'N', 'R', 'I', 'G', '_', 'B', 'Y', 'T', 'E', 'C', 'O', 'D', 'E', 0, '1', 0,
        // 138: code
        0x40, 0, 0, 0, 7, 0x24,
        // 144: CRC
        0x0F, 0xEB
    };
    EXPECT_EQ(r.image, expected);
    EXPECT_EQ(b.Build().image, r.image) << "the same input gives the same bytes";
}

TEST(ImageBuilder, WritesAJam11ImageExactly)
{
    ImageBuilder b(Container::Jam11);
    b.AddBooleanArray("B", { true, false, true });
    b.Emit("PUSHI", { 0 });
    b.Emit("EXIT");
    const BuildResult r = b.Build();
    ASSERT_TRUE(r.ok()) << r.error;

    const std::vector<std::uint8_t> expected = { 'J', 'A', 'M', 0, //
        0, 0, 0, 71, // string table
        0, 0, 0, 73, // note strings
        0, 0, 0, 52, // note table
        0, 0, 0, 60, // symbol table
        0, 0, 0, 91, // data section
        0, 0, 0, 92, // code section
        0, 0, 0, 98, // code end
        0, 0, 0, 98, // CRC offset
        0, 0, 0, 0, // reserved
        0, 0, 0, 0, // reserved
        0, 0, 0, 1, // notes
        0, 0, 0, 1, // symbols
        // 52: the marker note
        0, 0, 0, 0, 0, 0, 0, 16,
        // 60: read-only initialised Boolean array "B" of 3 bits at data offset 0 (2-byte name offset)
        0x07, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3,
        // 71: strings
        'B', 0,
        // 73: note strings
        'T', 'O', 'N', 'R', 'I', 'G', '_', 'B', 'Y', 'T', 'E', 'C', 'O', 'D', 'E', 0, '1', 0,
        // 91: data: bits 1, 0, 1
        0x05,
        // 92: code
        0x40, 0, 0, 0, 0, 0x24,
        // 98: CRC
        0x92, 0x8D };
    EXPECT_EQ(r.image, expected);
}

TEST(ImageBuilder, ResolvesForwardLabelsAndDamagesOnRequest)
{
    ImageBuilder b(Container::Stapl);
    const Label end = b.NewLabel();
    const Label entry = b.NewLabel();
    b.Bind(entry);
    b.Emit("JMP", { end });
    b.Emit("NOP");
    b.Bind(end);
    b.Emit("RETURN");
    b.AddProcedure("P", entry);
    b.AddAction("A", "first", { { "P" }, { "P", kProcOptional } });
    const BuildResult good = b.Build();
    ASSERT_TRUE(good.ok()) << good.error;
    const std::size_t code = good.image.size() - 2 - 7;
    EXPECT_EQ(std::vector<std::uint8_t>(good.image.begin() + static_cast<long>(code), good.image.end() - 2),
        (std::vector<std::uint8_t> { 0x4C, 0, 0, 0, 6, 0x00, 0x23 }));

    b.damage().wrongCrc = true;
    b.damage().noMarker = true;
    b.damage().reservedWord = 1;
    b.damage().reservedValue = 0x12345678;
    b.damage().cyclicChain = true;
    const std::vector<std::uint8_t> bad = b.Build().image;
    const auto word = [&](std::size_t at) {
        return static_cast<std::uint32_t>(bad[at] << 24 | bad[at + 1] << 16 | bad[at + 2] << 8 | bad[at + 3]);
    };
    EXPECT_EQ(word(56), 0x12345678u);
    EXPECT_EQ(word(60), 0u) << "no notes without the marker";
    EXPECT_EQ(word(word(8) + 13 + 4), 0u) << "the chain's second entry points back at the first";
    const std::uint32_t crcAt = word(40);
    const std::uint16_t stored = static_cast<std::uint16_t>(bad[crcAt] << 8 | bad[crcAt + 1]);
    EXPECT_NE(stored, Crc16(std::span(bad.data(), crcAt)));
}

TEST(ImageBuilder, RefusesMistakes)
{
    struct Case {
        const char* name;
        std::function<void(ImageBuilder&)> make;
        const char* error;
    };
    const Case cases[] = {
        { "unresolved label",
            [](ImageBuilder& b) {
                const Label never = b.NewLabel();
                b.Emit("JMP", { never });
            },
            "unresolved label" },
        { "too few operands", [](ImageBuilder& b) { b.Emit("PUSHI"); }, "PUSHI takes 1 operand(s), given 0" },
        { "too many operands", [](ImageBuilder& b) { b.Emit("ADD", { 1 }); }, "ADD takes 0 operand(s), given 1" },
        { "unknown mnemonic", [](ImageBuilder& b) { b.Emit("VECTOR"); }, "unknown mnemonic VECTOR" },
        { "compressed integer array",
            [](ImageBuilder& b) {
                b.AddSymbol({ "I", kSymArray | kSymInitialised | kSymCompressed, 0, 1, {}, { 1 } });
            },
            "only read-only Boolean arrays can be compressed" },
        { "compressed writable array", [](ImageBuilder& b) { b.AddBooleanArray("W", { true }, true, true); },
            "only read-only Boolean arrays can be compressed" },
        { "unknown symbol", [](ImageBuilder& b) { b.Emit("LOAD", { Sym("nothing") }); }, "unknown symbol \"nothing\"" },
        { "unknown procedure", [](ImageBuilder& b) { b.AddAction("A", std::nullopt, { { "P" } }); },
            "names the unknown procedure \"P\"" },
    };
    for (const Case& c : cases) {
        ImageBuilder b(Container::Stapl);
        c.make(b);
        const BuildResult r = b.Build();
        EXPECT_FALSE(r.ok()) << c.name;
        EXPECT_TRUE(r.image.empty()) << c.name;
        EXPECT_NE(r.error.find(c.error), std::string::npos) << c.name << ": " << r.error;
    }
    ImageBuilder jam(Container::Jam11);
    jam.AddAction("A", std::nullopt, {});
    EXPECT_EQ(jam.Build().error, "Jam 1.1 images have no actions");
}

// ---- the compressor ----

TEST(Compressor, WritesTheHandWorkedStreams)
{
    // Literals only: three bytes make one group, seven make three (the last padded).
    EXPECT_EQ(Compress(std::vector<std::uint8_t> { 0x11, 0x22, 0x33 }, 8191),
        (std::vector<std::uint8_t> { 0x03, 0, 0, 0, 0x22, 0x44, 0x66, 0x00 }));
    Bits seven;
    seven.Put(7, 32);
    for (const std::uint8_t group : { 1, 4, 7 }) {
        seven.Put(0, 1);
        for (int i = 0; i < 3; ++i)
            seven.Put(group + i <= 7 ? static_cast<std::uint32_t>(group + i) : 0, 8);
    }
    EXPECT_EQ(Compress(std::vector<std::uint8_t> { 1, 2, 3, 4, 5, 6, 7 }, 8192), seven.bytes);

    // One overlapping run: three literals, then distance 1 (2 bits, for 3 bytes written), length 7.
    Bits run;
    run.Put(10, 32).Put(0, 1).Put(0xAA, 8).Put(0xAA, 8).Put(0xAA, 8).Put(1, 1).Put(1, 2).Put(7, 8);
    EXPECT_EQ(Compress(std::vector<std::uint8_t>(10, 0xAA), 8191), run.bytes);
    EXPECT_EQ(Compress(std::vector<std::uint8_t> {}, 8191), (std::vector<std::uint8_t> { 0, 0, 0, 0 }));
}

TEST(Compressor, RoundTripsThroughADecoderOfTheDocument)
{
    std::mt19937 rng(20261211);
    for (const std::uint32_t window : { 8191u, 8192u }) {
        // Random bit arrays of many lengths, some with runs and a small alphabet, so matches occur.
        for (const std::size_t bits : { 1u, 7u, 8u, 9u, 100u, 4095u, 33333u, 100000u }) {
            std::vector<std::uint8_t> data((bits + 7) / 8);
            for (auto& byte : data)
                byte = static_cast<std::uint8_t>(rng() % 4 == 0 ? rng() : rng() % 3);
            if (bits % 8 != 0)
                data.back() = static_cast<std::uint8_t>(data.back() & ((1u << (bits % 8)) - 1));
            ExpectRoundTrip(data, window, "random " + std::to_string(bits));
        }
        ExpectRoundTrip(std::vector<std::uint8_t>(12500, 0x00), window, "zeros");
        ExpectRoundTrip(std::vector<std::uint8_t>(12500, 0xFF), window, "ones");
        // A block repeated at distances around the window's edge.
        for (const std::size_t distance : { 8190u, 8191u, 8192u, 8193u }) {
            std::vector<std::uint8_t> block(distance);
            for (auto& byte : block)
                byte = static_cast<std::uint8_t>(rng());
            std::vector<std::uint8_t> data = block;
            data.insert(data.end(), block.begin(), block.begin() + 600);
            ExpectRoundTrip(data, window, "repeat at " + std::to_string(distance));
            const std::size_t withRepeat = Compress(data, window).size();
            const std::size_t alone = Compress(block, window).size();
            if (distance <= window)
                EXPECT_LT(withRepeat, alone + 20) << "the repeat at " << distance << " is found";
            else
                EXPECT_GT(withRepeat, alone + 600) << "no match reaches past the window";
        }
    }
}
