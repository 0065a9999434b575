#include "buffer/BufferSaver.h"

#include "buffer/BufferTexts.h"
#include "buffer/ImageTransforms.h"
#include "buffer/IntelHex.h"
#include "buffer/SRecord.h"
#include "platform/FileSync.h"
#include "platform/MessageBox.h"

#include <QSaveFile>
#include <QString>

#include <algorithm>
#include <cstring>

namespace buffer {

namespace {
constexpr std::size_t kSegmentFormLimit = 0x100000;
} // namespace

std::optional<FileFormat> SaveFormatOfExtension(const std::string& path)
{
    return FormatForFileName(path);
}

FileFormat SaveFormatFor(const std::string& path, const std::string& pattern)
{
    if (!pattern.empty())
        return FormatFromPattern(pattern);
    return FormatForFileName(path).value_or(FileFormat::Binary);
}

const char* SaveFormatName(FileFormat format)
{
    switch (format) {
    case FileFormat::IntelHex:
        return "Intel HEX";
    case FileFormat::SRecord:
        return "Motorola S-record";
    case FileFormat::Binary:
        break;
    }
    return "Binary";
}

std::string FormatBuffer(
    const CBufferModel& model, int bufferIndex, FileFormat format, const CBufferDeviceParams& device)
{
    const std::vector<std::uint8_t>& data = model.Buffer(bufferIndex);
    std::string out;
    switch (format) {
    case FileFormat::Binary:
        out.assign(data.begin(), data.end());
        break;
    case FileFormat::SRecord:
        WriteSRecords(out, data.data(), data.size());
        break;
    case FileFormat::IntelHex:
        if (device.pic && bufferIndex == kMainBuffer) {
            std::uint64_t upper = kNoUpper;
            for (const ImageSection& section : CombinedImageSections(model, device))
                if (!section.bytes.empty())
                    WriteIntelHexSection(out, section.bytes.data(), section.bytes.size(), section.address, 16, upper);
            WriteIntelHexEnd(out);
        } else if (data.size() < kSegmentFormLimit) {
            WriteIntelHex(out, data.data(), data.size());
        } else {
            WriteIntelHexLinear(out, data.data(), data.size(), 0, 16);
        }
        break;
    }
    return out;
}

namespace {

// Writes the buffer's text in slices, so that no text of the whole image is held at once, and
// starts each slice on its way to disk while the next is formatted: the commit's sync then waits
// for little. False on a failed write.
bool WriteText(QSaveFile& file, const std::vector<std::uint8_t>& data, FileFormat format)
{
    constexpr std::size_t kSlice = 1 << 20; // image bytes per slice: a multiple of 64 KB
    constexpr qint64 kWriteback = 4 << 20;
    const bool hex = format == FileFormat::IntelHex;
    const bool shortForm = data.size() <= 0xFFFF;
    std::string text;
    text.resize(std::max(IntelHexLinearBound(kSlice), SRecordsBound(kSlice)) + 64);
    std::uint64_t upper = kNoUpper;
    qint64 written = 0, started = 0;
    for (std::size_t p = 0; p < data.size() || p == 0; p += kSlice) {
        const std::size_t n = std::min(kSlice, data.size() - p);
        char* end = hex ? PutIntelHexLinear(text.data(), data.data() + p, n, static_cast<std::uint32_t>(p), upper)
                        : PutSRecords(text.data(), data.data() + p, n, static_cast<std::uint32_t>(p), shortForm);
        if (p + n >= data.size()) {
            const char* tail = hex ? ":00000001FF\r\n" : "S9030000FC\r\n";
            const std::size_t length = std::char_traits<char>::length(tail);
            std::memcpy(end, tail, length);
            end += length;
        }
        const qint64 size = static_cast<qint64>(end - text.data());
        if (file.write(text.data(), size) != size)
            return false;
        written += size;
        if (written - started >= kWriteback && file.flush()) {
            platform::StartWriteback(file.handle(), started, written - started);
            started = written;
        }
        if (p + n >= data.size())
            break;
    }
    return true;
}

bool WriteBytes(
    QSaveFile& file, const CBufferModel& model, int bufferIndex, FileFormat format, const CBufferDeviceParams& device)
{
    const std::vector<std::uint8_t>& data = model.Buffer(bufferIndex);
    if (format == FileFormat::Binary)
        return file.write(reinterpret_cast<const char*>(data.data()), static_cast<qint64>(data.size()))
            == static_cast<qint64>(data.size());
    const bool combined = format == FileFormat::IntelHex && device.pic && bufferIndex == kMainBuffer;
    const bool segmentForm = format == FileFormat::IntelHex && data.size() < kSegmentFormLimit;
    if (!combined && !segmentForm)
        return WriteText(file, data, format);
    const std::string text = FormatBuffer(model, bufferIndex, format, device);
    return file.write(text.data(), static_cast<qint64>(text.size())) == static_cast<qint64>(text.size());
}

} // namespace

SaveResult SaveBuffer(CBufferModel& model, int bufferIndex, const std::string& path, const CBufferDeviceParams& device,
    const SaveOptions& options)
{
    SaveResult result;
    result.format = SaveFormatFor(path, options.pattern);
    if (model.IsIncomplete(bufferIndex) && !options.confirmedIncomplete) {
        result.needsConfirmation = true;
        return result;
    }
    platform::RemoveSaveLeftovers(path);
    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly)) {
        result.boxes.push_back({ kTextOpenError, MB_OK | MB_ICONERROR });
        result.log.push_back("Could not save " + path + ": " + file.errorString().toStdString());
        return result;
    }
    if (!WriteBytes(file, model, bufferIndex, result.format, device) || !file.commit()) {
        file.cancelWriting();
        result.boxes.push_back({ kTextWriteError, MB_OK | MB_ICONERROR });
        result.log.push_back("Could not save " + path + ": " + file.errorString().toStdString());
        return result;
    }
    result.saved = true;
    model.SetModified(bufferIndex, false);
    // A PIC's combined image holds its configuration word and data EEPROM as well.
    if (result.format == FileFormat::IntelHex && device.pic && bufferIndex == kMainBuffer) {
        if (device.configBytes > 0)
            model.SetModified(kConfigWord, false);
        if (device.dataSize > 0)
            model.SetModified(kDataBuffer, false);
    }
    result.log.push_back("Saved " + std::to_string(model.Buffer(bufferIndex).size()) + " bytes to " + path + " ("
        + SaveFormatName(result.format) + ").");
    return result;
}

} // namespace buffer
