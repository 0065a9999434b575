#include "shell/RecentFileList.h"

#include "platform/SettingsStore.h"
#include "shell/RegistryKey.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::string> Entries(const CRecentFileList& list)
{
    std::vector<std::string> out;
    for (int i = 0; i < list.GetCount(); ++i)
        out.push_back(list[i]);
    return out;
}

CRecentFileList MakeList()
{
    return CRecentFileList(57616, "Recent File List", "File%d", 9, 30);
}

class RecentFiles : public testing::Test {
protected:
    tonrig::test::ScopedSettingsFile settings;
};

TEST_F(RecentFiles, NewestFirstReopeningMovesUpAndATenthDropsTheOldest)
{
    CRecentFileList list = MakeList();
    list.Add("/data/a.bin");
    list.Add("/data/b.hex");
    list.Add("/data/c.bin");
    EXPECT_EQ(Entries(list), (std::vector<std::string> { "/data/c.bin", "/data/b.hex", "/data/a.bin" }));

    list.Add("/data/a.bin");
    EXPECT_EQ(Entries(list), (std::vector<std::string> { "/data/a.bin", "/data/c.bin", "/data/b.hex" }));

    for (int i = 1; i <= 9; ++i)
        list.Add("/data/f" + std::to_string(i) + ".bin");
    ASSERT_EQ(list.GetCount(), 9);
    EXPECT_EQ(list[0], "/data/f9.bin");
    EXPECT_EQ(list[8], "/data/f1.bin"); // a, c and b have dropped out, oldest first
    list.Add("/data/f10.bin");
    EXPECT_EQ(list.GetCount(), 9);
    EXPECT_EQ(list[8], "/data/f2.bin");
}

TEST_F(RecentFiles, PathsAreKeptAbsoluteAndCleanSoOneFileIsOneEntry)
{
    CRecentFileList list = MakeList();
    list.Add("/data/x/../a.bin");
    list.Add("/data//a.bin");
    list.Add("");
    EXPECT_EQ(Entries(list), (std::vector<std::string> { "/data/a.bin" }));
}

TEST_F(RecentFiles, ListSurvivesARestartOfTheStore)
{
    {
        CRecentFileList list = MakeList();
        list.Add("/data/one.bin");
        list.Add("/data/two.bin");
        list.Add("/data/three.bin");
    }
    platform::SettingsStore::Instance().Open(settings.Path()); // as a new run would

    CRegistryKey key;
    ASSERT_TRUE(
        key.Open(HKEY_CURRENT_USER, "Software\\Local AppWizard-Generated Applications\\Tonrig\\Recent File List"));
    std::string first;
    ASSERT_TRUE(key.ReadString("File1", first));
    EXPECT_EQ(first, "/data/three.bin");

    CRecentFileList again = MakeList();
    again.ReadList();
    EXPECT_EQ(Entries(again), (std::vector<std::string> { "/data/three.bin", "/data/two.bin", "/data/one.bin" }));

    // A shorter list keeps the newest.
    CRecentFileList shorter(57616, "Recent File List", "File%d", 2, 30);
    shorter.ReadList();
    EXPECT_EQ(Entries(shorter), (std::vector<std::string> { "/data/three.bin", "/data/two.bin" }));
}

TEST_F(RecentFiles, RemovedEntriesLeaveTheStoreToo)
{
    CRecentFileList list = MakeList();
    list.Add("/a.bin");
    list.Add("/b.bin");
    list.Remove(0);
    CRecentFileList again = MakeList();
    again.ReadList();
    EXPECT_EQ(Entries(again), (std::vector<std::string> { "/a.bin" }));
}

TEST_F(RecentFiles, CommandsMapToEntries)
{
    CRecentFileList list = MakeList();
    list.Add("/a.bin");
    list.Add("/b.bin");
    EXPECT_EQ(list.CommandOf(1), 57617u);
    EXPECT_EQ(list.IndexOfCommand(57617), 1);
    EXPECT_EQ(list.IndexOfCommand(57618), -1); // no third file
    EXPECT_EQ(list.IndexOfCommand(57615), -1);
}

TEST(AbbreviatePath, ShortensToThirtyCharactersKeepingTheFileName)
{
    struct Case {
        const char* path;
        const char* shown;
    };
    const Case cases[] = {
        { "/short/path.bin", "/short/path.bin" },
        { "/home/user/a.bin", "/home/user/a.bin" },
        { "/home/user/projects/firmware/build/out.hex", "/.../firmware/build/out.hex" },
        { "/home/user/projects/firmware/build/a-rather-long-name.hex", "/.../a-rather-long-name.hex" },
        { "/home/user/projects/an-extremely-long-file-name-indeed.bin", "an-extremely-long-file-name-indeed.bin" },
        { "relative/folders/that/go/on/and/on/x.bin", ".../that/go/on/and/on/x.bin" },
        { "/home/jürgen/Übertragungen/daten/bild.bin", "/.../daten/bild.bin" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const std::string shown = AbbreviatePath(c.path, 30);
        EXPECT_EQ(shown, c.shown);
        if (std::string(c.shown).find("extremely") == std::string::npos) {
            EXPECT_LE(QString::fromStdString(shown).size(), 30);
        }
    }
}

} // namespace
