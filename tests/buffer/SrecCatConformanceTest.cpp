// Conformance with independent tools: files that srec_cat and objcopy write, in each of their
// forms, load to the same bytes, and files we write read back through srec_cat byte for byte.

#include "buffer/BufferLoader.h"
#include "buffer/BufferSaver.h"
#include "buffer/FileFormat.h"

#include "BufferTestUtil.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QProcess>
#include <QStringList>

#include <gtest/gtest.h>

namespace {

using namespace buffer;
using buffertest::Bytes;
using buffertest::Random;
using buffertest::ScratchDir;

constexpr const char* kSrecCat = "/usr/bin/srec_cat";
constexpr const char* kObjcopy = "/usr/bin/objcopy";

struct Piece {
    std::uint32_t offset;
    std::uint32_t length;
};

class SrecCatConformance : public testing::Test {
protected:
    void SetUp() override
    {
        if (!QFile::exists(kSrecCat))
            GTEST_SKIP() << "srec_cat (package srecord) is not installed";
    }

    // Runs srec_cat; the text it wrote to stderr goes to `errors`.
    bool SrecCat(const QStringList& args, std::string& errors) { return Run(kSrecCat, args, errors); }
    bool Run(const char* program, const QStringList& args, std::string& errors)
    {
        QProcess process;
        process.start(program, args);
        if (!process.waitForFinished(120000))
            return false;
        errors = process.readAllStandardError().toStdString();
        return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }

    Bytes LoadOurs(const std::string& path, const std::string& offset = "0")
    {
        CBufferModel model;
        LoadRequest request;
        request.fileOffsetText = offset;
        const LoadResult r = ReadMainBufferFile(model, path, GetFormatPattern(path), request);
        EXPECT_TRUE(r.readOk);
        EXPECT_TRUE(r.boxes.empty()) << r.boxes[0].text;
        EXPECT_EQ(r.problemCount, 0) << r.question;
        for (const auto& line : r.log)
            ADD_FAILURE() << line;
        return model.Buffer(0);
    }

    tonrig::test::ScopedSettingsFile m_settings;
    ScratchDir m_dir;
};

TEST_F(SrecCatConformance, FilesWrittenBySrecCatLoadToTheSameBytes)
{
    const struct Case {
        const char* name;
        std::vector<Piece> pieces;
    } cases[] = {
        { "gaps and a 64 KB boundary", { { 0, 0x1234 }, { 0x2000, 0x10 }, { 0xFFF3, 0x40 }, { 0x1FFFF, 1 } } },
        { "past 1 MB", { { 0x100, 0x20000 }, { 0xFFFF8, 0x20 }, { 0x123457, 0x999 } } },
        { "16 MB image", { { 0, 0x10000 }, { 0x800000, 0x123 }, { 0xFFFF00, 0x100 } } },
        { "16 MB dense", { { 0, 0x1000000 } } },
    };
    std::uint32_t seed = 1;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes image;
        QStringList inputs;
        int n = 0;
        for (const Piece& piece : c.pieces) {
            const Bytes bytes = Random(piece.length, seed++);
            if (image.size() < piece.offset + piece.length)
                image.resize(piece.offset + piece.length, 0xFF);
            std::copy(bytes.begin(), bytes.end(), image.begin() + piece.offset);
            const std::string path = m_dir.Write("piece" + std::to_string(n++) + ".bin", bytes);
            inputs << QString::fromStdString(path) << "-binary"
                   << "-offset" << QString::number(piece.offset);
        }
        for (const char* format : { "-intel", "-motorola" }) {
            SCOPED_TRACE(format);
            const std::string out = m_dir.Path(std::string("srec_cat") + (format[1] == 'i' ? ".hex" : ".s"));
            std::string errors;
            ASSERT_TRUE(SrecCat(inputs + QStringList { "-o", QString::fromStdString(out), format }, errors)) << errors;
            const Bytes loaded = LoadOurs(out);
            ASSERT_EQ(loaded.size(), image.size());
            EXPECT_TRUE(loaded == image);
        }
    }
}

TEST_F(SrecCatConformance, EveryFormOfBothToolsLoadsByteExact)
{
    const bool objcopy = QFile::exists(kObjcopy);
    const Bytes image = Random(0x30123, 77); // past two 64 KB boundaries, a short last record
    const std::string bin = m_dir.Write("image.bin", image);
    const QString in = QString::fromStdString(bin);
    const struct Form {
        const char* tool;
        const char* file;
        QStringList args; // `in` and the output file are filled in
        const char* offset = "0";
    } forms[] = {
        { kSrecCat, "sc.hex", { "-binary", "-o", "@", "-intel" } },
        { kSrecCat, "sc255.hex", { "-binary", "-o", "@", "-intel", "-obs=255" } },
        { kSrecCat, "sc.s", { "-binary", "-o", "@", "-motorola" } },
        { kSrecCat, "sc.s28", { "-binary", "-o", "@", "-motorola", "-address-length=3" } },
        { kSrecCat, "sc.s37", { "-binary", "-o", "@", "-motorola", "-address-length=4", "-obs=64" } },
        { kObjcopy, "oc.hex", { "-I", "binary", "-O", "ihex", "#", "@" } },
        { kObjcopy, "oc.srec", { "-I", "binary", "-O", "srec", "#", "@" } },
        { kObjcopy, "oc.s19", { "-I", "binary", "-O", "srec", "--srec-forceS3", "--srec-len=64", "#", "@" } },
        // An image linked far from zero, with its start address (type 05, S7) as objcopy writes
        // them for every ELF; the File Offset moves it down.
        { kObjcopy, "elf.hex", { "--set-start", "0x08000123", "-O", "ihex", "%", "@" }, "-8000000" },
        { kObjcopy, "elf.mot", { "--set-start", "0x08000123", "-O", "srec", "%", "@" }, "F8000000" },
    };
    const std::string elf = m_dir.Path("image.elf");
    std::string errors;
    if (objcopy) {
        ASSERT_TRUE(Run(kObjcopy,
            { "-I", "binary", "-O", "elf32-little", "--change-addresses", "0x08000000", in,
                QString::fromStdString(elf) },
            errors))
            << errors;
    }
    for (const Form& form : forms) {
        SCOPED_TRACE(form.file);
        if (form.tool == kObjcopy && !objcopy)
            continue;
        const std::string out = m_dir.Path(form.file);
        QStringList args;
        if (form.tool == kSrecCat)
            args << in;
        for (const QString& arg : form.args)
            args << (arg == "@"  ? QString::fromStdString(out)
                    : arg == "#" ? in
                    : arg == "%" ? QString::fromStdString(elf)
                                 : arg);
        ASSERT_TRUE(Run(form.tool, args, errors)) << errors;
        const Bytes loaded = LoadOurs(out, form.offset);
        ASSERT_EQ(loaded.size(), image.size());
        EXPECT_TRUE(loaded == image);
    }
}

TEST_F(SrecCatConformance, FilesWeWriteReadBackThroughSrecCat)
{
    const struct Case {
        const char* name;
        std::size_t size;
    } cases[] = {
        { "small.hex", 1000 },
        { "seg.hex", 0x10010 },
        { "near1mb.hex", 0xFFFF0 },
        { "linear.hex", 0x100010 },
        { "big.hex", 0x1000000 },
        { "small.s", 1000 },
        { "s3.s", 0x10001 },
        { "big.s", 0x1000000 },
    };
    std::uint32_t seed = 100;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CBufferModel model;
        model.Buffer(0) = Random(c.size, seed++);
        const std::string path = m_dir.Path(c.name);
        ASSERT_TRUE(SaveBuffer(model, 0, path, CBufferDeviceParams {}).saved);
        const bool hex = FormatFromPattern(GetFormatPattern(path)) == FileFormat::IntelHex;
        const std::string bin = m_dir.Path("back.bin");
        std::string errors;
        ASSERT_TRUE(SrecCat({ QString::fromStdString(path), hex ? "-intel" : "-motorola", "-o",
                                QString::fromStdString(bin), "-binary" },
            errors))
            << errors;
        EXPECT_EQ(errors.find("checksum"), std::string::npos) << errors;
        EXPECT_EQ(errors.find("error"), std::string::npos) << errors;
        const std::string back = ScratchDir::Read(bin);
        ASSERT_EQ(back.size(), c.size);
        EXPECT_TRUE(std::equal(back.begin(), back.end(), model.Buffer(0).begin(),
            [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }));
    }
}

} // namespace
