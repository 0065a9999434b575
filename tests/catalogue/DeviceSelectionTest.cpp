// Making a listed device current, and taking the current device back.

#include "catalogue/DeviceSelection.h"

#include "catalogue/DeviceClass.h"
#include "catalogue/DeviceClassTable.h"
#include "catalogue/DeviceRecord.h"
#include "link/LinkLease.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

class DeviceSelectionTest : public testing::Test {
protected:
    void SetUp() override
    {
        InitDeviceClassTable();
        g_CurrentDevice = g_DeviceClassTable[41];
        g_PreviousDevice = g_DeviceClassTable[42];
        record.m_strName = "AT27C256R";
        record.m_strManufacturer = "ATMEL";
        record.m_strAdapter = "PLCC32 adapter";
        record.m_nClassIndex = 130;
        record.m_nCategory = 1;
    }
    void TearDown() override
    {
        g_CurrentDevice = CDeviceClass();
        g_PreviousDevice = CDeviceClass();
    }
    CDeviceRecord record;
};

TEST_F(DeviceSelectionTest, AnEntryBecomesItsClassWithItsOwnRecordLaidOver)
{
    const DeviceSelectEntry entry { record.m_strName, record.m_strManufacturer, 1, 130, &record };
    ASSERT_TRUE(SelectDeviceEntry(entry));
    EXPECT_EQ(g_PreviousDevice.m_strName, g_DeviceClassTable[41].m_strName);
    EXPECT_EQ(g_CurrentDevice.m_strName, "AT27C256R");
    EXPECT_EQ(g_CurrentDevice.m_nCodeSize, g_DeviceClassTable[130].m_nCodeSize);
    const CurrentDeviceFacts facts = GetCurrentDeviceFacts();
    EXPECT_EQ(facts.name, "AT27C256R");
    EXPECT_EQ(facts.manufacturer, "ATMEL");
    EXPECT_EQ(facts.adapter, "PLCC32 adapter");
    EXPECT_EQ(facts.platform, g_DeviceClassTable[130].m_strPlatform);
    EXPECT_EQ(g_DeviceClassTable[130].m_strName, "27C256") << "the table is never written";
}

TEST_F(DeviceSelectionTest, NothingChangesForABadClassABusyLinkOrAnotherThread)
{
    const std::string before = g_CurrentDevice.m_strName;
    EXPECT_FALSE(SelectDeviceEntry({ "X", "Y", 1, kDeviceClassCount, &record }));
    EXPECT_FALSE(SelectDeviceEntry({ "X", "Y", 1, -1, &record }));
    ASSERT_TRUE(g_LinkLease.Take(LeaseHolder::Identify));
    EXPECT_FALSE(SelectDeviceEntry({ "X", "Y", 1, 130, &record }));
    g_LinkLease.Release(LeaseHolder::Identify);
    bool fromWorker = true;
    std::thread worker([&] { fromWorker = SelectDeviceEntry({ "X", "Y", 1, 130, &record }); });
    worker.join();
    EXPECT_FALSE(fromWorker);
    EXPECT_EQ(g_CurrentDevice.m_strName, before);
    EXPECT_EQ(g_PreviousDevice.m_strName, g_DeviceClassTable[42].m_strName);
}

TEST_F(DeviceSelectionTest, ASnapshotPutsBothDevicesBack)
{
    const CurrentDeviceSnapshot snapshot;
    ASSERT_TRUE(SelectDeviceEntry({ record.m_strName, "ATMEL", 1, 130, &record }));
    ASSERT_TRUE(SelectDeviceEntry({ "PIC", "MICROCHIP", 4, 313, nullptr }));
    ASSERT_TRUE(g_CurrentDevice.m_pPicConfig);
    snapshot.Restore();
    EXPECT_EQ(g_CurrentDevice.m_strName, g_DeviceClassTable[41].m_strName);
    EXPECT_EQ(g_PreviousDevice.m_strName, g_DeviceClassTable[42].m_strName);
    EXPECT_FALSE(g_CurrentDevice.m_pPicConfig);
}

} // namespace
