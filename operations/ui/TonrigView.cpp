#include "operations/ui/TonrigView.h"

#include "controls/ui/ImageButton.h"
#include "platform/ui/GdiShim.h"

#include "buffer/ui/HexEditBase.h"
#include "catalogue/DeviceClassTable.h"
#include "catalogue/DeviceLibrary.h"
#include "catalogue/DeviceLists.h"
#include "catalogue/ui/DeviceIdDlg.h"
#include "catalogue/ui/DeviceSelectDlg.h"
#include "controls/ui/IconButton.h"
#include "link/CFGManager.h"
#include "link/LinkLease.h"
#include "link/ProgrammerModel.h"
#include "operations/ByteSwap.h"
#include "operations/CommandChannelPump.h"
#include "operations/ConfigWords.h"
#include "operations/OperationControl.h"
#include "operations/OperationText.h"
#include "operations/ScriptFlags.h"
#include "operations/StartupChecks.h"
#include "operations/StopWatch.h"
#include "operations/ui/BufferCommands.h"
#include "operations/ui/ConfigGrid.h"
#include "operations/ui/PumpController.h"
#include "operations/ui/ScriptEditor.h"
#include "operations/ui/View2Header.h"
#include "operations/ui/ViewPumpPort.h"
#include "operations/ui/ViewSetup.h"
#include "platform/Folders.h"
#include "platform/GuiThread.h"
#include "platform/MessageBox.h"
#include "platform/OsVersion.h"
#include "platform/Process.h"
#include "platform/SettingsStore.h"
#include "platform/TextFormat.h"
#include "platform/ui/GdiShim.h"
#include "platform/ui/QtServices.h"
#include "platform/usb/UsbProviders.h"
#include "shell/Language.h"
#include "shell/LanguageLoader.h"
#include "shell/WindowsVersion.h"
#include "shell/ui/MainFrame.h"
#include "shell/ui/ProgressDlg.h"
#include "shell/ui/SplashDlg.h"
#include "shell/ui/StatusBar.h"
#include "shell/ui/TonrigApp.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QSysInfo>
#include <QTabBar>
#include <QVBoxLayout>

#include <algorithm>

CTonrigView* g_pMainView = nullptr;

namespace {

constexpr const char* kSettingsKey = "Software\\Zelvo USB Programmer\\Settings";

// The menu's commands and their texts; the suffix after a tab names the shortcut.
struct MenuText {
    UINT id;
    int text;
    const char* suffix;
};
constexpr MenuText kMenuTexts[] = {
    { 57601, 8, "\tCtl+O" },
    { 57603, 9, "\tCtl+S" },
    { 57604, 10, "" },
    { 57665, 11, "" },
    { 32947, 12, "\tCtl+F" },
    { 32948, 13, "\tF3" },
    { 32812, 14, "" },
    { 59392, 15, "" },
    { 59393, 16, "" },
    { 32945, 17, "\tCtl+D" },
    { 32803, 18, "\tCtl+R" },
    { 32804, 19, "\tCtl+W" },
    { 32805, 20, "\tCtl+B" },
    { 32806, 21, "\tCtl+E" },
    { 32807, 22, "\tCtl+I" },
    { 32967, 187, "" },
    { 32964, 188, "" },
    { 32965, 189, "" },
    { 32966, 190, "" },
    { 32808, 23, "\tCtrl+Y" },
    { 32809, 24, "\tCtl+L" },
    { 32918, 25, "\tCtl+U" },
    { 32896, 26, "\tCtrl+T" },
    { 32949, 27, "" },
    { 32826, 28, "" },
    { 32923, 29, "" },
    { 32952, 206, "" },
    { 32975, 207, "" },
    { 32951, 7, "" },
    { 32950, 32, "" },
    { 57664, 33, "" },
    { 32958, 31, "" },
    { 32959, 172, "" },
    { 32969, 183, "" },
    { 32960, 185, "" },
    { 32970, 186, "" },
    { 32971, 192, "" },
    { 32968, 191, "" },
};

// Buttons 123 to 130: caption text numbers, and the icons they show (hot, normal).
constexpr int kButtonTexts[8] = { 3, 173, 18, 21, 20, 19, 23, 38 };
constexpr int kButtonHotIcon = 160;
constexpr int kButtonNormalIcon = 161;

std::size_t SlotIndex(WorkerSlot slot)
{
    return static_cast<std::size_t>(slot);
}

void WriteSettingsDword(const char* name, DWORD value)
{
    CRegistryKey key(HKEY_CURRENT_USER);
    if (key.Open(HKEY_CURRENT_USER, kSettingsKey) || key.Create(HKEY_CURRENT_USER, kSettingsKey))
        key.WriteDword(name, value);
}

CRichEditCtrlExtend* MakeRichEdit(QWidget* parent, int id)
{
    auto* edit = new CRichEditCtrlExtend(parent);
    edit->setObjectName(QString::number(id));
    edit->setReadOnly(false);
    return edit;
}

} // namespace

const std::vector<std::string>& CalculatorPrograms()
{
    static const std::vector<std::string> programs { "gnome-calculator", "kcalc", "galculator", "mate-calc",
        "qalculate-qt", "qalculate-gtk", "xcalc" };
    return programs;
}

CTonrigView::CTonrigView(QWidget* parent)
    : QWidget(parent)
    , platform::MessageTarget(this)
    , m_CodeBuffer(m_Buffers.Buffer(buffer::kMainBuffer))
    , m_DataBuffer(m_Buffers.Buffer(buffer::kDataBuffer))
    , m_ConfigBuffer(m_Buffers.Buffer(buffer::kConfigBuffer))
    , m_ConfigWordBuffer(m_Buffers.ConfigWord())
    , m_hPaused(platform::CreateNamedEvent("Paused"))
    , m_hCommandReady(platform::CreateNamedEvent("CommandReady"))
{
    m_CodeBuffer.assign(kCodeBufferSize, 0xFF);
    m_DataBuffer.assign(kDataBufferSize, 0xFF);
    m_ConfigBuffer.assign(kConfigBufferSize, 0xFF);
    m_ConfigWordBuffer.assign(kConfigWordBufferSize, 0xFF);
    InitDeviceClassTable();
    g_nCurrentClass = kNoDeviceClass;
    g_nOperationState = kStateIdle;
    CreatePanes();
    m_pBufferCommands = std::make_unique<CBufferCommands>(*this, m_Buffers);
    m_pBufferCommands->AttachWidgets(m_Tab, m_HexView, m_MessageLog);
    m_pBufferCommands->AttachScriptPane(m_ScriptPane);
    m_pBufferCommands->AttachConfigGrid(m_ConfigGrid);
    m_pScriptEditor = std::make_unique<CScriptEditor>(this, m_Tab, m_ScriptPane);
    AttachCommandLine();
    m_pProgress = std::make_unique<CProgressDlg>(this, Handle());
    m_pSplash = new CSplashDlg(this, Handle());
    m_pSetup = std::make_unique<CViewSetup>(*this);
    m_pPumpPort = std::make_unique<ViewPumpPort>(*this);
    m_pPump = std::make_unique<CPumpController>(*m_pPumpPort);
    // The pump reaches the programmer through the setup's command channel.
    m_pPumpChannel = std::make_unique<CommandChannelPump>(m_pSetup->Channel());
    SetPumpChannel(m_pPumpChannel.get(), [this](int& blockSize, int& writeBlockSize, int& writeStep) {
        CommandChannel& channel = m_pSetup->Channel();
        channel.BeginOperation();
        channel.SetTransferSizes();
        blockSize = channel.m_nBlockSize;
        writeBlockSize = channel.m_nWriteBlockSize;
        writeStep = channel.m_nWriteStep;
    });
    m_pPump->onFinished = [this](const PumpResult& result, bool linkLost) { FinishOperation(result, linkLost); };
    m_pControl = std::make_unique<COperationControl>(MakeControlHooks());
    // The selection dialog's "Request a new chip support" asks over that dialog.
    CDeviceSelectDlg::SetRequestNewChipHook([this](CDeviceSelectDlg& dialog) { RequestNewChip(&dialog); });
}

CTonrigView::~CTonrigView()
{
    CDeviceSelectDlg::SetRequestNewChipHook({});
    Shutdown();
    m_pPump.reset();
    m_pPumpPort.reset();
    SetDeviceListLogSink({});
    CLanguageLoader::SetLogSink({});
    if (m_bInitialised)
        platform::SettingsStore::Instance().SetSaveFailureSink({});
    if (g_pMainView == this)
        g_pMainView = nullptr;
}

void CTonrigView::CreatePanes()
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);

    // The command buttons come first: the language texts are applied to them.
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(2);
    for (int i = 0; i < 8; ++i) {
        auto* button = new CIconButton(this);
        button->setObjectName(QString::number(IDC_DEVICE_BUTTON + i));
        button->SetIcon(kButtonHotIcon, kButtonNormalIcon);
        button->SetFlat(true);
        button->SetImageAlign(0); // the icon left of the caption
        // A caption too long for its button breaks onto a second line: leave room for it.
        button->setMinimumHeight(2 * button->fontMetrics().lineSpacing() + 4);
        buttons->addWidget(button);
        m_Buttons[i] = button;
    }
    buttons->addStretch(1);
    layout->addLayout(buttons);
    // Each button is a command: pane 0 lets go of the last failure first.
    for (QPushButton* button : m_Buttons)
        connect(button, &QPushButton::clicked, this, [this] { ClearFailureNote(); });
    connect(m_Buttons[0], &QPushButton::clicked, this, [this] { OnDeviceButton(); });
    connect(m_Buttons[1], &QPushButton::clicked, this, [this] { OnSignatureId(); });
    connect(m_Buttons[2], &QPushButton::clicked, this, [this] { OnRead(); });
    connect(m_Buttons[3], &QPushButton::clicked, this, [this] { OnErase(); });
    connect(m_Buttons[4], &QPushButton::clicked, this, [this] { OnBlankCheck(); });
    connect(m_Buttons[5], &QPushButton::clicked, this, [this] { OnWrite(); });
    connect(m_Buttons[6], &QPushButton::clicked, this, [this] { OnVerify(); });
    connect(m_Buttons[7], &QPushButton::clicked, this, [this] { OnBatchRun(); });

    m_Tab = new QTabBar(this);
    m_Tab->setObjectName(QString::number(IDC_TAB));
    QFont tabFont = platform::MakeFont("Arial", 9, 300);
    tabFont.setPixelSize(16);
    m_Tab->setFont(tabFont);
    m_Tab->addTab(QString());
    m_Tab->addTab(QString());
    layout->addWidget(m_Tab);

    m_MessageLog = MakeRichEdit(this, IDC_MESSAGE_LOG);
    m_MessageLog->SetFaceName("Fixedsys");
    m_MessageLog->SetFontSize(7);
    // The program's own output: the user reads, selects and copies it, and types nothing into it.
    m_MessageLog->setReadOnly(true);
    m_MessageLog->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    layout->addWidget(m_MessageLog, 4);

    // The hex view takes the log's place when the Buffer tab is chosen (the buffer commands
    // switch them).
    m_HexView = new CHexEditBase(this);
    m_HexView->setObjectName(QString::number(IDC_HEX_VIEW));
    m_HexView->hide();
    layout->addWidget(m_HexView, 4);

    // The configuration-bit grid takes the hex view's place while buffer 3 of a PIC18 is shown.
    m_ConfigGrid = new CConfigGrid;
    m_ConfigGrid->Create(QRect(), this, IDC_CONFIG_GRID);
    m_ConfigGrid->hide();
    m_ConfigGrid->onWordsChanged = [this] { OnConfigGridPick(); };
    layout->addWidget(m_ConfigGrid, 4);

    // The script editor takes the log's place when its tab is chosen.
    m_ScriptPane = MakeRichEdit(this, IDC_SCRIPT_PANE);
    m_ScriptPane->SetFaceName("OUTLOOK");
    m_ScriptPane->SetFontSize(10);
    m_ScriptPane->hide();
    layout->addWidget(m_ScriptPane, 4);

    // The command line under the log: Enter runs its text as a script line.
    m_CommandLine = MakeRichEdit(this, IDC_COMMAND_LINE);
    m_CommandLine->SetFaceName("OUTLOOK");
    m_CommandLine->SetFontSize(12);
    m_CommandLine->SetBackColor(kCommandLineBack);
    m_CommandLine->setAcceptRichText(false);
    m_CommandLine->setMaximumHeight(m_CommandLine->fontMetrics().height() * 3);
    layout->addWidget(m_CommandLine, 0);

    auto* fields = new QHBoxLayout;
    // A coloured caption: an image button without bitmaps that takes no mouse and no focus.
    m_DeviceName = new CImageButton("-", this, CImageButton::kPush);
    m_DeviceName->setObjectName(QString::number(IDC_DEVICE_NAME));
    m_DeviceName->SetMouseEnabled(false);
    m_DeviceName->setFocusPolicy(Qt::NoFocus);
    m_Status = new QLabel(this);
    m_Status->setObjectName(QString::number(IDC_STATUS));
    fields->addWidget(m_DeviceName, 1);
    fields->addWidget(m_Status, 2);
    layout->addLayout(fields);
}

QWidget* CTonrigView::GetDlgItem(int id) const
{
    switch (id) {
    case IDC_HEX_VIEW:
        return m_HexView;
    case IDC_TAB:
        return m_Tab;
    case IDC_MESSAGE_LOG:
        return m_MessageLog;
    case IDC_DEVICE_NAME:
        return m_DeviceName;
    case IDC_STATUS:
        return m_Status;
    case IDC_CONFIG_GRID:
        return m_ConfigGrid;
    case IDC_SCRIPT_PANE:
        return m_ScriptPane;
    case IDC_COMMAND_LINE:
        return m_CommandLine;
    default:
        break;
    }
    if (id >= IDC_DEVICE_BUTTON && id <= IDC_AUTO_BUTTON)
        return m_Buttons[id - IDC_DEVICE_BUTTON];
    return nullptr;
}

void CTonrigView::OnInitialUpdate()
{
    g_pMainView = this;
    if (m_bInitialised || m_bShutDown)
        return;
    m_bInitialised = true;
    m_Hooks = CurrentProgrammerHooks();
    // The scan below may create the settings key; a first start is judged before it.
    const bool firstStart = !CRegistryKey(HKEY_CURRENT_USER).Exists(HKEY_CURRENT_USER, kSettingsKey);

    // 1. Flags.
    m_bScriptMode = false;
    m_bSequence = false;
    m_nScriptFont = 255;

    // 2. A foreign driver bound to the programmer keeps us from claiming it.
    ScanDriverConflicts();

    // 3. Texts and pane settings. A language file's warnings go to the log, in the colour of
    // the device lists' warnings.
    CLanguageLoader::SetLogSink([this](const std::string& text) { Log(text + "\r\n", RGB(192, 96, 0)); });
    InitLanguageForView();
    ApplyLanguage();
    ReadPaneSettings();
    // Why settings are back to their defaults: the store was read before this log existed.
    for (const std::string& line : platform::SettingsStore::Instance().TakeLoadMessages())
        Log(line + "\r\n", kLogError);
    // A settings file that takes no writes: said once, also when it refused one before the log existed.
    WatchSettingsSaves();

    // 4, 5. The panes and buffers exist since construction; the status panes and device lists.
    WriteStatusPanes();
    // Device-list errors go to the message log, from whichever thread loads a list.
    QPointer<CTonrigView> self(this);
    SetDeviceListLogSink([self](const std::string& text, COLORREF colour) {
        platform::post([self, text, colour] {
            if (self)
                self->Log(text, colour);
        });
    });
    LoadDeviceLists(false);
    // The chip-ID dialog's manufacturer table and signatures, once, from the main list as the
    // first start installs it, or from the program's own list where the catalogue took that.
    CDeviceIdDlg& ids = DeviceIdDlg();
    ids.FillManufacturerTable();
    if (const QByteArray standIn = StandInDeviceList("devices.txt"); !standIn.isEmpty())
        ids.ImportDeviceSignatures(standIn);
    else
        ids.LoadDeviceSignatures(GetAppDataFolder() + "/devices.txt");

    // 6, 7. The connection monitor and the link watch.
    StartLinkWatch();
    SetTimer(kTimerLinkWatch, 1000);

    // 8. Only presence here: the monitor's first tick posts the one identification of the start.
    if (m_pMonitor && m_Hooks.probePresence && m_Hooks.probePresence()) {
        Log(g_Language.GetText(73) + "\r\n", kLogNote);
        g_nOperationState = kStateIdentifying;
    } else {
        g_nOperationState = kStateDisconnected;
        SetTimer(kTimerDriverInstaller, 500, true);
    }
    UpdateStatePane();

    // 9. The system: the design's one question on it, and the log's line.
    GetWindowsVersion();
    const platform::OsFacts system = platform::ProbeOsVersion();
    Log(LinuxVersionLine(system.prettyName, system.kernel), kLogNote);
    m_MessageLog->SetBackColor(kLogBack);

    // 10, 11.
    ReadStartupFlags(firstStart);
    if (g_pView2Header && g_pView2Header->IsPaneEnabled())
        SetTimer(kTimerHeader, 200, true);
}

void CTonrigView::ApplyLanguage()
{
    ApplyLanguageToMenu();
    m_strOffsetTitle = g_Language.GetText(177);
    for (int i = 0; i < 8; ++i)
        m_Buttons[i]->setText(QString::fromStdString(g_Language.GetText(kButtonTexts[i])));
    m_Tab->setTabText(0, QString::fromStdString(g_Language.GetText(40)));
    m_Tab->setTabText(1, QString::fromStdString(g_Language.GetText(62)));
    m_pBufferCommands->ApplyLanguage();
    if (m_pSetup && DeviceSetupOwner().GridLoaded()) {
        m_ConfigGrid->FillHeaderRow();
        m_ConfigGrid->Refresh();
    }
    if (g_pView2Header)
        g_pView2Header->ApplyLanguage();
}

void CTonrigView::ApplyLanguageToMenu()
{
    if (!g_pMainFrame)
        return;
    // The top-level menus by position, then the commands by id. A Qt menu repaints a changed
    // action at once; the owner-drawn pop-ups take the new texts when they next open.
    const QList<QAction*> bar = g_pMainFrame->menuBar()->actions();
    for (int i = 0; i < 8 && i < bar.size(); ++i)
        bar[i]->setText(QString::fromStdString(g_Language.GetText(i)));
    platform::CommandTable& commands = g_pMainFrame->Commands();
    for (const MenuText& entry : kMenuTexts)
        if (QAction* action = commands.Action(entry.id))
            action->setText(QString::fromStdString(g_Language.GetText(entry.text) + entry.suffix));
}

void CTonrigView::ReadStartupFlags(bool firstStart)
{
    CRegistryKey key(HKEY_CURRENT_USER);
    if (firstStart || !key.Open(HKEY_CURRENT_USER, kSettingsKey)) {
        // A first start. Nothing reads "Programmer"; it is kept for the files others may read.
        if (key.Create(HKEY_CURRENT_USER, kSettingsKey))
            key.WriteDword("Programmer", 7);
        return;
    }
    key.ReadDword("LoadLastDevice", m_dwLoadLastDevice);
    key.ReadDword("ForgetLoadedFileName", m_dwForgetLoadedFileName);
    key.ReadDword("WebCheckMessage", m_dwWebCheckMessage);
}

void CTonrigView::ReadPaneSettings()
{
    struct PaneFont {
        const char* subKey;
        CRichEditCtrlExtend* pane;
    };
    const PaneFont panes[] = { { "MessageLogFont", m_MessageLog }, { "CommandLineFont", m_CommandLine },
        { "ZelvoScripEditFont", m_ScriptPane } };
    for (const PaneFont& p : panes) {
        CRegistryKey key(HKEY_CURRENT_USER);
        if (!key.Open(HKEY_CURRENT_USER, std::string(kSettingsKey) + "\\" + p.subKey))
            continue;
        std::string face;
        DWORD size = 0;
        if (key.ReadString("FaceName", face) && !face.empty())
            p.pane->SetFaceName(face);
        if (key.ReadDword("PointSize", size) && size > 0 && size < 200)
            p.pane->SetFontSize(static_cast<int>(size));
    }
    CRegistryKey key(HKEY_CURRENT_USER);
    if (key.Open(HKEY_CURRENT_USER, kSettingsKey))
        key.ReadString("LastOpenedScriptFileName", m_strLastOpenedScriptFileName);
}

void CTonrigView::ScanDriverConflicts()
{
    const DriverScanResult result = ScanConflictedDrivers(platform::usb::CurrentUsbProvider(), kConflictHardwareId,
        kConflictManufacturer, false, [this](const std::string& line) { Log(line, kLogError); });
    if (result.matched == 0)
        return;
    MessageBox("A conflicted USB driver detected,\r\n The USB driver installation is required.");
    WriteSettingsDword("USBDriverOK", 0);
}

void CTonrigView::StartLinkWatch()
{
    if (!m_Hooks.makeMonitor)
        return;
    QPointer<CSplashDlg> splash(m_pSplash);
    m_pMonitor = m_Hooks.makeMonitor(Handle(), [splash] {
        // ShowSplash queues itself onto the GUI thread; the pointer is only read there.
        platform::post([splash] {
            if (splash)
                splash->ShowSplash(true);
        });
    });
    if (!m_pMonitor)
        return;
    if (!m_pMonitor->Start()) {
        MessageBox("Can not init USB connection");
        m_pMonitor.reset();
        return;
    }
    m_pMonitor->StartTimer();
}

void CTonrigView::SetStatusPane(UINT id, const std::string& text)
{
    if (!g_pStatusBar)
        return;
    const int index = g_pStatusBar->CommandToIndex(id);
    if (index >= 0)
        g_pStatusBar->SetPaneText(index, text);
}

void CTonrigView::WriteStatusPanes()
{
    // Panes 110 (checksum) and 103 (state) keep the status bar's own start texts until the
    // buffers and the operations write them.
    SetStatusPane(CStatusBar::ID_INDICATOR_FIRMWARE, "Firmware Rev: ---");
}

LRESULT CTonrigView::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_BUFFER_REFRESH:
        ShowBufferTab(0);
        return 0;
    case WM_CANCEL_OPERATION:
        m_bSequence = false;
        m_pControl->Cancel();
        return 0;
    case WM_DEVICE_DETECTED:
        OnDeviceDetected(static_cast<int>(lParam));
        return 0;
    case WM_DEVICE_SETUP:
        // Nothing to set up without a device.
        if (g_nCurrentClass != kNoDeviceClass)
            StartDeviceSetup(g_nCurrentClass, 1, 1, 1);
        return 0;
    case WM_USB_INIT:
        OnUsbInit();
        return 0;
    case WM_PROGRAMMER_CHANGED:
        OnProgrammerChanged(wParam);
        return 0;
    case WM_POPUP_TIMEOUT:
    default:
        return 0;
    }
}

void CTonrigView::OnTimer(UINT id)
{
    if (m_bShutDown)
        return;
    // Every timer but the link watch fires once per arming.
    if (id != kTimerLinkWatch)
        KillTimer(id);
    switch (id) {
    case kTimerLoadLastSession:
        LoadLastSession();
        break;
    case kTimerRead:
    case kTimerWrite:
    case kTimerErase:
    case kTimerVerify:
    case kTimerBlankCheck:
    case kTimerLock:
    case kTimerIdCheck:
        OnStepTimer(id);
        break;
    case kTimerNothing:
        break;
    case kTimerScriptLine:
    case kTimerScriptGoto:
    case kTimerScriptStart:
    case kTimerCommandLine:
    case kTimerScriptWait:
    case kTimerScriptRetry:
        OnScriptTimer(id);
        break;
    case kTimerOutOfSync:
        MessageBox("Hardware out of synched!\r\n Please re-connect the programmer.");
        break;
    case kTimerLinkWatch:
        OnLinkWatch();
        break;
    case kTimerUsbInit:
        PostMessage(WM_USB_INIT);
        break;
    case kTimerInitFailed:
        g_nOperationState = kStateDisconnected;
        UpdateStatePane();
        Log(g_Language.GetText(52) + "\r\n", kLogError);
        break;
    case kTimerDriverVersion:
        MessageBox("This software works for USB driver 1.0 Only.");
        break;
    case kTimerHeader:
        if (g_pView2Header && g_pView2Header->IsPaneEnabled()) {
            g_pView2Header->Refresh();
            SetTimer(kTimerHeader, 200, true);
        }
        break;
    case kTimerDriverInstaller:
        OnDriverInstaller();
        break;
    case kTimerChecksum:
        BufferCommands().WriteChecksumPane();
        break;
    default:
        break;
    }
}

// ---- The programmer's arrival and loss ----

void CTonrigView::OnUsbInit()
{
    if (m_bShutDown)
        return;
    if (!g_LinkLease.Take(LeaseHolder::Identify)) {
        // Whoever holds the link finishes first; try again shortly.
        SetTimer(kTimerUsbInit, 100, true);
        return;
    }
    g_nOperationState = kStateIdentifying;
    UpdateStatePane();
    m_bLostDuringIdentify = false;
    m_pSplash->ShowSplash(true);
    ResetPinDriverState();

    const unsigned generation = ++m_nIdentifyGeneration;
    auto identify = m_Hooks.identify;
    QPointer<CTonrigView> self(this);
    StopWorker(WorkerSlot::Identify); // the last run has posted its result: it is ending
    StartWorker(WorkerSlot::Identify, [identify, self, generation](std::stop_token stop) {
        IdentifyOutcome outcome;
        if (identify)
            outcome = identify(stop);
        else
            outcome.reason = "No programmer identification.";
        platform::post([self, outcome = std::move(outcome), generation] {
            if (self)
                self->OnIdentified(outcome, generation);
        });
    });
}

void CTonrigView::OnIdentified(const IdentifyOutcome& outcome, unsigned generation)
{
    if (generation != m_nIdentifyGeneration || m_bShutDown)
        return;
    m_pSplash->ShowSplash(false);
    for (const std::string& line : outcome.log)
        Log(line + "\r\n", kLogNote);
    const bool lost = m_bLostDuringIdentify;
    m_bLostDuringIdentify = false;
    if (!outcome.ok || lost) {
        Log(platform::Format("Programmer identification failed: %s\r\n",
                lost ? "the programmer went away." : outcome.reason.c_str()),
            kLogError);
        SetTimer(kTimerInitFailed, 100, true);
        g_LinkLease.Release(LeaseHolder::Identify);
        UpdateStatePane();
        return;
    }
    ++m_nIdentifications;
    m_strHardwareVersion = outcome.version;
    m_strHardwareSerial = outcome.serial;
    g_nProgrammerModel = outcome.model;
    m_DeviceName->SetTextColor(
        outcome.model == kModelZvCQ || outcome.model == kModelZvD ? RGB(0, 144, 0) : GetSysColor(COLOR_BTNTEXT));
    m_DeviceName->update();
    m_BlackBox = outcome.history;
    InvalidatePinDriverCache();
    SetStatusPane(CStatusBar::ID_INDICATOR_FIRMWARE, "Firmware Rev: " + outcome.version);
    g_nOperationState = kStateIdle;
    UpdateStatePane();
    Log(g_Language.GetText(51) + "\r\n", kLogNote);
    LoadDeviceLists(true);
    WriteSettingsDword("USBDriverOK", 1);
    if (m_nIdentifications == 1 && m_dwLoadLastDevice != 0)
        SetTimer(kTimerLoadLastSession, 100, true);
    // After a replug the box has lost its image: the selected device is set up again.
    m_pSetup->OnProgrammerIdentified();
    // Last: a device setup waiting for the link starts from here.
    g_LinkLease.Release(LeaseHolder::Identify);
}

void CTonrigView::OnProgrammerChanged(WPARAM kind)
{
    if (m_bShutDown)
        return;
    if (kind == 0) {
        OnUsbInit();
        return;
    }
    // Gone. The monitor has shown its box.
    g_bCancelOperation = 1;
    m_strHardwareVersion.clear();
    SetStatusPane(CStatusBar::ID_INDICATOR_FIRMWARE, "Firmware Rev: ---");
    switch (g_LinkLease.Holder()) {
    case LeaseHolder::Operation:
        // The operation ends on its own, in state 0.
        g_LinkLease.MarkLinkLost();
        return;
    case LeaseHolder::Identify:
        m_bLostDuringIdentify = true;
        m_Workers[SlotIndex(WorkerSlot::Identify)].request_stop();
        break;
    default:
        break;
    }
    g_nOperationState = kStateDisconnected;
    UpdateStatePane();
}

void CTonrigView::OnLinkWatch()
{
    // Only the monitor probes the link; this reads its flag.
    const bool connected = m_pMonitor && m_pMonitor->IsConnected();
    if (g_nOperationState == kStateIdentifying && g_LinkLease.Holder() != LeaseHolder::Identify && !connected)
        g_nOperationState = kStateDisconnected;
    UpdateStatePane();
}

void CTonrigView::OnDriverInstaller()
{
    if (m_pMonitor && m_pMonitor->IsConnected())
        return;
    DWORD driverOk = 0;
    {
        CRegistryKey key(HKEY_CURRENT_USER);
        if (key.Open(HKEY_CURRENT_USER, kSettingsKey))
            key.ReadDword("USBDriverOK", driverOk);
    }
    if (driverOk == 1)
        return;
    const platform::OsFacts facts = platform::ProbeOsVersion();
    const std::string system = LinuxSystemName(facts.prettyName);
    const std::string text = platform::Format("Did not find programmer or USB driver. \r\nYou can install %s USB "
                                              "driver now? \r\nIf USB driver has been installed then skip it.\r\n"
                                              "       Yes/No(skip)?",
        system.c_str());
    if (MessageBox(text, "Did not find programmer.", MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    const bool is64 = QSysInfo::WordSize == 64;
    const InstallerChoice choice = ChooseDriverInstaller(
        static_cast<unsigned>(facts.kernel.major), static_cast<unsigned>(facts.kernel.minor), is64);
    std::string target = platform::ProgramFolder() + choice.path;
    std::replace(target.begin(), target.end(), '\\', '/');
    platform::OpenResult result;
    if (choice.verb == "open" && FileExists(target))
        result = platform::OpenWithDesktop(target);
    else
        result = { false, "not available on this system" }; // an installer to run elevated
    if (result.ok)
        return;
    Log(platform::Format("USB driver installer: %s.\r\nThis system needs no USB driver for the programmer; "
                         "if it is not found, install the udev rule described in the README (platform/usb).\r\n",
            result.reason.c_str()),
        kLogNote);
}

void CTonrigView::LoadDeviceLists(bool freeFirst)
{
    ::LoadDeviceLists(freeFirst);
}

void CTonrigView::ResetPinDriverState()
{
    // The programmer comes back in its boot state.
    g_CFGManager.ResetState();
}

void CTonrigView::InvalidatePinDriverCache()
{
    // A newly identified programmer may hold anything: every pin-driver byte goes out again.
    g_CFGManager.InvalidateSentCache();
}

// ---- Link lease and workers ----

bool CTonrigView::CheckLinkFree(const char* what)
{
    const LeaseHolder holder = g_LinkLease.Holder();
    if (holder == LeaseHolder::None)
        return true;
    Log(platform::Format("%s: the programmer is busy with %s.\r\n", what, LeaseHolderName(holder)), kLogNote);
    return false;
}

int CTonrigView::FinishedOperationState()
{
    return g_LinkLease.TakeLinkLost() ? kStateDisconnected : kStateIdle;
}

bool CTonrigView::StartWorker(WorkerSlot slot, std::function<void(std::stop_token)> work)
{
    std::jthread& thread = m_Workers[SlotIndex(slot)];
    std::shared_ptr<std::atomic<bool>>& active = m_workerActive[SlotIndex(slot)];
    if (m_bShutDown || !work || WorkerRunning(slot))
        return false;
    if (thread.joinable())
        thread.join(); // its work has returned
    active = std::make_shared<std::atomic<bool>>(true);
    thread = std::jthread([active, work = std::move(work)](std::stop_token stop) {
        work(stop);
        *active = false;
    });
    return true;
}

void CTonrigView::StopWorker(WorkerSlot slot)
{
    std::jthread& thread = m_Workers[SlotIndex(slot)];
    if (!thread.joinable())
        return;
    thread.request_stop();
    thread.join();
}

bool CTonrigView::WorkerRunning(WorkerSlot slot) const
{
    const std::shared_ptr<std::atomic<bool>>& active = m_workerActive[SlotIndex(slot)];
    return m_Workers[SlotIndex(slot)].joinable() && active && *active;
}

// ---- The data pump's steps ----

void CTonrigView::SetPumpChannel(PumpChannel* channel, std::function<void(int&, int&, int&)> setTransferSizes)
{
    m_pPumpPort->SetChannel(channel, std::move(setTransferSizes));
}

static bool RunPumpStep(
    CTonrigView& view, ViewPumpPort& port, CPumpController& pump, PumpOperation operation, BYTE option = 0)
{
    if (view.IsShutDown())
        return false;
    if (IsJtagClass(g_nCurrentClass)) {
        static constexpr const char* kActions[] = { "READ_USERCODE", "PROGRAM", "VERIFY", "BLANKCHECK", "ERASE" };
        const char* action = operation == PumpOperation::Read ? kActions[0]
            : operation == PumpOperation::Write               ? kActions[1]
            : operation == PumpOperation::Verify              ? kActions[2]
            : operation == PumpOperation::BlankCheck          ? kActions[3]
                                                              : kActions[4];
        if (view.OpenJtagDialog(action)) {
            view.Control().EndRun(); // nothing chains after the dialog
            return false;
        }
        StepResult refused;
        refused.operation = static_cast<StepOperation>(static_cast<int>(operation));
        refused.kind = StepKind::Refused;
        view.Control().OnResult(refused);
        return false;
    }
    bool started = false;
    if (!port.HasChannel())
        view.Log(platform::Format("%s: the command channel is not connected.\r\n", PumpOperationName(operation)),
            CTonrigView::kLogError);
    else if (view.CheckLinkFree(PumpOperationName(operation)))
        started = pump.RunStep(operation, option);
    if (started) {
        g_StopWatch.Start();
        return true;
    }
    // Refused: the run it belongs to ends here, as no result will come.
    StepResult refused;
    refused.operation = static_cast<StepOperation>(static_cast<int>(operation));
    refused.kind = StepKind::Refused;
    view.Control().OnResult(refused);
    return false;
}

bool CTonrigView::RunReadStep()
{
    // Buffer 3 is the configuration words, which have their own exchange.
    if (m_pPumpPort->BufferIndex() == 3 && g_CurrentDevice.m_pPicConfig)
        return RunConfigWordsStep(ConfigWordsAction::Read);
    return RunPumpStep(*this, *m_pPumpPort, *m_pPump, PumpOperation::Read);
}

bool CTonrigView::RunWriteStep()
{
    // Buffer 3 is the configuration words, which have their own exchange.
    if (m_pPumpPort->BufferIndex() == 3 && g_CurrentDevice.m_pPicConfig)
        return RunConfigWordsStep(ConfigWordsAction::Write);
    if (m_pPumpPort->BufferIndex() == 2 && g_CurrentDevice.m_pPicConfig)
        PutConfigWordsInConfigMemory(*g_CurrentDevice.m_pPicConfig, m_ConfigBuffer);
    return RunPumpStep(*this, *m_pPumpPort, *m_pPump, PumpOperation::Write);
}

bool CTonrigView::RunEraseStep(BYTE option)
{
    return RunPumpStep(*this, *m_pPumpPort, *m_pPump, PumpOperation::Erase, option);
}

bool CTonrigView::RunVerifyStep()
{
    // Buffer 3 is the configuration words, which have their own exchange.
    if (m_pPumpPort->BufferIndex() == 3 && g_CurrentDevice.m_pPicConfig)
        return RunConfigWordsStep(ConfigWordsAction::Verify);
    if (m_pPumpPort->BufferIndex() == 2 && g_CurrentDevice.m_pPicConfig)
        PutConfigWordsInConfigMemory(*g_CurrentDevice.m_pPicConfig, m_ConfigBuffer);
    return RunPumpStep(*this, *m_pPumpPort, *m_pPump, PumpOperation::Verify);
}

bool CTonrigView::RunBlankCheckStep()
{
    return RunPumpStep(*this, *m_pPumpPort, *m_pPump, PumpOperation::BlankCheck);
}

// ---- Shut-down ----

void CTonrigView::Shutdown()
{
    if (m_bShutDown)
        return;
    m_bShutDown = true;
    for (UINT id : { kTimerRead, kTimerWrite, kTimerErase, kTimerVerify, kTimerBlankCheck, kTimerLock, kTimerNothing,
             kTimerIdCheck })
        KillTimer(id);
    for (UINT id : { kTimerLoadLastSession, kTimerOutOfSync, kTimerLinkWatch, kTimerUsbInit, kTimerInitFailed,
             kTimerDriverVersion, kTimerHeader, kTimerDriverInstaller, kTimerChecksum })
        KillTimer(id);
    for (UINT id : { kTimerScriptLine, kTimerScriptGoto, kTimerScriptStart, kTimerCommandLine, kTimerScriptWait,
             kTimerScriptRetry })
        KillTimer(id);
    m_keptLines.clear();

    m_bWriting = false;
    m_bSequence = false;
    m_bScriptMode = false;
    g_bCancelOperation = 1;
    // From here a worker's send() returns at once, so no join below waits on the GUI thread.
    platform::BeginShutdown();

    // The script first: it would start further commands. Then the workers that use the link.
    g_bScriptRunning = false;
    g_bScriptCommandDone = true;
    if (m_pBufferCommands)
        m_pBufferCommands->EndCompile();
    if (m_pSetup)
        m_pSetup->Shutdown();
    for (WorkerSlot slot :
        { WorkerSlot::Script, WorkerSlot::Jtag, WorkerSlot::Pump, WorkerSlot::Setup, WorkerSlot::Identify })
        StopWorker(slot);
    for (LeaseHolder holder : { LeaseHolder::Operation, LeaseHolder::Setup, LeaseHolder::Identify, LeaseHolder::Jtag })
        g_LinkLease.Release(holder);

    if (m_pMonitor) {
        m_pMonitor->StopTimer();
        m_pMonitor->Stop();
        m_pMonitor.reset();
    }

    if (m_HexView)
        m_HexView->SetData(nullptr, 0); // it points into the buffers
    for (std::vector<BYTE>* buffer : { &m_CodeBuffer, &m_DataBuffer, &m_ConfigBuffer, &m_ConfigWordBuffer }) {
        buffer->clear();
        buffer->shrink_to_fit();
    }
    m_hPaused.reset();
    m_hCommandReady.reset();
}

// ---- Files and commands ----

bool CTonrigView::PostOpenFile(std::string path)
{
    if (!g_pMainView)
        return false;
    QPointer<CTonrigView> view(g_pMainView);
    return platform::post([view, path = std::move(path)] {
        if (view)
            view->OpenFileByName(path);
    });
}

LRESULT CTonrigView::OpenFileByName(const std::string& path)
{
    // A load goes into the active buffer, which a worker holding the link may be filling.
    if (!path.empty() && !CheckLinkFree("Open"))
        return 0;
    return m_pBufferCommands->OpenFileByName(path);
}

void CTonrigView::OnFileOpen()
{
    m_pBufferCommands->OnFileOpen();
}

void CTonrigView::OnCombineFiles()
{
    m_pBufferCommands->OnCombineFiles();
}

void CTonrigView::OnFileSave()
{
    m_pBufferCommands->OnFileSave();
}

void CTonrigView::OnFileSaveAs()
{
    m_pBufferCommands->OnFileSaveAs();
}

void CTonrigView::OnRecentFile()
{
    m_pBufferCommands->OnRecentFile();
}

void CTonrigView::ShowBufferTab(int flag)
{
    m_pBufferCommands->ShowBufferTab(flag);
}

int CTonrigView::GetBufferIndex() const
{
    return m_pBufferCommands->GetBufferIndex();
}

void CTonrigView::Log(const std::string& text, COLORREF colour)
{
    m_MessageLog->AppendText(text, colour);
}

void CTonrigView::OnWrite()
{
    OnDeviceWrite();
}
void CTonrigView::OnRead()
{
    OnDeviceRead();
}
void CTonrigView::OnErase()
{
    EraseDevice();
}
void CTonrigView::OnVerify()
{
    OnDeviceVerify();
}
void CTonrigView::OnLock()
{
    LockDevice();
}
void CTonrigView::OnSignatureId()
{
    ReadDeviceId();
}
void CTonrigView::OnBlankCheck()
{
    OnDeviceBlankCheck();
}
void CTonrigView::OnFillBufferFF()
{
    m_pBufferCommands->OnFillBufferFF();
}

void CTonrigView::OnFillBufferHex()
{
    m_pBufferCommands->OnFillBufferHex();
}

void CTonrigView::OnEditCopy()
{
    m_pBufferCommands->OnEditCopy();
}

void CTonrigView::OnEditCut()
{
    m_pBufferCommands->OnEditCut();
}

void CTonrigView::OnEditPaste()
{
    m_pBufferCommands->OnEditPaste();
}

void CTonrigView::OnFind()
{
    m_pBufferCommands->OnFind();
}

void CTonrigView::OnFindNext()
{
    m_pBufferCommands->OnFindNext();
}

void CTonrigView::OnDeviceButton()
{
    // The one way into the selection dialog, with its gate (idle, link free).
    if (CTonrigApp* app = TheApp())
        app->OnDeviceList();
}

void CTonrigView::StartDeviceSetup(int classIndex, BYTE mode, BYTE probe, BYTE reload)
{
    m_pSetup->Start(classIndex, mode, probe, reload);
}
void CTonrigView::UpdateProgrammerConfig(int n, bool forced)
{
    if (ProgrammerConfigUpdate* update = m_pSetup->ConfigUpdate()) {
        const CDeviceClass& device = g_CurrentDevice;
        const bool zvd = g_nProgrammerModel == kModelZvD && !device.m_strFirmwareIdQ8U.empty();
        update->UpdateProgrammerConfig(n, forced, zvd ? device.m_strFirmwareIdQ8U : device.m_strFirmwareId);
    }
}
void CTonrigView::UpdateU6Firmware(int n)
{
    if (ProgrammerConfigUpdate* update = m_pSetup->ConfigUpdate())
        update->UpdateU6Firmware(n);
}
void CTonrigView::LoadLastSession()
{
    m_pSetup->LoadLastSession();
}
void CTonrigView::OnProgrammerIdentified()
{
    m_pSetup->OnProgrammerIdentified();
}
bool CTonrigView::SendCommand(const BYTE* packet, int size, bool batch)
{
    return m_pSetup->Channel().SendCommand(packet, size, batch);
}
bool CTonrigView::SendByte(BYTE code)
{
    return m_pSetup->Channel().SendByte(code);
}
int CTonrigView::ReadResponse(BYTE* buffer, int size)
{
    return m_pSetup->Channel().ReadResponse(buffer, size);
}
int CTonrigView::SetTransferSizes()
{
    return m_pSetup->Channel().SetTransferSizes();
}
BYTE CTonrigView::GetReadCommand()
{
    return m_pSetup->Channel().GetReadCommand(m_nBufferIndex);
}
BYTE CTonrigView::GetReadOkCommand()
{
    return m_pSetup->Channel().GetReadOkCommand(m_nBufferIndex);
}
BYTE CTonrigView::GetWriteCommand()
{
    return m_pSetup->Channel().GetWriteCommand(m_nBufferIndex);
}
BYTE CTonrigView::GetWriteOkCommand()
{
    return m_pSetup->Channel().GetWriteOkCommand(m_nBufferIndex);
}
void CTonrigView::SetPinDrivers()
{
    m_pSetup->Channel().SetPinDrivers();
}
bool CTonrigView::SetProgramDelay(int milliseconds)
{
    return m_pSetup->Channel().SetProgramDelay(milliseconds);
}
bool CTonrigView::CheckProgrammerLink()
{
    return m_pSetup->Channel().CheckProgrammerLink();
}
bool CTonrigView::DisconnectProgrammer()
{
    return m_pSetup->Channel().DisconnectProgrammer();
}

void CTonrigView::OnByteSwap()
{
    if (!IsOperationIdle() || !CheckLinkFree("Byte swap"))
        return;
    std::vector<BYTE>& data = m_Buffers.Buffer(m_pBufferCommands->GetBufferIndex());
    SwapBytePairs(data.data(), data.size());
    if (data.size() >= 2)
        m_pBufferCommands->MarkModelBufferEdited();
    ShowBufferTab(1);
    Log(platform::Format(kByteSwapLine, static_cast<unsigned>(data.size() / 2)));
}

bool CTonrigView::GetWindowsVersion()
{
    WINDOWS_VERSION_INFO info {};
    CWindowsVersion version;
    if (!version.Detect(info)) {
        MessageBox("Failed in call to detect OS Version\n");
        return false;
    }
    return info.dwEmulatedPlatformId == windows_version::kPlatform9x
        && (version.IsWindows98SE(info) || version.IsWindowsMe(info));
}

void CTonrigView::OnCalculator()
{
    for (const std::string& name : CalculatorPrograms()) {
        const std::string program = platform::FindProgram(name);
        if (program.empty())
            continue;
        if (platform::StartDetached(program, {}))
            return;
    }
    Log("No calculator program is installed.\r\n", kLogError);
}
