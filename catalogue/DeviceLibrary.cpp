#include "catalogue/DeviceLibrary.h"

#include "catalogue/DeviceListParser.h"
#include "link/ProgrammerModel.h"
#include "platform/MessageBox.h"
#include "platform/TextFormat.h"
#include "platform/Trace.h"

#include <QFile>
#include <QFileInfo>

#include <mutex>

std::vector<std::unique_ptr<CDeviceRecord>> g_DeviceRecords;
CDeviceLibrary g_DeviceLibrary;

namespace {

std::mutex g_sinkMutex;
DeviceListLogSink g_sink;

constexpr COLORREF kErrorColour = 0;
constexpr COLORREF kWarningColour = RGB(192, 96, 0);

} // namespace

void SetDeviceListLogSink(DeviceListLogSink sink)
{
    std::lock_guard lock(g_sinkMutex);
    g_sink = std::move(sink);
}

void DeviceListLog(const std::string& text, COLORREF colour)
{
    DeviceListLogSink sink;
    {
        std::lock_guard lock(g_sinkMutex);
        sink = g_sink;
    }
    if (sink)
        sink(text, colour);
    else
        TraceText(text + "\n");
}

bool CDeviceLibrary::LoadDeviceList(const std::string& path)
{
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) {
        MessageBox(platform::Format("file open error: devices.txt .. %s", path.c_str()), platform::kAppTitle, MB_OK);
        return false;
    }
    const QByteArray bytes = file.readAll();
    file.close();
    const std::string fileName = QFileInfo(file).fileName().toStdString();

    Sync();
    const int model = g_nProgrammerModel.load();
    const devicelist::ClassNameIndex classes;
    int boxes = 0;
    bool moreErrors = false;
    for (const std::string& raw : devicelist::ReadLines(bytes)) {
        const std::string_view line = devicelist::TrimLeft(raw);
        if (line.size() > devicelist::kMaxLineBytes) {
            DeviceListLog(platform::Format(
                              "#ERROR# A line of %zu bytes in %s is too long; skipped", line.size(), fileName.c_str()),
                kErrorColour);
            continue;
        }
        if (!devicelist::IsDeviceLine(line))
            continue;
        devicelist::LineOutcome outcome = devicelist::ParseDeviceLine(line, model, classes);
        if (!outcome.record) {
            if (!outcome.box.empty()) {
                if (boxes < 3) {
                    ++boxes;
                    MessageBox(outcome.box, "Parse Error", MB_OK);
                } else {
                    moreErrors = true;
                }
            }
            DeviceListLog(
                platform::Format("#ERROR# Line syntax error: \"%s\"", std::string(line).c_str()), kErrorColour);
            continue;
        }
        const std::string& name = outcome.record->m_strName;
        if (m_byName.count(name)) {
            DeviceListLog(
                platform::Format("#WARNING# Duplicate device name \"%s\" ignored", name.c_str()), kWarningColour);
            continue;
        }
        m_byName.emplace(name, outcome.record.get());
        g_DeviceRecords.push_back(std::move(outcome.record));
    }
    if (moreErrors)
        MessageBox(platform::Format("More lines of %s have errors; see the message log.", fileName.c_str()),
            "Parse Error", MB_OK);
    return true;
}

void CDeviceLibrary::Sync() const
{
    if (m_byName.size() == g_DeviceRecords.size())
        return;
    m_byName.clear();
    for (const auto& record : g_DeviceRecords)
        m_byName.try_emplace(record->m_strName, record.get());
}

CDeviceRecord* CDeviceLibrary::FindDevice(const std::string& name) const
{
    Sync();
    auto it = m_byName.find(name);
    return it == m_byName.end() ? nullptr : it->second;
}

void CDeviceLibrary::FreeAll()
{
    m_byName.clear();
    g_DeviceRecords.clear();
}

bool CDeviceLibrary::ReadLine(std::string_view text, std::size_t& position, std::string_view& line)
{
    return devicelist::ReadLine(text, position, line);
}

int CDeviceLibrary::CountQuotedValues(const std::string& line)
{
    return devicelist::CountQuotedValues(line);
}

bool CDeviceLibrary::GetKeyValue(const std::string& line, const std::string& key, std::string& value)
{
    return devicelist::GetKeyValue(line, key, value);
}

std::uint8_t CDeviceLibrary::ParseHexByte(const std::string& text)
{
    return devicelist::ParseHexByte(text);
}
