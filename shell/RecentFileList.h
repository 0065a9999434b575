#pragma once
// The list of files opened lately, newest first, kept in the settings under
// "Software\Local AppWizard-Generated Applications\Tonrig\<section>" as "File1".."FileN".
// Every change is written at once, so a crash loses nothing.

#include "platform/WinTypes.h"

#include <string>
#include <vector>

class CRecentFileList {
public:
    static constexpr const char* kProfileKey = "Software\\Local AppWizard-Generated Applications\\Tonrig";

    CRecentFileList(
        UINT firstCommand, std::string section, std::string entryFormat, int size, int maxDisplayLength = 30);

    // Puts the path at the top (as an absolute path); an entry already there moves up, and the
    // oldest drops out when the list is full. An empty path is ignored.
    void Add(const std::string& path);
    void Remove(int index);
    int GetSize() const { return m_nSize; }
    int GetCount() const { return static_cast<int>(m_files.size()); }
    const std::string& operator[](int index) const { return m_files.at(static_cast<size_t>(index)); }

    // The entry as the menu shows it: at most the display length in characters, keeping the
    // file name (a name longer than that is shown whole).
    std::string GetDisplayName(int index) const;
    UINT CommandOf(int index) const { return m_firstCommand + static_cast<UINT>(index); }
    // The index a command stands for, or -1.
    int IndexOfCommand(UINT id) const;

    void ReadList();
    void WriteList() const;

    const std::string& Section() const { return m_section; }
    const std::string& EntryFormat() const { return m_entryFormat; }

private:
    UINT m_firstCommand;
    std::string m_section;
    std::string m_entryFormat;
    int m_nSize;
    int m_maxDisplayLength;
    std::vector<std::string> m_files;
};

// Shortens a path to at most `maxLength` characters: "/.../" replaces leading folders, the file
// name is always kept whole.
std::string AbbreviatePath(const std::string& path, int maxLength);
