#include "buffer/ImageTransforms.h"

#include <algorithm>

namespace buffer {

namespace {
std::uint8_t At(const std::vector<std::uint8_t>& image, std::uint64_t address)
{
    return address < image.size() ? image[static_cast<std::size_t>(address)] : 0xFF;
}

bool WordCore(const CBufferDeviceParams& device)
{
    return device.coreBits < 16;
}

constexpr std::size_t kIdBytes = 8; // four 16-bit ID words, or eight PIC18 ID bytes

// True when every word of a high-byte-first section is erased: 0xFF low bytes, high bytes 0xFF
// or 0xFF under the core's mask (a masked erased word).
bool IsErased(const std::vector<std::uint8_t>& bytes, const CBufferDeviceParams& device)
{
    const std::uint8_t mask = device.coreBits == 12 ? 0x0F : device.coreBits == 14 ? 0x3F : 0xFF;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const bool high = i % 2 == 0 && WordCore(device);
        if (bytes[i] != 0xFF && !(high && bytes[i] == mask))
            return false;
    }
    return true;
}
} // namespace

void SwapBufferBytes(std::vector<std::uint8_t>& data, std::size_t start, std::size_t length)
{
    if (start >= data.size())
        return;
    const std::size_t end = start + std::min(length, data.size() - start);
    for (std::size_t i = start; i + 1 < end; i += 2)
        std::swap(data[i], data[i + 1]);
}

void SwapProgramWords(std::vector<std::uint8_t>& image, const CBufferDeviceParams& device)
{
    if (device.pic)
        SwapBufferBytes(image, 0, device.memorySize);
}

void SplitCombinedImage(CBufferModel& model, const std::vector<std::uint8_t>& image, const CBufferDeviceParams& device)
{
    if (!device.pic)
        return;
    const bool words = WordCore(device);
    if (device.dataSize > 0) {
        std::vector<std::uint8_t>& data = model.Buffer(kDataBuffer);
        data.assign(device.dataSize, 0xFF);
        for (std::size_t i = 0; i < data.size(); ++i)
            data[i] = At(image, device.eepromHexAddress + (words ? 2 * static_cast<std::uint64_t>(i) : i));
    }
    if (device.configMemoryWords > 0) {
        std::vector<std::uint8_t>& config = model.Buffer(kConfigBuffer);
        config.assign(2 * static_cast<std::size_t>(device.configMemoryWords), 0xFF);
        for (std::size_t i = 0; i < config.size(); ++i)
            config[i] = At(image, device.idHexAddress + i);
        if (words)
            SwapBufferBytes(config);
    }
    if (device.configBytes > 0 && device.configHexAddress < image.size()) {
        std::vector<std::uint8_t>& word = model.ConfigWord();
        word.assign(static_cast<std::size_t>(device.configBytes), 0xFF);
        for (std::size_t i = 0; i < word.size(); ++i)
            word[i] = At(image, device.configHexAddress + i);
    }
}

std::vector<ImageSection> CombinedImageSections(const CBufferModel& model, const CBufferDeviceParams& device)
{
    std::vector<ImageSection> sections;
    const bool words = WordCore(device);
    ImageSection program { 0, model.Buffer(kMainBuffer) };
    SwapProgramWords(program.bytes, device);
    sections.push_back(std::move(program));

    const std::vector<std::uint8_t>& config = model.Buffer(kConfigBuffer);
    std::vector<std::uint8_t> idBytes(config.begin(), config.begin() + std::min(config.size(), kIdBytes));
    if (!idBytes.empty() && !IsErased(idBytes, device)) {
        ImageSection ids { device.idHexAddress, std::move(idBytes) };
        if (words)
            SwapBufferBytes(ids.bytes);
        sections.push_back(std::move(ids));
    }
    if (!model.ConfigWord().empty() && device.configBytes > 0) {
        const auto& word = model.ConfigWord();
        sections.push_back({ device.configHexAddress,
            { word.begin(), word.begin() + std::min(word.size(), static_cast<std::size_t>(device.configBytes)) } });
    }
    const std::vector<std::uint8_t>& data = model.Buffer(kDataBuffer);
    if (device.dataSize > 0 && !data.empty() && !IsErased(data, CBufferDeviceParams {})) {
        ImageSection eeprom { device.eepromHexAddress, {} };
        const std::size_t n = std::min<std::size_t>(data.size(), device.dataSize);
        for (std::size_t i = 0; i < n; ++i) {
            eeprom.bytes.push_back(data[i]);
            if (words)
                eeprom.bytes.push_back(0x00);
        }
        sections.push_back(std::move(eeprom));
    }
    std::stable_sort(sections.begin(), sections.end(),
        [](const ImageSection& a, const ImageSection& b) { return a.address < b.address; });
    return sections;
}

} // namespace buffer
