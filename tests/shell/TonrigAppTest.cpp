#include "shell/ui/TonrigApp.h"

#include "catalogue/DeviceLibrary.h"
#include "catalogue/ui/DeviceSelectDlg.h"
#include "link/LinkLease.h"
#include "operations/DeviceSetup.h"
#include "operations/OperationState.h"
#include "operations/ui/TonrigView.h"
#include "shell/MenuTable.h"
#include "shell/RecentFileList.h"
#include "shell/ui/AboutDlg.h"
#include "shell/ui/MainFrame.h"
#include "support/RecordingMessageBox.h"
#include "support/TestEnvironment.h"

#include "platform/SettingsStore.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

void Drain()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

class Application : public testing::Test {
protected:
    // Each test starts a program of its own: the device records of an earlier one would come
    // back as duplicates when its view loads the lists again.
    void SetUp() override { g_DeviceLibrary.FreeAll(); }
    void TearDown() override { g_nOperationState = kStateIdle; }
    tonrig::test::ScopedSettingsFile settings;
};

TEST_F(Application, OpenRequestsWithoutAViewAreDropped)
{
    {
        CTonrigApp app;
        app.OpenDocumentFile("/data/before.bin"); // no view yet
        Drain();
        ASSERT_TRUE(app.InitInstance(false));
        app.OpenDocumentFile("/data/late.bin"); // queued; the view goes before it runs
    }
    EXPECT_EQ(g_pMainView, nullptr);
    EXPECT_EQ(TheApp(), nullptr);
    Drain();
    SUCCEED();
}

TEST_F(Application, OpenRequestReachesTheViewAfterTheCurrentHandler)
{
    CTonrigApp app;
    ASSERT_TRUE(app.InitInstance(false));
    app.OpenDocumentFile("/data/image.hex");
    EXPECT_TRUE(g_pMainView->m_strFileName.empty()); // posted, not sent
    Drain();
    EXPECT_EQ(g_pMainView->m_strFileName, "/data/image.hex");
}

TEST_F(Application, RecentFilesAppearInTheFileMenuAndOpenThroughTheView)
{
    CTonrigApp app;
    ASSERT_TRUE(app.InitInstance(false));
    platform::CommandTable& commands = app.MainFrame()->Commands();
    EXPECT_EQ(app.RecentFileList()->GetSize(), 9);
    EXPECT_FALSE(commands.Action(ID_FILE_MRU_FILE1)->isEnabled()); // the placeholder of an empty list

    tonrig::test::RecordingMessageBox boxes; // no device is selected
    QTemporaryDir dir;
    const std::string first = dir.filePath("first.bin").toStdString();
    QFile file(QString::fromStdString(first));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("\x01\x02", 2);
    file.close();

    app.AddToRecentFileList(first);
    app.AddToRecentFileList("/home/someone/projects/firmware/release/second.hex");
    EXPECT_EQ(commands.Action(57616)->text().toStdString(), "&1 /.../release/second.hex");
    EXPECT_EQ(commands.Action(57617)->text().toStdString(), "&2 " + app.RecentFileList()->GetDisplayName(1));
    EXPECT_TRUE(commands.Action(57617)->isVisible());
    EXPECT_FALSE(commands.Action(57618)->isVisible());

    ASSERT_TRUE(commands.Execute(57617));
    Drain();
    EXPECT_EQ(g_pMainView->m_strFileName, first);
    // Opening it made it the newest.
    EXPECT_EQ((*app.RecentFileList())[0], first);
}

TEST_F(Application, RecentFilesOfAnEarlierRunAreThereAtStartUp)
{
    {
        CTonrigApp first;
        ASSERT_TRUE(first.InitInstance(false));
        for (int i = 1; i <= 6; ++i)
            first.AddToRecentFileList("/data/f" + std::to_string(i) + ".bin");
        first.ExitInstance();
    }
    platform::SettingsStore::Instance().Open(settings.Path());
    CTonrigApp second;
    ASSERT_TRUE(second.InitInstance(false));
    ASSERT_EQ(second.RecentFileList()->GetCount(), 6); // more than the start-up list of 4
    EXPECT_EQ((*second.RecentFileList())[0], "/data/f6.bin");
    EXPECT_EQ(second.MainFrame()->Commands().Action(57621)->text().toStdString(), "&6 /data/f1.bin");
}

TEST_F(Application, DeviceListActsOnlyWhileNoOperationRunsAndOnlyForARealClass)
{
    tonrig::test::RecordingMessageBox boxes; // without a programmer link setups end with a box
    CTonrigApp app;
    ASSERT_TRUE(app.InitInstance(false));
    int asked = 0;
    CTonrigApp::DeviceChoice answer;
    app.SetDeviceSelector([&] {
        ++asked;
        return answer;
    });
    CRichEditCtrlExtend& log = g_pMainView->MessageLog();

    struct Case {
        int state;
        bool cancelled;
        int selected;
        bool asks;
        bool setsUp;
    };
    const Case cases[] = {
        { 1, false, 5, true, true },
        { 0, false, 325, true, true },
        { 1, true, 5, true, false },
        { 1, false, 326, true, false },
        { 1, false, -1, true, false },
        { 3, false, 5, false, false },
        { 7, false, 5, false, false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "state " << c.state << " class " << c.selected);
        g_nOperationState = c.state;
        answer = { c.cancelled, c.selected };
        asked = 0;
        log.OnClearAll();
        g_nCurrentClass = kNoDeviceClass;
        const auto setupDone = [] { return g_bSetupIdle == 1 && !g_LinkLease.IsHeld(); };
        // The second command waits for the first one's setup: the selection refuses meanwhile.
        app.MainFrame()->Commands().Execute(ID_DEVICE_LIST);
        ASSERT_TRUE(tonrig::test::ProcessEventsUntil(setupDone));
        app.MainFrame()->Commands().Execute(ID_SELECT_DEVICE);
        ASSERT_TRUE(tonrig::test::ProcessEventsUntil(setupDone));
        EXPECT_EQ(asked, c.asks ? 2 : 0);
        const bool setUp = log.GetText().find("Device: ") != std::string::npos;
        EXPECT_EQ(setUp, c.setsUp);
        if (c.setsUp) {
            EXPECT_EQ(g_nCurrentClass, c.selected);
        }
    }
}

TEST_F(Application, DeviceListOpensTheSelectionDialogAndItsCancelSetsNothingUp)
{
    CTonrigApp app;
    ASSERT_TRUE(app.InitInstance(false));
    QString title;
    QTimer::singleShot(0, [&] {
        auto* dlg = qobject_cast<CDeviceSelectDlg*>(QApplication::activeModalWidget());
        if (!dlg)
            return;
        title = dlg->windowTitle();
        dlg->reject();
    });
    g_pMainView->MessageLog().OnClearAll();
    app.MainFrame()->Commands().Execute(ID_DEVICE_LIST);
    EXPECT_EQ(title, "Device Selection/Search");
    EXPECT_EQ(g_pMainView->MessageLog().GetText().find("Device setup"), std::string::npos);
}

TEST_F(Application, NewDocumentLeavesTheViewAsItIs)
{
    CTonrigApp app;
    ASSERT_TRUE(app.InitInstance(false));
    CTonrigView* view = g_pMainView;
    view->m_CodeBuffer[0] = 0x42;
    const std::string log = view->MessageLog().GetText();
    ASSERT_TRUE(app.MainFrame()->Commands().Execute(ID_FILE_NEW));
    Drain();
    EXPECT_EQ(g_pMainView, view);
    EXPECT_EQ(view->m_CodeBuffer[0], 0x42);
    EXPECT_EQ(view->MessageLog().GetText(), log);
}

TEST(AboutBox, CarriesItsTextsAndLinks)
{
    CAboutDlg dlg;
    EXPECT_EQ(dlg.windowTitle(), "About Tonrig");
    EXPECT_EQ(dlg.GetDlgItemText(CAboutDlg::IDC_REVISION), "Re. 7.41");
    EXPECT_FALSE(dlg.GetDlgItemText(CAboutDlg::IDC_MAKER).empty());
    EXPECT_EQ(dlg.LinkTarget(CAboutDlg::IDC_EMAIL).rfind("mailto:", 0), 0u);
    for (int id : { CAboutDlg::IDC_WEBSITE, CAboutDlg::IDC_FORUM, CAboutDlg::IDC_DOWNLOAD }) {
        EXPECT_EQ(dlg.LinkTarget(id).rfind("https://", 0), 0u) << id;
        EXPECT_FALSE(dlg.GetDlgItemText(id).empty()) << id;
    }
    std::vector<std::string> labels;
    for (QLabel* label : dlg.findChildren<QLabel*>())
        labels.push_back(label->text().toStdString());
    for (const char* fixed : { "Zelvo USB Universal EPROM Programmer", "Technical support :", "Latest Software:" })
        EXPECT_NE(std::find(labels.begin(), labels.end(), fixed), labels.end()) << fixed;
}

} // namespace

TEST_F(Application, TheSettingMenusBackgroundColorAndOthersAreEnabled)
{
    CTonrigApp app;
    ASSERT_TRUE(app.InitInstance(false));
    for (UINT id : { 32959u, 32971u }) {
        QAction* action = app.MainFrame()->Commands().Action(id);
        ASSERT_NE(action, nullptr) << id;
        EXPECT_TRUE(action->isEnabled()) << id;
    }
}
