#include "shell/UnicodeStdioFile.h"

#include <QString>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace {

void StripLineEnd(std::string& line)
{
    if (line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0)
        line.resize(line.size() - 2);
    else if (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.pop_back();
}

bool IsLatin1CodePage(int codePage)
{
    return codePage == 1252 || codePage == 28591;
}

} // namespace

CUnicodeStdioFile::CUnicodeStdioFile(const std::string& path, std::uint32_t flags)
{
    Open(path, flags);
}

CUnicodeStdioFile::~CUnicodeStdioFile()
{
    Close();
}

void CUnicodeStdioFile::Close()
{
    if (m_file)
        std::fclose(m_file);
    m_file = nullptr;
}

bool CUnicodeStdioFile::HasUnicodeMark(const std::string& path)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    unsigned char mark[2];
    const bool ok = std::fread(mark, 1, 2, f) == 2 && mark[0] == 0xFF && mark[1] == 0xFE;
    std::fclose(f);
    return ok;
}

void CUnicodeStdioFile::AdjustOpenFlags(const std::string& path, std::uint32_t& flags)
{
    m_bUnicode = false;
    if ((flags & typeText) && !(flags & (modeCreate | modeWrite)) && HasUnicodeMark(path)) {
        m_bUnicode = true;
        flags = (flags & ~typeText) | typeBinary;
    }
    m_nOpenFlags = flags;
}

bool CUnicodeStdioFile::Open(const std::string& path, std::uint32_t flags, std::string* error)
{
    Close();
    AdjustOpenFlags(path, flags);
    const char* mode = "rb";
    if (flags & (modeWrite | modeReadWrite)) {
        if ((flags & modeCreate) && !(flags & modeNoTruncate))
            mode = (flags & modeReadWrite) ? "w+b" : "wb";
        else
            mode = (flags & modeReadWrite) ? "r+b" : "ab";
    }
    m_file = std::fopen(path.c_str(), mode);
    if (!m_file && error)
        *error = std::strerror(errno);
    return m_file != nullptr;
}

bool CUnicodeStdioFile::ReadString(std::string& line)
{
    if (!m_file)
        return false;
    if (m_bUnicode) {
        if (std::ftell(m_file) == 0) {
            unsigned char mark[2];
            if (std::fread(mark, 1, 2, m_file) != 2)
                return false;
        }
        std::u16string wide;
        bool ended = false;
        unsigned char unit[2];
        while (std::fread(unit, 1, 2, m_file) == 2) {
            const char16_t c = static_cast<char16_t>(unit[0] | (unit[1] << 8));
            if (c == u'\n') {
                ended = true;
                break;
            }
            if (c == u'\r') {
                // CR LF or a lone CR ends the line.
                unsigned char next[2];
                if (std::fread(next, 1, 2, m_file) == 2 && !(next[0] == '\n' && next[1] == 0))
                    std::fseek(m_file, -2, SEEK_CUR);
                ended = true;
                break;
            }
            if (static_cast<int>(wide.size()) == kMaxWideLine) {
                // A full piece; the rest of the line comes with the next call.
                std::fseek(m_file, -2, SEEK_CUR);
                break;
            }
            wide += c;
        }
        if (wide.empty() && !ended)
            return false;
        // A conversion that yields nothing gives an empty line, never the previous one.
        line = QString::fromUtf16(wide.data(), static_cast<qsizetype>(wide.size())).toStdString();
    } else {
        std::string bytes;
        int c;
        bool any = false;
        while ((c = std::fgetc(m_file)) != EOF) {
            any = true;
            bytes += static_cast<char>(c);
            if (c == '\n')
                break;
            if (c == '\r') {
                const int next = std::fgetc(m_file);
                if (next == '\n')
                    bytes += '\n';
                else if (next != EOF)
                    std::ungetc(next, m_file);
                break;
            }
        }
        if (!any)
            return false;
        line = DecodeEightBitText(bytes);
    }
    StripLineEnd(line);
    return true;
}

void CUnicodeStdioFile::WriteString(std::string_view text)
{
    if (!m_file)
        return;
    if (m_nOpenFlags & openWriteUnicode) {
        if (std::ftell(m_file) == 0) {
            const unsigned char mark[2] = { 0xFF, 0xFE };
            std::fwrite(mark, 1, 2, m_file);
        }
        const QString s = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
        std::vector<unsigned char> bytes;
        bytes.reserve(static_cast<size_t>(s.size()) * 2);
        for (QChar ch : s) {
            bytes.push_back(static_cast<unsigned char>(ch.unicode() & 0xFF));
            bytes.push_back(static_cast<unsigned char>(ch.unicode() >> 8));
        }
        std::fwrite(bytes.data(), 1, bytes.size(), m_file);
    } else {
        std::fwrite(text.data(), 1, text.size(), m_file);
    }
    std::fflush(m_file);
}

std::uint64_t CUnicodeStdioFile::CountChars() const
{
    if (!m_file)
        return 0;
    const long pos = std::ftell(m_file);
    std::fseek(m_file, 0, SEEK_END);
    const long len = std::ftell(m_file);
    std::fseek(m_file, pos, SEEK_SET);
    if (len < 0)
        return 0;
    if (m_bUnicode)
        return len >= 2 ? static_cast<std::uint64_t>(len - 2) / 2 : 0;
    return static_cast<std::uint64_t>(len);
}

int CUnicodeStdioFile::AnsiToWide(const char* ansi, char16_t* wide, int& count, int codePage)
{
    if (!ansi || !wide || count <= 0)
        return 0;
    std::memset(wide, 0, static_cast<size_t>(count) * sizeof(char16_t));
    const QString s = IsLatin1CodePage(codePage) ? QString::fromLatin1(ansi) : QString::fromUtf8(ansi);
    const int n = static_cast<int>(std::min<qsizetype>(s.size(), count - 1));
    std::memcpy(wide, s.utf16(), static_cast<size_t>(n) * sizeof(char16_t));
    return n;
}

int CUnicodeStdioFile::WideToAnsi(const char16_t* wide, char* ansi, int size, int codePage)
{
    if (!wide || !ansi || size <= 0)
        return 0;
    size &= 0xFFFF;
    std::memset(ansi, 0, static_cast<size_t>(size));
    const QString s = QString::fromUtf16(wide);
    std::string out;
    if (IsLatin1CodePage(codePage)) {
        for (QChar ch : s)
            out += ch.unicode() < 0x100 ? static_cast<char>(ch.unicode()) : '#';
    } else {
        out = s.toStdString();
    }
    const int n = static_cast<int>(std::min<size_t>(out.size(), static_cast<size_t>(size > 0 ? size - 1 : 0)));
    std::memcpy(ansi, out.data(), static_cast<size_t>(n));
    return n;
}
