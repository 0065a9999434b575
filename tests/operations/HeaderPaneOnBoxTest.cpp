// The device header pane as devices of the shipped lists are chosen one after the other and set up
// on the virtual programmer: each shows its own package and adapter, also after a setup that
// stops early.

#include "operations/ui/TonrigView.h"

#include "catalogue/DeviceLibrary.h"
#include "catalogue/DeviceLists.h"
#include "catalogue/DeviceSelection.h"
#include "operations/ui/View2Header.h"
#include "operations/ui/ViewSetup.h"
#include "platform/Folders.h"

#include "ViewOnBoxFixture.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using tonrig::test::ProcessEventsUntil;

namespace {

class HeaderPaneOnBox : public tonrig::test::ViewOnBoxFixture {
protected:
    void SetUp() override
    {
        ViewOnBoxFixture::SetUp();
        if (HasFatalFailure())
            return;
        const QString folder = QString::fromStdString(GetAppDataFolder());
        for (const char* name : { "/devices.txt", "/devicesQ8U.txt", "/customdevices.txt" })
            QFile::remove(folder + name);
        SetShippedDeviceListSource({});
        LoadDeviceLists(true);
    }
    void TearDown() override
    {
        ViewOnBoxFixture::TearDown();
        g_DeviceLibrary.FreeAll();
        g_PreviousDevice = CDeviceClass();
    }

    // The device chosen in the selection dialog and set up as its Select does, then one tick of
    // the pane's timer.
    void Choose(const std::string& name)
    {
        bool found = false;
        for (const DeviceSelectEntry& entry : DeviceSelectEntriesFromRecords()) {
            if (entry.name != name)
                continue;
            found = true;
            ASSERT_TRUE(SelectDeviceEntry(entry));
            view->StartDeviceSetup(entry.classIndex, 1, 1, 1);
            break;
        }
        ASSERT_TRUE(found) << name;
        ASSERT_TRUE(ProcessEventsUntil([&] { return Idle() && !view->DeviceSetupOwner().Setup().Busy(); }, 30s));
        header->Refresh();
    }
};

TEST_F(HeaderPaneOnBox, EachDeviceShowsItsOwnPackageAndAdapter)
{
    struct Step {
        const char* device;
        const char* package;
        const char* adapter;
        const char* box; // the setup's box, if it shows one
    };
    const Step steps[] = {
        { "AT24C16(SOIC8)", "Package: SOIC8", "Adapter: SOIC8 to DIP8 adapter", "" },
        // No package of its own after one with a package: its class's.
        { "AT24C16", "Package: DIP8", "Adapter: No adapter required for DIP chip.", "" },
        { "PIC18F2550", "Package: DIP28", "Adapter: No adapter required for DIP chip.", "" },
        { "PIC12F508", "Package: DIP8", "Adapter: No adapter required for DIP chip.", "" },
        // Its setup stops at the package: the pane still shows this device, not the last one.
        { "PIC18F97J60", "Package: TQFP100", "Adapter: TQFP100 adapter", "The package type is not supported!" },
        { "EPM7064S", "Package: PLCC44", "Adapter: PLCC44 adapter", "" },
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.device);
        boxes.Clear();
        Choose(step.device);
        if (HasFatalFailure())
            return;
        EXPECT_EQ(header->DeviceText(), step.device);
        EXPECT_EQ(header->PackageText(), step.package);
        EXPECT_EQ(header->AdapterText(), step.adapter);
        std::vector<std::string> expected;
        if (*step.box)
            expected.push_back(std::string(step.box) + " | ");
        EXPECT_EQ(BoxTexts(), expected);
    }
}

} // namespace
