// CVexlink against the virtual programmer, injected, on the manual clock.

#include "transport/Vexlink.h"
#include "platform/Clock.h"
#include "platform/Resources.h"
#include "platform/usb/VirtualBus.h"
#include "sim/Box.h"
#include "support/VirtualUsb.h"
#include "tools/mkfwimage/FirmwareImage.h"
#include "transport/FirmwareTransform.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <future>
#include <thread>

using namespace platform;
using namespace platform::usb;
using namespace sim;
using namespace tonrig::test;

namespace {

class VexlinkTest : public testing::Test {
protected:
    void SetUp() override
    {
        VexlinkServices services;
        services.usb = bus;
        services.sleep = [](std::uint32_t ms) { GetClock().SleepFor(std::chrono::milliseconds(ms)); };
        services.messageBox = [this](const std::string& text) {
            std::lock_guard lock(mutex);
            boxes.push_back(text);
        };
        services.line = [this](const std::string& text) {
            std::lock_guard lock(mutex);
            lines.push_back(text);
        };
        link = std::make_unique<CVexlink>(services);
    }

    void Plug(BoxConfig config = {})
    {
        config.time = TimeModel::Zero(); // exact clock figures
        box = Box::PlugInto(*bus, std::move(config));
    }

    // Downloads image `number` the way the program does: its resource, transformed.
    bool BootBox(int number = 355)
    {
        const auto data = LoadResource("DATAF", number);
        if (!data
            || !link->LoadFirmwareFromHGLOBALBuffer(data->constData(), static_cast<std::size_t>(data->size()), true))
            return false;
        clock->Advance(1s);
        return box->RunningImage() == number;
    }

    std::string WriteFile(const std::string& name, const std::string& content)
    {
        const std::string path = dir.filePath(QString::fromStdString(name)).toStdString();
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }

    std::vector<std::string> Boxes()
    {
        std::lock_guard lock(mutex);
        return boxes;
    }
    std::vector<std::string> Lines()
    {
        std::lock_guard lock(mutex);
        return lines;
    }

    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    ScopedClock scoped { clock };
    std::shared_ptr<VirtualBus> bus = std::make_shared<VirtualBus>();
    std::shared_ptr<Box> box;
    std::unique_ptr<CVexlink> link;
    std::mutex mutex;
    std::vector<std::string> boxes;
    std::vector<std::string> lines;
    QTemporaryDir dir;
};

class ScopedIds {
public:
    explicit ScopedIds(const char* ids) { setenv("TONRIG_USB_IDS", ids, 1); }
    ~ScopedIds() { unsetenv("TONRIG_USB_IDS"); }
};

TEST_F(VexlinkTest, Fx2AndAn21xxSideBySide)
{
    ScopedIds ids("04b4:2131");
    struct Case {
        EzusbChip chip;
        std::uint16_t pid;
        int type;
        std::uint8_t in;
        std::uint8_t speed;
    };
    for (const Case c :
        { Case { EzusbChip::Fx2, 0x8613, 2, 0x86, 3 }, Case { EzusbChip::An21xx, 0x2131, 1, 0x82, 2 } }) {
        SCOPED_TRACE(c.type);
        BoxConfig config;
        config.chip = c.chip;
        config.productId = c.pid;
        Plug(config);
        ASSERT_EQ(link->FindUSBDevice(), 1);
        EXPECT_EQ(link->GetUSBType(), c.type);
        ASSERT_TRUE(BootBox());
        ASSERT_EQ(link->Ready(), 1);
        ASSERT_TRUE(link->Initialize_Device());
        EXPECT_EQ(link->m_PipeInId, c.in);
        EXPECT_EQ(link->m_PipeOutId, 0x02);
        EXPECT_EQ(link->m_PipeInterruptId, 0x81);
        EXPECT_EQ(link->m_DeviceSpeed, c.speed);

        // The pulse reaches the box's own CPUCS: held, then running (our image boots again).
        EXPECT_TRUE(link->Reset8051());
        EXPECT_EQ(link->m_hDevice, nullptr);
        clock->Advance(1s);
        EXPECT_EQ(box->Boots(), 2);
        EXPECT_EQ(box->RunningImage(), 355);
        box->Port()->Unplug();
    }
}

TEST_F(VexlinkTest, FindTakesTheFirstAllowedDeviceAndReportsABusyOne)
{
    Plug();
    const std::string path = link->GetDevicePath();
    EXPECT_EQ(path, "usb:1-1:vid_04b4&pid_8613");
    box->Port()->SetBusy(true);
    EXPECT_EQ(link->FindUSBDevice(), 0);
    EXPECT_EQ(Boxes(), (std::vector<std::string> { "WinUsb_Initialize failed #2" }));
    box->Port()->SetBusy(false);
    EXPECT_EQ(link->OpenUSBDevice(), 1);
    EXPECT_NE(link->m_hWinUsbHandle, nullptr);
    link->CloseUSBDevice();
    EXPECT_EQ(link->m_hWinUsbHandle, nullptr);

    // A device off the allow-list is not ours, unless TONRIG_USB_IDS names it.
    box->Port()->Unplug();
    BoxConfig other;
    other.chip = EzusbChip::An21xx;
    other.productId = 0x1234;
    Plug(other);
    EXPECT_EQ(link->FindUSBDevice(), 0);
    EXPECT_EQ(link->GetDevicePath(), "");
    ScopedIds ids("1d50:6018, 04B4:1234");
    EXPECT_EQ(link->FindUSBDevice(), 1);
    EXPECT_EQ(link->GetUSBType(), 1);
}

TEST_F(VexlinkTest, Retries)
{
    Plug();
    ASSERT_TRUE(BootBox());
    const std::uint8_t version[1] = { 2 };
    std::uint8_t reply[64];
    std::uint32_t sent = 0;

    // Three stalls, then success: three waits of 50 ms, the packet delivered once.
    box->AddFault(Fault::OnTransfer(box->Transfers() + 2, FaultAction::Stall).Count(3));
    ASSERT_TRUE(link->SendData(version, 1, &sent)); // opens the device: one transfer on the way
    Duration start = clock->Now();
    const std::size_t received = box->BytesReceived();
    box->AddFault(Fault::OnTransfer(box->Transfers() + 1, FaultAction::Stall).Count(3));
    EXPECT_TRUE(link->SendData(version, 1, &sent));
    EXPECT_EQ(clock->Now() - start, 150ms);
    EXPECT_EQ(box->BytesReceived() - received, 1u);
    ASSERT_TRUE(link->SetPipeTimeout(0x86, 100));
    EXPECT_EQ(link->ReadData(reply, 64), 64u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(reply)), "ZV-C Re-2.00");
    EXPECT_EQ(link->ReadData(reply, 64), 64u) << "the second P_VERSION";
    EXPECT_EQ(link->ReadData(reply, 64), 0u) << "each reply once";

    // Stalling always: 51 attempts and one error line.
    start = clock->Now();
    const int opens = box->Port()->OpenCount();
    box->AddFault(Fault::OnTransfer(box->Transfers() + 1, FaultAction::Stall).Persistent());
    EXPECT_EQ(link->WriteToDevice(version, 1, &sent, 0x02), 9u);
    EXPECT_EQ(clock->Now() - start, 50 * 50ms);
    EXPECT_EQ(box->Port()->OpenCount() - opens, 50);
    ASSERT_EQ(Lines().size(), 1u);
    EXPECT_EQ(Lines()[0], "WriteToDevice failed with error -9: Pipe error\n");
}

TEST_F(VexlinkTest, NoDevice)
{
    const std::uint8_t version[1] = { 2 };
    std::uint8_t reply[64];
    std::uint32_t sent = 0;
    EXPECT_EQ(link->WriteToDevice(version, 1, &sent, 0x02), CVexlink::kNoDevice);
    EXPECT_EQ(link->ReadData(reply, 64), 0u);
    EXPECT_FALSE(link->SendData(version, 1, &sent));
    EXPECT_FALSE(link->Reset8051());
    EXPECT_FALSE(link->SetPipeTimeout(0x86, 10));
    EXPECT_EQ(Lines(), (std::vector<std::string> { "Unable to set pipe timeout\n" }));
}

TEST_F(VexlinkTest, PartialOutIsNeverResent)
{
    Plug();
    ASSERT_TRUE(BootBox());
    ASSERT_EQ(link->OpenUSBDevice(), 1);
    ASSERT_TRUE(link->SetPipeTimeout(0x02, 400));
    std::vector<std::uint8_t> packet(64, 0x33);
    packet[0] = 3;
    packet[1] = 1;
    box->AddFault(Fault::OnCode(3, FaultAction::PartialOut).Bytes(32));
    const std::size_t before = box->BytesReceived();
    std::uint32_t written = 0;
    EXPECT_EQ(link->WriteToDevice(packet.data(), 64, &written, 0x02), 7u);
    EXPECT_EQ(written, 32u);
    EXPECT_EQ(box->BytesReceived() - before, 32u);
}

TEST_F(VexlinkTest, NoReplyYetIsNotAnError)
{
    Plug();
    ASSERT_TRUE(BootBox());
    ASSERT_EQ(link->OpenUSBDevice(), 1);
    ASSERT_TRUE(link->SetPipeTimeout(0x86, 300));
    const int opens = box->Port()->OpenCount();
    const Duration start = clock->Now();
    std::uint8_t reply[64];
    EXPECT_EQ(link->ReadData(reply, 64), 0u);
    EXPECT_EQ(clock->Now() - start, 300ms);
    EXPECT_EQ(box->Port()->OpenCount(), opens);
    EXPECT_TRUE(Lines().empty());
}

TEST_F(VexlinkTest, UnplugEndsABlockedRead)
{
    Plug();
    ASSERT_TRUE(BootBox());
    ASSERT_EQ(link->OpenUSBDevice(), 1);
    ASSERT_TRUE(link->SetPipeTimeout(0x86, 0));
    clock->SetAutoAdvance(false);
    const std::uint64_t transfers = box->Transfers();
    auto reader = std::async(std::launch::async, [this] {
        std::uint8_t reply[64];
        return link->ReadData(reply, 64);
    });
    while (box->Transfers() == transfers)
        std::this_thread::yield();
    const Duration start = clock->Now();
    box->Port()->Unplug();
    // The link waits 50 ms before it looks for the device again; move time until it has. Each
    // step gives the reader real time enough to get there on a loaded machine.
    while (reader.wait_for(50ms) != std::future_status::ready)
        clock->Advance(10ms);
    EXPECT_EQ(reader.get(), 0u);
    EXPECT_LT(clock->Now() - start, 200ms);
}

std::string ReplaceAll(std::string s, const std::string& from, const std::string& to)
{
    for (std::size_t pos = 0; (pos = s.find(from, pos)) != std::string::npos; pos += to.size())
        s.replace(pos, from.size(), to);
    return s;
}

std::string Lower(std::string s)
{
    for (auto& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

TEST_F(VexlinkTest, HexDownloads)
{
    const std::string image = FirmwareHex(355);
    const std::string firstLine = image.substr(0, image.find("\r\n") + 2);
    const std::string rest = image.substr(firstLine.size());

    std::string badChecksum = image;
    badChecksum[firstLine.size() - 3] = badChecksum[firstLine.size() - 3] == '0' ? '1' : '0';
    // 17 data bytes with a right checksum.
    std::string count17 = ":11010000";
    unsigned sum = 0x11 + 0x01;
    for (int i = 0; i < 17; ++i)
        count17 += "00";
    char cs[4];
    std::snprintf(cs, sizeof cs, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
    count17 += std::string(cs) + "\r\n";
    std::string stray = image;
    stray[5] = 'G';

    // Some 70 KB: a damaged image first, then the whole right one, whose last records lie past
    // the first 64 KB of text.
    mkfwimage::ImageOptions bigOptions;
    bigOptions.length = 0x4000;
    bigOptions.badCrc = true;
    std::string big = mkfwimage::ImageHex(bigOptions);
    big = big.substr(0, big.find("\r\n", big.size() * 2 / 3) + 2);
    bigOptions.badCrc = false;
    big += mkfwimage::ImageHex(bigOptions);

    struct Case {
        const char* name;
        std::string text;
        bool ok;
    };
    const Case cases[] = {
        { "plain image", image, true },
        { "type-4 base 0", ":020000040000FA\r\n" + image, true },
        { "type-4 base 1", ":020000040001F9\r\n" + image, false },
        { "bad checksum", badChecksum, false },
        { "count of 17", count17 + image, false },
        { "stray character", stray, false },
        { "missing end record", image.substr(0, image.find(":00000001FF")), false },
        { "LF line ends", ReplaceAll(image, "\r\n", "\n"), true },
        { "lower-case digits", Lower(image), true },
        { "70 KB", big, true },
    };
    ASSERT_GT(big.size(), 70000u);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Plug();
        // Running firmware first, so that "held" shows the download's own doing.
        ASSERT_TRUE(BootBox(175));
        EXPECT_EQ(link->LoadFirmwareFromHGLOBALBuffer(c.text.data(), c.text.size(), false), c.ok);
        EXPECT_EQ(link->m_hDevice, nullptr);
        clock->Advance(1s);
        if (c.ok) {
            EXPECT_EQ(box->RunningImage(), 355);
        } else {
            EXPECT_TRUE(box->Held());
            EXPECT_FALSE(box->RunningImage());
            EXPECT_EQ(box->Boots(), 1);
        }
        box->Port()->Unplug();
    }
}

TEST_F(VexlinkTest, FirmwareFiles)
{
    Plug();
    const std::string path = WriteFile("fw.hex", FirmwareHex(355));
    EXPECT_TRUE(link->LoadFirmwareFromFile(path));
    clock->Advance(1s);
    EXPECT_EQ(box->RunningImage(), 355);
    EXPECT_TRUE(link->hex2cFirmwareDownload(path));
    EXPECT_FALSE(link->LoadFirmwareFromFile(WriteFile("huge.hex", std::string((1u << 20) + 1, '\n'))));
    EXPECT_FALSE(link->LoadFirmwareFromFile(path + ".missing"));
    // The library has no images of its own.
    EXPECT_FALSE(link->LoadFirmware(355, true));
    EXPECT_FALSE(link->InitLoadFirmware(355));
    EXPECT_FALSE(link->LoadFirmware2(355, true));
    EXPECT_TRUE(Boxes().empty());
}

std::string Record(std::uint16_t address, std::uint8_t type, const std::vector<std::uint8_t>& data)
{
    char buf[16];
    unsigned sum = static_cast<unsigned>(data.size()) + (address >> 8) + (address & 0xFF) + type;
    std::snprintf(buf, sizeof buf, ":%02X%04X%02X", static_cast<unsigned>(data.size()), address, type);
    std::string line = buf;
    for (auto b : data) {
        std::snprintf(buf, sizeof buf, "%02X", b);
        line += buf;
        sum += b;
    }
    std::snprintf(buf, sizeof buf, "%02X\r\n", (0x100 - (sum & 0xFF)) & 0xFF);
    return line + buf;
}

std::string DataRun(std::uint16_t from, std::size_t bytes, std::uint8_t fill)
{
    std::string text;
    for (std::size_t at = 0; at < bytes; at += 16)
        text += Record(static_cast<std::uint16_t>(from + at), 0,
            std::vector<std::uint8_t>(std::min<std::size_t>(16, bytes - at), fill));
    return text;
}

const std::string kEnd = ":00000001FF\r\n";

TEST_F(VexlinkTest, FileOrgSegments)
{
    Plug();
    using Writes = std::vector<std::pair<std::uint16_t, std::size_t>>;
    // Merged up to exactly 4,096 bytes, then a new segment; the waits on the clock.
    const Duration start = clock->Now();
    EXPECT_TRUE(link->LoadFirmwareFromFileOrg(WriteFile("a.HEX", DataRun(0, 4096 + 32, 0x11) + kEnd)));
    EXPECT_EQ(box->A0Writes(), (Writes { { 0, 4096 }, { 4096, 32 } }));
    EXPECT_EQ(clock->Now() - start, 1001ms);
    EXPECT_FALSE(box->Held()) << "released at the end";
    box->Port()->Replug();

    // A type-2 base moves the records.
    EXPECT_TRUE(
        link->LoadFirmwareFromFileOrg(WriteFile("b.hex", Record(0, 2, { 0x01, 0x00 }) + DataRun(0, 16, 0x22) + kEnd)));
    EXPECT_EQ(box->A0Writes(), (Writes { { 0x1000, 16 } }));
    EXPECT_EQ(box->ReadRam(0x1000, 1)[0], 0x22);
    box->Port()->Replug();

    // 0x1FF0-0x200F: the part below 8192 is written, the rest skipped.
    EXPECT_TRUE(link->LoadFirmwareFromFileOrg(WriteFile("c.hex", DataRun(0x1FF0, 32, 0x33) + kEnd)));
    EXPECT_EQ(box->A0Writes(), (Writes { { 0x1FF0, 16 } }));
    ASSERT_EQ(Lines().size(), 1u);
    EXPECT_EQ(Lines()[0], "Firmware segment 0x2000-0x200F skipped: not below 0x2000\n");
    box->Port()->Replug();

    // An address beyond 0xFFFF: its box, nothing written.
    const std::uint64_t transfers = box->Transfers();
    EXPECT_FALSE(link->LoadFirmwareFromFileOrg(
        WriteFile("d.hex", DataRun(0, 16, 1) + Record(0, 2, { 0x10, 0x00 }) + DataRun(0, 16, 1) + kEnd)));
    EXPECT_EQ(Boxes(), (std::vector<std::string> { "Error loading file: address out of range\n" }));
    EXPECT_TRUE(box->A0Writes().empty());
    EXPECT_EQ(box->Transfers(), transfers) << "the device was not even touched";
}

TEST_F(VexlinkTest, FileOrgFailures)
{
    Plug();
    // A stall on the third segment: one box, the 8051 left held.
    ASSERT_TRUE(BootBox());
    box->AddFault(Fault::OnA0Address(0x0300, FaultAction::Stall));
    const std::string three
        = DataRun(0x0100, 16, 1) + DataRun(0x0200, 16, 2) + DataRun(0x0300, 16, 3) + DataRun(0x0400, 16, 4) + kEnd;
    EXPECT_FALSE(link->LoadFirmwareFromFileOrg(WriteFile("s.hex", three)));
    EXPECT_EQ(Boxes(), (std::vector<std::string> { "Firmware load error #02." }));
    EXPECT_TRUE(box->Held());
    EXPECT_EQ(box->A0Writes().back().first, 0x0200);

    struct Case {
        std::string path;
        const char* box;
    };
    const Case cases[] = {
        { WriteFile("x.bin", three), "Only .Hex firmware can be loaded." },
        { dir.filePath("missing.hex").toStdString(), "Firmware file open error." },
        { WriteFile("bad.hex", DataRun(0, 16, 1) + ":0100000001FF\r\n" + kEnd),
            "Error loading file: bad record in line 2\n" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        boxes.clear();
        const std::size_t writes = box->A0Writes().size();
        EXPECT_FALSE(link->LoadFirmwareFromFileOrg(c.path));
        EXPECT_EQ(Boxes(), (std::vector<std::string> { c.box }));
        EXPECT_EQ(box->A0Writes().size(), writes);
    }
}

TEST_F(VexlinkTest, MyOpenDeviceTogglesVccFiveTimes)
{
    Plug();
    ASSERT_TRUE(BootBox());
    const Duration start = clock->Now();
    EXPECT_EQ(link->MyOpenDevice(), 1);
    EXPECT_EQ(clock->Now() - start, 11500ms);
    const auto log = box->VccLog();
    ASSERT_EQ(log.size(), 10u);
    for (std::size_t i = 0; i < log.size(); ++i)
        EXPECT_EQ(log[i].second, i % 2 == 0);
    EXPECT_EQ(log[1].first - log[0].first, 1s);
    EXPECT_FALSE(box->Vcc());

    box->Port()->Unplug();
    EXPECT_EQ(link->MyOpenDevice(), -1);
}

TEST_F(VexlinkTest, ErrorMessageUsesTheLastStatus)
{
    link->ErrorMessage("Probe");
    EXPECT_EQ(Lines(), (std::vector<std::string> { "Probe failed with error 0: Success\n" }));
}

TEST(TMemCache, CopiesPointIntoTheirOwnImage)
{
    auto a = std::make_unique<TMemCache>();
    a->image.data[0x100] = 0xAB;
    a->segments.push_back({ 0x100, 1, a->image.data + 0x100 });
    a->segments.push_back({ 0, 0, nullptr });
    auto b = std::make_unique<TMemCache>(*a);
    EXPECT_EQ(b->segments[0].data, b->image.data + 0x100);
    EXPECT_EQ(*b->segments[0].data, 0xAB);
    EXPECT_EQ(b->segments[1].data, nullptr);
    auto c = std::make_unique<TMemCache>();
    *c = *a;
    EXPECT_EQ(c->segments[0].data, c->image.data + 0x100);
}

} // namespace
