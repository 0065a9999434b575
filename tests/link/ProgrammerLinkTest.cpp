// The programmer link against the virtual programmer: opening and modes, firmware loads end to
// end, the RAM a download writes, class and firmware files, the EZ-USB path on an AN21xx board,
// the library's path, and the trace.

#include "LinkFixture.h"

#include "link/ProgrammerModel.h"
#include "platform/Event.h"
#include "sim/FaultPlan.h"
#include "support/VirtualUsb.h"
#include "tools/mkfwimage/FirmwareImage.h"
#include "transport/FirmwareTransform.h"

using namespace std::chrono_literals;
using namespace tonrig::test;
using platform::usb::UsbStatus;
using sim::Fault;
using sim::FaultAction;

namespace {

std::string ClassFile(int number, const std::string& name = "CLASS")
{
    return mkfwimage::MakeClassFile(name, FirmwareHex(number));
}

// --- open and modes

TEST_F(LinkTest, WithoutAProgrammerOpenFailsAndModeZeroPaysItsRetries)
{
    EXPECT_FALSE(g_ProgrammerLink.Open());
    EXPECT_EQ(g_nUsbChipType.load(), 0);
    EXPECT_EQ(g_nTransportMode.load(), 0);

    const auto start = clock->Now();
    const std::uint8_t packet[1] = { P_VERSION };
    g_ProgrammerLink.SendData(packet, 1);
    EXPECT_EQ(g_ProgrammerLink.LastStatus(), UsbStatus::NoDevice);
    EXPECT_EQ(clock->Now() - start, 51 * 50ms);
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text,
        "USB device error! \r\n You need close the software and unplug the programmer restart again");
    EXPECT_EQ(boxes.Boxes()[0].caption, platform::kAppTitle);

    // The loss has been told: ten failing reads add no box.
    boxes.Clear();
    std::uint8_t reply[64];
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(g_ProgrammerLink.ReadData(reply, 64), 0);
    EXPECT_EQ(boxes.Count(), 0u);

    const auto result = g_ProgrammerLink.LoadFirmwareIfReady(355);
    EXPECT_TRUE(result);
    EXPECT_EQ(result.outcome, FirmwareLoadResult::NoProgrammer);
}

TEST_F(LinkTest, ReadsWithoutAProgrammerShowOneBoxPerLoss)
{
    std::uint8_t reply[64];
    for (int i = 0; i < 10; ++i)
        g_ProgrammerLink.ReadData(reply, 64);
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, "USB read failed. Error # = 4. \r\nYou need restart the software and hardware.");
}

TEST_F(LinkTest, OpenTakesTheBoxOnceAndProbesItWithoutIo)
{
    Plug();
    ASSERT_TRUE(g_ProgrammerLink.Open());
    EXPECT_EQ(g_nTransportMode.load(), 2);
    EXPECT_EQ(g_nUsbChipType.load(), 2);
    const int opens = box->Port()->OpenCount();
    const auto transfers = box->Transfers();
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(g_ProgrammerLink.Open());
    EXPECT_EQ(box->Port()->OpenCount(), opens);
    EXPECT_EQ(box->Transfers(), transfers);

    // The named events of the EZ-USB driver exist, unsignalled, once the link is bound.
    for (const char* name : { "IN1READY", "IN4READY", "IN7READY", "IN1Got" })
        EXPECT_FALSE(platform::CreateNamedEvent(name)->IsSet()) << name;
}

TEST_F(LinkTest, UnplugEndsABlockedReadAndKeepsTheMode)
{
    Plug();
    ASSERT_TRUE(g_ProgrammerLink.LoadFirmwareIfReady(355));
    box->AddFault(Fault::AtTime(clock->Now() + 5ms, FaultAction::Unplug));
    std::uint8_t reply[64];
    const auto start = clock->Now();
    EXPECT_EQ(g_ProgrammerLink.ReadData(reply, 64), 0); // nothing asked: it would wait 20 s
    EXPECT_EQ(g_ProgrammerLink.LastStatus(), UsbStatus::NoDevice);
    EXPECT_LT(clock->Now() - start, 100ms);

    EXPECT_FALSE(g_ProgrammerLink.Open());
    EXPECT_EQ(g_nTransportMode.load(), 2);
    EXPECT_EQ(g_nUsbChipType.load(), 0);
}

TEST_F(LinkTest, ReplugGivesANewHandleThatNeedsANewDownload)
{
    Plug();
    ASSERT_TRUE(g_ProgrammerLink.LoadFirmwareIfReady(355));
    ASSERT_EQ(AskText(P_VERSION), "ZV-C Re-2.00");
    box->Port()->Replug();
    const int opens = box->Port()->OpenCount();
    EXPECT_TRUE(g_ProgrammerLink.Open());
    EXPECT_GT(box->Port()->OpenCount(), opens);
    EXPECT_FALSE(box->RunningImage());
    EXPECT_EQ(Ask({ P_VERSION }).size(), 0u);
    EXPECT_EQ(g_ProgrammerLink.LastStatus(), UsbStatus::NoDevice);
    ASSERT_TRUE(g_ProgrammerLink.LoadFirmwareIfReady(355));
    EXPECT_EQ(AskText(P_VERSION), "ZV-C Re-2.00");
}

TEST_F(LinkTest, ABusyProgrammerIsTriedTwiceASecondApartThenTheNextOne)
{
    Plug();
    box->Port()->SetBusy(true);
    const auto start = clock->Now();
    EXPECT_FALSE(g_ProgrammerLink.Open());
    EXPECT_EQ(clock->Now() - start, 1000ms);
    EXPECT_EQ(g_ProgrammerLink.OpenAttempts(), 2);

    // A second programmer further along the bus is taken when the first stays busy.
    auto busy = box;
    Plug();
    EXPECT_TRUE(g_ProgrammerLink.Open());
    EXPECT_EQ(box->Port()->OpenCount(), 1);
    busy->Port()->SetBusy(false);
}

// --- loads end to end

TEST_F(LinkTest, LoadFirmwareIfReadyRunsTheImageAndTellsItsNumber)
{
    sim::BoxConfig config;
    config.version = "ZV-CQ Re-1.10";
    Plug(config);
    const auto first = g_ProgrammerLink.LoadFirmwareIfReady(355);
    EXPECT_EQ(first.outcome, FirmwareLoadResult::Loaded);
    EXPECT_STREQ(first.Name(), "Loaded");
    EXPECT_EQ(AskText(P_VERSION), "ZV-CQ Re-1.10");

    ASSERT_TRUE(g_ProgrammerLink.LoadFirmwareIfReady(476));
    EXPECT_EQ(box->RunningImage(), 476);
    const auto id = Ask({ P_FIRMWARE_ID_GET });
    ASSERT_EQ(id.size(), 64u);
    EXPECT_EQ(id[0], 0x00);
    EXPECT_EQ(id[1], 0xDC); // only the low byte travels

    // LoadFirmware runs the image and sends no id.
    ASSERT_TRUE(g_ProgrammerLink.LoadFirmware(476));
    EXPECT_EQ(box->FirmwareId(), 0);
}

TEST_F(LinkTest, ABoxThatNeverReturnsFailsAfterTenSecondsAndGetsNoId)
{
    Plug();
    box->AddFault(Fault::OnTransfer(1, FaultAction::ReenumerationNever));
    const auto start = clock->Now();
    const auto result = g_ProgrammerLink.LoadFirmwareIfReady(355);
    EXPECT_EQ(result.outcome, FirmwareLoadResult::Failed);
    EXPECT_FALSE(result);
    EXPECT_GE(clock->Now() - start, 9s);
    EXPECT_LE(clock->Now() - start, 11s);
    EXPECT_TRUE(box->Recorded(P_FIRMWARE_ID_SET).empty());
}

TEST_F(LinkTest, DrainInputDropsAStaleReply)
{
    Plug();
    ASSERT_TRUE(g_ProgrammerLink.LoadFirmwareIfReady(355));
    const std::uint8_t serial[1] = { P_HW_SERIAL_NUMBER };
    g_ProgrammerLink.SendData(serial, 1); // its reply is never read
    EXPECT_EQ(g_ProgrammerLink.DrainInput(), 64u);
    EXPECT_EQ(g_ProgrammerLink.DrainInput(), 0u);
    EXPECT_EQ(AskText(P_VERSION), "ZV-C Re-2.00");
}

TEST_F(LinkTest, ExchangeTakesAShortTimeOut)
{
    Plug();
    ASSERT_TRUE(g_ProgrammerLink.LoadFirmwareIfReady(355));
    const std::uint8_t packet[2] = { P_STOP, 0 }; // no reply
    std::uint8_t reply[64];
    const auto start = clock->Now();
    EXPECT_EQ(g_ProgrammerLink.Exchange(packet, 2, reply, 64, 30), 0);
    EXPECT_EQ(g_ProgrammerLink.LastStatus(), UsbStatus::Timeout);
    EXPECT_LT(clock->Now() - start, 1s);
}

// --- what a download writes into the box's RAM

struct RamCase {
    const char* name;
    std::string hex;
    bool loads; // the download went through (the image is none of ours)
    std::vector<ControlWrite> writes; // after the CPUCS hold, before the release
    std::uint16_t probe; // a RAM address to look at
    std::uint8_t probeValue;
};

std::vector<std::uint8_t> Bytes(std::size_t n, std::uint8_t first)
{
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = static_cast<std::uint8_t>(first + i);
    return v;
}

std::vector<RamCase> RamCases()
{
    std::vector<RamCase> cases;
    {
        // 15 lines of 255 bytes and one of 270 - 255 = 15 fill a block to 4,095 bytes.
        std::string hex;
        std::uint16_t at = 0;
        for (int i = 0; i < 16; ++i) {
            const std::size_t n = i < 16 - 1 ? 255 : 270;
            for (std::size_t done = 0; done < n;) {
                const std::size_t k = std::min<std::size_t>(255, n - done);
                hex += HexLine(0, at, Bytes(k, 1));
                at = static_cast<std::uint16_t>(at + k);
                done += k;
            }
        }
        hex += HexLine(0, at, { 0xAA }); // would make 4,096
        hex += HexEnd();
        cases.push_back(
            { "merge to 4095, then a new block", hex, true, { { 0x0000, 4095 }, { 0x0FFF, 1 } }, 0x0FFE, 0x0F });
    }
    cases.push_back({ "a block across 0x4000 is cut there",
        HexLine(0, 0x3FE0, Bytes(16, 1)) + HexLine(0, 0x3FF0, Bytes(16, 1)) + HexLine(0, 0x4000, Bytes(16, 1))
            + HexEnd(),
        true, { { 0x3FE0, 32 } }, 0x3FFF, 16 });
    cases.push_back(
        { "data at 0xE000 is not written", HexLine(0, 0xE000, Bytes(16, 0x40)) + HexEnd(), true, {}, 0xE000, 0 });
    cases.push_back(
        { "a type-4 line is no data", HexLine(4, 0x0000, { 0x00, 0x00 }) + HexLine(0, 0x0100, Bytes(4, 9)) + HexEnd(),
            true, { { 0x0100, 4 } }, 0x0000, 0 });
    std::string bad = HexLine(0, 0x0000, Bytes(16, 1));
    bad[bad.size() - 3] = bad[bad.size() - 3] == '0' ? '1' : '0';
    cases.push_back({ "a bad checksum stops with the 8051 held", bad + HexEnd(), false, {}, 0x0000, 0 });
    return cases;
}

TEST_F(LinkTest, DownloadWritesOnlyWhatTheRamTakes)
{
    for (const RamCase& c : RamCases()) {
        SCOPED_TRACE(c.name);
        g_ProgrammerLink.ResetForTest(recorder);
        if (box)
            box->Port()->Unplug();
        Plug();
        recorder->Clear();
        const std::string path = WriteFile("fixture.hex", c.hex);
        ASSERT_TRUE(g_ProgrammerLink.Open());
        // None of these images is ours: the box runs it silently and the link waits in vain.
        EXPECT_FALSE(g_ProgrammerLink.LoadFirmwareFromFile(path));
        auto writes = recorder->Writes();
        ASSERT_GE(writes.size(), 1u);
        EXPECT_EQ(writes.front(), (ControlWrite { 0xE600, 1 }));
        if (c.loads) {
            EXPECT_EQ(writes.back(), (ControlWrite { 0xE600, 1 }));
            writes.erase(writes.begin());
            writes.pop_back();
            EXPECT_EQ(writes, c.writes);
            EXPECT_FALSE(box->Held());
            EXPECT_EQ(boxes.Count(), 0u);
        } else {
            EXPECT_EQ(writes.size(), 1u);
            EXPECT_TRUE(box->Held());
            ASSERT_EQ(boxes.Count(), 1u);
            EXPECT_EQ(boxes.Boxes()[0].text, "Error! Loading failed.");
        }
        EXPECT_EQ(box->ReadRam(c.probe, 1)[0], c.probeValue);
        boxes.Clear();
    }
}

// --- class files

TEST_F(LinkTest, ClassFilesUnder101BytesAreRefusedLongerOnesHandedOn)
{
    Plug();
    ASSERT_TRUE(g_ProgrammerLink.Open());
    recorder->Clear();
    EXPECT_FALSE(g_ProgrammerLink.LoadClassFile(WriteFile("small.cls", std::string(100, 'x'))));
    EXPECT_TRUE(recorder->Writes().empty());
    EXPECT_FALSE(g_ProgrammerLink.LoadClassFile(WriteFile("short.cls", std::string(101, 'x'))));
    EXPECT_FALSE(recorder->Writes().empty()); // handed to the back end, which refused the text
    EXPECT_TRUE(box->Held());
    EXPECT_FALSE(g_ProgrammerLink.LoadClassFile(MissingFile("none.cls")));
}

TEST_F(LinkTest, ClassFileRunsInModeTwoWhateverItsHeaderHolds)
{
    Plug();
    ASSERT_TRUE(g_ProgrammerLink.Open());
    std::string file = ClassFile(355);
    std::memset(file.data() + 8, ':', 16); // the header is never read
    ASSERT_TRUE(g_ProgrammerLink.LoadClassFile(WriteFile("a.cls", file)));
    EXPECT_EQ(box->RunningImage(), 355);
    EXPECT_EQ(AskText(P_VERSION), "ZV-C Re-2.00");
}

TEST_F(LinkTest, ClassFileRunsInModeOneThroughTheLibrary)
{
    SetEnv("TONRIG_TRANSPORT", "vexlink");
    Plug();
    ASSERT_TRUE(g_ProgrammerLink.Open());
    EXPECT_EQ(g_nTransportMode.load(), 1);
    EXPECT_EQ(g_nUsbChipType.load(), 2);
    ASSERT_TRUE(g_ProgrammerLink.LoadClassFile(WriteFile("a.cls", ClassFile(355))));
    EXPECT_EQ(box->RunningImage(), 355);
    EXPECT_EQ(AskText(P_VERSION), "ZV-C Re-2.00");
}

// --- firmware files (mode 2)

TEST_F(LinkTest, FirmwareFilesByExtension)
{
    Plug();
    ASSERT_TRUE(g_ProgrammerLink.Open());
    const std::string hex = FirmwareHex(355);
    struct Case {
        std::string path;
        bool loads;
        const char* box;
    };
    const std::vector<Case> cases = {
        { WriteFile("x.bin", hex), false, "Error! Only .Hex firmware can be loaded." },
        { MissingFile("x.hex"), false, "Error! The .Hex firmware can not be loaded." },
        { WriteFile("x.HEX", hex), true, nullptr },
        { WriteFile("x.enc", firmware::Transform(hex)), true, nullptr },
        { MissingFile("y.enc"), false, "Error! The .enc file can not be loaded." },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        boxes.Clear();
        EXPECT_EQ(g_ProgrammerLink.LoadFirmwareFromFile(c.path), c.loads);
        if (c.box) {
            ASSERT_EQ(boxes.Count(), 1u);
            EXPECT_EQ(boxes.Boxes()[0].text, c.box);
        } else {
            EXPECT_EQ(boxes.Count(), 0u);
            EXPECT_EQ(AskText(P_VERSION), "ZV-C Re-2.00");
        }
    }

    box->AddFault(Fault::OnA0Address(0x0000, FaultAction::Stall));
    boxes.Clear();
    EXPECT_FALSE(g_ProgrammerLink.LoadFirmwareFromFile(WriteFile("z.hex", hex)));
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, "Error! Loading failed.");
    EXPECT_TRUE(box->Held());
}

// --- mode 0 on an AN21xx board

TEST_F(LinkTest, ModeZeroDrivesAnAn21xxBoard)
{
    PlugAn21xx();
    EXPECT_FALSE(g_ProgrammerLink.Open()); // not the FX2 back end's vendor
    EXPECT_EQ(g_nTransportMode.load(), 0);
    ASSERT_TRUE(g_ProgrammerLink.LoadFirmware(355));
    EXPECT_EQ(box->RunningImage(), 355);
    EXPECT_EQ(AskText(P_VERSION), "ZV-C Re-2.00");
    // The device stays open between transfers.
    const int opens = box->Port()->OpenCount();
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(AskText(P_HW_SERIAL_NUMBER), "ZV00000001");
    EXPECT_EQ(box->Port()->OpenCount(), opens);
    EXPECT_EQ(box->InEndpoint(), 0x82);
    EXPECT_EQ(box->CpucsAddress(), 0x7F92);
    EXPECT_EQ(boxes.Count(), 0u);

    ASSERT_TRUE(g_ProgrammerLink.LoadClassFile(WriteFile("a.cls", ClassFile(355))));
    EXPECT_EQ(AskText(P_VERSION), "ZV-C Re-2.00");

    // Reset8051 holds the 8051 in modes 0 and 2.
    EXPECT_TRUE(g_ProgrammerLink.Reset8051());
    EXPECT_TRUE(box->Held());
}

TEST_F(LinkTest, ModeZeroDownloadFailuresHaveTheirBoxes)
{
    PlugAn21xx();
    struct Case {
        const char* name;
        int image;
        std::optional<Fault> fault;
        const char* box;
    };
    const std::vector<Case> cases = {
        { "hold refused", 355, Fault::OnA0Address(0x7F92, FaultAction::Stall), "Firmware send error #01." },
        { "segment refused", 355, Fault::OnA0Address(0x0000, FaultAction::Stall), "Firmware send error #03." },
        { "no such image", 9999, std::nullopt, "Firmware not found." },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        boxes.Clear();
        if (c.fault)
            box->AddFault(*c.fault);
        EXPECT_FALSE(g_ProgrammerLink.LoadFirmware(c.image));
        ASSERT_EQ(boxes.Count(), 1u);
        EXPECT_EQ(boxes.Boxes()[0].text, c.box);
    }
}

TEST_F(LinkTest, ModeZeroNeverSendsAPartlySentPacketTwice)
{
    PlugAn21xx();
    ASSERT_TRUE(g_ProgrammerLink.LoadFirmware(355));
    const auto before = box->BytesReceived();
    box->AddFault(Fault::OnCode(P_TEST, FaultAction::PartialOut).Bytes(32));
    std::vector<std::uint8_t> packet(64, 0);
    packet[0] = P_TEST;
    packet[1] = 1;
    g_ProgrammerLink.SendData(packet.data(), 64);
    EXPECT_EQ(g_ProgrammerLink.LastStatus(), UsbStatus::Timeout);
    EXPECT_EQ(box->BytesReceived() - before, 32u);
    g_ProgrammerLink.DrainInput();
}

// --- mode 1: the library

TEST_F(LinkTest, ModeOneOpensLoadsAndPulsesTheResetThroughTheLibrary)
{
    SetEnv("TONRIG_TRANSPORT", "vexlink");
    Plug();
    ASSERT_TRUE(g_ProgrammerLink.Open());
    EXPECT_EQ(g_nTransportMode.load(), 1);
    ASSERT_TRUE(g_ProgrammerLink.LoadFirmwareIfReady(355));
    EXPECT_EQ(AskText(P_VERSION), "ZV-C Re-2.00");
    EXPECT_TRUE(box->Recorded(P_FIRMWARE_ID_SET).empty());
    EXPECT_TRUE(g_ProgrammerLink.Open());

    const int boots = box->Boots();
    EXPECT_TRUE(g_ProgrammerLink.Reset8051());
    EXPECT_FALSE(box->Held());
    clock->Advance(1s);
    EXPECT_EQ(box->Boots(), boots + 1); // the pulse started the image again
}

TEST_F(LinkTest, ResetHoldsTheEightyFiftyOneInModeTwo)
{
    EXPECT_FALSE(g_ProgrammerLink.Open());
    g_nTransportMode = 2;
    EXPECT_FALSE(g_ProgrammerLink.Reset8051());
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, "No USB Devices connected.");

    Plug();
    ASSERT_TRUE(g_ProgrammerLink.LoadFirmwareIfReady(355));
    EXPECT_FALSE(box->Held());
    EXPECT_TRUE(g_ProgrammerLink.Reset8051());
    EXPECT_TRUE(box->Held());
}

TEST_F(LinkTest, ResetForTestRestoresTheStartState)
{
    Plug();
    ASSERT_TRUE(g_ProgrammerLink.Open());
    g_nProgrammerModel = kModelZvD;
    g_ProgrammerLink.ResetForTest(recorder);
    EXPECT_EQ(g_nTransportMode.load(), 0);
    EXPECT_EQ(g_nUsbChipType.load(), 0);
    EXPECT_EQ(g_nProgrammerModel.load(), kModelZvC);
}

// --- trace

TEST_F(LinkTest, TraceNamesEachPacketAndDumpsEachReply)
{
    sim::BoxConfig config;
    config.strict = false; // codes it does not know are protocol errors
    Plug(config);
    ASSERT_TRUE(g_ProgrammerLink.LoadFirmwareIfReady(355));
    std::string trace;
    std::mutex mutex;
    platform::SetTraceSink([&](const std::string& text) {
        std::lock_guard lock(mutex);
        trace += text;
    });
    for (std::uint8_t code : { 2, 121, 134, 255 }) {
        const std::uint8_t packet[1] = { code };
        g_ProgrammerLink.SendData(packet, 1);
    }
    g_ProgrammerLink.DrainInput();
    std::vector<std::uint8_t> test = { P_TEST, 0, 0, 0, 0, 20, 0 };
    g_ProgrammerLink.SendData(test.data(), static_cast<int>(test.size()));
    std::uint8_t reply[20];
    EXPECT_EQ(g_ProgrammerLink.ReadData(reply, 20), 20);
    platform::SetTraceSink({});

    for (const char* line : { "->[***P_VERSION***]\n and sending 1 bytes and 1 bytes sent successfully.\n",
             "->[***0x79***]\n", "->[***0x86***]\n", "->[***0xFF***]\n",
             "->[***P_TEST***]\n and sending 7 bytes and 7 bytes sent successfully.\n",
             " and 20 bytes read, RequestedSize=20\n0000 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F \n0010 10 11 "
             "12 13 \n" })
        EXPECT_NE(trace.find(line), std::string::npos) << line << "\n--- trace:\n" << trace;
}

} // namespace

TEST_F(LinkTest, TimedReadEndsAtItsTimeOutAtAStopOrWithTheReply)
{
    Plug();
    ASSERT_TRUE(g_ProgrammerLink.LoadFirmwareIfReady(355));
    std::uint8_t reply[64] = {};
    std::stop_source stop;

    auto start = clock->Now();
    EXPECT_EQ(g_ProgrammerLink.ReadData(reply, 64, 1000, stop.get_token()), 0);
    EXPECT_EQ(g_ProgrammerLink.LastStatus(), UsbStatus::Timeout);
    EXPECT_EQ(clock->Now() - start, 1000ms);

    start = clock->Now();
    clock->Schedule(start + 200ms, [&] { stop.request_stop(); });
    EXPECT_EQ(g_ProgrammerLink.ReadData(reply, 64, 1000, stop.get_token()), 0);
    EXPECT_LT(clock->Now() - start, 300ms);
    EXPECT_EQ(g_ProgrammerLink.ReadData(reply, 64, 1000, stop.get_token()), 0); // stopped before it began

    const std::uint8_t version[1] = { P_VERSION };
    g_ProgrammerLink.SendData(version, 1);
    std::stop_source fresh;
    EXPECT_EQ(g_ProgrammerLink.ReadData(reply, 64, 1000, fresh.get_token()), 64);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(reply)), "ZV-C Re-2.00");
}
