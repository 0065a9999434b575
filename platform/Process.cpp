#include "platform/Process.h"

#include "platform/Clock.h"
#include "platform/GuiThread.h"

#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

#include <mutex>

namespace platform {

namespace {

QStringList ToQt(const std::vector<std::string>& args)
{
    QStringList list;
    for (const auto& a : args)
        list << QString::fromStdString(a);
    return list;
}

std::mutex g_openerMutex;
DesktopOpener g_opener;

} // namespace

std::string FindProgram(const std::string& name)
{
    return QStandardPaths::findExecutable(QString::fromStdString(name)).toStdString();
}

bool StartDetached(const std::string& program, const std::vector<std::string>& args, const std::string& workingDir)
{
    QProcess process;
    process.setProgram(QString::fromStdString(program));
    process.setArguments(ToQt(args));
    if (!workingDir.empty())
        process.setWorkingDirectory(QString::fromStdString(workingDir));
    return process.startDetached();
}

ProcessResult RunProcess(
    const std::string& program, const std::vector<std::string>& args, int timeoutMs, const std::string& workingDir)
{
    ProcessResult result;
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (!workingDir.empty())
        process.setWorkingDirectory(QString::fromStdString(workingDir));
    process.start(QString::fromStdString(program), ToQt(args));
    if (!process.waitForStarted(timeoutMs))
        return result;
    result.started = true;
    result.finished = process.waitForFinished(timeoutMs);
    if (!result.finished) {
        process.kill();
        process.waitForFinished(1000);
    }
    result.output = process.readAll().toStdString();
    if (result.finished && process.exitStatus() == QProcess::NormalExit)
        result.exitCode = process.exitCode();
    return result;
}

namespace {

class QtAsyncProcess final : public AsyncProcess, public std::enable_shared_from_this<QtAsyncProcess> {
public:
    explicit QtAsyncProcess(Done done)
        : m_done(std::move(done))
    {
        m_process.setProcessChannelMode(QProcess::MergedChannels);
    }
    ~QtAsyncProcess() override { Kill(); }

    void Begin(const std::string& program, const std::vector<std::string>& args, const std::string& workingDir,
        std::chrono::milliseconds timeout)
    {
        std::weak_ptr<QtAsyncProcess> weak = shared_from_this();
        // The result is handed on from the event loop, never from inside the signal: `done` may
        // drop the last handle, and the QProcess goes with it.
        QObject::connect(&m_process, &QProcess::finished, [weak](int, QProcess::ExitStatus) {
            post([weak] {
                if (auto self = weak.lock())
                    self->Ended(true);
            });
        });
        QObject::connect(&m_process, &QProcess::errorOccurred, [weak](QProcess::ProcessError error) {
            if (error != QProcess::FailedToStart)
                return;
            post([weak] {
                if (auto self = weak.lock())
                    self->Ended(false);
            });
        });
        if (!workingDir.empty())
            m_process.setWorkingDirectory(QString::fromStdString(workingDir));
        m_process.start(QString::fromStdString(program), ToQt(args));
        if (timeout.count() > 0) {
            Clock& clock = GetClock();
            clock.Schedule(clock.Now() + timeout, [weak] {
                post([weak] {
                    if (auto self = weak.lock())
                        self->TimedOut();
                });
            });
        }
    }

    void Kill() override
    {
        m_done = nullptr;
        if (m_process.state() != QProcess::NotRunning) {
            m_process.disconnect();
            m_process.kill();
            m_process.waitForFinished(1000);
        }
    }
    bool Running() const override { return static_cast<bool>(m_done); }

private:
    void TimedOut()
    {
        if (!m_done || m_process.state() == QProcess::NotRunning)
            return;
        m_timedOut = true;
        m_process.kill(); // finished follows
    }
    void Ended(bool started)
    {
        if (!m_done)
            return;
        const auto keep = shared_from_this();
        ProcessResult result;
        result.started = started;
        if (started) {
            result.finished = !m_timedOut;
            result.output = m_process.readAll().toStdString();
            if (result.finished && m_process.exitStatus() == QProcess::NormalExit)
                result.exitCode = m_process.exitCode();
        }
        Done done = std::move(m_done);
        m_done = nullptr;
        done(result); // may drop the last handle to this object
    }

    QProcess m_process;
    Done m_done;
    bool m_timedOut = false;
};

} // namespace

std::shared_ptr<AsyncProcess> AsyncProcess::Start(const std::string& program, const std::vector<std::string>& args,
    const std::string& workingDir, std::chrono::milliseconds timeout, Done done)
{
    auto process = std::make_shared<QtAsyncProcess>(std::move(done));
    process->Begin(program, args, workingDir, timeout);
    return process;
}

void SetDesktopOpener(DesktopOpener opener)
{
    std::lock_guard lock(g_openerMutex);
    g_opener = std::move(opener);
}

OpenResult OpenWithDesktop(const std::string& urlOrPath)
{
    DesktopOpener opener;
    {
        std::lock_guard lock(g_openerMutex);
        opener = g_opener;
    }
    if (!opener)
        return { false, "not available on this system" };
    return opener(urlOrPath);
}

} // namespace platform
