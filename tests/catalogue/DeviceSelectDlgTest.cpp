// The selection dialog offscreen, driven as a user drives it: clicks, keys and buttons.

#include "catalogue/ui/DeviceSelectDlg.h"

#include "catalogue/DeviceClass.h"
#include "catalogue/DeviceClassTable.h"
#include "catalogue/DeviceLibrary.h"
#include "catalogue/DeviceLists.h"
#include "controls/ui/XColorStatic.h"
#include "link/LinkLease.h"
#include "platform/Folders.h"
#include "shell/RegistryKey.h"

#include "support/TestEnvironment.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

using Lines = std::vector<std::string>;

// Five devices; 27C512 brings its own package, adapter and programmer.
const char* const kList[] = {
    R"(Name="27C256" ID="8F04" Class="27C256" Category="EPROM" MFG="AMD")",
    R"(Name="AM29F010" ID="0120" Class="MX28F1000P" Category="FLASH" MFG="AMD")",
    R"(Name="AT89C51" ID="1E51" Class="AT89C55WD" Category="MCU" MFG="ATMEL")",
    R"(Name="27C512" ID="XXXX" Class="27C512" Category="EPROM" MFG="ATMEL" Package="PLCC32" Adapter="PLCC32 to DIP32" Platform="ZV-D")",
    R"(Name="24C02" ID="XXXX" Class="24C02" Category="SERIAL_EPROM" MFG="ATMEL")",
};

void WriteList(const std::string& path, const std::vector<std::string>& lines)
{
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    for (const auto& line : lines)
        file.write((line + "\r\n").c_str());
}

class DeviceSelectDlgTest : public testing::Test {
protected:
    void SetUp() override
    {
        InitDeviceClassTable();
        g_DeviceLibrary.FreeAll();
        const std::string path = m_dir.path().toStdString() + "/devices.txt";
        WriteList(path, std::vector<std::string>(std::begin(kList), std::end(kList)));
        ASSERT_TRUE(g_DeviceLibrary.LoadDeviceList(path));
        ASSERT_EQ(g_DeviceRecords.size(), 5u);
        g_CurrentDevice = g_DeviceClassTable[41];
        g_PreviousDevice = g_DeviceClassTable[42];
        g_nCurrentClass = 41;
    }
    void TearDown() override
    {
        g_DeviceLibrary.FreeAll();
        g_CurrentDevice = CDeviceClass();
        g_PreviousDevice = CDeviceClass();
        g_nCurrentClass = kNoDeviceClass;
        g_strFavoriteDevices.clear();
    }

    static QListView* List(CDeviceSelectDlg& dlg, int id) { return static_cast<QListView*>(dlg.GetDlgItem(id)); }
    static Lines Rows(QListView* list)
    {
        Lines rows;
        for (int r = 0; r < list->model()->rowCount(); ++r)
            rows.push_back(list->model()->index(r, 0).data().toString().toStdString());
        return rows;
    }
    static int RowOf(QListView* list, const std::string& name)
    {
        const Lines rows = Rows(list);
        for (std::size_t i = 0; i < rows.size(); ++i)
            if (rows[i] == name)
                return static_cast<int>(i);
        return -1;
    }
    static void ClickRow(QListView* list, int row, bool twice = false)
    {
        const QModelIndex index = list->model()->index(row, 0);
        list->scrollTo(index);
        const QPoint at = list->visualRect(index).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        if (twice) // the second press of a double-click arrives as a double-click event
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    }
    static void Open(CDeviceSelectDlg& dlg)
    {
        dlg.OnInitDialog();
        dlg.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    }
    static std::string Text(CDeviceSelectDlg& dlg, int id)
    {
        QWidget* w = dlg.GetDlgItem(id);
        if (auto* l = qobject_cast<QLabel*>(w))
            return l->text().toStdString();
        if (auto* b = qobject_cast<QAbstractButton*>(w))
            return b->text().toStdString();
        return {};
    }

    QTemporaryDir m_dir;
    tonrig::test::ScopedSettingsFile settings;
};

TEST_F(DeviceSelectDlgTest, OpeningShowsEverythingAndSelectsNothing)
{
    CDeviceSelectDlg dlg;
    Open(dlg);
    EXPECT_EQ(Text(dlg, CDeviceSelectDlg::IDC_OK), "Select");
    EXPECT_EQ(Text(dlg, CDeviceSelectDlg::IDC_CANCEL), "Cancel");
    EXPECT_EQ(Text(dlg, CDeviceSelectDlg::IDC_TYPE_ALL), "All");
    EXPECT_EQ(Text(dlg, CDeviceSelectDlg::IDC_TYPE_EPROM), "EPROM");
    EXPECT_EQ(Text(dlg, CDeviceSelectDlg::IDC_TITLE), "Device Selection/Search");
    EXPECT_TRUE(static_cast<QRadioButton*>(dlg.GetDlgItem(CDeviceSelectDlg::IDC_TYPE_ALL))->isChecked());
    EXPECT_FALSE(dlg.GetDlgItem(CDeviceSelectDlg::IDC_TYPE_CMOS)->isEnabled());
    EXPECT_FALSE(dlg.GetDlgItem(CDeviceSelectDlg::IDC_REQUEST)->isEnabled());
    EXPECT_EQ(Rows(List(dlg, CDeviceSelectDlg::IDC_MANUFACTURERS)), (Lines { "AMD", "ATMEL" }));
    EXPECT_EQ(
        Rows(List(dlg, CDeviceSelectDlg::IDC_DEVICES)), (Lines { "24C02", "27C256", "27C512", "AM29F010", "AT89C51" }));
    EXPECT_EQ(List(dlg, CDeviceSelectDlg::IDC_DEVICES)->currentIndex().row(), 0);
    EXPECT_EQ(g_CurrentDevice.m_strName, "24C00");
    EXPECT_EQ(dlg.m_nSelectedClass, 41);
    EXPECT_EQ(Text(dlg, CDeviceSelectDlg::IDC_VALUE_ADAPTER), "");
    EXPECT_EQ(Text(dlg, CDeviceSelectDlg::IDC_VALUE_DEVICE), "-");
}

TEST_F(DeviceSelectDlgTest, AUserHighlightMakesTheDeviceCurrentAndShowsItsFacts)
{
    CDeviceSelectDlg dlg;
    Open(dlg);
    QListView* devices = List(dlg, CDeviceSelectDlg::IDC_DEVICES);
    ClickRow(devices, RowOf(devices, "27C512"));
    EXPECT_EQ(g_CurrentDevice.m_strName, "27C512");
    EXPECT_EQ(g_PreviousDevice.m_strName, "24C00");
    EXPECT_EQ(Text(dlg, CDeviceSelectDlg::IDC_VALUE_DEVICE), "27C512");
    EXPECT_EQ(Text(dlg, CDeviceSelectDlg::IDC_VALUE_MANUFACTURER), "ATMEL");
    EXPECT_EQ(Text(dlg, CDeviceSelectDlg::IDC_VALUE_PACKAGE), "PLCC32");
    EXPECT_EQ(Text(dlg, CDeviceSelectDlg::IDC_VALUE_ADAPTER), "PLCC32 to DIP32");
    EXPECT_EQ(Text(dlg, CDeviceSelectDlg::IDC_VALUE_PROGRAMMER), "ZV-D");
    EXPECT_EQ(dlg.m_nSelectedClass, 131);
    EXPECT_EQ(g_CurrentDevice.m_strAdapter, "PLCC32 to DIP32");
    auto colour = [&](int id) { return static_cast<CXColorStatic*>(dlg.GetDlgItem(id))->GetTextColor(); };
    EXPECT_EQ(colour(CDeviceSelectDlg::IDC_VALUE_PACKAGE), 0x9600C8u);
    for (int id : { CDeviceSelectDlg::IDC_VALUE_DEVICE, CDeviceSelectDlg::IDC_VALUE_MANUFACTURER,
             CDeviceSelectDlg::IDC_VALUE_ADAPTER, CDeviceSelectDlg::IDC_VALUE_PROGRAMMER, CDeviceSelectDlg::IDC_TIPS })
        EXPECT_EQ(colour(id), 0x960064u) << id;

    // The line that opening highlighted becomes current when the user clicks it.
    ClickRow(devices, 0);
    EXPECT_EQ(g_CurrentDevice.m_strName, "24C02");
    EXPECT_EQ(dlg.m_nSelectedClass, 44);
    EXPECT_EQ(g_PreviousDevice.m_strName, "27C512");
    // Without a package, adapter or programmer of its own the device shows its class's package
    // and the defaults.
    EXPECT_EQ(Text(dlg, CDeviceSelectDlg::IDC_VALUE_PACKAGE), "DIP8");
    EXPECT_EQ(Text(dlg, CDeviceSelectDlg::IDC_VALUE_ADAPTER), "-");
    EXPECT_EQ(Text(dlg, CDeviceSelectDlg::IDC_VALUE_PROGRAMMER), "ZV-CQ");
}

TEST_F(DeviceSelectDlgTest, CancelEscAndTheCloseBoxEachPutBothDevicesBack)
{
    const std::function<void(CDeviceSelectDlg&)> ways[] = {
        [](CDeviceSelectDlg& d) { static_cast<QPushButton*>(d.GetDlgItem(CDeviceSelectDlg::IDC_CANCEL))->click(); },
        [](CDeviceSelectDlg& d) { QTest::keyClick(&d, Qt::Key_Escape); },
        [](CDeviceSelectDlg& d) { d.close(); },
    };
    int n = 0;
    for (const auto& way : ways) {
        SCOPED_TRACE(n++);
        g_CurrentDevice = g_DeviceClassTable[41];
        g_PreviousDevice = g_DeviceClassTable[42];
        CDeviceSelectDlg dlg;
        Open(dlg);
        QListView* devices = List(dlg, CDeviceSelectDlg::IDC_DEVICES);
        ClickRow(devices, RowOf(devices, "27C512"));
        ClickRow(devices, RowOf(devices, "AT89C51"));
        ASSERT_EQ(g_CurrentDevice.m_strName, "AT89C51");
        way(dlg);
        EXPECT_EQ(dlg.result(), QDialog::Rejected);
        EXPECT_EQ(dlg.m_bCancelled, 1);
        EXPECT_EQ(g_CurrentDevice.m_strName, "24C00");
        EXPECT_EQ(g_PreviousDevice.m_strName, "24C01");
    }
}

TEST_F(DeviceSelectDlgTest, ADoubleClickAcceptsWithTheLinesClass)
{
    CDeviceSelectDlg dlg;
    Open(dlg);
    QListView* devices = List(dlg, CDeviceSelectDlg::IDC_DEVICES);
    ClickRow(devices, RowOf(devices, "AM29F010"), true);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.m_bCancelled, 0);
    EXPECT_EQ(dlg.m_nSelectedClass, 250);
    EXPECT_EQ(g_CurrentDevice.m_strManufacturer, "AMD");
    EXPECT_EQ(g_CurrentDevice.m_strName, "AM29F010");
    EXPECT_EQ(g_PreviousDevice.m_strName, "AM29F010");
}

TEST_F(DeviceSelectDlgTest, EnterAfterASearchTakesTheHitTheListShows)
{
    CDeviceSelectDlg dlg;
    Open(dlg);
    QListView* devices = List(dlg, CDeviceSelectDlg::IDC_DEVICES);
    // A device chosen before the search.
    ClickRow(devices, RowOf(devices, "27C512"));
    ASSERT_EQ(g_CurrentDevice.m_strName, "27C512");
    auto* search = static_cast<QLineEdit*>(dlg.GetDlgItem(CDeviceSelectDlg::IDC_SEARCH));
    QTest::keyClicks(search, "at89c51");
    EXPECT_EQ(Rows(devices), Lines { "AT89C51" });
    EXPECT_EQ(devices->currentIndex().row(), 0);
    QTest::keyClick(search, Qt::Key_Return); // Enter presses Select
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.m_bCancelled, 0);
    ASSERT_GE(dlg.m_nSelectedClass, 0);
    ASSERT_LT(dlg.m_nSelectedClass, kNoDeviceClass);
    EXPECT_EQ(g_DeviceClassTable[static_cast<std::size_t>(dlg.m_nSelectedClass)].m_strName, "AT89C55WD");
    EXPECT_EQ(g_CurrentDevice.m_strName, "AT89C51");
    EXPECT_EQ(g_CurrentDevice.m_strManufacturer, "ATMEL");
}

TEST_F(DeviceSelectDlgTest, EnterAfterASearchWithoutAHitLeavesTheDialogOpen)
{
    CDeviceSelectDlg dlg;
    Open(dlg);
    auto* search = static_cast<QLineEdit*>(dlg.GetDlgItem(CDeviceSelectDlg::IDC_SEARCH));
    QTest::keyClicks(search, "zz");
    EXPECT_TRUE(Rows(List(dlg, CDeviceSelectDlg::IDC_DEVICES)).empty());
    QTest::keyClick(search, Qt::Key_Return);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(dlg.m_bCancelled, 1);
    EXPECT_EQ(dlg.m_nSelectedClass, 41);
    EXPECT_EQ(g_CurrentDevice.m_strName, "24C00");

    // Another search finds one; Cancel still puts the opening device back.
    search->clear();
    QTest::keyClicks(search, "27C5");
    QTest::keyClick(search, Qt::Key_Return);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(g_CurrentDevice.m_strName, "27C512");
}

TEST_F(DeviceSelectDlgTest, CancelAfterASearchPutsTheDeviceChosenBeforeBack)
{
    CDeviceSelectDlg dlg;
    Open(dlg);
    QListView* devices = List(dlg, CDeviceSelectDlg::IDC_DEVICES);
    ClickRow(devices, RowOf(devices, "AM29F010"));
    auto* search = static_cast<QLineEdit*>(dlg.GetDlgItem(CDeviceSelectDlg::IDC_SEARCH));
    QTest::keyClicks(search, "24C");
    ClickRow(devices, 0);
    ASSERT_EQ(g_CurrentDevice.m_strName, "24C02");
    static_cast<QPushButton*>(dlg.GetDlgItem(CDeviceSelectDlg::IDC_CANCEL))->click();
    EXPECT_EQ(dlg.m_bCancelled, 1);
    EXPECT_EQ(g_CurrentDevice.m_strName, "24C00");
    EXPECT_EQ(g_PreviousDevice.m_strName, "24C01");
}

TEST_F(DeviceSelectDlgTest, SelectWithNothingHighlightedKeepsTheClass)
{
    // Opening highlights line 0 of the devices; a type without devices highlights none.
    CDeviceSelectDlg dlg;
    Open(dlg);
    QTest::mouseClick(dlg.GetDlgItem(CDeviceSelectDlg::IDC_TYPE_SRAM), Qt::LeftButton);
    ASSERT_TRUE(Rows(List(dlg, CDeviceSelectDlg::IDC_DEVICES)).empty());
    static_cast<QPushButton*>(dlg.GetDlgItem(CDeviceSelectDlg::IDC_OK))->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.m_bCancelled, 0);
    EXPECT_EQ(dlg.m_nSelectedClass, 41);
    EXPECT_EQ(g_CurrentDevice.m_strName, "24C00");
}

TEST_F(DeviceSelectDlgTest, TypingInATypeViewSwitchesToAllAndEmptiesTheBox)
{
    CDeviceSelectDlg dlg;
    Open(dlg);
    QTest::mouseClick(dlg.GetDlgItem(CDeviceSelectDlg::IDC_TYPE_EPROM), Qt::LeftButton);
    EXPECT_EQ(Rows(List(dlg, CDeviceSelectDlg::IDC_DEVICES)), Lines { "27C256" });
    EXPECT_EQ(Rows(List(dlg, CDeviceSelectDlg::IDC_MANUFACTURERS)), (Lines { "AMD", "ATMEL" }));
    auto* search = static_cast<QLineEdit*>(dlg.GetDlgItem(CDeviceSelectDlg::IDC_SEARCH));
    QTest::keyClicks(search, "2");
    EXPECT_EQ(search->text(), "");
    EXPECT_TRUE(static_cast<QRadioButton*>(dlg.GetDlgItem(CDeviceSelectDlg::IDC_TYPE_ALL))->isChecked());
    EXPECT_EQ(Rows(List(dlg, CDeviceSelectDlg::IDC_DEVICES)).size(), 5u);
    QTest::keyClicks(search, "27c");
    EXPECT_EQ(Rows(List(dlg, CDeviceSelectDlg::IDC_DEVICES)), (Lines { "27C256", "27C512" }));
    EXPECT_EQ(g_CurrentDevice.m_strName, "24C00");
}

TEST_F(DeviceSelectDlgTest, FavouritesSurviveAReopen)
{
    {
        CDeviceSelectDlg dlg;
        Open(dlg);
        QListView* devices = List(dlg, CDeviceSelectDlg::IDC_DEVICES);
        for (const char* name : { "AT89C51", "27C256", "24C02" }) {
            ClickRow(devices, RowOf(devices, name));
            static_cast<QPushButton*>(dlg.GetDlgItem(CDeviceSelectDlg::IDC_ADD_FAVORITE))->click();
        }
        QListView* favorites = List(dlg, CDeviceSelectDlg::IDC_FAVORITES);
        EXPECT_EQ(Rows(favorites), (Lines { "24C02", "27C256", "AT89C51" }));
        ClickRow(favorites, 1);
        EXPECT_EQ(g_CurrentDevice.m_strName, "27C256");
        EXPECT_EQ(devices->selectionModel()->selectedIndexes().size(), 0);
        static_cast<QPushButton*>(dlg.GetDlgItem(CDeviceSelectDlg::IDC_REMOVE_FAVORITE))->click();
        EXPECT_EQ(Rows(favorites), (Lines { "24C02", "AT89C51" }));
        // The favourite highlighted after "<<" is not made current.
        EXPECT_EQ(favorites->currentIndex().row(), 1);
        EXPECT_EQ(g_CurrentDevice.m_strName, "27C256");
        dlg.reject();
    }
    CDeviceSelectDlg again;
    Open(again);
    EXPECT_EQ(Rows(List(again, CDeviceSelectDlg::IDC_FAVORITES)), (Lines { "24C02", "AT89C51" }));
    EXPECT_EQ(g_strFavoriteDevices, "AT89C51,24C02,");
}

TEST_F(DeviceSelectDlgTest, DoModalRunsTheDialogAndTheRequestHookWhenSet)
{
    int requests = 0;
    CDeviceSelectDlg::SetRequestNewChipHook([&](CDeviceSelectDlg&) { ++requests; });
    CDeviceSelectDlg dlg;
    QTimer::singleShot(0, &dlg, [&] {
        auto* request = static_cast<QPushButton*>(dlg.GetDlgItem(CDeviceSelectDlg::IDC_REQUEST));
        EXPECT_TRUE(request->isEnabled());
        request->click();
        QListView* devices = List(dlg, CDeviceSelectDlg::IDC_DEVICES);
        ClickRow(devices, RowOf(devices, "27C256"));
        static_cast<QPushButton*>(dlg.GetDlgItem(CDeviceSelectDlg::IDC_OK))->click();
    });
    EXPECT_EQ(dlg.DoModal(), QDialog::Accepted);
    CDeviceSelectDlg::SetRequestNewChipHook({});
    EXPECT_EQ(requests, 1);
    EXPECT_EQ(dlg.m_nSelectedClass, 130);
    EXPECT_EQ(g_PreviousDevice.m_strName, "27C256");
}

TEST_F(DeviceSelectDlgTest, AReloadAskedForWhileTheDialogIsOpenRunsWhenItCloses)
{
    SetShippedDeviceListSource([] { return std::vector<ShippedDeviceList> {}; });
    const std::string folder = GetAppDataFolder();
    WriteList(folder + "/devices.txt", { R"(Name="NEWCHIP" ID="XXXX" Class="27C256" Category="EPROM" MFG="NEW")" });
    {
        CDeviceSelectDlg dlg;
        Open(dlg);
        const CDeviceRecord* first = g_DeviceRecords[0].get();
        LoadDeviceLists(true); // as an identification in the dialog's event loop would
        ASSERT_EQ(g_DeviceRecords.size(), 5u);
        EXPECT_EQ(g_DeviceRecords[0].get(), first);
        QListView* devices = List(dlg, CDeviceSelectDlg::IDC_DEVICES);
        ClickRow(devices, RowOf(devices, "27C512"));
        EXPECT_EQ(g_CurrentDevice.m_strAdapter, "PLCC32 to DIP32");
        dlg.reject();
        ASSERT_EQ(g_DeviceRecords.size(), 1u);
        EXPECT_EQ(g_DeviceRecords[0]->m_strName, "NEWCHIP");
    }
    QFile::remove(QString::fromStdString(folder + "/devices.txt"));
    QFile::remove(QString::fromStdString(folder + "/customdevices.txt"));
    SetShippedDeviceListSource({});
}

TEST_F(DeviceSelectDlgTest, NothingIsMadeCurrentWhileAWorkerHoldsTheLink)
{
    CDeviceSelectDlg dlg;
    Open(dlg);
    QListView* devices = List(dlg, CDeviceSelectDlg::IDC_DEVICES);
    ASSERT_TRUE(g_LinkLease.Take(LeaseHolder::Setup));
    ClickRow(devices, RowOf(devices, "27C512"));
    EXPECT_EQ(g_CurrentDevice.m_strName, "24C00");
    EXPECT_EQ(dlg.m_nSelectedClass, 41);
    EXPECT_EQ(Text(dlg, CDeviceSelectDlg::IDC_VALUE_DEVICE), "-");
    g_LinkLease.Release(LeaseHolder::Setup);
    ClickRow(devices, RowOf(devices, "AT89C51"));
    EXPECT_EQ(g_CurrentDevice.m_strName, "AT89C51");
    EXPECT_EQ(Text(dlg, CDeviceSelectDlg::IDC_VALUE_DEVICE), "AT89C51");
}

TEST_F(DeviceSelectDlgTest, AManufacturerClickShowsItsDevicesAndMakesTheFirstCurrent)
{
    CDeviceSelectDlg dlg;
    Open(dlg);
    // Line 0 is highlighted from the opening; a click on it still picks that manufacturer.
    ClickRow(List(dlg, CDeviceSelectDlg::IDC_MANUFACTURERS), 0);
    EXPECT_EQ(Rows(List(dlg, CDeviceSelectDlg::IDC_DEVICES)), (Lines { "27C256", "AM29F010" }));
    EXPECT_EQ(g_CurrentDevice.m_strName, "27C256");
    EXPECT_EQ(Text(dlg, CDeviceSelectDlg::IDC_VALUE_MANUFACTURER), "AMD");
    ClickRow(List(dlg, CDeviceSelectDlg::IDC_MANUFACTURERS), 1);
    EXPECT_EQ(Rows(List(dlg, CDeviceSelectDlg::IDC_DEVICES)), (Lines { "24C02", "27C512", "AT89C51" }));
    EXPECT_EQ(g_CurrentDevice.m_strName, "24C02");
    EXPECT_EQ(g_PreviousDevice.m_strName, "27C256");
}

} // namespace
