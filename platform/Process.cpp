#include "platform/Process.h"

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

ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args, int timeoutMs,
                         const std::string& workingDir)
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
        return {false, "not available on this system"};
    return opener(urlOrPath);
}

} // namespace platform
