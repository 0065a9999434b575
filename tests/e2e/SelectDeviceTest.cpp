// Choosing a chip the way a user does: Ctrl+D in the main window, type part of its name,
// highlight it, Select (or Cancel), over the shipped device list.

#include "catalogue/DeviceClass.h"
#include "catalogue/DeviceClassTable.h"
#include "catalogue/DeviceLibrary.h"
#include "catalogue/DeviceLists.h"
#include "catalogue/ui/DeviceSelectDlg.h"
#include "operations/OperationState.h"
#include "operations/ui/TonrigView.h"
#include "platform/Folders.h"
#include "shell/ui/MainFrame.h"
#include "shell/ui/TonrigApp.h"

#include "support/TestEnvironment.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

class SelectDevice : public testing::Test {
protected:
    void SetUp() override
    {
        // A fresh application-data folder gets the shipped lists installed.
        const QString folder = QString::fromStdString(GetAppDataFolder());
        for (const char* name : { "/devices.txt", "/devicesQ8U.txt", "/customdevices.txt" })
            QFile::remove(folder + name);
        SetShippedDeviceListSource({});
        ASSERT_TRUE(app.InitInstance(true));
        InitDeviceClassTable();
        LoadDeviceLists(true);
        ASSERT_NE(g_DeviceLibrary.FindDevice("27C256"), nullptr);
        g_CurrentDevice = g_DeviceClassTable[44];
        g_PreviousDevice = g_DeviceClassTable[41];
        QApplication::setActiveWindow(app.MainFrame());
    }
    void TearDown() override
    {
        g_DeviceLibrary.FreeAll();
        g_CurrentDevice = CDeviceClass();
        g_PreviousDevice = CDeviceClass();
    }

    // Ctrl+D, then `inDialog` inside the dialog's own event loop.
    void ChooseWith(const std::function<void(CDeviceSelectDlg&)>& inDialog)
    {
        bool ran = false;
        QTimer::singleShot(0, [&] {
            auto* dlg = qobject_cast<CDeviceSelectDlg*>(QApplication::activeModalWidget());
            ASSERT_NE(dlg, nullptr);
            ran = true;
            auto* search = static_cast<QLineEdit*>(dlg->GetDlgItem(CDeviceSelectDlg::IDC_SEARCH));
            QTest::keyClicks(search, "27c256");
            auto* devices = static_cast<QListView*>(dlg->GetDlgItem(CDeviceSelectDlg::IDC_DEVICES));
            int row = -1;
            for (int r = 0; r < devices->model()->rowCount(); ++r)
                if (devices->model()->index(r, 0).data().toString() == "27C256")
                    row = r;
            ASSERT_GE(row, 0);
            const QModelIndex index = devices->model()->index(row, 0);
            devices->scrollTo(index);
            QTest::mouseClick(devices->viewport(), Qt::LeftButton, {}, devices->visualRect(index).center());
            inDialog(*dlg);
        });
        CTonrigView* view = app.MainFrame()->MainView();
        view->MessageLog().OnClearAll();
        view->MessageLog().setFocus();
        QTest::keyClick(&view->MessageLog(), Qt::Key_D, Qt::ControlModifier);
        EXPECT_TRUE(ran);
    }
    std::string Log() const { return app.MainFrame()->MainView()->MessageLog().GetText(); }

    tonrig::test::ScopedSettingsFile settings;
    CTonrigApp app;
};

TEST_F(SelectDevice, SelectMakesTheChipCurrentAndSetsTheProgrammerUpForIt)
{
    ChooseWith(
        [](CDeviceSelectDlg& dlg) { QTest::mouseClick(dlg.GetDlgItem(CDeviceSelectDlg::IDC_OK), Qt::LeftButton); });
    const CDeviceRecord* record = g_DeviceLibrary.FindDevice("27C256");
    EXPECT_EQ(record->m_nClassIndex, 130);
    EXPECT_EQ(g_CurrentDevice.m_strName, "27C256");
    EXPECT_EQ(g_CurrentDevice.m_nType, 1);
    EXPECT_EQ(g_CurrentDevice.m_nCodeSize,
        record->m_nCodeSize > 0 ? record->m_nCodeSize : g_DeviceClassTable[130].m_nCodeSize);
    if (record->m_strManufacturer != "-1") {
        EXPECT_EQ(g_CurrentDevice.m_strManufacturer, record->m_strManufacturer);
    }
    if (record->m_strId != "-1") {
        EXPECT_EQ(g_CurrentDevice.m_strId, record->m_strId);
    }
    EXPECT_EQ(g_PreviousDevice.m_strName, "27C256");
    EXPECT_NE(Log().find("Device setup (class 130)"), std::string::npos) << Log();
}

TEST_F(SelectDevice, CancelLeavesThePreviousChipAndSetsNothingUp)
{
    ChooseWith([](CDeviceSelectDlg& dlg) {
        ASSERT_EQ(g_CurrentDevice.m_strName, "27C256"); // the highlight made it current meanwhile
        QTest::mouseClick(dlg.GetDlgItem(CDeviceSelectDlg::IDC_CANCEL), Qt::LeftButton);
    });
    EXPECT_EQ(g_CurrentDevice.m_strName, g_DeviceClassTable[44].m_strName);
    EXPECT_EQ(g_PreviousDevice.m_strName, g_DeviceClassTable[41].m_strName);
    EXPECT_EQ(Log().find("Device setup"), std::string::npos) << Log();
}

} // namespace
