#include "shell/ui/TonrigApp.h"

#include "catalogue/ui/DeviceSelectDlg.h"
#include "operations/ui/BufferCommands.h"
#include "operations/ui/TonrigView.h"
#include "shell/MenuTable.h"
#include "shell/RecentFileList.h"
#include "shell/ui/AboutDlg.h"
#include "shell/ui/MainFrame.h"

#include <QFileDialog>
#include <QPageSetupDialog>
#include <QPrinter>

#include <algorithm>

namespace {

CTonrigApp* g_pApp = nullptr;

constexpr int kRecentFiles = 9;
constexpr int kRecentDisplayLength = 30;

// Commands that run an operation of the main view, whichever pane has focus.
struct ViewCommand {
    UINT id;
    void (CTonrigView::*handler)();
};
constexpr ViewCommand kViewCommands[] = {
    { 32772, &CTonrigView::OnWrite },
    { 32773, &CTonrigView::OnRead },
    { 32774, &CTonrigView::OnErase },
    { 32775, &CTonrigView::OnVerify },
    { 32776, &CTonrigView::OnLock },
    { 32777, &CTonrigView::OnSignatureId },
    { 32778, &CTonrigView::OnBlankCheck },
    { 32807, &CTonrigView::ReadDeviceId },
    { 32809, &CTonrigView::LockDevice },
    { 32782, &CTonrigView::OnBatchRun },
    { 32803, &CTonrigView::OnDeviceRead },
    { 32804, &CTonrigView::OnDeviceWrite },
    { 32805, &CTonrigView::OnDeviceBlankCheck },
    { 32806, &CTonrigView::EraseDevice },
    { 32808, &CTonrigView::OnDeviceVerify },
    { 32810, &CTonrigView::OnAutoDetect },
    { 32781, &CTonrigView::OnConfigDevice },
    { 32811, &CTonrigView::OnFillBufferFF },
    { 32812, &CTonrigView::OnFillBufferHex },
    { 32947, &CTonrigView::OnFind },
    { 32948, &CTonrigView::OnFindNext },
    { 57634, &CTonrigView::OnEditCopy },
    { 57635, &CTonrigView::OnEditCut },
    { 57637, &CTonrigView::OnEditPaste },
    { 32900, &CTonrigView::OnSetCfgBits },
    { 32918, &CTonrigView::OnByteSwap },
    { 32920, &CTonrigView::OnByteSwap },
    { 32922, &CTonrigView::OnCalculator },
    { 32923, &CTonrigView::OnTestVoltage },
    { 32970, &CTonrigView::OnCombineFiles },
    { 32958, &CTonrigView::OnLanguage },
    { 32952, &CTonrigView::OnWarrantyRegister },
    { 32974, &CTonrigView::OnNewDeviceRequest },
    { 32975, &CTonrigView::OnNewChipSupportRequest },
    { 32976, &CTonrigView::OnUserFolder },
    { 32959, &CTonrigView::OnBackgroundColor },
    { 32971, &CTonrigView::OnOthers },
    { 32962, &CTonrigView::OnRunScript },
    { 32963, &CTonrigView::OnStopScript },
    { 32964, &CTonrigView::OnOpenScript },
    { 32965, &CTonrigView::OnSaveScript },
    { 32966, &CTonrigView::OnSaveScriptAs },
    { 32967, &CTonrigView::OnNewScript },
    { 32968, &CTonrigView::OnCloseScript },
    { ID_FILE_SAVE, &CTonrigView::OnFileSave },
    { ID_FILE_SAVE_AS, &CTonrigView::OnFileSaveAs },
};

} // namespace

CTonrigApp* TheApp()
{
    return g_pApp;
}

CTonrigApp::CTonrigApp()
{
    g_pApp = this;
}

CTonrigApp::~CTonrigApp()
{
    m_pMainWnd.reset();
    if (g_pApp == this)
        g_pApp = nullptr;
}

BOOL CTonrigApp::InitInstance(bool show)
{
    m_pRecentFileList
        = std::make_unique<CRecentFileList>(ID_FILE_MRU_FILE1, "Recent File List", "File%d", 4, kRecentDisplayLength);
    m_pRecentFileList->ReadList();

    m_pMainWnd = std::make_unique<CMainFrame>();
    m_pMainWnd->MainView()->OnInitialUpdate();
    BindCommands();

    if (show)
        m_pMainWnd->show();
    RebuildRecentFileList(kRecentFiles);
    return 1;
}

int CTonrigApp::ExitInstance()
{
    if (m_pRecentFileList)
        m_pRecentFileList->WriteList();
    return 0;
}

void CTonrigApp::BindCommands()
{
    platform::CommandTable& commands = m_pMainWnd->Commands();
    for (const ViewCommand& command : kViewCommands) {
        auto handler = command.handler;
        commands.Bind(command.id, [handler] {
            if (g_pMainView)
                (g_pMainView->*handler)();
        });
    }
    // Copy and Cut need a selection, Paste something the buffer can take; a read-only pane takes
    // neither Cut nor Paste.
    commands.SetUpdate(57634, [] { return g_pMainView && g_pMainView->BufferCommands().CanCopy(); });
    commands.SetUpdate(57635, [] { return g_pMainView && g_pMainView->BufferCommands().CanCut(); });
    commands.SetUpdate(57637, [] { return g_pMainView && g_pMainView->BufferCommands().CanPaste(); });
    commands.Bind(ID_APP_ABOUT, [this] { OnAppAbout(); });
    commands.Bind(ID_FILE_NEW, [this] { OnFileNew(); });
    commands.Bind(ID_FILE_OPEN, [this] { OnFileOpen(); });
    commands.Bind(ID_FILE_PRINT_SETUP, [this] { OnFilePrintSetup(); });
    commands.Bind(ID_DEVICE_LIST, [this] { OnDeviceList(); });
    commands.Bind(ID_SELECT_DEVICE, [this] { OnSelectDevice(); });
}

void CTonrigApp::OpenDocumentFile(const std::string& path)
{
    CTonrigView::PostOpenFile(path);
}

void CTonrigApp::AddToRecentFileList(const std::string& path)
{
    if (!m_pRecentFileList)
        return;
    m_pRecentFileList->Add(path);
    UpdateRecentFileMenu();
}

BOOL CTonrigApp::RebuildRecentFileList(int count)
{
    std::string section = "Recent File List";
    std::string format = "File%d";
    if (m_pRecentFileList) {
        section = m_pRecentFileList->Section();
        format = m_pRecentFileList->EntryFormat();
    }
    count = std::clamp(count, 1, static_cast<int>(ID_FILE_MRU_FILE9 - ID_FILE_MRU_FILE1 + 1));
    m_pRecentFileList
        = std::make_unique<CRecentFileList>(ID_FILE_MRU_FILE1, section, format, count, kRecentDisplayLength);
    m_pRecentFileList->ReadList();
    UpdateRecentFileMenu();
    return m_pRecentFileList ? 1 : 0;
}

void CTonrigApp::UpdateRecentFileMenu()
{
    if (!m_pMainWnd || !m_pRecentFileList)
        return;
    platform::CommandTable& commands = m_pMainWnd->Commands();
    const int count = m_pRecentFileList->GetCount();
    for (int i = 0; i < static_cast<int>(ID_FILE_MRU_FILE9 - ID_FILE_MRU_FILE1 + 1); ++i) {
        const UINT id = ID_FILE_MRU_FILE1 + static_cast<UINT>(i);
        QAction* action = commands.Action(id);
        if (!action)
            continue;
        if (i < count) {
            QString name = QString::fromStdString(m_pRecentFileList->GetDisplayName(i));
            name.replace("&", "&&");
            action->setText(QString("&%1 %2").arg(i + 1).arg(name));
            action->setVisible(true);
            commands.Bind(id, [this, i] {
                if (!m_pRecentFileList || i >= m_pRecentFileList->GetCount())
                    return;
                // The view takes the first entry itself; the others open like any document.
                if (i == 0 && g_pMainView)
                    g_pMainView->OnRecentFile();
                else
                    OpenDocumentFile((*m_pRecentFileList)[i]);
            });
        } else {
            commands.Unbind(id);
            action->setText("Recent File");
            action->setVisible(i == 0); // the greyed placeholder of an empty list
        }
    }
}

void CTonrigApp::OnAppAbout()
{
    CAboutDlg dlg(m_pMainWnd.get());
    dlg.exec();
}

void CTonrigApp::OnFileNew()
{
    // The one document holds no data and the view's start-up runs once per run, so a new
    // document leaves everything as it is.
}

void CTonrigApp::OnFileOpen()
{
    // The main view binds Open itself: its dialog asks for the file's options too.
    if (g_pMainView) {
        g_pMainView->OnFileOpen();
        return;
    }
    const QString path = QFileDialog::getOpenFileName(m_pMainWnd.get(), "Open", QString(),
        "Data files (*.bin *.BIN *.hex *.HEX *.rom *.ROM *.s19 *.S19 *.mot *.srec *.jed *.JED);;All files (*)");
    if (!path.isEmpty())
        OpenDocumentFile(path.toStdString());
}

void CTonrigApp::OnFilePrintSetup()
{
    if (!m_printer)
        m_printer = std::make_unique<QPrinter>();
    QPageSetupDialog dialog(m_printer.get(), m_pMainWnd.get());
    dialog.exec();
}

void CTonrigApp::OnDeviceList()
{
    if (!IsOperationIdle() || (g_pMainView && !g_pMainView->CheckLinkFree("Device selection")))
        return;
    // The dialog makes a highlighted device current at once.
    const CurrentDeviceSnapshot before;
    DeviceChoice choice;
    if (m_selectDevice) {
        choice = m_selectDevice();
    } else {
        CDeviceSelectDlg dlg(m_pMainWnd.get());
        dlg.DoModal();
        choice = { dlg.m_bCancelled != 0, dlg.m_nSelectedClass };
    }
    if (choice.cancelled || choice.selectedClass < 0 || choice.selectedClass >= kNoDeviceClass)
        return;
    if (!g_pMainView || !g_pMainView->BufferCommands().ConfirmDeviceChange(choice.selectedClass, before))
        return;
    g_pMainView->StartDeviceSetup(choice.selectedClass, 1, 1, 1);
}
