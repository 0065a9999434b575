#pragma once
// The main view's buffer commands: File Open, Save and Save As, the open-file message, the
// recent file, dropped files, the Message Log / Buffer tab with the hex view, and the checksum
// in the status bar. The view owns one and forwards to it; the buffers are the view's model.

#include "buffer/BufferLoader.h"
#include "buffer/BufferModel.h"
#include "buffer/BufferSaver.h"
#include "platform/Process.h"
#include "platform/WinTypes.h"

#include <QObject>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class CDeviceClass;
class CFileOptionsDlg;
class CFillBufferDlg;
class CFindDlg;
class CHexEditBase;
class CTonrigView;
class CurrentDeviceSnapshot;
class QFileDialog;
class QMimeData;
class QTabBar;
class QWidget;

class CBufferCommands : public QObject {
    Q_OBJECT
public:
    static constexpr int kLogTab = 0;
    static constexpr int kBufferTab = 1;
    static constexpr UINT IDC_TAB = 115;
    static constexpr UINT IDC_HEX_VIEW = 101;
    // The setting naming the JAM/STAPL compiler, below the program's settings key.
    static constexpr const char* kCompilerValue = "JamStaplCompiler";

    CBufferCommands(CTonrigView& view, buffer::CBufferModel& model);
    ~CBufferCommands() override;

    // Takes over the view's tab bar (115), hex view (101) and message log: the tab bar switches
    // between the log and the hex view, and files dropped on any of them open.
    void AttachWidgets(QTabBar* tabs, CHexEditBase* hexView, QWidget* messageLog);
    QTabBar* Tabs() const { return m_tabs; }
    CHexEditBase* HexView() const { return m_hexView; }
    // Takes the texts of the tabs and the offset title from the language table again.
    void ApplyLanguage();

    int GetBufferIndex() const { return m_nBufferIndex; }
    // A change of the current buffer: its checksum goes into status pane 1.
    void SetBufferIndex(int index);

    // Selects the Buffer tab and shows the current buffer in the hex view; flag 1 also writes
    // its checksum into status pane 1.
    void ShowBufferTab(int flag);
    void ShowLogTab();
    // The script editor's pane, shown in place of the log while the script tab is selected.
    void AttachScriptPane(QWidget* pane) { m_script = pane; }
    // The configuration grid, shown on the Buffer tab in place of the hex view while the view
    // says so (ConfigGridShown).
    void AttachConfigGrid(QWidget* grid) { m_grid = grid; }
    QWidget* ConfigGridPane() const { return m_grid; }
    // The selected tab is the script editor's.
    bool ScriptTabActive() const;
    const std::string& ChecksumText() const { return m_strChecksum; }
    // The current buffer's checksum into status pane 1 (also timer 113, once after a burst of
    // edits).
    void WriteChecksumPane();
    // The main window's title ends with " *" while the current buffer is modified.
    void UpdateModifiedTitle();
    // An edit outside the hex editor changed buffer `index` (0 to 2, or kConfigWord).
    void MarkEdited(int index);
    // Byte Swap, or a script's FILL or BYTESWAP, changed the model's Buffer(current index): with
    // index 3 shown, that is the main buffer.
    void MarkModelBufferEdited()
    {
        MarkEdited(m_nBufferIndex < buffer::kBufferCount ? m_nBufferIndex : buffer::kMainBuffer);
    }

    // Edited buffers are never replaced or dropped unasked.
    static constexpr const char* kEditsQuestion = "The buffer data has been changed. Save it before it is replaced?";
    static constexpr const char* kEditsReplacedLine = "Unsaved buffer changes were replaced.";
    static constexpr const char* kConfigWordNotSavedLine
        = "The configuration word was not saved: only an Intel HEX file holds it.";
    // The edited buffers, the current one first.
    std::vector<int> EditedBuffers() const;
    // The buffers a load into the current buffer may replace: a PIC's file fills all of them.
    std::vector<int> BuffersALoadReplaces() const;
    // Before edited buffers among `buffers` are replaced or dropped: kEditsQuestion, once, Yes,
    // No or Cancel. Yes runs Save As for each of them in turn (shown while it runs; the
    // configuration word goes with the main buffer, and a Save As that left it unsaved ends the
    // answer, with kConfigWordNotSavedLine). True to go on: No, or every Save As saved all.
    bool AskSaveEdits(const std::vector<int>& buffers);
    // AskSaveEdits before a load by a person (of `path`, when known). A load that will be refused
    // (the link held, an operation running, a path that is no readable file) asks nothing: it
    // says why itself.
    bool ConfirmLoad(const std::string& path = {});
    // A load with no one to ask (a running script's LOAD, the last session): LoadFile without a
    // person, and kEditsReplacedLine in the log when edited buffers were replaced.
    bool LoadFileUnattended(const std::string& path, const std::string& pattern);
    // kEditsReplacedLine in the log when any of `edited` (EditedBuffers() taken before buffers
    // were replaced with no one to ask) is no longer marked.
    void LogReplacedEdits(const std::vector<int>& edited);
    // The buffers a setup for class `classIndex` of `device` blanks, `previous` set up now: none
    // for the class set up now, which keeps them; else the code buffer (of a device that has
    // one), the data buffer and, from or to a PIC, the configuration words.
    static std::vector<int> BuffersADeviceChangeBlanks(
        int classIndex, const CDeviceClass& device, const CDeviceClass& previous);
    // AskSaveEdits before a person's choice of class `classIndex` blanks the buffers. The choice
    // has made its device current; `before` holds the devices as they were, which are current
    // while the question and Save As run (the edits are theirs). False, with them current again,
    // when the choice is not to go ahead.
    bool ConfirmDeviceChange(int classIndex, const CurrentDeviceSnapshot& before);
    // The buffers changed under the view (a device change, a swap): the hex view is pointed at
    // the current buffer again and repainted, and pane 1 written.
    void BuffersChanged();
    // The current buffer no longer holds what the remembered file holds (a read from the device,
    // a device change, a combine): Save asks for a name.
    void ForgetSavedState() { m_bSavePathHolds = false; }
    // Save writes to SavePath() without asking.
    bool SaveGoesToPath() const;

    // Loads a file into the current buffer with its remembered options, then does what the
    // load asks (boxes, log, title, recent file, checksum, compiler). A file with bad records
    // asks whether to keep what could be read; without a person to ask (a script's LOAD) the
    // answer is No and the reason goes to the log. True when the data went in.
    bool LoadFile(const std::string& path, const std::string& pattern, bool askPerson = true);
    LRESULT OpenFileByName(const std::string& path);
    void OnRecentFile();
    // Loads every local file of a drop; 0 when the drop holds none, else 1.
    int OpenDroppedFiles(const QMimeData* data);
    int OpenDroppedFiles(const std::vector<std::string>& paths);

    // File Open asks for the file and its options, remembers them and loads; Combine places a
    // binary file into the code buffer at an offset (only with no device selected); Fill sets
    // the current buffer to 0xFF. All three refuse while the link is held or an operation runs.
    void OnFileOpen();
    void OnCombineFiles();
    void OnFillBufferFF();
    // Fill Buffer(Hex): the range and bytes from CFillBufferDlg, preset with the selection.
    void OnFillBufferHex();
    // Copy, Cut and Paste go to a focused log pane, else to the hex editor. Cut sets the bytes
    // it copied to 0xFF: the buffer keeps the chip's size, so nothing moves.
    void OnEditCopy();
    void OnEditCut();
    void OnEditPaste();
    // Find opens the Binary Search dialog (with its last entries) and searches; Find Next
    // repeats the last search from the cursor, or opens the dialog when there was none.
    void OnFind();
    void OnFindNext();
    // Copy needs a selection; Cut one that may change, and Paste a pane that may change (a
    // read-only text pane such as the message log takes neither).
    bool CanCopy() const;
    bool CanCut() const;
    bool CanPaste() const;
    // The clipboard format of raw bytes.
    static constexpr const char* kBinaryMime = "application/x-binarydata";
    void OnFileSave();
    void OnFileSaveAs();
    // Saves the current buffer; asks about an incomplete read first. A pattern (a filter text)
    // decides the format; without one the extension does. True when saved.
    bool SaveTo(const std::string& path, const std::string& pattern);
    // What Save As writes for the name the user typed and the type chosen: the extension decides
    // where it names a format; a name without one gets the type's. Returns the pattern for SaveTo
    // and completes `path`.
    static std::string SaveAsPattern(std::string& path, const std::string& filter);
    const std::string& SavePath() const { return m_strSavePath; }

    // The header pane's file-offset text, and writing it back.
    std::string FileOffsetText() const;
    void SetFileOffsetText(const std::string& text);

    // Dialogs, replaceable by tests.
    struct FileChoice {
        std::string path; // empty: cancelled
        std::string filter; // the filter the user chose
    };
    using FileChooser = std::function<FileChoice(const std::string& filters, const std::string& lastPath)>;
    using OptionsRunner = std::function<bool(CFileOptionsDlg& dialog)>;
    using FillRunner = std::function<bool(CFillBufferDlg& dialog)>;
    void SetFillRunner(FillRunner runner) { m_runFill = std::move(runner); }
    using FindRunner = std::function<bool(CFindDlg& dialog)>;
    void SetFindRunner(FindRunner runner) { m_runFind = std::move(runner); }
    void SetOpenFileChooser(FileChooser chooser) { m_chooseOpen = std::move(chooser); }
    void SetSaveFileChooser(FileChooser chooser) { m_chooseSave = std::move(chooser); }
    void SetOptionsRunner(OptionsRunner runner) { m_runOptions = std::move(runner); }

    // The filter list of the Open dialog, led by the type opened last.
    static std::string OpenFilters(const std::string& lastType);
    static std::string SaveFilters();
    // Sets up the Open dialog the default chooser runs: the filters (either letter case
    // matching), the last file preselected.
    static void PrepareOpenDialog(QFileDialog& dialog, const std::string& filters, const std::string& lastPath);

    // The JAM/STAPL compile that a load started, on the GUI thread's event loop. A later load and
    // the view's shut-down end it (killed, its result dropped).
    bool CompileRunning() const { return m_compile != nullptr; }
    void EndCompile();
    // Runs with the compile's success once it has ended (at once, with true, when none runs).
    void WhenCompiled(std::function<void(bool)> done);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // False, with a log line, while the buffers must not change.
    bool BufferFree(const char* what);
    // Save As of the current buffer; true when saved.
    bool SaveAs();
    // Makes buffer `index` the current one and shows it.
    void ShowBuffer(int index);
    // True when the load went ahead: read, and for a JAM or STAPL source its compile started.
    bool ApplyLoadResult(const buffer::LoadResult& result);
    void ShowBoxes(const std::vector<buffer::BoxMessage>& boxes);
    // False, after its box, when the compiler could not be started on a fresh output.
    bool CompileSource(const std::string& path);
    void AttachHexView();
    void OnEditorChanged(std::size_t offset, std::size_t count);
    // After the view itself changed bytes of the current buffer: repaint, mark, checksum at once.
    void BytesChanged(std::size_t offset, std::size_t count);
    QWidget* FocusedTextPane() const;
    // The block the editor shows: buffer 0, 1 or 2, or (index 3) the configuration word.
    std::vector<std::uint8_t>& CurrentBuffer();
    const std::vector<std::uint8_t>& CurrentBuffer() const;
    void Search(bool newSearch);
    void OnTabChanged(int index);
    // Shows one of the tab's panes (log, hex view, grid, script) in place of the others.
    void ShowPane(QWidget* shown);

    CTonrigView& m_view;
    buffer::CBufferModel& m_model;
    int m_nBufferIndex = buffer::kMainBuffer;
    QTabBar* m_tabs = nullptr;
    CHexEditBase* m_hexView = nullptr;
    QWidget* m_log = nullptr;
    QWidget* m_script = nullptr;
    QWidget* m_grid = nullptr;
    std::string m_strChecksum;
    std::string m_strSavePath; // where Save writes: the file last loaded or saved
    int m_nSavePathBuffer = buffer::kMainBuffer; // the buffer it was loaded into or saved from
    bool m_bSavePathHolds = false; // that buffer still holds what the file holds
    std::string m_strFileOffset = "0"; // stands in for the header pane's field
    bool m_bLoading = false;
    std::shared_ptr<platform::AsyncProcess> m_compile;
    std::vector<std::function<void(bool)>> m_whenCompiled;
    FileChooser m_chooseOpen;
    FileChooser m_chooseSave;
    OptionsRunner m_runOptions;
    FillRunner m_runFill;
    FindRunner m_runFind;
    std::unique_ptr<CFindDlg> m_findDlg;
    bool m_bHaveSearch = false;
};
