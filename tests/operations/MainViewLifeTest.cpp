// The main view's life against a scripted programmer: start-up with and without one, its arrival
// and loss, the link lease, the driver checks, and closing the window while workers run.

#include "operations/ui/TonrigView.h"

#include "ViewTestSupport.h"
#include "link/LinkLease.h"
#include "link/ProgrammerModel.h"
#include "operations/DeviceSetup.h"
#include "operations/ScriptFlags.h"
#include "operations/StartupChecks.h"
#include "operations/ui/View2Header.h"
#include "platform/GuiThread.h"
#include "platform/OsVersion.h"
#include "platform/SettingsStore.h"
#include "platform/ui/QtServices.h"
#include "platform/usb/UsbProviders.h"
#include "shell/RegistryKey.h"
#include "shell/ui/MainFrame.h"
#include "shell/ui/OthersDlg.h"
#include "shell/ui/ProgressDlg.h"
#include "shell/ui/StatusBar.h"
#include "shell/ui/TonrigApp.h"
#include "support/RecordingMessageBox.h"
#include "support/TestEnvironment.h"
#include "support/Unprivileged.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTextCursor>
#include <QTextDocument>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

using namespace std::chrono_literals;
using tonrig::test::ProcessEventsUntil;

namespace {

constexpr const char* kSettings = "Software\\Zelvo USB Programmer\\Settings";

DWORD ReadSetting(const char* name, DWORD missing = 0xDEAD)
{
    CRegistryKey key;
    DWORD value = missing;
    if (key.Open(HKEY_CURRENT_USER, kSettings))
        key.ReadDword(name, value);
    return value;
}

void WriteSetting(const char* name, DWORD value)
{
    CRegistryKey key;
    key.Create(HKEY_CURRENT_USER, kSettings);
    key.WriteDword(name, value);
}

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// Runs the GUI thread for `clockTime` of the scaled clock.
void RunFor(platform::Duration clockTime)
{
    const platform::Duration end = platform::GetClock().Now() + clockTime;
    ProcessEventsUntil([&] { return platform::GetClock().Now() >= end; });
}

class MainViewLife : public testing::Test {
protected:
    void TearDown() override
    {
        app.reset();
        hooks.reset();
        for (LeaseHolder holder :
            { LeaseHolder::Operation, LeaseHolder::Setup, LeaseHolder::Identify, LeaseHolder::Jtag })
            g_LinkLease.Release(holder);
        g_LinkLease.TakeLinkLost();
        g_nOperationState = kStateIdle;
        g_bCancelOperation = 1;
        g_nProgrammerModel = kModelZvC;
    }

    void Start()
    {
        hooks.emplace(programmer.Hooks());
        app = std::make_unique<CTonrigApp>();
        ASSERT_TRUE(app->InitInstance(false));
        view = app->MainFrame()->MainView();
        header = app->MainFrame()->HeaderPane();
        ASSERT_EQ(g_pMainView, view);
    }

    std::string Log() const { return view->MessageLog().GetText(); }
    std::string FirmwarePane() const
    {
        return g_pStatusBar->GetPaneText(g_pStatusBar->CommandToIndex(CStatusBar::ID_INDICATOR_FIRMWARE));
    }
    // What the monitor does when it finds the programmer: its flag, then WM_USB_INIT.
    void Plug()
    {
        programmer.monitor->connected = true;
        view->PostMessage(WM_USB_INIT);
    }
    void Unplug()
    {
        programmer.monitor->connected = false;
        view->PostMessage(WM_PROGRAMMER_CHANGED, 1, 0);
    }
    bool WaitForState(int state)
    {
        return ProcessEventsUntil([&] { return g_nOperationState == state; });
    }

    tonrig::test::ScopedSettingsFile settings;
    tonrig::test::RecordingMessageBox boxes { IDNO };
    platform::ScopedClock clock { platform::MakeScaledClock(100) };
    std::shared_ptr<platform::usb::VirtualBus> bus = std::make_shared<platform::usb::VirtualBus>();
    platform::usb::ScopedUsbProvider usb { bus };
    tonrig::test::ScriptedProgrammer programmer;
    std::optional<ScopedProgrammerHooks> hooks;
    std::unique_ptr<CTonrigApp> app; // last: the view goes before what its workers use
    CTonrigView* view = nullptr;
    CView2Header* header = nullptr;
};

TEST_F(MainViewLife, PluggedStartUpIdentifiesOnceAndIsReady)
{
    // The system line comes from the operating-system probe.
    platform::OsFacts system;
    system.ok = true;
    system.kernelRelease = "9.8.7-test";
    system.kernel = { 9, 8, 7 };
    system.machine = "x86_64";
    system.prettyName = "Testix 1";
    system.buildArchitecture = "x86_64";
    const platform::ScopedOsVersionProbe probe([system] { return system; });
    Start();
    EXPECT_EQ(g_nOperationState, kStateIdentifying); // no setup may run on the default model
    EXPECT_EQ(programmer.monitor->starts, 1);
    EXPECT_EQ(programmer.monitor->timerStarts, 1);
    EXPECT_TRUE(view->IsTimerArmed(CTonrigView::kTimerLinkWatch));
    EXPECT_FALSE(view->IsTimerArmed(CTonrigView::kTimerDriverInstaller));
    const std::string wait = Log();
    EXPECT_TRUE(Contains(wait, "Please wait...\n")) << wait;
    EXPECT_TRUE(Contains(wait, "Linux Testix 1(9.8.7)\n")) << wait;
    EXPECT_LT(wait.find("Please wait..."), wait.find("Linux"));
    EXPECT_EQ(FirmwarePane(), "Firmware Rev: ---");

    Plug(); // the monitor's first tick
    ASSERT_TRUE(WaitForState(kStateIdle));
    EXPECT_TRUE(Contains(Log(), "Ready\n")) << Log();
    EXPECT_EQ(view->m_strHardwareVersion, "ZV-CQ Re-2.00");
    EXPECT_EQ(view->m_strHardwareSerial, "AB12CD34EF");
    EXPECT_EQ(g_nProgrammerModel, kModelZvCQ);
    EXPECT_EQ(FirmwarePane(), "Firmware Rev: ZV-CQ Re-2.00");
    EXPECT_EQ(ReadSetting("USBDriverOK"), 1u);
    EXPECT_EQ(g_LinkLease.Holder(), LeaseHolder::None);

    RunFor(3s); // link watch ticks; nothing identifies again, no box comes, nothing probes
    EXPECT_EQ(programmer.probes, 1);
    EXPECT_EQ(programmer.identifications, 1);
    EXPECT_EQ(view->IdentificationCount(), 1);
    EXPECT_EQ(g_nOperationState, kStateIdle);
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST_F(MainViewLife, UnpluggedStartUpOffersTheInstallerOnceUnlessTheDriverWasFine)
{
    programmer.present = false;
    boxes.QueueAnswer(IDYES);
    Start();
    EXPECT_EQ(g_nOperationState, kStateDisconnected);
    EXPECT_FALSE(Contains(Log(), "Please wait..."));
    ASSERT_TRUE(ProcessEventsUntil([&] { return boxes.Count() == 1; }));
    const tonrig::test::RecordedBox box = boxes.Boxes()[0];
    EXPECT_EQ(box.caption, "Did not find programmer.");
    EXPECT_EQ(box.text,
        "Did not find programmer or USB driver. \r\nYou can install "
            + LinuxSystemName(platform::ProbeOsVersion().prettyName)
            + " USB driver now? \r\nIf USB driver has been installed then skip it.\r\n       Yes/No(skip)?");
    EXPECT_EQ(box.type & MB_TYPEMASK, MB_YESNO);
    EXPECT_TRUE(Contains(Log(), "USB driver installer: not available on this system.")) << Log();
    EXPECT_TRUE(Contains(Log(), "udev rule")) << Log();
    RunFor(2s);
    EXPECT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(programmer.identifications, 0);
    EXPECT_EQ(g_nOperationState, kStateDisconnected);
}

TEST_F(MainViewLife, NoInstallerBoxOnceTheDriverProvedFine)
{
    WriteSetting("USBDriverOK", 1);
    programmer.present = false;
    Start();
    RunFor(2s);
    EXPECT_EQ(boxes.Count(), 0u);
    EXPECT_EQ(g_nOperationState, kStateDisconnected);
}

TEST_F(MainViewLife, WithoutAMonitorThereIsNoProgrammer)
{
    programmer.withMonitor = false; // present, but nothing would ever tell the view
    Start();
    EXPECT_EQ(g_nOperationState, kStateDisconnected);
    EXPECT_TRUE(view->IsTimerArmed(CTonrigView::kTimerDriverInstaller));
}

TEST_F(MainViewLife, AMonitorThatCannotStartIsReportedAndDropped)
{
    programmer.monitor->startFails = true;
    Start();
    ASSERT_GE(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, "Can not init USB connection");
    EXPECT_EQ(view->Monitor(), nullptr);
    EXPECT_EQ(programmer.monitor->timerStarts, 0);
    EXPECT_EQ(g_nOperationState, kStateDisconnected);
}

TEST_F(MainViewLife, PlugUnplugReplugIdentifiesOncePerPlug)
{
    programmer.present = false;
    Start();
    ASSERT_TRUE(ProcessEventsUntil([&] { return boxes.Count() == 1; })); // the installer box, answered No
    struct Step {
        bool plug;
        int state;
        int identifications;
        const char* pane;
    };
    const Step steps[] = {
        { true, kStateIdle, 1, "Firmware Rev: ZV-CQ Re-2.00" },
        { false, kStateDisconnected, 1, "Firmware Rev: ---" },
        { true, kStateIdle, 2, "Firmware Rev: ZV-CQ Re-2.00" },
        { false, kStateDisconnected, 2, "Firmware Rev: ---" },
        { true, kStateIdle, 3, "Firmware Rev: ZV-CQ Re-2.00" },
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.identifications);
        if (step.plug)
            Plug();
        else
            Unplug();
        ASSERT_TRUE(WaitForState(step.state));
        RunFor(1500ms); // the link watch runs in between
        EXPECT_EQ(g_nOperationState, step.state);
        EXPECT_EQ(programmer.identifications, step.identifications);
        EXPECT_EQ(FirmwarePane(), step.pane);
        EXPECT_EQ(view->m_strHardwareVersion.empty(), !step.plug);
        EXPECT_EQ(g_bCancelOperation, 1);
    }
    EXPECT_EQ(boxes.Count(), 1u); // the loss box is the monitor's, not the view's
}

TEST_F(MainViewLife, AnIdentificationWaitsForTheLeaseAndRefusalsAreLogged)
{
    WriteSetting("USBDriverOK", 1);
    programmer.present = false; // state 0: the selection would act, but for the lease
    Start();
    ASSERT_TRUE(g_LinkLease.Take(LeaseHolder::Setup));
    Plug();
    ASSERT_TRUE(ProcessEventsUntil([&] { return view->IsTimerArmed(CTonrigView::kTimerUsbInit); }));
    RunFor(500ms);
    EXPECT_EQ(programmer.identifications, 0);

    view->MessageLog().OnClearAll();
    view->OnDeviceButton();
    EXPECT_TRUE(Contains(Log(), "Device selection: the programmer is busy with the device setup.")) << Log();

    g_LinkLease.Release(LeaseHolder::Setup);
    ASSERT_TRUE(WaitForState(kStateIdle));
    EXPECT_EQ(programmer.identifications, 1);
}

TEST_F(MainViewLife, AFailedIdentificationLogsItsReasonAndEndsDisconnected)
{
    programmer.outcome.ok = false;
    programmer.outcome.reason = "The programmer did not answer its version.";
    Start();
    Plug();
    ASSERT_TRUE(ProcessEventsUntil([&] { return Contains(Log(), "Initialization failed. Please reconnect."); }));
    EXPECT_EQ(g_nOperationState, kStateDisconnected);
    EXPECT_TRUE(Contains(Log(), "Programmer identification failed: The programmer did not answer its version.\n"))
        << Log();
    EXPECT_EQ(ReadSetting("USBDriverOK"), 0xDEADu);
    EXPECT_EQ(g_LinkLease.Holder(), LeaseHolder::None);
}

TEST_F(MainViewLife, TheLinkWatchEndsAnIdentifyingStateThatNothingFinishes)
{
    Start(); // a programmer answered, but the monitor never reports it
    EXPECT_EQ(g_nOperationState, kStateIdentifying);
    ASSERT_TRUE(WaitForState(kStateDisconnected));
    EXPECT_EQ(programmer.identifications, 0);
}

TEST_F(MainViewLife, ALossDuringAnOperationEndsItDisconnected)
{
    Start();
    Plug();
    ASSERT_TRUE(WaitForState(kStateIdle));
    ASSERT_TRUE(g_LinkLease.Take(LeaseHolder::Operation));
    g_nOperationState = 3;
    g_bCancelOperation = 0;
    Unplug();
    ASSERT_TRUE(ProcessEventsUntil([&] { return g_bCancelOperation == 1; }));
    EXPECT_EQ(g_nOperationState, 3); // the operation ends itself
    EXPECT_EQ(CTonrigView::FinishedOperationState(), kStateDisconnected);
    EXPECT_EQ(CTonrigView::FinishedOperationState(), kStateIdle); // the mark is taken once
    g_LinkLease.Release(LeaseHolder::Operation);
}

TEST_F(MainViewLife, ALossDuringTheIdentificationStopsIt)
{
    programmer.identifyTime = 60s;
    Start();
    Plug();
    ASSERT_TRUE(ProcessEventsUntil([&] { return programmer.identifications == 1; }));
    Unplug();
    ASSERT_TRUE(ProcessEventsUntil([&] { return Contains(Log(), "Initialization failed."); }));
    EXPECT_EQ(programmer.stoppedIdentifications, 1);
    EXPECT_EQ(g_nOperationState, kStateDisconnected);
    EXPECT_EQ(g_LinkLease.Holder(), LeaseHolder::None);
}

TEST_F(MainViewLife, AFreshStoreGainsProgrammerSeven)
{
    Start();
    EXPECT_EQ(ReadSetting("Programmer"), 7u);
}

TEST_F(MainViewLife, AnExistingKeyIsLeftAsItIs)
{
    WriteSetting("LoadLastDevice", 0);
    Start();
    EXPECT_EQ(ReadSetting("Programmer"), 0xDEADu);
}

TEST_F(MainViewLife, SettingsThatCouldNotBeReadAreReportedInTheLogInTheErrorColour)
{
    // One bad value among good ones: the log names it, the other settings stay.
    {
        QFile file(QString::fromStdString(settings.Path()));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(R"({"format": "tonrig-settings", "version": 1, "root": {"keys": {"Software": {"keys": {
            "Zelvo USB Programmer": {"keys": {"Settings": {"values": {
                "Programmer": {"type": "dword", "data": "7"},
                "LoadLastDevice": {"type": "dword", "data": 0}}}}}}}}}})");
    }
    platform::SettingsStore::Instance().SetLogSink([](const std::string&) {});
    platform::SettingsStore::Instance().Open(settings.Path());
    platform::SettingsStore::Instance().SetLogSink({});
    Start();
    const std::string log = Log();
    const size_t at = log.find("Settings\\Programmer (not a number)");
    ASSERT_NE(at, std::string::npos) << log;
    EXPECT_EQ(log.find("Settings\\Programmer (", at + 1), std::string::npos) << "once";
    QTextCursor cursor(view->MessageLog().document());
    cursor.setPosition(static_cast<int>(QString::fromStdString(log.substr(0, at)).size()) + 1);
    EXPECT_EQ(platform::FromQColor(cursor.charFormat().foreground().color()), CTonrigView::kLogError);
    EXPECT_EQ(ReadSetting("LoadLastDevice"), 0u) << "the readable setting is kept";
    EXPECT_EQ(ReadSetting("Programmer"), 0xDEADu) << "an existing key gains no default";

    // A second view of the same run does not repeat it.
    app.reset();
    Start();
    EXPECT_FALSE(Contains(Log(), "cannot be read")) << Log();
}

std::string SaveFailureLine(const std::string& path, const std::string& reason)
{
    return "Settings cannot be saved to " + path + ": " + reason
        + ". Changes made now will be lost when the program ends.";
}

// The settings-failure lines in the log, each with whether it is in the error colour.
std::vector<std::pair<std::string, bool>> SaveFailureLines(CTonrigView& view)
{
    std::vector<std::pair<std::string, bool>> lines;
    const QString log = QString::fromStdString(view.MessageLog().GetText());
    for (qsizetype at = log.indexOf("Settings cannot be saved"); at >= 0;
         at = log.indexOf("Settings cannot be saved", at + 1)) {
        QTextCursor cursor(view.MessageLog().document());
        cursor.setPosition(static_cast<int>(at) + 1);
        const qsizetype end = log.indexOf(QRegularExpression("[\r\n]"), at);
        lines.emplace_back(log.mid(at, end < 0 ? -1 : end - at).toStdString(),
            platform::FromQColor(cursor.charFormat().foreground().color()) == CTonrigView::kLogError);
    }
    return lines;
}

// The settings-failure boxes: text, caption, and whether they are error boxes with OK alone.
std::vector<std::string> SaveFailureBoxes(const tonrig::test::RecordingMessageBox& boxes)
{
    std::vector<std::string> found;
    for (const auto& box : boxes.Boxes())
        if (box.text.find("Settings cannot be saved") != std::string::npos)
            found.push_back(box.text + " | " + box.caption
                + (box.type == (MB_OK | MB_ICONERROR) ? " | error, OK" : " | type " + std::to_string(box.type)));
    return found;
}

TEST_F(MainViewLife, SettingsThatCannotBeSavedAreReportedOnceAndTheRunGoesOn)
{
    const QString file = QString::fromStdString(settings.Path());
    const QString folder = QFileInfo(file).absolutePath();
    for (const auto& c : tonrig::test::WaysAFileRefusesWrites(file)) {
        SCOPED_TRACE(c.name);
        tonrig::test::RestoreWritableFolder(file);
        QDir(file).removeRecursively();
        QFile::remove(file);
        WriteSetting("LoadLastDevice", 0);
        platform::SettingsStore::Instance().Open(settings.Path()); // as a new run would
        c.spoil();
        const std::string before = tonrig::test::FileSnapshot(settings.Path());

        EXPECT_EXIT(
            {
                const tonrig::test::UnprivilegedChild child(
                    { tonrig::test::IsolatedEnvironment::Root(), folder.toStdString() });
                Start();
                view->SetOthersDialogRunner([](COthersDlg& dialog) {
                    dialog.m_bLoadLastDevice = 1;
                    return true;
                });
                view->OnOthers();
                EXPECT_TRUE(ProcessEventsUntil([&] { return !SaveFailureBoxes(boxes).empty(); }));
                view->OnOthers(); // a later failure of the run adds nothing
                RunFor(200ms);
                const std::string line = SaveFailureLine(settings.Path(), c.reason);
                EXPECT_EQ(SaveFailureLines(*view), (std::vector<std::pair<std::string, bool>> { { line, true } }))
                    << Log();
                EXPECT_EQ(SaveFailureBoxes(boxes), std::vector<std::string> { line + " | Tonrig | error, OK" });
                EXPECT_EQ(view->m_dwLoadLastDevice, 1u) << "the option holds for the run";
                EXPECT_EQ(ReadSetting("LoadLastDevice"), 1u);
                child.Exit();
            },
            testing::ExitedWithCode(0), "");
        EXPECT_EQ(tonrig::test::FileSnapshot(settings.Path()), before);
    }
    tonrig::test::RestoreWritableFolder(file);
}

TEST_F(MainViewLife, ASettingsSaveRefusedBeforeTheWindowExistsIsShownInItOnce)
{
    ASSERT_TRUE(QDir().mkdir(QString::fromStdString(settings.Path())));
    WriteSetting("LoadLastDevice", 1);
    Start();
    ASSERT_TRUE(ProcessEventsUntil([&] { return !SaveFailureBoxes(boxes).empty(); }));
    const std::string line = SaveFailureLine(settings.Path(), "Is a directory");
    EXPECT_EQ(SaveFailureLines(*view), (std::vector<std::pair<std::string, bool>> { { line, true } })) << Log();
    EXPECT_EQ(SaveFailureBoxes(boxes), std::vector<std::string> { line + " | Tonrig | error, OK" });

    // A worker's write refused later in the run, and a second main window of it, add nothing.
    std::thread([] { WriteSetting("LoadLastDevice", 0); }).join();
    RunFor(200ms);
    EXPECT_EQ(SaveFailureLines(*view).size(), 1u);
    app.reset();
    Start();
    RunFor(200ms);
    EXPECT_TRUE(SaveFailureLines(*view).empty()) << Log();
    EXPECT_EQ(SaveFailureBoxes(boxes).size(), 1u);
    EXPECT_EQ(ReadSetting("LoadLastDevice"), 0u) << "held for the run";
}

TEST_F(MainViewLife, AConflictedDriverOnOurDeviceIsDetachedAndReported)
{
    WriteSetting("USBDriverOK", 1);
    using tonrig::test::PlantedDevice;
    auto ours = bus->Plug(std::make_shared<PlantedDevice>(0x04B4, 0x8613, "IOS Manufacturer"));
    auto otherMaker = bus->Plug(std::make_shared<PlantedDevice>(0x04B4, 0x8613, "Another Maker"));
    auto otherId = bus->Plug(std::make_shared<PlantedDevice>(0x04B4, 0x8614, "IOS Manufacturer"));
    for (auto& port : { ours, otherMaker, otherId })
        port->SetDriverBound(true);
    Start();
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, "A conflicted USB driver detected,\r\n The USB driver installation is required.");
    EXPECT_EQ(ReadSetting("USBDriverOK"), 0u);
    EXPECT_FALSE(ours->DriverBound());
    EXPECT_TRUE(otherMaker->DriverBound());
    EXPECT_TRUE(otherId->DriverBound());
}

TEST_F(MainViewLife, AFirstStartWithAConflictGainsProgrammerSevenToo)
{
    auto ours = bus->Plug(std::make_shared<tonrig::test::PlantedDevice>(0x04B4, 0x8613, "IOS Manufacturer"));
    ours->SetDriverBound(true);
    Start();
    EXPECT_EQ(ReadSetting("USBDriverOK"), 0u);
    EXPECT_EQ(ReadSetting("Programmer"), 7u);
}

TEST_F(MainViewLife, TheLastDeviceIsReloadedAfterTheFirstIdentificationOnly)
{
    WriteSetting("LoadLastDevice", 1);
    {
        CRegistryKey key;
        key.Open(HKEY_CURRENT_USER, kSettings);
        key.WriteString("LastDevice", "27C256");
    }
    Start();
    Plug();
    ASSERT_TRUE(ProcessEventsUntil([&] { return Contains(Log(), "DEVICE 27C256"); }));
    ASSERT_TRUE(ProcessEventsUntil([] { return g_bSetupIdle == 1 && !g_LinkLease.IsHeld(); }));
    Unplug();
    Plug();
    ASSERT_TRUE(ProcessEventsUntil([&] { return programmer.identifications == 2 && g_nOperationState == 1; }));
    RunFor(500ms);
    ASSERT_TRUE(ProcessEventsUntil([] { return g_bSetupIdle == 1 && !g_LinkLease.IsHeld(); }));
    const std::string log = Log();
    EXPECT_EQ(log.find("DEVICE 27C256"), log.rfind("DEVICE 27C256"));
    // The replug set the device up again (without reloading the session).
    EXPECT_NE(log.find("Device: 27C256"), log.rfind("Device: 27C256"));
}

TEST_F(MainViewLife, CancelFromTheProgressWindowSetsTheCancelFlag)
{
    Start();
    g_bCancelOperation = 0;
    CProgressDlg& progress = view->ProgressDlg();
    progress.SetRange(0, 10);
    progress.SetPos(1);
    progress.Show(true);
    progress.OnCancel();
    EXPECT_EQ(g_bCancelOperation, 1);
    progress.Show(false);
}

TEST_F(MainViewLife, HeaderLevelSetFromAWorkerShowsAndBadOffsetsAreRefused)
{
    Start();
    ASSERT_NE(header, nullptr);
    std::thread worker([&] { EXPECT_TRUE(header->SetSpeedLevel(2)); });
    worker.join();
    EXPECT_EQ(header->SpeedLevel(), 2);
    ASSERT_TRUE(ProcessEventsUntil([&] { return header->SpeedBox()->currentText() == "-1"; }));

    EXPECT_TRUE(header->SetDeviceOffsetText("123"));
    view->MessageLog().OnClearAll();
    EXPECT_FALSE(header->SetDeviceOffsetText("1000000"));
    EXPECT_EQ(header->DeviceOffsetText(), "123");
    EXPECT_EQ(header->DeviceOffsetEdit()->text(), "123");
    EXPECT_TRUE(Contains(Log(), "Offset setting wrong.")) << Log();
    EXPECT_TRUE(header->SetFileOffsetText("FFFFFFF0"));
    EXPECT_EQ(header->Snapshot().fileOffset, -16);
}

TEST_F(MainViewLife, HeaderShowsTheCurrentDeviceByItsTimer)
{
    Start();
    EXPECT_TRUE(view->IsTimerArmed(CTonrigView::kTimerHeader));
    const CDeviceClass saved = g_CurrentDevice;
    g_CurrentDevice.m_strName = "AT29C010A";
    g_CurrentDevice.m_nVcc = 12;
    g_CurrentDevice.m_nVpp = 4;
    g_nCurrentClass = 17;
    const bool shown = ProcessEventsUntil([&] { return header->DeviceText() == "AT29C010A"; });
    const std::string voltages = header->VoltageText();
    g_CurrentDevice = saved;
    g_nCurrentClass = kNoDeviceClass;
    ASSERT_TRUE(shown);
    EXPECT_TRUE(Contains(voltages, "Vcc: ")) << voltages;
    EXPECT_TRUE(view->IsTimerArmed(CTonrigView::kTimerHeader)); // re-armed by its action
    ASSERT_TRUE(ProcessEventsUntil([&] { return header->DeviceText() == "-"; }));
}

// Closing the window stops the workers and the monitor in order, however busy they are.
class MainViewClose : public MainViewLife {
protected:
    void CloseAndCheck()
    {
        QElapsedTimer timer;
        timer.start();
        app->MainFrame()->close();
        EXPECT_LT(timer.elapsed(), 5000);
        EXPECT_TRUE(view->IsShutDown());
        for (WorkerSlot slot : { WorkerSlot::Identify, WorkerSlot::Setup, WorkerSlot::Pump, WorkerSlot::Script })
            EXPECT_FALSE(view->WorkerRunning(slot));
        EXPECT_EQ(programmer.monitor->timerStops, 1);
        EXPECT_EQ(programmer.monitor->stops, 1);
        EXPECT_EQ(view->Monitor(), nullptr);
        EXPECT_TRUE(view->m_CodeBuffer.empty());
        EXPECT_EQ(view->m_hPaused, nullptr);
        EXPECT_EQ(g_bCancelOperation, 1);
        EXPECT_FALSE(g_bScriptRunning);
        EXPECT_TRUE(g_bScriptCommandDone);
        EXPECT_EQ(g_LinkLease.Holder(), LeaseHolder::None);
        app->MainFrame()->close(); // again: nothing more happens
        EXPECT_EQ(programmer.monitor->stops, 1);
        QCoreApplication::processEvents(); // a result posted meanwhile finds the view shut
    }
};

TEST_F(MainViewClose, DuringASlowIdentification)
{
    programmer.identifyTime = 3600s;
    Start();
    Plug();
    ASSERT_TRUE(ProcessEventsUntil([&] { return programmer.identifications == 1; }));
    CloseAndCheck();
    EXPECT_EQ(programmer.stoppedIdentifications, 1);
}

TEST_F(MainViewClose, DuringARead)
{
    Start();
    Plug();
    ASSERT_TRUE(WaitForState(kStateIdle));
    // A stand-in for the data pump: 512 KB in 8 KB blocks into the code buffer, each block handed
    // to the GUI thread, stopping on the cancel flag; its end frees the link and the state on the
    // GUI thread, as the pump's completion does.
    constexpr std::size_t kBlock = 8192;
    std::atomic<std::size_t> blocks { 0 };
    ASSERT_TRUE(g_LinkLease.Take(LeaseHolder::Operation));
    g_nOperationState = 3;
    g_bCancelOperation = 0;
    CTonrigView* target = view;
    ASSERT_TRUE(view->StartWorker(WorkerSlot::Pump, [target, &blocks](std::stop_token) {
        std::vector<BYTE> block(kBlock);
        for (std::size_t at = 0; at < CTonrigView::kCodeBufferSize; at += kBlock) {
            if (g_bCancelOperation) {
                platform::post([] {
                    g_LinkLease.Release(LeaseHolder::Operation);
                    g_nOperationState = kStateIdle;
                });
                return;
            }
            platform::GetClock().SleepFor(50ms); // the wire time of one block
            std::fill(block.begin(), block.end(), static_cast<BYTE>(at / kBlock));
            const auto result = platform::send([&] {
                std::copy(block.begin(), block.end(), target->m_CodeBuffer.begin() + static_cast<std::ptrdiff_t>(at));
            });
            if (result == platform::SendResult::NotDelivered)
                return;
            ++blocks;
        }
    }));
    ASSERT_TRUE(ProcessEventsUntil([&] { return blocks >= 4; }));
    // Asked first; Yes cancels the read, and the window closes once it has ended.
    boxes.QueueAnswer(IDYES);
    app->MainFrame()->close();
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, CTonrigView::kExitQuestion);
    EXPECT_FALSE(view->IsShutDown());
    ASSERT_TRUE(ProcessEventsUntil([&] { return view->IsShutDown(); }));
    CloseAndCheck();
    EXPECT_LT(blocks.load(), CTonrigView::kCodeBufferSize / kBlock);
}

} // namespace
