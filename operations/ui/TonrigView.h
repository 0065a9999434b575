#pragma once
// The main view: the left pane of the main window. It holds the message log, the buffers and
// the state of the programmer, and every device command ends here, whichever pane has focus.
//
// This is the view's skeleton: the members the shell and the catalogue rely on, the message
// log, file opening by message and the commands the shell forwards. The device operations and
// the buffer display grow in this class.

#include "buffer/BufferModel.h"
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

class CBufferCommands;
class CProgressDlg;
class CSplashDlg;

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
    // Handler of a file-open request: stores the path as the current file name and loads the
    // file into the current buffer in the format its name gives.
    LRESULT OpenFileByName(const std::string& path);

    // The buffers: File Open, Save, Save As, the recent file, dropped files, the buffer tab.
    CBufferCommands& BufferCommands() { return *m_pBufferCommands; }
    buffer::CBufferModel& Buffers() { return m_Buffers; }
    void OnFileOpen();
    void OnFileSave();
    void OnFileSaveAs();
    void OnRecentFile();
    void ShowBufferTab(int flag);
    int GetBufferIndex() const;

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
    void StartDeviceSetup(int classIndex, BYTE mode, BYTE probe, BYTE reload);

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
    std::string m_strPreviousFileName; // the recent file opened last
    DWORD m_dwLoadLastDevice = 0;
    DWORD m_dwForgetLoadedFileName = 0;
    CRegistryKey m_RegKey { HKEY_CURRENT_USER };

    // The three buffers and the configuration word; the code buffer is the model's buffer 0.
    buffer::CBufferModel m_Buffers;
    std::vector<BYTE>& m_CodeBuffer;

private:
    void NotAvailableYet(const char* command);
    void ReadStartupFlags();

    CRichEditCtrlExtend* m_MessageLog = nullptr;
    std::unique_ptr<CProgressDlg> m_pProgress; // a top-level tool window, owned here
    CSplashDlg* m_pSplash = nullptr; // a child panel
    std::unique_ptr<CBufferCommands> m_pBufferCommands;
    bool m_bInitialised = false;
};

// The one main view, from its initial update until it is destroyed.
extern CTonrigView* g_pMainView;

// The programs tried, in order, for the Calculator command.
const std::vector<std::string>& CalculatorPrograms();
