// Closing the program while an operation runs on the virtual programmer: the question first; Yes
// cancels the operation as the progress window's Cancel does and closes once the box is idle, No
// lets it finish. A buffer a read has filled is no edit.

#include "operations/ui/TonrigView.h"

#include "link/LinkLease.h"
#include "link/ProgrammerCommand.h"
#include "operations/CommandChannelPump.h"
#include "operations/ui/BufferCommands.h"
#include "platform/GuiThread.h"
#include "shell/ui/ProgressDlg.h"

#include "TapChannel.h"
#include "ViewOnBoxFixture.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using tonrig::test::Pattern;
using tonrig::test::ProcessEventsUntil;
using tonrig::test::TapChannel;

namespace {

class ExitDuringOperationOnBox : public tonrig::test::ViewOnBoxFixture {
protected:
    void SetUp() override
    {
        ViewOnBoxFixture::SetUp();
        if (HasFatalFailure())
            return;
        CheckOnly();
        TapViewChannel(*view, pumpChannel, tap);
        Select(200, 0x40000);
        Insert(sim::ChipSpec::Make(sim::ChipCategory::Flash, 0x40000));
    }
    // Closes the program (as the main window does) when the pump sends `code` for the nth time;
    // the pump waits until the close has been asked.
    void CloseOn(std::uint8_t code, int nth)
    {
        tap->Reset([this, code, nth](std::uint8_t sent, int count) {
            if (sent == code && count == nth)
                platform::send([this] { closeNow = view->QueryClose([this] { ++closesAgain; }); });
        });
    }

    std::unique_ptr<CommandChannelPump> pumpChannel;
    std::unique_ptr<TapChannel> tap;
    bool closeNow = true;
    int closesAgain = 0;
};

TEST_F(ExitDuringOperationOnBox, YesCancelsTheWriteAndClosesOnceTheBoxIsIdleNoLetsItFinish)
{
    for (const int answer : { IDYES, IDNO }) {
        SCOPED_TRACE(answer == IDYES ? "Yes" : "No");
        {
            std::lock_guard lock(box->Mutex());
            box->ChipSocket().Get()->Contents(sim::ChipMemory::Main).assign(0x40000, 0xFF);
        }
        view->m_CodeBuffer = Pattern(0x40000, 6);
        view->MessageLog().OnClearAll();
        boxes.Clear();
        closesAgain = 0;
        boxes.QueueAnswer(answer);
        CloseOn(P_WRITE_OK, 100);
        view->OnTimer(CTonrigView::kTimerWrite);
        ASSERT_TRUE(ProcessEventsUntil([&] { return Idle() && (answer == IDNO || closesAgain > 0); }, 60s)) << Log();

        const auto shown = boxes.Boxes();
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].text, "An operation is running. Cancel it and exit?");
        EXPECT_EQ(shown[0].caption, "Tonrig");
        EXPECT_EQ(shown[0].type, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
        EXPECT_FALSE(closeNow);
        EXPECT_FALSE(Powered()) << "the socket is left powered";
        EXPECT_EQ(g_LinkLease.Holder(), LeaseHolder::None);
        EXPECT_EQ(g_nOperationState, kStateIdle);
        EXPECT_FALSE(view->ProgressDlg().isVisible());
        EXPECT_TRUE(box->ProtocolErrors().empty());
        if (answer == IDYES) {
            EXPECT_EQ(closesAgain, 1);
            EXPECT_NE(Log().find("Device write cancelled"), std::string::npos) << Log();
            EXPECT_EQ(Log().find("Device write completed"), std::string::npos) << Log();
            EXPECT_EQ(tap->Sends(P_WRITE_OK), 100) << "a block after the cancel";
            EXPECT_NE(Chip(), view->m_CodeBuffer);
            // Nothing runs now and nothing is edited: the close goes ahead.
            EXPECT_TRUE(view->QueryClose({}));
        } else {
            for (int i = 0; i < 5; ++i)
                QCoreApplication::processEvents();
            EXPECT_EQ(closesAgain, 0);
            EXPECT_NE(Log().find("Device write completed"), std::string::npos) << Log();
            EXPECT_EQ(Chip(), view->m_CodeBuffer);
        }
        EXPECT_EQ(boxes.Count(), 1u);
    }
}

TEST_F(ExitDuringOperationOnBox, ABufferFilledByAReadIsNoEdit)
{
    {
        std::lock_guard lock(box->Mutex());
        box->ChipSocket().Get()->Contents(sim::ChipMemory::Main) = Pattern(0x40000, 3);
    }
    view->BufferCommands().MarkEdited(buffer::kMainBuffer);
    ASSERT_EQ(view->BufferCommands().EditedBuffers(), std::vector<int> { buffer::kMainBuffer });
    view->OnTimer(CTonrigView::kTimerRead);
    ASSERT_TRUE(ProcessEventsUntil([&] { return Idle(); }, 60s)) << Log();
    ASSERT_EQ(view->m_CodeBuffer, Chip());
    EXPECT_FALSE(view->Buffers().IsModified(buffer::kMainBuffer));
    EXPECT_TRUE(view->BufferCommands().ConfirmLoad());
    EXPECT_TRUE(view->QueryClose({}));
    EXPECT_EQ(boxes.Count(), 0u) << ::testing::PrintToString(BoxTexts());
}

} // namespace
