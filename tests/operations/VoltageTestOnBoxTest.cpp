// Tools -> "Test H/W Voltage" end to end on the virtual programmer: the dialog's lines and their
// colours, the boxes, the rails afterwards and the setup that follows, never the packets.

#include "operations/ui/TonrigView.h"

#include "link/LinkLease.h"
#include "link/MonitorSink.h"
#include "link/ProgrammerCommand.h"
#include "operations/DeviceSetup.h"
#include "operations/OperationState.h"
#include "operations/VoltageTest.h"
#include "operations/ui/PumpController.h"
#include "operations/ui/VoltageTestDlg.h"
#include "platform/Colour.h"
#include "platform/MessageBox.h"
#include "platform/ui/QtServices.h"
#include "shell/Language.h"
#include "sim/FaultPlan.h"

#include "ViewOnBoxFixture.h"

#include <QPushButton>
#include <QTextBlock>

#include <algorithm>
#include <condition_variable>

using namespace std::chrono_literals;
using tonrig::test::ProcessEventsUntil;

namespace {

struct Line {
    std::string text;
    COLORREF colour;
};

// The log's lines with the colour of their first character.
std::vector<Line> Lines(CRichEditCtrlExtend& log)
{
    std::vector<Line> lines;
    for (QTextBlock b = log.document()->begin(); b.isValid(); b = b.next()) {
        if (b.text().isEmpty())
            continue;
        COLORREF colour = 0;
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            colour = platform::FromQColor(it.fragment().charFormat().foreground().color());
            break;
        }
        lines.push_back({ b.text().toStdString(), colour });
    }
    return lines;
}

std::vector<std::string> Results(const std::vector<Line>& lines)
{
    std::vector<std::string> out;
    for (const Line& l : lines)
        if (l.text.rfind("VCC ", 0) == 0 || l.text.rfind("VPP ", 0) == 0)
            out.push_back(l.text);
    return out;
}

class VoltageTestOnBox : public tonrig::test::ViewOnBoxFixture {
protected:
    // Presses "Test" `chains` times, each to its chain's end, then Exit; the lines as they stood.
    void RunDialog(int chains = 1)
    {
        view->SetVoltageTestRunner([this, chains](CVoltageTestDlg& dialog) {
            ++opened;
            for (int i = 0; i < chains; ++i) {
                dialog.TestButton()->click();
                ASSERT_TRUE(ProcessEventsUntil([&] { return !dialog.ChainRunning(); }));
            }
            lines = Lines(dialog.Log());
            testEnabled = dialog.TestButton()->isEnabled();
            dialog.ExitButton()->click();
        });
        view->OnTestVoltage();
        ASSERT_TRUE(ProcessEventsUntil([this] { return Idle(); }));
    }
    std::size_t Passed() const
    {
        std::size_t n = 0;
        for (const Line& l : lines)
            n += l.text.find("passed") != std::string::npos && l.colour == kVoltagePassed;
        return n;
    }
    bool Idle() const override { return ViewOnBoxFixture::Idle() && g_bSetupIdle == 1 && !view->ExchangeRunning(); }
    // Holds the chain in the pause that follows the `nth` measurement until Release().
    void HoldAfterMeasurement(int nth)
    {
        auto seen = std::make_shared<int>(0);
        box->Observe(P_READ_VCC_VPP_VALUE, [this, seen, nth](const std::uint8_t*, std::size_t) {
            if (++*seen != nth)
                return;
            // Runs inside the chain's next pause, on the thread that moves the clock there.
            clock->Schedule(clock->Now() + 100ms, [this] {
                std::unique_lock lock(holdMutex);
                holding = true;
                holdCv.notify_all();
                holdCv.wait_for(lock, 10s, [this] { return release; });
            });
        });
    }
    bool Holding()
    {
        std::lock_guard lock(holdMutex);
        return holding;
    }
    void Release()
    {
        std::lock_guard lock(holdMutex);
        release = true;
        holdCv.notify_all();
    }
    void TearDown() override
    {
        Release();
        ViewOnBoxFixture::TearDown();
    }

    std::vector<Line> lines;
    int opened = 0;
    bool testEnabled = false;
    std::mutex holdMutex;
    std::condition_variable holdCv;
    bool holding = false;
    bool release = false;
};

TEST_F(VoltageTestOnBox, WholeChainsOnHealthyProgrammers)
{
    for (const char* version : { "ZV-CQ Re-2.00", "ZV-D Re-1.00" }) {
        SCOPED_TRACE(version);
        Plug(version);
        g_nOperationState = kStateIdle;
        RunDialog(2);
        ASSERT_GE(lines.size(), 1u);
        EXPECT_EQ(lines[0].text, "Please remove any chip from the ZIF socket!");
        EXPECT_EQ(lines[0].colour, kVoltageFailed);
        std::size_t headings = 0;
        for (const Line& l : lines)
            headings += l.text.find("Testing VCC") != std::string::npos
                || l.text.find("Testing VPP") != std::string::npos || l.text.find("Completed") != std::string::npos;
        EXPECT_EQ(headings, 6u); // three blocks per chain
        for (const Line& l : lines)
            if (l.text.find("*") == 0) {
                EXPECT_EQ(l.colour, kVoltageHeading) << l.text;
            }
        EXPECT_EQ(Passed(), 22u);
        const auto results = Results(lines);
        ASSERT_EQ(results.size(), 22u);
        const char* order[] = { "VCC 3.6V", "VCC 5V", "VCC 5.5V", "VCC 6.2V", "VCC 6.5V", "VPP 3.6V/5V", "VPP 12V",
            "VPP 12.7V", "VPP 15V", "VPP 21V", "VPP 25V" };
        for (std::size_t i = 0; i < results.size(); ++i)
            EXPECT_EQ(results[i].rfind(order[i % 11], 0), 0u) << results[i];
        EXPECT_TRUE(testEnabled);
        EXPECT_FALSE(Powered());
        EXPECT_EQ(g_nOperationState, kStateIdle);
        EXPECT_EQ(boxes.Count(), 0u);
    }
}

TEST_F(VoltageTestOnBox, RailFaultsShowInTheirLines)
{
    box->Electrical().SetHealth(sim::Rail::Vpp, 0.7);
    RunDialog();
    auto results = Results(lines);
    ASSERT_EQ(results.size(), 11u);
    for (std::size_t i = 0; i < 11; ++i)
        EXPECT_NE(results[i].find(i < 5 ? "passed" : "too low"), std::string::npos) << results[i];

    Plug("ZV-D Re-1.00");
    box->Electrical().SetHealth(sim::Rail::Vcc, 1.4);
    box->Electrical().SetHealth(sim::Rail::Vpp, 1.4);
    RunDialog();
    results = Results(lines);
    ASSERT_EQ(results.size(), 11u);
    for (const auto& r : results)
        EXPECT_NE(r.find("too high"), std::string::npos) << r;
    for (const Line& l : lines)
        if (l.text.find("too high") != std::string::npos) {
            EXPECT_EQ(l.colour, kVoltageFailed);
        }
}

TEST_F(VoltageTestOnBox, ForcedReadingsAtABoundaryAndOtherModels)
{
    box->Electrical().ForceReading(sim::RailReading { 0x97CE, 0x1414 });
    RunDialog();
    auto results = Results(lines);
    ASSERT_EQ(results.size(), 11u);
    EXPECT_EQ(results[3], "VCC 6.2V test passed (code:0x97ce)+");
    EXPECT_EQ(results[5], "VPP 3.6V/5V test passed (code:0x1414)+");

    // A ZV-C is judged by the model-7 column, after a box at every step.
    Plug("ZV-C Re-2.00");
    box->Electrical().ForceReading(sim::RailReading { 0x6060, 0x1919 });
    boxes.Clear();
    RunDialog();
    results = Results(lines);
    ASSERT_EQ(results.size(), 11u);
    EXPECT_EQ(results[0], "VCC 3.6V test passed (code:0x6060)-");
    EXPECT_EQ(results[5], "VPP 3.6V/5V test passed (code:0x1919)-");
    ASSERT_EQ(boxes.Count(), 11u);
    for (const auto& b : boxes.Boxes()) {
        EXPECT_EQ(b.text, kVoltageOutOfScope);
        EXPECT_EQ(b.caption, platform::kAppTitle);
        EXPECT_EQ(b.type & MB_TYPEMASK, MB_OK);
    }
}

TEST_F(VoltageTestOnBox, AShortReplyIsNoReplyAndTheChainGoesOn)
{
    // The eighth measurement is step 207's (201 measures twice).
    auto seen = std::make_shared<int>(0);
    box->Observe(P_READ_VCC_VPP_VALUE, [this, seen](const std::uint8_t*, std::size_t) {
        if (++*seen == 7)
            box->AddFault(sim::Fault::OnCode(P_READ_VCC_VPP_VALUE, sim::FaultAction::CutReply).Bytes(60));
    });
    RunDialog();
    const auto results = Results(lines);
    ASSERT_EQ(results.size(), 11u);
    EXPECT_EQ(results[6], "VPP 12V test failed, too low (code:0x0)");
    EXPECT_NE(results[7].find("VPP 12.7V test passed"), std::string::npos);
    std::vector<std::string> texts;
    for (const Line& l : lines)
        texts.push_back(l.text);
    const auto at = std::find(texts.begin(), texts.end(), "No reply from the programmer.");
    ASSERT_NE(at, texts.end());
    EXPECT_EQ(*(at + 1), "VPP 12V test failed, too low (code:0x0)");
    EXPECT_EQ(lines[static_cast<std::size_t>(at - texts.begin())].colour, kVoltageFailed);
}

TEST_F(VoltageTestOnBox, ExitMidChainSwitchesOffAndSetsTheDeviceUpAgain)
{
    Select(175, 0x20000); // a ZV-CQ runs image 356 for it
    HoldAfterMeasurement(4); // 203's
    bool closedAtOnce = false;
    view->SetVoltageTestRunner([&](CVoltageTestDlg& dialog) {
        dialog.TestButton()->click();
        ASSERT_TRUE(ProcessEventsUntil([&] { return Holding(); }));
        ASSERT_TRUE(
            ProcessEventsUntil([&] { return dialog.Log().GetText().find("VCC 5.5V test") != std::string::npos; }));
        dialog.ExitButton()->click();
        closedAtOnce = dialog.result() == QDialog::Rejected;
        lines = Lines(dialog.Log());
    });
    view->OnTestVoltage();
    EXPECT_TRUE(closedAtOnce);
    EXPECT_TRUE(view->ExchangeRunning()); // the chain ends on its own
    Release();
    ASSERT_TRUE(ProcessEventsUntil([this] { return Idle(); }));
    EXPECT_EQ(Results(lines).size(), 3u);
    EXPECT_EQ(boxes.Count(), 0u);
    std::lock_guard lock(box->Mutex());
    EXPECT_FALSE(box->Electrical().RailOn(sim::Rail::Vcc));
    EXPECT_FALSE(box->Electrical().RailOn(sim::Rail::Vpp));
    EXPECT_EQ(box->RunningImage().value_or(-1), 356);
    ASSERT_FALSE(box->Recorded(P_DEVICE).empty());
    EXPECT_EQ(box->Recorded(P_DEVICE).back(), (std::vector<std::uint8_t> { P_DEVICE, 0 }));
}

TEST_F(VoltageTestOnBox, OneChainAtATimeAndTheViewStaysResponsive)
{
    Select(175, 0x20000);
    HoldAfterMeasurement(2);
    view->SetVoltageTestRunner([&](CVoltageTestDlg& dialog) {
        dialog.TestButton()->click();
        dialog.TestButton()->click();
        dialog.OnOK();
        ASSERT_TRUE(ProcessEventsUntil([&] { return Holding(); }));
        // The view's loop runs on; a read now would take the link from the chain.
        view->OnDeviceRead();
        EXPECT_FALSE(view->Pump().Running());
        Release();
        ASSERT_TRUE(ProcessEventsUntil([&] { return !dialog.ChainRunning(); }));
        lines = Lines(dialog.Log());
        dialog.ExitButton()->click();
    });
    view->OnTestVoltage();
    ASSERT_TRUE(ProcessEventsUntil([this] { return Idle(); }));
    EXPECT_EQ(Results(lines).size(), 11u);
    EXPECT_EQ(Passed(), 11u);
}

TEST_F(VoltageTestOnBox, TheCommandRefusesUnlessIdleAndSetsUpOnlyADevice)
{
    view->SetVoltageTestRunner([this](CVoltageTestDlg&) { ++opened; });
    const std::string text49 = "Did not get response from programmer.";
    const std::string text73 = g_Language.GetText(73);
    g_nOperationState = kStateDisconnected;
    const auto before49 = tonrig::test::Count(Log(), text49);
    view->OnTestVoltage();
    EXPECT_EQ(tonrig::test::Count(Log(), text49), before49 + 1);
    g_nOperationState = kStateIdle;
    ASSERT_TRUE(g_LinkLease.Take(LeaseHolder::Operation));
    const auto before73 = tonrig::test::Count(Log(), text73);
    view->OnTestVoltage();
    g_LinkLease.Release(LeaseHolder::Operation);
    EXPECT_EQ(tonrig::test::Count(Log(), text73), before73 + 1);
    EXPECT_EQ(opened, 0);

    // A held link: the dialog says so and "Test" comes back.
    view->SetVoltageTestRunner([this](CVoltageTestDlg& dialog) {
        ++opened;
        ASSERT_TRUE(g_LinkLease.Take(LeaseHolder::Identify));
        dialog.TestButton()->click();
        g_LinkLease.Release(LeaseHolder::Identify);
        lines = Lines(dialog.Log());
        testEnabled = dialog.TestButton()->isEnabled();
    });
    view->OnTestVoltage();
    EXPECT_EQ(opened, 1);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().text, "The programmer is busy; try again.");
    EXPECT_EQ(lines.back().colour, kVoltageFailed);
    EXPECT_TRUE(testEnabled);

    // With no device selected nothing is set up afterwards.
    const auto boots = box->Boots();
    RunDialog();
    EXPECT_EQ(opened, 2);
    EXPECT_EQ(box->Boots(), boots);
    EXPECT_TRUE(box->Recorded(P_DEVICE).empty());
}

TEST_F(VoltageTestOnBox, RefusedDuringARead)
{
    Select(200, 0x20000);
    Insert(sim::ChipSpec::Make(sim::ChipCategory::Flash, 0x20000));
    {
        std::lock_guard lock(box->Mutex());
        box->ChipSocket().Get()->Contents(sim::ChipMemory::Main) = tonrig::test::Pattern(0x20000, 3);
    }
    view->SetVoltageTestRunner([this](CVoltageTestDlg&) { ++opened; });
    view->OnDeviceRead();
    const auto before = tonrig::test::Count(Log(), g_Language.GetText(73));
    view->OnTestVoltage();
    EXPECT_EQ(opened, 0);
    EXPECT_EQ(tonrig::test::Count(Log(), g_Language.GetText(73)), before + 1);
    ASSERT_TRUE(ProcessEventsUntil([this] { return Idle(); }));
    EXPECT_TRUE(view->m_CodeBuffer == Chip());
}

TEST_F(VoltageTestOnBox, AnUnplugMidChainEndsItDisconnectedWithoutASetup)
{
    Select(175, 0x20000);
    HoldAfterMeasurement(3);
    view->SetVoltageTestRunner([&](CVoltageTestDlg& dialog) {
        dialog.TestButton()->click();
        ASSERT_TRUE(ProcessEventsUntil([&] { return Holding(); }));
        box->Port()->Unplug();
        view->OnMessage(WM_PROGRAMMER_CHANGED, 1, 0);
        Release();
        ASSERT_TRUE(ProcessEventsUntil([&] { return !dialog.ChainRunning(); }));
        lines = Lines(dialog.Log());
        dialog.ExitButton()->click();
    });
    view->OnTestVoltage();
    ASSERT_TRUE(ProcessEventsUntil([] { return !g_LinkLease.IsHeld(); }));
    EXPECT_EQ(g_nOperationState, kStateDisconnected);
    EXPECT_LE(Results(lines).size(), 3u);
    EXPECT_TRUE(box->Recorded(P_DEVICE).empty());
}

} // namespace
