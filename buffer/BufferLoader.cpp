#include "buffer/BufferLoader.h"

#include "buffer/FileFormat.h"
#include "buffer/ImageTransforms.h"
#include "buffer/IntelHex.h"
#include "buffer/SRecord.h"
#include "platform/MessageBox.h"
#include "platform/TextFormat.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <algorithm>
#include <cctype>

namespace buffer {

namespace {

constexpr const char* kTruncatedText = "Data size exceed size of device, data file has been truncated.";
constexpr std::size_t kHexStartBlock = 1024;
constexpr std::size_t kSRecordStartBlock = 0x80000;

enum class ReadStatus { Ok, CannotOpen, TooLarge };

ReadStatus ReadWholeFile(const std::string& path, QByteArray& bytes)
{
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return ReadStatus::CannotOpen;
    if (file.size() > kMaxFileSize)
        return ReadStatus::TooLarge;
    bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return ReadStatus::CannotOpen;
    return ReadStatus::Ok;
}

bool ReportReadFailure(ReadStatus status, LoadResult& result)
{
    if (status == ReadStatus::CannotOpen)
        result.boxes.push_back({ "Error opening file", MB_OK | MB_ICONERROR });
    else if (status == ReadStatus::TooLarge)
        result.boxes.push_back({ "The file is too large to load.", MB_OK | MB_ICONERROR });
    return status == ReadStatus::Ok;
}

BoxMessage TruncatedBox()
{
    return BoxMessage { kTruncatedText, MB_OK, kTextTruncated };
}

std::string Upper(const std::string& text)
{
    std::string out = text;
    for (char& c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

bool EndsWith(const std::string& text, const char* tail)
{
    const std::size_t n = std::char_traits<char>::length(tail);
    return text.size() >= n && text.compare(text.size() - n, n, tail) == 0;
}

// The outcome of a text-format read into an image.
struct TextRead {
    std::uint64_t highestEnd = 0;
};

// Reads S-records into a fresh block of the S-record start size.
TextRead ReadSRecordImage(std::string_view text, std::vector<std::uint8_t>& image, std::uint8_t fill, std::size_t limit,
    const ProgressFn& progress, LoadResult& result)
{
    image.assign(std::min(kSRecordStartBlock, limit), fill);
    CSRecordReader reader(image, fill, limit);
    reader.ParseText(text, progress);
    if (!reader.StopBox().text.empty())
        result.boxes.push_back(reader.StopBox());
    if (const std::string report = reader.SkippedReport(); !report.empty())
        result.log.push_back(report);
    return { reader.HighestDataEnd() };
}

// Reads an Intel HEX file into a fresh block; a file of S-records, or one whose read stops at a
// line holding "S", goes to the S-record reader instead.
TextRead ReadHexImage(std::string_view text, std::vector<std::uint8_t>& image, HexParser parser, std::uint8_t fill,
    std::size_t limit, const ProgressFn& progress, LoadResult& result)
{
    if (LooksLikeSRecords(text))
        return ReadSRecordImage(text, image, fill, limit, progress, result);
    image.assign(std::min(kHexStartBlock, limit), parser == HexParser::Main ? fill : 0xFF);
    CIntelHexReader reader(image, parser, fill, limit);
    std::string_view lastLine;
    const int last = reader.ParseText(text, &lastLine, progress);
    if (last == 0 && lastLine.find('S') != std::string_view::npos)
        return ReadSRecordImage(text, image, fill, limit, progress, result);
    if (!reader.StopBox().text.empty()) {
        result.boxes.push_back(reader.StopBox());
        result.log.push_back(platform::Format("%s (line %d).", reader.StopBox().text.c_str(), reader.LineNumber()));
    }
    if (const std::string report = reader.SkippedReport(); !report.empty())
        result.log.push_back(report);
    return { reader.HighestDataEnd() };
}

void FinishTitle(const std::string& path, LoadResult& result)
{
    result.title = "Zelvo USB Programmer - " + path;
    result.addToRecent = true;
}

} // namespace

const char* ReadModeText(int mode)
{
    static const char* const kTexts[] = { "Normal", "Even Byte", "Odd Byte", "1st Byte of 4", "2nd Byte of 4",
        "3rd Byte of 4", "4th Byte of 4", "1st 2 Byte of 4", "2nd 2 Byte of 4" };
    return mode >= 0 && mode <= 8 ? kTexts[mode] : "";
}

bool ApplyFileOffset(std::vector<std::uint8_t>& image, int k, std::uint8_t fill, std::size_t limit)
{
    if (k == 0)
        return true;
    const std::int64_t size = static_cast<std::int64_t>(image.size());
    if (k < 0) {
        const std::int64_t drop = std::min<std::int64_t>(-static_cast<std::int64_t>(k), size);
        image.erase(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(drop));
        return true;
    }
    if (static_cast<std::uint64_t>(size) + static_cast<std::uint64_t>(k) > limit)
        return false;
    image.insert(image.begin(), static_cast<std::size_t>(k), fill);
    return true;
}

void ApplyReadMode(std::vector<std::uint8_t>& image, int mode, int i0Signed, std::uint8_t fill, bool deviceSelected)
{
    if (mode < 1 || mode > 8)
        return;
    const std::size_t size = image.size();
    const std::size_t i0 = std::min<std::size_t>(static_cast<std::size_t>(std::max(i0Signed, 0)), size);
    const std::size_t n = size - i0;
    std::size_t newSize = 0;
    std::size_t step = 0, first = 0, group = 1; // take `group` bytes at i0 + first, then every `step`
    switch (mode) {
    case 1:
        newSize = deviceSelected ? size : i0 + n / 2;
        step = 2, first = 1;
        break;
    case 2:
        newSize = i0 + n / 2;
        step = 2, first = 0;
        break;
    case 3:
    case 4:
    case 5:
    case 6:
        newSize = i0 + n / 4;
        step = 4, first = static_cast<std::size_t>(mode - 3);
        break;
    case 7:
    case 8:
        newSize = i0 + n / 2;
        step = 4, first = mode == 7 ? 0 : 2, group = 2;
        break;
    }
    std::vector<std::uint8_t> out(newSize, fill);
    std::size_t to = i0;
    for (std::size_t from = i0 + first; from < size && to < newSize; from += step)
        for (std::size_t g = 0; g < group && from + g < size && to < newSize; ++g)
            out[to++] = image[from + g];
    image = std::move(out);
}

std::vector<BoxMessage> MaskBuffer(CBufferModel& model, int kind, const CBufferDeviceParams& device)
{
    if (!device.pic)
        return { BoxMessage { "Internal Error! No way to mask the buffer.", MB_OK } };
    if (kind == 1) {
        auto& data = model.Buffer(kDataBuffer);
        std::fill(data.begin(), data.end(), 0xFF);
        return {};
    }
    if (kind == 3) {
        auto& word = model.ConfigWord();
        if (device.coreBits < 16 && word.size() >= 2) {
            switch (device.coreBits) {
            case 10:
                word[1] &= 0x0F;
                break;
            case 12:
                word[1] &= 0x1F;
                break;
            case 14:
                word[1] &= 0x3F;
                break;
            case 15:
                word[1] &= 0x7F;
                break;
            default:
                break;
            }
        }
        return {};
    }
    if (kind != 0 && kind != 2)
        return {};
    std::uint8_t mask = 0xFF;
    switch (device.coreBits) {
    case 12:
        mask = 0x0F;
        break;
    case 13:
        mask = 0x1F;
        break;
    case 14:
        mask = 0x3F;
        break;
    case 15:
        mask = 0x7F;
        break;
    default:
        break;
    }
    auto& buffer = model.Buffer(kind == 0 ? kMainBuffer : kConfigBuffer);
    for (std::size_t i = 0; i < buffer.size(); i += 2)
        buffer[i] &= mask;
    return {};
}

LoadResult ReadMainBufferFile(
    CBufferModel& model, const std::string& path, const std::string& pattern, const LoadRequest& request)
{
    LoadResult result;
    result.path = path;
    const CBufferDeviceParams& device = request.device;
    const std::size_t limit = device.Limit();
    QByteArray bytes;
    if (!ReportReadFailure(ReadWholeFile(path, bytes), result))
        return result;
    result.readOk = true;
    const std::size_t length = static_cast<std::size_t>(bytes.size());
    const FileFormat format = FormatFromPattern(pattern);
    if (length == 0) {
        FinishTitle(path, result);
        return result;
    }
    const std::uint8_t fill = model.FillByte();
    const std::string_view text(bytes.constData(), length);
    std::vector<std::uint8_t> image;
    if (format == FileFormat::Binary) {
        const std::size_t size = device.selected ? device.memorySize : length;
        if (device.selected && length > size && device.typeCode != 7)
            result.boxes.push_back(TruncatedBox());
        if (size > limit) {
            result.boxes.push_back(
                { "The file is larger than the buffer limit; nothing was loaded.", MB_OK | MB_ICONERROR });
            result.readOk = false;
            return result;
        }
        image.assign(size, fill);
        std::copy_n(bytes.constData(), std::min(size, length), image.begin());
    } else {
        const TextRead read = format == FileFormat::IntelHex
            ? ReadHexImage(
                text, image, device.pic ? HexParser::Mcu : HexParser::Main, fill, limit, request.progress, result)
            : ReadSRecordImage(text, image, fill, limit, request.progress, result);
        // A combined PIC image holds its other sections far above the program memory.
        if (device.selected && !device.pic && device.memorySize < read.highestEnd)
            result.boxes.push_back(TruncatedBox());
        if (!device.selected && read.highestEnd < image.size())
            image.resize(static_cast<std::size_t>(read.highestEnd));
        if (format == FileFormat::IntelHex && device.pic) {
            SplitCombinedImage(model, image, device);
            result.changed[kDataBuffer] = device.dataSize > 0;
            result.changed[kConfigBuffer] = device.configMemoryWords > 0;
            for (int index : { kDataBuffer, kConfigBuffer })
                if (result.changed[index])
                    model.SetIncomplete(index, false);
            result.configWordChanged = device.configBytes > 0 && device.configHexAddress < image.size();
            SwapProgramWords(image, device);
        }
    }
    const int k = ParseFileOffset(request.fileOffsetText);
    if (!ApplyFileOffset(image, k, fill, limit)) {
        result.boxes.push_back({ "The file offset makes the buffer larger than the buffer limit; nothing was loaded.",
            MB_OK | MB_ICONERROR });
        result.readOk = false;
        return result;
    }
    if (device.selected && device.memorySize != 0)
        image.resize(device.memorySize, fill);
    ApplyReadMode(image, model.ReadMode(), k, fill, device.selected);
    model.Buffer(kMainBuffer) = std::move(image);
    model.SetIncomplete(kMainBuffer, false);
    result.changed[kMainBuffer] = true;
    result.showChecksum = true;
    FinishTitle(path, result);
    return result;
}

LoadResult ReadDataBufferFile(
    CBufferModel& model, const std::string& path, const std::string& pattern, const LoadRequest& request)
{
    LoadResult result;
    result.path = path;
    const CBufferDeviceParams& device = request.device;
    const std::size_t limit = device.bufferLimit > device.dataSize ? device.bufferLimit : device.dataSize;
    QByteArray bytes;
    if (!ReportReadFailure(ReadWholeFile(path, bytes), result))
        return result;
    result.readOk = true;
    result.addToRecent = true;
    const std::size_t length = static_cast<std::size_t>(bytes.size());
    if (length == 0)
        return result;
    const FileFormat format = FormatFromPattern(pattern);
    const int k = ParseFileOffset(request.fileOffsetText);
    const std::string_view text(bytes.constData(), length);
    std::vector<std::uint8_t> image;
    if (format == FileFormat::Binary) {
        const std::int64_t wanted
            = device.selected ? static_cast<std::int64_t>(device.dataSize) : static_cast<std::int64_t>(length) + k;
        const std::size_t size = static_cast<std::size_t>(std::max<std::int64_t>(wanted, 0));
        if (device.selected && length > device.dataSize)
            result.boxes.push_back(TruncatedBox());
        if (size > limit) {
            result.boxes.push_back(
                { "The file is larger than the buffer limit; nothing was loaded.", MB_OK | MB_ICONERROR });
            result.readOk = false;
            return result;
        }
        image.assign(size, 0xFF);
        std::copy_n(bytes.constData(), std::min(size, length), image.begin());
    } else {
        const TextRead read = format == FileFormat::IntelHex
            ? ReadHexImage(text, image, HexParser::Data, 0xFF, limit, request.progress, result)
            : ReadSRecordImage(text, image, 0xFF, limit, request.progress, result);
        if (device.selected && device.dataSize < read.highestEnd)
            result.boxes.push_back(TruncatedBox());
        if (!device.selected && read.highestEnd < image.size())
            image.resize(static_cast<std::size_t>(read.highestEnd));
        if (device.dataSize != 0 && device.dataSize < image.size())
            image.resize(device.dataSize);
    }
    if (k > 0) {
        std::vector<std::uint8_t> moved(image.size(), 0xFF);
        if (static_cast<std::size_t>(k) < image.size())
            std::copy_n(image.begin(), image.size() - static_cast<std::size_t>(k), moved.begin() + k);
        image = std::move(moved);
    }
    model.Buffer(kDataBuffer) = std::move(image);
    model.SetIncomplete(kDataBuffer, false);
    result.changed[kDataBuffer] = true;
    result.showChecksum = true;
    return result;
}

LoadResult LoadFile(
    CBufferModel& model, const std::string& path, const std::string& pattern, const LoadRequest& request)
{
    std::vector<BoxMessage> first;
    if (!request.device.selected)
        first.push_back(
            { "Device not been selected. \r\nYou need re-load the data after selected the device.", MB_OK });
    COpenedFileEntry entry;
    entry.FileName = path;
    entry.Offset = request.fileOffsetText;
    if (request.lookupOpenedFile)
        LookupOpenedFile(entry);
    const std::string usePattern = entry.Format.empty() ? pattern : entry.Format;
    model.SetFillByte(entry.Fill == "FF" ? 0xFF : 0x00);
    model.SetReadMode(entry.OpenMode >= 0 && entry.OpenMode <= 8 ? entry.OpenMode : 0);

    LoadRequest inner = request;
    inner.fileOffsetText = entry.Offset;
    LoadResult result;
    if (request.device.pic) {
        result = ReadMainBufferFile(model, entry.FileName, usePattern, inner);
        if (result.readOk) {
            for (int kind : { 0, 2, 3 })
                for (auto& box : MaskBuffer(model, kind, request.device))
                    result.boxes.push_back(box);
        }
    } else if (request.bufferIndex == kMainBuffer) {
        result = ReadMainBufferFile(model, entry.FileName, usePattern, inner);
    } else if (request.bufferIndex == kDataBuffer) {
        result = ReadDataBufferFile(model, entry.FileName, usePattern, inner);
    } else {
        result.path = entry.FileName;
        result.log.push_back("This buffer takes no file on this device; nothing was loaded.");
    }
    result.boxes.insert(result.boxes.begin(), first.begin(), first.end());
    result.offsetText = entry.Offset;
    if (result.readOk) {
        model.m_strLoadedFileName = entry.FileName;
        result.log.push_back(entry.FileName + ".");
        const std::string upper = Upper(entry.FileName);
        result.compileSource = EndsWith(upper, ".JAM") || EndsWith(upper, ".STAPL");
    }
    return result;
}

} // namespace buffer
