#include "buffer/BufferSaver.h"

#include "buffer/ImageTransforms.h"
#include "buffer/IntelHex.h"
#include "buffer/SRecord.h"
#include "platform/MessageBox.h"

#include <QSaveFile>
#include <QString>

#include <cctype>

namespace buffer {

namespace {
constexpr std::size_t kSegmentFormLimit = 0x100000;

std::string LowerExtension(const std::string& path)
{
    const std::size_t slash = path.find_last_of("/\\");
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    std::string ext = path.substr(dot + 1);
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}
} // namespace

std::optional<FileFormat> SaveFormatOfExtension(const std::string& path)
{
    const std::string ext = LowerExtension(path);
    if (ext == "hex")
        return FileFormat::IntelHex;
    if (ext == "s" || ext == "mot" || ext == "srec" || ext == "s19" || ext == "s28" || ext == "s37")
        return FileFormat::SRecord;
    if (ext == "bin")
        return FileFormat::Binary;
    return std::nullopt;
}

FileFormat SaveFormatFor(const std::string& path, const std::string& pattern)
{
    if (!pattern.empty())
        return FormatFromPattern(pattern);
    return SaveFormatOfExtension(path).value_or(FileFormat::Binary);
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
        result.boxes.push_back({ "Error opening file", MB_OK | MB_ICONERROR });
        result.log.push_back("Could not save " + path + ": " + file.errorString().toStdString());
        return result;
    }
    if (file.write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size())
        || !file.commit()) {
        file.cancelWriting();
        result.boxes.push_back({ "Error writing file", MB_OK | MB_ICONERROR });
        result.log.push_back("Could not save " + path + ": " + file.errorString().toStdString());
        return result;
    }
    result.saved = true;
    result.log.push_back("Saved " + std::to_string(model.Buffer(bufferIndex).size()) + " bytes to " + path + " ("
        + SaveFormatName(result.format) + ").");
    return result;
}

} // namespace buffer
