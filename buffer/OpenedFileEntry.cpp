#include "buffer/OpenedFileEntry.h"

#include "platform/TextFormat.h"
#include "shell/RegistryKey.h"

namespace buffer {

std::string OpenedFileKey(int slot)
{
    return platform::Format("Software\\Zelvo USB Programmer\\Opened Files\\%d", slot);
}

bool LookupOpenedFile(COpenedFileEntry& entry)
{
    bool found = false;
    const std::string wanted = entry.FileName;
    for (int n = 0; n < kOpenedFileSlots; ++n) {
        CRegistryKey key(HKEY_CURRENT_USER);
        if (!key.Open(HKEY_CURRENT_USER, OpenedFileKey(n)))
            continue;
        std::string name;
        if (!key.ReadString("FileName", name) || name != wanted)
            continue;
        COpenedFileEntry found_entry = entry;
        found_entry.FileName = name;
        key.ReadString("Format", found_entry.Format);
        key.ReadString("Fill", found_entry.Fill);
        key.ReadString("Offset", found_entry.Offset);
        DWORD mode = 0;
        if (key.ReadDword("OpenMode", mode))
            found_entry.OpenMode = static_cast<std::int32_t>(mode);
        entry = found_entry;
        found = true;
    }
    return found;
}

int RememberOpenedFile(const COpenedFileEntry& entry)
{
    // The file's own slot first (the highest, since a lookup takes the highest), else the first
    // free slot, else the last.
    int match = -1, free = -1;
    for (int n = 0; n < kOpenedFileSlots; ++n) {
        CRegistryKey key(HKEY_CURRENT_USER);
        if (!key.Open(HKEY_CURRENT_USER, OpenedFileKey(n))) {
            if (free < 0)
                free = n;
            continue;
        }
        std::string name;
        if (key.ReadString("FileName", name) && name == entry.FileName)
            match = n;
    }
    const int slot = match >= 0 ? match : free >= 0 ? free : kOpenedFileSlots - 1;
    CRegistryKey key(HKEY_CURRENT_USER);
    if (!key.Create(HKEY_CURRENT_USER, OpenedFileKey(slot)))
        return -1;
    const bool ok = key.WriteString("FileName", entry.FileName) && key.WriteString("Format", entry.Format)
        && key.WriteString("Fill", entry.Fill) && key.WriteDword("OpenMode", static_cast<DWORD>(entry.OpenMode))
        && key.WriteString("Offset", entry.Offset);
    return ok ? slot : -1;
}

} // namespace buffer
