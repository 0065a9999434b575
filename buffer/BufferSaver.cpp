#include "buffer/BufferSaver.h"

#include "buffer/BufferTexts.h"
#include "buffer/ImageTransforms.h"
#include "buffer/IntelHex.h"
#include "buffer/SRecord.h"
#include "platform/MessageBox.h"

#include <QSaveFile>
#include <QString>


namespace buffer {

namespace {
constexpr std::size_t kSegmentFormLimit = 0x100000;
} // namespace

FileFormat SaveFormatFor(const std::string& path, const std::string& pattern)
{
    if (!pattern.empty())
        return FormatFromPattern(pattern);
    return FormatForFileName(path).value_or(FileFormat::Binary);
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

SaveResult SaveBuffer(const CBufferModel& model, int bufferIndex, const std::string& path,
    const CBufferDeviceParams& device, const SaveOptions& options)
{
    SaveResult result;
    result.format = SaveFormatFor(path, options.pattern);
    if (model.IsIncomplete(bufferIndex) && !options.confirmedIncomplete) {
        result.needsConfirmation = true;
        return result;
    }
    const std::string text = FormatBuffer(model, bufferIndex, result.format, device);
    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly)) {
        result.boxes.push_back({ kTextOpenError, MB_OK | MB_ICONERROR });
        result.log.push_back("Could not save " + path + ": " + file.errorString().toStdString());
        return result;
    }
    if (file.write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size())
        || !file.commit()) {
        file.cancelWriting();
        result.boxes.push_back({ kTextWriteError, MB_OK | MB_ICONERROR });
        result.log.push_back("Could not save " + path + ": " + file.errorString().toStdString());
        return result;
    }
    result.saved = true;
    result.log.push_back("Saved " + path + ".");
    return result;
}

} // namespace buffer
