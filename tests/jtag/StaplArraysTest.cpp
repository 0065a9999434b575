// Arrays of a byte-code run: the decompressor against hand-made streams, compressed arrays read
// back bit by bit by a program, element and slice access at their bounds, copies, stores into
// read-only data, absurd sizes, and the EXPORT texts.

#include "jtag/Crc16.h"
#include "jtag/JtagLayer.h"
#include "jtag/builder/Compressor.h"
#include "jtag/builder/ImageBuilder.h"
#include "jtag/player/StaplInterpreter.h"
#include "jtag/player/StaplPlayer.h"
#include "jtag/player/StaplUncompress.h"
#include "platform/Clock.h"
#include "platform/TextFormat.h"

#include "PlayerTestSupport.h"

#include <gtest/gtest.h>

#include <random>

using namespace bytecode;

namespace {

using Bytes = std::vector<std::uint8_t>;
using test::ErrorLine;
using test::Lines;
using test::NullPort;

// Writes a stream bit by bit, least significant first.
struct Stream {
    Bytes bytes;
    std::size_t bit = 0;
    Stream& Put(std::uint32_t value, int count)
    {
        for (int i = 0; i < count; ++i, ++bit) {
            if (bit % 8 == 0)
                bytes.push_back(0);
            bytes.back() = static_cast<std::uint8_t>(bytes.back() | (((value >> i) & 1) << (bit % 8)));
        }
        return *this;
    }
    Stream& Literals(std::uint8_t a, std::uint8_t b, std::uint8_t c) { return Put(0, 1).Put(a, 8).Put(b, 8).Put(c, 8); }
    Stream& Copy(std::uint32_t distance, int distanceBits, std::uint32_t length)
    {
        return Put(1, 1).Put(distance, distanceBits).Put(length, 8);
    }
};

// The printed lines of a run, without its closing "Elapsed time" line.
Lines Play(const BuildResult& built, std::vector<std::string> args = {})
{
    return test::Play(built, std::move(args)).lines;
}

// After patching an image, so that only the patch is reported.
void FixCrc(Bytes& image)
{
    const std::size_t at = static_cast<std::size_t>(image[32] << 24 | image[33] << 16 | image[34] << 8 | image[35]);
    const std::uint16_t crc = Crc16(std::span(image.data(), at));
    image[at] = static_cast<std::uint8_t>(crc >> 8);
    image[at + 1] = static_cast<std::uint8_t>(crc);
}

Bytes Expand(const Stream& s, std::size_t capacity, std::uint32_t window, int& result)
{
    Bytes out(capacity, 0xEE);
    result = StaplUncompress(out, s.bytes, window);
    return out;
}

} // namespace

TEST(StaplUncompress, ExpandsHandMadeStreams)
{
    for (const std::uint32_t length : { 1u, 2u, 3u, 4u }) {
        Stream s;
        s.Put(length, 32).Literals(0x11, 0x22, 0x33);
        if (length == 4)
            s.Literals(0x44, 0x55, 0x66);
        int result = -1;
        const Bytes out = Expand(s, 6, 8191, result);
        EXPECT_EQ(result, 0) << length;
        const Bytes all = { 0x11, 0x22, 0x33, 0x44, 0, 0 };
        Bytes expected(all.begin(), all.begin() + length);
        expected.resize(6, 0);
        EXPECT_EQ(out, expected) << length << ": literals past the stated length are dropped, the rest is zero";
    }

    // One back-reference: ABC then 3 bytes from distance 3 (2 bits for 3 bytes written).
    Stream one;
    one.Put(6, 32).Literals('A', 'B', 'C').Copy(3, 2, 3);
    int result = -1;
    EXPECT_EQ(Expand(one, 6, 8191, result), (Bytes { 'A', 'B', 'C', 'A', 'B', 'C' }));
    EXPECT_EQ(result, 0);

    // An overlapping copy: distance 1, length 255.
    Stream run;
    run.Put(258, 32).Literals(7, 8, 9).Copy(1, 2, 255);
    Bytes expected = { 7, 8, 9 };
    expected.resize(258, 9);
    EXPECT_EQ(Expand(run, 258, 8192, result), expected);
    EXPECT_EQ(result, 0);
}

TEST(StaplUncompress, WidensTheDistanceFieldUpToTheWindow)
{
    // 8190 literal bytes, then one or two more by a copy (written 8191 or 8192), then a copy from
    // the farthest distance the field can reach: min(window, written), in that many bits.
    for (const std::uint32_t window : { 8191u, 8192u }) {
        for (const std::uint32_t extra : { 1u, 2u }) {
            const std::uint32_t written = 8190 + extra;
            const std::uint32_t limit = std::min(window, written);
            Stream s;
            s.Put(written + 1, 32);
            Bytes expected;
            for (std::uint32_t i = 0; i < 8190; i += 3) {
                s.Literals(
                    static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i + 1), static_cast<std::uint8_t>(i + 2));
                for (std::uint32_t k = 0; k < 3; ++k)
                    expected.push_back(static_cast<std::uint8_t>(i + k));
            }
            // Before the copies: 8190 written, so 13 bits for min(window, 8190).
            s.Copy(1, 13, extra);
            for (std::uint32_t k = 0; k < extra; ++k)
                expected.push_back(expected.back());
            const int bits = limit >= 8192 ? 14 : 13;
            ASSERT_EQ(bits, DistanceBits(limit));
            s.Copy(limit, bits, 1);
            expected.push_back(expected[written - limit]);
            int result = -1;
            EXPECT_EQ(Expand(s, expected.size(), window, result), expected) << window << " " << written;
            EXPECT_EQ(result, 0);
        }
    }
    // The field starts at 1 bit (for 0 bytes written: no copy can be valid yet) and widens.
    Stream narrow;
    narrow.Put(9, 32).Literals(1, 2, 3).Copy(2, 2, 1).Copy(4, 3, 2).Literals(9, 9, 9);
    int result = -1;
    EXPECT_EQ(Expand(narrow, 9, 8191, result), (Bytes { 1, 2, 3, 2, 1, 2, 9, 9, 9 }));
    EXPECT_EQ(result, 0);
}

TEST(StaplUncompress, RefusesBrokenStreams)
{
    struct Case {
        const char* name;
        Stream stream;
        std::size_t written; // bytes expected before the fault
    };
    std::vector<Case> cases;
    cases.push_back({ "a stated length above the array", Stream().Put(7, 32).Literals(1, 2, 3), 0 });
    cases.push_back({ "a distance of 0", Stream().Put(6, 32).Literals(1, 2, 3).Copy(0, 2, 1), 3 });
    cases.push_back({ "a distance beyond the bytes written", Stream().Put(6, 32).Literals(1, 2, 3).Copy(4, 3, 1), 3 });
    cases.push_back({ "a length of 0", Stream().Put(6, 32).Literals(1, 2, 3).Copy(1, 2, 0), 3 });
    cases.push_back({ "a copy past the stated length", Stream().Put(5, 32).Literals(1, 2, 3).Copy(1, 2, 3), 3 });
    Stream cut;
    cut.Put(6, 32).Literals(1, 2, 3).Put(0, 1).Put(4, 8);
    cases.push_back({ "a stream that ends early", cut, 3 });
    cases.push_back({ "no length at all", Stream().Put(1, 16), 0 });
    for (const Case& c : cases) {
        int result = -1;
        const Bytes out = Expand(c.stream, 6, 8191, result);
        EXPECT_EQ(result, 10) << c.name;
        for (std::size_t i = 0; i < c.written; ++i)
            EXPECT_EQ(out[i], i + 1) << c.name;
        for (std::size_t i = c.written; i < out.size(); ++i)
            EXPECT_EQ(out[i], 0) << c.name << ": byte " << i;
    }
}

namespace {

// A program that reads the compressed array C and its plain copy U bit by bit and reports the
// first difference.
BuildResult ReadBack(Container container, const std::vector<bool>& bits)
{
    ImageBuilder b(container);
    b.AddInteger("I", 0);
    b.AddBooleanArray("C", bits, false, true);
    b.AddBooleanArray("U", bits);
    const Label body = b.NewLabel(), bad = b.NewLabel(), entry = b.NewLabel();
    b.Bind(entry);
    b.Emit("PUSHI", { 0 });
    b.Emit("PUSHI", { static_cast<std::int64_t>(bits.size()) - 1 });
    b.Emit("PUSHI", { 1 });
    b.Emit("FOR", { Sym("I") });
    b.Bind(body);
    b.Emit("LOAD", { Sym("I") });
    b.Emit("LOADE", { Sym("C") });
    b.Emit("LOAD", { Sym("I") });
    b.Emit("LOADE", { Sym("U") });
    b.Emit("NE");
    b.Emit("JNZ", { bad });
    b.Emit("NEXT", { Sym("I") });
    b.Emit("PRINTS", { Str("same") });
    b.Emit("PRINTL");
    b.Emit("PUSHI", { 0 });
    b.Emit("EXIT");
    b.Bind(bad);
    b.Emit("PRINTS", { Str("differs at ") });
    b.Emit("LOAD", { Sym("I") });
    b.Emit("PRINTI");
    b.Emit("PRINTL");
    b.Emit("PUSHI", { 1 });
    b.Emit("EXIT");
    if (container == Container::Stapl) {
        b.AddProcedure("P", entry);
        b.AddAction("A", std::nullopt, { { "P" } });
    }
    return b.Build();
}

} // namespace

TEST(StaplArrays, ReadsCompressedArraysBackBitByBit)
{
    std::mt19937 rng(53);
    std::vector<std::pair<std::string, std::vector<bool>>> arrays;
    for (const std::size_t n : { 1u, 9u, 24u, 25u, 1000u, 65537u, 200000u }) {
        std::vector<bool> bits(n);
        std::size_t i = 0;
        while (i < n) {
            // Runs and random stretches, so both literals and copies occur.
            const bool run = rng() % 2 == 0;
            const std::size_t len = 1 + rng() % 300;
            const bool value = rng() % 2 == 0;
            for (std::size_t k = 0; k < len && i < n; ++k, ++i)
                bits[i] = run ? value : rng() % 2 == 0;
        }
        arrays.emplace_back("random " + std::to_string(n), bits);
    }
    arrays.emplace_back("long run", std::vector<bool>(150000, true));
    for (const std::size_t distance : { 8190u, 8191u, 8192u, 8193u }) {
        std::vector<bool> bits(distance * 8 + 4000);
        for (std::size_t i = 0; i < distance * 8; ++i)
            bits[i] = rng() % 2 == 0;
        for (std::size_t i = distance * 8; i < bits.size(); ++i)
            bits[i] = bits[i - distance * 8];
        arrays.emplace_back("repeat at " + std::to_string(distance), bits);
    }
    for (const Container container : { Container::Stapl, Container::Jam11 })
        for (const auto& [name, bits] : arrays)
            EXPECT_EQ(Play(ReadBack(container, bits), { "-aA" }), (Lines { "same", "Exit code = 0... Success" }))
                << name << (container == Container::Stapl ? " STAPL" : " Jam 1.1");
}

TEST(StaplArrays, ChecksElementsSlicesAndCopies)
{
    // B: 40 bits, bit i = (i % 3 == 0); W: writable 40 bits, zero; N: integers; C: compressed.
    std::vector<bool> pattern(40);
    for (std::size_t i = 0; i < pattern.size(); ++i)
        pattern[i] = i % 3 == 0;
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, std::vector<Operand>>> code; // the last is the one that prints or fails
        std::string printed;
        const char* error = nullptr;
    };
    using C = std::vector<std::pair<std::string, std::vector<Operand>>>;
    const auto push = [](std::int64_t v) { return std::pair<std::string, std::vector<Operand>> { "PUSHI", { v } }; };
    const auto op = [](const char* m, std::vector<Operand> o = {}) {
        return std::pair<std::string, std::vector<Operand>> { m, std::move(o) };
    };
    const std::vector<Case> cases = {
        { "element 0", C { push(0), op("LOADE", { Sym("B") }) }, "1" },
        { "element n - 1", C { push(39), op("LOADE", { Sym("B") }) }, "1" },
        { "element n", C { push(40), op("LOADE", { Sym("B") }) }, "", "bounds error" },
        { "element -1", C { push(-1), op("LOADE", { Sym("B") }) }, "", "bounds error" },
        { "integer element", C { push(2), op("LOADE", { Sym("N") }) }, "-7" },
        { "integer element n", C { push(3), op("LOADE", { Sym("N") }) }, "", "bounds error" },
        { "store and load an element",
            C { push(1), push(-9), op("STOREE", { Sym("M") }), push(1), op("LOADE", { Sym("M") }) }, "-9" },
        { "Boolean store of 5 is 1",
            C { push(39), push(5), op("STOREE", { Sym("W") }), push(39), op("LOADE", { Sym("W") }) }, "1" },
        { "1-bit slice", C { push(3), push(3), op("LOADS", { Sym("B") }) }, "1" },
        { "31 bits at the start", C { push(30), push(0), op("LOADS", { Sym("B") }) },
            std::to_string(0x49249249 & 0x7FFFFFFF) },
        { "32 bits at the end", C { push(39), push(8), op("LOADS", { Sym("B") }) },
            std::to_string(static_cast<std::int32_t>(0x92492492u)) },
        { "1-bit slice at n - 1", C { push(39), push(39), op("LOADS", { Sym("B") }) }, "1" },
        { "32 bits at the start", C { push(31), push(0), op("LOADS", { Sym("B") }) },
            std::to_string(static_cast<std::int32_t>(0x49249249u)) },
        { "31 bits at the end", C { push(39), push(9), op("LOADS", { Sym("B") }) },
            std::to_string(static_cast<std::int32_t>(0x92492492u >> 1)) },
        { "a slice at -1", C { push(3), push(-1), op("LOADS", { Sym("B") }) }, "", "bounds error" },
        { "a Boolean copy from an integer array", C { push(1), push(0), push(0), op("COPY", { Sym("W"), Sym("N") }) },
            "", "type mismatch" },
        { "a reversed slice", C { push(0), push(3), op("LOADS", { Sym("B") }) }, "9" },
        { "33 bits", C { push(32), push(0), op("LOADS", { Sym("B") }) }, "", "bounds error" },
        { "a slice ending at n", C { push(40), push(9), op("LOADS", { Sym("B") }) }, "", "bounds error" },
        { "a slice of an integer array", C { push(1), push(0), op("LOADS", { Sym("N") }) }, "", "type mismatch" },
        { "store a slice",
            C { push(39), push(32), push(0xA5), op("STORES", { Sym("W") }), push(39), push(32),
                op("LOADS", { Sym("W") }) },
            "165" },
        { "store a reversed slice",
            C { push(0), push(7), push(0x01), op("STORES", { Sym("W") }), push(7), op("LOADE", { Sym("W") }) }, "1" },
        { "copy forward over itself",
            C { push(40), push(0), push(0), op("COPY", { Sym("W"), Sym("B") }), push(10), push(1), push(0),
                op("COPY", { Sym("W"), Sym("W") }), push(10), push(0), op("LOADS", { Sym("W") }) },
            std::to_string(0b10010010011) },
        { "copy backward over itself",
            C { push(40), push(0), push(0), op("COPY", { Sym("W"), Sym("B") }), push(10), push(0), push(1),
                op("COPY", { Sym("W"), Sym("W") }), push(9), push(0), op("LOADS", { Sym("W") }) },
            std::to_string(0b0100100100) },
        { "copy past the end", C { push(2), push(39), push(0), op("COPY", { Sym("W"), Sym("B") }) }, "",
            "bounds error" },
        { "copy of a negative count", C { push(-1), push(0), push(0), op("COPY", { Sym("W"), Sym("B") }) }, "",
            "bounds error" },
        { "copy into a read-only array", C { push(1), push(0), push(0), op("COPY", { Sym("B"), Sym("W") }) }, "",
            "assignment to constant" },
        { "store into a read-only array", C { push(0), push(1), op("STOREE", { Sym("B") }) }, "",
            "assignment to constant" },
        { "store into a compressed array", C { push(0), push(1), op("STOREE", { Sym("C") }) }, "",
            "assignment to constant" },
        { "slice store into a compressed array", C { push(1), push(0), push(1), op("STORES", { Sym("C") }) }, "",
            "assignment to constant" },
        { "compressed element", C { push(100), op("LOADE", { Sym("C") }) }, "1" },
        { "an element of a scalar", C { push(0), op("LOADE", { Sym("I") }) }, "", "type mismatch" },
    };
    for (const Case& c : cases) {
        ImageBuilder b(Container::Jam11);
        b.AddInteger("I", 0);
        b.AddBooleanArray("B", pattern);
        b.AddUninitialisedArray("W", true, 40);
        b.AddIntegerArray("N", { 5, 0, -7 });
        b.AddIntegerArray("M", { 1, 2 }, true);
        b.AddBooleanArray("C", std::vector<bool>(300, true), false, true);
        std::uint32_t last = 0;
        for (const auto& [m, o] : c.code) {
            last = b.Here();
            b.Emit(m, o);
        }
        if (c.error == nullptr) {
            b.Emit("PRINTI");
            b.Emit("PRINTL");
        }
        b.Emit("PUSHI", { 0 });
        b.Emit("EXIT");
        if (c.error != nullptr)
            EXPECT_EQ(Play(b.Build()), (Lines { ErrorLine(last, c.error), "Program terminated." })) << c.name;
        else
            EXPECT_EQ(Play(b.Build()), (Lines { c.printed, "Exit code = 0... Success" })) << c.name;
    }
}

TEST(StaplArrays, RefusesAbsurdSizesAndMisplacedData)
{
    const auto run = [](const std::function<void(ImageBuilder&)>& add) {
        ImageBuilder b(Container::Jam11);
        add(b);
        b.Emit("PUSHI", { 0 });
        b.Emit("EXIT");
        return Play(b.Build());
    };
    const Lines outOfMemory = { ErrorLine(0, "out of memory"), "Program terminated." };
    EXPECT_EQ(run([](ImageBuilder& b) { b.AddUninitialisedArray("X", false, 0xFFFFFFFFu); }), outOfMemory)
        << "4n bytes for 2^32 - 1 integers";
    EXPECT_EQ(run([](ImageBuilder& b) {
        for (const char* n : { "A", "B" })
            b.AddUninitialisedArray(n, true, 40u * 1024 * 1024 * 8);
    }),
        outOfMemory)
        << "two arrays of 40 MiB";
    EXPECT_EQ(run([](ImageBuilder& b) { b.AddUninitialisedArray("A", true, 48u * 1024 * 1024 * 8); }),
        (Lines { "Exit code = 0... Success" }));

    // Read-only data past the data section, and a compressed array whose stream claims too much.
    SymbolSpec past { "P", kSymArray | kSymInitialised, 0, 1000, {}, std::vector<std::int32_t>(1000, 1) };
    ImageBuilder b(Container::Jam11);
    b.AddSymbol(past);
    b.Emit("PUSHI", { 0 });
    b.Emit("EXIT");
    Bytes image = b.Build().image;
    // The symbol's size field (its last 4 bytes) grows to 1001 elements.
    const std::size_t symbolTable
        = static_cast<std::size_t>(image[16] << 24 | image[17] << 16 | image[18] << 8 | image[19]);
    image[symbolTable + 10] = static_cast<std::uint8_t>(1001 & 0xFF);
    image[symbolTable + 9] = static_cast<std::uint8_t>(1001 >> 8);
    FixCrc(image);
    BuildResult patched;
    patched.image = image;
    EXPECT_EQ(Play(patched), (Lines { ErrorLine(0, "bounds error"), "Program terminated." }));

    ImageBuilder c(Container::Jam11);
    c.AddBooleanArray("C", std::vector<bool>(64, true), false, true);
    c.Emit("PUSHI", { 0 });
    c.Emit("EXIT");
    image = c.Build().image;
    const std::size_t data = static_cast<std::size_t>(image[20] << 24 | image[21] << 16 | image[22] << 8 | image[23]);
    image[data] = 9; // the stated length: 9 bytes of a 64-bit array
    FixCrc(image);
    patched.image = image;
    EXPECT_EQ(Play(patched), (Lines { ErrorLine(0, "internal error"), "Program terminated." }));
}

TEST(StaplArrays, ExportsOnlyWhenVerbose)
{
    std::vector<bool> bits(289, false);
    bits[0] = true;
    bits[4] = true;
    bits[288] = true;
    ImageBuilder b(Container::Jam11);
    b.AddBooleanArray("B", bits);
    b.Emit("PUSHI", { -42 });
    b.Emit("EXPORTI", { Str("VALUE") });
    b.Emit("PUSHI", { 0 }); // the symbol B
    b.Emit("PUSHI", { 289 });
    b.Emit("PUSHI", { 0 });
    b.Emit("EXPORTB", { Str("BITS") });
    b.Emit("PUSHI", { 0 });
    b.Emit("EXIT");
    const BuildResult built = b.Build();
    ASSERT_TRUE(built.ok()) << built.error;
    const auto view = StaplImage::Open(built.image);
    ASSERT_TRUE(view);

    for (const bool verbose : { true, false }) {
        NullPort port;
        JtagLayer layer(port);
        StaplRunOptions options;
        options.verbose = verbose;
        Lines lines;
        StaplInterpreter interpreter;
        const StaplExecution e
            = interpreter.Execute(*view, {}, options, layer, [&](const std::string& l) { lines.push_back(l); }, {});
        EXPECT_EQ(e.result, 0);
        if (verbose)
            EXPECT_EQ(lines,
                (Lines { "Export: key = \"VALUE\", value = -42", "Export: key = \"BITS\", value = 1",
                    "Export: key = \"BITS\", value = " + std::string(70, '0') + "11" }));
        else
            EXPECT_TRUE(lines.empty());
    }
}
