#include "shell/RecentFileList.h"

#include "platform/TextFormat.h"
#include "shell/RegistryKey.h"

#include <QDir>
#include <QFileInfo>
#include <QString>
#include <QStringList>

#include <algorithm>

std::string AbbreviatePath(const std::string& path, int maxLength)
{
    const QString full = QString::fromStdString(path);
    if (full.size() <= maxLength)
        return path;
    const bool absolute = full.startsWith('/');
    QStringList parts = full.split('/', Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return path;
    const QString name = parts.takeLast();
    const QString head = absolute ? "/.../" : ".../";
    QString tail = name;
    if (head.size() + tail.size() > maxLength)
        return name.toStdString();
    // Add trailing folders while the result fits.
    while (!parts.isEmpty()) {
        const QString candidate = parts.last() + "/" + tail;
        if (head.size() + candidate.size() > maxLength)
            break;
        tail = candidate;
        parts.removeLast();
    }
    if (parts.isEmpty())
        return ((absolute ? "/" : "") + tail).toStdString();
    return (head + tail).toStdString();
}

CRecentFileList::CRecentFileList(
    UINT firstCommand, std::string section, std::string entryFormat, int size, int maxDisplayLength)
    : m_firstCommand(firstCommand)
    , m_section(std::move(section))
    , m_entryFormat(std::move(entryFormat))
    , m_nSize(std::max(1, size))
    , m_maxDisplayLength(maxDisplayLength)
{
}

void CRecentFileList::Add(const std::string& path)
{
    if (path.empty())
        return;
    const std::string full = QDir::cleanPath(QFileInfo(QString::fromStdString(path)).absoluteFilePath()).toStdString();
    m_files.erase(std::remove(m_files.begin(), m_files.end(), full), m_files.end());
    m_files.insert(m_files.begin(), full);
    if (static_cast<int>(m_files.size()) > m_nSize)
        m_files.resize(static_cast<size_t>(m_nSize));
    WriteList();
}

void CRecentFileList::Remove(int index)
{
    if (index < 0 || index >= GetCount())
        return;
    m_files.erase(m_files.begin() + index);
    WriteList();
}

std::string CRecentFileList::GetDisplayName(int index) const
{
    if (index < 0 || index >= GetCount())
        return {};
    return AbbreviatePath(m_files[static_cast<size_t>(index)], m_maxDisplayLength);
}

int CRecentFileList::IndexOfCommand(UINT id) const
{
    if (id < m_firstCommand || id >= m_firstCommand + static_cast<UINT>(m_nSize))
        return -1;
    const int index = static_cast<int>(id - m_firstCommand);
    return index < GetCount() ? index : -1;
}

void CRecentFileList::ReadList()
{
    m_files.clear();
    CRegistryKey key(HKEY_CURRENT_USER);
    if (!key.Open(HKEY_CURRENT_USER, std::string(kProfileKey) + "\\" + m_section))
        return;
    for (int i = 1; i <= m_nSize; ++i) {
        std::string file;
        const std::string name = platform::Format(m_entryFormat.c_str(), i);
        if (key.ReadString(name, file) && !file.empty()
            && std::find(m_files.begin(), m_files.end(), file) == m_files.end())
            m_files.push_back(file);
    }
}

void CRecentFileList::WriteList() const
{
    const std::string keyPath = std::string(kProfileKey) + "\\" + m_section;
    CRegistryKey key(HKEY_CURRENT_USER);
    if (!key.Exists(HKEY_CURRENT_USER, keyPath))
        key.Create(HKEY_CURRENT_USER, keyPath);
    if (!key.Open(HKEY_CURRENT_USER, keyPath))
        return;
    for (int i = 1; i <= m_nSize; ++i) {
        const std::string name = platform::Format(m_entryFormat.c_str(), i);
        if (i <= GetCount())
            key.WriteString(name, m_files[static_cast<size_t>(i - 1)]);
        else if (key.ValueExists(name))
            key.DeleteValue(name);
    }
}
