#include "buffer/BufferSaver.h"
#include "buffer/BufferLoader.h"
#include "buffer/FileFormat.h"
#include "buffer/ImageTransforms.h"
#include "buffer/IntelHex.h"

#include "BufferTestUtil.h"
#include "support/TestEnvironment.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <csignal>

#include <sys/resource.h>

namespace {

using namespace buffer;
using buffertest::Bytes;
using buffertest::Random;
using buffertest::ScratchDir;
using buffertest::Seq;

class BufferSaverTest : public testing::Test {
protected:
    Bytes LoadBack(const std::string& path)
    {
        CBufferModel model;
        LoadRequest request;
        request.fileOffsetText = "0";
        ReadMainBufferFile(model, path, GetFormatPattern(path), request);
        return model.Buffer(0);
    }

    tonrig::test::ScopedSettingsFile m_settings;
    ScratchDir m_dir;
    CBufferModel m_model;
};

TEST_F(BufferSaverTest, EveryFormatLoadsBackToTheSameBytes)
{
    struct Case {
        const char* name;
        std::size_t size;
        FileFormat format;
    } cases[] = {
        { "small.bin", 1000, FileFormat::Binary },
        { "small.hex", 1000, FileFormat::IntelHex },
        { "k64.hex", 0x10000, FileFormat::IntelHex },
        { "seg.hex", 0xFFFF0, FileFormat::IntelHex },
        { "big.hex", 0x100010, FileFormat::IntelHex },
        { "small.s", 1000, FileFormat::SRecord },
        { "big.mot", 0x10001, FileFormat::SRecord },
        { "odd.S19", 77, FileFormat::SRecord },
        // Written slice by slice: the text must be the one the whole image gives.
        { "slices.hex", 0x200007, FileFormat::IntelHex },
        { "slices.s37", 0x100011, FileFormat::SRecord },
        { "short.s", 0xFFFF, FileFormat::SRecord },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        m_model.Buffer(0) = Random(c.size, static_cast<std::uint32_t>(c.size));
        const std::string path = m_dir.Path(c.name);
        const SaveResult r = SaveBuffer(m_model, 0, path, CBufferDeviceParams {});
        EXPECT_TRUE(r.saved);
        EXPECT_EQ(r.format, c.format);
        EXPECT_TRUE(ScratchDir::Read(path) == FormatBuffer(m_model, 0, c.format, {}));
        if (c.format == FileFormat::SRecord) {
            CBufferModel model;
            LoadRequest request;
            ReadMainBufferFile(model, path, "*.s", request);
            EXPECT_EQ(model.Buffer(0), m_model.Buffer(0));
        } else {
            EXPECT_EQ(LoadBack(path), m_model.Buffer(0));
        }
    }
    // The linear form from 1 MB on, the segment form below.
    m_model.Buffer(0) = Bytes(0x100000, 0x11);
    EXPECT_EQ(FormatBuffer(m_model, 0, FileFormat::IntelHex, {}).substr(0, 15), ":020000040000FA");
    m_model.Buffer(0) = Bytes(0xFFFF0, 0x11);
    EXPECT_EQ(FormatBuffer(m_model, 0, FileFormat::IntelHex, {}).substr(0, 9), ":10000000");
}

TEST_F(BufferSaverTest, IncompleteBufferNeedsConfirmation)
{
    m_model.Buffer(1) = Seq(16);
    m_model.SetIncomplete(1, true);
    const std::string path = m_dir.Path("partial.bin");
    SaveResult r = SaveBuffer(m_model, 1, path, {});
    EXPECT_TRUE(r.needsConfirmation);
    EXPECT_FALSE(r.saved);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(path)));
    SaveOptions yes;
    yes.confirmedIncomplete = true;
    r = SaveBuffer(m_model, 1, path, {}, yes);
    EXPECT_TRUE(r.saved);
    const Bytes saved = Seq(16);
    EXPECT_EQ(ScratchDir::Read(path), std::string(saved.begin(), saved.end()));
    EXPECT_FALSE(SaveBuffer(m_model, 0, m_dir.Path("main.bin"), {}).needsConfirmation);
}

// Holds the size of any file this process writes to `bytes` while it lives (a write past it
// fails instead of raising SIGXFSZ): a write that fails halfway, even for root.
class ScopedFileSizeLimit {
public:
    explicit ScopedFileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~ScopedFileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_old {};
    void (*m_oldHandler)(int) = nullptr;
};

TEST_F(BufferSaverTest, AFailedSaveKeepsTheOldFile)
{
    m_model.Buffer(0) = Seq(8);
    SaveResult r = SaveBuffer(m_model, 0, m_dir.Path("no/such/folder/x.bin"), {});
    EXPECT_FALSE(r.saved);
    ASSERT_EQ(r.boxes.size(), 1u);
    EXPECT_EQ(r.boxes[0].text, "Error opening file");

    const std::string path = m_dir.Write("keep.hex", std::string("old contents"));
    m_model.Buffer(0) = Random(100000, 3);
    {
        ScopedFileSizeLimit limit(4096);
        r = SaveBuffer(m_model, 0, path, {});
    }
    EXPECT_FALSE(r.saved);
    ASSERT_EQ(r.boxes.size(), 1u);
    EXPECT_EQ(r.boxes[0].text, "Error writing file");
    EXPECT_EQ(ScratchDir::Read(path), "old contents");
    EXPECT_EQ(QDir(QString::fromStdString(m_dir.Path(""))).entryList(QDir::Files).size(), 1) << "no temporary left";
}

TEST_F(BufferSaverTest, WhatAnInterruptedSaveLeftBesideTheFileGoesAtItsNextSave)
{
    const std::string path = m_dir.Write("image.hex", std::string("old contents"));
    const auto put = [&](const std::string& name, int ageSeconds) {
        QFile file(QString::fromStdString(m_dir.Write(name, std::string("half a save"))));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(
            file.setFileTime(QDateTime::currentDateTime().addSecs(-ageSeconds), QFileDevice::FileModificationTime));
    };
    put("image.hex.HxQzWv", 3600); // a save of an earlier run, killed before its rename
    put("image.hex.KpLmNo", 0); // a save of this run
    put("other.hex.HxQzWv", 3600);
    // A user's own copies beside it: one or two words, in any case.
    const QStringList kept = { "image.hex.BACKUP", "image.hex.Backup", "image.hex.OldBAK", "image.hex.OldRev",
        "image.hex.backup", "image.hex.golden", "image.hex.myCopy", "image.hex.signed" };
    for (const QString& name : kept)
        put(name.toStdString(), 3600);
    m_model.Buffer(0) = Seq(16);
    ASSERT_TRUE(SaveBuffer(m_model, 0, path, {}).saved);
    QStringList expected = kept;
    expected.append({ "image.hex", "image.hex.KpLmNo", "other.hex.HxQzWv" });
    expected.sort();
    QStringList files = QDir(QString::fromStdString(m_dir.Path(""))).entryList(QDir::Files);
    files.sort();
    EXPECT_EQ(files.join(' ').toStdString(), expected.join(' ').toStdString());
    EXPECT_EQ(LoadBack(path), Seq(16));
}

TEST(ImageTransforms, SwapBufferBytesCompletePairsOnly)
{
    Bytes b = Seq(5);
    SwapBufferBytes(b);
    EXPECT_EQ(b, (Bytes { 1, 0, 3, 2, 4 }));
    b = Seq(6);
    SwapBufferBytes(b, 1, 4);
    EXPECT_EQ(b, (Bytes { 0, 2, 1, 4, 3, 5 }));
    SwapBufferBytes(b, 10, 2); // past the end: nothing
    EXPECT_EQ(b, (Bytes { 0, 2, 1, 4, 3, 5 }));
}

// A PIC file as the usual PIC tools write it: extended linear records, 16-byte data records,
// program words low byte first, then the ID locations, the configuration word and the EEPROM.
struct PicFile {
    CBufferDeviceParams device;
    Bytes program; // file order
    Bytes ids; // file order, 8 bytes
    Bytes config; // file order
    Bytes eeprom; // the EEPROM bytes (one per word below 16-bit cores)
    std::string text;
};

void AppendSection(std::string& text, std::uint32_t address, const Bytes& bytes, std::uint32_t& upper)
{
    for (std::size_t p = 0; p < bytes.size(); p += 16) {
        const std::uint32_t a = address + static_cast<std::uint32_t>(p);
        if ((a >> 16) != upper) {
            upper = a >> 16;
            const std::uint8_t u[2] = { static_cast<std::uint8_t>(upper >> 8), static_cast<std::uint8_t>(upper) };
            WriteIntelHexRecord(text, 2, 0, 4, u);
        }
        WriteIntelHexRecord(text, static_cast<int>(std::min<std::size_t>(16, bytes.size() - p)),
            static_cast<std::uint16_t>(a), 0, bytes.data() + p);
    }
}

PicFile MakePicFile(int core)
{
    PicFile f;
    CBufferDeviceParams& d = f.device;
    d.selected = true;
    d.pic = true;
    d.coreBits = core;
    d.typeCode = 4;
    std::mt19937 rng(static_cast<std::uint32_t>(core));
    const std::uint16_t wordMask = core == 14 ? 0x3FFF : core == 12 ? 0x0FFF : 0xFFFF;
    if (core == 16) {
        d.memorySize = 0x2000;
        d.dataSize = 256;
        d.configBytes = 14;
        d.configHexAddress = 0x300000;
        d.idHexAddress = 0x200000;
        d.eepromHexAddress = 0xF00000;
    } else if (core == 12) {
        d.memorySize = 1024;
        d.dataSize = 0;
        d.configHexAddress = 0x1FFE;
        d.idHexAddress = 0x400;
        d.eepromHexAddress = 0;
    } else {
        d.memorySize = 4096;
        d.dataSize = 128;
    }
    auto words = [&](std::size_t n) {
        Bytes b;
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint16_t w = static_cast<std::uint16_t>(rng()) & wordMask;
            b.push_back(static_cast<std::uint8_t>(w));
            b.push_back(static_cast<std::uint8_t>(w >> 8));
        }
        return b;
    };
    f.program = words(d.memorySize / 2);
    f.ids = words(4);
    f.config = core == 16 ? Random(14, 7) : words(1);
    f.eeprom = Random(d.dataSize, 9);
    Bytes eepromFile;
    for (std::uint8_t b : f.eeprom) {
        eepromFile.push_back(b);
        if (core < 16)
            eepromFile.push_back(0);
    }
    std::uint32_t upper = ~0u;
    AppendSection(f.text, 0, f.program, upper);
    AppendSection(f.text, d.idHexAddress, f.ids, upper);
    AppendSection(f.text, d.configHexAddress, f.config, upper);
    AppendSection(f.text, d.eepromHexAddress, eepromFile, upper);
    WriteIntelHexEnd(f.text);
    return f;
}

TEST_F(BufferSaverTest, PicHexFileLoadsMasksAndSavesBackByteIdentical)
{
    for (int core : { 14, 16 }) {
        SCOPED_TRACE(core);
        const PicFile f = MakePicFile(core);
        const std::string path = m_dir.Write("pic.hex", f.text);
        LoadRequest request;
        request.device = f.device;
        request.fileOffsetText = "0";
        request.lookupOpenedFile = false;
        CBufferModel model;
        const LoadResult r = LoadFile(model, path, "*.hex", request);
        EXPECT_TRUE(r.boxes.empty()) << (r.boxes.empty() ? "" : r.boxes[0].text);
        EXPECT_TRUE(r.changed[0] && r.changed[2] && r.configWordChanged);
        EXPECT_EQ(r.changed[1], core != 12) << "the 12-bit family has no EEPROM";

        // The buffer holds the program words high byte first.
        ASSERT_EQ(model.Buffer(0).size(), f.device.memorySize);
        EXPECT_EQ(model.Buffer(0)[0], f.program[1]);
        EXPECT_EQ(model.Buffer(0)[1], f.program[0]);
        if (core != 12) {
            EXPECT_EQ(model.Buffer(1), f.eeprom);
        }
        ASSERT_EQ(model.Buffer(2).size(), 16u);
        if (core < 16) {
            EXPECT_EQ(model.Buffer(2)[0], f.ids[1]);
            EXPECT_EQ(model.Buffer(2)[1], f.ids[0]);
            // word 7 of the configuration memory is the configuration word, high byte first
            EXPECT_EQ(model.Buffer(2)[14], f.config[1]);
        } else {
            EXPECT_EQ(Bytes(model.Buffer(2).begin(), model.Buffer(2).begin() + 8), f.ids);
        }
        EXPECT_EQ(model.ConfigWord(), f.config);

        const std::string out = m_dir.Path("pic-out.hex");
        ASSERT_TRUE(SaveBuffer(model, 0, out, f.device).saved);
        EXPECT_EQ(ScratchDir::Read(out), f.text);
    }
}

TEST_F(BufferSaverTest, ChecksumText)
{
    EXPECT_EQ(ChecksumText(Bytes(0x102, 0xFF)), "Checksum: 0x00FE"); // 0x102 * 0xFF = 0x100FE
    EXPECT_EQ(ChecksumText({}), "Checksum: 0x0000");
    EXPECT_EQ(BufferChecksum(Seq(4, 1)), 10);
}

} // namespace
