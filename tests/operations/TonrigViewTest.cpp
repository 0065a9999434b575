#include "operations/ui/TonrigView.h"

#include "catalogue/ChipPicture.h"
#include "catalogue/DeviceClassTable.h"
#include "catalogue/ui/ChipLocationDlg.h"
#include "controls/ui/ImageButton.h"
#include "link/LinkLease.h"
#include "operations/ui/View2Header.h"
#include "operations/ui/ViewSetup.h"
#include "shell/Language.h"
#include "shell/LanguageLoader.h"

#include "platform/OsVersion.h"
#include "platform/usb/UsbProviders.h"
#include "platform/usb/VirtualBus.h"
#include "shell/RegistryKey.h"
#include "support/RecordingMessageBox.h"
#include "support/TestEnvironment.h"
#include <QCheckBox>

#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QTabBar>

#include <gtest/gtest.h>

namespace {

std::size_t Count(const std::string& text, const std::string& part)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

class MainView : public testing::Test {
protected:
    void TearDown() override
    {
        g_nOperationState = kStateIdle;
        g_Language.Reset();
    }
    // No USB devices of the host, no programmer: the default hooks.
    platform::usb::ScopedUsbProvider usb { std::make_shared<platform::usb::VirtualBus>() };
    tonrig::test::ScopedSettingsFile settings;
};

TEST_F(MainView, ConstructionAndStartUpSetTheGlobalsAndReadTheFlags)
{
    {
        CRegistryKey key;
        key.Create(HKEY_CURRENT_USER, "Software\\Zelvo USB Programmer\\Settings");
        key.Open(HKEY_CURRENT_USER, "Software\\Zelvo USB Programmer\\Settings");
        key.WriteDword("LoadLastDevice", 1);
        key.WriteDword("ForgetLoadedFileName", 1);
    }
    g_nOperationState = 4;
    g_nCurrentClass = 12;
    {
        CTonrigView view;
        EXPECT_EQ(g_nOperationState, 1);
        EXPECT_EQ(g_nCurrentClass, kNoDeviceClass);
        EXPECT_EQ(g_pMainView, nullptr);
        EXPECT_TRUE(view.m_strHardwareVersion.empty());
        EXPECT_TRUE(view.m_strHardwareSerial.empty());

        view.OnInitialUpdate();
        EXPECT_EQ(g_pMainView, &view);
        EXPECT_EQ(view.m_dwLoadLastDevice, 1u);
        EXPECT_EQ(view.m_dwForgetLoadedFileName, 1u);
        EXPECT_EQ(view.m_strOffsetTitle, "OFFSET");
        EXPECT_EQ(view.m_CodeBuffer.size(), CTonrigView::kCodeBufferSize);
        EXPECT_EQ(&view.m_CodeBuffer, &view.Buffers().Buffer(0));
        EXPECT_EQ(view.m_CodeBuffer.front(), 0xFF);
    }
    EXPECT_EQ(g_pMainView, nullptr);
}

TEST_F(MainView, PanesByIdWithTheirTextsAndTheFourBuffers)
{
    CTonrigView view;
    view.OnInitialUpdate();
    const char* buttons[] = { "Device", "ID", "Read", "Erase", "Blank Check", "Write", "Verify", "Auto Mode" };
    for (int id = 123; id <= 130; ++id) {
        auto* button = qobject_cast<QPushButton*>(view.GetDlgItem(id));
        ASSERT_NE(button, nullptr) << id;
        EXPECT_EQ(button->text().toStdString(), buttons[id - 123]);
    }
    auto* tab = qobject_cast<QTabBar*>(view.GetDlgItem(CTonrigView::IDC_TAB));
    ASSERT_NE(tab, nullptr);
    ASSERT_EQ(tab->count(), 2);
    EXPECT_EQ(tab->tabText(0), "Message Log");
    EXPECT_EQ(tab->tabText(1), "Buffer");
    EXPECT_EQ(tab->font().pixelSize(), 16);
    EXPECT_EQ(view.GetDlgItem(CTonrigView::IDC_MESSAGE_LOG), &view.MessageLog());
    // The script pane shows only with its tab; the command line sits under the log.
    for (int id : { 101, 133, 134 })
        EXPECT_TRUE(view.GetDlgItem(id)->isHidden()) << id;
    for (int id : { 121, 131, 132, 135 })
        EXPECT_FALSE(view.GetDlgItem(id)->isHidden()) << id;
    auto* name = qobject_cast<CImageButton*>(view.GetDlgItem(131));
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->text(), "-");
    EXPECT_FALSE(name->IsMouseEnabled());
    EXPECT_EQ(name->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(view.GetDlgItem(999), nullptr);

    struct Buffer {
        const std::vector<BYTE>& bytes;
        const std::vector<BYTE>& model; // the buffer model's
        std::size_t expected;
    };
    buffer::CBufferModel& model = view.Buffers();
    const Buffer buffers[]
        = { { view.m_CodeBuffer, model.Buffer(0), 524288 }, { view.m_DataBuffer, model.Buffer(1), 4096 },
              { view.m_ConfigBuffer, model.Buffer(2), 16 }, { view.m_ConfigWordBuffer, model.ConfigWord(), 16 } };
    for (const Buffer& b : buffers) {
        EXPECT_EQ(b.bytes.size(), b.expected);
        EXPECT_EQ(&b.bytes, &b.model);
        EXPECT_TRUE(std::all_of(b.bytes.begin(), b.bytes.end(), [](BYTE x) { return x == 0xFF; }));
    }
    ASSERT_NE(view.m_hPaused, nullptr);
    ASSERT_NE(view.m_hCommandReady, nullptr);
    EXPECT_FALSE(view.m_hPaused->IsSet());
    EXPECT_FALSE(view.m_hCommandReady->IsSet());
    EXPECT_EQ(CTonrigView::kProgramVersion, 741);
    EXPECT_EQ(view.m_dwStepDelay, 59u);
}

TEST_F(MainView, StoredPaneFontsReplaceTheDefaults)
{
    {
        CRegistryKey key;
        key.Create(HKEY_CURRENT_USER, "Software\\Zelvo USB Programmer\\Settings\\MessageLogFont");
        key.WriteString("FaceName", "DejaVu Sans Mono");
        key.WriteDword("PointSize", 11);
        key.Create(HKEY_CURRENT_USER, "Software\\Zelvo USB Programmer\\Settings");
        key.WriteString("LastOpenedScriptFileName", "/scripts/a.txt");
    }
    CTonrigView view;
    view.OnInitialUpdate();
    EXPECT_EQ(view.MessageLog().GetFontSize(), 11);
    EXPECT_EQ(view.m_strLastOpenedScriptFileName, "/scripts/a.txt");
    auto* script = qobject_cast<CRichEditCtrlExtend*>(view.GetDlgItem(CTonrigView::IDC_SCRIPT_PANE));
    ASSERT_NE(script, nullptr);
    EXPECT_EQ(script->GetFontSize(), 10);
}

TEST_F(MainView, ByteSwapActsOnlyWhileNoOperationRuns)
{
    CTonrigView view;
    view.m_CodeBuffer = { 1, 2, 3, 4, 5 };

    struct Case {
        int state;
        std::vector<BYTE> after;
    };
    const Case cases[] = {
        { 3, { 1, 2, 3, 4, 5 } }, // reading: untouched
        { 1, { 2, 1, 4, 3, 5 } }, // idle: pairs swapped, the odd fifth byte stays
        { 0, { 1, 2, 3, 4, 5 } }, // disconnected is not busy: swapped back
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.state);
        g_nOperationState = c.state;
        view.OnByteSwap();
        EXPECT_EQ(view.m_CodeBuffer, c.after);
    }
}

TEST_F(MainView, OpenFileRequestsStoreThePathAndNeedALiveView)
{
    tonrig::test::RecordingMessageBox boxes; // the files do not exist
    EXPECT_FALSE(CTonrigView::PostOpenFile("/nowhere.bin")); // no view
    auto view = std::make_unique<CTonrigView>();
    view->OnInitialUpdate();
    ASSERT_TRUE(CTonrigView::PostOpenFile("/data/a.bin"));
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(view->m_strFileName, "/data/a.bin");

    ASSERT_TRUE(CTonrigView::PostOpenFile("/data/b.bin"));
    view.reset();
    QCoreApplication::sendPostedEvents(); // the request finds no view and is dropped
    EXPECT_EQ(g_pMainView, nullptr);
}

TEST_F(MainView, DeviceCommandsWithoutADeviceShowTheNoDeviceBox)
{
    InitLanguageForView();
    tonrig::test::RecordingMessageBox boxes;
    CTonrigView view;
    view.OnRead();
    view.OnWrite();
    ASSERT_EQ(boxes.Count(), 2u);
    EXPECT_EQ(boxes.Boxes()[0].text, "No device selected.");
    EXPECT_EQ(boxes.Boxes()[0].caption, "Error");
    EXPECT_EQ(g_nOperationState, kStateIdle);
}

TEST_F(MainView, CommandsAndLoadsRefuseWhileAWorkerHoldsTheLink)
{
    InitLanguageForView();
    tonrig::test::RecordingMessageBox boxes;
    CTonrigView view;
    ASSERT_TRUE(g_LinkLease.Take(LeaseHolder::Setup));
    view.OnRead();
    view.OnWrite();
    view.OpenFileByName("/data/c.bin");
    g_LinkLease.Release(LeaseHolder::Setup);
    const std::string log = view.MessageLog().GetText();
    EXPECT_EQ(Count(log, "Please wait..."), 2u) << log;
    EXPECT_NE(log.find("Open: the programmer is busy with the device setup."), std::string::npos) << log;
    EXPECT_EQ(boxes.Count(), 0u);
    EXPECT_TRUE(view.m_strFileName.empty());
    view.OnRead(); // free again: on to the device check
    EXPECT_EQ(boxes.Count(), 1u);
}

TEST_F(MainView, BufferRefreshDeviceSetupAndScriptTextMessages)
{
    tonrig::test::RecordingMessageBox boxes;
    CTonrigView view;
    g_pMainView = &view;
    EXPECT_EQ(view.OnMessage(WM_BUFFER_REFRESH, 0, 0), 0);
    EXPECT_FALSE(view.GetDlgItem(CTonrigView::IDC_HEX_VIEW)->isHidden());
    // No device: nothing to set up.
    EXPECT_EQ(view.OnMessage(WM_DEVICE_SETUP, 0, 0), 0);
    EXPECT_FALSE(view.DeviceSetupOwner().Setup().Busy());
    ASSERT_TRUE(CTonrigView::PostRunScriptText("LOG typed"));
    ASSERT_TRUE(tonrig::test::ProcessEventsUntil(
        [&] { return view.MessageLog().GetText().find("typed\n") != std::string::npos; }));
    EXPECT_EQ(view.MessageLog().GetText().find("LOG typed"), std::string::npos) << "a LOG line is not echoed";
    g_pMainView = nullptr;
}

TEST_F(MainView, HeaderPicturesAndCaptionsFollowTheLanguage)
{
    CTonrigView view;
    view.OnInitialUpdate();
    CView2Header header;
    EXPECT_EQ(g_pView2Header, &header);
    header.setJumperPicture(kNoDeviceClass);
    g_nCurrentClass = 239;
    g_CurrentDevice = g_DeviceClassTable[239];
    g_CurrentDevice.m_strPackage = "PLCC32";
    header.Refresh();
    EXPECT_EQ(header.AdapterText(), "Adapter: No adapter required for DIP chip.");
    EXPECT_EQ(header.PackageText(), "Package: PLCC32");
    EXPECT_EQ(header.PinPatternText(), "DIP Setting: ");
    EXPECT_EQ(header.OptionBox(HeaderOption::IdCheck)->text(), "ID Check");
    EXPECT_EQ(header.OptionBox(HeaderOption::TempUnprotect)->text(), "Temp. Unprotect");
    const auto label = [&](const char* name) { return header.findChild<QLabel*>(name)->text().toStdString(); };
    EXPECT_EQ(label("FileOffsetLabel"), "File Offset(Hex)");
    EXPECT_EQ(label("DeviceOffsetLabel"), "Device Offset(Hex)");
    EXPECT_EQ(label("DelayFactorLabel"), "Delay Factor");

    g_CurrentDevice.m_strAdapter = "ADP-8";
    header.Refresh();
    const CDeviceClass saved = g_DeviceClassTable[5];
    g_DeviceClassTable[5].m_strCpldDip = "101010101010";
    header.setJumperPicture(5);
    g_DeviceClassTable[5] = saved;
    EXPECT_EQ(header.AdapterText(), "Adapter: ADP-8");
    EXPECT_EQ(header.PinPatternText(), "DIP Setting: 101010101010");

    // Another language: every caption follows.
    std::vector<std::string> texts(g_LanguageDefaults.begin(), g_LanguageDefaults.end());
    texts[37] = "Adapteur";
    texts[42] = "Controle ID";
    texts[132] = "Decalage fichier";
    texts[170] = "Boitier";
    g_Language.Reset();
    g_Language.SetTexts(texts.data(), static_cast<int>(texts.size()));
    header.ApplyLanguage();
    view.ApplyLanguage();
    EXPECT_EQ(header.AdapterText(), "Adapteur: ADP-8");
    EXPECT_EQ(header.PackageText(), "Boitier: PLCC32");
    EXPECT_EQ(header.OptionBox(HeaderOption::IdCheck)->text(), "Controle ID");
    EXPECT_EQ(label("FileOffsetLabel"), "Decalage fichier(Hex)");
    InitLanguageForView();
    g_nCurrentClass = kNoDeviceClass;
    g_CurrentDevice = CDeviceClass();
}

TEST_F(MainView, HeaderPaneHasTheChipLocationButton)
{
    CTonrigView view;
    view.OnInitialUpdate();
    CView2Header header;
    auto* button = qobject_cast<QPushButton*>(header.GetDlgItem(CView2Header::IDC_CHIP_LOCATION));
    ASSERT_NE(button, nullptr);
    button->setText("changed");
    header.ApplyLanguage();
    EXPECT_EQ(button->text(), "Chip Location");
    // The button opens the chip location dialog on the current device's picture.
    g_nCurrentClass = 200;
    g_CurrentDevice = g_DeviceClassTable[200];
    g_CurrentDevice.m_strPackage = "DIP24";
    g_CurrentDevice.m_strAdapter.clear();
    std::vector<int> shown;
    header.SetChipLocationRunner([&shown](CChipLocationDlg& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Chip Location");
        shown.push_back(dialog.ShownPicture());
    });
    button->click();
    EXPECT_EQ(shown, std::vector<int> { chip_picture::kDip24 });
    g_nCurrentClass = kNoDeviceClass;
    g_CurrentDevice = CDeviceClass();
}

TEST_F(MainView, TheWindowsQuestionIsNoHereAndAFailedDetectionSaysSoOnce)
{
    tonrig::test::RecordingMessageBox boxes;
    CTonrigView view;
    EXPECT_FALSE(view.GetWindowsVersion());
    EXPECT_EQ(boxes.Count(), 0u);

    const platform::ScopedOsVersionProbe failing([] { return platform::OsFacts {}; });
    EXPECT_FALSE(view.GetWindowsVersion());
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, "Failed in call to detect OS Version\n");
    EXPECT_EQ(boxes.Boxes()[0].caption, "Tonrig");
}

} // namespace
