// The view's side of the pump: a step starts from the GUI thread, runs on a worker, and its one
// result comes back to the GUI thread, with what the user sees on the way.

#include "operations/ui/PumpController.h"

#include "PumpFakes.h"
#include "catalogue/DeviceClass.h"
#include "link/LinkLease.h"
#include "operations/LogColours.h"
#include "operations/OperationState.h"
#include "platform/Clock.h"
#include "platform/GuiThread.h"
#include "support/RecordingMessageBox.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <array>
#include <thread>

namespace {

using pumptest::FakeChannel;
using pumptest::RecordingVoltages;

class FakePort final : public PumpViewPort {
public:
    CPumpController* controller = nullptr;
    FakeChannel channel;
    RecordingVoltages voltages;
    std::array<std::vector<std::uint8_t>, 3> buffers;
    std::array<bool, 3> incomplete {};
    int bufferIndex = 0;
    std::uint32_t offset = 0;
    std::jthread worker;
    int powerDowns = 0;
    bool linkLost = false;
    std::vector<std::pair<std::string, COLORREF>> log;
    std::string title;
    std::string caption;
    int range = -1;
    std::atomic<int> position { -1 };
    bool progressShown = false;
    int refreshes = 0;
    int completions = 0;

    int BufferIndex() const override { return bufferIndex; }
    std::span<std::uint8_t> Buffer(int index) override { return buffers[static_cast<std::size_t>(index)]; }
    void ResetBuffer(int index, std::size_t size) override
    {
        buffers[static_cast<std::size_t>(index)].assign(size, 0xFF);
    }
    void SetBufferIncomplete(int index, bool on) override { incomplete[static_cast<std::size_t>(index)] = on; }
    std::uint32_t DeviceOffset() const override { return offset; }
    bool TempUnprotect() const override { return false; }
    void SetTransferSizes(int& block, int& writeBlock, int& step) override
    {
        block = 1024;
        writeBlock = 256;
        step = 59;
    }
    PumpChannel& Channel() override { return channel; }
    PumpVoltageSetter& Voltages() override { return voltages; }
    bool StartPumpWorker(std::function<void(std::stop_token)> work) override
    {
        if (worker.joinable())
            return false;
        worker = std::jthread(std::move(work));
        return true;
    }
    void JoinPumpWorker() override
    {
        if (worker.joinable())
            worker.join();
        worker = std::jthread();
    }
    void SendPowerDown() override { ++powerDowns; }
    bool LinkMarkedLost() const override { return linkLost; }
    void Log(const std::string& text, COLORREF colour) override { log.emplace_back(text, colour); }
    void SetTitle(const std::string& t) override { title = t; }
    void ProgressStart(const std::string& c, int r) override
    {
        caption = c;
        range = r;
        progressShown = true;
    }
    void ProgressSetPos(int p) override { position = p; }
    void ProgressHide() override { progressShown = false; }
    bool HexViewShows(std::uint32_t offset, std::size_t) const override { return offset < 256; }
    void RefreshHexView() override { ++refreshes; }
    void PostCompletion(PumpResult result) override
    {
        platform::post([this, result] {
            ++completions;
            controller->OnCompletion(result);
        });
    }
};

class PumpControllerTest : public testing::Test {
protected:
    void SetUp() override
    {
        g_nOperationState = kStateIdle;
        g_CurrentDevice = CDeviceClass();
        g_CurrentDevice.m_nCodeSize = 0x1000;
        g_CurrentDevice.m_nDataSize = 64;
        g_nCurrentClass = 200;
        port.controller = &controller;
        port.channel.chip.resize(0x1000);
        for (std::size_t i = 0; i < port.channel.chip.size(); ++i)
            port.channel.chip[i] = static_cast<std::uint8_t>(i * 3);
    }
    void TearDown() override
    {
        port.JoinPumpWorker();
        g_nOperationState = kStateDisconnected;
        g_nCurrentClass = kNoDeviceClass;
        g_CurrentDevice = CDeviceClass();
        g_bCancelOperation = 1;
        g_LinkLease.Release(LeaseHolder::Operation);
    }

    bool WaitDone()
    {
        return tonrig::test::ProcessEventsUntil([&] { return !controller.Running(); });
    }

    std::shared_ptr<platform::Clock> clock = platform::MakeScaledClock(1000);
    platform::ScopedClock scoped { clock };
    tonrig::test::RecordingMessageBox boxes;
    FakePort port;
    CPumpController controller { port };
};

TEST_F(PumpControllerTest, ReadRunsOnTheWorkerAndEndsOnTheGuiThread)
{
    port.buffers[0].assign(16, 0x00);
    port.incomplete[0] = true;
    ASSERT_TRUE(controller.RunStep(PumpOperation::Read));
    EXPECT_EQ(g_nOperationState, 3);
    EXPECT_EQ(g_LinkLease.Holder(), LeaseHolder::Operation);
    EXPECT_EQ(port.title, CPumpController::kReadTitle);
    EXPECT_EQ(port.range, 0x1000);
    EXPECT_FALSE(controller.RunStep(PumpOperation::Read)) << "a second step while one runs";
    ASSERT_TRUE(WaitDone());

    EXPECT_EQ(port.completions, 1);
    EXPECT_EQ(port.buffers[0], port.channel.chip);
    EXPECT_FALSE(port.incomplete[0]);
    EXPECT_EQ(g_nOperationState, kStateIdle);
    EXPECT_FALSE(g_LinkLease.IsHeld());
    EXPECT_EQ(g_bCancelOperation.load(), 1);
    EXPECT_EQ(port.powerDowns, 1);
    EXPECT_FALSE(port.progressShown);
    EXPECT_EQ(port.position.load(), 0x1000);
    EXPECT_GE(port.refreshes, 1);
    ASSERT_FALSE(port.log.empty());
    EXPECT_EQ(port.log.back().first, "Read done.");
}

TEST_F(PumpControllerTest, LinkLostReadMarksTheBufferIncomplete)
{
    port.channel.silentFrom = 4;
    ASSERT_TRUE(controller.RunStep(PumpOperation::Read));
    ASSERT_TRUE(WaitDone());
    EXPECT_EQ(g_nOperationState, kStateDisconnected);
    EXPECT_TRUE(port.incomplete[0]);
    ASSERT_GE(port.log.size(), 2u);
    EXPECT_EQ(port.log[port.log.size() - 2].first, "Buffer incomplete: 0x000800 of 0x001000 bytes read.");
    EXPECT_FALSE(g_LinkLease.IsHeld());
}

TEST_F(PumpControllerTest, VerifyFailureAndCancel)
{
    port.buffers[0] = port.channel.chip;
    port.buffers[0][0x123] ^= 0xFF;
    ASSERT_TRUE(controller.RunStep(PumpOperation::Verify));
    ASSERT_TRUE(WaitDone());
    EXPECT_EQ(port.log.back().first, "Verify failed at 0x000123: device 0x69, buffer 0x96.");
    EXPECT_EQ(g_nOperationState, kStateIdle);

    // A cancel set before the step starts is the user's earlier one: the step clears it.
    port.channel.onSend = [](FakeChannel&, const std::uint8_t* p, int) {
        if (p[0] == P_READ)
            g_bCancelOperation = 1;
    };
    ASSERT_TRUE(controller.RunStep(PumpOperation::Verify));
    ASSERT_TRUE(WaitDone());
    EXPECT_EQ(port.log.back().first, "Verify cancelled.");

    // With the operation control attached, it gets the result after the common part.
    std::vector<StepResult> results;
    controller.onResult = [&](const StepResult& r) {
        EXPECT_EQ(g_nOperationState, kStateIdle);
        EXPECT_FALSE(g_LinkLease.IsHeld());
        results.push_back(r);
    };
    port.channel.onSend = nullptr;
    const auto logged = port.log.size();
    ASSERT_TRUE(controller.RunStep(PumpOperation::Verify));
    ASSERT_TRUE(WaitDone());
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].operation, StepOperation::Verify);
    EXPECT_EQ(results[0].kind, StepKind::Failed);
    EXPECT_EQ(results[0].address, 0x123u);
    EXPECT_EQ(port.log.size(), logged) << "the operation control writes the result's lines";
}

// A serial EEPROM's read touches the buffer only once the chip is known to answer.
TEST_F(PumpControllerTest, AnUnansweredReadLeavesTheBufferAndTheTitle)
{
    g_nCurrentClass = 44; // 24C02
    g_CurrentDevice.m_nDeviceAddress = 0xA2;
    port.channel.noAcknowledge = true;
    port.buffers[0].assign(16, 0x5A);
    port.title = "chip.bin";
    ASSERT_TRUE(controller.RunStep(PumpOperation::Read));
    ASSERT_TRUE(WaitDone());
    EXPECT_EQ(port.buffers[0], std::vector<std::uint8_t>(16, 0x5A));
    EXPECT_FALSE(port.incomplete[0]);
    EXPECT_EQ(port.title, "chip.bin");
    EXPECT_EQ(port.refreshes, 0);
    ASSERT_EQ(port.log.size(), 1u) << "no line of an incomplete buffer";
    EXPECT_EQ(port.log[0].first, "No answer from the chip at device address 0xA2.");
    EXPECT_EQ(port.log[0].second, log_colours::kError);

    // Answered: the buffer is the chip's and the title says so.
    port.channel.noAcknowledge = false;
    ASSERT_TRUE(controller.RunStep(PumpOperation::Read));
    ASSERT_TRUE(WaitDone());
    EXPECT_EQ(port.buffers[0], port.channel.chip);
    EXPECT_EQ(port.title, CPumpController::kReadTitle);
    EXPECT_EQ(port.log.back().first, "Read done.");

    // Ended before anything came, for another reason: as every read, a 0xFF block marked incomplete.
    port.buffers[0].assign(16, 0x5A);
    port.channel.silentFrom = 1;
    ASSERT_TRUE(controller.RunStep(PumpOperation::Read));
    ASSERT_TRUE(WaitDone());
    EXPECT_EQ(port.buffers[0], std::vector<std::uint8_t>(0x1000, 0xFF));
    EXPECT_TRUE(port.incomplete[0]);
    ASSERT_GE(port.log.size(), 2u);
    EXPECT_EQ(port.log[port.log.size() - 2].first, "Buffer incomplete: 0x000000 of 0x001000 bytes read.");
}

TEST_F(PumpControllerTest, RefusalsShowTheirBoxAndChangeNothing)
{
    ASSERT_FALSE(controller.RunStep(PumpOperation::Verify));
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, kNoVerifyDataText);
    EXPECT_EQ(boxes.Boxes()[0].caption, "error");

    port.buffers[0].assign(0x80, 1);
    port.offset = 0x100;
    ASSERT_FALSE(controller.RunStep(PumpOperation::Write));
    ASSERT_EQ(boxes.Count(), 2u);

    EXPECT_EQ(g_nOperationState, kStateIdle);
    EXPECT_FALSE(g_LinkLease.IsHeld());
    EXPECT_TRUE(port.channel.sent.empty());
    EXPECT_EQ(g_bCancelOperation.load(), 1);

    g_nOperationState = kStateDisconnected;
    port.buffers[0].assign(0x1000, 1);
    port.offset = 0;
    EXPECT_FALSE(controller.RunStep(PumpOperation::Write)) << "no step without a programmer";
    EXPECT_TRUE(port.channel.sent.empty());
}

} // namespace
