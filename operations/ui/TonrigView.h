#pragma once
// The main view: the left pane of the main window. It holds the message log, the buffers and
// the state of the programmer, and every device command ends here, whichever pane has focus.
//
// Its life: the constructor builds the panes and the buffers; OnInitialUpdate starts the link
// watch, checks for a foreign USB driver and finds out whether a programmer answers; the
// programmer's arrival and loss reach it as WM_USB_INIT and WM_PROGRAMMER_CHANGED from the
// connection monitor; Shutdown (from the frame's close, else the destructor) stops every worker
// before anything they use goes away.

#include "buffer/BufferModel.h"
#include "controls/ui/RichEditCtrlExtend.h"
#include "link/BlackBox.h"
#include "operations/OperationFlow.h"
#include "operations/OperationState.h"
#include "operations/ProgrammerHooks.h"
#include "platform/Colour.h"
#include "platform/Event.h"
#include "platform/WinTypes.h"
#include "platform/ui/MessageTarget.h"
#include "shell/ProgramInfo.h"
#include "shell/RegistryKey.h"

#include <QPointer>
#include <QWidget>

#include <array>
#include <atomic>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

class CBufferCommands;
class CScriptEditor;
struct ScriptParse;
class CDeviceIdDlg;
class CEraseOptionsDlg;
class COthersDlg;
class CChipRequestDlg;
class CUserRegisterDlg;
class CLanguageDlg;
class QColorDialog;
class CVoltageTestDlg;
struct EraseStart;
class CHexEditBase;
class CIconButton;
class COperationControl;
class ChipDialogs;
class CChipBitsDlg;
class ExchangeLink;
enum class ConfigWordsAction;
struct ConfigWordsOutcome;
struct OperationControlHooks;
struct PumpResult;
class CProgressDlg;
class CPumpController;
class PumpChannel;
class CommandChannelPump;
class ViewPumpPort;
class CSplashDlg;
class CViewSetup;
class CConfigGrid;
class CImageButton;
class QLabel;
class QPushButton;
class QTabBar;

// The view's worker threads, one slot per kind.
class CJtagProgrammerDlg;

// Classes 310 and 311: parts programmed through JTAG byte-code.
bool IsJtagClass(int classIndex);

enum class WorkerSlot { Identify, Setup, Pump, Script, Jtag, Count };

class CTonrigView : public QWidget, public platform::MessageTarget {
    Q_OBJECT
public:
    // Pane and control ids.
    static constexpr int IDC_HEX_VIEW = 101;
    static constexpr int IDC_TAB = 115;
    static constexpr int IDC_MESSAGE_LOG = 121;
    static constexpr int IDC_DEVICE_BUTTON = 123; // 123 to 130: the command buttons
    static constexpr int IDC_AUTO_BUTTON = 130;
    static constexpr int IDC_DEVICE_NAME = 131;
    static constexpr int IDC_STATUS = 132;
    static constexpr int IDC_CONFIG_GRID = 133;
    static constexpr int IDC_SCRIPT_PANE = 134;
    static constexpr int IDC_COMMAND_LINE = 135;

    // Timers.
    static constexpr UINT kTimerLoadLastSession = 0;
    // The data pump's steps, one-shot.
    static constexpr UINT kTimerRead = 1;
    static constexpr UINT kTimerWrite = 2;
    static constexpr UINT kTimerErase = 3;
    static constexpr UINT kTimerVerify = 4;
    static constexpr UINT kTimerBlankCheck = 5;
    // The operation control's steps, one-shot.
    static constexpr UINT kTimerLock = 7;
    static constexpr UINT kTimerNothing = 8;
    static constexpr UINT kTimerIdCheck = 9;
    static constexpr UINT kTimerOutOfSync = 101;
    static constexpr UINT kTimerLinkWatch = 102;
    static constexpr UINT kTimerUsbInit = 103;
    static constexpr UINT kTimerInitFailed = 104;
    static constexpr UINT kTimerDriverVersion = 107;
    // The script engine's.
    static constexpr UINT kTimerScriptLine = 109;
    static constexpr UINT kTimerScriptGoto = 110;
    static constexpr UINT kTimerScriptStart = 111;
    static constexpr UINT kTimerCommandLine = 112;
    static constexpr UINT kTimerChecksum = 113; // status pane 1 after a burst of edits
    static constexpr UINT kTimerScriptWait = 115;
    static constexpr UINT kTimerScriptRetry = 116;
    static constexpr UINT kTimerHeader = 120;
    static constexpr UINT kTimerDriverInstaller = 124;

    static constexpr int kProgramVersion = 741; // "Re. 7.41"
    static constexpr const char* kVersionText = kProgramRevision;

    static constexpr std::size_t kCodeBufferSize = 0x80000;
    static constexpr std::size_t kDataBufferSize = 4096;
    static constexpr std::size_t kConfigBufferSize = 16;
    static constexpr std::size_t kConfigWordBufferSize = 16;
    static constexpr std::size_t kBatchBufferSize = 32768;

    explicit CTonrigView(QWidget* parent = nullptr);
    ~CTonrigView() override;

    // The view's start-up, once its window exists (see the class comment).
    void OnInitialUpdate();
    // The current texts on the menu bar and the commands (when the main frame exists), the
    // command buttons, the offset title, the tabs, the buffer commands and the header pane.
    void ApplyLanguage();
    // Stops the monitor and every worker and frees the buffers. Runs once; later calls return.
    void Shutdown();
    bool IsShutDown() const { return m_bShutDown; }

    // --- closing the program (operations/ui/ViewClose.cpp)
    // The main window's close asks here first; true when it may close now (then Shutdown). While
    // an operation runs (a read, write, verify, erase, lock, JTAG run or script) kExitQuestion
    // asks first: Yes cancels it as the progress window's Cancel does and answers false; once it
    // has ended, `closeAgain` runs. Then the edited buffers' question and an edited script's, each
    // Cancel answering false. A running script's EXIT APP closes without a question.
    static constexpr const char* kExitQuestion = "An operation is running. Cancel it and exit?";
    bool QueryClose(std::function<void()> closeAgain);
    // A read, write, verify, erase, lock, JTAG run or script is under way.
    bool OperationRunning() const;

    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void OnTimer(UINT id) override;

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
    void OnCombineFiles();
    void OnFileSave();
    void OnFileSaveAs();
    void OnRecentFile();
    void ShowBufferTab(int flag);
    int GetBufferIndex() const;

    // Commands the shell forwards. The toolbar's forward to the Device menu's.
    void OnDeviceRead();
    void OnDeviceWrite();
    void OnDeviceVerify();
    void OnDeviceBlankCheck();
    void OnAutoDetect() { }
    void OnConfigDevice() { }
    void OnWrite();
    void OnRead();
    void OnErase();
    void OnVerify();
    void OnLock();
    void OnSignatureId();
    void OnBlankCheck();
    void OnBatchRun();
    void OnFillBufferFF();
    void OnFillBufferHex();
    void OnEditCopy();
    void OnEditCut();
    void OnEditPaste();
    void OnFind();
    void OnFindNext();
    void OnSetCfgBits();
    void OnByteSwap();
    void OnBufferByteSwap() { OnByteSwap(); }
    void OnCalculator();
    // The design's start-up question on the system: true only on Windows 98 SE or Me (platform
    // code 2), so never here. A failed detection shows its box and answers false.
    bool GetWindowsVersion();

    // --- Get ID and Lock (operations/ui/ViewDeviceId.cpp)
    // Get ID (32807, button 124, the toolbar's Signature ID): the chip's signature read on the
    // pump's worker slot, then shown in the chip-ID dialog.
    void ReadDeviceId();
    // Lock (32809, the toolbar's Lock/Unlock): the device's lock, or a 1-Wire chip's ROM.
    void LockDevice();
    // The lock step of a batch (timer 7), whose checks have run: LockDevice without them.
    void LockDeviceStep();
    // How the chip-ID dialog runs; the default runs it modally. Tests answer it here.
    using DeviceIdDialogRunner = std::function<void(CDeviceIdDlg&)>;
    void SetDeviceIdDialogRunner(DeviceIdDialogRunner runner) { m_runDeviceIdDlg = std::move(runner); }
    // The one chip-ID dialog (m_pDeviceIdDlg), made on first use as a child of the view.
    CDeviceIdDlg& DeviceIdDlg();

private:
    void RunLock();
    CDeviceIdDlg* m_pDeviceIdDlg = nullptr;
    DeviceIdDialogRunner m_runDeviceIdDlg;

public:
    // --- web requests and the user folder (operations/ui/ViewWebRequests.cpp)
    // New Chip Support Request (32975), New Device Request (32974) and the selection dialog's
    // button 1433: the request form over `parent`, then the request is sent and this returns at
    // once; the answer comes in a box. Without a configured server a box says so and no form opens.
    void OnNewChipSupportRequest();
    void OnNewDeviceRequest();
    void RequestNewChip(QWidget* parent);
    // Warranty Register (32952): the registration form, which stays open until Cancel.
    void OnWarrantyRegister();
    // User Folder (32976): the application-data folder in the desktop's file browser.
    void OnUserFolder();
    // How the request and registration forms run (true: OK); by default modal. Tests answer them.
    using ChipRequestRunner = std::function<bool(CChipRequestDlg&)>;
    void SetChipRequestRunner(ChipRequestRunner runner) { m_runChipRequest = std::move(runner); }
    using UserRegisterRunner = std::function<void(CUserRegisterDlg&)>;
    void SetUserRegisterRunner(UserRegisterRunner runner) { m_runUserRegister = std::move(runner); }

private:
    void PostNewDeviceRequest(const std::string& address);
    void PostRegistration(const std::string& address);
    ChipRequestRunner m_runChipRequest;
    UserRegisterRunner m_runUserRegister;

public:
    // --- the Setting menu (operations/ui/ViewSettings.cpp)
    // Background Color (32959): the message log's background, for this run only.
    void OnBackgroundColor();
    // Others (32971): the two start-up options, stored on OK.
    void OnOthers();
    // How the colour and Others dialogs run: true for OK. Tests answer them; by default modal.
    using ColorDialogRunner = std::function<bool(QColorDialog&)>;
    void SetColorDialogRunner(ColorDialogRunner runner) { m_runColorDlg = std::move(runner); }
    using OthersDialogRunner = std::function<bool(COthersDlg&)>;
    void SetOthersDialogRunner(OthersDialogRunner runner) { m_runOthersDlg = std::move(runner); }

    // Language (32958): the language dialog, then the header pane's texts whatever it ended with.
    void OnLanguage();
    using LanguageDialogRunner = std::function<void(CLanguageDlg&)>;
    void SetLanguageDialogRunner(LanguageDialogRunner runner) { m_runLanguageDlg = std::move(runner); }
    // The one language dialog, made on first use as a child of the view.
    CLanguageDlg& LanguageDlg();

private:
    CLanguageDlg* m_pLanguageDlg = nullptr;
    LanguageDialogRunner m_runLanguageDlg;
    ColorDialogRunner m_runColorDlg;
    OthersDialogRunner m_runOthersDlg;

public:
    // --- command channel and device setup (operations/ui/ViewSetup.h)
    void StartDeviceSetup(int classIndex, BYTE mode, BYTE probe, BYTE reload);
    // Button 123.
    void OnDeviceButton();
    // Reads the current PIC's description file (operations/ui/ViewDeviceFile.cpp): its words,
    // fields and settings into the configuration grid's records, its sizes, ID and configuration
    // defaults into g_CurrentDevice. True when records came from a file. A file that gives no
    // configuration word to a class that has them is logged and the program's own description
    // of that name read instead; without one nothing of the device changes, and `refusal` (when
    // given) receives the line that says the device is not set up.
    bool LoadDeviceFile(std::string* refusal = nullptr);
    CConfigGrid& ConfigGrid() { return *m_ConfigGrid; }
    // The words changed outside the grid (a read, a file): its records and cells follow the
    // current device's bytes.
    void RefillConfigGrid();
    // Buffer 3 shows the grid in place of the hex view: a PIC18 class whose file is loaded.
    bool ConfigGridShown() const;

private:
    // A pick in the grid: the user gave the words; buffer 3 shows them.
    void OnConfigGridPick();

public:
    // False, with a log line naming the holder, while a worker holds the programmer link; the
    // device commands, the selection and loads into the active buffer ask it first.
    bool CheckLinkFree(const char* what);
    // The state an operation ends in: 0 when the link was lost while it ran, else 1.
    static int FinishedOperationState();

    // The data pump's steps (timers 1 to 5): on the GUI thread, idle, the link free. Each starts
    // its operation on the pump's worker and the operation timing, or refuses (with its box where
    // it has one), which ends a run and fails a running script. True when it started.
    // A JTAG class (310, 311): the JTAG programming dialog with `action` selected, in place of
    // the pump step; refused with its line in an automatic run or a script. False: no step ran.
    bool OpenJtagDialog(const char* action);
    CJtagProgrammerDlg* JtagDialog() const;
    bool RunReadStep();
    bool RunWriteStep();
    bool RunEraseStep(BYTE option);
    bool RunVerifyStep();
    bool RunBlankCheckStep();

    // --- operation control (operations/OperationControl.h)
    COperationControl& Control() { return *m_pControl; }
    // The run flags: autoRun is m_bAutoRun (Batch Run), bufferRun m_bBufferRun (a walk over the
    // buffers), bufferRunWrite m_bBufferRunWrite, bufferIndex m_nBufferIndex's walk position.
    OperationRunFlags& RunFlags();
    // The checks before every step and command; true when it may start. A refusal is quiet but
    // for its log line or box, and ends a run.
    bool PrepareOperation();
    // The progress window for an operation state (3 to 8): caption, range m_nEndPosition, shown;
    // the command line disabled.
    void BeginProgress(int state);
    // busy: the progress window shown and the command line disabled; else hidden and enabled.
    void EnableControls(bool busy);
    // The end position of the step running or last started (the progress range).
    int m_nEndPosition = 0;
    // StartOperation(step) of the operation control: 1 for steps 3 to 10.
    BYTE StartOperation(int step);

    // --- the exchange helper
    // A short packet exchange with the programmer outside the data pump (ID check, lock, Get ID,
    // erase helpers, configuration words). `work` runs on the pump's worker slot under the
    // Operation lease, with g_nOperationState left at 1; it reaches the programmer only through
    // the ExchangeLink (the command channel and the device's voltages, taken when the exchange
    // starts) and should end with P_POWER_DOWN, as the StepExchange functions do. Its stop token
    // is set by the view's shut-down. When it returns, the GUI thread joins the worker, sets the
    // state (0 when the link watch marked the link lost while it ran), releases the lease and
    // then calls `done(linkLost)`. The GUI thread never reads the link or waits on the worker.
    //
    // False, with neither called, when no channel is set, the view is shutting down, the link is
    // held or the worker slot is busy (a log line says which); the caller ends its run then.
    bool RunExchange(std::function<void(ExchangeLink&, std::stop_token)> work, std::function<void(bool linkLost)> done);
    // The same with a result: `work` returns a T, which `done(T, linkLost)` gets on the GUI
    // thread. The result travels in a shared slot that the worker fills before the join.
    template <class T>
    bool RunExchangeFor(std::function<T(ExchangeLink&, std::stop_token)> work, std::function<void(T, bool)> done)
    {
        auto slot = std::make_shared<T>();
        return RunExchange(
            [slot, work = std::move(work)](ExchangeLink& link, std::stop_token stop) { *slot = work(link, stop); },
            [slot, done = std::move(done)](bool linkLost) { done(std::move(*slot), linkLost); });
    }
    bool ExchangeRunning() const { return m_bExchangeRunning; }

    // --- completions
    // The common end of a pump operation on the GUI thread (the pump's worker has ended): the
    // power-down, the pin drivers, the state, the timing, the lease; then the operation's handler.
    void FinishOperation(const PumpResult& result, bool linkLost);
    // WM_READ_DONE and WM_ERASE_DONE, after the common end.
    void OnReadDone(const StepResult& result);
    void OnEraseDone(const StepResult& result);

    // --- configuration words and Set CFG bits (operations/ui/ViewConfigWords.cpp)
    // A PIC's configuration words (the descriptor's m_ConfigValue): each logs its first line and
    // runs its exchange through the exchange helper; `done` then gets, once and on the GUI thread,
    // how it ended: Done, Failed, LinkLost, or Refused when it never started (no descriptor, a
    // length the exchanges cannot carry, the helper busy). A read fills the descriptor (supplied
    // from then on) and buffer 3. True when the exchange started.
    using ConfigWordsDone = std::function<void(StepKind)>;
    bool ReadConfigWords(ConfigWordsDone done = {});
    bool VerifyConfigWords(ConfigWordsDone done = {});
    bool WriteConfigWords(ConfigWordsDone done = {});
    // The read, write and verify steps on buffer 3: the configuration words in place of the pump.
    bool RunConfigWordsStep(ConfigWordsAction action);
    // Set CFG bits (32900) opens these (operations/ui/ChipDialogs); tests put theirs, or run the
    // program's own through a runner of theirs in place of a modal run.
    ChipDialogs& Dialogs();
    void SetChipDialogs(std::unique_ptr<ChipDialogs> dialogs);
    // The dialogs of the program, each run through `runner` in place of a modal run.
    void SetChipDialogRunner(std::function<void(CChipBitsDlg&)> runner);
    // WM_DEVICE_DETECTED.
    void OnDeviceDetected(int classIndex);
    // WM_RUN_SCRIPT_TEXT: the text by value, run as a typed line.
    void OnRunScriptText(const std::string& text);
    static bool PostRunScriptText(std::string text);

    // --- the script engine (operations/ui/ViewScript.cpp, operations/script/)
    enum class ScriptSource { Script, Typed, LastSession };
    // Runs one line on the GUI thread. While the view is busy (ScriptBusy) the line is kept and
    // tried again every 10 ms. A script line's end sets g_bScriptCommandDone, its failure ends
    // the script; `done` (if any) learns once whether the line succeeded.
    void ExecuteScriptLine(const std::string& text, ScriptSource source, std::function<void(bool ok)> done = {});
    // Starts the script thread on `file`, seeking `label` first when it is not empty.
    void StartScriptThread(std::string file, std::string label);
    // An operation, a device setup or the link keeps a line from running.
    bool ScriptBusy() const;
    // Run Script (32962, F5), Stop Script (32963, Esc) and the editor's commands.
    void OnRunScript();
    void OnStopScript();
    void OnNewScript();
    void OnOpenScript();
    void OnSaveScript();
    void OnSaveScriptAs();
    void OnCloseScript();
    CScriptEditor& ScriptEditor() { return *m_pScriptEditor; }
    // m_bScriptRunning: the view's view of g_bScriptRunning.
    static bool ScriptRunning();
    std::string m_strScriptFile; // the file Run Script, SCRIPT and GOTO start
    std::string m_strScriptLabel; // the label a GOTO seeks
    bool m_bExecutingScriptLine = false;

private:
    struct KeptLine {
        std::string text;
        ScriptSource source;
        std::function<void(bool)> done;
    };
    // A line whose end comes later (WAIT, DEVICE, an operation).
    struct OpenLine {
        ScriptSource source = ScriptSource::Typed;
        std::function<void(bool)> done;
        bool open = false;
    };
    void OnScriptTimer(UINT id);
    void RunScriptLineNow(const std::string& text, ScriptSource source, std::function<void(bool)> done);
    void RunScriptCommand(const ScriptParse& parse, ScriptSource source, std::function<void(bool)> done);
    void FinishScriptLine(ScriptSource source, const std::function<void(bool)>& done, bool ok);
    void FinishOpenLine(OpenLine& line, bool ok);
    // The operation control's end of a run: the script's run ends its line.
    void OnRunEnded(bool done);
    void RunDeviceCommand(const ScriptParse& parse, ScriptSource source, std::function<void(bool)> done);
    std::string ScriptPath(const std::string& path, ScriptSource source) const;
    void OnCommandLineEnter();
    void AttachCommandLine();
    std::deque<KeptLine> m_keptLines;
    OpenLine m_waitLine;
    OpenLine m_deviceLine; // DEVICE: its setup
    OpenLine m_scriptRun; // READ to BLANKCHECK: the run its handler started
    std::string m_strRunningScript; // the file of the script thread started last
    int m_nScriptGotoLine = 0;
    std::unique_ptr<CScriptEditor> m_pScriptEditor;

public:
    // --- the voltage self-test (operations/ui/ViewVoltageTest.cpp)
    // Tools -> "Test H/W Voltage" (32923): in state 1 with the link free and nothing in flight,
    // the "Voltage Diagnostic" dialog, modal. Once it has closed and its chain has ended, the
    // selected device is set up again (state 1 only).
    void OnTestVoltage();
    // How the dialog runs; by default modally. Tests press its buttons here.
    using VoltageTestRunner = std::function<void(CVoltageTestDlg& dialog)>;
    void SetVoltageTestRunner(VoltageTestRunner runner) { m_runVoltageTest = std::move(runner); }

private:
    void AfterVoltageTest();
    VoltageTestRunner m_runVoltageTest;

public:
    // --- erase (operations/ui/ViewErase.cpp)
    // Menu 32806, toolbar 32774 (OnErase) and button 126: the checks, then RunErase.
    void EraseDevice();
    // Timer 3 and the command after its checks: the OSCCAL read and the triple erase where they
    // apply, the question or the options dialog, then the pump's erase step.
    void RunErase();
    // How the erase options dialog runs: true for OK. Tests answer it; by default it is modal.
    using EraseOptionsRunner = std::function<bool(CEraseOptionsDlg& dialog)>;
    void SetEraseOptionsRunner(EraseOptionsRunner runner) { m_runEraseOptions = std::move(runner); }
    // Set by the options dialog: the saved OSCCAL word is not written back after the erase.
    // Batches and scripts clear it.
    BYTE m_bKeepOscCal = 0;

private:
    void AskAndErase(const EraseStart& start);
    void BeginErase(std::uint8_t option);
    void RestoreOsccal(const StepResult& result);
    EraseOptionsRunner m_runEraseOptions;

public:
    // The command channel the pump talks through and how it sets the transfer sizes for the
    // current device; without a channel no step starts.
    void SetPumpChannel(PumpChannel* channel, std::function<void(int&, int&, int&)> setTransferSizes);
    CPumpController& Pump() { return *m_pPump; }

    // Worker slots. A slot starts again once its work has returned (the thread is joined then).
    bool StartWorker(WorkerSlot slot, std::function<void(std::stop_token)> work);
    void StopWorker(WorkerSlot slot);
    bool WorkerRunning(WorkerSlot slot) const;

    void LoadLastSession();
    void OnProgrammerIdentified();
    CViewSetup& DeviceSetupOwner() { return *m_pSetup; }
    // On the setup worker: the programmer's CPLD to configuration `n` against the current
    // device's code, and to U6 firmware `n` against "00150000".
    void UpdateProgrammerConfig(int n, bool forced);
    void UpdateU6Firmware(int n);
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

    // The message log and the other panes.
    CRichEditCtrlExtend& MessageLog() { return *m_MessageLog; }
    void Log(const std::string& text, COLORREF colour = kLogText);
    QWidget* GetDlgItem(int id) const;

    static constexpr COLORREF kLogText = RGB(0, 0, 0);
    static constexpr COLORREF kLogNote = RGB(0, 0, 160);
    static constexpr COLORREF kLogError = RGB(200, 0, 0);
    static constexpr COLORREF kLogBack = 0xEBFFFF;
    static constexpr COLORREF kCommandLineBack = 0xEBFFEB;

    std::string m_strHardwareVersion;
    std::string m_strHardwareSerial;
    std::string m_strOffsetTitle; // title of the hex display's address column
    std::string m_strFileName; // the file last opened
    std::string m_strPreviousFileName; // the recent file opened last
    std::string m_strLastOpenedScriptFileName;
    DWORD m_dwLoadLastDevice = 0;
    DWORD m_dwForgetLoadedFileName = 0;
    DWORD m_dwWebCheckMessage = 0;
    CRegistryKey m_RegKey { HKEY_CURRENT_USER };
    CBlackBox m_BlackBox;

    // The command batch (filled by the command channel).
    std::array<BYTE, kBatchBufferSize> m_CommandBatch {};
    std::size_t m_nBatchFill = 0;

    bool m_bWriting = false;
    bool m_bSequence = false;
    bool m_bScriptMode = false;
    int m_nScriptFont = 0;
    std::array<DWORD, 4> m_dwOptions { 1, 1, 1, 1 };
    std::size_t m_nBufferPos = 0;
    DWORD m_dwStepDelay = 59;

    // The buffers: the model's main, data and configuration buffers and its configuration
    // word. Each vector's size is the buffer's size.
    buffer::CBufferModel m_Buffers;
    std::vector<BYTE>& m_CodeBuffer;
    std::vector<BYTE>& m_DataBuffer;
    std::vector<BYTE>& m_ConfigBuffer;
    std::vector<BYTE>& m_ConfigWordBuffer;

    // "Paused" and "CommandReady"; nothing waits on them yet.
    std::shared_ptr<platform::ManualResetEvent> m_hPaused;
    std::shared_ptr<platform::ManualResetEvent> m_hCommandReady;

    // --- what the status bar and the tabs say of the operations (operations/ui/ViewOperations.cpp)
    // An operation or a step of a run ended in a failure, a cancel or a lost link: the Message
    // Log tab at its last line (the script tab stays where it is), and status pane 0 holding the
    // failure's first log line until the next command.
    void ShowFailure();
    // The next command has come: pane 0 says "Ready" again.
    void ClearFailureNote();
    // Pane 103 from the operation state and the step running (StatePaneText).
    void UpdateStatePane();

    // Identifications run since start-up.
    int IdentificationCount() const { return m_nIdentifications; }
    LinkMonitor* Monitor() const { return m_pMonitor.get(); }

private:
    void ApplyLanguageToMenu();
    void CreatePanes();
    void ReadStartupFlags(bool firstStart);
    void ReadPaneSettings();
    // The first settings save of the run that fails: one line in the log, one box.
    void WatchSettingsSaves();
    void ScanDriverConflicts();
    void StartLinkWatch();
    void WriteStatusPanes();
    void SetStatusPane(UINT id, const std::string& text);
    OperationControlHooks MakeControlHooks();
    // Timers 1 to 5, 7 and 9.
    void OnStepTimer(UINT id);
    // Starts the step of step timer `id`, its checks passed.
    void RunStepOfTimer(UINT id);
    void RunIdCheckStep();
    // A command's start: quiet false when it may not (another operation, the checks).
    bool BeginDeviceCommand();
    // A run is under way: the pump or an exchange holds the link (an exchange leaves the state
    // idle), or its next step is armed.
    bool RunInFlight() const;
    bool IsMultiBuffer() const;
    void StartBufferCommand(UINT timer, bool write);

    // The programmer's arrival and loss.
    void OnUsbInit();
    void OnProgrammerChanged(WPARAM kind);
    void OnIdentified(const IdentifyOutcome& outcome, unsigned generation);
    void OnLinkWatch();
    void OnDriverInstaller();
    // The device lists and the pin-driver state.
    void LoadDeviceLists(bool freeFirst);
    void ResetPinDriverState();
    void InvalidatePinDriverCache();

    CRichEditCtrlExtend* m_MessageLog = nullptr;
    CRichEditCtrlExtend* m_CommandLine = nullptr;
    CRichEditCtrlExtend* m_ScriptPane = nullptr;
    QTabBar* m_Tab = nullptr;
    CHexEditBase* m_HexView = nullptr;
    CConfigGrid* m_ConfigGrid = nullptr;
    CImageButton* m_DeviceName = nullptr;
    QLabel* m_Status = nullptr;
    std::array<CIconButton*, 8> m_Buttons {};
    std::unique_ptr<CProgressDlg> m_pProgress; // a top-level tool window, owned here
    CSplashDlg* m_pSplash = nullptr; // a child panel
    QPointer<CJtagProgrammerDlg> m_pJtagDlg;
    std::unique_ptr<CBufferCommands> m_pBufferCommands;

    std::unique_ptr<LinkMonitor> m_pMonitor;
    ProgrammerHooks m_Hooks;
    std::array<std::jthread, static_cast<std::size_t>(WorkerSlot::Count)> m_Workers;
    // Set while a slot's work has not returned; a slot whose work returned is joined at its next start.
    std::array<std::shared_ptr<std::atomic<bool>>, static_cast<std::size_t>(WorkerSlot::Count)> m_workerActive;
    // After the workers: destroyed before them, once Shutdown has joined the pump.
    std::unique_ptr<ViewPumpPort> m_pPumpPort;
    std::unique_ptr<CPumpController> m_pPump;
    std::unique_ptr<CommandChannelPump> m_pPumpChannel;
    std::unique_ptr<COperationControl> m_pControl;
    std::unique_ptr<ChipDialogs> m_pChipDialogs;
    bool RunConfigWordsAction(ConfigWordsAction action, ConfigWordsDone done);
    void FinishConfigWords(const ConfigWordsOutcome& outcome);
    bool m_bExchangeRunning = false;
    bool m_bCompletionLinkLost = false;
    // The state the progress window was opened for, while its step runs; 0 otherwise.
    int m_nProgressState = 0;
    // Where the message log ended when the completion running now began: its failure's first
    // line is logged after this.
    std::size_t m_nCompletionLogMark = 0;
    void MarkCompletionStart();
    unsigned m_nIdentifyGeneration = 0;
    int m_nIdentifications = 0;
    bool m_bLostDuringIdentify = false;
    bool m_bInitialised = false;
    bool m_bShutDown = false;
    bool m_bCloseUnattended = false; // a running script's EXIT APP
    bool m_bCloseWaiting = false; // a close waits for the operation it cancelled
    void CancelForClose();
    void CloseWhenEnded(std::function<void()> closeAgain);
    // Last, so it goes first: its worker reaches the members above.
    std::unique_ptr<CViewSetup> m_pSetup;
};

// The one main view, from its initial update until it is destroyed.
extern CTonrigView* g_pMainView;

// The programs tried, in order, for the Calculator command.
const std::vector<std::string>& CalculatorPrograms();
