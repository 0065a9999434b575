#include "operations/ChipIdCheck.h"
#include "operations/OperationText.h"

#include "LanguageFixture.h"

#include "support/RecordingMessageBox.h"

#include <vector>

namespace {

TEST(ChipIdCheck, ComparesSignatureBytesOrTheMaskedPicWord)
{
    using V = IdCheckVerdict;
    struct Case {
        const char* name;
        std::vector<std::uint8_t> reply;
        int length;
        const char* id;
        bool word;
        std::uint16_t mask;
        IdCheckVerdict verdict;
    };
    const Case cases[] = {
        { "no signature", { 0x1E, 0x95 }, 0, "XXXXX", false, 0, V::Skipped },
        { "match", { 0x1E, 0x95, 0x0F, 0x77 }, 3, "1E950F", false, 0, V::Match },
        { "lower-case id", { 0x1E, 0x95, 0x0F }, 3, "1e950f", false, 0, V::Match },
        { "mismatch in the last byte", { 0x1E, 0x95, 0x0E }, 3, "1E950F", false, 0, V::Mismatch },
        { "all 0xFF", { 0xFF, 0xFF, 0xFF }, 3, "1E950F", false, 0, V::NoChip },
        { "all 0x00", { 0x00, 0x00, 0x00, 0x12 }, 3, "1E950F", false, 0, V::NoChip },
        { "short reply", { 0x1E }, 3, "1E950F", false, 0, V::Mismatch },
        { "id shorter than the length", { 0x1E, 0x95, 0x0F }, 3, "1E95", false, 0, V::Mismatch },
        { "PIC word under the mask", { 0x0F, 0xA3 }, 4, "00000FA0", true, 0x3FE0, V::Match },
        { "PIC revision bits ignored", { 0x0F, 0xBF }, 2, "0FA0", true, 0x3FE0, V::Match },
        { "PIC other device", { 0x10, 0xA0 }, 2, "0FA0", true, 0x3FE0, V::Mismatch },
        { "PIC high byte first", { 0xA0, 0x0F }, 2, "0FA0", true, 0x3FE0, V::Mismatch },
        { "PIC no chip", { 0xFF, 0xFF }, 2, "0FA0", true, 0x3FE0, V::NoChip },
        { "PIC without signature", { 0x0F, 0xA0 }, 0, "XXXXX", true, 0x3FE0, V::Skipped },
        { "PIC mask 0 skips", { 0x12, 0x34 }, 2, "0FA0", true, 0, V::Skipped },
        { "PIC id not hex", { 0x0F, 0xA0 }, 2, "0FAZ", true, 0x3FE0, V::Mismatch },
        { "PIC id too short", { 0x0F, 0xA0 }, 1, "FA", true, 0x3FE0, V::Mismatch },
        { "PIC short reply", { 0x0F }, 2, "0FA0", true, 0x3FE0, V::Mismatch },
    };
    for (const Case& c : cases)
        EXPECT_EQ(CompareChipId(c.reply, c.length, c.id, c.word, c.mask), c.verdict) << c.name;
    EXPECT_TRUE(UsesIdWord(312));
    EXPECT_FALSE(UsesIdWord(311));
}

class IdCheckTexts : public BuiltInTexts { };

TEST_F(IdCheckTexts, LinesQuestionAndWhetherTheRunGoesOn)
{
    using V = IdCheckVerdict;
    struct Case {
        IdCheckVerdict verdict;
        const char* line;
        bool asks;
    };
    const Case cases[] = {
        { V::Skipped, "ID check skipped\r\n", false },
        { V::Match, "ID check OK\r\n", false },
        { V::Mismatch, "ID check failed.\r\n", true },
        { V::NoChip, "ID check failed.\r\n", true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(IdCheckLine(c.verdict), c.line);
        EXPECT_TRUE(IdCheckGoesOn(c.verdict, true));
        EXPECT_EQ(IdCheckGoesOn(c.verdict, false), !c.asks);
    }

    tonrig::test::RecordingMessageBox boxes(IDYES);
    boxes.QueueAnswer(IDNO);
    EXPECT_FALSE(AskIdCheckContinue());
    EXPECT_TRUE(AskIdCheckContinue());
    ASSERT_EQ(boxes.Count(), 2u);
    const auto box = boxes.Boxes().front();
    EXPECT_EQ(box.caption, "ID Check");
    EXPECT_EQ(box.type & 0x0F, MB_YESNO);
    EXPECT_EQ(box.text.substr(0, 18), "ID check failed.\r\n");
}

TEST_F(IdCheckTexts, AdapterReminderAnswers)
{
    tonrig::test::RecordingMessageBox boxes(IDOK);
    boxes.QueueAnswer(IDCANCEL);
    EXPECT_FALSE(ConfirmAdapter("", ""));
    EXPECT_TRUE(ConfirmAdapter("PLCC44 adapter", "Set jumper J2"));
    const auto recorded = boxes.Boxes();
    ASSERT_EQ(recorded.size(), 2u);
    EXPECT_EQ(recorded[0].text, "Check the adapter/jumper setting.");
    EXPECT_EQ(recorded[1].text, "PLCC44 adapter\r\nSet jumper J2");
    EXPECT_EQ(recorded[1].caption, "Adapter");
    EXPECT_EQ(recorded[1].type & 0x0F, MB_OKCANCEL);
}

TEST(LockStep, LevelFromTheLockTextAndTheOutcomeOfTheReply)
{
    EXPECT_EQ(LockLevel("2"), 2);
    EXPECT_EQ(LockLevel("3"), 3);
    for (const char* text : { "0", "1", "", "23", " 2", "4", "X" })
        EXPECT_FALSE(LockLevel(text).has_value()) << text;

    struct Case {
        std::optional<std::uint8_t> level;
        int reply;
        bool done;
        const char* line;
        const char* box;
    };
    const Case cases[] = {
        { std::nullopt, -1, true, "The function is not supported by this device.\r\n", "" },
        { 2, 0, true, "Device locked.\r\n", "" },
        { 3, 1, false, "Lock failed.\r\n", "Lock failed." },
        { 3, -1, false, "Lock failed.\r\n", "Lock failed." },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const LockOutcome outcome = MakeLockOutcome(c.level, c.reply);
        EXPECT_EQ(outcome.done, c.done);
        EXPECT_EQ(outcome.line, c.line);
        EXPECT_EQ(outcome.boxText, c.box);
    }
}

TEST(DeviceDetected, OnlyTableClasses)
{
    EXPECT_TRUE(IsDetectableClass(0));
    EXPECT_TRUE(IsDetectableClass(200));
    EXPECT_TRUE(IsDetectableClass(325));
    EXPECT_FALSE(IsDetectableClass(326));
    EXPECT_FALSE(IsDetectableClass(-1));
}

} // namespace
