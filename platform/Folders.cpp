#include "platform/Folders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <unistd.h>

namespace platform {

std::string ProgramFolder()
{
    QString dir = qEnvironmentVariable("TONRIG_PROGRAM_DIR");
    if (dir.isEmpty()) {
        if (QCoreApplication::instance())
            dir = QCoreApplication::applicationDirPath();
        else
            dir = QFileInfo(QFile::symLinkTarget("/proc/self/exe")).absolutePath();
    }
    while (dir.size() > 1 && dir.endsWith('/'))
        dir.chop(1);
    return dir.toStdString();
}

} // namespace platform

bool FileExists(const std::string& path)
{
    const QString p = QString::fromStdString(path);
    if (p.isEmpty())
        return false;
    const QFileInfo info(p);
    const QString name = info.fileName();
    if (name.contains('*') || name.contains('?')) {
        const QDir dir = info.dir();
        return !dir.entryList({name}, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System).isEmpty();
    }
    return info.exists();
}

std::string GetAppDataFolder()
{
    QString base = qEnvironmentVariable("APPDATA");
    if (base.isEmpty()) {
        base = qEnvironmentVariable("XDG_DATA_HOME");
        if (base.isEmpty()) {
            const QString home = QDir::homePath();
            // A missing home must never put the folder at the root of the file system.
            base = (home.isEmpty() || home == "/") ? QDir::tempPath() + "/tonrig-" + QString::number(getuid())
                                                   : home + "/.local/share";
        }
    }
    while (base.size() > 1 && base.endsWith('/'))
        base.chop(1);
    const QString folder = base + "/Ostrand/Zelvo USB Programmer";
    if (!QFileInfo::exists(folder))
        QDir().mkpath(folder);
    return folder.toStdString();
}

std::string ResolveFileCaseInsensitive(const std::string& dir, const std::string& name)
{
    if (name.empty() || name.find('/') != std::string::npos)
        return {};
    const QDir folder(QString::fromStdString(dir));
    const QString wanted = QString::fromStdString(name);
    if (QFileInfo(folder.filePath(wanted)).isFile())
        return folder.filePath(wanted).toStdString();
    const QStringList entries = folder.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString& entry : entries) {
        if (entry.compare(wanted, Qt::CaseInsensitive) == 0)
            return folder.filePath(entry).toStdString();
    }
    return {};
}
