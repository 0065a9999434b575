// The link used from several threads at once, on a scaled clock: replies never go to the wrong
// caller, no transfer reaches the box inside a download, and a probe waits a download out.

#include "LinkFixture.h"

#include <atomic>
#include <random>
#include <thread>

using namespace std::chrono_literals;
using namespace tonrig::test;

namespace {

class LinkThreadsTest : public LinkTest {
protected:
    // Replaces the fixture's manual clock: threads run on their own here.
    platform::ScopedClock scaled { platform::MakeScaledClock(20.0) };
};

// What a reply to `code` may look like; anything else is another command's reply.
bool ReplyFits(std::uint8_t code, const std::vector<std::uint8_t>& reply)
{
    if (reply.empty())
        return true; // lost with the device
    if (reply.size() != 64)
        return false;
    const std::string text(reinterpret_cast<const char*>(reply.data()),
        strnlen(reinterpret_cast<const char*>(reply.data()), reply.size()));
    switch (code) {
    case P_VERSION:
        return text == "ZV-C Re-2.00";
    case P_HW_SERIAL_NUMBER:
        return text == "ZV00000001";
    case P_FIRMWARE_ID_GET:
        return reply[0] == 0 && (reply[1] == 0 || reply[1] == (355 & 0xFF));
    default:
        return false;
    }
}

TEST_F(LinkThreadsTest, ExchangesOpensSwitchesAndUnplugsRaceWithoutHarm)
{
    Plug();
    ASSERT_TRUE(g_ProgrammerLink.LoadFirmwareIfReady(355));

    std::atomic<bool> stop { false };
    std::atomic<int> swapped { 0 };
    std::atomic<int> answered { 0 };
    std::vector<std::thread> threads;
    for (std::uint8_t code : { P_VERSION, P_HW_SERIAL_NUMBER, P_FIRMWARE_ID_GET }) {
        threads.emplace_back([&, code] {
            while (!stop) {
                std::vector<std::uint8_t> reply(64);
                const std::uint8_t packet[1] = { code };
                const int n = g_ProgrammerLink.Exchange(packet, 1, reply.data(), 64);
                reply.resize(static_cast<std::size_t>(n));
                if (!ReplyFits(code, reply))
                    ++swapped;
                else if (n)
                    ++answered;
            }
        });
    }
    // The probe and the switcher pause between calls as the monitor and the setup do; spinning
    // on the link's mutex would only starve the exchanges on a loaded machine.
    threads.emplace_back([&] {
        while (!stop) {
            g_ProgrammerLink.Open();
            platform::GetClock().SleepFor(20ms);
        }
    });
    threads.emplace_back([&] {
        while (!stop) {
            g_ProgrammerLink.LoadFirmwareIfReady(355);
            platform::GetClock().SleepFor(200ms);
        }
    });

    // Pauses in clock time, so the programmer has time to come back between pulls whatever the
    // clock's speed-up and the machine's load.
    std::mt19937 random(7);
    for (int i = 0; i < 6; ++i) {
        platform::GetClock().SleepFor(std::chrono::milliseconds(2000 + random() % 3000));
        box->Port()->Replug();
    }
    platform::GetClock().SleepFor(3s);
    stop = true;
    for (auto& t : threads)
        t.join();

    EXPECT_EQ(swapped.load(), 0);
    EXPECT_GT(answered.load(), 0);
    EXPECT_TRUE(box->ProtocolErrors().empty());
    // The link still works once the dust settles.
    ASSERT_TRUE(g_ProgrammerLink.LoadFirmwareIfReady(355));
    EXPECT_EQ(AskText(P_VERSION), "ZV-C Re-2.00");
}

TEST_F(LinkThreadsTest, AnOpenDuringASwitchWaitsForTheProgrammerToComeBack)
{
    sim::BoxConfig config;
    config.reenumerationDelay = 1500ms;
    Plug(config);
    ASSERT_TRUE(g_ProgrammerLink.Open());
    std::atomic<bool> switched { false };
    std::thread switcher([&] { switched = static_cast<bool>(g_ProgrammerLink.LoadFirmwareIfReady(355)); });
    // Once the download has begun, probe as the connection monitor does.
    while (box->Transfers() == 0)
        std::this_thread::yield();
    EXPECT_TRUE(g_ProgrammerLink.Open());
    switcher.join();
    EXPECT_TRUE(switched);
    EXPECT_EQ(box->RunningImage(), 355);
    EXPECT_TRUE(g_ProgrammerLink.Open());
}

} // namespace
