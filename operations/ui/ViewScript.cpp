// The view's side of the script engine: the lines of a script, of the command line and of the
// last session run here, on the GUI thread, with the handlers of the menu commands. The script
// thread (operations/script/ScriptThread) only hands lines over.

#include "operations/ui/TonrigView.h"

#include "buffer/FileFormat.h"
#include "catalogue/DeviceSelection.h"
#include "link/LinkLease.h"
#include "operations/ByteSwap.h"
#include "operations/LastSession.h"
#include "operations/OperationControl.h"
#include "operations/ScriptFlags.h"
#include "operations/script/ScriptLine.h"
#include "operations/script/ScriptThread.h"
#include "operations/ui/BufferCommands.h"
#include "operations/ui/ScriptEditor.h"
#include "operations/ui/View2Header.h"
#include "operations/ui/ViewSetup.h"
#include "platform/GuiThread.h"
#include "platform/MessageBox.h"
#include "platform/TextFormat.h"
#include "platform/ui/QtServices.h"
#include "shell/ui/MainFrame.h"

#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QPointer>
#include <QTabBar>
#include <QTextCursor>

#include <algorithm>

namespace {

constexpr UINT kRetryMs = 10;
constexpr UINT kCommandLineRetryMs = 100;

// Enter in the command line hands its text over; Shift+Enter and the rest edit as usual.
class EnterFilter final : public QObject {
public:
    EnterFilter(QObject* parent, std::function<void()> onEnter)
        : QObject(parent)
        , m_onEnter(std::move(onEnter))
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
                && !(key->modifiers() & Qt::ShiftModifier)) {
                m_onEnter();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_onEnter;
};

} // namespace

bool CTonrigView::ScriptRunning()
{
    return g_bScriptRunning;
}

void CTonrigView::AttachCommandLine()
{
    m_CommandLine->installEventFilter(new EnterFilter(m_CommandLine, [this] { OnCommandLineEnter(); }));
}

void CTonrigView::OnCommandLineEnter()
{
    SetTimer(kTimerCommandLine, 1, true);
}

bool CTonrigView::ScriptBusy() const
{
    const OperationRunFlags& flags = m_pControl->Flags();
    return m_bExecutingScriptLine || RunInFlight() || g_LinkLease.IsHeld() || m_pSetup->Setup().Busy() || flags.autoRun
        || flags.bufferRun || flags.writeRepeated || g_nOperationState > kStateIdle;
}

bool CTonrigView::PostRunScriptText(std::string text)
{
    if (!g_pMainView)
        return false;
    QPointer<CTonrigView> view(g_pMainView);
    return platform::post([view, text = std::move(text)] {
        if (view)
            view->OnRunScriptText(text);
    });
}

void CTonrigView::OnRunScriptText(const std::string& text)
{
    ExecuteScriptLine(text, ScriptSource::Typed);
}

void CTonrigView::OnScriptTimer(UINT id)
{
    switch (id) {
    case kTimerScriptLine:
        if (!g_bScriptCommandDone && g_bScriptRunning)
            ExecuteScriptLine(g_strScriptLine.Text(), ScriptSource::Script);
        break;
    case kTimerScriptGoto:
    case kTimerScriptStart:
        // The thread before ends on its own; the GUI thread never waits for it.
        if (WorkerRunning(WorkerSlot::Script)) {
            SetTimer(id, kRetryMs, true);
            break;
        }
        StartScriptThread(m_strScriptFile, id == kTimerScriptGoto ? m_strScriptLabel : std::string());
        break;
    case kTimerCommandLine: {
        if (ScriptBusy() || !m_keptLines.empty()) {
            SetTimer(id, kCommandLineRetryMs, true);
            break;
        }
        QString text = m_CommandLine->toPlainText();
        while (text.endsWith('\n') || text.endsWith('\r'))
            text.chop(1);
        m_CommandLine->clear();
        const std::string line = text.toStdString();
        if (line.size() > kScriptLineLimit) {
            Log("Line longer than 1024 characters.\r\n", kLogError);
            break;
        }
        PostRunScriptText(line);
        break;
    }
    case kTimerScriptWait:
        FinishOpenLine(m_waitLine, true);
        break;
    case kTimerScriptRetry:
        while (!m_keptLines.empty() && !ScriptBusy()) {
            KeptLine line = std::move(m_keptLines.front());
            m_keptLines.pop_front();
            // A script line kept while its script was stopped has nobody waiting for it.
            if (line.source == ScriptSource::Script && !g_bScriptRunning)
                continue;
            RunScriptLineNow(line.text, line.source, std::move(line.done));
            break;
        }
        if (!m_keptLines.empty())
            SetTimer(kTimerScriptRetry, kRetryMs, true);
        break;
    default:
        break;
    }
}

void CTonrigView::StartScriptThread(std::string file, std::string label)
{
    m_strScriptLabel = label;
    m_strRunningScript = file;
    ScriptStart start { std::move(file), std::move(label), m_nScriptGotoLine };
    QPointer<CTonrigView> self(this);
    ScriptThreadHost host;
    host.armLine = [self] {
        platform::post([self] {
            if (self && !self->IsShutDown())
                self->SetTimer(kTimerScriptLine, 100, true);
        });
    };
    host.log = [self](const std::string& text) {
        platform::post([self, text] {
            if (self && !self->IsShutDown())
                self->Log(text, kLogError);
        });
    };
    host.box = [](const std::string& text) { MessageBox(text, platform::kAppTitle, MB_OK | MB_ICONERROR); };
    if (m_bShutDown || WorkerRunning(WorkerSlot::Script))
        return;
    // Running from here, not from when the thread gets going: a stop in between ends it.
    g_bScriptFailed = false;
    g_bScriptInterrupted = false;
    g_bScriptRunning = true;
    StartWorker(WorkerSlot::Script, [start = std::move(start), host = std::move(host)](std::stop_token stop) mutable {
        ScriptThreadProc(std::move(start), host, stop);
    });
}

void CTonrigView::ExecuteScriptLine(const std::string& text, ScriptSource source, std::function<void(bool)> done)
{
    if (m_bShutDown)
        return;
    const ScriptParse parse = ParseScriptLine(text);
    if (parse.command == ScriptCommand::Ignored) {
        FinishScriptLine(source, done, true);
        return;
    }
    // A line never waits on the GUI thread: it is kept and tried again, after those kept before.
    if (ScriptBusy() || !m_keptLines.empty()) {
        m_keptLines.push_back({ text, source, std::move(done) });
        SetTimer(kTimerScriptRetry, kRetryMs, true);
        return;
    }
    RunScriptLineNow(text, source, std::move(done));
}

void CTonrigView::RunScriptLineNow(const std::string& text, ScriptSource source, std::function<void(bool)> done)
{
    const ScriptParse parse = ParseScriptLine(text);
    m_bExecutingScriptLine = true;
    if (!parse.echo.empty())
        Log(parse.echo + "\r\n");
    RunScriptCommand(parse, source, std::move(done));
    m_bExecutingScriptLine = false;
}

void CTonrigView::FinishScriptLine(ScriptSource source, const std::function<void(bool)>& done, bool ok)
{
    if (source == ScriptSource::Script) {
        if (ok)
            g_bScriptCommandDone = true;
        else
            FailRunningScript();
    }
    if (done)
        done(ok);
}

void CTonrigView::FinishOpenLine(OpenLine& line, bool ok)
{
    if (!line.open)
        return;
    OpenLine ended = std::move(line);
    line = OpenLine {};
    FinishScriptLine(ended.source, ended.done, ok);
}

std::string CTonrigView::ScriptPath(const std::string& path, ScriptSource source) const
{
    const QString given = QString::fromStdString(path);
    if (path.empty() || QFileInfo(given).isAbsolute() || source != ScriptSource::Script || m_strRunningScript.empty())
        return path;
    // A script's relative paths start at its own folder.
    return QFileInfo(QString::fromStdString(m_strRunningScript)).absoluteDir().filePath(given).toStdString();
}

void CTonrigView::RunScriptCommand(const ScriptParse& p, ScriptSource source, std::function<void(bool)> done)
{
    const auto finish = [&](bool ok) { FinishScriptLine(source, done, ok); };
    if (!p.error.empty()) {
        Log(p.error + "\r\n", kLogError);
        finish(false);
        return;
    }
    switch (p.command) {
    case ScriptCommand::Device:
    case ScriptCommand::Read:
    case ScriptCommand::Write:
    case ScriptCommand::Verify:
    case ScriptCommand::Erase:
    case ScriptCommand::BlankCheck:
        RunDeviceCommand(p, source, std::move(done));
        return;
    case ScriptCommand::Message:
        g_bScriptMessageOpen = source == ScriptSource::Script;
        MessageBox(p.argument, platform::kAppTitle, MB_OK);
        g_bScriptMessageOpen = false;
        finish(true);
        return;
    case ScriptCommand::Wait:
        // Only a script has a next line to hold back.
        if (source != ScriptSource::Script) {
            finish(true);
            return;
        }
        FinishOpenLine(m_waitLine, true);
        m_waitLine = OpenLine { source, std::move(done), true };
        SetTimer(kTimerScriptWait, std::max<UINT>(1, p.waitMs), true);
        return;
    case ScriptCommand::OffsetFile:
    case ScriptCommand::OffsetDevice: {
        if (!g_pView2Header) {
            Log("There is no device header pane for the offset.\r\n", kLogError);
            finish(false);
            return;
        }
        const bool file = p.command == ScriptCommand::OffsetFile;
        finish(file ? g_pView2Header->SetFileOffsetText(p.argument) : g_pView2Header->SetDeviceOffsetText(p.argument));
        return;
    }
    case ScriptCommand::ByteSwap: {
        std::vector<BYTE>& data = m_Buffers.Buffer(GetBufferIndex());
        SwapBytePairs(data.data(), data.size());
        if (data.size() >= 2)
            m_pBufferCommands->MarkModelBufferEdited();
        ShowBufferTab(1);
        finish(true);
        return;
    }
    case ScriptCommand::Stop:
        // A script's own STOP is its end, as asked; typed, it stops the running script as Esc does.
        if (source == ScriptSource::Script)
            StopRunningScript();
        OnStopScript();
        finish(true);
        return;
    case ScriptCommand::Fill: {
        std::vector<BYTE>& data = m_Buffers.Buffer(GetBufferIndex());
        if (!data.empty()) {
            const std::uint32_t last = static_cast<std::uint32_t>(data.size() - 1);
            const std::uint32_t from = std::min(p.fillFrom, last);
            std::uint32_t to = std::min(p.fillTo.value_or(last), last);
            if (to < from)
                to = from;
            std::fill(data.begin() + from, data.begin() + to + 1, p.fillByte);
            m_pBufferCommands->MarkModelBufferEdited();
        }
        ShowBufferTab(1);
        finish(true);
        return;
    }
    case ScriptCommand::Speed:
        if (g_pView2Header)
            g_pView2Header->SetSpeedLevel(p.speedLevel);
        finish(true);
        return;
    case ScriptCommand::Load: {
        const std::string path = ScriptPath(p.argument, source);
        // A line typed in the command line asks about edited buffers as File Open does; a script
        // runs unattended and goes on, and the log says so.
        const bool typed = source == ScriptSource::Typed;
        if (typed && !m_pBufferCommands->ConfirmLoad(path)) {
            finish(false);
            return;
        }
        m_strFileName = path;
        // No one is there to answer a question about a damaged file: it is not loaded.
        const std::string pattern = buffer::GetFormatPattern(path);
        if (!(typed ? m_pBufferCommands->LoadFile(path, pattern, false)
                    : m_pBufferCommands->LoadFileUnattended(path, pattern))) {
            // A file that cannot be read (a folder too): its box named it, and the log says so.
            const QFileInfo file(QString::fromStdString(path));
            if (!file.isFile() || !file.isReadable())
                Log(FileOpenErrorText(path) + "\r\n", kLogError);
            finish(false);
            return;
        }
        // A JAM or STAPL source is loaded once its compile has ended.
        m_pBufferCommands->WhenCompiled([this, source, done](bool ok) { FinishScriptLine(source, done, ok); });
        return;
    }
    case ScriptCommand::Save: {
        const std::string path = ScriptPath(p.argument, source);
        m_strFileName = path;
        finish(m_pBufferCommands->SaveTo(path, {}));
        return;
    }
    case ScriptCommand::CheckBox:
    case ScriptCommand::UncheckBox:
        if (!p.note.empty()) {
            Log(p.note + "\r\n");
        } else if (g_pView2Header && p.option) {
            g_pView2Header->SetOption(*p.option, p.command == ScriptCommand::CheckBox);
        } else {
            Log("There is no device header pane for the option.\r\n", kLogError);
            finish(false);
            return;
        }
        finish(true);
        return;
    case ScriptCommand::Color:
        switch (p.colorTarget) {
        case ColorTarget::LogBack:
            m_MessageLog->SetBackColor(p.color);
            break;
        case ColorTarget::LogText: {
            m_MessageLog->SetTextColor(p.color);
            // The text there takes the colour too.
            QTextCursor cursor(m_MessageLog->document());
            cursor.select(QTextCursor::Document);
            QTextCharFormat format;
            format.setForeground(platform::ToQColor(p.color));
            cursor.mergeCharFormat(format);
            m_MessageLog->moveCursor(QTextCursor::End);
            m_MessageLog->ensureCursorVisible();
            break;
        }
        case ColorTarget::CommandBack:
            m_CommandLine->SetBackColor(p.color);
            break;
        case ColorTarget::CommandText:
            m_CommandLine->SetTextColor(p.color);
            break;
        }
        finish(true);
        return;
    case ScriptCommand::Script:
    case ScriptCommand::Goto: {
        // The running script ends here; the next starts once its thread has ended.
        g_bScriptRunning = false;
        finish(true);
        if (p.argument.empty())
            return;
        if (p.command == ScriptCommand::Script) {
            m_strScriptFile = ScriptPath(p.argument, source);
            m_strScriptLabel.clear();
            SetTimer(kTimerScriptStart, 200, true);
        } else {
            if (m_strScriptFile.empty())
                m_strScriptFile = m_strRunningScript;
            m_strScriptLabel = p.argument;
            m_nScriptGotoLine = source == ScriptSource::Script ? g_strScriptLine.Line() : 0;
            SetTimer(kTimerScriptGoto, 200, true);
        }
        return;
    }
    case ScriptCommand::ExitApp: {
        // A script's exit asks nothing: no one is there to answer. That holds for its own close
        // only: when that close does not happen (a close is asking already), the next one asks.
        const bool unattended = source != ScriptSource::Typed;
        finish(true);
        QPointer<QWidget> frame = g_pMainFrame ? static_cast<QWidget*>(g_pMainFrame) : window();
        QPointer<CTonrigView> self(this);
        platform::post([frame, self, unattended] {
            if (!frame)
                return;
            if (self)
                self->m_bCloseUnattended = unattended;
            frame->close();
            if (self && !self->m_bShutDown)
                self->m_bCloseUnattended = false;
        });
        return;
    }
    case ScriptCommand::Log:
        if (!p.argument.empty())
            Log(p.argument + "\r\n");
        finish(true);
        return;
    case ScriptCommand::Cls:
        m_MessageLog->clear();
        finish(true);
        return;
    case ScriptCommand::Label:
        finish(true);
        return;
    case ScriptCommand::Help:
        for (const std::string& line : ScriptHelpLines())
            Log(line + "\r\n");
        finish(true);
        return;
    case ScriptCommand::Unknown:
    default:
        Log("Unknown command.\r\n", kLogError);
        finish(false);
        return;
    }
}

void CTonrigView::RunDeviceCommand(const ScriptParse& p, ScriptSource source, std::function<void(bool)> done)
{
    if (p.command == ScriptCommand::Device) {
        // Never under a running operation or setup: the line runs only when the view is not busy.
        const CurrentDeviceSnapshot before;
        const int classIndex = SelectDeviceByName(p.argument);
        if (classIndex < 0) {
            Log("Device not found!\r\n", kLogError);
            FinishScriptLine(source, done, false);
            return;
        }
        // A typed line asks about edited buffers a change of class blanks, as the selection
        // dialog does; a script goes on, and the log says so.
        const bool typed = source == ScriptSource::Typed;
        if (typed && !m_pBufferCommands->ConfirmDeviceChange(classIndex, before)) {
            FinishScriptLine(source, done, false);
            return;
        }
        const std::vector<int> edited = typed ? std::vector<int>() : m_pBufferCommands->EditedBuffers();
        FinishOpenLine(m_deviceLine, false);
        m_deviceLine = OpenLine { source, std::move(done), true };
        StartDeviceSetup(classIndex, 1, 1, 1);
        // After a pending request too. At start-up the file follows a setup that failed as well:
        // it lands in buffers sized for the device.
        m_pSetup->Setup().WhenDone([this, source, edited] {
            m_pBufferCommands->LogReplacedEdits(edited);
            const bool ready = m_pSetup->Setup().NotReadyReason().empty();
            FinishOpenLine(m_deviceLine, ready || source == ScriptSource::LastSession);
        });
        return;
    }
    // The run the handler starts is this line's; its end (OnRunEnded) ends the line.
    FinishOpenLine(m_scriptRun, false);
    m_scriptRun = OpenLine { source, std::move(done), true };
    switch (p.command) {
    case ScriptCommand::Read:
        OnRead();
        break;
    case ScriptCommand::Write:
        OnWrite();
        break;
    case ScriptCommand::Verify:
        OnVerify();
        break;
    case ScriptCommand::Erase:
        OnErase();
        break;
    default:
        OnBlankCheck();
        break;
    }
    // A handler that started nothing (and said so through no plan) fails the line here.
    const OperationRunFlags& flags = m_pControl->Flags();
    const bool started = RunInFlight() || flags.autoRun || flags.bufferRun || g_nOperationState > kStateIdle;
    if (m_scriptRun.open && !started)
        FinishOpenLine(m_scriptRun, false);
}

void CTonrigView::OnRunEnded(bool done)
{
    FinishOpenLine(m_scriptRun, done);
}

// ---- Run and Stop Script, the editor's commands ----

void CTonrigView::OnRunScript()
{
    if (g_bScriptRunning || WorkerRunning(WorkerSlot::Script)) {
        Log("A script is already running.\r\n", kLogNote);
        return;
    }
    if (!m_pScriptEditor->IsOpen() && !m_pScriptEditor->Open())
        return;
    const bool edited = m_pScriptEditor->IsEdited();
    if (!m_pScriptEditor->Save())
        return;
    if (edited)
        Log("Script saved: " + m_pScriptEditor->FileName() + "\r\n");
    m_strScriptFile = m_pScriptEditor->FileName();
    m_strLastOpenedScriptFileName = m_strScriptFile;
    if (!m_strScriptFile.empty()) {
        m_nScriptGotoLine = 0;
        // What the script does shows in the log.
        m_Tab->setCurrentIndex(CBufferCommands::kLogTab);
        StartScriptThread(m_strScriptFile, {});
    }
}

void CTonrigView::OnStopScript()
{
    InterruptRunningScript();
    for (UINT id : { kTimerScriptLine, kTimerScriptGoto, kTimerScriptStart })
        KillTimer(id);
    // A WAIT ends at once; its line's end has nobody waiting for it now.
    KillTimer(kTimerScriptWait);
    m_waitLine = OpenLine {};
    // An operation or a setup the script started runs to its end; nothing waits on it now.
    if (m_scriptRun.source == ScriptSource::Script)
        m_scriptRun = OpenLine {};
    if (m_deviceLine.source == ScriptSource::Script)
        m_deviceLine = OpenLine {};
    m_keptLines.erase(std::remove_if(m_keptLines.begin(), m_keptLines.end(),
                          [](const KeptLine& line) { return line.source == ScriptSource::Script; }),
        m_keptLines.end());
}

void CTonrigView::OnNewScript()
{
    m_pScriptEditor->New();
}

void CTonrigView::OnOpenScript()
{
    if (m_pScriptEditor->Open())
        m_strLastOpenedScriptFileName = m_pScriptEditor->FileName();
}

void CTonrigView::OnSaveScript()
{
    if (m_pScriptEditor->Save())
        m_strLastOpenedScriptFileName = m_pScriptEditor->FileName();
}

void CTonrigView::OnSaveScriptAs()
{
    if (m_pScriptEditor->SaveAs())
        m_strLastOpenedScriptFileName = m_pScriptEditor->FileName();
}

void CTonrigView::OnCloseScript()
{
    m_pScriptEditor->Close();
}
