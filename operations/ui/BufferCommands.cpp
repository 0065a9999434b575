#include "operations/ui/BufferCommands.h"

#include "buffer/BufferEdit.h"
#include "buffer/FileCombiner.h"
#include "buffer/FileFormat.h"
#include "buffer/OpenedFileEntry.h"
#include "buffer/ui/FileOptionsDlg.h"
#include "buffer/ui/FillBufferDlg.h"
#include "buffer/ui/FindDlg.h"
#include "buffer/ui/HexEditBase.h"
#include "catalogue/DeviceClass.h"
#include "catalogue/DeviceSelection.h"
#include "link/LinkLease.h"
#include "operations/BufferDeviceParams.h"
#include "operations/OperationState.h"
#include "operations/ui/TonrigView.h"
#include "operations/ui/View2Header.h"
#include "platform/Folders.h"
#include "platform/MessageBox.h"
#include "platform/Process.h"
#include "platform/TextFormat.h"
#include "shell/Language.h"
#include "shell/RecentFileList.h"
#include "shell/RegistryKey.h"
#include "shell/ui/MainFrame.h"
#include "shell/ui/ProgressDlg.h"
#include "shell/ui/StatusBar.h"
#include "shell/ui/TonrigApp.h"

#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QTextEdit>
#include <QUrl>

#include <algorithm>
#include <array>
#include <cctype>

namespace {

constexpr const char* kSettingsKey = "Software\\Zelvo USB Programmer\\Settings";
constexpr int kChecksumPane = 1;
constexpr const char* kAllFiles = "All Files (*)";

std::string Upper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

bool EndsWith(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

bool IsHexName(const std::string& path)
{
    return EndsWith(Upper(path), ".HEX");
}

bool IsJamOrStapl(const std::string& path)
{
    const std::string upper = Upper(path);
    return EndsWith(upper, ".JAM") || EndsWith(upper, ".STAPL");
}

std::string ReadSetting(const char* name, const std::string& fallback)
{
    CRegistryKey key(HKEY_CURRENT_USER);
    std::string value;
    if (key.Open(HKEY_CURRENT_USER, kSettingsKey) && key.ReadString(name, value))
        return value;
    return fallback;
}

void WriteSetting(const char* name, const std::string& value)
{
    CRegistryKey key(HKEY_CURRENT_USER);
    if (!key.Open(HKEY_CURRENT_USER, kSettingsKey)) {
        key.Create(HKEY_CURRENT_USER, kSettingsKey);
        key.Open(HKEY_CURRENT_USER, kSettingsKey);
    }
    key.WriteString(name, value);
}

// The file the next start opens with the last session: the one last loaded with success.
void RememberLoadedFile(const std::string& path)
{
    WriteSetting("LastOpenedFileName", QFileInfo(QString::fromStdString(path)).absoluteFilePath().toStdString());
}

std::string LanguageText(int number, const std::string& fallback)
{
    if (number < 0)
        return fallback;
    const std::string text = g_Language.GetText(number);
    return text.empty() ? fallback : text;
}

// The local files of a drop, in order.
std::vector<std::string> DroppedPaths(const QMimeData* data)
{
    std::vector<std::string> paths;
    if (!data || !data->hasUrls())
        return paths;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile() && !url.toLocalFile().isEmpty())
            paths.push_back(url.toLocalFile().toStdString());
    }
    return paths;
}

// The first "*.ext" of a filter, for a name typed without an extension.
std::string FilterExtension(const std::string& filter)
{
    const std::size_t star = filter.find("*.");
    if (star == std::string::npos)
        return {};
    std::size_t end = star + 2;
    while (end < filter.size() && std::isalnum(static_cast<unsigned char>(filter[end])))
        ++end;
    return filter.substr(star + 1, end - star - 1);
}

QString ToQtFilters(const std::string& filters)
{
    return QString::fromStdString(filters);
}

} // namespace

CBufferCommands::CBufferCommands(CTonrigView& view, buffer::CBufferModel& model)
    : QObject(&view)
    , m_view(view)
    , m_model(model)
{
    m_chooseOpen = [this](const std::string& filters, const std::string& lastPath) {
        QFileDialog dialog(&m_view);
        PrepareOpenDialog(dialog, filters, lastPath);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return FileChoice {};
        return FileChoice { dialog.selectedFiles().front().toStdString(), dialog.selectedNameFilter().toStdString() };
    };
    m_chooseSave = [this](const std::string& filters, const std::string& lastPath) {
        QString selected;
        const QString path = QFileDialog::getSaveFileName(
            &m_view, "Save As", QString::fromStdString(lastPath), ToQtFilters(filters), &selected);
        return FileChoice { path.toStdString(), selected.toStdString() };
    };
    m_runOptions = [](CFileOptionsDlg& dialog) { return dialog.exec() == QDialog::Accepted; };
    m_runFill = [](CFillBufferDlg& dialog) { return dialog.exec() == QDialog::Accepted; };
    m_runFind = [](CFindDlg& dialog) { return dialog.exec() == QDialog::Accepted; };
}

CBufferCommands::~CBufferCommands()
{
    if (m_hexView)
        m_hexView->SetData(nullptr, 0);
}

void CBufferCommands::AttachWidgets(QTabBar* tabs, CHexEditBase* hexView, QWidget* messageLog)
{
    m_tabs = tabs;
    m_hexView = hexView;
    m_log = messageLog;
    if (m_tabs)
        connect(m_tabs, &QTabBar::currentChanged, this, &CBufferCommands::OnTabChanged);

    // Files dropped anywhere on the view open; the log would take them as text otherwise.
    m_view.setAcceptDrops(true);
    m_view.installEventFilter(this);
    if (auto* area = qobject_cast<QAbstractScrollArea*>(messageLog))
        area->viewport()->installEventFilter(this);
    if (messageLog)
        messageLog->installEventFilter(this);
    if (m_hexView) {
        m_hexView->viewport()->installEventFilter(this);
        m_hexView->setAcceptDrops(true);
        // Keys change nothing while the buffers must not change; they only beep.
        m_hexView->SetGate([](const char*) { return !g_LinkLease.IsHeld() && IsOperationIdle(); });
        connect(m_hexView, &CHexEditBase::changed, this, &CBufferCommands::OnEditorChanged);
    }
}

std::vector<std::uint8_t>& CBufferCommands::CurrentBuffer()
{
    // Index 3 is the configuration-word copy, which an edit also hands to the descriptor.
    return m_nBufferIndex == buffer::kConfigWord ? m_model.ConfigWord() : m_model.Buffer(m_nBufferIndex);
}

const std::vector<std::uint8_t>& CBufferCommands::CurrentBuffer() const
{
    return m_nBufferIndex == buffer::kConfigWord ? m_model.ConfigWord() : m_model.Buffer(m_nBufferIndex);
}

void CBufferCommands::OnEditorChanged(std::size_t /*offset*/, std::size_t /*count*/)
{
    if (m_nBufferIndex == buffer::kConfigWord)
        StoreConfigWord(m_model, g_CurrentDevice);
    m_model.SetModified(m_nBufferIndex, true);
    UpdateModifiedTitle();
    // One checksum after a burst of typing: re-arming replaces the timer.
    m_view.SetTimer(CTonrigView::kTimerChecksum, 1000, true);
}

void CBufferCommands::WriteChecksumPane()
{
    m_view.KillTimer(CTonrigView::kTimerChecksum);
    m_strChecksum = buffer::ChecksumText(CurrentBuffer());
    if (g_pStatusBar)
        g_pStatusBar->SetPaneText(kChecksumPane, m_strChecksum);
}

void CBufferCommands::UpdateModifiedTitle()
{
    if (!g_pMainFrame)
        return;
    QString title = g_pMainFrame->windowTitle();
    const bool marked = title.endsWith(" *");
    const bool modified = m_model.IsModified(m_nBufferIndex);
    if (marked && !modified)
        title.chop(2);
    else if (!marked && modified)
        title += " *";
    else
        return;
    g_pMainFrame->setWindowTitle(title);
}

void CBufferCommands::MarkEdited(int index)
{
    m_model.SetModified(index, true);
    UpdateModifiedTitle();
}

std::vector<int> CBufferCommands::EditedBuffers() const
{
    std::vector<int> edited;
    if (m_model.IsModified(m_nBufferIndex))
        edited.push_back(m_nBufferIndex);
    for (int index = buffer::kMainBuffer; index <= buffer::kConfigWord; ++index)
        if (index != m_nBufferIndex && m_model.IsModified(index))
            edited.push_back(index);
    return edited;
}

std::vector<int> CBufferCommands::BuffersALoadReplaces() const
{
    if (CurrentBufferDeviceParams().pic)
        return { buffer::kMainBuffer, buffer::kDataBuffer, buffer::kConfigBuffer, buffer::kConfigWord };
    if (m_nBufferIndex == buffer::kMainBuffer || m_nBufferIndex == buffer::kDataBuffer)
        return { m_nBufferIndex };
    return {}; // no file loads into the configuration buffer
}

void CBufferCommands::ShowBuffer(int index)
{
    m_view.m_nBufferIndex = index;
    SetBufferIndex(index);
    ShowBufferTab(1);
}

bool CBufferCommands::AskSaveEdits(const std::vector<int>& buffers)
{
    std::vector<int> edited;
    for (int index : EditedBuffers())
        if (std::find(buffers.begin(), buffers.end(), index) != buffers.end())
            edited.push_back(index);
    if (edited.empty())
        return true;
    const int answer = MessageBox(kEditsQuestion, platform::kAppTitle, MB_YESNOCANCEL | MB_ICONQUESTION);
    if (answer == IDNO)
        return true;
    if (answer != IDYES)
        return false;
    const int current = m_nBufferIndex;
    const bool wordEdited = std::find(edited.begin(), edited.end(), buffer::kConfigWord) != edited.end();
    bool saved = true;
    for (int index : edited) {
        if (!m_model.IsModified(index))
            continue; // the file saved before holds it (a PIC's combined image)
        // The configuration word is saved in the main buffer's file.
        const int target = index == buffer::kConfigWord ? buffer::kMainBuffer : index;
        if (target != m_nBufferIndex)
            ShowBuffer(target);
        if (!SaveAs()) {
            saved = false;
            break;
        }
        // Only a combined HEX image holds the word: saved in another format it is still edited,
        // and nothing may replace it.
        if (target == buffer::kMainBuffer && wordEdited && m_model.IsModified(buffer::kConfigWord)) {
            m_view.Log(std::string(kConfigWordNotSavedLine) + "\r\n", CTonrigView::kLogError);
            saved = false;
            break;
        }
    }
    if (m_nBufferIndex != current)
        ShowBuffer(current);
    UpdateModifiedTitle();
    return saved;
}

bool CBufferCommands::ConfirmLoad(const std::string& path)
{
    if (m_bLoading || g_LinkLease.IsHeld() || !IsOperationIdle())
        return true;
    if (!path.empty()) {
        const QFileInfo file(QString::fromStdString(path));
        if (!file.isFile() || !file.isReadable())
            return true;
    }
    return AskSaveEdits(BuffersALoadReplaces());
}

bool CBufferCommands::LoadFileUnattended(const std::string& path, const std::string& pattern)
{
    const std::vector<int> edited = EditedBuffers();
    const bool loaded = LoadFile(path, pattern, false);
    LogReplacedEdits(edited);
    return loaded;
}

void CBufferCommands::LogReplacedEdits(const std::vector<int>& edited)
{
    // A replaced buffer is no longer marked.
    if (std::any_of(edited.begin(), edited.end(), [this](int index) { return !m_model.IsModified(index); }))
        m_view.Log(std::string(kEditsReplacedLine) + "\r\n", CTonrigView::kLogNote);
}

std::vector<int> CBufferCommands::BuffersADeviceChangeBlanks(
    int classIndex, const CDeviceClass& device, const CDeviceClass& previous)
{
    if (classIndex == g_nCurrentClass)
        return {};
    std::vector<int> blanked;
    if (device.m_nCodeSize > 0)
        blanked.push_back(buffer::kMainBuffer);
    blanked.push_back(buffer::kDataBuffer);
    // A new PIC's word is blank; a device of another kind has none, and the PIC's goes with it.
    if (device.m_pPicConfig || previous.m_pPicConfig)
        blanked.push_back(buffer::kConfigWord);
    return blanked;
}

bool CBufferCommands::ConfirmDeviceChange(int classIndex, const CurrentDeviceSnapshot& before)
{
    const CurrentDeviceSnapshot chosen;
    const CDeviceClass device = g_CurrentDevice;
    before.Restore();
    const std::vector<int> blanked = BuffersADeviceChangeBlanks(classIndex, device, g_CurrentDevice);
    const std::vector<int> edited = EditedBuffers();
    const bool asks = std::any_of(edited.begin(), edited.end(),
        [&](int index) { return std::find(blanked.begin(), blanked.end(), index) != blanked.end(); });
    if (asks && !AskSaveEdits(blanked))
        return false;
    chosen.Restore();
    return true;
}

void CBufferCommands::ApplyLanguage()
{
    if (m_tabs) {
        m_tabs->setTabText(kLogTab, QString::fromStdString(LanguageText(40, "Message Log")));
        m_tabs->setTabText(kBufferTab, QString::fromStdString(LanguageText(62, "Buffer")));
    }
    if (m_hexView)
        m_hexView->SetOffsetTitle(m_view.m_strOffsetTitle);
}

void CBufferCommands::AttachHexView()
{
    if (!m_hexView)
        return;
    std::vector<std::uint8_t>& data = CurrentBuffer();
    m_hexView->SetOffsetTitle(m_view.m_strOffsetTitle);
    m_hexView->SetData(data.data(), data.size());
}

void CBufferCommands::SetBufferIndex(int index)
{
    m_nBufferIndex = index;
    WriteChecksumPane();
}

void CBufferCommands::BuffersChanged()
{
    AttachHexView();
    if (m_hexView && m_hexView->isVisible())
        m_hexView->Refresh();
    WriteChecksumPane();
}

void CBufferCommands::ShowPane(QWidget* shown)
{
    // The pane with the window's focus hands it to the one shown in its place, also while a
    // dialog has the keyboard: a hidden pane would keep it, or the window would give it to the
    // next control in the tab order, the command line, when it is active again.
    QWidget* focus = m_view.window()->focusWidget();
    bool hadFocus = false;
    const std::array<QWidget*, 4> panes { m_log, m_hexView, m_grid, m_script };
    for (QWidget* pane : panes) {
        if (!pane || pane == shown)
            continue;
        hadFocus = hadFocus || (focus && (focus == pane || pane->isAncestorOf(focus)));
        pane->hide();
    }
    if (!shown)
        return;
    shown->show();
    if (hadFocus)
        shown->setFocus();
}

void CBufferCommands::ShowBufferTab(int flag)
{
    if (m_tabs && m_tabs->currentIndex() != kBufferTab) {
        const QSignalBlocker block(m_tabs);
        m_tabs->setCurrentIndex(kBufferTab);
    }
    AttachHexView();
    const bool grid = m_grid && m_view.ConfigGridShown();
    ShowPane(grid ? m_grid : m_hexView);
    if (!grid && m_hexView)
        m_hexView->Refresh();
    if (flag == 1)
        WriteChecksumPane();
}

void CBufferCommands::ShowLogTab()
{
    if (m_tabs && m_tabs->currentIndex() != kLogTab) {
        const QSignalBlocker block(m_tabs);
        m_tabs->setCurrentIndex(kLogTab);
    }
    ShowPane(m_log);
}

void CBufferCommands::OnTabChanged(int index)
{
    if (index == kBufferTab)
        ShowBufferTab(1);
    else if (ScriptTabActive() && m_script)
        ShowPane(m_script);
    else
        ShowLogTab();
}

std::string CBufferCommands::FileOffsetText() const
{
    if (g_pView2Header)
        return g_pView2Header->FileOffsetText();
    return m_strFileOffset.empty() ? std::string("0") : m_strFileOffset;
}

void CBufferCommands::SetFileOffsetText(const std::string& text)
{
    m_strFileOffset = text;
    // The header's field takes 1 to 8 hex digits; "-10" goes there as FFFFFFF0.
    if (g_pView2Header)
        g_pView2Header->SetFileOffsetText(
            platform::Format("%X", static_cast<unsigned>(buffer::ParseFileOffset(text.empty() ? "0" : text))));
}

void CBufferCommands::ShowBoxes(const std::vector<buffer::BoxMessage>& boxes)
{
    for (const buffer::BoxMessage& box : boxes) {
        const std::string text = LanguageText(box.languageText, box.text);
        std::string caption = LanguageText(box.captionText, box.caption);
        if (caption.empty())
            caption = platform::kAppTitle;
        MessageBox(text, caption, box.type);
    }
}

bool CBufferCommands::LoadFile(const std::string& path, const std::string& pattern, bool askPerson)
{
    if (m_bLoading)
        return false;
    // A load replaces the buffers, which a worker holding the link may be filling.
    if (!m_view.CheckLinkFree("Open"))
        return false;
    if (!IsOperationIdle()) {
        m_view.Log(platform::Format("\"%s\" was not loaded: an operation is running.\r\n", path.c_str()),
            CTonrigView::kLogError);
        return false;
    }
    if (IsJamOrStapl(path) && ReadSetting(kCompilerValue, "").empty()) {
        m_view.Log(platform::Format("No JAM/STAPL compiler is configured: \"%s\" was not loaded.\r\n", path.c_str()),
            CTonrigView::kLogError);
        return false;
    }
    // The load goes ahead: a compile still running would name its output over it.
    EndCompile();

    m_bLoading = true;
    buffer::LoadRequest request;
    request.device = CurrentBufferDeviceParams();
    request.bufferIndex = m_nBufferIndex;
    request.fileOffsetText = FileOffsetText();
    CProgressDlg& progress = m_view.ProgressDlg();
    bool progressShown = false;
    request.progress = [&](std::uint64_t done, std::uint64_t total) {
        // Positions in KiB keep a file of up to 512 MiB inside the bar's 32-bit range.
        if (!progressShown) {
            progress.SetText(LanguageText(buffer::kTextReading, "Reading..."));
            progress.SetRange(0, static_cast<std::uint32_t>(total >> 10));
            progress.SetPos(1);
            progress.Show(true);
            progressShown = true;
        }
        progress.SetPos(static_cast<std::uint32_t>(done >> 10));
    };

    // The hex view points into the buffers, which the load may replace.
    if (m_hexView)
        m_hexView->SetData(nullptr, 0);
    buffer::LoadResult result = buffer::LoadFile(m_model, path, pattern, request);
    if (progressShown)
        progress.Show(false);
    if (result.needsConfirmation) {
        // Nothing has changed yet: the buffers stay on show while the question is open.
        AttachHexView();
        ShowBoxes(result.boxes);
        bool keep = askPerson && MessageBox(result.question, platform::kAppTitle, MB_YESNO | MB_ICONWARNING) == IDYES;
        // The box ran an event loop: the buffers may have been taken meanwhile.
        keep = keep && IsOperationIdle();
        if (m_hexView)
            m_hexView->SetData(nullptr, 0);
        result = keep ? buffer::KeepReadData(m_model, result) : buffer::DeclineReadData(result);
    }
    m_bLoading = false;
    return ApplyLoadResult(result);
}

bool CBufferCommands::ApplyLoadResult(const buffer::LoadResult& result)
{
    AttachHexView();
    ShowBoxes(result.boxes);
    std::vector<std::string> log = result.log;
    if (result.readOk && result.compileSource && !log.empty())
        log.pop_back(); // the compiler's line takes the place of the path's
    for (const std::string& line : log)
        m_view.Log(line + "\r\n", result.readOk ? CTonrigView::kLogText : CTonrigView::kLogError);
    if (!result.offsetText.empty())
        SetFileOffsetText(result.offsetText);
    if (!result.title.empty() && g_pMainFrame)
        g_pMainFrame->setWindowTitle(QString::fromStdString(result.title));
    UpdateModifiedTitle();
    if (result.addToRecent && !result.path.empty())
        if (CTonrigApp* app = TheApp())
            app->AddToRecentFileList(result.path);
    if (result.configWordChanged) {
        StoreConfigWord(m_model, g_CurrentDevice);
        m_view.RefillConfigGrid();
    }
    if (result.readOk && !result.path.empty()) {
        m_strSavePath = result.path;
        m_nSavePathBuffer = m_nBufferIndex;
        m_bSavePathHolds = true;
    }
    if (result.showChecksum)
        ShowBufferTab(1);
    else if (result.readOk)
        WriteChecksumPane();
    if (result.readOk && result.compileSource)
        return CompileSource(result.path);
    if (result.readOk && !result.path.empty())
        RememberLoadedFile(result.path);
    return result.readOk;
}

namespace {

constexpr auto kCompileTimeout = std::chrono::seconds(60);
constexpr int kCompilerOutputLines = 10;

// Where the compiler writes the byte-code file. The program folder may be read-only; the user's
// data folder is not.
std::string CompileOutput()
{
    return GetAppDataFolder() + "/tmp.jbc";
}

// The last lines of a compiler's output.
std::string LastLines(const std::string& output, int lines)
{
    std::string text = output;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    std::size_t at = text.size();
    for (int n = 0; n < lines && at != std::string::npos && at > 0; ++n)
        at = text.rfind('\n', at - 1);
    return at == std::string::npos || at == 0 ? text : text.substr(at + 1);
}

} // namespace

void CBufferCommands::EndCompile()
{
    if (!m_compile)
        return;
    m_compile->Kill();
    m_compile.reset();
    // Whatever it had written so far must never be played.
    QFile::remove(QString::fromStdString(CompileOutput()));
    auto waiting = std::move(m_whenCompiled);
    m_whenCompiled.clear();
    for (auto& done : waiting)
        done(false);
}

void CBufferCommands::WhenCompiled(std::function<void(bool)> done)
{
    if (!m_compile) {
        done(true);
        return;
    }
    m_whenCompiled.push_back(std::move(done));
}

bool CBufferCommands::CompileSource(const std::string& path)
{
    // The compiler runs in another folder, and a name it is given may not start with '-'.
    const std::string source = QFileInfo(QString::fromStdString(path)).absoluteFilePath().toStdString();
    std::string program = ReadSetting(kCompilerValue, "");
    if (program.find('/') == std::string::npos) {
        const std::string found = platform::FindProgram(program);
        if (!found.empty())
            program = found;
    }
    const std::string folder = GetAppDataFolder();
    const std::string output = CompileOutput();
    // Until the compiler has written it, nothing is named: a stale output must never run.
    m_model.m_strLoadedFileName.clear();
    QFile::remove(QString::fromStdString(output));
    if (QFileInfo::exists(QString::fromStdString(output)) || !QFileInfo(QString::fromStdString(folder)).isWritable()) {
        MessageBox("Couldn't create the file!\n" + output, platform::kAppTitle, MB_OK | MB_ICONERROR);
        return false;
    }
    m_view.Log(platform::Format(" %s %s.\r\n", source.c_str(), output.c_str()));
    m_compile = platform::AsyncProcess::Start(program, { source, output }, folder, kCompileTimeout,
        [this, path, program, output](const platform::ProcessResult& run) {
            m_compile.reset();
            std::string error;
            if (!run.started)
                error = platform::Format("The compiler \"%s\" could not be started.", program.c_str());
            else if (!run.finished)
                error = "The compiler did not finish within 60 seconds and was stopped.";
            else if (run.exitCode != 0)
                error = platform::Format("The compiler ended with code %d:\r\n%s", run.exitCode,
                    LastLines(run.output, kCompilerOutputLines).c_str());
            else if (QFileInfo(QString::fromStdString(output)).size() <= 0)
                error = "The compiler wrote no output.";
            if (error.empty()) {
                m_model.m_strLoadedFileName = output;
                RememberLoadedFile(path);
            } else {
                // A failed compile may have written part of a file; none is left to be played.
                QFile::remove(QString::fromStdString(output));
                m_view.Log(error + "\r\n", CTonrigView::kLogError);
            }
            auto waiting = std::move(m_whenCompiled);
            m_whenCompiled.clear();
            for (auto& done : waiting)
                done(error.empty());
        });
    return true;
}

LRESULT CBufferCommands::OpenFileByName(const std::string& path)
{
    if (!path.empty() && !ConfirmLoad(path))
        return 0;
    m_view.m_strFileName = path;
    if (!path.empty())
        LoadFile(path, buffer::GetFormatPattern(path));
    return 0;
}

void CBufferCommands::OnRecentFile()
{
    CTonrigApp* app = TheApp();
    CRecentFileList* list = app ? app->RecentFileList() : nullptr;
    const std::string name = list && list->GetCount() > 0 ? (*list)[0] : std::string();
    if (!name.empty() && !ConfirmLoad(name))
        return;
    m_view.m_strFileName = name;
    if (!name.empty())
        LoadFile(name, buffer::GetFormatPattern(name));
    m_view.m_strPreviousFileName = name;
    if (m_view.m_dwForgetLoadedFileName == 1)
        m_view.m_strFileName.clear();
}

int CBufferCommands::OpenDroppedFiles(const QMimeData* data)
{
    return OpenDroppedFiles(DroppedPaths(data));
}

int CBufferCommands::OpenDroppedFiles(const std::vector<std::string>& paths)
{
    if (paths.empty())
        return 0;
    if (!ConfirmLoad())
        return 1;
    for (const std::string& path : paths)
        LoadFile(path, buffer::GetFormatPattern(path));
    return 1;
}

std::string CBufferCommands::OpenFilters(const std::string& lastType)
{
    const std::string type = lastType.empty() ? "*" : lastType;
    return type + " Files (*." + type
        + ");;Binary Files (*.bin);;Hex Files (*.hex);;ROM Files (*.rom);;"
          "Xilinx CPLD STAPL Files (*.stapl);;Altera CPLD JAM Files (*.jam);;Altera CPLD JBC Files (*.jbc);;"
          "Motorola S Files (*.s *.mot);;JEDEC Files (*.jed);;EMC Files (*.cds);;"
        + kAllFiles;
}

void CBufferCommands::PrepareOpenDialog(QFileDialog& dialog, const std::string& filters, const std::string& lastPath)
{
    dialog.setWindowTitle("Open");
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    // Files come as "IMAGE.BIN" as often as "image.bin": the filters match either case, which
    // only Qt's own dialog can be told to do.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilters(ToQtFilters(filters).split(";;"));
    dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
    if (!lastPath.empty())
        dialog.selectFile(QString::fromStdString(lastPath));
}

std::string CBufferCommands::SaveFilters()
{
    return std::string(
               "Binary Files (*.bin);;Hex Files (*.hex);;Motorola S Files (*.s *.mot *.srec *.s19 *.s28 *.s37);;")
        + kAllFiles;
}

bool CBufferCommands::BufferFree(const char* what)
{
    // The pump writes into the buffers while it holds the link or runs an operation.
    if (!m_view.CheckLinkFree(what))
        return false;
    if (!IsOperationIdle()) {
        m_view.Log(platform::Format("%s: an operation is running.\r\n", what), CTonrigView::kLogError);
        return false;
    }
    return true;
}

bool CBufferCommands::ScriptTabActive() const
{
    return m_tabs && m_tabs->tabText(m_tabs->currentIndex()).startsWith("ZelvoScript");
}

void CBufferCommands::OnFileOpen()
{
    if (ScriptTabActive()) {
        m_view.OnOpenScript();
        return;
    }
    if (!BufferFree("Open") || !AskSaveEdits(BuffersALoadReplaces()))
        return;
    const std::string lastType = ReadSetting("LastOpenedFileType", "bin");
    const std::string lastName = ReadSetting("LastOpenedFileName", "");
    const FileChoice choice = m_chooseOpen(OpenFilters(lastType), lastName);
    if (choice.path.empty())
        return;

    CFileOptionsDlg options(choice.path, &m_view);
    if (!m_runOptions(options))
        return;
    // The dialogs ran an event loop: a worker may have taken the link meanwhile.
    if (!BufferFree("Open"))
        return;

    SetFileOffsetText(options.m_strOffset);
    buffer::COpenedFileEntry entry;
    entry.FileName = choice.path;
    entry.Format = options.m_strFormat;
    entry.Fill = options.m_strFill;
    entry.OpenMode = options.m_nOpenMode;
    entry.Offset = options.m_strOffset;
    buffer::RememberOpenedFile(entry);

    std::string pattern = options.m_strFormat;
    if (pattern.empty())
        pattern = IsHexName(choice.path) ? "Hex Files (*.hex)" : "Binary Files (*.bin)";
    WriteSetting("LastOpenedFileType", QFileInfo(QString::fromStdString(choice.path)).suffix().toStdString());

    m_view.m_strFileName = choice.path;
    LoadFile(choice.path, pattern);
}

void CBufferCommands::OnCombineFiles()
{
    if (g_nCurrentClass != kNoDeviceClass) {
        MessageBox("Device been selected. \r\nTo use this function, please restart software and do not select device.",
            platform::kAppTitle, MB_OK | MB_ICONINFORMATION);
        return;
    }
    if (!BufferFree("Combine"))
        return;
    const FileChoice choice = m_chooseOpen("Binary Files (*.bin)", ReadSetting("LastOpenedFileName", ""));
    if (choice.path.empty())
        return;
    CFileOptionsDlg options(choice.path, &m_view);
    if (!m_runOptions(options))
        return;
    SetFileOffsetText(options.m_strOffset);
    // The dialogs ran an event loop: a worker may have taken the link meanwhile.
    if (!BufferFree("Combine"))
        return;

    std::vector<std::uint8_t>& code = m_model.Buffer(buffer::kMainBuffer);
    if (m_hexView)
        m_hexView->SetData(nullptr, 0);
    const buffer::CombineResult result = buffer::CombineFile(
        code, choice.path, buffer::ParseFileOffset(options.m_strOffset), CurrentBufferDeviceParams().Limit());
    AttachHexView();
    ShowBoxes(result.boxes);
    if (!result.combined)
        return;
    m_bSavePathHolds = false;
    m_view.m_nBufferPos = 0;
    ShowBufferTab(1);
    if (m_hexView)
        m_hexView->ScrollToOffset(0);
    if (g_pMainFrame)
        g_pMainFrame->setWindowTitle(QString::fromStdString("Zelvo USB Programmer - " + choice.path));
    // No file holds the combined buffer.
    MarkEdited(buffer::kMainBuffer);
}

void CBufferCommands::OnFillBufferFF()
{
    if (!BufferFree("Fill buffer"))
        return;
    std::vector<std::uint8_t>& data = CurrentBuffer();
    if (!data.empty())
        buffer::FillRange(data, 0, data.size() - 1, { 0xFF });
    if (!data.empty())
        MarkEdited(m_nBufferIndex);
    ShowBufferTab(1);
}

void CBufferCommands::BytesChanged(std::size_t offset, std::size_t count)
{
    if (m_hexView)
        m_hexView->RefreshBytes(offset, count);
    if (m_nBufferIndex == buffer::kConfigWord)
        StoreConfigWord(m_model, g_CurrentDevice);
    m_model.SetModified(m_nBufferIndex, true);
    UpdateModifiedTitle();
    WriteChecksumPane();
}

void CBufferCommands::OnFillBufferHex()
{
    if (!BufferFree("Fill"))
        return;
    ShowBufferTab(1);
    std::vector<std::uint8_t>& data = CurrentBuffer();
    const bool selection = m_hexView && m_hexView->HasSelection();
    const std::size_t last = data.empty() ? 0 : data.size() - 1;
    CFillBufferDlg dialog(data.size(), selection ? m_hexView->SelectionStart() : 0,
        selection ? m_hexView->SelectionEnd() : last, &m_view);
    if (!m_runFill(dialog))
        return;
    // The dialog ran an event loop: a worker may have taken the link meanwhile.
    if (!BufferFree("Fill"))
        return;
    if (!buffer::FillRange(data, dialog.m_nFrom, dialog.m_nTo, dialog.m_Data))
        return;
    BytesChanged(dialog.m_nFrom, dialog.m_nTo - dialog.m_nFrom + 1);
}

void CBufferCommands::OnFind()
{
    ShowBufferTab(1);
    if (!m_findDlg)
        m_findDlg = std::make_unique<CFindDlg>(&m_view);
    if (!m_runFind(*m_findDlg))
        return;
    m_bHaveSearch = true;
    Search(m_findDlg->m_bNewSearch);
}

void CBufferCommands::OnFindNext()
{
    if (!m_bHaveSearch) {
        OnFind();
        return;
    }
    ShowBufferTab(1);
    Search(false);
}

void CBufferCommands::Search(bool newSearch)
{
    if (!m_hexView || !m_findDlg)
        return;
    const CFindDlg& query = *m_findDlg;
    const std::vector<std::uint8_t>& data = CurrentBuffer();
    std::size_t start = m_hexView->Cursor();
    if (newSearch)
        start = query.m_bDown || data.empty() ? 0 : data.size() - 1;
    else if (m_hexView->HasSelection())
        start = query.m_bDown                 ? m_hexView->SelectionStart() + 1
            : m_hexView->SelectionStart() > 0 ? m_hexView->SelectionStart() - 1
                                              : (data.empty() ? 0 : data.size() - 1);
    if (!data.empty() && start >= data.size())
        start = 0; // past the end: the wrap starts at once
    const std::optional<std::size_t> at
        = buffer::FindBytes(data.data(), data.size(), query.m_Pattern, start, query.m_bDown, query.m_bMatchCase);
    if (!at) {
        MessageBox(platform::Format("\"%s\" was not found.", query.m_strText.c_str()),
            LanguageText(122, "Binary Search"), MB_OK | MB_ICONINFORMATION);
        return;
    }
    m_hexView->Select(*at, *at + query.m_Pattern.size() - 1);
    m_hexView->setFocus();
}

QWidget* CBufferCommands::FocusedTextPane() const
{
    QWidget* focus = QApplication::focusWidget();
    if (qobject_cast<QTextEdit*>(focus) || qobject_cast<QPlainTextEdit*>(focus) || qobject_cast<QLineEdit*>(focus))
        return focus;
    return nullptr;
}

bool CBufferCommands::CanCopy() const
{
    if (QWidget* pane = FocusedTextPane()) {
        if (auto* edit = qobject_cast<QTextEdit*>(pane))
            return edit->textCursor().hasSelection();
        if (auto* edit = qobject_cast<QPlainTextEdit*>(pane))
            return edit->textCursor().hasSelection();
        return qobject_cast<QLineEdit*>(pane)->hasSelectedText();
    }
    return m_hexView && m_hexView->HasSelection();
}

bool CBufferCommands::CanCut() const
{
    if (QWidget* pane = FocusedTextPane(); pane && pane->property("readOnly").toBool())
        return false;
    return CanCopy();
}

bool CBufferCommands::CanPaste() const
{
    if (QWidget* pane = FocusedTextPane(); pane && pane->property("readOnly").toBool())
        return false;
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
    return mime && (mime->hasFormat(kBinaryMime) || mime->hasText());
}

void CBufferCommands::OnEditCopy()
{
    if (QWidget* pane = FocusedTextPane()) {
        QMetaObject::invokeMethod(pane, "copy");
        return;
    }
    if (!m_hexView || !m_hexView->HasSelection())
        return;
    const std::vector<std::uint8_t>& data = CurrentBuffer();
    const std::size_t first = m_hexView->SelectionStart();
    const std::size_t count = m_hexView->SelectionEnd() - first + 1;
    if (first + count > data.size())
        return;
    auto* mime = new QMimeData;
    mime->setData(
        kBinaryMime, QByteArray(reinterpret_cast<const char*>(data.data() + first), static_cast<qsizetype>(count)));
    mime->setText(QString::fromStdString(buffer::FormatHexBytes(data.data() + first, count)));
    QGuiApplication::clipboard()->setMimeData(mime);
}

void CBufferCommands::OnEditCut()
{
    if (QWidget* pane = FocusedTextPane()) {
        QMetaObject::invokeMethod(pane, "cut");
        return;
    }
    if (!m_hexView || !m_hexView->HasSelection() || !BufferFree("Cut"))
        return;
    OnEditCopy();
    const std::size_t first = m_hexView->SelectionStart(), last = m_hexView->SelectionEnd();
    if (buffer::FillRange(CurrentBuffer(), first, last, { 0xFF }))
        BytesChanged(first, last - first + 1);
}

void CBufferCommands::OnEditPaste()
{
    if (QWidget* pane = FocusedTextPane()) {
        QMetaObject::invokeMethod(pane, "paste");
        return;
    }
    if (!m_hexView || !BufferFree("Paste"))
        return;
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
    std::vector<std::uint8_t> bytes;
    if (mime && mime->hasFormat(kBinaryMime)) {
        const QByteArray raw = mime->data(kBinaryMime);
        bytes.assign(raw.begin(), raw.end());
    } else if (mime && mime->hasText()) {
        if (m_hexView->CursorColumn() == CHexEditBase::Column::Hex) {
            bytes = buffer::ParseHexBytes(mime->text().toStdString()).bytes;
        } else {
            const QByteArray latin = mime->text().toLatin1();
            bytes.assign(latin.begin(), latin.end());
        }
    }
    if (bytes.empty()) {
        m_view.Log("Paste: the clipboard holds no hex bytes.\r\n", CTonrigView::kLogError);
        return;
    }
    std::vector<std::uint8_t>& data = CurrentBuffer();
    const std::size_t at = m_hexView->SelectionStart();
    const std::size_t room = at < data.size() ? data.size() - at : 0;
    if (bytes.size() > room) {
        m_view.Log(platform::Format("Paste: %zu bytes do not fit, %zu remain.\r\n", bytes.size(), room),
            CTonrigView::kLogError);
        return;
    }
    std::copy(bytes.begin(), bytes.end(), data.begin() + static_cast<std::ptrdiff_t>(at));
    m_hexView->Select(at, at + bytes.size() - 1);
    BytesChanged(at, bytes.size());
}

bool CBufferCommands::SaveGoesToPath() const
{
    return !m_strSavePath.empty() && m_bSavePathHolds && m_nSavePathBuffer == m_nBufferIndex;
}

void CBufferCommands::OnFileSave()
{
    // Only over the file the buffer came from (or was last saved to): anything else is a new
    // file, whose name the user gives.
    if (!SaveGoesToPath()) {
        OnFileSaveAs();
        return;
    }
    SaveTo(m_strSavePath, {});
}

std::string CBufferCommands::SaveAsPattern(std::string& path, const std::string& filter)
{
    // A name whose extension names a format is saved in that format, whatever type is chosen.
    if (buffer::SaveFormatOfExtension(path))
        return {};
    if (filter.empty() || filter == kAllFiles)
        return {};
    if (QFileInfo(QString::fromStdString(path)).suffix().isEmpty())
        path += FilterExtension(filter);
    return filter;
}

void CBufferCommands::OnFileSaveAs()
{
    SaveAs();
}

bool CBufferCommands::SaveAs()
{
    const FileChoice choice = m_chooseSave(SaveFilters(), m_strSavePath);
    if (choice.path.empty())
        return false;
    std::string path = choice.path;
    const std::string pattern = SaveAsPattern(path, choice.filter);
    return SaveTo(path, pattern);
}

bool CBufferCommands::SaveTo(const std::string& path, const std::string& pattern)
{
    if (!m_view.CheckLinkFree("Save"))
        return false;
    if (!IsOperationIdle()) {
        m_view.Log("The buffer was not saved: an operation is running.\r\n", CTonrigView::kLogError);
        return false;
    }
    const buffer::CBufferDeviceParams device = CurrentBufferDeviceParams();
    LoadConfigWord(m_model, g_CurrentDevice);
    buffer::SaveOptions options;
    options.pattern = pattern;
    buffer::SaveResult result = buffer::SaveBuffer(m_model, m_nBufferIndex, path, device, options);
    if (result.needsConfirmation) {
        const int answer = MessageBox(buffer::kIncompleteQuestion,
            LanguageText(buffer::kTextSaveCaption, platform::kAppTitle), MB_YESNO | MB_ICONQUESTION);
        if (answer != IDYES)
            return false;
        options.confirmedIncomplete = true;
        result = buffer::SaveBuffer(m_model, m_nBufferIndex, path, device, options);
    }
    ShowBoxes(result.boxes);
    for (const std::string& line : result.log)
        m_view.Log(line + "\r\n", result.saved ? CTonrigView::kLogText : CTonrigView::kLogError);
    if (result.saved) {
        m_strSavePath = path;
        m_nSavePathBuffer = m_nBufferIndex;
        m_bSavePathHolds = true;
    }
    UpdateModifiedTitle();
    return result.saved;
}

bool CBufferCommands::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (DroppedPaths(drag->mimeData()).empty())
            break;
        drag->acceptProposedAction();
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const std::vector<std::string> paths = DroppedPaths(drop->mimeData());
        if (paths.empty())
            break;
        drop->acceptProposedAction();
        OpenDroppedFiles(paths);
        return true;
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
