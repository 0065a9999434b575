#include "buffer/BufferLoader.h"

#include "buffer/BufferTexts.h"
#include "buffer/FileFormat.h"
#include "buffer/ImageTransforms.h"
#include "buffer/IntelHex.h"
#include "buffer/SRecord.h"
#include "platform/MessageBox.h"
#include "platform/TextFormat.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace buffer {

// A load read into buffers of its own, waiting to go into the view's.
struct StagedLoad {
    CBufferModel buffers; // the buffers that result.changed names, the configuration word, fill byte, read mode
    LoadResult result; // what the view does once they are in
    std::string statement; // the sentence that names the refused records
    bool entry = false; // a LoadFile: masks, the loaded-file name and the log line follow the data
    CBufferDeviceParams device;
    std::string fileName;
};

namespace {

constexpr std::size_t kHexStartBlock = 1024;
constexpr std::size_t kSRecordStartBlock = 0x80000;
constexpr qint64 kReadBlock = 1 << 20;

std::string FileName(const std::string& path)
{
    return QFileInfo(QString::fromStdString(path)).fileName().toStdString();
}

// "Error opening file", naming the file on the line below.
BoxMessage OpenErrorBox(const QFile& file)
{
    return { std::string(kTextOpenError) + "\n" + file.fileName().toStdString(), MB_OK | MB_ICONERROR };
}

// A box that ends a load, and the same text in the log.
void Refuse(LoadResult& result, const std::string& text)
{
    result.boxes.push_back({ text, MB_OK | MB_ICONWARNING });
    result.log.push_back(text);
}

// Opens a file to load; one that cannot be read, is too large or is empty is refused.
bool Open(QFile& file, const std::string& name, LoadResult& result)
{
    if (!file.open(QIODevice::ReadOnly)) {
        result.boxes.push_back(OpenErrorBox(file));
        return false;
    }
    if (file.size() > kMaxFileSize) {
        result.boxes.push_back({ kTextTooLarge, MB_OK | MB_ICONERROR });
        return false;
    }
    if (file.size() == 0) {
        Refuse(result, platform::Format(kFormatNoData, name.c_str()));
        return false;
    }
    return true;
}

BoxMessage TruncatedBox()
{
    return BoxMessage { kTextTruncatedFallback, MB_OK, kTextTruncated };
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

std::string BadRecordsText(const std::string& name, int count, const ReadProblem& first)
{
    if (count == 1)
        return platform::Format(kFormatBadRecord, name.c_str(), first.line, ProblemKindText(first.kind));
    return platform::Format(kFormatBadRecords, count, name.c_str(), first.line, ProblemKindText(first.kind));
}

// Runs a reader over the file from its start, one block at a time, until the reader is done.
// False when the file cannot be read.
template <typename Reader> bool ReadBlocks(QFile& file, Reader& reader)
{
    if (!file.seek(0))
        return false;
    std::vector<char> block(static_cast<std::size_t>(std::min<qint64>(kReadBlock, file.size() + 1)));
    std::size_t held = 0; // the unparsed tail of the previous block
    std::uint64_t position = 0;
    bool first = true;
    for (;;) {
        const std::size_t room = block.size() - held;
        const qint64 n = file.read(block.data() + held, static_cast<qint64>(room));
        if (n < 0)
            return false;
        const std::size_t size = held + static_cast<std::size_t>(n);
        const bool last = file.atEnd() || (room > 0 && n == 0);
        std::size_t skip = 0;
        if (first && size >= 3 && std::memcmp(block.data(), "\xEF\xBB\xBF", 3) == 0)
            skip = 3; // a UTF-8 byte-order mark
        first = false;
        const std::size_t used = skip
            + reader.Parse(
                TextBlock { std::string_view(block.data() + skip, size - skip), position + skip, last, room == 0 });
        if (last || reader.Done())
            return true;
        std::memmove(block.data(), block.data() + used, size - used);
        held = size - used;
        position += used;
    }
}

// The outcome of a text-format read into an image.
struct TextRead {
    bool ok = false; // there are data to load (maybe after the question)
    std::uint64_t highestEnd = 0;
    int problemCount = 0;
    std::vector<ReadProblem> problems;
};

// What every record read ends with: a file without data, or with data only past the limit,
// loads nothing.
TextRead FinishRead(const CRecordImage& image, const std::string& name, LoadResult& result)
{
    TextRead read;
    read.highestEnd = image.HighestDataEnd();
    read.problemCount = image.ProblemCount();
    read.problems = image.Problems();
    if (!image.HasData()) {
        if (read.problemCount == 0) {
            Refuse(result, platform::Format(kFormatNoData, name.c_str()));
        } else {
            const ReadProblem& p = read.problems.front();
            Refuse(result,
                platform::Format(kFormatNoDataBad, name.c_str(), read.problemCount, read.problemCount == 1 ? "" : "s",
                    p.line, ProblemKindText(p.kind)));
        }
        return read;
    }
    if (image.AllPastLimit()) {
        const unsigned long long lowest = image.LowestAddress();
        Refuse(result,
            platform::Format(
                kFormatPastLimit, name.c_str(), lowest, static_cast<unsigned long long>(image.Limit()), lowest));
        return read;
    }
    read.ok = true;
    return read;
}

TextRead ReadSRecordImage(QFile& file, const std::string& name, std::vector<std::uint8_t>& image, std::uint8_t fill,
    std::size_t limit, std::int64_t offset, const ProgressFn& progress, LoadResult& result)
{
    image.assign(std::min(kSRecordStartBlock, limit), fill);
    CSRecordReader reader(image, fill, limit, offset);
    reader.Image().ReserveForText(static_cast<std::uint64_t>(file.size()));
    reader.SetProgress(progress, static_cast<std::uint64_t>(file.size()));
    if (!ReadBlocks(file, reader)) {
        result.boxes.push_back(OpenErrorBox(file));
        return {};
    }
    if (reader.LineAfterEnd() > 0)
        result.log.push_back(platform::Format(kFormatAfterEnd, name.c_str(), reader.LineAfterEnd()));
    return FinishRead(reader.Image(), name, result);
}

// Reads an Intel HEX file; a file of S-records, or one whose read stops at a line holding "S",
// goes to the S-record reader instead.
TextRead ReadHexImage(QFile& file, const std::string& name, std::vector<std::uint8_t>& image, HexParser parser,
    std::uint8_t fill, std::size_t limit, std::int64_t offset, const ProgressFn& progress, LoadResult& result)
{
    if (LooksLikeSRecords(std::string_view(file.peek(1 << 16))))
        return ReadSRecordImage(file, name, image, fill, limit, offset, progress, result);
    image.assign(std::min(kHexStartBlock, limit), parser == HexParser::Main ? fill : 0xFF);
    CIntelHexReader reader(image, parser, fill, limit, offset);
    reader.Image().ReserveForText(static_cast<std::uint64_t>(file.size()));
    reader.SetProgress(progress, static_cast<std::uint64_t>(file.size()));
    if (!ReadBlocks(file, reader)) {
        result.boxes.push_back(OpenErrorBox(file));
        return {};
    }
    if (reader.Done()) {
        if (reader.StopLine().find('S') != std::string::npos)
            return ReadSRecordImage(file, name, image, fill, limit, offset, progress, result);
        const ReadProblem& p = reader.Problems().back();
        result.boxes.push_back(reader.StopBox());
        result.log.push_back(platform::Format(
            kFormatStopLog, reader.StopBox().text.c_str(), name.c_str(), p.line, ProblemKindText(p.kind)));
        return {};
    }
    return FinishRead(reader.Image(), name, result);
}

void FinishTitle(const std::string& path, LoadResult& result)
{
    result.title = "Zelvo USB Programmer - " + path;
    result.addToRecent = true;
}

// Reads a file into the main buffer of `staging` (whose fill byte and read mode apply).
LoadResult StageMain(
    CBufferModel& staging, const std::string& path, const std::string& pattern, const LoadRequest& request)
{
    LoadResult result;
    result.path = path;
    const CBufferDeviceParams& device = request.device;
    const std::size_t limit = device.Limit();
    QFile file(QString::fromStdString(path));
    const std::string name = FileName(path);
    if (!Open(file, name, result))
        return result;
    const std::size_t length = static_cast<std::size_t>(file.size());
    const FileFormat format = FormatFromPattern(pattern);
    const std::uint8_t fill = staging.FillByte();
    const int k = ParseFileOffset(request.fileOffsetText);
    std::vector<std::uint8_t> image;
    bool offsetApplied = false;
    if (format == FileFormat::Binary) {
        const std::size_t size = device.selected ? device.memorySize : length;
        if (device.selected && length > size && device.typeCode != 7)
            result.boxes.push_back(TruncatedBox());
        if (size > limit) {
            result.boxes.push_back({ kTextBinaryTooLarge, MB_OK | MB_ICONERROR });
            return result;
        }
        image.assign(size, fill);
        const qint64 want = static_cast<qint64>(std::min(size, length));
        if (file.read(reinterpret_cast<char*>(image.data()), want) != want) {
            result.boxes.push_back(OpenErrorBox(file));
            return result;
        }
    } else {
        // A combined PIC image takes the offset after its sections are split off, as a binary
        // one; any other image takes it record by record, before the limit is checked.
        const bool pic = format == FileFormat::IntelHex && device.pic;
        const std::int64_t recordOffset = pic ? 0 : k;
        const TextRead read = format == FileFormat::IntelHex
            ? ReadHexImage(file, name, image, pic ? HexParser::Mcu : HexParser::Main, fill, limit, recordOffset,
                request.progress, result)
            : ReadSRecordImage(file, name, image, fill, limit, recordOffset, request.progress, result);
        if (!read.ok)
            return result;
        offsetApplied = !pic;
        result.problemCount = read.problemCount;
        result.problems = read.problems;
        // A combined PIC image holds its other sections far above the program memory.
        if (device.selected && !device.pic && device.memorySize < read.highestEnd)
            result.boxes.push_back(TruncatedBox());
        if (!device.selected && read.highestEnd < image.size())
            image.resize(static_cast<std::size_t>(read.highestEnd));
        if (pic) {
            SplitCombinedImage(staging, image, device);
            result.changed[kDataBuffer] = device.dataSize > 0;
            result.changed[kConfigBuffer] = device.configMemoryWords > 0;
            result.configWordChanged = device.configBytes > 0 && device.configHexAddress < image.size();
            SwapProgramWords(image, device);
        }
    }
    if (!offsetApplied && !ApplyFileOffset(image, k, fill, limit)) {
        result.boxes.push_back({ kTextOffsetTooLarge, MB_OK | MB_ICONERROR });
        return result;
    }
    if (device.selected && device.memorySize != 0)
        image.resize(device.memorySize, fill);
    ApplyReadMode(image, staging.ReadMode(), k, fill, device.selected);
    staging.Buffer(kMainBuffer) = std::move(image);
    result.readOk = true;
    result.changed[kMainBuffer] = true;
    result.showChecksum = true;
    FinishTitle(path, result);
    return result;
}

// Reads a file into the data buffer of `staging`.
LoadResult StageData(
    CBufferModel& staging, const std::string& path, const std::string& pattern, const LoadRequest& request)
{
    LoadResult result;
    result.path = path;
    const CBufferDeviceParams& device = request.device;
    const std::size_t limit = device.bufferLimit > device.dataSize ? device.bufferLimit : device.dataSize;
    QFile file(QString::fromStdString(path));
    const std::string name = FileName(path);
    if (!Open(file, name, result))
        return result;
    const std::size_t length = static_cast<std::size_t>(file.size());
    const FileFormat format = FormatFromPattern(pattern);
    const int k = ParseFileOffset(request.fileOffsetText);
    std::vector<std::uint8_t> image;
    if (format == FileFormat::Binary) {
        const std::int64_t wanted
            = device.selected ? static_cast<std::int64_t>(device.dataSize) : static_cast<std::int64_t>(length) + k;
        const std::size_t size = static_cast<std::size_t>(std::max<std::int64_t>(wanted, 0));
        if (device.selected && length > device.dataSize)
            result.boxes.push_back(TruncatedBox());
        if (size > limit) {
            result.boxes.push_back({ kTextBinaryTooLarge, MB_OK | MB_ICONERROR });
            return result;
        }
        image.assign(size, 0xFF);
        const qint64 want = static_cast<qint64>(std::min(size, length));
        if (file.read(reinterpret_cast<char*>(image.data()), want) != want) {
            result.boxes.push_back(OpenErrorBox(file));
            return result;
        }
    } else {
        const TextRead read = format == FileFormat::IntelHex
            ? ReadHexImage(file, name, image, HexParser::Data, 0xFF, limit, 0, request.progress, result)
            : ReadSRecordImage(file, name, image, 0xFF, limit, 0, request.progress, result);
        if (!read.ok)
            return result;
        result.problemCount = read.problemCount;
        result.problems = read.problems;
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
    staging.Buffer(kDataBuffer) = std::move(image);
    result.readOk = true;
    result.addToRecent = true;
    result.changed[kDataBuffer] = true;
    result.showChecksum = true;
    return result;
}

// Puts the staged buffers into the model.
LoadResult Commit(CBufferModel& model, StagedLoad& staged, bool incomplete)
{
    LoadResult result = std::move(staged.result);
    for (int index = 0; index < kBufferCount; ++index) {
        if (!result.changed[static_cast<std::size_t>(index)])
            continue;
        model.Buffer(index) = std::move(staged.buffers.Buffer(index));
        model.SetIncomplete(index, incomplete);
        model.SetModified(index, false);
    }
    if (result.configWordChanged) {
        model.ConfigWord() = std::move(staged.buffers.ConfigWord());
        model.SetModified(kConfigWord, false);
    }
    model.SetFillByte(staged.buffers.FillByte());
    model.SetReadMode(staged.buffers.ReadMode());
    if (staged.entry) {
        if (staged.device.pic)
            for (int kind : { 0, 2, 3 })
                for (auto& box : MaskBuffer(model, kind, staged.device))
                    result.boxes.push_back(box);
        model.m_strLoadedFileName = staged.fileName;
        result.log.push_back(staged.fileName + ".");
        const std::string upper = Upper(staged.fileName);
        result.compileSource = EndsWith(upper, ".JAM") || EndsWith(upper, ".STAPL");
    }
    return result;
}

// A clean read goes in at once; one with refused records waits for the question.
LoadResult Settle(CBufferModel& model, const std::shared_ptr<StagedLoad>& staged)
{
    LoadResult& read = staged->result;
    if (!read.readOk)
        return std::move(read);
    if (read.problemCount == 0)
        return Commit(model, *staged, false);
    LoadResult pending;
    pending.path = read.path;
    pending.problemCount = read.problemCount;
    pending.problems = read.problems;
    staged->statement = BadRecordsText(FileName(read.path), read.problemCount, read.problems.front());
    pending.needsConfirmation = true;
    pending.question = staged->statement + kTextKeepQuestion;
    pending.staged = staged;
    return pending;
}

std::shared_ptr<StagedLoad> NewStage(std::uint8_t fill, int readMode)
{
    auto staged = std::make_shared<StagedLoad>();
    staged->buffers.SetFillByte(fill);
    staged->buffers.SetReadMode(readMode);
    return staged;
}

} // namespace

LoadResult KeepReadData(CBufferModel& model, LoadResult& pending)
{
    if (!pending.staged)
        return {};
    const std::shared_ptr<StagedLoad> staged = std::move(pending.staged);
    LoadResult result = Commit(model, *staged, true);
    result.problemCount = pending.problemCount;
    result.problems = pending.problems;
    return result;
}

LoadResult DeclineReadData(LoadResult& pending)
{
    LoadResult result;
    result.path = pending.path;
    result.problemCount = pending.problemCount;
    result.problems = pending.problems;
    if (pending.staged)
        result.log.push_back(pending.staged->statement + kTextNotLoaded);
    pending.staged.reset();
    return result;
}

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
        return { BoxMessage { kTextNoMask, MB_OK } };
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
    const auto staged = NewStage(model.FillByte(), model.ReadMode());
    staged->result = StageMain(staged->buffers, path, pattern, request);
    return Settle(model, staged);
}

LoadResult ReadDataBufferFile(
    CBufferModel& model, const std::string& path, const std::string& pattern, const LoadRequest& request)
{
    const auto staged = NewStage(model.FillByte(), model.ReadMode());
    staged->result = StageData(staged->buffers, path, pattern, request);
    return Settle(model, staged);
}

LoadResult LoadFile(
    CBufferModel& model, const std::string& path, const std::string& pattern, const LoadRequest& request)
{
    std::vector<BoxMessage> first;
    if (!request.device.selected)
        first.push_back({ kTextNoDevice, MB_OK });
    COpenedFileEntry entry;
    entry.FileName = path;
    entry.Offset = request.fileOffsetText;
    if (request.lookupOpenedFile)
        LookupOpenedFile(entry);
    const std::string usePattern = entry.Format.empty() ? pattern : entry.Format;

    LoadRequest inner = request;
    inner.fileOffsetText = entry.Offset;
    const auto staged
        = NewStage(entry.Fill == "FF" ? 0xFF : 0x00, entry.OpenMode >= 0 && entry.OpenMode <= 8 ? entry.OpenMode : 0);
    staged->entry = true;
    staged->device = request.device;
    staged->fileName = entry.FileName;
    if (request.device.pic || request.bufferIndex == kMainBuffer) {
        staged->result = StageMain(staged->buffers, entry.FileName, usePattern, inner);
    } else if (request.bufferIndex == kDataBuffer) {
        staged->result = StageData(staged->buffers, entry.FileName, usePattern, inner);
    } else {
        staged->result.path = entry.FileName;
        staged->result.log.push_back(kTextNoFileForBuffer);
    }
    // The header pane's field shows the offset the data went in with.
    staged->result.offsetText = entry.Offset;
    LoadResult result = Settle(model, staged);
    if (!result.readOk)
        result.offsetText.clear();
    result.boxes.insert(result.boxes.begin(), first.begin(), first.end());
    return result;
}

} // namespace buffer
