#include "platform/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using platform::SettingsStore;
using platform::SettingValue;

namespace {

class SettingsStoreTest : public testing::Test {
protected:
    std::string Path() const { return m_dir.path().toStdString() + "/nested/settings.json"; }
    QTemporaryDir m_dir;
    std::vector<std::string> m_log;
    void Capture(SettingsStore& store)
    {
        store.SetLogSink([this](const std::string& line) { m_log.push_back(line); });
    }
};

TEST_F(SettingsStoreTest, EveryTypeSurvivesAReopen)
{
    {
        SettingsStore store(Path());
        EXPECT_TRUE(store.SetValue("Software\\Zelvo", "Name", SettingValue::String("Grüße \"quoted\"")));
        EXPECT_TRUE(store.SetValue("Software\\Zelvo", "Count", SettingValue::Dword(0xFFFFFFFF)));
        EXPECT_TRUE(store.SetValue("Software\\Zelvo", "Bytes", SettingValue::Binary({0, 0xFF, 0x7F})));
        EXPECT_TRUE(store.SetValue("Software\\Zelvo", "Empty", SettingValue::Binary({})));
        EXPECT_TRUE(store.CreateKey("Software\\Zelvo\\Empty Key"));
    }
    SettingsStore reopened(Path());
    EXPECT_EQ(reopened.GetValue("software\\zelvo", "name"), SettingValue::String("Grüße \"quoted\""));
    EXPECT_EQ(reopened.GetValue("Software\\Zelvo", "COUNT"), SettingValue::Dword(0xFFFFFFFF));
    EXPECT_EQ(reopened.GetValue("Software\\Zelvo", "Bytes"), SettingValue::Binary({0, 0xFF, 0x7F}));
    EXPECT_EQ(reopened.GetValue("Software\\Zelvo", "Empty"), SettingValue::Binary({}));
    EXPECT_TRUE(reopened.KeyExists("SOFTWARE\\ZELVO\\EMPTY KEY"));
}

TEST_F(SettingsStoreTest, NamesMatchAcrossCaseAndKeepTheirFirstSpelling)
{
    SettingsStore store(Path());
    store.SetValue("Software\\MixedCase", "LastDevice", SettingValue::String("a"));
    store.SetValue("SOFTWARE\\mixedcase", "LASTDEVICE", SettingValue::String("b"));
    EXPECT_EQ(store.SubKeyNames("software"), std::vector<std::string>{"MixedCase"});
    EXPECT_EQ(store.ValueNames("Software\\MixedCase"), std::vector<std::string>{"LastDevice"});
    EXPECT_EQ(store.GetValue("software\\MIXEDCASE", "lastdevice")->text, "b");
}

TEST_F(SettingsStoreTest, DeletingAKeyWithSubkeysFails)
{
    SettingsStore store(Path());
    store.CreateKey("A\\B\\C");
    EXPECT_FALSE(store.DeleteKey("A\\B"));
    EXPECT_FALSE(store.DeleteKey("A\\X"));
    EXPECT_TRUE(store.DeleteKey("A\\B\\C"));
    EXPECT_TRUE(store.DeleteKey("A\\B"));
    EXPECT_FALSE(store.KeyExists("A\\B"));
    EXPECT_TRUE(store.KeyExists("A"));
}

TEST_F(SettingsStoreTest, ADamagedFileLoadsAsDefaultsAndIsKeptAside)
{
    const std::vector<QByteArray> damaged = {
        "{\"root\": {\"values\": {\"X\": {\"type\": \"string\", \"data\": \"abc\"", // truncated
        "not json at all",
        "[1, 2, 3]",
        "{\"root\": {\"values\": {\"X\": {\"type\": \"dword\", \"data\": -5}}}}",
        "{\"root\": {\"values\": {\"X\": {\"type\": \"binary\", \"data\": \"zz\"}}}}",
        "{\"root\": {\"keys\": {\"K\": 5}}}",
    };
    for (const QByteArray& bytes : damaged) {
        SCOPED_TRACE(bytes.toStdString());
        QDir(m_dir.path()).removeRecursively();
        QDir().mkpath(m_dir.path() + "/nested");
        QFile file(QString::fromStdString(Path()));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();

        m_log.clear();
        SettingsStore store("/nonexistent-at-first");
        Capture(store);
        store.Open(Path());
        EXPECT_FALSE(store.ValueExists("", "X"));
        ASSERT_EQ(m_log.size(), 1u);
        EXPECT_NE(m_log[0].find("damaged"), std::string::npos);
        const QStringList aside = QDir(m_dir.path() + "/nested").entryList({"settings.json.damaged-*"});
        ASSERT_EQ(aside.size(), 1);
        QFile kept(m_dir.path() + "/nested/" + aside[0]);
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(kept.readAll(), bytes);

        EXPECT_TRUE(store.SetValue("K", "V", SettingValue::Dword(1)));
        EXPECT_EQ(SettingsStore(Path()).GetValue("K", "V"), SettingValue::Dword(1));
    }
}

TEST_F(SettingsStoreTest, TwoThreadsWritingLoseNothing)
{
    SettingsStore store(Path());
    auto writer = [&](const std::string& prefix) {
        for (int i = 0; i < 50; ++i)
            store.SetValue("Software\\Threads", prefix + std::to_string(i), SettingValue::Dword(static_cast<std::uint32_t>(i)));
    };
    std::thread a(writer, "a");
    std::thread b(writer, "b");
    a.join();
    b.join();
    SettingsStore reopened(Path());
    EXPECT_EQ(reopened.ValueNames("Software\\Threads").size(), 100u);
    EXPECT_EQ(reopened.GetValue("Software\\Threads", "b49"), SettingValue::Dword(49));
}

TEST_F(SettingsStoreTest, AFailedSaveLeavesThePreviousFileIntact)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders";
    SettingsStore store(Path());
    ASSERT_TRUE(store.SetValue("K", "V", SettingValue::String("first")));
    const std::string folder = m_dir.path().toStdString() + "/nested";
    ASSERT_EQ(chmod(folder.c_str(), 0555), 0);
    Capture(store);
    EXPECT_FALSE(store.SetValue("K", "V", SettingValue::String("second")));
    chmod(folder.c_str(), 0755);
    EXPECT_EQ(m_log.size(), 1u);
    EXPECT_EQ(SettingsStore(Path()).GetValue("K", "V")->text, "first");
}

TEST_F(SettingsStoreTest, AFailedSaveIntoAFileInPlaceOfItsFolderLeavesNoFile)
{
    // Works as root too: the folder cannot be made where a file stands.
    const std::string blocker = m_dir.path().toStdString() + "/blocker";
    QFile(QString::fromStdString(blocker)).open(QIODevice::WriteOnly);
    SettingsStore store(blocker + "/settings.json");
    Capture(store);
    EXPECT_FALSE(store.SetValue("K", "V", SettingValue::Dword(1)));
    EXPECT_EQ(store.GetValue("K", "V"), SettingValue::Dword(1)); // still held for this run
    EXPECT_FALSE(m_log.empty());
}

} // namespace

namespace {

TEST_F(SettingsStoreTest, AWriteWhileAnotherCopyHoldsTheLockIsRefusedAndTheFileKept)
{
    SettingsStore store(Path());
    ASSERT_TRUE(store.SetValue("K", "V", SettingValue::String("first")));
    QLockFile other(QString::fromStdString(Path()) + ".lock");
    ASSERT_TRUE(other.tryLock(0));
    Capture(store);
    EXPECT_FALSE(store.SetValue("K", "V", SettingValue::String("second")));
    other.unlock();
    ASSERT_EQ(m_log.size(), 1u);
    EXPECT_NE(m_log[0].find("locked"), std::string::npos);
    EXPECT_EQ(SettingsStore(Path()).GetValue("K", "V")->text, "first");
}

} // namespace
