#include "buffer/FileCombiner.h"

#include "platform/MessageBox.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <algorithm>

namespace buffer {

namespace {

BoxMessage OffsetWrongBox()
{
    return BoxMessage { "Offset setting wrong.", MB_OK | MB_ICONERROR, kTextOffsetWrong, "Error", kTextErrorCaption };
}

} // namespace

CombineResult CombineFile(
    std::vector<std::uint8_t>& image, const std::string& path, std::int64_t offset, std::size_t limit)
{
    CombineResult result;
    if (offset < 0) {
        result.boxes.push_back(OffsetWrongBox());
        return result;
    }
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) {
        result.boxes.push_back({ "Error opening file", MB_OK | MB_ICONERROR });
        return result;
    }
    // The size is known before anything is read: a huge file or offset never gets allocated.
    const std::int64_t length = file.size();
    if (length < 0 || static_cast<std::uint64_t>(offset) + static_cast<std::uint64_t>(length) > limit) {
        result.boxes.push_back(OffsetWrongBox());
        return result;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError || bytes.size() != length) {
        result.boxes.push_back({ "Error opening file", MB_OK | MB_ICONERROR });
        return result;
    }

    const std::size_t at = static_cast<std::size_t>(offset);
    const std::size_t end = at + static_cast<std::size_t>(length);
    const bool blank = std::all_of(image.begin(), image.end(), [](std::uint8_t b) { return b == 0xFF; });
    std::vector<std::uint8_t> combined(blank ? end : std::max(image.size(), end), 0xFF);
    if (!blank)
        std::copy(image.begin(), image.end(), combined.begin());
    std::copy(bytes.begin(), bytes.end(), combined.begin() + static_cast<std::ptrdiff_t>(at));
    image = std::move(combined);
    result.combined = true;
    return result;
}

} // namespace buffer
