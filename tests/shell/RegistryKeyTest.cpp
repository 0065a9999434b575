#include "shell/RegistryKey.h"

#include "platform/SettingsStore.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

namespace {

const char* kSettings = "Software\\Zelvo USB Programmer\\Settings";

class RegistryKeyTest : public testing::Test {
protected:
    tonrig::test::ScopedSettingsFile m_settings;
};

TEST_F(RegistryKeyTest, TheUsualCallingOrderWritesAndReadsEveryType)
{
    CRegistryKey key(HKEY_CURRENT_USER);
    EXPECT_FALSE(key.Exists(HKEY_CURRENT_USER, kSettings));
    ASSERT_TRUE(key.Create(HKEY_CURRENT_USER, kSettings));
    ASSERT_TRUE(key.Open(HKEY_CURRENT_USER, kSettings));
    EXPECT_TRUE(key.WriteString("LanguageFile", "Deutsch.dic.txt"));
    EXPECT_TRUE(key.WriteDword("LoadLastDevice", 1));
    EXPECT_TRUE(key.WriteBinary("Blob", {1, 2, 3}));
    key.Close();
    key.Close(); // twice is harmless

    CRegistryKey reader;
    ASSERT_TRUE(reader.Open(HKEY_CURRENT_USER, "software\\zelvo usb programmer\\SETTINGS"));
    std::string text;
    DWORD value = 0;
    std::vector<std::uint8_t> bytes;
    EXPECT_TRUE(reader.ReadString("languagefile", text));
    EXPECT_EQ(text, "Deutsch.dic.txt");
    EXPECT_TRUE(reader.ReadDword("LOADLASTDEVICE", value));
    EXPECT_EQ(value, 1u);
    EXPECT_TRUE(reader.ReadBinary("blob", bytes));
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_TRUE(reader.ValueExists("LanguageFile"));
    EXPECT_TRUE(reader.DeleteValue("LanguageFile"));
    EXPECT_FALSE(reader.ValueExists("LanguageFile"));
}

TEST_F(RegistryKeyTest, MismatchedOrMissingReadsFailAndKeepTheDefault)
{
    CRegistryKey key;
    ASSERT_TRUE(key.Create(HKEY_CURRENT_USER, kSettings));
    key.WriteDword("Number", 7);
    key.WriteString("Text", "abc");

    std::string text = "default";
    DWORD value = 42;
    EXPECT_FALSE(key.ReadString("Number", text));
    EXPECT_EQ(text, "default");
    EXPECT_FALSE(key.ReadDword("Text", value));
    EXPECT_EQ(value, 42u);
    EXPECT_FALSE(key.ReadDword("Missing", value));
    EXPECT_EQ(value, 42u);

    CRegistryKey closed;
    EXPECT_FALSE(closed.Open(HKEY_CURRENT_USER, "Software\\Nothing"));
    EXPECT_FALSE(closed.ReadString("Text", text));
    EXPECT_FALSE(closed.WriteString("Text", "x"));
    EXPECT_EQ(text, "default");
}

TEST_F(RegistryKeyTest, RelativeOpenAndKeyDeletion)
{
    CRegistryKey key;
    ASSERT_TRUE(key.Create(HKEY_CURRENT_USER, "Software\\Zelvo USB Programmer\\Opened Files\\0"));
    ASSERT_TRUE(key.Open(HKEY_CURRENT_USER, "Software\\Zelvo USB Programmer"));
    ASSERT_TRUE(key.Open("Opened Files\\0"));
    EXPECT_TRUE(key.WriteString("FileName", "/tmp/a.bin"));
    EXPECT_FALSE(key.Open("Missing"));
    EXPECT_FALSE(key.IsOpen());

    EXPECT_FALSE(CRegistryKey::DeleteKey(HKEY_CURRENT_USER, "Software\\Zelvo USB Programmer\\Opened Files"));
    EXPECT_TRUE(CRegistryKey::DeleteKey(HKEY_CURRENT_USER, "Software\\Zelvo USB Programmer\\Opened Files\\0"));
    EXPECT_TRUE(CRegistryKey::DeleteKey(HKEY_CURRENT_USER, "Software\\Zelvo USB Programmer\\Opened Files"));
    EXPECT_FALSE(key.Exists(HKEY_CURRENT_USER, "Software\\Zelvo USB Programmer\\Opened Files"));
}

TEST_F(RegistryKeyTest, LocalMachineIsEmptyAndReadOnly)
{
    CRegistryKey key(HKEY_LOCAL_MACHINE);
    EXPECT_FALSE(key.Create(HKEY_LOCAL_MACHINE, "Software\\X"));
    EXPECT_FALSE(key.Open(HKEY_LOCAL_MACHINE, "Software"));
    EXPECT_FALSE(key.WriteDword("X", 1));
    EXPECT_FALSE(CRegistryKey::DeleteKey(HKEY_LOCAL_MACHINE, "Software"));
}

TEST_F(RegistryKeyTest, WindowPlacementRoundTripsAndRefusesAWrongLength)
{
    CRegistryKey key;
    ASSERT_TRUE(key.Create(HKEY_CURRENT_USER, kSettings));
    WindowPlacement placement;
    placement.showCmd = 3;
    placement.left = -20;
    placement.top = 10;
    placement.right = 920;
    placement.bottom = 620;
    ASSERT_TRUE(key.SaveWindowPlacement("Frame", placement));
    std::vector<std::uint8_t> stored;
    ASSERT_TRUE(key.ReadBinary("Frame", stored));
    ASSERT_EQ(stored.size(), 40u);
    EXPECT_EQ(stored[4], 3); // show command, little-endian, second field
    EXPECT_EQ(stored[24], 0xEC); // left = -20

    WindowPlacement loaded;
    ASSERT_TRUE(key.LoadWindowPlacement("Frame", loaded));
    EXPECT_EQ(loaded, placement);

    key.WriteBinary("Short", std::vector<std::uint8_t>(39, 0x11));
    WindowPlacement untouched = placement;
    EXPECT_FALSE(key.LoadWindowPlacement("Short", untouched));
    EXPECT_EQ(untouched, placement);
}

struct Pair : CSerializable {
    std::uint16_t a = 0, b = 0;
    std::vector<std::uint8_t> Serialize() const override
    {
        return {static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(a >> 8), static_cast<std::uint8_t>(b),
                static_cast<std::uint8_t>(b >> 8)};
    }
    bool Deserialize(const std::vector<std::uint8_t>& bytes) override
    {
        if (bytes.size() != 4)
            return false;
        a = static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
        b = static_cast<std::uint16_t>(bytes[2] | bytes[3] << 8);
        return true;
    }
};

TEST_F(RegistryKeyTest, ObjectsStoreTheirOwnSerialisation)
{
    CRegistryKey key;
    ASSERT_TRUE(key.Create(HKEY_CURRENT_USER, kSettings));
    Pair out;
    out.a = 0x1234;
    out.b = 0xBEEF;
    ASSERT_TRUE(key.SaveObject("Pair", out));
    Pair in;
    ASSERT_TRUE(key.LoadObject("Pair", in));
    EXPECT_EQ(in.a, 0x1234);
    EXPECT_EQ(in.b, 0xBEEF);
    key.WriteBinary("Pair", {1, 2, 3});
    EXPECT_FALSE(key.LoadObject("Pair", in));
}

} // namespace
