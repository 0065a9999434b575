#include "catalogue/DeviceSelectModel.h"

#include "shell/RegistryKey.h"

#include <QString>

#include <algorithm>
#include <numeric>
#include <unordered_set>

std::string g_strFavoriteDevices;

std::string UpperAscii(const std::string& text)
{
    std::string upper = text;
    for (char& c : upper)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return upper;
}

namespace {

int CompareIgnoringCase(const QString& a, const QString& b)
{
    return QString::compare(a, b, Qt::CaseInsensitive);
}

} // namespace

CDeviceSelectModel::CDeviceSelectModel(std::vector<DeviceSelectEntry> entries)
    : m_entries(std::move(entries))
{
    std::vector<QString> names;
    names.reserve(m_entries.size());
    m_upperNames.reserve(m_entries.size());
    for (const auto& e : m_entries) {
        names.push_back(QString::fromStdString(e.name));
        m_upperNames.push_back(UpperAscii(e.name));
    }
    m_sorted.resize(m_entries.size());
    std::iota(m_sorted.begin(), m_sorted.end(), std::size_t { 0 });
    std::stable_sort(m_sorted.begin(), m_sorted.end(),
        [&](std::size_t a, std::size_t b) { return CompareIgnoringCase(names[a], names[b]) < 0; });
    m_nameRun.resize(m_sorted.size());
    for (std::size_t i = 1; i < m_sorted.size(); ++i)
        m_nameRun[i] = m_nameRun[i - 1] + (CompareIgnoringCase(names[m_sorted[i]], names[m_sorted[i - 1]]) != 0);
}

std::string CDeviceSelectModel::ReadStoredFavorites()
{
    std::string stored;
    CRegistryKey key;
    if (key.Open(HKEY_CURRENT_USER, kFavoritesKey)) {
        if (!key.ReadString(kFavoritesValue, stored))
            stored.clear();
        key.Close();
    }
    return stored;
}

void CDeviceSelectModel::WriteFavorites()
{
    CRegistryKey key;
    if (!key.Exists(HKEY_CURRENT_USER, kFavoritesKey))
        key.Create(HKEY_CURRENT_USER, kFavoritesKey);
    if (key.Open(HKEY_CURRENT_USER, kFavoritesKey)) {
        key.WriteString(kFavoritesValue, g_strFavoriteDevices);
        key.Close();
    }
}

void CDeviceSelectModel::Open(const std::string& storedFavorites)
{
    SelectCategory(0);
    FillManufacturers();
    LoadFavorites(storedFavorites);
}

void CDeviceSelectModel::LoadFavorites(const std::string& stored)
{
    m_favorites.clear();
    m_nFavoriteHighlight = kNoLine;
    g_strFavoriteDevices.clear();
    std::string rest = stored;
    for (std::size_t comma = rest.find(','); comma != std::string::npos && comma > 0; comma = rest.find(',')) {
        const std::string name = rest.substr(0, comma);
        rest.erase(0, comma + 1);
        for (std::size_t i = 0; i < m_entries.size(); ++i) {
            if (m_entries[i].name != name || FindFavorite(name) != kNoLine)
                continue;
            InsertFavorite(i);
            g_strFavoriteDevices += name + ",";
        }
    }
}

bool CDeviceSelectModel::Matches(std::size_t entry) const
{
    const DeviceSelectEntry& e = m_entries[entry];
    if (m_nCategoryFilter != 0 && e.category != m_nCategoryFilter)
        return false;
    return m_strManufacturerFilter == kAllManufacturers || e.manufacturer == m_strManufacturerFilter;
}

void CDeviceSelectModel::FillManufacturers()
{
    // A manufacturer stays when one of its devices, in any category, fits the search.
    std::unordered_set<std::string> searched;
    if (!m_strUpperSearch.empty())
        for (std::size_t i = 0; i < m_entries.size(); ++i)
            if (!m_entries[i].name.empty() && m_upperNames[i].find(m_strUpperSearch) != std::string::npos)
                searched.insert(m_entries[i].manufacturer);

    std::vector<QString> found;
    std::unordered_set<std::string> seen;
    for (const auto& e : m_entries) {
        if (m_nCategoryFilter != 0 && e.category != m_nCategoryFilter)
            continue;
        if (!m_strUpperSearch.empty() && !searched.count(e.manufacturer))
            continue;
        if (seen.insert(e.manufacturer).second)
            found.push_back(QString::fromStdString(e.manufacturer));
    }
    std::stable_sort(
        found.begin(), found.end(), [](const QString& a, const QString& b) { return CompareIgnoringCase(a, b) < 0; });
    m_manufacturers.clear();
    for (std::size_t i = 0; i < found.size(); ++i)
        if (i == 0 || CompareIgnoringCase(found[i], found[i - 1]) != 0)
            m_manufacturers.push_back(found[i].toStdString());
    m_nManufacturerHighlight = m_manufacturers.empty() ? kNoLine : 0;
}

void CDeviceSelectModel::FillDevices()
{
    m_devices.clear();
    bool stopped = false; // past the stop line nothing is filtered
    std::size_t lastRun = SIZE_MAX;
    for (std::size_t i = 0; i < m_sorted.size(); ++i) {
        const std::size_t entry = m_sorted[i];
        if (!Matches(entry) || m_entries[entry].name.empty())
            continue;
        // Names equal ignoring case form one run; the run's first device that passes is its line.
        if (m_nameRun[i] == lastRun)
            continue;
        lastRun = m_nameRun[i];
        if (!stopped && !m_strUpperSearch.empty() && m_upperNames[entry].find(m_strUpperSearch) == std::string::npos) {
            if (m_entries[entry].name == kSearchStopLine)
                stopped = true;
            continue;
        }
        m_devices.push_back(entry);
    }
}

void CDeviceSelectModel::SelectCategory(int category)
{
    m_nCategoryFilter = category;
    if (category == 0)
        m_strManufacturerFilter = kAllManufacturers;
    m_strSearch.clear();
    m_strUpperSearch.clear();
    FillManufacturers();
    if (m_manufacturers.empty()) {
        m_devices.clear();
        m_nDeviceHighlight = kNoLine;
        return;
    }
    if (category != 0)
        m_strManufacturerFilter = m_manufacturers[0];
    FillDevices();
    m_nManufacturerHighlight = 0;
    m_nDeviceHighlight = m_devices.empty() ? kNoLine : 0;
    m_nFavoriteHighlight = kNoLine;
}

void CDeviceSelectModel::SelectManufacturer(int line)
{
    if (line < 0 || line >= static_cast<int>(m_manufacturers.size()))
        return;
    m_nManufacturerHighlight = line;
    m_strManufacturerFilter = m_manufacturers[line];
    FillDevices();
    m_nDeviceHighlight = m_devices.empty() ? kNoLine : 0;
    m_nFavoriteHighlight = kNoLine;
}

bool CDeviceSelectModel::SetSearch(const std::string& text)
{
    m_strSearch = text;
    m_strUpperSearch = UpperAscii(text);
    if (!text.empty() && m_nCategoryFilter != 0) {
        SelectCategory(0);
        return true;
    }
    const std::size_t kept = m_nDeviceHighlight == kNoLine ? SIZE_MAX : m_devices[m_nDeviceHighlight];
    FillDevices();
    m_nManufacturerHighlight = m_manufacturers.empty() ? kNoLine : 0;
    const auto at = std::find(m_devices.begin(), m_devices.end(), kept);
    if (at != m_devices.end()) {
        m_nDeviceHighlight = static_cast<int>(at - m_devices.begin());
    } else if (!m_devices.empty()) {
        // The highlighted line went: the first hit takes its place, so that Select takes what
        // the list shows.
        m_nDeviceHighlight = 0;
        m_nFavoriteHighlight = kNoLine;
    } else {
        m_nDeviceHighlight = kNoLine;
    }
    return false;
}

void CDeviceSelectModel::HighlightDevice(int line)
{
    m_nDeviceHighlight = line >= 0 && line < static_cast<int>(m_devices.size()) ? line : kNoLine;
    m_nFavoriteHighlight = kNoLine;
}

void CDeviceSelectModel::HighlightFavorite(int line)
{
    m_nFavoriteHighlight = line >= 0 && line < static_cast<int>(m_favorites.size()) ? line : kNoLine;
    m_nDeviceHighlight = kNoLine;
}

const DeviceSelectEntry* CDeviceSelectModel::Highlighted() const
{
    if (m_nDeviceHighlight != kNoLine)
        return &DeviceLine(m_nDeviceHighlight);
    if (m_nFavoriteHighlight != kNoLine)
        return &FavoriteLine(m_nFavoriteHighlight);
    return nullptr;
}

int CDeviceSelectModel::FindFavorite(const std::string& name) const
{
    const QString q = QString::fromStdString(name);
    for (std::size_t i = 0; i < m_favorites.size(); ++i)
        if (CompareIgnoringCase(QString::fromStdString(m_entries[m_favorites[i]].name), q) == 0)
            return static_cast<int>(i);
    return kNoLine;
}

void CDeviceSelectModel::InsertFavorite(std::size_t entry)
{
    const QString name = QString::fromStdString(m_entries[entry].name);
    const auto at = std::find_if(m_favorites.begin(), m_favorites.end(),
        [&](std::size_t f) { return CompareIgnoringCase(QString::fromStdString(m_entries[f].name), name) > 0; });
    const int position = static_cast<int>(at - m_favorites.begin());
    m_favorites.insert(at, entry);
    if (m_nFavoriteHighlight != kNoLine && m_nFavoriteHighlight >= position)
        ++m_nFavoriteHighlight;
}

CDeviceSelectModel::AddResult CDeviceSelectModel::AddFavorite()
{
    if (m_nDeviceHighlight == kNoLine)
        return AddResult::NothingHighlighted;
    const std::size_t entry = m_devices[m_nDeviceHighlight];
    const std::string& name = m_entries[entry].name;
    // The stored list separates names by commas; such a name would come back as two.
    if (name.find(',') != std::string::npos)
        return AddResult::NameHasComma;
    if (FindFavorite(name) != kNoLine)
        return AddResult::AlreadyListed;
    InsertFavorite(entry);
    g_strFavoriteDevices += name + ",";
    WriteFavorites();
    return AddResult::Added;
}

bool CDeviceSelectModel::RemoveFavorite()
{
    if (m_nFavoriteHighlight == kNoLine)
        return false;
    const int line = m_nFavoriteHighlight;
    const std::string name = FavoriteLine(line).name;
    m_favorites.erase(m_favorites.begin() + line);
    // Only the entry that is exactly this name goes, never a longer name that ends in it.
    for (std::size_t start = 0; start < g_strFavoriteDevices.size();) {
        const std::size_t comma = g_strFavoriteDevices.find(',', start);
        if (comma == std::string::npos)
            break;
        if (g_strFavoriteDevices.compare(start, comma - start, name) == 0) {
            g_strFavoriteDevices.erase(start, comma - start + 1);
            break;
        }
        start = comma + 1;
    }
    WriteFavorites();
    m_nFavoriteHighlight = line < static_cast<int>(m_favorites.size()) ? line : kNoLine;
    m_nDeviceHighlight = kNoLine;
    return true;
}
