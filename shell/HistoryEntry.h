#pragma once
// One line of the programmer's usage history: a device name and how many times it was
// programmed, as decimal text.

#include <string>

struct CHistoryEntry {
    std::string m_strName;
    std::string m_strCount;
    bool operator==(const CHistoryEntry&) const = default;
};
