#include "operations/ui/TonrigView.h"

#include "catalogue/DeviceClassTable.h"
#include "catalogue/DeviceLibrary.h"
#include "catalogue/DeviceLists.h"
#include "operations/ByteSwap.h"
#include "operations/ui/ViewSetup.h"
#include "platform/GuiThread.h"
#include "platform/Process.h"
#include "platform/TextFormat.h"
#include "shell/Language.h"
#include "shell/LanguageLoader.h"
#include "shell/ui/ProgressDlg.h"
#include "shell/ui/SplashDlg.h"
#include "shell/ui/TonrigApp.h"

#include <QPointer>
#include <QSysInfo>
#include <QVBoxLayout>

#include <algorithm>

CTonrigView* g_pMainView = nullptr;

namespace {
constexpr const char* kSettingsKey = "Software\\Zelvo USB Programmer\\Settings";
}

const std::vector<std::string>& CalculatorPrograms()
{
    static const std::vector<std::string> programs { "gnome-calculator", "kcalc", "galculator", "mate-calc",
        "qalculate-qt", "qalculate-gtk", "xcalc" };
    return programs;
}

CTonrigView::CTonrigView(QWidget* parent)
    : QWidget(parent)
    , platform::MessageTarget(this)
    , m_CodeBuffer(kCodeBufferSize, 0xFF)
    , m_nCodeSize(kCodeBufferSize)
{
    InitDeviceClassTable();
    g_nCurrentClass = kNoDeviceClass;
    g_nOperationState = kStateIdle;

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_MessageLog = new CRichEditCtrlExtend(this);
    m_MessageLog->setObjectName("121");
    m_MessageLog->setReadOnly(false);
    layout->addWidget(m_MessageLog);

    m_pProgress = std::make_unique<CProgressDlg>(this, Handle());
    m_pSplash = new CSplashDlg(this, Handle());
    m_pSetup = std::make_unique<CViewSetup>(*this);
}

CTonrigView::~CTonrigView()
{
    m_pSetup.reset();
    SetDeviceListLogSink({});
    if (g_pMainView == this)
        g_pMainView = nullptr;
}

void CTonrigView::OnInitialUpdate()
{
    g_pMainView = this;
    if (m_bInitialised)
        return;
    m_bInitialised = true;

    // Fixedsys has one size on the system it comes from; its substitute needs a readable one.
    m_MessageLog->SetFaceName("Fixedsys");
    m_MessageLog->SetFontSize(10);
    m_MessageLog->SetBackColor(0xEBFFFF);
    InitLanguageForView();
    ApplyLanguage();
    ReadStartupFlags();

    Log(platform::Format("%s (%s)\r\n", QSysInfo::prettyProductName().toStdString().c_str(),
            QSysInfo::kernelVersion().toStdString().c_str()),
        kLogNote);

    // Device-list errors go to the message log, from whichever thread loads a list.
    QPointer<CTonrigView> self(this);
    SetDeviceListLogSink([self](const std::string& text, COLORREF colour) {
        platform::post([self, text, colour] {
            if (self)
                self->Log(text, colour);
        });
    });
    LoadDeviceLists(false);
}

void CTonrigView::ApplyLanguage()
{
    m_strOffsetTitle = g_Language.GetText(177);
}

void CTonrigView::ReadStartupFlags()
{
    CRegistryKey key(HKEY_CURRENT_USER);
    if (!key.Open(HKEY_CURRENT_USER, kSettingsKey))
        return;
    key.ReadDword("LoadLastDevice", m_dwLoadLastDevice);
    key.ReadDword("ForgetLoadedFileName", m_dwForgetLoadedFileName);
}

LRESULT CTonrigView::OnMessage(UINT msg, WPARAM /*wParam*/, LPARAM /*lParam*/)
{
    switch (msg) {
    case WM_CANCEL_OPERATION:
    case WM_POPUP_TIMEOUT:
    default:
        return 0;
    }
}

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
    m_strFileName = path;
    if (path.empty())
        return 0;
    // Until the buffers load files, opening one remembers it and says so.
    if (CTonrigApp* app = TheApp())
        app->AddToRecentFileList(path);
    Log(platform::Format("File \"%s\": loading files is not available yet.\r\n", path.c_str()), kLogNote);
    return 0;
}

void CTonrigView::Log(const std::string& text, COLORREF colour)
{
    m_MessageLog->AppendText(text, colour);
}

void CTonrigView::NotAvailableYet(const char* command)
{
    Log(platform::Format("%s: not available yet.\r\n", command), kLogNote);
}

void CTonrigView::OnWrite()
{
    NotAvailableYet("Write");
}
void CTonrigView::OnRead()
{
    NotAvailableYet("Read");
}
void CTonrigView::OnErase()
{
    NotAvailableYet("Erase");
}
void CTonrigView::OnVerify()
{
    NotAvailableYet("Verify");
}
void CTonrigView::OnLock()
{
    NotAvailableYet("Lock/Unlock");
}
void CTonrigView::OnSignatureId()
{
    NotAvailableYet("Signature ID");
}
void CTonrigView::OnBlankCheck()
{
    NotAvailableYet("Blank check");
}
void CTonrigView::OnBatchRun()
{
    NotAvailableYet("Batch Run");
}
void CTonrigView::OnFillBufferFF()
{
    NotAvailableYet("Fill buffer");
}
void CTonrigView::OnSetCfgBits()
{
    NotAvailableYet("Config device");
}

void CTonrigView::StartDeviceSetup(int classIndex, BYTE mode, BYTE probe, BYTE reload)
{
    m_pSetup->Start(classIndex, mode, probe, reload);
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
    if (!IsOperationIdle())
        return;
    SwapBytePairs(m_CodeBuffer.data(), std::min(m_nCodeSize, m_CodeBuffer.size()));
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
