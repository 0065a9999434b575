#pragma once
// The options remembered for a file the user opened, kept in 100 registry slots
// "Software\Zelvo USB Programmer\Opened Files\0" to "...\99".

#include <cstdint>
#include <string>

namespace buffer {

struct COpenedFileEntry {
    std::string FileName;
    std::string Offset; // hexadecimal text as typed in the file-offset field
    std::string Format; // a format pattern such as "*.hex"; empty: the caller's pattern decides
    std::string Fill = "FF"; // "FF" or "00"
    std::int32_t OpenMode = 0;

    bool operator==(const COpenedFileEntry&) const = default;
};

constexpr int kOpenedFileSlots = 100;

// The key of slot n.
std::string OpenedFileKey(int slot);

// Replaces the entry's fields by the remembered ones when its FileName is in the list (the path
// compared exactly, letter case counting; a later slot wins). True when a slot matched.
bool LookupOpenedFile(COpenedFileEntry& entry);

// Writes the entry into the slot that holds the same file (the highest such), else the first
// missing slot, else slot 99. Returns the slot written, or -1 when the store refused.
int RememberOpenedFile(const COpenedFileEntry& entry);

} // namespace buffer
