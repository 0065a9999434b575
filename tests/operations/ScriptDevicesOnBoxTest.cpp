// A script's device commands on the program's own view against the virtual programmer, with the
// shipped device lists: a production script, the failures that stop a script at their line,
// stopping, a line's end at the end of the whole run, the setup order, and the last session.

#include "operations/ui/TonrigView.h"

#include "app/VirtualSocket.h"
#include "buffer/ui/FileOptionsDlg.h"
#include "catalogue/DeviceClassTable.h"
#include "catalogue/DeviceLibrary.h"
#include "catalogue/DeviceLists.h"
#include "link/ProgrammerCommand.h"
#include "operations/CommandChannelPump.h"
#include "operations/DeviceSetup.h"
#include "operations/LastSession.h"
#include "operations/OperationControl.h"
#include "operations/ScriptFlags.h"
#include "operations/ui/BufferCommands.h"
#include "operations/ui/PumpController.h"
#include "operations/ui/View2Header.h"
#include "operations/ui/ViewSetup.h"
#include "platform/Folders.h"
#include "platform/TextFormat.h"
#include "shell/Language.h"
#include "shell/RegistryKey.h"
#include "shell/ui/ProgressDlg.h"

#include "TapChannel.h"
#include "ScriptViewFixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>

#include <fstream>
#include <functional>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using tonrig::test::Count;
using tonrig::test::Pattern;
using tonrig::test::ProcessEventsUntil;
using tonrig::test::TapChannel;
using tonrig::test::TapViewChannel;

namespace {

constexpr const char* kFlash = "SST27SF512"; // class 176, 64 KB
constexpr const char* kEprom = "AM27C256"; // 32 KB
constexpr const char* kPic = "PIC16F628A"; // class 313, with EEPROM

std::vector<std::uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
}

// Intel HEX of `bytes` from address 0 (below 64 KB), 16 bytes a record.
std::string HexText(const std::vector<std::uint8_t>& bytes)
{
    std::string text;
    for (std::size_t at = 0; at < bytes.size(); at += 16) {
        const std::size_t n = std::min<std::size_t>(16, bytes.size() - at);
        unsigned sum = static_cast<unsigned>(n) + (at >> 8 & 0xFF) + (at & 0xFF);
        text += platform::Format(":%02X%04X00", static_cast<unsigned>(n), static_cast<unsigned>(at));
        for (std::size_t i = 0; i < n; ++i) {
            text += platform::Format("%02X", bytes[at + i]);
            sum += bytes[at + i];
        }
        text += platform::Format("%02X\r\n", (0x100 - (sum & 0xFF)) & 0xFF);
    }
    return text + ":00000001FF\r\n";
}

class ScriptDevicesOnBox : public tonrig::test::ScriptViewFixture {
protected:
    ScriptDevicesOnBox()
        : ScriptViewFixture({ .version = "ZV-C Re-2.00" })
    {
    }
    void SetUp() override
    {
        ViewOnBoxFixture::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(dir.isValid());
        const QString folder = QString::fromStdString(GetAppDataFolder());
        for (const char* name : { "/devices.txt", "/devicesQ8U.txt", "/customdevices.txt" })
            QFile::remove(folder + name);
        SetShippedDeviceListSource({});
        LoadDeviceLists(true);
        ASSERT_NE(g_DeviceLibrary.FindDevice(kFlash), nullptr);
        CheckOnly();
        g_pMainView = view.get();
        g_bScriptCommandDone = false;
        TapViewChannel(*view, pumpChannel, tap);
    }
    // `action` on the GUI thread when the pump sends its first write packet; the pump waits for it.
    void OnFirstWrite(std::function<void()> action)
    {
        auto fired = std::make_shared<bool>(false);
        tap->Reset([this, fired, action](std::uint8_t code, int) {
            if (code != P_WRITE_OK || *fired)
                return;
            *fired = true;
            platform::send(action);
        });
    }
    void TearDown() override
    {
        g_pMainView = nullptr;
        ViewOnBoxFixture::TearDown();
        g_DeviceLibrary.FreeAll();
        g_PreviousDevice = CDeviceClass();
        g_bScriptFailed = false;
    }

    void RunScript(const std::string& text, const std::function<void()>& during = {})
    {
        view->StartScriptThread(Write("s.zvs", text), {});
        if (during)
            during();
        ASSERT_TRUE(ProcessEventsUntil([&] { return ScriptEnded(); }, 120s)) << Log();
        ASSERT_TRUE(ProcessEventsUntil([&] { return Idle() && !view->ScriptBusy(); }, 60s)) << Log();
        Flush();
    }
    // Runs one line as typed and waits for its end.
    bool RunLine(const std::string& line)
    {
        bool ended = false;
        bool ok = false;
        view->ExecuteScriptLine(line, CTonrigView::ScriptSource::Typed, [&](bool result) {
            ended = true;
            ok = result;
        });
        EXPECT_TRUE(ProcessEventsUntil([&] { return ended && Idle() && !view->ScriptBusy(); }, 60s)) << Log();
        return ok;
    }
    // A chip of the named device in the socket, as the program's virtual socket seats it; the
    // current device is left as it was.
    sim::Chip& InsertFor(const std::string& name, const std::function<void(sim::ChipSpec&)>& adjust = {})
    {
        const CDeviceClass current = g_CurrentDevice;
        const CDeviceClass previous = g_PreviousDevice;
        const int index = SelectDeviceByName(name);
        EXPECT_GE(index, 0) << name;
        std::optional<sim::ChipSpec> facts = ChipSpecForDevice(g_CurrentDevice, index);
        g_CurrentDevice = current;
        g_PreviousDevice = previous;
        EXPECT_TRUE(facts.has_value());
        facts->vppRuleOff = true;
        facts->pic.deviceIdAddress.reset();
        if (adjust)
            adjust(*facts);
        std::lock_guard lock(box->Mutex());
        return box->ChipSocket().Insert(std::move(*facts));
    }
    void SetChip(const std::vector<std::uint8_t>& bytes, sim::ChipMemory memory = sim::ChipMemory::Main)
    {
        std::lock_guard lock(box->Mutex());
        box->ChipSocket().Get()->Contents(memory) = bytes;
    }
    std::optional<int> Image()
    {
        std::lock_guard lock(box->Mutex());
        return box->RunningImage();
    }
    // Each part found after the one before.
    static ::testing::AssertionResult InOrder(const std::string& log, const std::vector<std::string>& parts)
    {
        std::size_t at = 0;
        for (const std::string& part : parts) {
            const std::size_t found = log.find(part, at);
            if (found == std::string::npos)
                return ::testing::AssertionFailure() << "\"" << part << "\" missing or out of order in\n" << log;
            at = found + part.size();
        }
        return ::testing::AssertionSuccess();
    }

    std::unique_ptr<CommandChannelPump> pumpChannel;
    std::unique_ptr<TapChannel> tap;
};

TEST_F(ScriptDevicesOnBox, TheProductionScriptProgramsTheChipAndSavesWhatItReads)
{
    InsertFor(kFlash);
    SetChip(Pattern(0x10000, 9)); // an old program, which the erase clears
    const std::vector<std::uint8_t> data = Pattern(0x10000, 3);
    Write("data.hex", HexText(data));
    RunScript("DEVICE SST27SF512\r\n"
              "LOAD data.hex\r\n"
              "ERASE\r\n"
              "BLANKCHECK\r\n"
              "WRITE\r\n"
              "VERIFY\r\n"
              "READ\r\n"
              "SAVE out.bin\r\n"
              "LOG the end\r\n");
    const std::string log = Log();
    EXPECT_EQ(log.find("Script stopped"), std::string::npos) << log;
    EXPECT_TRUE(InOrder(log,
        { "DEVICE SST27SF512\n", "LOAD data.hex\n", "ERASE\n", "Erase completed.", "BLANKCHECK\n", "Chip is blank",
            "WRITE\n", "Device write completed", "VERIFY\n", "Device is verified", "READ\n", "Read completed.",
            "SAVE out.bin\n", "the end\n" }));
    EXPECT_TRUE(Chip() == data);
    EXPECT_TRUE(view->m_CodeBuffer == data);
    EXPECT_TRUE(ReadBytes(Path("out.bin")) == data);
    EXPECT_EQ(g_CurrentDevice.m_strName, kFlash);
    EXPECT_EQ(boxes.Count(), 0u) << ::testing::PrintToString(BoxTexts());
}

TEST_F(ScriptDevicesOnBox, AFailureStopsTheScriptAtItsLine)
{
    const std::vector<std::uint8_t> data = Pattern(0x10000, 3);
    Write("data.hex", HexText(data));
    // The same file with the checksum of its second line broken.
    std::string damaged = HexText(data);
    const std::size_t secondEnd = damaged.find('\r', damaged.find('\n') + 1);
    damaged[secondEnd - 1] = damaged[secondEnd - 1] == '0' ? '1' : '0';
    Write("bad.hex", damaged);
    struct Case {
        const char* name;
        std::string lines; // after "LOG begin"; the last one fails
        int failingLine;
        std::function<void(sim::ChipSpec&)> chip;
        std::string expected; // in the log or a box
        bool cancelDuringWrite = false;
        bool programmed = false; // the chip holds a program
    };
    const Case cases[] = {
        { "READ with no device selected", "READ", 2, {}, g_Language.GetText(81) },
        { "an unknown device", "DEVICE NO-SUCH-CHIP", 2, {}, "Device not found!" },
        { "a device whose setup fails", "DEVICE AT89C51(ZIF)", 2, {}, "Error 1011!" },
        { "LOAD of a missing file", "DEVICE SST27SF512\nLOAD missing.hex", 3, {}, "missing.hex" },
        // No one answers the question about a damaged file: it is not loaded.
        { "LOAD of a damaged file", "DEVICE SST27SF512\nLOAD bad.hex", 3, {},
            "1 bad record in bad.hex, at line 2 (checksum). Nothing was loaded." },
        { "an erase answering [1]", "DEVICE SST27SF512\nERASE", 3,
            [](sim::ChipSpec& c) { c.conditions.eraseFails = true; }, "" },
        { "a blank check of a programmed chip", "DEVICE SST27SF512\nBLANKCHECK", 3, {}, "Blank check failed", false,
            true },
        { "a write failure at 0x0400", "DEVICE SST27SF512\nLOAD data.hex\nWRITE", 4,
            [](sim::ChipSpec& c) { c.conditions.failAt = { 0x400 }; }, "Write failed, Address=0x000400" },
        { "a byte flipped before VERIFY", "DEVICE SST27SF512\nLOAD data.hex\nWRITE\nVERIFY", 5,
            [](sim::ChipSpec& c) {
                c.conditions.flipAfterWrite.push_back({ sim::ChipMemory::Main, 0x1234, 0x01 });
            },
            "Verify" },
        { "a device offset beyond the chip", "DEVICE SST27SF512\nLOAD data.hex\nOFFSET DEVICE 10000\nWRITE", 5, {},
            g_Language.GetText(80) },
        { "Cancel during WRITE", "DEVICE SST27SF512\nLOAD data.hex\nWRITE", 4, {}, "", true },
        { "a WRITE of a JTAG part", "DEVICE EPM7064S\nWRITE", 3, {},
            "JTAG devices are programmed from the JTAG Programming dialog." },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        view->MessageLog().clear();
        boxes.Clear();
        QFile::remove(QString::fromStdString(Path("out.bin")));
        g_nCurrentClass = kNoDeviceClass;
        g_CurrentDevice = CDeviceClass();
        header->SetDeviceOffsetText("0");
        InsertFor(kFlash, c.chip);
        if (c.programmed)
            SetChip(Pattern(0x10000, 5));
        tap->Reset();
        if (c.cancelDuringWrite) {
            OnFirstWrite([this] {
                auto* cancel = view->ProgressDlg().findChild<QPushButton*>();
                ASSERT_NE(cancel, nullptr);
                cancel->click();
            });
        }
        RunScript("LOG begin\n" + c.lines + "\nSAVE out.bin\nLOG after\n");
        const std::string log = Log();
        EXPECT_EQ(Count(log, platform::Format("Script stopped at line %d.", c.failingLine)), 1u) << log;
        EXPECT_EQ(Count(log, "Script stopped"), 1u) << log;
        EXPECT_EQ(log.find("after"), std::string::npos) << log;
        EXPECT_FALSE(QFile::exists(QString::fromStdString(Path("out.bin"))));
        if (!c.expected.empty()) {
            bool found = log.find(c.expected) != std::string::npos;
            for (const auto& b : boxes.Boxes())
                found = found || b.text.find(c.expected) != std::string::npos;
            EXPECT_TRUE(found) << c.expected << "\n" << log << ::testing::PrintToString(BoxTexts());
        }
        EXPECT_FALSE(g_bScriptRunning);
    }
}

// A script's LOAD of a JAM or STAPL source ends with its compile: the next line waits for the
// compiler, and a failed compile stops the script at the LOAD.
TEST_F(ScriptDevicesOnBox, AJamLoadEndsWithItsCompile)
{
    const std::string compiler = Write("compiler.sh",
        "#!/bin/sh\n"
        "sleep 0.3\n"
        "case \"$1\" in\n"
        "  *bad*) echo 'syntax error at line 1' >&2; exit 1 ;;\n"
        "esac\n"
        "echo compiled > \"$2\"\n");
    QFile::setPermissions(QString::fromStdString(compiler), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    {
        CRegistryKey key;
        key.Create(HKEY_CURRENT_USER, "Software\\Zelvo USB Programmer\\Settings");
        key.Open(HKEY_CURRENT_USER, "Software\\Zelvo USB Programmer\\Settings");
        key.WriteString(CBufferCommands::kCompilerValue, compiler);
    }
    Write("chip.jam", "ACTION;");
    Write("bad.jam", "ACTION");
    const std::string output = GetAppDataFolder() + "/tmp.jbc";

    RunScript("LOAD chip.jam\nLOG after\n");
    EXPECT_TRUE(InOrder(Log(), { " " + Path("chip.jam") + " " + output + ".", "after" }));
    EXPECT_EQ(Log().find("Script stopped"), std::string::npos) << Log();
    EXPECT_EQ(view->Buffers().m_strLoadedFileName, output);

    view->MessageLog().clear();
    RunScript("LOAD bad.jam\nLOG after\n");
    EXPECT_TRUE(
        InOrder(Log(), { "The compiler ended with code 1:", "syntax error at line 1", "Script stopped at line 1." }));
    EXPECT_EQ(Log().find("after"), std::string::npos) << Log();
    EXPECT_EQ(view->Buffers().m_strLoadedFileName, "");
    EXPECT_FALSE(g_bScriptRunning);

    // An output that cannot be made (a folder in its place): nothing is compiled, and the LOAD fails.
    QDir().mkpath(QString::fromStdString(output + "/blocked"));
    view->MessageLog().clear();
    boxes.Clear();
    RunScript("LOAD chip.jam\nLOG after\n");
    EXPECT_TRUE(InOrder(Log(), { "Script stopped at line 1." })) << Log();
    EXPECT_EQ(Log().find("after"), std::string::npos) << Log();
    std::size_t shown = 0;
    for (const auto& box : boxes.Boxes())
        shown += box.text == "Couldn't create the file!\n" + output;
    EXPECT_EQ(shown, 1u) << ::testing::PrintToString(BoxTexts());
    EXPECT_EQ(view->Buffers().m_strLoadedFileName, "");
    EXPECT_FALSE(g_bScriptRunning);
    QDir(QString::fromStdString(output)).removeRecursively();
}

TEST_F(ScriptDevicesOnBox, StopAndStopScriptDuringAWrite)
{
    InsertFor(kFlash);
    RunScript("DEVICE SST27SF512\nLOG a\nSTOP\nLOG b\n");
    EXPECT_TRUE(InOrder(Log(), { "a\n", "STOP\n" }));
    EXPECT_EQ(Log().find("b\n"), std::string::npos) << Log();
    EXPECT_EQ(Log().find("Script stopped"), std::string::npos) << Log();

    // Esc during a write: the write runs to its end, nothing after it runs, and the log names the
    // line the script was on.
    view->MessageLog().clear();
    const std::vector<std::uint8_t> data = Pattern(0x10000, 4);
    Write("data.hex", HexText(data));
    OnFirstWrite([this] { view->OnStopScript(); });
    RunScript("LOAD data.hex\nWRITE\nLOG after\n");
    EXPECT_NE(Log().find("Device write completed"), std::string::npos) << Log();
    EXPECT_TRUE(Chip() == data);
    EXPECT_EQ(Log().find("after"), std::string::npos) << Log();
    EXPECT_EQ(Count(Log(), "Script stopped"), 1u) << Log();
    EXPECT_EQ(LineColour("Script stopped at line 2."), CTonrigView::kLogError) << Log();
}

TEST_F(ScriptDevicesOnBox, AWalkEndsItsLineAfterTheConfigurationWords)
{
    InsertFor(kPic);
    ASSERT_TRUE(RunLine("DEVICE PIC16F628A"));
    ASSERT_EQ(g_nCurrentClass, 313);
    const CPicConfigInfo& pic = *g_CurrentDevice.m_pPicConfig;
    // A program, EEPROM data and configuration words, saved as one HEX file.
    std::vector<std::uint8_t> code = Pattern(view->m_CodeBuffer.size(), 6);
    for (std::size_t i = 0; i < code.size(); i += 2)
        code[i] &= sim::PicHighMask(pic.m_nCoreBits);
    view->m_CodeBuffer = code;
    view->m_DataBuffer = Pattern(view->m_DataBuffer.size(), 8);
    g_CurrentDevice.m_pPicConfig->m_ConfigValue[0] = 0x30;
    g_CurrentDevice.m_pPicConfig->m_ConfigValue[1] = 0x3F;
    g_CurrentDevice.m_pPicConfig->m_bConfigSupplied = true;
    ASSERT_TRUE(view->BufferCommands().SaveTo(Path("pic.hex"), {}));
    const std::vector<std::uint8_t> data = view->m_DataBuffer;
    view->m_CodeBuffer.assign(view->m_CodeBuffer.size(), 0);
    view->m_DataBuffer.assign(view->m_DataBuffer.size(), 0);
    view->MessageLog().clear();

    RunScript("DEVICE PIC16F628A\nLOAD pic.hex\nWRITE\nLOG mark\nVERIFY\nLOG end\n");
    const std::string log = Log();
    EXPECT_EQ(log.find("Script stopped"), std::string::npos) << log;
    // The walk's last line is the configuration words': "mark" comes after it.
    EXPECT_TRUE(
        InOrder(log, { "WRITE\n", g_Language.GetText(157), "mark\n", "VERIFY\n", "Device is verified", "end\n" }));
    EXPECT_EQ(Count(log, "mark\n"), 1u);
    EXPECT_TRUE(view->m_CodeBuffer == code);
    EXPECT_TRUE(view->m_DataBuffer == data);
    EXPECT_TRUE(Chip(sim::ChipMemory::Data) == data);
    EXPECT_EQ(boxes.Count(), 0u) << ::testing::PrintToString(BoxTexts());
}

TEST_F(ScriptDevicesOnBox, ADoubleWriteEndsItsLineAfterTheSecondPass)
{
    InsertFor(kFlash, [](sim::ChipSpec& c) {
        c.conditions.weak.push_back(sim::WeakBits::NeedsTwoPasses(sim::ChipMemory::Main, 0x80));
    });
    const std::vector<std::uint8_t> data(0x10000, 0x00);
    Write("zero.bin", std::string(data.begin(), data.end()));
    // Whether "mark" came while the run still had a step to go.
    bool markWhileWriting = false;
    QObject::connect(&view->MessageLog(), &QTextEdit::textChanged, view.get(), [&] {
        if (!markWhileWriting && Log().find("mark\n") != std::string::npos)
            markWhileWriting = view->Control().ArmedTimer() != 0 || view->Pump().Running();
    });
    RunScript("DEVICE SST27SF512\nCHECKBOX DOUBLE WRITE\nLOAD zero.bin\nWRITE\nLOG mark\nVERIFY\n");
    const std::string log = Log();
    EXPECT_EQ(log.find("Script stopped"), std::string::npos) << log;
    EXPECT_FALSE(markWhileWriting) << "the next line ran between the passes";
    const std::size_t mark = log.find("mark\n");
    ASSERT_NE(mark, std::string::npos) << log;
    // Only the second pass reports; the weak cells hold only after it.
    EXPECT_EQ(Count(log.substr(0, mark), "Device write completed"), 1u) << log;
    EXPECT_TRUE(InOrder(log, { "mark\n", "Device is verified" }));
    EXPECT_TRUE(Chip() == data);
}

TEST_F(ScriptDevicesOnBox, AReadAfterDeviceRunsOnTheDevicesImage)
{
    // The images A and B run.
    InsertFor(kFlash);
    ASSERT_TRUE(RunLine(std::string("DEVICE ") + kFlash));
    const std::optional<int> imageA = Image();
    ASSERT_TRUE(RunLine(std::string("DEVICE ") + kEprom));
    const std::optional<int> imageB = Image();
    ASSERT_TRUE(imageA && imageB);
    ASSERT_NE(*imageA, *imageB);

    // A's chip answers only A's algorithm: a read before A's setup would read 0x00.
    InsertFor(kFlash, [&](sim::ChipSpec& c) { c.conditions.gateImage = *imageA; });
    const std::vector<std::uint8_t> a = Pattern(0x10000, 11);
    SetChip(a);
    view->MessageLog().clear();
    RunScript(std::string("DEVICE ") + kFlash + "\nREAD\n");
    EXPECT_EQ(Log().find("Script stopped"), std::string::npos) << Log();
    EXPECT_TRUE(view->m_CodeBuffer == a);

    // DEVICE A, DEVICE B, READ reads B.
    InsertFor(kEprom, [&](sim::ChipSpec& c) { c.conditions.gateImage = *imageB; });
    const std::vector<std::uint8_t> b = Pattern(0x8000, 12);
    SetChip(b);
    RunScript(std::string("DEVICE ") + kFlash + "\nDEVICE " + kEprom + "\nREAD\n");
    EXPECT_EQ(g_CurrentDevice.m_strName, kEprom);
    EXPECT_TRUE(view->m_CodeBuffer == b);
}

TEST_F(ScriptDevicesOnBox, AMenuReadDuringAWaitLeavesTheWaitRunning)
{
    InsertFor(kFlash);
    ASSERT_TRUE(RunLine(std::string("DEVICE ") + kFlash));
    SetChip(Pattern(0x10000, 2));
    view->MessageLog().clear();
    view->StartScriptThread(Write("w.zvs", "LOG s1\nWAIT 3\nLOG s2\n"), {});
    ASSERT_TRUE(ProcessEventsUntil([&] { return view->IsTimerArmed(CTonrigView::kTimerScriptWait); }));
    view->OnDeviceRead();
    ASSERT_TRUE(
        ProcessEventsUntil([&] { return Log().find(g_Language.GetText(57)) != std::string::npos && Idle(); }, 60s))
        << Log();
    EXPECT_TRUE(view->IsTimerArmed(CTonrigView::kTimerScriptWait)) << "the read ended the wait";
    EXPECT_EQ(Log().find("s2"), std::string::npos);
    ASSERT_TRUE(ProcessEventsUntil([&] { return ScriptEnded(); }, 20s));
    Flush();
    EXPECT_EQ(Count(Log(), "s1\n"), 1u) << Log();
    EXPECT_EQ(Count(Log(), "s2\n"), 1u) << Log();
    EXPECT_TRUE(view->m_CodeBuffer == Pattern(0x10000, 2));
}

class LastSessionOnBox : public ScriptDevicesOnBox {
protected:
    static void Store(const std::string& device, const std::string& file)
    {
        CRegistryKey key(HKEY_CURRENT_USER);
        key.Create(HKEY_CURRENT_USER, kLastSessionKey);
        key.Open(HKEY_CURRENT_USER, kLastSessionKey);
        key.WriteString("LastDevice", device);
        key.WriteString("LastOpenedFileName", file);
    }
    void RunLastSession()
    {
        view->LoadLastSession();
        ASSERT_TRUE(ProcessEventsUntil([&] { return Idle() && !view->ScriptBusy(); }, 60s)) << Log();
        Flush();
    }
};

TEST_F(LastSessionOnBox, TheStoredDeviceIsSetUpThenItsFileLoads)
{
    InsertFor(kFlash);
    const std::vector<std::uint8_t> data = Pattern(0x10000, 13);
    const std::string file = Write("LAST.HEX", HexText(data));
    Store("sst27sf512", file);
    RunLastSession();
    const std::string log = Log();
    EXPECT_EQ(g_CurrentDevice.m_strName, kFlash);
    EXPECT_EQ(view->DeviceSetupOwner().FieldText(kFieldDevice), std::string("Device: ") + kFlash);
    EXPECT_TRUE(view->m_CodeBuffer == data) << "the HEX name reads as Intel HEX into the device's buffer";
    EXPECT_EQ(view->m_strFileName, file);
    EXPECT_EQ(Count(log, "DEVICE sst27sf512\n"), 1u) << log;
    EXPECT_EQ(Count(log, "Load " + file + "\n"), 1u) << log;
    EXPECT_TRUE(InOrder(log, { "DEVICE sst27sf512\n", "Load " + file + "\n" }));
    EXPECT_EQ(log.find("Unknown command."), std::string::npos);
}

// The next start takes the device last set up, by a DEVICE line as by any other path, and the
// file last loaded with success, by File Open or by a script's LOAD: a file that was refused (a JAM
// source without its compile, a file that is not there) is not remembered.
TEST_F(LastSessionOnBox, TheNextStartTakesTheLastDeviceAndTheLastFileLoadedWithSuccess)
{
    Store("", "");
    const std::vector<std::uint8_t> data = Pattern(0x8000, 21);
    const std::string good = Write("good.hex", HexText(data));
    const std::string jam = Write("chip.jam", "ACTION;");
    const std::string compiler = Write("compiler.sh", "#!/bin/sh\necho 'syntax error at line 1' >&2\nexit 1\n");
    QFile::setPermissions(QString::fromStdString(compiler), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const auto setCompiler = [](const std::string& program) {
        CRegistryKey key;
        key.Open(HKEY_CURRENT_USER, "Software\\Zelvo USB Programmer\\Settings");
        key.WriteString(CBufferCommands::kCompilerValue, program);
    };
    std::string chosen;
    view->BufferCommands().SetOpenFileChooser([&](const std::string&, const std::string&) {
        return CBufferCommands::FileChoice { chosen, {} };
    });
    view->BufferCommands().SetOptionsRunner([](CFileOptionsDlg& dialog) {
        dialog.accept();
        return true;
    });
    const auto fileOpen = [&](const std::string& file) {
        chosen = file;
        view->OnFileOpen();
        ASSERT_TRUE(ProcessEventsUntil([&] { return !view->BufferCommands().CompileRunning(); }));
    };
    // The next start, with another device current and other bytes in the buffer.
    const auto nextStart = [&](const std::string& file, const std::vector<std::uint8_t>& bytes) {
        SelectDeviceByName(kFlash);
        std::fill(view->m_CodeBuffer.begin(), view->m_CodeBuffer.end(), 0x00);
        view->MessageLog().clear();
        RunLastSession();
        const std::string log = Log();
        EXPECT_TRUE(InOrder(log,
            { std::string("DEVICE ") + kEprom + "\n", std::string("Device: ") + kEprom + "\n",
                "Load " + file + "\n" }));
        EXPECT_EQ(Count(log, "Load "), 1u) << log;
        EXPECT_EQ(g_CurrentDevice.m_strName, kEprom);
        EXPECT_TRUE(view->m_CodeBuffer == bytes) << log;
    };

    ASSERT_TRUE(RunLine(std::string("DEVICE ") + kFlash));
    RunScript(std::string("DEVICE ") + kEprom + "\n");
    fileOpen(good);
    ASSERT_TRUE(view->m_CodeBuffer == data) << Log();
    const struct {
        const char* name;
        std::string file;
        std::string compiler;
        const char* said;
    } refusals[] = {
        { "a JAM source without a compiler", jam, "", "No JAM/STAPL compiler is configured" },
        { "a JAM source whose compile fails", jam, compiler, "The compiler ended with code 1:" },
        { "a file that is not there", Path("gone.bin"), "", "" },
    };
    for (const auto& r : refusals) {
        SCOPED_TRACE(r.name);
        setCompiler(r.compiler);
        view->MessageLog().clear();
        fileOpen(r.file);
        ASSERT_NE(Log().find(r.said), std::string::npos) << Log();
        nextStart(good, data);
    }

    const std::vector<std::uint8_t> other = Pattern(0x8000, 22);
    const std::string second = Write("second.hex", HexText(other));
    RunScript("LOAD second.hex\n");
    nextStart(second, other);
}

// A programmer plugged in after the user has edited the buffers: the last session would replace
// them unasked, so it does not run, and the log says so once.
TEST_F(LastSessionOnBox, EditedBuffersAreKeptAndTheLogSaysWhy)
{
    ASSERT_TRUE(RunLine(std::string("DEVICE ") + kEprom));
    const std::string file = Write("LAST.HEX", HexText(Pattern(0x10000, 13)));
    view->m_strFileName.clear();
    ASSERT_TRUE(RunLine("FILL 5A"));
    ASSERT_TRUE(view->Buffers().IsModified(buffer::kMainBuffer));
    const std::vector<std::uint8_t> edited = view->m_CodeBuffer;
    for (const char* device : { "sst27sf512", "" }) {
        SCOPED_TRACE(*device ? "a device and a file" : "a file alone");
        Store(device, file);
        view->MessageLog().clear();
        RunLastSession();
        EXPECT_EQ(Log(), std::string(kLastSessionSkippedLine) + "\n");
        EXPECT_EQ(LineColour(kLastSessionSkippedLine), CTonrigView::kLogNote);
        EXPECT_EQ(g_CurrentDevice.m_strName, kEprom);
        EXPECT_TRUE(view->m_CodeBuffer == edited);
        EXPECT_TRUE(view->Buffers().IsModified(buffer::kMainBuffer));
        EXPECT_TRUE(view->m_strFileName.empty());
    }
}

TEST_F(LastSessionOnBox, UnknownDeviceFileAloneAndNothingStored)
{
    const std::string file = Write("only.bin", std::string(16, '\x5A'));
    Store("NO-SUCH-CHIP", file);
    RunLastSession();
    EXPECT_NE(Log().find("DEVICE NO-SUCH-CHIP\nDevice not found!\n"), std::string::npos) << Log();
    EXPECT_TRUE(view->m_strFileName.empty());
    EXPECT_EQ(Log().find("Load "), std::string::npos);

    view->MessageLog().clear();
    Store("", file);
    RunLastSession();
    EXPECT_EQ(view->m_strFileName, file);
    EXPECT_EQ(Log().find("DEVICE"), std::string::npos);
    EXPECT_EQ(Count(Log(), "Load " + file + "\n"), 1u) << Log();
    EXPECT_EQ(view->m_CodeBuffer[0], 0x5A);

    view->MessageLog().clear();
    view->m_strFileName.clear();
    Store("", "");
    RunLastSession();
    EXPECT_EQ(Log(), "");
    EXPECT_TRUE(view->m_strFileName.empty());
}

} // namespace
