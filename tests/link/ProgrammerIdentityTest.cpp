// Who the programmer is, asked of the virtual programmer configured as each model, and what is
// left of the answer when the box stays silent, answers short or garbled, or loses its firmware.

#include "link/ProgrammerIdentity.h"
#include "LinkFixture.h"
#include "link/ProgrammerModel.h"

#include <future>
#include <thread>

using namespace std::chrono_literals;
using namespace tonrig::test;

namespace {

std::array<std::uint8_t, 256> HistoryImage(std::uint8_t count, const std::string& text)
{
    std::array<std::uint8_t, 256> bytes {};
    bytes[1] = count;
    std::copy_n(text.begin(), std::min<std::size_t>(text.size(), 254), bytes.begin() + 2);
    return bytes;
}

class IdentityTest : public LinkTest {
protected:
    // A box of its own on a fresh bus for each case.
    std::shared_ptr<sim::Box> PlugFresh(sim::BoxConfig config)
    {
        bus = std::make_shared<platform::usb::VirtualBus>();
        recorder = std::make_shared<RecordingProvider>(bus);
        g_ProgrammerLink.ResetForTest(recorder);
        return Plug(std::move(config));
    }
    sim::BoxConfig Config(const char* version = "ZV-C Re-2.00")
    {
        sim::BoxConfig config;
        config.version = version;
        config.serial = "ab12cd34ef";
        return config;
    }
    long long ClockMs() { return std::chrono::duration_cast<std::chrono::milliseconds>(clock->Now()).count(); }
};

TEST_F(IdentityTest, TellsVersionModelSerialAndHistoryOfEachModel)
{
    struct Case {
        const char* version;
        int model;
        bool unknown;
    };
    const Case cases[] = {
        { "ZV-A Re-1.10", kModelZvA, false },
        { "ZV-B Re-1.00", kModelZvB, false },
        { "ZV-C Re-2.00", kModelZvC, false },
        { "ZV-CQ Re-2.00", kModelZvCQ, false },
        { "ZV-D Re-3.01", kModelZvD, false },
        { "ZV-X Re-1.00", kModelZvC, true },
    };
    const auto image = HistoryImage(2, "AT89C51,3,PIC16F628A,100,");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version);
        auto box = PlugFresh(Config(c.version));
        box->SetHistory(image);
        g_nProgrammerModel = 99;

        const ProgrammerIdentity id = IdentifyProgrammer(g_ProgrammerLink);
        ASSERT_TRUE(id.ok) << id.failure;
        EXPECT_EQ(id.version, c.version);
        EXPECT_EQ(id.model, c.model);
        EXPECT_EQ(id.serial, "AB12CD34EF");
        EXPECT_EQ(id.history.m_Raw, image);
        EXPECT_EQ(id.history.m_Entries, (std::vector<CHistoryEntry> { { "AT89C51", "3" }, { "PIC16F628A", "100" } }));
        EXPECT_EQ(id.history.m_nTotalCount, 103u);
        EXPECT_EQ(id.log,
            c.unknown ? std::vector<std::string> { std::string("Unknown programmer model: ") + c.version }
                      : std::vector<std::string> {});
        EXPECT_EQ(box->RunningImage(), std::optional<int>(355));
        EXPECT_EQ(g_nProgrammerModel.load(), 99) << "the view applies the model, not the routine";
    }
}

TEST_F(IdentityTest, AVersionNotAnsweredFailsWithinSecondsOfClock)
{
    struct Case {
        const char* what;
        sim::Fault fault;
    };
    const Case cases[] = {
        { "no reply", sim::Fault::OnCode(P_VERSION, sim::FaultAction::WithholdReply) },
        { "3 bytes", sim::Fault::OnCode(P_VERSION, sim::FaultAction::CutReply).Bytes(61) },
        { "a control character", sim::Fault::OnCode(P_VERSION, sim::FaultAction::FlipReply).Bytes(2).Mask(0x20) },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto box = PlugFresh(Config());
        box->SetStrict(false);
        box->AddFault(c.fault);
        const long long start = ClockMs();
        const ProgrammerIdentity id = IdentifyProgrammer(g_ProgrammerLink);
        EXPECT_FALSE(id.ok);
        EXPECT_EQ(id.failure, "The programmer did not answer its version.");
        EXPECT_LT(ClockMs() - start, 5000);
    }
}

TEST_F(IdentityTest, ASlowAnswerWithinTheReplyWaitArrivesWhole)
{
    auto box = PlugFresh(Config("ZV-D Re-3.01"));
    box->AddFault(sim::Fault::OnCode(P_VERSION, sim::FaultAction::DelayReply).Delay(1500ms));
    box->AddFault(sim::Fault::OnCode(P_HW_SERIAL_NUMBER, sim::FaultAction::DelayReply).Delay(1900ms));
    const ProgrammerIdentity id = IdentifyProgrammer(g_ProgrammerLink);
    ASSERT_TRUE(id.ok) << id.failure;
    EXPECT_EQ(id.version, "ZV-D Re-3.01");
    EXPECT_EQ(id.model, kModelZvD);
    EXPECT_EQ(id.serial, "AB12CD34EF");
    EXPECT_TRUE(id.log.empty());
}

TEST_F(IdentityTest, AFirmwareDownloadThatNeverComesBackFails)
{
    auto box = PlugFresh(Config());
    box->AddFault(sim::Fault::OnA0Address(0, sim::FaultAction::ReenumerationNever));
    const ProgrammerIdentity id = IdentifyProgrammer(g_ProgrammerLink);
    EXPECT_FALSE(id.ok);
    EXPECT_EQ(id.failure, "Firmware 355 could not be loaded.");
    EXPECT_TRUE(id.version.empty());
}

TEST_F(IdentityTest, AMissingSerialOrACorruptHistoryStillIdentifies)
{
    {
        SCOPED_TRACE("no serial");
        auto box = PlugFresh(Config("ZV-CQ Re-2.00"));
        box->SetHistory(HistoryImage(1, "27C256,12,"));
        box->AddFault(sim::Fault::OnCode(P_HW_SERIAL_NUMBER, sim::FaultAction::WithholdReply));
        const long long start = ClockMs();
        const ProgrammerIdentity id = IdentifyProgrammer(g_ProgrammerLink);
        ASSERT_TRUE(id.ok) << id.failure;
        EXPECT_LT(ClockMs() - start, 5000);
        EXPECT_EQ(id.model, kModelZvCQ);
        EXPECT_EQ(id.serial, "");
        EXPECT_EQ(id.history.m_Entries.size(), 1u);
        EXPECT_EQ(id.log, std::vector<std::string> { "The programmer did not answer its serial number." });
    }
    {
        SCOPED_TRACE("corrupt history");
        auto box = PlugFresh(Config());
        box->SetHistory(HistoryImage(3, "A,1,B,2,"));
        const ProgrammerIdentity id = IdentifyProgrammer(g_ProgrammerLink);
        ASSERT_TRUE(id.ok) << id.failure;
        EXPECT_EQ(id.serial, "AB12CD34EF");
        EXPECT_TRUE(id.history.m_Entries.empty());
        ASSERT_EQ(id.log.size(), 1u);
        EXPECT_NE(id.log[0].find("at byte 10"), std::string::npos) << id.log[0];
    }
    {
        SCOPED_TRACE("history read cut short");
        auto box = PlugFresh(Config());
        box->SetHistory(HistoryImage(1, "27C256,12,"));
        box->AddFault(sim::Fault::OnCode(P_EEPROM_Read, sim::FaultAction::CutReply).Bytes(10));
        const ProgrammerIdentity id = IdentifyProgrammer(g_ProgrammerLink);
        ASSERT_TRUE(id.ok) << id.failure;
        EXPECT_TRUE(id.history.m_Entries.empty());
        EXPECT_EQ(id.log, std::vector<std::string> { "The programmer did not answer its usage history." });
    }
}

TEST_F(IdentityTest, AStopWhileAReplyIsAwaitedEndsAtOnce)
{
    auto box = PlugFresh(Config());
    box->AddFault(sim::Fault::OnCode(P_VERSION, sim::FaultAction::WithholdReply));
    std::atomic<bool> asked { false };
    platform::SetTraceSink([&](const std::string& line) {
        if (line.find("P_VERSION") != std::string::npos)
            asked = true;
    });
    clock->SetAutoAdvance(false);
    std::stop_source stop;
    auto done = std::async(std::launch::async, [&] { return IdentifyProgrammer(g_ProgrammerLink, stop.get_token()); });
    // Time moves only here: in small steps until the box has the version request.
    const auto giveUp = std::chrono::steady_clock::now() + 20s;
    while (!asked && std::chrono::steady_clock::now() < giveUp) {
        clock->Advance(1ms);
        std::this_thread::yield();
    }
    ASSERT_TRUE(asked);
    const long long stoppedAt = ClockMs();
    stop.request_stop();
    // Time moves on in 10 ms steps, each given to the worker to notice the stop.
    while (done.wait_for(5ms) != std::future_status::ready && std::chrono::steady_clock::now() < giveUp)
        clock->Advance(10ms);
    ASSERT_EQ(done.wait_for(0s), std::future_status::ready);
    const ProgrammerIdentity id = done.get();
    EXPECT_FALSE(id.ok);
    EXPECT_EQ(id.failure, "stopped");
    EXPECT_LT(ClockMs() - stoppedAt, 500) << "the 2 s reply wait was cut short";
}

} // namespace
