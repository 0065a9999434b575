#pragma once
// A text file that reads both 8-bit and UTF-16 text (the language files come in either).
//
// A file opened for reading in text mode is tested for the UTF-16 little-endian mark (FF FE);
// with it, lines are read as UTF-16 of at most 4,095 characters each (a longer line comes back
// in pieces), without it as 8-bit text, decoded as UTF-8 or, where the bytes are not valid
// UTF-8, as Latin-1. Lines come back as UTF-8 without their line end (CR LF, LF or CR).

#include "platform/TextFormat.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

class CUnicodeStdioFile {
public:
    // Open flags: the framework's file flags plus one of ours.
    static constexpr std::uint32_t modeRead = 0x0000;
    static constexpr std::uint32_t modeWrite = 0x0001;
    static constexpr std::uint32_t modeReadWrite = 0x0002;
    static constexpr std::uint32_t modeCreate = 0x1000;
    static constexpr std::uint32_t modeNoTruncate = 0x2000;
    static constexpr std::uint32_t typeText = 0x4000;
    static constexpr std::uint32_t typeBinary = 0x8000;
    static constexpr std::uint32_t openWriteUnicode = 0x20000;

    static constexpr int kMaxWideLine = 4095;

    CUnicodeStdioFile() = default;
    // Opens at once; IsOpen() tells whether it worked.
    CUnicodeStdioFile(const std::string& path, std::uint32_t flags);
    ~CUnicodeStdioFile();
    CUnicodeStdioFile(const CUnicodeStdioFile&) = delete;
    CUnicodeStdioFile& operator=(const CUnicodeStdioFile&) = delete;

    // `error` (optional) receives the system's reason when the open fails.
    bool Open(const std::string& path, std::uint32_t flags, std::string* error = nullptr);
    void Close();
    bool IsOpen() const { return m_file != nullptr; }

    // True while a line was read; false at the end of the file.
    bool ReadString(std::string& line);
    void WriteString(std::string_view text);
    std::uint64_t CountChars() const;

    static bool HasUnicodeMark(const std::string& path);
    void AdjustOpenFlags(const std::string& path, std::uint32_t& flags);

    // Conversions between 8-bit text in a code page (-1: the system's, UTF-8 here; 1252 and
    // 28591: Latin-1) and UTF-16. Both clear the output first and return the units written
    // without a terminator; 0 when a buffer is missing.
    static int AnsiToWide(const char* ansi, char16_t* wide, int& count, int codePage = -1);
    static int WideToAnsi(const char16_t* wide, char* ansi, int size, int codePage = -1);

    bool m_bUnicode = false;
    std::uint32_t m_nOpenFlags = 0;

private:
    std::FILE* m_file = nullptr;
};

// Lives in platform/ now; the shell's callers keep its name.
using platform::DecodeEightBitText;
