#include "tools/mkfwimage/FirmwareImage.h"

#include "sim/FirmwareDescriptor.h"
#include "transport/FirmwareTransform.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <stdexcept>

namespace mkfwimage {

namespace {

constexpr std::size_t kMaxLength = 0x4000;

std::string Record(std::uint16_t address, std::uint8_t type, const std::uint8_t* data, std::size_t n)
{
    char buf[16];
    std::string line = ":";
    unsigned sum = static_cast<unsigned>(n) + (address >> 8) + (address & 0xFF) + type;
    std::snprintf(buf, sizeof buf, "%02X%04X%02X", static_cast<unsigned>(n), address, type);
    line += buf;
    for (std::size_t i = 0; i < n; ++i) {
        std::snprintf(buf, sizeof buf, "%02X", data[i]);
        line += buf;
        sum += data[i];
    }
    std::snprintf(buf, sizeof buf, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
    line += buf;
    line += "\r\n";
    return line;
}

void AppendData(std::string& out, std::uint32_t address, const std::uint8_t* data, std::size_t n)
{
    for (std::size_t at = 0; at < n; at += 16) {
        const std::size_t len = std::min<std::size_t>(16, n - at);
        out += Record(static_cast<std::uint16_t>(address + at), 0, data + at, len);
    }
}

} // namespace

std::vector<std::uint8_t> ImageBytes(const ImageOptions& o)
{
    std::vector<std::uint8_t> image(o.length, 0);
    if (o.length < sim::fw::kMinLength)
        return image;
    // xorshift32, seeded by the number, for a filler that differs per image and never changes.
    std::uint32_t x = 0x9E3779B9u ^ (static_cast<std::uint32_t>(o.number) * 2654435761u);
    if (!x)
        x = 1;
    for (auto& b : image) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<std::uint8_t>(x);
    }
    image[0] = 0x80; // SJMP $
    image[1] = 0xFE;
    sim::fw::Descriptor d;
    d.number = static_cast<std::uint16_t>(o.number);
    d.models = o.models;
    d.length = o.length;
    sim::fw::WriteDescriptor(image.data(), d);
    if (o.badCrc)
        image[sim::fw::kCrcAddress + 3] ^= 0x5A;
    return image;
}

std::string ImageHex(const ImageOptions& o)
{
    if (o.length < sim::fw::kMinLength || o.length > kMaxLength || o.number < 0 || o.number > 0xFFFF)
        return {};
    const auto image = ImageBytes(o);
    std::string out;
    AppendData(out, 0, image.data(), image.size());
    for (const auto& [address, bytes] : o.extra) {
        if (address + bytes.size() > 0x10000)
            return {};
        AppendData(out, address, bytes.data(), bytes.size());
    }
    out += ":00000001FF\r\n";
    return out;
}

std::string MakeClassFile(const std::string& name, const std::string& hexText)
{
    const std::string payload = firmware::Transform(hexText);
    std::string header(firmware::kClassHeaderSize, '\0');
    auto* h = reinterpret_cast<std::uint8_t*>(header.data());
    std::memcpy(h, "ZVCLS", 5);
    h[5] = firmware::kClassVersion;
    std::memcpy(h + 8, name.data(), std::min<std::size_t>(name.size(), 16));
    sim::fw::PutBE32(h + 24, static_cast<std::uint32_t>(payload.size()));
    sim::fw::PutBE32(h + 28, sim::fw::Crc32(reinterpret_cast<const std::uint8_t*>(payload.data()), payload.size()));
    return header + payload;
}

std::optional<std::string> ReadClassFile(const std::string& file)
{
    if (file.size() < firmware::kClassHeaderSize)
        return std::nullopt;
    const auto* h = reinterpret_cast<const std::uint8_t*>(file.data());
    if (std::memcmp(h, "ZVCLS", 5) != 0 || h[5] != firmware::kClassVersion)
        return std::nullopt;
    const std::uint32_t length = sim::fw::GetBE32(h + 24);
    if (length != file.size() - firmware::kClassHeaderSize)
        return std::nullopt;
    const auto* payload = h + firmware::kClassHeaderSize;
    if (sim::fw::Crc32(payload, length) != sim::fw::GetBE32(h + 28))
        return std::nullopt;
    return firmware::Untransform(file.substr(firmware::kClassHeaderSize));
}

std::optional<std::vector<NumberedImage>> ParseNumbers(const std::string& text, std::string& error)
{
    std::vector<NumberedImage> out;
    std::istringstream in(text);
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        if (const auto hash = line.find('#'); hash != std::string::npos)
            line.erase(hash);
        std::istringstream fields(line);
        std::string number;
        std::string models;
        if (!(fields >> number))
            continue;
        std::string more;
        NumberedImage img;
        try {
            std::size_t used = 0;
            img.number = std::stoi(number, &used);
            if (used != number.size() || img.number < 0 || img.number > 0xFFFF || !(fields >> models)
                || (fields >> more))
                throw std::invalid_argument("fields");
            if (models == "any") {
                img.models = 0xFFFF;
            } else {
                img.models = 0;
                std::istringstream list(models);
                std::string code;
                while (std::getline(list, code, ',')) {
                    const int c = std::stoi(code, &used);
                    if (used != code.size() || c < 0 || c > 14)
                        throw std::invalid_argument("model");
                    img.models = static_cast<std::uint16_t>(img.models | (1u << c));
                }
                if (!img.models)
                    throw std::invalid_argument("models");
            }
        } catch (const std::exception&) {
            error = "line " + std::to_string(lineNo) + ": \"number models\" expected";
            return std::nullopt;
        }
        out.push_back(img);
    }
    return out;
}

} // namespace mkfwimage
