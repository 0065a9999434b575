#pragma once
// What the buffer tests share: byte helpers, random images and a scratch folder.

#include <QTemporaryDir>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace buffertest {

using Bytes = std::vector<std::uint8_t>;

inline Bytes Seq(std::size_t n, std::uint8_t first = 0)
{
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<std::uint8_t>(first + i);
    return b;
}

inline Bytes Random(std::size_t n, std::uint32_t seed)
{
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto& x : b)
        x = static_cast<std::uint8_t>(rng());
    return b;
}

// Every line of a text, without line ends.
inline std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find("\r\n", pos);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 2;
    }
    return lines;
}

class ScratchDir {
public:
    std::string Path(const std::string& name) const { return m_dir.path().toStdString() + "/" + name; }
    std::string Write(const std::string& name, const std::string& bytes) const
    {
        const std::string path = Path(name);
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    std::string Write(const std::string& name, const Bytes& bytes) const
    {
        return Write(name, std::string(bytes.begin(), bytes.end()));
    }
    static std::string Read(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
    QTemporaryDir m_dir;
};

} // namespace buffertest
