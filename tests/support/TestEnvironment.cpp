#include "support/TestEnvironment.h"

#include "platform/SettingsStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <cstdlib>

namespace tonrig::test {

namespace {
std::string g_root;
}

void IsolatedEnvironment::SetUp()
{
    m_dir = std::make_unique<QTemporaryDir>();
    g_root = m_dir->path().toStdString();
    setenv("APPDATA", (g_root + "/appdata").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (g_root + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (g_root + "/data").c_str(), 1);
    setenv("TONRIG_SETTINGS", (g_root + "/config/settings.json").c_str(), 1);
    platform::SettingsStore::Instance().Open(g_root + "/config/settings.json");
}

void IsolatedEnvironment::TearDown()
{
    m_dir.reset();
}

std::string IsolatedEnvironment::Root()
{
    return g_root;
}

ScopedSettingsFile::ScopedSettingsFile()
    : m_path(m_dir.path().toStdString() + "/settings.json")
    , m_previous(platform::SettingsStore::Instance().FilePath())
{
    platform::SettingsStore::Instance().Open(m_path);
}

ScopedSettingsFile::~ScopedSettingsFile()
{
    platform::SettingsStore::Instance().Open(m_previous);
}

bool ProcessEventsUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeout.count())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QCoreApplication::sendPostedEvents();
        QThread::msleep(1);
    }
    return true;
}

std::string FileSnapshot(const std::string& path)
{
    const QString name = QString::fromStdString(path);
    if (QFileInfo(name).isDir())
        return "a folder of " + std::to_string(QDir(name).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size())
            + " entries";
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "nothing readable";
}

std::vector<std::uint8_t> ReadFileBytes(const std::string& path)
{
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    return { bytes.begin(), bytes.end() };
}

std::string SourcePath(const std::string& relative)
{
    return std::string(TONRIG_TEST_SOURCE_DIR) + "/" + relative;
}

} // namespace tonrig::test
