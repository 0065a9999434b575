// The erase command's decisions: the question, the OSCCAL read, the expected time, the option
// byte, the dialog's edit, and what the completion does with each ending.

#include "operations/EraseFlow.h"

#include "LanguageFixture.h"

#include <gtest/gtest.h>

namespace {

CPicConfigInfo PicWithOsccal(bool hasOsccal, int address = 0x3FF)
{
    CPicConfigInfo pic;
    pic.m_nCoreBits = 14;
    pic.m_bHasOscCal = hasOsccal ? 1 : 0;
    pic.m_nOscCalAddress = address;
    return pic;
}

TEST(EraseStartPlan, QuestionOsccalReadAndTripleEraseByClassAndRun)
{
    const CPicConfigInfo osccal = PicWithOsccal(true, 0x3FF);
    const CPicConfigInfo plain = PicWithOsccal(false);
    struct Row {
        const char* name;
        int classIndex;
        const CPicConfigInfo* pic;
        bool autoRun;
        bool script;
        EraseQuestion question;
        bool readsOsccal;
        bool triple;
    };
    const Row rows[] = {
        { "flash, menu", 200, nullptr, false, false, EraseQuestion::YesNoCancel, false, false },
        { "flash, batch", 200, nullptr, true, false, EraseQuestion::None, false, false },
        { "flash, script", 200, nullptr, false, true, EraseQuestion::None, false, false },
        { "first PIC class, menu", 312, &plain, false, false, EraseQuestion::OptionsDialog, false, false },
        { "PIC with OSCCAL, menu", 313, &osccal, false, false, EraseQuestion::OptionsDialog, true, false },
        { "last dialog class", 320, &plain, false, false, EraseQuestion::OptionsDialog, false, false },
        { "PIC18, menu", 321, &plain, false, false, EraseQuestion::YesNoCancel, false, false },
        { "PIC with OSCCAL, batch", 313, &osccal, true, false, EraseQuestion::None, true, true },
        { "PIC without OSCCAL, script", 316, &plain, false, true, EraseQuestion::None, false, true },
        { "PIC18, batch", 325, &plain, true, false, EraseQuestion::None, false, true },
        { "an OSCCAL flag outside the PIC classes counts for nothing", 200, &osccal, true, false, EraseQuestion::None,
            false, false },
        { "class 311, batch", 311, nullptr, true, false, EraseQuestion::None, false, false },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const EraseStart start = PlanEraseStart(row.classIndex, row.pic, row.autoRun, row.script);
        EXPECT_EQ(start.interactive, !row.autoRun && !row.script);
        EXPECT_EQ(start.question, row.question);
        EXPECT_EQ(start.readsOsccal, row.readsOsccal);
        if (row.readsOsccal) {
            EXPECT_EQ(start.osccalAddress, 0x3FFu);
        }
        EXPECT_EQ(start.tripleErase, row.triple);
        EXPECT_EQ(start.clearsKeepOsccal, row.question != EraseQuestion::OptionsDialog);
    }
}

TEST(EraseTiming, ExpectedSecondsCancelAndTempUnprotect)
{
    struct Row {
        int classIndex;
        const char* name;
        int seconds;
        bool cancelStays;
        bool unprotect;
    };
    const Row rows[] = {
        { 80, "", 60, false, false },
        { 90, "", 60, false, false },
        { 218, "", 60, false, false },
        { 86, "", 10, false, false },
        { 240, "", 10, false, false },
        { 91, "", 100, false, false },
        { 155, "", 5, false, false },
        { 262, "", 5, false, false },
        { 169, "", 180, true, false },
        { 219, "", 180, true, false },
        { 233, "", 180, true, false },
        { 171, "", 40, false, false },
        { 200, "AM29F040", 5, false, false },
        { 200, "AM29F032B", 100, false, false },
        { 295, "29F032", 100, false, false },
        { 205, "", 5, false, false },
        { 203, "", 20, false, false },
        { 204, "", 500, true, true },
        { 264, "", 500, true, true },
        { 277, "", 10, false, false },
        { 289, "", 500, true, true },
        { 300, "", 500, true, true },
        { 222, "", 90, false, false },
        { 237, "", 80, false, false },
        { 242, "", 8, false, true },
        { 243, "", 8, false, false },
        { 258, "", 8, false, true },
        { 8, "", 10, false, false },
        { 313, "", 10, false, false },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.classIndex);
        EXPECT_EQ(EraseExpectedSeconds(row.classIndex, row.name), row.seconds);
        EXPECT_EQ(EraseCancelStaysEnabled(row.classIndex), row.cancelStays);
        EXPECT_EQ(HasEraseTempUnprotect(row.classIndex), row.unprotect);
        EXPECT_EQ(EraseStepOption(row.classIndex, true, 0), row.unprotect ? 1 : 0);
        EXPECT_EQ(EraseStepOption(row.classIndex, false, 0), 0);
    }
    // The dialog's option passes through where Temp.Unprotect has no say.
    EXPECT_EQ(EraseStepOption(313, true, 0x05), 0x05);
}

TEST(EraseOptionsDialogModel, BoxesGiveTheOptionByteAndTheEditTheWord)
{
    EXPECT_EQ(EraseOptionByte({}), 0);
    EXPECT_EQ(EraseOptionByte({ false, true, true, true }), 0x01);
    EXPECT_EQ(EraseOptionByte({ true, false, true, true }), 0x02);
    EXPECT_EQ(EraseOptionByte({ true, true, false, false }), 0x04);
    EXPECT_EQ(EraseOptionByte({ false, false, false, true }), 0x07);

    struct Row {
        const char* text;
        std::optional<OsccalWord> word;
    };
    const Row rows[] = {
        { "3480", OsccalWord { 0x34, 0x80 } },
        { "34aB", OsccalWord { 0x34, 0xAB } },
        { "7", OsccalWord { 0x00, 0x07 } },
        { " 0c4 ", OsccalWord { 0x00, 0xC4 } },
        { "", std::nullopt },
        { "   ", std::nullopt },
        { "12345", std::nullopt },
        { "0x34", std::nullopt },
        { "34g0", std::nullopt },
        { "-1", std::nullopt },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(ParseOsccalText(row.text), row.word);
    }
    EXPECT_EQ(OsccalEditText({ 0x34, 0x0A }), "340a");
    EXPECT_EQ(OsccalNoteText({ 0x34, 0x0A }, 0x3FF), "0x340a at address 0x03ff");
}

class EraseDone : public BuiltInTexts { };

TEST_F(EraseDone, EachEndingHasItsLineBoxAndContinuation)
{
    const CPicConfigInfo osccal = PicWithOsccal(true);
    const CPicConfigInfo plain = PicWithOsccal(false);

    const EraseDonePlan done = PlanEraseDone(StepKind::Done, 200, nullptr, false);
    EXPECT_EQ(done.kind, StepKind::Done);
    ASSERT_TRUE(done.line);
    EXPECT_EQ(done.line->text, "Erase completed.\r\n");
    EXPECT_TRUE(done.continuesRun);
    EXPECT_FALSE(done.restoreOsccal);
    EXPECT_TRUE(done.boxText.empty());

    EXPECT_TRUE(PlanEraseDone(StepKind::Done, 313, &osccal, false).restoreOsccal);
    EXPECT_FALSE(PlanEraseDone(StepKind::Done, 313, &osccal, true).restoreOsccal) << "keep-OSCCAL set";
    EXPECT_FALSE(PlanEraseDone(StepKind::Done, 313, &plain, false).restoreOsccal);
    EXPECT_FALSE(PlanEraseDone(StepKind::Failed, 313, &osccal, false).restoreOsccal);

    const EraseDonePlan cancelled = PlanEraseDone(StepKind::Cancelled, 200, nullptr, false);
    EXPECT_EQ(cancelled.kind, StepKind::Cancelled);
    ASSERT_TRUE(cancelled.line);
    EXPECT_EQ(cancelled.line->text, "Cancelled\r\n");
    EXPECT_TRUE(cancelled.setupAgain);
    EXPECT_FALSE(cancelled.continuesRun);

    const EraseDonePlan failed = PlanEraseDone(StepKind::Failed, 1, nullptr, false);
    EXPECT_EQ(failed.kind, StepKind::Failed);
    EXPECT_FALSE(failed.line);
    EXPECT_EQ(failed.boxText,
        "Erase Failed.\r\nFunction not supported on this device.\r\nOR\r\nThis chip does not need erase.");
    EXPECT_EQ(failed.boxCaption, "Error");
    EXPECT_FALSE(failed.continuesRun);

    const EraseDonePlan lost = PlanEraseDone(StepKind::LinkLost, 200, nullptr, false);
    EXPECT_EQ(lost.kind, StepKind::LinkLost);
    EXPECT_FALSE(lost.line);
    EXPECT_TRUE(lost.boxText.empty());
    EXPECT_FALSE(lost.setupAgain);
}

TEST_F(EraseDone, RestoreEndsAndTexts)
{
    EXPECT_EQ(PlanOsccalRestore(OsccalRestoreEnd::Restored).kind, StepKind::Done);
    EXPECT_TRUE(PlanOsccalRestore(OsccalRestoreEnd::Restored).boxText.empty());
    EXPECT_EQ(PlanOsccalRestore(OsccalRestoreEnd::WriteFailed).boxText, "Write failed");
    EXPECT_EQ(PlanOsccalRestore(OsccalRestoreEnd::WriteFailed).kind, StepKind::Failed);
    EXPECT_EQ(PlanOsccalRestore(OsccalRestoreEnd::Mismatch).boxText, "Write OSCCAL Failed.");
    EXPECT_EQ(PlanOsccalRestore(OsccalRestoreEnd::Mismatch).kind, StepKind::Failed);
    EXPECT_EQ(PlanOsccalRestore(OsccalRestoreEnd::LinkLost).kind, StepKind::LinkLost);
    EXPECT_TRUE(PlanOsccalRestore(OsccalRestoreEnd::LinkLost).boxText.empty());

    EXPECT_EQ(EraseQuestionText(), "Are you sure?");
    EXPECT_EQ(EraseQuestionCaption(), "Erase");
    EXPECT_EQ(EraseStatusText(), "Please wait...Erasing...");
}

} // namespace
