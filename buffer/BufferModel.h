#pragma once
// The chip contents the view holds: the main, data and configuration buffers, the configuration
// word of the device descriptor, the fill byte and read mode of the last load, and the flag the
// data pump sets on a buffer whose read ended early.

#include "buffer/BufferTypes.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace buffer {

class CBufferModel {
public:
    // Buffer 0 main, 1 data, 2 configuration; any other index gives the main buffer.
    std::vector<std::uint8_t>& Buffer(int index);
    const std::vector<std::uint8_t>& Buffer(int index) const;

    // The configuration bytes of the descriptor (low byte of each word first for cores below 16
    // bits, one byte per address for 16-bit cores). The view copies them to and from the device.
    std::vector<std::uint8_t>& ConfigWord() { return m_configWord; }
    const std::vector<std::uint8_t>& ConfigWord() const { return m_configWord; }

    std::uint8_t FillByte() const { return m_fill; }
    void SetFillByte(std::uint8_t fill) { m_fill = fill; }
    int ReadMode() const { return m_readMode; }
    void SetReadMode(int mode) { m_readMode = mode; }

    // Set by the data pump when a read ended early, cleared when a read completes or a file loads.
    bool IsIncomplete(int index) const;
    void SetIncomplete(int index, bool incomplete);

    // Set by an edit of the buffer (index kConfigWord: of the configuration word); cleared by a
    // load into it, a read of it and a save of it.
    bool IsModified(int index) const;
    void SetModified(int index, bool modified);

    // The file last opened through the recent-file or open-file path, and the file last loaded.
    std::string m_strFileName;
    std::string m_strLoadedFileName;

private:
    std::array<std::vector<std::uint8_t>, kBufferCount> m_buffers;
    std::vector<std::uint8_t> m_configWord;
    std::array<bool, kBufferCount> m_incomplete {};
    std::array<bool, kBufferCount + 1> m_modified {}; // the last: the configuration word
    std::uint8_t m_fill = 0xFF;
    int m_readMode = 0;
};

// 16-bit sum of all bytes, and the status-bar text "Checksum: 0x%04X" made of it.
std::uint16_t BufferChecksum(const std::vector<std::uint8_t>& data);
std::string ChecksumText(const std::vector<std::uint8_t>& data);

} // namespace buffer
