// What the device selection lists show over a small set of devices: opening, the type buttons,
// manufacturers, search and the favourites with their stored text.

#include "catalogue/DeviceSelectModel.h"

#include "shell/RegistryKey.h"

#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

// Twelve devices in no particular order. "27c256" differs from "27C256" only in case; 28C64
// (EEPROM), 74LS00 (TTL) and NOMFG27 (no category, no manufacturer) have no type button.
std::vector<DeviceSelectEntry> Fixture()
{
    return {
        { "27C256", "AMD", 1, 130 },
        { "AM29F010", "AMD", 3, 170 },
        { "AT89C51", "ATMEL", 4, 10 },
        { "27C512", "ATMEL", 1, 135 },
        { "24C02", "ATMEL", 5, 250 },
        { "X27C256", "XICOR", 1, 131 },
        { "28C64", "XICOR", 2, 160 },
        { "74LS00", "TI", 9, 300 },
        { "GAL16V8B", "LATTICE", 7, 310 },
        { "NOMFG27", "-1", 10, 120 },
        { "27c256", "ST", 1, 132 },
        { "6264", "ST", 6, 290 },
    };
}

const Lines kAllDevices = { "24C02", "27C256", "27C512", "28C64", "6264", "74LS00", "AM29F010", "AT89C51", "GAL16V8B",
    "NOMFG27", "X27C256" };
const Lines kAllManufacturers = { "-1", "AMD", "ATMEL", "LATTICE", "ST", "TI", "XICOR" };

std::string StoredFavorites()
{
    std::string value;
    CRegistryKey key;
    if (key.Open(HKEY_CURRENT_USER, kFavoritesKey))
        key.ReadString(kFavoritesValue, value);
    return value;
}

void StoreFavorites(const std::string& value)
{
    CRegistryKey key;
    ASSERT_TRUE(key.Create(HKEY_CURRENT_USER, kFavoritesKey));
    ASSERT_TRUE(key.Open(HKEY_CURRENT_USER, kFavoritesKey));
    ASSERT_TRUE(key.WriteString(kFavoritesValue, value));
}

class DeviceSelectModelTest : public testing::Test {
protected:
    void SetUp() override { g_strFavoriteDevices = "stale,"; }
    void TearDown() override { g_strFavoriteDevices.clear(); }

    static Lines Devices(const CDeviceSelectModel& m)
    {
        Lines lines;
        for (std::size_t e : m.Devices())
            lines.push_back(m.Entries()[e].name);
        return lines;
    }
    static Lines Favorites(const CDeviceSelectModel& m)
    {
        Lines lines;
        for (std::size_t e : m.Favorites())
            lines.push_back(m.Entries()[e].name);
        return lines;
    }
    static int DeviceLineOf(const CDeviceSelectModel& m, const std::string& name)
    {
        const Lines lines = Devices(m);
        for (std::size_t i = 0; i < lines.size(); ++i)
            if (lines[i] == name)
                return static_cast<int>(i);
        return -1;
    }

    tonrig::test::ScopedSettingsFile settings;
    CDeviceSelectModel model { Fixture() };
};

TEST_F(DeviceSelectModelTest, OpeningShowsEveryManufacturerEachNameOnceAndTheFavourites)
{
    StoreFavorites("X27C256,27C256,");
    model.Open(CDeviceSelectModel::ReadStoredFavorites());
    EXPECT_EQ(model.Category(), 0);
    EXPECT_EQ(model.ManufacturerFilter(), "ALL");
    EXPECT_EQ(model.Manufacturers(), kAllManufacturers);
    EXPECT_EQ(Devices(model), kAllDevices);
    EXPECT_EQ(model.DeviceLine(1).classIndex, 130) << "the first of two names equal ignoring case gives the line";
    EXPECT_EQ(Favorites(model), (Lines { "27C256", "X27C256" }));
    EXPECT_EQ(model.FavoriteLine(0).classIndex, 130);
    EXPECT_EQ(g_strFavoriteDevices, "X27C256,27C256,");
    EXPECT_EQ(model.ManufacturerHighlight(), 0);
    EXPECT_EQ(model.DeviceHighlight(), 0);
    EXPECT_EQ(model.FavoriteHighlight(), -1);
    EXPECT_EQ(model.Search(), "");
}

TEST_F(DeviceSelectModelTest, TypeButtonsShowTheirCategoryFromTheFirstManufacturer)
{
    model.Open("");
    const struct {
        int category;
        Lines manufacturers;
        std::string filter;
        Lines devices;
    } cases[] = {
        { 1, { "AMD", "ATMEL", "ST", "XICOR" }, "AMD", { "27C256" } },
        { 3, { "AMD" }, "AMD", { "AM29F010" } },
        { 4, { "ATMEL" }, "ATMEL", { "AT89C51" } },
        { 5, { "ATMEL" }, "ATMEL", { "24C02" } },
        { 6, { "ST" }, "ST", { "6264" } },
        { 7, { "LATTICE" }, "LATTICE", { "GAL16V8B" } },
        { 8, {}, "LATTICE", {} }, // nothing of this category: both lists empty, the filter stays
        { 0, kAllManufacturers, "ALL", kAllDevices },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.category);
        model.SelectCategory(c.category);
        EXPECT_EQ(model.Manufacturers(), c.manufacturers);
        EXPECT_EQ(model.ManufacturerFilter(), c.filter);
        EXPECT_EQ(Devices(model), c.devices);
        EXPECT_EQ(model.DeviceHighlight(), c.devices.empty() ? -1 : 0);
        EXPECT_EQ(model.FavoriteHighlight(), -1);
    }
}

TEST_F(DeviceSelectModelTest, AManufacturerShowsItsOwnDevicesInTheirOwnCase)
{
    model.Open("");
    model.SelectCategory(1);
    model.SelectManufacturer(2); // ST
    EXPECT_EQ(model.ManufacturerFilter(), "ST");
    EXPECT_EQ(Devices(model), Lines { "27c256" });
    EXPECT_EQ(model.DeviceLine(0).classIndex, 132);
    EXPECT_EQ(model.DeviceHighlight(), 0);

    model.SelectCategory(0);
    model.SelectManufacturer(0); // "-1": the devices without a manufacturer
    EXPECT_EQ(Devices(model), Lines { "NOMFG27" });
}

TEST_F(DeviceSelectModelTest, EverySearchChangeShowsTheListForTheWholeText)
{
    model.Open("");
    const Lines two = { "24C02", "27C256", "27C512", "28C64", "6264", "AM29F010", "NOMFG27", "X27C256" };
    const Lines twentySeven = { "27C256", "27C512", "NOMFG27", "X27C256" };
    const Lines twentySevenC = { "27C256", "27C512", "X27C256" };
    const struct {
        const char* name;
        std::vector<std::string> steps; // successive texts of the box
        Lines devices;
    } cases[] = {
        { "one digit", { "2" }, two },
        { "typed 27C", { "2", "27", "27C" }, twentySevenC },
        { "backspace", { "2", "27", "27C", "27" }, twentySeven },
        { "a digit found in the middle", { "7" }, { "27C256", "27C512", "74LS00", "NOMFG27", "X27C256" } },
        { "a letter", { "C" }, { "24C02", "27C256", "27C512", "28C64", "AT89C51", "X27C256" } },
        { "pasted, then backspace", { "27C", "27" }, twentySeven },
        { "a replaced by b", { "A", "B" }, { "GAL16V8B" } },
        { "lower case", { "27c" }, twentySevenC },
        { "emptied", { "27C", "" }, kAllDevices },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        model.SelectCategory(0);
        for (const auto& text : c.steps)
            EXPECT_FALSE(model.SetSearch(text));
        EXPECT_EQ(Devices(model), c.devices);
        EXPECT_EQ(model.ManufacturerHighlight(), 0);
    }
}

TEST_F(DeviceSelectModelTest, SixtyCharactersTypedAndDeletedComeBackToTheFirstList)
{
    model.Open("");
    std::string text = "2";
    model.SetSearch(text);
    const Lines first = Devices(model);
    for (int i = 0; i < 59; ++i) {
        text += 'X';
        model.SetSearch(text);
    }
    EXPECT_TRUE(Devices(model).empty());
    EXPECT_EQ(model.DeviceHighlight(), -1);
    while (text.size() > 1) {
        text.pop_back();
        model.SetSearch(text);
    }
    EXPECT_EQ(Devices(model), first);
}

TEST_F(DeviceSelectModelTest, TypingInATypeViewSwitchesToAllAndEmptiesTheBox)
{
    model.Open("");
    model.SelectCategory(1);
    EXPECT_TRUE(model.SetSearch("2"));
    EXPECT_EQ(model.Category(), 0);
    EXPECT_EQ(model.ManufacturerFilter(), "ALL");
    EXPECT_EQ(model.Search(), "");
    EXPECT_EQ(Devices(model), kAllDevices);
    // Emptying the box in a type view is no typing.
    model.SelectCategory(4);
    EXPECT_FALSE(model.SetSearch(""));
    EXPECT_EQ(model.Category(), 4);
}

TEST_F(DeviceSelectModelTest, ASearchKeepsTheHighlightWhileItsLineStaysElseTakesTheFirstHit)
{
    model.Open("");
    model.HighlightDevice(DeviceLineOf(model, "27C512"));
    model.SetSearch("27");
    EXPECT_EQ(model.DeviceHighlight(), DeviceLineOf(model, "27C512"));
    model.SetSearch("27C2");
    EXPECT_EQ(model.DeviceHighlight(), 0);
    ASSERT_NE(model.Highlighted(), nullptr);
    EXPECT_EQ(model.Highlighted()->name, Devices(model).front());
    model.SetSearch("27C2ZZ");
    EXPECT_EQ(model.DeviceHighlight(), -1);
    EXPECT_EQ(model.Highlighted(), nullptr);
}

TEST_F(DeviceSelectModelTest, LinesAfterTheStopLineAreNotFiltered)
{
    CDeviceSelectModel xilinx({ { "XC9536", "XILINX", 7, 311 }, { "XILINX 5V DEVICES", "XILINX", 7, 311 },
        { "XC95108", "XILINX", 7, 311 }, { "XCR3064", "XILINX", 7, 311 }, { "ZZ27C", "X", 7, 311 },
        { "AA27C", "X", 7, 311 }, { "ZZTOP", "X", 7, 311 } });
    xilinx.Open("");
    xilinx.SetSearch("27C");
    Lines lines;
    for (std::size_t e : xilinx.Devices())
        lines.push_back(xilinx.Entries()[e].name);
    EXPECT_EQ(lines, (Lines { "AA27C", "ZZ27C", "ZZTOP" }));
    xilinx.SetSearch("9");
    lines.clear();
    for (std::size_t e : xilinx.Devices())
        lines.push_back(xilinx.Entries()[e].name);
    EXPECT_EQ(lines, (Lines { "XC95108", "XC9536", "ZZ27C", "ZZTOP" }));
}

TEST_F(DeviceSelectModelTest, FavouritesAreAddedOnceAndRemovedByTheirExactEntry)
{
    StoreFavorites("X27C256,27C256,");
    model.Open(CDeviceSelectModel::ReadStoredFavorites());

    model.HighlightDevice(DeviceLineOf(model, "AT89C51"));
    EXPECT_EQ(model.AddFavorite(), CDeviceSelectModel::AddResult::Added);
    EXPECT_EQ(Favorites(model), (Lines { "27C256", "AT89C51", "X27C256" }));
    EXPECT_EQ(g_strFavoriteDevices, "X27C256,27C256,AT89C51,");
    EXPECT_EQ(StoredFavorites(), g_strFavoriteDevices);

    // The same name in other case (ST's EPROM "27c256") is already listed.
    model.SelectCategory(1);
    model.SelectManufacturer(2);
    EXPECT_EQ(model.AddFavorite(), CDeviceSelectModel::AddResult::AlreadyListed);
    EXPECT_EQ(Favorites(model).size(), 3u);

    // The middle one goes; the next one takes its place as the highlight.
    model.HighlightFavorite(1);
    EXPECT_EQ(model.DeviceHighlight(), -1);
    ASSERT_TRUE(model.RemoveFavorite());
    EXPECT_EQ(Favorites(model), (Lines { "27C256", "X27C256" }));
    EXPECT_EQ(model.FavoriteHighlight(), 1);
    EXPECT_EQ(model.Highlighted()->name, "X27C256");
    EXPECT_EQ(g_strFavoriteDevices, "X27C256,27C256,");

    // "27C256" goes, "X27C256" that ends in it stays; removing the last line leaves no highlight.
    model.HighlightFavorite(0);
    ASSERT_TRUE(model.RemoveFavorite());
    EXPECT_EQ(g_strFavoriteDevices, "X27C256,");
    model.HighlightFavorite(0);
    ASSERT_TRUE(model.RemoveFavorite());
    EXPECT_EQ(model.FavoriteHighlight(), -1);
    EXPECT_EQ(g_strFavoriteDevices, "");
    EXPECT_EQ(StoredFavorites(), "");
    EXPECT_FALSE(model.RemoveFavorite());

    // Nothing highlighted: nothing added.
    model.HighlightDevice(-1);
    EXPECT_EQ(model.AddFavorite(), CDeviceSelectModel::AddResult::NothingHighlighted);
}

TEST_F(DeviceSelectModelTest, StoredFavouritesAreReadUpToTheLastComma)
{
    const struct {
        const char* stored;
        Lines favorites;
        std::string text;
    } cases[] = {
        { "", {}, "" },
        { ",A,", {}, "" },
        { ",27C256,", {}, "" },
        { "27C256", {}, "" },
        { "27C256,AT89C51", { "27C256" }, "27C256," },
        { "NOPE,27C256,", { "27C256" }, "27C256," },
        { "27C256,27C256,", { "27C256" }, "27C256," },
        { "27C256,27c256,", { "27C256" }, "27C256," },
        { "27c256,", { "27c256" }, "27c256," },
        { "X27C256,,27C256,", { "X27C256" }, "X27C256," },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        CDeviceSelectModel m(Fixture());
        m.Open(c.stored);
        EXPECT_EQ(Favorites(m), c.favorites);
        EXPECT_EQ(g_strFavoriteDevices, c.text);
    }
}

TEST_F(DeviceSelectModelTest, ANameWithoutARecordLeavesTheStoreUntilAButtonWritesIt)
{
    StoreFavorites("GONE,27C256,");
    model.Open(CDeviceSelectModel::ReadStoredFavorites());
    EXPECT_EQ(g_strFavoriteDevices, "27C256,");
    EXPECT_EQ(StoredFavorites(), "GONE,27C256,");
    model.HighlightDevice(DeviceLineOf(model, "6264"));
    EXPECT_EQ(model.AddFavorite(), CDeviceSelectModel::AddResult::Added);
    EXPECT_EQ(StoredFavorites(), "27C256,6264,");
}

TEST_F(DeviceSelectModelTest, ANameWithACommaIsNoFavouriteAndLongNamesStayWhole)
{
    const std::string longName(300, 'L');
    CDeviceSelectModel m({ { "A,B", "X", 1, 130 }, { longName, "X", 1, 131 } });
    m.Open("");
    m.HighlightDevice(0);
    EXPECT_EQ(m.AddFavorite(), CDeviceSelectModel::AddResult::NameHasComma);
    EXPECT_TRUE(m.Favorites().empty());
    m.HighlightDevice(1);
    EXPECT_EQ(m.AddFavorite(), CDeviceSelectModel::AddResult::Added);
    CDeviceSelectModel reopened({ { "A,B", "X", 1, 130 }, { longName, "X", 1, 131 } });
    reopened.Open(CDeviceSelectModel::ReadStoredFavorites());
    ASSERT_EQ(reopened.Favorites().size(), 1u);
    EXPECT_EQ(reopened.FavoriteLine(0).name, longName);
}

} // namespace
