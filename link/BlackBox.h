#pragma once
// The programmer's usage history: a 256-byte memory in the box. Byte 0 is zero, byte 1 the number
// of entries, then from byte 2 that many pairs of ASCII text "name,count," (each field followed by
// a comma). A memory never written reads all 0xFF and is an empty history.

#include "shell/HistoryEntry.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

class CBlackBox {
public:
    static constexpr size_t kSize = 256;

    // Reads the memory. A malformed one gives an empty history, false, and in `why` one line
    // saying at which byte it went wrong. Never reads outside the 256 bytes.
    bool Parse(const std::array<std::uint8_t, kSize>& bytes, std::string* why = nullptr);
    void Clear();

    std::array<std::uint8_t, kSize> m_Raw{}; // as read
    std::vector<CHistoryEntry> m_Entries;    // the copy the history dialog edits
    std::string m_strName;
    std::uint32_t m_nTotalCount = 0;         // the sum of the counts, saturating
};
