#include "operations/HeaderModel.h"

#include "platform/SettingsStore.h"
#include "shell/RegistryKey.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

class HeaderModelTest : public testing::Test {
protected:
    tonrig::test::ScopedSettingsFile settings;
};

TEST_F(HeaderModelTest, AutoStepsFollowTheirOptionsAndNothingElseCounts)
{
    HeaderModel model;
    struct Case {
        int type;
        HeaderOption option;
        bool byDefault;
    };
    const Case steps[] = {
        { 9, HeaderOption::IdCheck, false },
        { 3, HeaderOption::Read, false },
        { 5, HeaderOption::Erase, false },
        { 7, HeaderOption::BlankCheck, false },
        { 4, HeaderOption::Write, true },
        { 6, HeaderOption::Verify, true },
        { 10, HeaderOption::Lock, false },
    };
    for (const Case& c : steps) {
        SCOPED_TRACE(c.type);
        EXPECT_EQ(model.IsAutoStepEnabled(c.type), c.byDefault);
        model.SetOption(c.option, !c.byDefault);
        EXPECT_EQ(model.IsAutoStepEnabled(c.type), !c.byDefault);
        EXPECT_EQ(model.Snapshot().IsAutoStepEnabled(c.type), !c.byDefault);
    }
    // Every step on now: the numbers without a step still answer false.
    for (const Case& c : steps)
        model.SetOption(c.option, true);
    model.SetOption(HeaderOption::DoubleWrite, true);
    model.SetOption(HeaderOption::TempUnprotect, true);
    for (int type : { -1, 0, 1, 2, 8, 11, 12, 41, 160, 1000 }) {
        SCOPED_TRACE(type);
        EXPECT_FALSE(model.IsAutoStepEnabled(type));
        EXPECT_FALSE(model.Snapshot().IsAutoStepEnabled(type));
    }
}

TEST_F(HeaderModelTest, OffsetTextsGiveValuesOrAreRefusedKeepingTheOldValue)
{
    struct Case {
        const char* text;
        bool fileOk;
        std::int32_t file;
        bool deviceOk;
        std::uint32_t device;
    };
    const Case cases[] = {
        { "0", true, 0, true, 0 },
        { "10", true, 16, true, 16 },
        { "0x1f", true, 31, true, 31 },
        { " 200 ", true, 0x200, true, 0x200 },
        { "FFFFFFF0", true, -16, false, 0 },
        { "7FFFFFFF", true, 0x7FFFFFFF, false, 0 },
        { "FFFFFF", true, 0xFFFFFF, true, 0xFFFFFF },
        { "1000000", true, 0x1000000, false, 0 }, // past 24 bits: would land elsewhere on the chip
        { "000000000010", true, 16, true, 16 }, // leading zeros are not digits of the value
        { "123456789", false, 0, false, 0 }, // nine digits would wrap
        { "", false, 0, false, 0 },
        { "0x", false, 0, false, 0 },
        { "12G", false, 0, false, 0 },
        { "-10", false, 0, false, 0 },
        { "1 2", false, 0, false, 0 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        HeaderModel model;
        ASSERT_TRUE(model.SetFileOffsetText("55"));
        ASSERT_TRUE(model.SetDeviceOffsetText("66"));
        EXPECT_EQ(model.SetFileOffsetText(c.text), c.fileOk);
        EXPECT_EQ(model.FileOffset(), c.fileOk ? c.file : 0x55);
        EXPECT_EQ(model.SetDeviceOffsetText(c.text), c.deviceOk);
        EXPECT_EQ(model.DeviceOffset(), c.deviceOk ? c.device : 0x66u);
    }
    HeaderModel model;
    model.SetFileOffsetText("fffffff0");
    EXPECT_EQ(model.FileOffsetText(), "FFFFFFF0");
    model.SetDeviceOffsetText("0x00abc");
    EXPECT_EQ(model.DeviceOffsetText(), "ABC");
}

TEST_F(HeaderModelTest, OptionsSurviveAStoreRestartAndOffsetsDoNot)
{
    {
        HeaderModel model;
        EXPECT_EQ(model.SpeedLevel(), 5);
        EXPECT_EQ(model.DelayFactor(), 1);
        model.SetOption(HeaderOption::Write, false);
        model.SetOption(HeaderOption::Erase, true);
        model.SetOption(HeaderOption::DoubleWrite, true);
        model.SetOption(HeaderOption::TempUnprotect, true);
        EXPECT_TRUE(model.SetSpeedLevel(2));
        EXPECT_TRUE(model.SetDelayFactor(7));
        EXPECT_TRUE(model.SetFileOffsetText("100"));
        EXPECT_TRUE(model.SetDeviceOffsetText("200"));
    }
    platform::SettingsStore::Instance().Open(settings.Path()); // read back from the file
    HeaderModel model;
    EXPECT_FALSE(model.Option(HeaderOption::Write));
    EXPECT_TRUE(model.Option(HeaderOption::Verify));
    EXPECT_TRUE(model.Option(HeaderOption::Erase));
    EXPECT_TRUE(model.Option(HeaderOption::DoubleWrite));
    EXPECT_TRUE(model.Option(HeaderOption::TempUnprotect));
    EXPECT_FALSE(model.Option(HeaderOption::Lock));
    EXPECT_EQ(model.SpeedLevel(), 2);
    EXPECT_EQ(model.DelayFactor(), 7);
    EXPECT_EQ(model.FileOffset(), 0);
    EXPECT_EQ(model.DeviceOffset(), 0u);

    CRegistryKey key;
    ASSERT_TRUE(key.Open(HKEY_CURRENT_USER, HeaderModel::kKey));
    DWORD value = 99;
    EXPECT_TRUE(key.ReadDword("DoubleWrite", value));
    EXPECT_EQ(value, 1u);
    EXPECT_TRUE(key.ReadDword("Write", value));
    EXPECT_EQ(value, 0u);
}

TEST_F(HeaderModelTest, StoredValuesOutOfRangeFallBackToDefaults)
{
    {
        CRegistryKey key;
        key.Create(HKEY_CURRENT_USER, HeaderModel::kKey);
        key.WriteDword("SpeedLevel", 9);
        key.WriteDword("DelayFactor", 0);
    }
    HeaderModel model;
    EXPECT_EQ(model.SpeedLevel(), 5);
    EXPECT_EQ(model.DelayFactor(), 1);
}

TEST_F(HeaderModelTest, SpeedLevelAndDelayFactorHaveTheirRanges)
{
    HeaderModel model;
    const char* texts[] = { "-2", "-1", "0", "+1", "+2" };
    for (int level = 1; level <= 5; ++level) {
        EXPECT_TRUE(model.SetSpeedLevel(level));
        EXPECT_EQ(model.SpeedLevel(), level);
        EXPECT_STREQ(HeaderModel::SpeedLevelText(level), texts[level - 1]);
    }
    for (int bad : { 0, 6, -1 }) {
        EXPECT_FALSE(model.SetSpeedLevel(bad));
        EXPECT_STREQ(HeaderModel::SpeedLevelText(bad), "");
    }
    EXPECT_EQ(model.SpeedLevel(), 5);
    EXPECT_TRUE(model.SetDelayFactor(10));
    EXPECT_FALSE(model.SetDelayFactor(11));
    EXPECT_FALSE(model.SetDelayFactor(0));
    EXPECT_EQ(model.DelayFactor(), 10);
}

TEST_F(HeaderModelTest, ASnapshotIgnoresLaterEditsFromAnyThread)
{
    HeaderModel model;
    model.SetFileOffsetText("10");
    const HeaderSnapshot snapshot = model.Snapshot();
    model.SetFileOffsetText("20");
    model.SetDeviceOffsetText("30");
    model.SetOption(HeaderOption::Write, false);
    model.SetDelayFactor(4);
    std::thread worker([&] { model.SetSpeedLevel(1); });
    worker.join();
    EXPECT_EQ(model.SpeedLevel(), 1);
    EXPECT_EQ(snapshot.fileOffset, 0x10);
    EXPECT_EQ(snapshot.deviceOffset, 0u);
    EXPECT_TRUE(snapshot.IsAutoStepEnabled(kStepWrite));
    EXPECT_EQ(snapshot.delayFactor, 1);
    EXPECT_EQ(snapshot.speedLevel, 5);
}

} // namespace
