#include "buffer/BufferLoader.h"
#include "buffer/BufferSaver.h"
#include "buffer/FileFormat.h"
#include "buffer/FileOptions.h"
#include "buffer/IntelHex.h"
#include "buffer/OpenedFileEntry.h"
#include "buffer/SRecord.h"

#include "BufferTestUtil.h"
#include "shell/RegistryKey.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

namespace {

using namespace buffer;
using buffertest::Bytes;
using buffertest::Seq;

CBufferDeviceParams Device(std::uint32_t memorySize, std::uint32_t dataSize = 0)
{
    CBufferDeviceParams device;
    device.selected = true;
    device.memorySize = memorySize;
    device.dataSize = dataSize;
    device.typeCode = 3;
    return device;
}

std::string HexOf(const Bytes& image)
{
    std::string text;
    WriteIntelHex(text, image.data(), image.size());
    return text;
}

class BufferLoaderTest : public testing::Test {
protected:
    LoadResult Main(const std::string& path, const std::string& pattern, const CBufferDeviceParams& device,
        const std::string& offset = "0")
    {
        LoadRequest request;
        request.device = device;
        request.fileOffsetText = offset;
        return ReadMainBufferFile(m_model, path, pattern, request);
    }

    tonrig::test::ScopedSettingsFile m_settings;
    buffertest::ScratchDir m_dir;
    CBufferModel m_model;
};

TEST(FileFormat, PatternsByNameAndByToken)
{
    const std::pair<const char*, const char*> names[] = { { "a.hex", "*.hex" }, { "A.HEX", "*.hex" }, { "x.S", "*.s" },
        { "x.s", "*.s" }, { "x.mot", "*.mot" }, { "x.stapl", "*.bin" }, { "x.bin", "*.bin" }, { "hex", "*.bin" },
        { "x.hex.bak", "*.bin" }, { "x.jam", "*.bin" }, { "x.S19", "*.s19" }, { "x.srec", "*.srec" },
        { "x.s37", "*.s37" }, { "x.s3", "*.bin" } };
    for (const auto& [name, pattern] : names)
        EXPECT_EQ(GetFormatPattern(name), pattern) << name;

    const std::pair<const char*, FileFormat> patterns[] = { { "*.hex", FileFormat::IntelHex },
        { "Hex Files (*.hex)", FileFormat::IntelHex }, { "*.s", FileFormat::SRecord }, { "*.mot", FileFormat::SRecord },
        { "*.stapl", FileFormat::Binary }, { "*.hexa", FileFormat::Binary }, { "*.bin", FileFormat::Binary },
        { "Binary Files (*.bin)", FileFormat::Binary }, { "*.S", FileFormat::SRecord }, { "", FileFormat::Binary },
        { "Motorola S (*.s)", FileFormat::SRecord }, { "*.s19", FileFormat::SRecord },
        { "*.srec", FileFormat::SRecord }, { "*.s28", FileFormat::SRecord } };
    for (const auto& [pattern, format] : patterns)
        EXPECT_EQ(FormatFromPattern(pattern), format) << pattern;

    const std::pair<const char*, int> offsets[]
        = { { "0", 0 }, { "000010", 16 }, { "-10", -16 }, { "FFFFFFF0", -16 }, { "0x20", 32 }, { "", 0 }, { "zz", 0 } };
    for (const auto& [text, value] : offsets)
        EXPECT_EQ(ParseFileOffset(text), value) << text;
}

TEST(FileFormat, OptionsDialogChoices)
{
    const std::pair<const char*, const char*> names[] = { { "a.HEX", "*.hex" }, { "a.s", "*.s" }, { "a.rom", "*.rom" },
        { "a.stapl", "*.stapl" }, { "a.jam", "*.jam" }, { "a.jbc", "*.jbc" }, { "a.jed", "*.jed" },
        { "a.cds", "*.bin" }, { "a.bin", "*.bin" }, { "a.MOT", "*.s" }, { "a.srec", "*.s" }, { "a.s19", "*.s" },
        { "a.S28", "*.s" }, { "a.s37", "*.s" }, { "a.s3", "*.bin" } };
    for (const auto& [name, pattern] : names)
        EXPECT_STREQ(kFormatChoices[PreselectedFormat(name)].pattern, pattern) << name;
    EXPECT_EQ(FillText(0), "FF");
    EXPECT_EQ(FillText(1), "FF");
    EXPECT_EQ(FillText(2), "00");
}

TEST(ReadModes, TakenBytes)
{
    struct Case {
        int mode;
        int i0;
        bool device;
        Bytes in;
        Bytes out;
    } cases[] = {
        { 0, 0, false, { 0x00, 0x11, 0x22 }, { 0x00, 0x11, 0x22 } },
        { 2, 0, false, { 0x00, 0x11, 0x22, 0x33 }, { 0x00, 0x22 } },
        { 1, 0, false, { 0x00, 0x11, 0x22, 0x33 }, { 0x11, 0x33 } },
        { 1, 0, true, { 0x00, 0x11, 0x22, 0x33 }, { 0x11, 0x33, 0xFF, 0xFF } }, // the size stays with a device
        { 8, 0, false, { 0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77 }, { 0x22, 0x33, 0x66, 0x77 } },
        { 7, 0, false, { 0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77 }, { 0x00, 0x11, 0x44, 0x55 } },
        { 3, 0, false, Seq(8), { 0, 4 } },
        { 4, 0, false, Seq(8), { 1, 5 } },
        { 5, 0, false, Seq(8), { 2, 6 } },
        { 6, 0, false, Seq(8), { 3, 7 } },
        // odd tails: what is missing of the last group is left out
        { 2, 0, false, Seq(5), { 0, 2 } },
        { 1, 0, false, Seq(5), { 1, 3 } },
        { 6, 0, false, Seq(7), { 3 } },
        { 8, 0, false, Seq(7), { 2, 3, 6 } },
        { 8, 0, false, Seq(3), { 2 } },
        // the first i0 bytes stay at the fill byte
        { 2, 2, false, Seq(6), { 0xFF, 0xFF, 2, 4 } },
        { 2, 10, false, Seq(6), Bytes(6, 0xFF) }, // a start past the end gives an empty part
        { 4, -5, false, Seq(8), { 1, 5 } },
        { 9, 0, false, Seq(4), Seq(4) },
    };
    for (const auto& c : cases) {
        Bytes image = c.in;
        ApplyReadMode(image, c.mode, c.i0, 0xFF, c.device);
        EXPECT_EQ(image, c.out) << "mode " << c.mode << " i0 " << c.i0;
    }
    EXPECT_STREQ(ReadModeText(8), "2nd 2 Byte of 4");
}

TEST(FileOffset, MovesAndCaps)
{
    struct Case {
        int k;
        std::size_t size;
        bool ok;
        Bytes out;
    } cases[] = {
        { 0, 4, true, Seq(4) }, { -2, 4, true, { 2, 3 } }, { -4, 4, true, {} }, { -100, 4, true, {} },
        { 2, 4, true, { 0xEE, 0xEE, 0, 1, 2, 3 } }, { 0x7FFFFFFF, 4, false, Seq(4) }, // refused, unchanged
        { 60, 4, true, {} }, // checked only for size below
    };
    for (const auto& c : cases) {
        Bytes image = Seq(c.size);
        EXPECT_EQ(ApplyFileOffset(image, c.k, 0xEE, 64), c.ok) << c.k;
        if (c.k != 60)
            EXPECT_EQ(image, c.out) << c.k;
        else
            EXPECT_EQ(image.size(), 64u);
    }
}

TEST_F(BufferLoaderTest, BinarySizeRuleOffsetFitAndReadMode)
{
    const std::string path = m_dir.Write("image.bin", Seq(64));
    // No device: the file's own length; -16 drops the first 16 bytes.
    auto r = Main(path, "*.bin", CBufferDeviceParams {}, "-10");
    EXPECT_TRUE(r.changed[0]);
    EXPECT_EQ(m_model.Buffer(0), Seq(48, 16));
    EXPECT_EQ(r.title, "Zelvo USB Programmer - " + path);
    EXPECT_TRUE(r.addToRecent);
    EXPECT_TRUE(r.boxes.empty());

    // A device of 32 bytes: the file is cut, text 212 shown; +16 then fit to 32 bytes.
    r = Main(path, "*.bin", Device(32), "10");
    ASSERT_EQ(r.boxes.size(), 1u);
    EXPECT_EQ(r.boxes[0].languageText, 212);
    Bytes want(16, 0xFF);
    const Bytes head = Seq(16);
    want.insert(want.end(), head.begin(), head.end());
    EXPECT_EQ(m_model.Buffer(0), want);

    // A category-7 device takes longer files silently.
    auto cpld = Device(32);
    cpld.typeCode = 7;
    EXPECT_TRUE(Main(path, "*.bin", cpld).boxes.empty());

    // A device larger than the file: filled up with the fill byte; then the read mode.
    m_model.SetFillByte(0x00);
    m_model.SetReadMode(2);
    Main(path, "*.bin", Device(128));
    Bytes odd(64, 0x00);
    for (int i = 0; i < 32; ++i)
        odd[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(2 * i);
    EXPECT_EQ(m_model.Buffer(0), odd);
}

TEST_F(BufferLoaderTest, OffsetThenFitThenReadMode)
{
    // +4 gives 12 bytes, the fit 16, and "Odd Byte" from position 4 takes 10 of them: the fit
    // happened before the read mode, and the read mode starts behind the offset.
    const std::string path = m_dir.Write("order.bin", Seq(8));
    m_model.SetReadMode(2);
    Main(path, "*.bin", Device(16), "4");
    EXPECT_EQ(m_model.Buffer(0), (Bytes { 0xFF, 0xFF, 0xFF, 0xFF, 0, 2, 4, 6, 0xFF, 0xFF }));
}

TEST_F(BufferLoaderTest, FailuresLeaveTheBufferAsItWas)
{
    m_model.Buffer(0) = Seq(10);
    auto r = Main(m_dir.Path("missing.bin"), "*.bin", Device(16));
    EXPECT_FALSE(r.readOk);
    EXPECT_FALSE(r.AnyChanged());
    ASSERT_EQ(r.boxes.size(), 1u);
    EXPECT_EQ(r.boxes[0].text, "Error opening file\n" + m_dir.Path("missing.bin"));
    EXPECT_TRUE(r.title.empty());
    EXPECT_FALSE(r.addToRecent);
    EXPECT_EQ(m_model.Buffer(0), Seq(10));

    // An offset that would take the buffer past the limit is refused.
    const std::string path = m_dir.Write("small.bin", Seq(8));
    r = Main(path, "*.bin", CBufferDeviceParams {}, "7FFFFFFF");
    EXPECT_FALSE(r.AnyChanged());
    EXPECT_EQ(m_model.Buffer(0), Seq(10));

    // An empty file, or one without a data record, loads nothing and says so.
    for (const auto& [name, text, pattern] : { std::tuple { "empty.bin", "", "*.bin" },
             std::tuple { "empty.hex", "", "*.hex" }, std::tuple { "blank.hex", "\r\n  \n\n", "*.hex" },
             std::tuple { "end only.hex", ":0400000508000000EF\n:00000001FF\n", "*.hex" },
             std::tuple { "header only.s", "S00600004844521B\nS9030000FC\n", "*.s" } }) {
        SCOPED_TRACE(name);
        r = Main(m_dir.Write(name, std::string(text)), pattern, Device(16));
        EXPECT_FALSE(r.readOk);
        EXPECT_FALSE(r.AnyChanged());
        EXPECT_EQ(m_model.Buffer(0), Seq(10));
        EXPECT_TRUE(r.title.empty());
        EXPECT_FALSE(r.addToRecent);
        ASSERT_EQ(r.boxes.size(), 1u);
        EXPECT_EQ(r.boxes[0].text, std::string(name) + " holds no data.");
    }

    // An offset below -size leaves an empty buffer, fitted to the device.
    r = Main(path, "*.bin", Device(0), "-100");
    EXPECT_TRUE(r.changed[0]);
    EXPECT_TRUE(m_model.Buffer(0).empty());
}

TEST_F(BufferLoaderTest, IntelHexAndSRecordLoads)
{
    const Bytes image = Seq(0x30);
    const std::string hexPath = m_dir.Write("image.hex", "\n" + HexOf(image) + "\n\n");
    auto r = Main(hexPath, "*.hex", CBufferDeviceParams {});
    EXPECT_EQ(m_model.Buffer(0), image) << "no device: the buffer ends at the highest record end";

    // The highest end wins over the last record's.
    const std::string reversed = m_dir.Write("rev.hex", ":01100000AB44\n:01000000CD32\n:00000001FF\n");
    Main(reversed, "*.hex", CBufferDeviceParams {});
    ASSERT_EQ(m_model.Buffer(0).size(), 0x1001u);
    EXPECT_EQ(m_model.Buffer(0)[0], 0xCD);
    EXPECT_EQ(m_model.Buffer(0)[0x1000], 0xAB);

    // With a device the image is fitted; a record beyond the device gives text 212.
    r = Main(reversed, "*.hex", Device(0x800));
    ASSERT_EQ(r.boxes.size(), 1u);
    EXPECT_EQ(r.boxes[0].languageText, 212);
    EXPECT_EQ(m_model.Buffer(0).size(), 0x800u);

    // A .hex file that holds S-records loads through the S-record reader; a .s file likewise.
    std::string srec;
    WriteSRecords(srec, image.data(), image.size());
    const std::string disguised = m_dir.Write("srec.hex", srec);
    r = Main(disguised, "*.hex", CBufferDeviceParams {});
    EXPECT_EQ(m_model.Buffer(0), image);
    r = Main(m_dir.Write("srec.S", srec), GetFormatPattern("srec.S"), Device(0x40));
    Bytes fitted = image;
    fitted.resize(0x40, 0xFF);
    EXPECT_EQ(m_model.Buffer(0), fitted);
    EXPECT_TRUE(r.boxes.empty()) << "the length of S-record text is not compared with the device";

    // A .stapl file is binary even though "*.s" is a prefix of its pattern.
    Main(m_dir.Write("x.stapl", srec), GetFormatPattern("x.stapl"), CBufferDeviceParams {});
    EXPECT_EQ(m_model.Buffer(0).size(), srec.size());
}

// A file with refused records changes nothing until the question is answered: Yes keeps what
// could be read and marks the buffer incomplete, No leaves everything as it was.
TEST_F(BufferLoaderTest, BadRecordsWaitForTheQuestion)
{
    const std::string bad = m_dir.Write(
        "bad.hex", ":0400000001020304F2\n:04000400FFFFFFFF00\n:04000800FFFFFFFF00\n:0400100001020304E2\n:00000001FF\n");
    for (bool yes : { true, false }) {
        SCOPED_TRACE(yes);
        m_model.Buffer(0) = Seq(10, 0x40);
        m_model.SetIncomplete(0, false);
        m_model.SetFillByte(0x00);
        LoadResult r = Main(bad, "*.hex", CBufferDeviceParams {});
        EXPECT_FALSE(r.readOk);
        EXPECT_TRUE(r.needsConfirmation);
        EXPECT_EQ(
            r.question, "2 bad records in bad.hex, the first at line 2 (checksum). Keep the data that could be read?");
        EXPECT_EQ(r.problemCount, 2);
        EXPECT_EQ(
            r.problems, (std::vector<ReadProblem> { { 2, ProblemKind::Checksum }, { 3, ProblemKind::Checksum } }));
        EXPECT_TRUE(r.title.empty());
        EXPECT_EQ(m_model.Buffer(0), Seq(10, 0x40)) << "nothing changes before the answer";
        if (yes) {
            const LoadResult kept = KeepReadData(m_model, r);
            EXPECT_TRUE(kept.readOk);
            EXPECT_TRUE(kept.changed[0]);
            EXPECT_EQ(kept.title, "Zelvo USB Programmer - " + bad);
            Bytes want(0x14, 0x00);
            for (int i = 0; i < 4; ++i)
                want[static_cast<std::size_t>(i)] = want[static_cast<std::size_t>(0x10 + i)]
                    = static_cast<std::uint8_t>(i + 1);
            EXPECT_EQ(m_model.Buffer(0), want);
            EXPECT_TRUE(m_model.IsIncomplete(0));
        } else {
            const LoadResult declined = DeclineReadData(r);
            EXPECT_FALSE(declined.readOk);
            EXPECT_FALSE(declined.AnyChanged());
            EXPECT_TRUE(declined.title.empty());
            EXPECT_FALSE(declined.addToRecent);
            EXPECT_EQ(declined.log,
                std::vector<std::string> {
                    "2 bad records in bad.hex, the first at line 2 (checksum). Nothing was loaded." });
            EXPECT_EQ(m_model.Buffer(0), Seq(10, 0x40));
            EXPECT_FALSE(m_model.IsIncomplete(0));
        }
    }
    // A clean load clears the mark.
    Main(m_dir.Write("good.hex", HexOf(Seq(4))), "*.hex", CBufferDeviceParams {});
    EXPECT_FALSE(m_model.IsIncomplete(0));
}

// Files that tools write load: start addresses anywhere, either base record last winning,
// records after an S-record end, and images linked far from zero with an offset that moves them.
TEST_F(BufferLoaderTest, ValidFilesFromOtherTools)
{
    const struct Case {
        const char* name;
        std::string text;
        std::string offset;
        Bytes image;
        std::size_t at;
        std::string log; // a line the load logs
    } cases[] = {
        { "05 first.hex", ":0400000508000000EF\n:0400000001020304F2\n:00000001FF\n", "0", Seq(4, 1), 0, "" },
        { "05 last.hex", ":0400000001020304F2\n:0400000508000000EF\n:00000001FF\n", "0", Seq(4, 1), 0, "" },
        { "02 after 04.hex", ":020000040001F9\n:020000020010EC\n:01000000AB54\n", "0", { 0xAB }, 0x100, "" },
        { "04 after 02.hex", ":020000020010EC\n:020000040001F9\n:01000000AB54\n", "0", { 0xAB }, 0x10000, "" },
        { "after S9.s", "S1050000AB014E\nS9030000FC\nS1050002CD012A\n", "0", { 0xAB, 0x01 }, 0,
            "after S9.s: the records from line 3 on follow the end record and were ignored." },
        { "linked high.hex", ":020000040800F2\n:0400000001020304F2\n:00000001FF\n", "-8000000", Seq(4, 1), 0, "" },
        { "linked high.s", "S3090800000001020304E4\nS70508000000F2\n", "F8000000", Seq(4, 1), 0, "" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const LoadResult r
            = Main(m_dir.Write(c.name, c.text), GetFormatPattern(c.name), CBufferDeviceParams {}, c.offset);
        EXPECT_TRUE(r.readOk);
        EXPECT_TRUE(r.boxes.empty()) << r.boxes[0].text;
        EXPECT_EQ(r.problemCount, 0);
        const Bytes& buffer = m_model.Buffer(0);
        ASSERT_EQ(buffer.size(), c.at + c.image.size());
        EXPECT_EQ(Bytes(buffer.begin() + static_cast<std::ptrdiff_t>(c.at), buffer.end()), c.image);
        if (!c.log.empty()) {
            EXPECT_NE(std::find(r.log.begin(), r.log.end(), c.log), r.log.end());
        }
    }

    // Without a fitting offset the far image is refused with the way to load it.
    m_model.Buffer(0) = Seq(10);
    const LoadResult r = Main(m_dir.Path("linked high.hex"), "*.hex", CBufferDeviceParams {});
    EXPECT_FALSE(r.readOk);
    EXPECT_FALSE(r.needsConfirmation);
    ASSERT_EQ(r.boxes.size(), 1u);
    EXPECT_EQ(r.boxes[0].text,
        "The data in linked high.hex start at address 0x08000000, past the buffer limit of 0x04000000. A File "
        "Offset (Hex) of -8000000 moves them down to address 0.");
    EXPECT_EQ(m_model.Buffer(0), Seq(10));
}

TEST_F(BufferLoaderTest, DataBuffer)
{
    LoadRequest request;
    request.device = Device(0x1000, 16);
    const std::string path = m_dir.Write("eeprom.bin", Seq(20));
    auto r = ReadDataBufferFile(m_model, path, "*.bin", request);
    ASSERT_EQ(r.boxes.size(), 1u);
    EXPECT_EQ(r.boxes[0].languageText, 212);
    EXPECT_EQ(m_model.Buffer(1), Seq(16));
    EXPECT_TRUE(r.title.empty());
    EXPECT_TRUE(r.addToRecent);

    // A positive offset moves the contents up in a block of the same size.
    request.fileOffsetText = "4";
    ReadDataBufferFile(m_model, path, "*.bin", request);
    Bytes moved(4, 0xFF);
    const Bytes head = Seq(12);
    moved.insert(moved.end(), head.begin(), head.end());
    EXPECT_EQ(m_model.Buffer(1), moved);

    // HEX into the data buffer: gaps 0xFF, cut to the data size.
    request.fileOffsetText = "0";
    const std::string hex = m_dir.Write("eeprom.hex", ":0100040055A6\n:010020006679\n:00000001FF\n");
    r = ReadDataBufferFile(m_model, hex, "*.hex", request);
    ASSERT_EQ(r.boxes.size(), 1u);
    EXPECT_EQ(r.boxes[0].languageText, 212);
    Bytes want(16, 0xFF);
    want[4] = 0x55;
    EXPECT_EQ(m_model.Buffer(1), want);

    // A line that is not a record stops the data read, and the buffer stays as it was.
    const std::string stop = m_dir.Write("stop.hex", ":0100000055AA\nnot a record\n:0100050066940\n");
    r = ReadDataBufferFile(m_model, stop, "*.hex", request);
    ASSERT_EQ(r.boxes.size(), 1u);
    EXPECT_EQ(r.boxes[0].text, "Error reading Hexfile");
    EXPECT_EQ(r.log, std::vector<std::string> { "Error reading Hexfile (stop.hex, line 2: not a record)." });
    EXPECT_FALSE(r.AnyChanged());
    EXPECT_EQ(m_model.Buffer(1), want);
}

TEST_F(BufferLoaderTest, OpenedFileLookupHigherSlotWinsAndCaseCounts)
{
    const std::string path = "/data/Image.BIN";
    COpenedFileEntry first { path, "10", "*.hex", "00", 2 };
    COpenedFileEntry later { path, "20", "*.s", "FF", 5 };
    COpenedFileEntry other { "/data/image.bin", "30", "*.bin", "FF", 1 };
    for (auto [slot, entry] : { std::pair { 3, first }, std::pair { 40, later }, std::pair { 41, other } }) {
        CRegistryKey key;
        ASSERT_TRUE(key.Create(HKEY_CURRENT_USER, OpenedFileKey(slot)));
        key.WriteString("FileName", entry.FileName);
        key.WriteString("Format", entry.Format);
        key.WriteString("Fill", entry.Fill);
        key.WriteString("Offset", entry.Offset);
        key.WriteDword("OpenMode", static_cast<DWORD>(entry.OpenMode));
    }
    COpenedFileEntry entry;
    entry.FileName = path;
    EXPECT_TRUE(LookupOpenedFile(entry));
    EXPECT_EQ(entry, later);

    COpenedFileEntry unknown;
    unknown.FileName = "/data/IMAGE.bin";
    unknown.Offset = "7";
    EXPECT_FALSE(LookupOpenedFile(unknown));
    EXPECT_EQ(unknown.Offset, "7");
    EXPECT_EQ(unknown.Fill, "FF");

    // Remembering writes the slot a lookup reads (the file's highest), else the first free one.
    const COpenedFileEntry chosen { path, "1", "", "FF", 0 };
    EXPECT_EQ(RememberOpenedFile(chosen), 40);
    COpenedFileEntry again;
    again.FileName = path;
    LookupOpenedFile(again);
    EXPECT_EQ(again, chosen);
    EXPECT_EQ(RememberOpenedFile(COpenedFileEntry { "/new", "1", "", "FF", 0 }), 0);
}

TEST_F(BufferLoaderTest, LoadFileTakesTheRememberedOptions)
{
    const std::string path = m_dir.Write("opts.bin", Seq(8));
    ASSERT_EQ(RememberOpenedFile(COpenedFileEntry { path, "-2", "", "00", 2 }), 0);
    LoadRequest request;
    request.fileOffsetText = "0";
    auto r = LoadFile(m_model, path, "*.bin", request);
    ASSERT_FALSE(r.boxes.empty());
    EXPECT_EQ(r.boxes[0].text, "Device not been selected. \r\nYou need re-load the data after selected the device.");
    EXPECT_EQ(r.offsetText, "-2");
    EXPECT_EQ(m_model.FillByte(), 0x00);
    EXPECT_EQ(m_model.ReadMode(), 2);
    EXPECT_EQ(m_model.Buffer(0), (Bytes { 2, 4, 6 }));
    EXPECT_EQ(m_model.m_strLoadedFileName, path);
    ASSERT_FALSE(r.log.empty());
    EXPECT_EQ(r.log.back(), path + ".");

    // The configuration buffer of an ordinary device takes no file, and says so.
    request.device = Device(16);
    request.bufferIndex = 2;
    r = LoadFile(m_model, path, "*.bin", request);
    EXPECT_FALSE(r.AnyChanged());
    EXPECT_FALSE(r.readOk);
    ASSERT_EQ(r.log.size(), 1u);
    EXPECT_NE(r.log[0].find("nothing was loaded"), std::string::npos);

    // A JAM source asks the view to run the compiler.
    const std::string jam = m_dir.Write("cpld.JAM", std::string("ACTION"));
    request.bufferIndex = 0;
    EXPECT_TRUE(LoadFile(m_model, jam, GetFormatPattern(jam), request).compileSource);
}

TEST_F(BufferLoaderTest, Masks)
{
    CBufferDeviceParams ordinary = Device(16);
    m_model.Buffer(0) = Bytes(4, 0xFF);
    auto boxes = MaskBuffer(m_model, 0, ordinary);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Internal Error! No way to mask the buffer.");
    EXPECT_EQ(m_model.Buffer(0), Bytes(4, 0xFF));

    struct Case {
        int core;
        std::uint8_t bufferMask;
        std::uint8_t wordMask;
    } cases[] = { { 10, 0xFF, 0x0F }, { 12, 0x0F, 0x1F }, { 13, 0x1F, 0xFF }, { 14, 0x3F, 0x3F }, { 15, 0x7F, 0x7F },
        { 16, 0xFF, 0xFF } };
    for (const auto& c : cases) {
        CBufferDeviceParams pic = Device(16, 8);
        pic.pic = true;
        pic.coreBits = c.core;
        m_model.Buffer(0) = Bytes(5, 0xFF);
        m_model.Buffer(1) = Seq(8);
        m_model.Buffer(2) = Bytes(4, 0xFF);
        m_model.ConfigWord() = { 0xFF, 0xFF };
        for (int kind : { 0, 1, 2, 3 })
            EXPECT_TRUE(MaskBuffer(m_model, kind, pic).empty());
        EXPECT_EQ(m_model.Buffer(0), (Bytes { c.bufferMask, 0xFF, c.bufferMask, 0xFF, c.bufferMask })) << c.core;
        EXPECT_EQ(m_model.Buffer(1), Bytes(8, 0xFF));
        EXPECT_EQ(m_model.Buffer(2), (Bytes { c.bufferMask, 0xFF, c.bufferMask, 0xFF })) << c.core;
        EXPECT_EQ(m_model.ConfigWord(), (Bytes { 0xFF, c.wordMask })) << c.core;
    }
}

} // namespace
