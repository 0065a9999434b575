#pragma once
// The registry key wrapper the program reads and writes its settings through, over the settings
// store. Every call answers true (1) or false (0) and shows nothing: a missing setting reads as
// not set and the caller keeps its default.
//
// HKEY_CURRENT_USER is the store; HKEY_LOCAL_MACHINE is an empty tree that cannot be written.

#include "platform/WinTypes.h"

#include <cstdint>
#include <string>
#include <vector>

using HKEY = std::uintptr_t;
constexpr HKEY HKEY_CURRENT_USER = 0x80000001;
constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002;

// The window-placement record: ten little-endian 32-bit fields, 40 bytes.
struct WindowPlacement {
    std::uint32_t flags = 0;
    std::uint32_t showCmd = 1; // 1 normal, 2 minimised, 3 maximised
    std::int32_t minX = -1, minY = -1, maxX = -1, maxY = -1;
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;

    std::vector<std::uint8_t> Serialize() const;
    bool Deserialize(const std::vector<std::uint8_t>& bytes); // false unless exactly 40 bytes
    bool operator==(const WindowPlacement&) const = default;
};

// An object that stores itself as bytes ("save object" and "load object").
class CSerializable {
public:
    virtual ~CSerializable() = default;
    virtual std::vector<std::uint8_t> Serialize() const = 0;
    // False when the bytes are not a valid serialisation (of the wrong length, say).
    virtual bool Deserialize(const std::vector<std::uint8_t>& bytes) = 0;
};

class CRegistryKey {
public:
    explicit CRegistryKey(HKEY root = HKEY_CURRENT_USER);
    ~CRegistryKey();
    CRegistryKey(const CRegistryKey&) = delete;
    CRegistryKey& operator=(const CRegistryKey&) = delete;

    BOOL Open(HKEY root, const std::string& subKey);
    BOOL Open(const std::string& subKey); // below the key held now
    void Close();
    BOOL Exists(HKEY root, const std::string& subKey);
    BOOL Create(HKEY root, const std::string& subKey, DWORD options = 0);
    static BOOL DeleteKey(HKEY root, const std::string& subKey);

    BOOL ValueExists(const std::string& name) const;
    BOOL DeleteValue(const std::string& name);
    BOOL WriteString(const std::string& name, const std::string& text);
    BOOL ReadString(const std::string& name, std::string& text) const;
    BOOL WriteDword(const std::string& name, DWORD value);
    BOOL ReadDword(const std::string& name, DWORD& value) const;
    BOOL WriteBinary(const std::string& name, const std::vector<std::uint8_t>& bytes);
    BOOL ReadBinary(const std::string& name, std::vector<std::uint8_t>& bytes) const;

    // The placement of a window (shell/ui/WindowPlacementQt.h turns a widget into one and back).
    BOOL SaveWindowPlacement(const std::string& name, const WindowPlacement& placement);
    BOOL LoadWindowPlacement(const std::string& name, WindowPlacement& placement) const;
    BOOL SaveObject(const std::string& name, const CSerializable& object);
    BOOL LoadObject(const std::string& name, CSerializable& object) const;

    bool IsOpen() const { return m_open; }
    const std::string& Path() const { return m_path; }

private:
    bool Writable() const { return m_open && m_root == HKEY_CURRENT_USER; }

    HKEY m_root;
    std::string m_path;    // the path last given to Open
    std::string m_heldKey; // the full path of the key held
    bool m_open = false;
};
