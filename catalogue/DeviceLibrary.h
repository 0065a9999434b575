#pragma once
// The loaded device records and their loader.

#include "catalogue/DeviceRecord.h"
#include "platform/Colour.h"

#include <QByteArray>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// Every accepted record, in load order (main list first, then the user's list). Change it only
// through g_DeviceLibrary, which keeps the name lookup in step.
extern std::vector<std::unique_ptr<CDeviceRecord>> g_DeviceRecords;

// Where the loader's "#ERROR#" and "#WARNING#" lines go: the view's message log once there is
// one; until then (and with an empty sink) the trace.
using DeviceListLogSink = std::function<void(const std::string& text, COLORREF colour)>;
void SetDeviceListLogSink(DeviceListLogSink sink);
void DeviceListLog(const std::string& text, COLORREF colour);

// The message boxes of one file's bad lines: the first three are shown, later ones are summed
// up in one closing box when the file is done. Every line is logged besides, by the caller.
class LineErrorBoxes {
public:
    LineErrorBoxes(std::string fileName, std::string caption);
    void Show(const std::string& text);
    // "More lines of <file> have errors; see the message log." when boxes were held back.
    void Finish();

private:
    std::string m_fileName;
    std::string m_caption;
    int m_shown = 0;
    bool m_heldBack = false;
};

// What one device list gave.
struct DeviceListLoad {
    int deviceLines = 0; // device lines, good or bad
    // The text is mostly NUL bytes even once decoded and no line of it gives a device: nothing
    // was taken or logged line by line, and the caller says so once.
    bool notText = false;
};

class CDeviceLibrary {
public:
    // Reads one device list file and appends its accepted lines to g_DeviceRecords. False when
    // the file cannot be opened (after a message box). Bad lines are logged and dropped; the
    // first three that have a message get their box, further ones one closing box.
    bool LoadDeviceList(const std::string& path, DeviceListLoad* load = nullptr);
    // The same for a list's bytes; `fileName` names it in the log and boxes. Lines that are
    // neither device lines, comments nor blank are counted in one log line.
    DeviceListLoad LoadDeviceListText(const QByteArray& bytes, const std::string& fileName);

    // The record with exactly this name (names are stored upper-cased), or nullptr.
    CDeviceRecord* FindDevice(const std::string& name) const;

    // Deletes every record.
    void FreeAll();

    // The line helpers of the file format (see DeviceListParser.h).
    static bool ReadLine(std::string_view text, std::size_t& position, std::string_view& line);
    static int CountQuotedValues(const std::string& line);
    static bool GetKeyValue(const std::string& line, const std::string& key, std::string& value);
    static std::uint8_t ParseHexByte(const std::string& text);

private:
    // Rebuilds the name lookup when g_DeviceRecords was changed behind the library's back.
    void Sync() const;

    mutable std::unordered_map<std::string, CDeviceRecord*> m_byName;
};

extern CDeviceLibrary g_DeviceLibrary;
