#include "catalogue/DeviceLibrary.h"

#include "catalogue/DeviceListParser.h"
#include "link/ProgrammerModel.h"
#include "platform/MessageBox.h"
#include "platform/TextFormat.h"
#include "platform/Trace.h"

#include <QFile>
#include <QFileInfo>

#include <mutex>
#include <utility>

std::vector<std::unique_ptr<CDeviceRecord>> g_DeviceRecords;
CDeviceLibrary g_DeviceLibrary;

namespace {

std::mutex g_sinkMutex;
DeviceListLogSink g_sink;

constexpr COLORREF kErrorColour = 0;
constexpr COLORREF kWarningColour = RGB(192, 96, 0);

// A device line that gives no record whatever its keys say: a last value without its closing
// quote, a last line that stops inside a key (the missing values would silently fall back to
// the class's), or a NUL byte.
bool IsBrokenLine(std::string_view line, bool lastOfCutText)
{
    return devicelist::HasUnterminatedValue(line) || (lastOfCutText && devicelist::HasTextAfterLastValue(line))
        || devicelist::HoldsNul(line);
}

bool GivesADevice(
    const std::vector<std::string>& lines, bool cutAtTheEnd, int model, const devicelist::ClassNameIndex& classes)
{
    for (std::size_t index = 0; index < lines.size(); ++index) {
        const std::string_view line = devicelist::TrimLeft(lines[index]);
        if (line.size() <= devicelist::kMaxLineBytes && devicelist::IsDeviceLine(line)
            && !IsBrokenLine(line, cutAtTheEnd && index + 1 == lines.size())
            && devicelist::ParseDeviceLine(line, model, classes).record)
            return true;
    }
    return false;
}

// The line as the log shows it: a NUL byte would end the text there.
std::string Shown(std::string_view line)
{
    std::string shown;
    for (char c : line) {
        if (c == '\0')
            shown += "<NUL>";
        else
            shown += c;
    }
    return shown;
}

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

LineErrorBoxes::LineErrorBoxes(std::string fileName, std::string caption)
    : m_fileName(std::move(fileName))
    , m_caption(std::move(caption))
{
}

void LineErrorBoxes::Show(const std::string& text)
{
    if (m_shown < 3) {
        ++m_shown;
        MessageBox(text, m_caption, MB_OK);
    } else {
        m_heldBack = true;
    }
}

void LineErrorBoxes::Finish()
{
    if (m_heldBack)
        MessageBox(platform::Format("More lines of %s have errors; see the message log.", m_fileName.c_str()),
            m_caption, MB_OK);
    m_heldBack = false;
}

bool CDeviceLibrary::LoadDeviceList(const std::string& path, DeviceListLoad* load)
{
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) {
        MessageBox(platform::Format("file open error: devices.txt .. %s", path.c_str()), platform::kAppTitle, MB_OK);
        return false;
    }
    const QByteArray bytes = file.readAll();
    file.close();
    const DeviceListLoad result = LoadDeviceListText(bytes, QFileInfo(file).fileName().toStdString());
    if (load)
        *load = result;
    return true;
}

DeviceListLoad CDeviceLibrary::LoadDeviceListText(const QByteArray& bytes, const std::string& fileName)
{
    Sync();
    const int model = g_nProgrammerModel.load();
    const devicelist::ClassNameIndex classes;
    DeviceListLoad load;
    const std::string text
        = platform::DecodeTextFile(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    const std::vector<std::string> lines = devicelist::SplitLines(text);
    const bool cutAtTheEnd = !devicelist::EndsWithLineEnd(text);
    // What is still NUL bytes once decoded is no list: its lines are not worth a log line each.
    if (platform::IsMostlyNul(text) && !GivesADevice(lines, cutAtTheEnd, model, classes)) {
        load.notText = true;
        return load;
    }
    LineErrorBoxes boxes(fileName, "Parse Error");
    int otherLines = 0;
    int firstOther = 0;
    for (std::size_t index = 0; index < lines.size(); ++index) {
        const std::string_view line = devicelist::TrimLeft(lines[index]);
        if (line.size() > devicelist::kMaxLineBytes) {
            DeviceListLog(platform::Format(
                              "#ERROR# A line of %zu bytes in %s is too long; skipped", line.size(), fileName.c_str()),
                kErrorColour);
            continue;
        }
        if (!devicelist::IsDeviceLine(line)) {
            if (!line.empty() && line[0] != ';' && line[0] != '/' && otherLines++ == 0)
                firstOther = static_cast<int>(index) + 1;
            continue;
        }
        ++load.deviceLines;
        devicelist::LineOutcome outcome;
        if (!IsBrokenLine(line, cutAtTheEnd && index + 1 == lines.size()))
            outcome = devicelist::ParseDeviceLine(line, model, classes);
        if (!outcome.record) {
            if (!outcome.box.empty())
                boxes.Show(outcome.box);
            DeviceListLog(platform::Format("#ERROR# Line syntax error: \"%s\"", Shown(line).c_str()), kErrorColour);
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
    if (otherLines == 1)
        DeviceListLog(platform::Format("1 line of %s is not a device line, at line %d.", fileName.c_str(), firstOther),
            kWarningColour);
    else if (otherLines > 1)
        DeviceListLog(platform::Format("%d lines of %s are not device lines, the first at line %d.", otherLines,
                          fileName.c_str(), firstOther),
            kWarningColour);
    boxes.Finish();
    return load;
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
