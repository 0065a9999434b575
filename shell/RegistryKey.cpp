#include "shell/RegistryKey.h"

#include "platform/SettingsStore.h"

using platform::SettingsStore;
using platform::SettingValue;
using platform::ValueType;

namespace {

std::string Join(const std::string& base, const std::string& sub)
{
    if (base.empty())
        return sub;
    if (sub.empty())
        return base;
    return base + "\\" + sub;
}

void PutLe32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

std::uint32_t GetLe32(const std::vector<std::uint8_t>& in, size_t at)
{
    return static_cast<std::uint32_t>(in[at]) | (static_cast<std::uint32_t>(in[at + 1]) << 8) |
           (static_cast<std::uint32_t>(in[at + 2]) << 16) | (static_cast<std::uint32_t>(in[at + 3]) << 24);
}

} // namespace

std::vector<std::uint8_t> WindowPlacement::Serialize() const
{
    std::vector<std::uint8_t> out;
    out.reserve(40);
    for (std::uint32_t v : {flags, showCmd, static_cast<std::uint32_t>(minX), static_cast<std::uint32_t>(minY),
                            static_cast<std::uint32_t>(maxX), static_cast<std::uint32_t>(maxY),
                            static_cast<std::uint32_t>(left), static_cast<std::uint32_t>(top),
                            static_cast<std::uint32_t>(right), static_cast<std::uint32_t>(bottom)})
        PutLe32(out, v);
    return out;
}

bool WindowPlacement::Deserialize(const std::vector<std::uint8_t>& bytes)
{
    if (bytes.size() != 40)
        return false;
    flags = GetLe32(bytes, 0);
    showCmd = GetLe32(bytes, 4);
    std::int32_t* fields[] = {&minX, &minY, &maxX, &maxY, &left, &top, &right, &bottom};
    for (size_t i = 0; i < 8; ++i)
        *fields[i] = static_cast<std::int32_t>(GetLe32(bytes, 8 + 4 * i));
    return true;
}

CRegistryKey::CRegistryKey(HKEY root) : m_root(root) {}

CRegistryKey::~CRegistryKey()
{
    Close();
}

void CRegistryKey::Close()
{
    m_open = false;
    m_heldKey.clear();
}

BOOL CRegistryKey::Open(HKEY root, const std::string& subKey)
{
    Close();
    m_root = root;
    m_path = subKey;
    if (root != HKEY_CURRENT_USER || !SettingsStore::Instance().KeyExists(subKey))
        return 0;
    m_heldKey = subKey;
    m_open = true;
    return 1;
}

BOOL CRegistryKey::Open(const std::string& subKey)
{
    if (!m_open) {
        m_path = subKey;
        return 0;
    }
    const std::string full = Join(m_heldKey, subKey);
    m_path = subKey;
    Close();
    if (m_root != HKEY_CURRENT_USER || !SettingsStore::Instance().KeyExists(full))
        return 0;
    m_heldKey = full;
    m_open = true;
    return 1;
}

BOOL CRegistryKey::Exists(HKEY root, const std::string& subKey)
{
    Close();
    m_root = root;
    if (root != HKEY_CURRENT_USER || !SettingsStore::Instance().KeyExists(subKey))
        return 0;
    m_heldKey = subKey;
    m_open = true;
    return 1;
}

BOOL CRegistryKey::Create(HKEY root, const std::string& subKey, DWORD /*options*/)
{
    Close();
    m_root = root;
    if (root != HKEY_CURRENT_USER)
        return 0;
    SettingsStore& store = SettingsStore::Instance();
    if (!store.CreateKey(subKey) && !store.KeyExists(subKey))
        return 0;
    m_heldKey = subKey;
    m_open = true;
    return 1;
}

BOOL CRegistryKey::DeleteKey(HKEY root, const std::string& subKey)
{
    return root == HKEY_CURRENT_USER && SettingsStore::Instance().DeleteKey(subKey);
}

BOOL CRegistryKey::ValueExists(const std::string& name) const
{
    return m_open && SettingsStore::Instance().ValueExists(m_heldKey, name);
}

BOOL CRegistryKey::DeleteValue(const std::string& name)
{
    return Writable() && SettingsStore::Instance().DeleteValue(m_heldKey, name);
}

BOOL CRegistryKey::WriteString(const std::string& name, const std::string& text)
{
    return Writable() && SettingsStore::Instance().SetValue(m_heldKey, name, SettingValue::String(text));
}

BOOL CRegistryKey::ReadString(const std::string& name, std::string& text) const
{
    if (!m_open)
        return 0;
    auto value = SettingsStore::Instance().GetValue(m_heldKey, name);
    if (!value || value->type != ValueType::String)
        return 0;
    text = value->text;
    return 1;
}

BOOL CRegistryKey::WriteDword(const std::string& name, DWORD value)
{
    return Writable() && SettingsStore::Instance().SetValue(m_heldKey, name, SettingValue::Dword(value));
}

BOOL CRegistryKey::ReadDword(const std::string& name, DWORD& value) const
{
    if (!m_open)
        return 0;
    auto stored = SettingsStore::Instance().GetValue(m_heldKey, name);
    if (!stored || stored->type != ValueType::Dword)
        return 0;
    value = stored->dword;
    return 1;
}

BOOL CRegistryKey::WriteBinary(const std::string& name, const std::vector<std::uint8_t>& bytes)
{
    return Writable() && SettingsStore::Instance().SetValue(m_heldKey, name, SettingValue::Binary(bytes));
}

BOOL CRegistryKey::ReadBinary(const std::string& name, std::vector<std::uint8_t>& bytes) const
{
    if (!m_open)
        return 0;
    auto stored = SettingsStore::Instance().GetValue(m_heldKey, name);
    if (!stored || stored->type != ValueType::Binary)
        return 0;
    bytes = stored->binary;
    return 1;
}

BOOL CRegistryKey::SaveWindowPlacement(const std::string& name, const WindowPlacement& placement)
{
    return WriteBinary(name, placement.Serialize());
}

BOOL CRegistryKey::LoadWindowPlacement(const std::string& name, WindowPlacement& placement) const
{
    std::vector<std::uint8_t> bytes;
    WindowPlacement loaded;
    if (!ReadBinary(name, bytes) || !loaded.Deserialize(bytes))
        return 0;
    placement = loaded;
    return 1;
}

BOOL CRegistryKey::SaveObject(const std::string& name, const CSerializable& object)
{
    return WriteBinary(name, object.Serialize());
}

BOOL CRegistryKey::LoadObject(const std::string& name, CSerializable& object) const
{
    std::vector<std::uint8_t> bytes;
    return ReadBinary(name, bytes) && object.Deserialize(bytes);
}
