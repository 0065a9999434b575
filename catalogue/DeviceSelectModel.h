#pragma once
// What the device selection dialog shows, free of widgets: the manufacturer, device and
// favourite lists for a category, a manufacturer and a search text, and the favourites as they
// are stored. Each list line carries the device it stands for.
//
// Lists are sorted ignoring case and hold one line per name ignoring case; of two devices whose
// names differ only in case, the first in device order gives the line.

#include <cstddef>
#include <string>
#include <vector>

class CDeviceRecord;

// The favourites as stored: names each followed by ",", those without a device dropped.
extern std::string g_strFavoriteDevices;

// Where the favourites are stored.
inline constexpr const char* kFavoritesKey = "Software\\Zelvo USB Programmer\\Settings";
inline constexpr const char* kFavoritesValue = "FavoriteDiviceList";

// One device as the dialog lists it.
struct DeviceSelectEntry {
    std::string name;
    std::string manufacturer;
    int category = 10;
    int classIndex = 326;
    const CDeviceRecord* record = nullptr; // the device record it comes from
};

class CDeviceSelectModel {
public:
    static constexpr const char* kAllManufacturers = "ALL";
    // The list line after which a search leaves every further line unfiltered.
    static constexpr const char* kSearchStopLine = "XILINX 5V DEVICES";
    static constexpr int kNoLine = -1;

    explicit CDeviceSelectModel(std::vector<DeviceSelectEntry> entries);

    // Opening: ALL, both lists filled with their line 0 highlighted, then the favourites from
    // `storedFavorites` (the stored text; g_strFavoriteDevices is rebuilt from it).
    void Open(const std::string& storedFavorites);
    // The stored favourites text, or "" when there is none.
    static std::string ReadStoredFavorites();

    // A type button. 0 is ALL, which also makes the manufacturer filter ALL. Empties the search.
    void SelectCategory(int category);
    // The user picked manufacturer line `line`: its devices, line 0 highlighted.
    void SelectManufacturer(int line);

    // The search text changed. The highlighted device line stays while it is listed; else the
    // first line is highlighted, or none when nothing is listed. True when it switched a category
    // view to ALL and emptied the search text: the caller empties its search box.
    bool SetSearch(const std::string& text);

    // The user's highlight; the other list loses its highlight.
    void HighlightDevice(int line);
    void HighlightFavorite(int line);

    enum class AddResult { Added, NothingHighlighted, AlreadyListed, NameHasComma };
    // ">>": the highlighted device joins the favourites and the store.
    AddResult AddFavorite();
    // "<<": the highlighted favourite leaves the list and the store. False when none was.
    bool RemoveFavorite();

    int Category() const { return m_nCategoryFilter; }
    const std::string& ManufacturerFilter() const { return m_strManufacturerFilter; }
    const std::string& Search() const { return m_strSearch; }

    const std::vector<std::string>& Manufacturers() const { return m_manufacturers; }
    // Lines as positions in Entries().
    const std::vector<std::size_t>& Devices() const { return m_devices; }
    const std::vector<std::size_t>& Favorites() const { return m_favorites; }
    const std::vector<DeviceSelectEntry>& Entries() const { return m_entries; }
    const DeviceSelectEntry& DeviceLine(int line) const { return m_entries[m_devices[line]]; }
    const DeviceSelectEntry& FavoriteLine(int line) const { return m_entries[m_favorites[line]]; }

    int ManufacturerHighlight() const { return m_nManufacturerHighlight; }
    int DeviceHighlight() const { return m_nDeviceHighlight; }
    int FavoriteHighlight() const { return m_nFavoriteHighlight; }
    // The highlighted device line, else the highlighted favourite, else null.
    const DeviceSelectEntry* Highlighted() const;

private:
    void FillManufacturers();
    void FillDevices();
    void LoadFavorites(const std::string& stored);
    static void WriteFavorites();
    void InsertFavorite(std::size_t entry);
    int FindFavorite(const std::string& name) const; // ignoring case; kNoLine when absent
    bool Matches(std::size_t entry) const;

    std::vector<DeviceSelectEntry> m_entries;
    std::vector<std::string> m_upperNames;
    std::vector<std::size_t> m_sorted; // entries by name ignoring case, ties in device order
    std::vector<std::size_t> m_nameRun; // per m_sorted position: one number per name ignoring case

    int m_nCategoryFilter = 0;
    std::string m_strManufacturerFilter = kAllManufacturers;
    std::string m_strSearch;
    std::string m_strUpperSearch;

    std::vector<std::string> m_manufacturers;
    std::vector<std::size_t> m_devices;
    std::vector<std::size_t> m_favorites;
    int m_nManufacturerHighlight = kNoLine;
    int m_nDeviceHighlight = kNoLine;
    int m_nFavoriteHighlight = kNoLine;
};

// ASCII letters to upper case, every other byte kept: the case rule of device names.
std::string UpperAscii(const std::string& text);
