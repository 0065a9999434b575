#pragma once
// The main view: the left pane of the main window. It holds the message log, the buffers and
// the state of the programmer, and every device command ends here, whichever pane has focus.
//
// This is the view's skeleton: the members the shell and the catalogue rely on, the message
// log, file opening by message and the commands the shell forwards. The device operations and
// the buffer display grow in this class.

#include "controls/ui/RichEditCtrlExtend.h"
#include "operations/OperationState.h"
#include "platform/Colour.h"
#include "platform/WinTypes.h"
#include "platform/ui/MessageTarget.h"
#include "shell/RegistryKey.h"

#include <QWidget>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

class CProgressDlg;
class CSplashDlg;
class CViewSetup;

class CTonrigView : public QWidget, public platform::MessageTarget {
    Q_OBJECT
public:
    explicit CTonrigView(QWidget* parent = nullptr);
    ~CTonrigView() override;

    // The view's start-up, once its window exists: publishes g_pMainView, reads the start-up
    // flags and opens the log.
    void OnInitialUpdate();
    void ApplyLanguage();

    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

    // Queues a request to open `path` for the view, carrying the text by value. Dropped when
    // there is no view, or when the view is gone by the time it would run. True when queued.
    static bool PostOpenFile(std::string path);
    // Handler of a file-open request: stores the path as the current file name.
    LRESULT OpenFileByName(const std::string& path);

    // Commands the shell forwards.
    void OnWrite();
    void OnRead();
    void OnErase();
    void OnVerify();
    void OnLock();
    void OnSignatureId();
    void OnBlankCheck();
    void OnBatchRun();
    void OnFillBufferFF();
    void OnSetCfgBits();
    void OnByteSwap();
    void OnBufferByteSwap() { OnByteSwap(); }
    void OnCalculator();

    // --- command channel and device setup (operations/ui/ViewSetup.h)
    void StartDeviceSetup(int classIndex, BYTE mode, BYTE probe, BYTE reload);
    void LoadLastSession();
    void OnProgrammerIdentified();
    CViewSetup& DeviceSetupOwner() { return *m_pSetup; }
    bool SendCommand(const BYTE* packet, int size, bool batch = false);
    bool SendByte(BYTE code);
    int ReadResponse(BYTE* buffer, int size);
    int SetTransferSizes();
    BYTE GetReadCommand();
    BYTE GetReadOkCommand();
    BYTE GetWriteCommand();
    BYTE GetWriteOkCommand();
    void SetPinDrivers();
    bool SetProgramDelay(int milliseconds);
    bool CheckProgrammerLink();
    bool DisconnectProgrammer();
    int m_nBufferIndex = 0; // 0 code, 1 data, 2 configuration, 3 configuration word

    CProgressDlg& ProgressDlg() { return *m_pProgress; }
    CSplashDlg& SplashDlg() { return *m_pSplash; }

    // The message log.
    CRichEditCtrlExtend& MessageLog() { return *m_MessageLog; }
    void Log(const std::string& text, COLORREF colour = kLogText);

    static constexpr COLORREF kLogText = RGB(0, 0, 0);
    static constexpr COLORREF kLogNote = RGB(0, 0, 160);
    static constexpr COLORREF kLogError = RGB(200, 0, 0);
    static constexpr std::size_t kCodeBufferSize = 0x80000;

    std::string m_strHardwareVersion;
    std::string m_strHardwareSerial;
    std::string m_strOffsetTitle; // title of the hex display's address column
    std::string m_strFileName; // the file last opened
    DWORD m_dwLoadLastDevice = 0;
    DWORD m_dwForgetLoadedFileName = 0;
    CRegistryKey m_RegKey { HKEY_CURRENT_USER };

    // The code buffer and its current size (the bytes the commands act on).
    std::vector<BYTE> m_CodeBuffer;
    std::size_t m_nCodeSize = 0;
    std::vector<BYTE> m_DataBuffer;

private:
    void NotAvailableYet(const char* command);
    void ReadStartupFlags();

    CRichEditCtrlExtend* m_MessageLog = nullptr;
    std::unique_ptr<CProgressDlg> m_pProgress; // a top-level tool window, owned here
    CSplashDlg* m_pSplash = nullptr;           // a child panel
    bool m_bInitialised = false;
    // Last, so it goes first: its worker reaches the members above.
    std::unique_ptr<CViewSetup> m_pSetup;
};

// The one main view, from its initial update until it is destroyed.
extern CTonrigView* g_pMainView;

// The programs tried, in order, for the Calculator command.
const std::vector<std::string>& CalculatorPrograms();
