#include "buffer/BufferModel.h"

#include "platform/TextFormat.h"

namespace buffer {

namespace {
int Clamp(int index)
{
    return index >= 0 && index < kBufferCount ? index : kMainBuffer;
}
} // namespace

std::vector<std::uint8_t>& CBufferModel::Buffer(int index)
{
    return m_buffers[static_cast<std::size_t>(Clamp(index))];
}

const std::vector<std::uint8_t>& CBufferModel::Buffer(int index) const
{
    return m_buffers[static_cast<std::size_t>(Clamp(index))];
}

bool CBufferModel::IsIncomplete(int index) const
{
    return index >= 0 && index < kBufferCount && m_incomplete[static_cast<std::size_t>(index)];
}

void CBufferModel::SetIncomplete(int index, bool incomplete)
{
    if (index >= 0 && index < kBufferCount)
        m_incomplete[static_cast<std::size_t>(index)] = incomplete;
}

bool CBufferModel::IsModified(int index) const
{
    return index >= 0 && index <= kConfigWord && m_modified[static_cast<std::size_t>(index)];
}

void CBufferModel::SetModified(int index, bool modified)
{
    if (index >= 0 && index <= kConfigWord)
        m_modified[static_cast<std::size_t>(index)] = modified;
}

std::uint16_t BufferChecksum(const std::vector<std::uint8_t>& data)
{
    std::uint32_t sum = 0;
    for (std::uint8_t b : data)
        sum += b;
    return static_cast<std::uint16_t>(sum);
}

std::string ChecksumText(const std::vector<std::uint8_t>& data)
{
    return platform::Format("Checksum: 0x%04X", BufferChecksum(data));
}

} // namespace buffer
