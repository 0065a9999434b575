#pragma once
// What the buffer and file-format code shares: the buffer indexes, the few values of the current
// device it needs, and the messages it hands back to the view instead of showing them.

#include "platform/WinTypes.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace buffer {

// Buffer indexes: 0 main (code), 1 data (EEPROM), 2 configuration memory. Index 3 names the
// configuration word that the device descriptor holds.
constexpr int kMainBuffer = 0;
constexpr int kDataBuffer = 1;
constexpr int kConfigBuffer = 2;
constexpr int kConfigWord = 3;
constexpr int kBufferCount = 3;

// No buffer grows beyond this unless the device itself is larger: a hostile file cannot make the
// program allocate gigabytes.
constexpr std::size_t kDefaultBufferLimit = 64u * 1024 * 1024;
// A file larger than this is not read at all (an Intel HEX file of a 64 MiB image is ~190 MB).
constexpr std::int64_t kMaxFileSize = 512ll * 1024 * 1024;

// Language texts the view shows through its language table; the English text is the fallback.
constexpr int kTextTruncated = 212; // "Data size exceed size of device, data file has been truncated."
constexpr int kTextReading = 75; // "Reading...", the caption of the load progress
constexpr int kTextSaveCaption = 61;

// The values of the current device that loading, masking and saving read. The view fills it from
// g_CurrentDevice and its configuration descriptor.
struct CBufferDeviceParams {
    bool selected = false; // a device is selected (its name is neither "" nor "All")
    std::uint32_t memorySize = 0; // main buffer size in bytes
    std::uint32_t dataSize = 0; // data (EEPROM) buffer size in bytes
    int typeCode = 0; // device category; 7 (GAL/CPLD) takes files longer than the device silently
    bool pic = false; // the class carries a PIC configuration descriptor (a combined image)
    int coreBits = 0; // PIC program word width: 12, 14 or 16
    int configMemoryWords = 8; // size of the configuration memory in words
    int configBytes = 2; // number of configuration bytes (the configuration word)
    std::uint32_t configHexAddress = 0x400E; // byte addresses of the sections in a combined HEX file
    std::uint32_t idHexAddress = 0x4000;
    std::uint32_t eepromHexAddress = 0x4200;
    std::size_t bufferLimit = kDefaultBufferLimit; // raised to the device size when that is larger

    std::size_t Limit() const { return bufferLimit > memorySize ? bufferLimit : memorySize; }
};

// A message box the view should show, in order. `languageText` >= 0 means the view takes the
// text from its language table (the English `text` is the fallback).
struct BoxMessage {
    BoxMessage() = default;
    BoxMessage(std::string text_, UINT type_, int languageText_ = -1, std::string caption_ = {}, int captionText_ = -1)
        : text(std::move(text_))
        , type(type_)
        , languageText(languageText_)
        , caption(std::move(caption_))
        , captionText(captionText_)
    {
    }

    std::string text;
    UINT type = 0; // MB_OK | icon
    int languageText = -1;
    std::string caption; // empty: the application's title
    int captionText = -1;
    bool operator==(const BoxMessage&) const = default;
};

// Progress of a long read: bytes of the file done, of total. The view shows it with language
// text kTextReading as its caption.
using ProgressFn = std::function<void(std::uint64_t done, std::uint64_t total)>;

} // namespace buffer
