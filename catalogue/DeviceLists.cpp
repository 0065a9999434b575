#include "catalogue/DeviceLists.h"

#include "catalogue/DeviceLibrary.h"
#include "link/ProgrammerModel.h"
#include "platform/Folders.h"
#include "platform/TextFormat.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

ShippedDeviceListSource g_source;

// GUI thread only, like the rest of the loader.
bool g_loading = false;
int g_deferrals = 0;
bool g_pending = false;
bool g_pendingFree = false;
ShippedDeviceList g_standIn; // for the main list of the last load, when one stood in

std::vector<ShippedDeviceList> ResourceLists()
{
    std::vector<ShippedDeviceList> lists;
    for (const char* name : { "devices.txt", "devicesQ8U.txt" }) {
        QFile file(QString(":/devices/") + name);
        if (file.open(QIODevice::ReadOnly))
            lists.push_back({ name, file.readAll() });
    }
    return lists;
}

constexpr COLORREF kNoticeColour = RGB(192, 96, 0);
constexpr COLORREF kErrorColour = RGB(192, 0, 0);
// A list that is NUL bytes where its text should be: the path, and what is done instead.
constexpr const char* kNotTextLine = "#ERROR# %s is not a text file (it is full of NUL bytes); %s.";

std::vector<ShippedDeviceList> ShippedLists()
{
    return g_source ? g_source() : ResourceLists();
}

void LoadNow(bool freeFirst)
{
    const std::string folder = GetAppDataFolder();
    if (freeFirst)
        g_DeviceLibrary.FreeAll();
    const char* main = g_nProgrammerModel.load() == kModelZvD ? "devicesQ8U.txt" : "devices.txt";
    const std::string mainPath = folder + "/" + main;
    g_standIn = {};
    DeviceListLoad load;
    if (g_DeviceLibrary.LoadDeviceList(mainPath, &load) && load.deviceLines == 0) {
        // Emptied, cut to nothing or left as NUL bytes (a crash while it was written): the
        // shipped list stands in for this run, and the user's file is left as it is.
        if (load.notText)
            DeviceListLog(
                platform::Format(kNotTextLine, mainPath.c_str(), "the program's own list is used"), kErrorColour);
        else
            DeviceListLog(
                platform::Format("%s holds no devices; the program's own list is used.", main), kNoticeColour);
        for (const ShippedDeviceList& list : ShippedLists()) {
            if (list.fileName == main) {
                g_DeviceLibrary.LoadDeviceListText(list.contents, main);
                g_standIn = list;
            }
        }
    }

    const QString custom = QString::fromStdString(folder + "/customdevices.txt");
    if (!QFileInfo::exists(custom)) {
        QFile file(custom);
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            DeviceListLog(platform::Format("#ERROR# Cannot create %s", custom.toStdString().c_str()), kErrorColour);
        return;
    }
    QFile probe(custom);
    if (!probe.open(QIODevice::ReadOnly)) {
        DeviceListLog(
            platform::Format("#ERROR# Cannot read %s; the file is left as it is", custom.toStdString().c_str()),
            kErrorColour);
        return;
    }
    probe.close();
    DeviceListLoad customLoad;
    if (g_DeviceLibrary.LoadDeviceList(custom.toStdString(), &customLoad) && customLoad.notText)
        DeviceListLog(
            platform::Format(kNotTextLine, custom.toStdString().c_str(), "no device is taken from it"), kErrorColour);
}

void RunPending()
{
    while (g_pending && g_deferrals == 0 && !g_loading) {
        const bool freeFirst = g_pendingFree;
        g_pending = false;
        g_pendingFree = false;
        LoadDeviceLists(freeFirst);
    }
}

// The description files the program ships, into "<appdata>/devices/": a file that is there in
// any letter case is the user's and stays.
void InstallShippedDeviceDescriptions(const QString& folder)
{
    const QString devices = folder + "/devices";
    const QDir shipped(":/devices/descriptions");
    const QStringList names = shipped.entryList(QDir::Files, QDir::Name);
    if (names.isEmpty() || !QDir().mkpath(devices))
        return;
    for (const QString& name : names) {
        if (!ResolveFileCaseInsensitive(devices.toStdString(), name.toStdString()).empty())
            continue;
        QFile source(shipped.filePath(name));
        QFile file(devices + "/" + name);
        if (!source.open(QIODevice::ReadOnly) || !file.open(QIODevice::WriteOnly | QIODevice::NewOnly)
            || file.write(source.readAll()) != source.size())
            DeviceListLog(
                platform::Format("#ERROR# Cannot install %s", file.fileName().toStdString().c_str()), kErrorColour);
    }
}

} // namespace

void SetShippedDeviceListSource(ShippedDeviceListSource source)
{
    g_source = std::move(source);
}

void InstallShippedDeviceLists()
{
    const QString folder = QString::fromStdString(GetAppDataFolder());
    InstallShippedDeviceDescriptions(folder);
    const std::vector<ShippedDeviceList> lists = ShippedLists();
    if (lists.empty())
        return;
    for (const ShippedDeviceList& list : lists) {
        const QString path = folder + "/" + QString::fromStdString(list.fileName);
        if (QFileInfo::exists(path))
            continue;
        QFile file(path);
        // NewOnly: never overwrite, even a file that appeared since the check.
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly) || file.write(list.contents) != list.contents.size())
            DeviceListLog(platform::Format("#ERROR# Cannot install %s", path.toStdString().c_str()), kErrorColour);
    }
}

void LoadDeviceLists(bool freeFirst)
{
    InstallShippedDeviceLists();
    if (g_loading || g_deferrals > 0) {
        g_pending = true;
        g_pendingFree = g_pendingFree || freeFirst;
        return;
    }
    g_loading = true;
    LoadNow(freeFirst);
    g_loading = false;
    RunPending();
}

QByteArray StandInDeviceList(const std::string& fileName)
{
    return g_standIn.fileName == fileName ? g_standIn.contents : QByteArray();
}

DeferDeviceListReloads::DeferDeviceListReloads()
{
    ++g_deferrals;
}

DeferDeviceListReloads::~DeferDeviceListReloads()
{
    if (--g_deferrals == 0)
        RunPending();
}
