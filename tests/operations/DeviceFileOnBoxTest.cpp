// A PIC's description file as the view loads it: which file, what the current device keeps of
// it, and a setup against the virtual programmer that takes sizes, ID and configuration defaults
// from the shipped files.

#include "operations/ui/TonrigView.h"

#include "app/VirtualSocket.h"
#include "catalogue/DeviceClassTable.h"
#include "catalogue/DeviceLists.h"
#include "controls/ui/RichEditCtrlExtend.h"
#include "operations/DeviceSetup.h"
#include "operations/ui/BufferCommands.h"
#include "operations/ui/ConfigGrid.h"
#include "operations/ui/ViewSetup.h"
#include "platform/Folders.h"
#include "platform/ui/QtServices.h"
#include "sim/Box.h"
#include "support/TestEnvironment.h"
#include "support/TextEncodings.h"
#include "support/Unprivileged.h"

#include "ViewOnBoxFixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextBlock>

#include <gtest/gtest.h>

#include <optional>

using namespace std::chrono_literals;
using tonrig::test::Count;
using tonrig::test::ProcessEventsUntil;

namespace {

constexpr int kPic14 = 313;
constexpr int kPic18 = 321;

const char* const kFourteenBit = "pgmmem (region=0x0-0x3FF)\n"
                                 "eedata (region=0x0-0x3F)\n"
                                 "cfgmem (region=0x2007-0x2007)\n"
                                 "latches(pgm=4 eedata=2 cfg=3)\n"
                                 "devid (idmask=0x3FE0 id=0x1234)\n"
                                 "cfgbits (key=CONFIG addr=0x2007 unused=0x3F00)\n"
                                 "field (key=FOSC mask=0x3 desc=\"Oscillator\" init=0x1)\n"
                                 "setting (req=0x3 value=0x1 desc=\"XT\")\n"
                                 "field (key=CP mask=0xC0 desc=\"Code\")\n";

class DeviceFileOnBox : public tonrig::test::ViewOnBoxFixture {
protected:
    DeviceFileOnBox()
        : ViewOnBoxFixture({ .version = "ZV-C Re-2.00" })
    {
    }
    void SetUp() override
    {
        ViewOnBoxFixture::SetUp();
        m_devices = QString::fromStdString(GetAppDataFolder() + "/devices");
        QDir(m_devices).removeRecursively();
        QDir().mkpath(m_devices);
    }
    void TearDown() override
    {
        QDir(m_devices).removeRecursively();
        ViewOnBoxFixture::TearDown();
    }
    bool Idle() const override { return ViewOnBoxFixture::Idle() && g_bSetupIdle.load() == 1; }
    // The colour of the log line that reads `text`, or white when there is none.
    COLORREF LineColour(const std::string& text) const
    {
        for (QTextBlock b = view->MessageLog().document()->begin(); b.isValid(); b = b.next())
            if (b.text().toStdString() == text && b.begin() != b.end())
                return platform::FromQColor(b.begin().fragment().charFormat().foreground().color());
        return RGB(255, 255, 255);
    }

    void WriteDevice(const QString& name, const std::string& text)
    {
        QFile file(m_devices + "/" + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text.data(), static_cast<qint64>(text.size()));
    }
    void Current(int index, const std::string& name)
    {
        g_nCurrentClass = index;
        g_CurrentDevice = g_DeviceClassTable[static_cast<std::size_t>(index)];
        g_CurrentDevice.m_strName = name;
    }
    CPicConfigInfo& Pic() { return *g_CurrentDevice.m_pPicConfig; }
    std::vector<std::uint8_t> DescriptorWords()
    {
        return { Pic().m_ConfigValue.begin(), Pic().m_ConfigValue.begin() + Pic().m_nConfigBytes };
    }
    void RunToEnd()
    {
        ASSERT_TRUE(ProcessEventsUntil([&] { return Idle(); }, 60s)) << Log();
        EXPECT_EQ(g_nOperationState, kStateIdle) << Log();
    }

    QString m_devices;
};

TEST_F(DeviceFileOnBox, TheFileIsNamedAfterTheDeviceUpToItsFirstStarOrBlank)
{
    WriteDevice("TESTPIC.dev", kFourteenBit);
    for (const char* name : { "TESTPIC", "TESTPIC*X", "TESTPIC B" }) {
        SCOPED_TRACE(name);
        Current(kPic14, name);
        EXPECT_TRUE(view->LoadDeviceFile());
        EXPECT_EQ(g_CurrentDevice.m_strDeviceFile, "TESTPIC.dev");
        EXPECT_EQ(g_CurrentDevice.m_strId, "1234");
    }
    // A record's upper-cased name finds the file in another case.
    WriteDevice("MixedCase.dev", kFourteenBit);
    Current(kPic14, "OTHER");
    g_CurrentDevice.m_strDeviceFile = "MIXEDCASE.DEV";
    EXPECT_TRUE(view->LoadDeviceFile());
    EXPECT_EQ(g_CurrentDevice.m_strId, "1234");
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(DeviceFileOnBox, AFileThatCannotBeReadIsABoxAndLoadsNothing)
{
    struct Row {
        const char* name;
        const char* deviceFile;
        std::string shownPath;
        const char* nameAfter;
    };
    const std::string folder = GetAppDataFolder() + "/devices/";
    for (const Row& row : { Row { "NOFILE", "", folder + "NOFILE.dev", "" },
             Row { "TESTPIC", "../x.dev", folder + "../x.dev", "../x.dev" } }) {
        SCOPED_TRACE(row.name);
        boxes.Clear();
        Current(kPic14, row.name);
        g_CurrentDevice.m_strDeviceFile = row.deviceFile;
        const std::string idBefore = g_CurrentDevice.m_strId;
        EXPECT_FALSE(view->LoadDeviceFile());
        ASSERT_EQ(
            BoxTexts(), (std::vector<std::string> { "File open error: " + row.shownPath + " device file | Tonrig" }));
        EXPECT_EQ(g_CurrentDevice.m_strDeviceFile, row.nameAfter);
        EXPECT_EQ(g_CurrentDevice.m_strId, idBefore);
        EXPECT_FALSE(Pic().m_bConfigSupplied);
        EXPECT_EQ(view->ConfigGrid().Description().WordCount(), 0);
    }
    // A device without a PIC descriptor never looks for one.
    boxes.Clear();
    Current(200, "27C256");
    EXPECT_FALSE(view->LoadDeviceFile());
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_TRUE(g_CurrentDevice.m_strDeviceFile.empty());
}

TEST_F(DeviceFileOnBox, NarrowCoresKeepTheirClassLatchesAndOddCodeSizes)
{
    WriteDevice("TESTPIC.dev", kFourteenBit);
    // Below the PIC18 classes the latches are the class's, and a code size that is not a
    // multiple of 64 stays.
    Current(kPic14, "TESTPIC");
    g_CurrentDevice.m_nCodeSize = 4096;
    ASSERT_TRUE(view->LoadDeviceFile());
    EXPECT_EQ(g_CurrentDevice.m_nCodeSize, 2048);
    EXPECT_EQ(Pic().m_nProgramLatch, 1);
    EXPECT_EQ(Pic().m_nDataLatch, 1);
    EXPECT_EQ(g_CurrentDevice.m_nDataSize, 64);

    Current(kPic14, "TESTPIC");
    g_CurrentDevice.m_nCodeSize = 1000;
    ASSERT_TRUE(view->LoadDeviceFile());
    EXPECT_EQ(g_CurrentDevice.m_nCodeSize, 1000);

    // A PIC18 class keeps what the file gives.
    WriteDevice("TEST18.dev",
        "pgmmem (region=0x0-0x3FFF)\nlatches(pgm=16 eedata=2 cfg=3)\n"
        "cfgmem (region=0x300000-0x30000D)\n"
        "cfgbits (key=CONFIG1H addr=0x300001 unused=0x0)\n"
        "field (key=FOSC mask=0xF desc=\"Oscillator\" init=0x2)\n"
        "cfgbits (key=CONFIG2H addr=0x300003 unused=0xE0)\n"
        "field (key=WDT mask=0x1F desc=\"Watchdog\")\n");
    Current(kPic18, "TEST18");
    g_CurrentDevice.m_nCodeSize = 1000;
    ASSERT_TRUE(view->LoadDeviceFile());
    EXPECT_EQ(g_CurrentDevice.m_nCodeSize, 0x4000);
    EXPECT_EQ(Pic().m_nProgramLatch, 16);
    EXPECT_EQ(Pic().m_nConfigLatch, 3);
    // PIC18 bytes by address, present only where a word stands.
    EXPECT_EQ(Pic().m_ConfigValue[1], 0x02);
    EXPECT_EQ(Pic().m_ConfigValue[3], 0xFF);
    EXPECT_EQ(Pic().m_ConfigPresent[1], 1);
    EXPECT_EQ(Pic().m_ConfigPresent[2], 0);
    EXPECT_TRUE(Pic().m_bConfigSupplied);
}

TEST_F(DeviceFileOnBox, TheFilesWordsBecomeTheDevicesUnlessSomeoneSuppliedOthers)
{
    WriteDevice("TESTPIC.dev", kFourteenBit);
    Current(kPic14, "TESTPIC");
    Pic().m_ConfigValue[0] = Pic().m_ConfigValue[1] = 0;
    ASSERT_TRUE(view->LoadDeviceFile());
    // 0x3F00 unused, CP 0xC0 set, FOSC 1: the word in bytes 0 (low) and 1 (high).
    EXPECT_EQ(DescriptorWords(), (std::vector<std::uint8_t> { 0xC1, 0x3F }));
    EXPECT_EQ(Pic().m_ConfigPresent[0] + Pic().m_ConfigPresent[1], 2);
    EXPECT_TRUE(Pic().m_bConfigSupplied);

    // A reload over supplied words keeps them, and the records follow.
    Pic().m_ConfigValue[0] = 0x42;
    Pic().m_ConfigValue[1] = 0x3F;
    ASSERT_TRUE(view->LoadDeviceFile());
    EXPECT_EQ(DescriptorWords(), (std::vector<std::uint8_t> { 0x42, 0x3F }));
    EXPECT_EQ(view->ConfigGrid().Description().Word(0).m_nValue, 0x3F42);
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(DeviceFileOnBox, AFileThatGivesNoWordIsNamedAndTheBuiltInOneTakesItsPlace)
{
    using tonrig::test::Encode;
    using tonrig::test::TextEncoding;
    std::string utf32;
    for (char c : std::string(kFourteenBit))
        utf32 += std::string(1, c) + std::string(3, '\0');
    enum Kind { Written, Folder, NoPermission };
    struct Row {
        const char* name;
        QByteArray bytes;
        bool read; // the file's own words, else the built-in description's
        Kind kind = Written;
        const char* recordsFile = ""; // else named after the device
    };
    const Row rows[] = {
        { "UTF-16LE", Encode(kFourteenBit, TextEncoding::Utf16Le), true },
        { "UTF-16BE", Encode(kFourteenBit, TextEncoding::Utf16Be), true },
        { "UTF-16LE with a mark", Encode(kFourteenBit, TextEncoding::Utf16LeMarked), true },
        { "UTF-16BE with a mark", Encode(kFourteenBit, TextEncoding::Utf16BeMarked), true },
        { "UTF-8 with a mark", Encode(kFourteenBit, TextEncoding::Utf8Marked), true },
        { "empty", "", false },
        { "NUL bytes", QByteArray(512, '\0'), false },
        { "NUL bytes between the characters", QByteArray::fromStdString(utf32), false },
        { "no configuration word", "pgmmem (region=0x0-0x3FF)\ncfgmem (region=0x2007-0x2007)\n", false },
        { "a folder in its place", "", false, Folder },
        { "a folder in its place, named by the record", "", false, Folder, "PIC16F628A.dev" },
        // Last: the child gives the test's folders away.
        { "not to be read by the user", kFourteenBit, false, NoPermission },
    };
    const std::string path = GetAppDataFolder() + "/devices/PIC16F628A.dev";
    const std::string builtIn
        = "Description file " + path + " is empty or unreadable; the built-in description is used.";
    const auto check = [&](const Row& row) {
        Current(kPic14, "PIC16F628A");
        g_CurrentDevice.m_strDeviceFile = row.recordsFile;
        ASSERT_TRUE(view->LoadDeviceFile());
        EXPECT_EQ(g_CurrentDevice.m_strId, row.read ? "1234" : "1060");
        EXPECT_EQ(g_CurrentDevice.m_nDataSize, row.read ? 64 : 128);
        EXPECT_EQ(DescriptorWords(),
            row.read ? (std::vector<std::uint8_t> { 0xC1, 0x3F }) : (std::vector<std::uint8_t> { 0xFF, 0x3F }));
        EXPECT_TRUE(Pic().m_bConfigSupplied);
        EXPECT_GT(view->ConfigGrid().Description().WordCount(), 0);
        if (row.read) {
            EXPECT_EQ(Count(Log(), "Description file"), 0u) << Log();
        } else {
            EXPECT_EQ(Count(Log(), builtIn), 1u) << Log();
            EXPECT_EQ(LineColour(builtIn), CTonrigView::kLogError);
        }
        EXPECT_TRUE(boxes.Boxes().empty()) << ::testing::PrintToString(BoxTexts());
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        view->MessageLog().clear();
        const QString file = QString::fromStdString(path);
        QFile::remove(file);
        QDir(file).removeRecursively();
        if (row.kind == Folder) {
            ASSERT_TRUE(QDir().mkdir(file));
        } else {
            WriteDevice("PIC16F628A.dev", row.bytes.toStdString());
        }
        if (row.kind != NoPermission) {
            check(row);
            continue;
        }
        ASSERT_TRUE(QFile::setPermissions(file, {}));
        EXPECT_EXIT(
            {
                const tonrig::test::UnprivilegedChild child({ tonrig::test::IsolatedEnvironment::Root() });
                EXPECT_FALSE(QFile(file).open(QIODevice::ReadOnly));
                check(row);
                child.Exit();
            },
            testing::ExitedWithCode(0), "");
    }
}

TEST_F(DeviceFileOnBox, WithoutABuiltInDescriptionNothingOfTheDeviceChanges)
{
    // Null: a folder in the file's place.
    for (const char* text :
        { "", "pgmmem (region=0x0-0x3FF)\needata (region=0x0-0x7F)\ndevid (idmask=0x3FE0 id=0x1234)\n",
            static_cast<const char*>(nullptr) }) {
        SCOPED_TRACE(text ? text : "a folder");
        view->MessageLog().clear();
        if (text) {
            WriteDevice("TESTPIC.dev", text);
        } else {
            QFile::remove(m_devices + "/TESTPIC.dev");
            ASSERT_TRUE(QDir().mkdir(m_devices + "/TESTPIC.dev"));
        }
        Current(kPic14, "TESTPIC");
        g_CurrentDevice.m_nCodeSize = 4096;
        g_CurrentDevice.m_nDataSize = 128;
        const std::string idBefore = g_CurrentDevice.m_strId;
        const std::vector<std::uint8_t> wordsBefore = DescriptorWords();
        std::string refusal;
        EXPECT_FALSE(view->LoadDeviceFile(&refusal));
        const std::string line = "Description file " + GetAppDataFolder()
            + "/devices/TESTPIC.dev is empty or unreadable and TESTPIC has no built-in description; the device is not "
              "set up.";
        EXPECT_EQ(refusal, line);
        EXPECT_EQ(Count(Log(), line), 1u) << Log();
        EXPECT_EQ(LineColour(line), CTonrigView::kLogError);
        EXPECT_EQ(g_CurrentDevice.m_nCodeSize, 4096);
        EXPECT_EQ(g_CurrentDevice.m_nDataSize, 128);
        EXPECT_EQ(g_CurrentDevice.m_strId, idBefore);
        EXPECT_EQ(DescriptorWords(), wordsBefore);
        EXPECT_FALSE(Pic().m_bConfigSupplied);
        EXPECT_EQ(view->ConfigGrid().Description().WordCount(), 0);
    }
    EXPECT_TRUE(boxes.Boxes().empty());
}

// ---- the shipped files, end to end ----

class ShippedDeviceFileOnBox : public DeviceFileOnBox {
protected:
    void SetUp() override
    {
        DeviceFileOnBox::SetUp();
        InstallShippedDeviceLists();
    }
    void SetUpDevice(int index, const std::string& name, int recordCode, int recordData)
    {
        g_nCurrentClass = kNoDeviceClass;
        g_CurrentDevice = g_DeviceClassTable[static_cast<std::size_t>(index)];
        g_CurrentDevice.m_strName = name;
        g_CurrentDevice.m_nCodeSize = recordCode;
        g_CurrentDevice.m_nDataSize = recordData;
        std::optional<sim::ChipSpec> chip = ChipSpecForDevice(g_CurrentDevice, index);
        ASSERT_TRUE(chip);
        chip->pic.deviceIdAddress.reset();
        chip->vppRuleOff = true;
        {
            std::lock_guard lock(box->Mutex());
            box->ChipSocket().Insert(std::move(*chip));
        }
        view->StartDeviceSetup(index, 1, 1, 1);
        RunToEnd();
        ASSERT_EQ(g_nCurrentClass, index) << Log();
    }
};

TEST_F(ShippedDeviceFileOnBox, APic18TakesItsSizesIdAndDefaultsFromItsFile)
{
    SetUpDevice(323, "PIC18F452", 32768, 256);
    EXPECT_EQ(g_CurrentDevice.m_nCodeSize, 32768);
    EXPECT_EQ(g_CurrentDevice.m_nDataSize, 256);
    EXPECT_EQ(g_CurrentDevice.m_strId, "0420");
    EXPECT_EQ(Pic().m_nIdMask, 0xFFE0);
    EXPECT_EQ(Pic().m_nConfigBytes, 14);
    EXPECT_TRUE(Pic().m_bConfigSupplied);
    // The datasheet's unprogrammed values; the bytes that are not implemented stay 0.
    EXPECT_EQ(DescriptorWords(),
        (std::vector<std::uint8_t> {
            0x00, 0x27, 0x0F, 0x0F, 0x00, 0x01, 0x85, 0x00, 0x0F, 0xC0, 0x0F, 0xE0, 0x0F, 0xFF }));
    EXPECT_EQ(view->m_CodeBuffer.size(), 32768u);
    EXPECT_EQ(view->m_DataBuffer.size(), 256u);
    EXPECT_TRUE(view->DeviceSetupOwner().GridLoaded());
    EXPECT_TRUE(boxes.Boxes().empty()) << ::testing::PrintToString(BoxTexts());
}

TEST_F(ShippedDeviceFileOnBox, ABinFileWrittenToA14BitPicProgramsTheFilesConfigurationWord)
{
    SetUpDevice(kPic14, "PIC16F628A", 4096, 128);
    EXPECT_EQ(g_CurrentDevice.m_nCodeSize, 4096);
    EXPECT_EQ(g_CurrentDevice.m_nDataSize, 128);
    EXPECT_EQ(g_CurrentDevice.m_strId, "1060");
    EXPECT_EQ(DescriptorWords(), (std::vector<std::uint8_t> { 0xFF, 0x3F }));
    EXPECT_EQ(view->m_DataBuffer.size(), 128u);

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("program.bin");
    std::vector<std::uint8_t> program(4096);
    for (std::size_t i = 0; i < program.size(); i += 2) {
        program[i] = static_cast<std::uint8_t>((i / 2) >> 8 & 0x3F);
        program[i + 1] = static_cast<std::uint8_t>(i / 2);
    }
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(reinterpret_cast<const char*>(program.data()), static_cast<qint64>(program.size()));
    }
    view->OpenFileByName(path.toStdString());
    ASSERT_EQ(view->m_CodeBuffer, program) << Log();

    view->OnDeviceWrite();
    RunToEnd();
    EXPECT_EQ(Count(Log(), "Write Completed"), 1u) << Log();
    EXPECT_EQ(Count(Log(), "Configuration words not written"), 0u) << Log();
    {
        std::lock_guard lock(box->Mutex());
        sim::Chip& chip = *box->ChipSocket().Get();
        const auto at = chip.LocateWord(chip.Facts().pic.configWordAddress);
        ASSERT_TRUE(at);
        const std::vector<std::uint8_t>& memory = chip.Contents(at->first);
        EXPECT_EQ(memory[at->second], 0x3F) << "the class zeros (code protection on) reached the chip";
        EXPECT_EQ(memory[at->second + 1], 0xFF);
    }
    view->OnDeviceVerify();
    RunToEnd();
    EXPECT_EQ(Count(Log(), "Device is verified"), 1u) << Log();
    EXPECT_TRUE(boxes.Boxes().empty()) << ::testing::PrintToString(BoxTexts());
}

TEST_F(ShippedDeviceFileOnBox, AnEmptyFileSetsThePicUpFromTheBuiltInDescription)
{
    WriteDevice("PIC16F628A.dev", "");
    SetUpDevice(kPic14, "PIC16F628A", 4096, 128);
    const std::string line = "Description file " + GetAppDataFolder()
        + "/devices/PIC16F628A.dev is empty or unreadable; the built-in description is used.";
    EXPECT_EQ(Count(Log(), line), 1u) << Log();
    EXPECT_EQ(LineColour(line), CTonrigView::kLogError);
    EXPECT_EQ(g_CurrentDevice.m_nDataSize, 128);
    EXPECT_EQ(DescriptorWords(), (std::vector<std::uint8_t> { 0xFF, 0x3F }));
    EXPECT_TRUE(Pic().m_bConfigSupplied);
    EXPECT_EQ(view->m_DataBuffer.size(), 128u);
    EXPECT_TRUE(view->DeviceSetupOwner().GridLoaded());
    EXPECT_TRUE(view->DeviceSetupOwner().Setup().NotReadyReason().empty());
    // The file is the user's: it stays as it is.
    EXPECT_EQ(QFileInfo(m_devices + "/PIC16F628A.dev").size(), 0);
    EXPECT_TRUE(boxes.Boxes().empty()) << ::testing::PrintToString(BoxTexts());
}

TEST_F(ShippedDeviceFileOnBox, WithoutABuiltInDescriptionTheSetupEndsAndOperationsSayWhy)
{
    SetUpDevice(323, "PIC18F452", 32768, 256);
    const std::vector<std::uint8_t> code = view->m_CodeBuffer;
    WriteDevice("TESTPIC.dev", "");
    SetUpDevice(kPic14, "TESTPIC", 4096, 128);
    const std::string line = "Description file " + GetAppDataFolder()
        + "/devices/TESTPIC.dev is empty or unreadable and TESTPIC has no built-in description; the device is not set "
          "up.";
    EXPECT_EQ(Count(Log(), "Device: TESTPIC"), 1u) << Log();
    EXPECT_EQ(Count(Log(), line), 1u) << Log();
    EXPECT_EQ(LineColour(line), CTonrigView::kLogError);
    EXPECT_EQ(view->DeviceSetupOwner().Setup().NotReadyReason(), line);
    EXPECT_EQ(view->DeviceSetupOwner().FieldText(kFieldStatus), line);
    // Nothing is sized for the device: the buffers are the last device's.
    EXPECT_EQ(view->m_CodeBuffer, code);
    EXPECT_EQ(view->m_DataBuffer.size(), 256u);
    EXPECT_FALSE(view->DeviceSetupOwner().GridLoaded());
    EXPECT_EQ(view->ConfigGrid().Description().WordCount(), 0);
    EXPECT_FALSE(Pic().m_bConfigSupplied);
    EXPECT_TRUE(boxes.Boxes().empty()) << ::testing::PrintToString(BoxTexts());

    view->OnDeviceWrite();
    RunToEnd();
    EXPECT_EQ(BoxTexts(), (std::vector<std::string> { line + " | Tonrig" }));
    EXPECT_EQ(Count(Log(), "Write Completed"), 0u) << Log();

    // The setup again after a replug reads no file: the device stays refused all the same.
    view->StartDeviceSetup(kPic14, 1, 1, 0);
    RunToEnd();
    EXPECT_EQ(view->DeviceSetupOwner().Setup().NotReadyReason(), line);
    EXPECT_EQ(view->m_CodeBuffer, code);
}

} // namespace
