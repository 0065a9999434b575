#include "platform/SettingsStore.h"

#include "support/TestEnvironment.h"
#include "support/Unprivileged.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
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
    std::vector<std::uint8_t> allBytes(256);
    for (int i = 0; i < 256; ++i)
        allBytes[static_cast<size_t>(i)] = static_cast<std::uint8_t>(i);
    std::string deepest;
    for (int i = 0; i < SettingsStore::kMaxKeyDepth; ++i)
        deepest += (i ? "\\" : "") + std::string("L") + std::to_string(i);
    const struct {
        std::string key, name;
        SettingValue value;
    } values[] = {
        { "Software\\Zelvo", "Name", SettingValue::String("Grüße \"quoted\"") },
        { "Software\\Zelvo", "Controls", SettingValue::String(std::string("a\0b\r\n\t\x01\x7F", 8)) },
        { "Software\\Zelvo", "Wide", SettingValue::String("\xF0\x9F\x94\x8C \xEF\xBB\xBF\\ /") },
        { "Software\\Zelvo", "Nothing", SettingValue::String("") },
        { "Software\\Zelvo", "Count", SettingValue::Dword(0xFFFFFFFF) },
        { "Software\\Zelvo", "Zero", SettingValue::Dword(0) },
        { "Software\\Zelvo", "Bytes", SettingValue::Binary(allBytes) },
        { "Software\\Zelvo", "Empty", SettingValue::Binary({}) },
        { deepest, "Deepest", SettingValue::Dword(7) },
    };
    {
        SettingsStore store(Path());
        Capture(store);
        for (const auto& v : values)
            EXPECT_TRUE(store.SetValue(v.key, v.name, v.value)) << v.name;
        EXPECT_TRUE(store.CreateKey("Software\\Zelvo\\Empty Key"));
        // The reader refuses deeper keys, so the writer never makes them.
        EXPECT_FALSE(store.SetValue(deepest + "\\Beyond", "V", SettingValue::Dword(1)));
        EXPECT_FALSE(store.CreateKey(deepest + "\\Beyond"));
        EXPECT_FALSE(store.KeyExists(deepest + "\\Beyond"));
    }
    SettingsStore reopened(Path());
    Capture(reopened);
    for (const auto& v : values)
        EXPECT_EQ(reopened.GetValue(v.key, v.name), v.value) << v.name;
    EXPECT_EQ(reopened.GetValue("software\\zelvo", "name"), SettingValue::String("Grüße \"quoted\""));
    EXPECT_EQ(reopened.GetValue("Software\\Zelvo", "COUNT"), SettingValue::Dword(0xFFFFFFFF));
    EXPECT_TRUE(reopened.KeyExists("SOFTWARE\\ZELVO\\EMPTY KEY"));
    EXPECT_TRUE(m_log.empty()) << m_log[0];
    EXPECT_TRUE(reopened.TakeLoadMessages().empty());
}

TEST_F(SettingsStoreTest, NamesMatchAcrossCaseAndKeepTheirFirstSpelling)
{
    SettingsStore store(Path());
    store.SetValue("Software\\MixedCase", "LastDevice", SettingValue::String("a"));
    store.SetValue("SOFTWARE\\mixedcase", "LASTDEVICE", SettingValue::String("b"));
    EXPECT_EQ(store.SubKeyNames("software"), std::vector<std::string> { "MixedCase" });
    EXPECT_EQ(store.ValueNames("Software\\MixedCase"), std::vector<std::string> { "LastDevice" });
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

QByteArray OurFile(const QByteArray& root)
{
    return R"({"format": "tonrig-settings", "version": 1, "root": )" + root + "}";
}

QByteArray Nested(int depth)
{
    QByteArray json = R"({"values": {"V": {"type": "dword", "data": 1}}})";
    for (int i = 0; i < depth; ++i)
        json = R"({"keys": {"K": )" + json + "}}";
    return OurFile(json);
}

// Settings the program keeps beside the one a case spoils.
const QByteArray kGoodValues = R"("LanguageFile": {"type": "string", "data": "/l/Deutsch.dic.txt"},
                                  "Recent": {"type": "binary", "data": "00FF"})";

TEST_F(SettingsStoreTest, FilesOfTheWrongShapeAreSetAsideAndBadValuesDroppedAlone)
{
    const std::string kSettings = "Software\\Zelvo USB Programmer\\Settings";
    const struct {
        const char* name;
        QByteArray bytes;
        const char* message; // in the one log line
        std::vector<std::string> dropped; // value names under kSettings named in the message
    } cases[] = {
        // Structure that cannot be read: the whole file is set aside, defaults apply.
        { "truncated", R"({"root": {"values": {"X": {"type": "string", "data": "abc")", "is damaged (", {} },
        { "not JSON", "not json at all", "is damaged (", {} },
        { "empty", "", "is damaged (", {} },
        { "binary", QByteArray("\x00\xFF\x01\x02", 4), "is damaged (", {} },
        { "root an array", "[1, 2, 3]", "is damaged (not a JSON object)", {} },
        { "root a string", R"("settings")", "is damaged (", {} },
        { "keys an array", OurFile(R"({"keys": [1, 2]})"), "is damaged (keys is not an object)", {} },
        { "values an array", OurFile(R"({"keys": {"Software": {"values": []}}})"),
            "is damaged (values of Software is not an object)", {} },
        { "a key not an object", R"({"root": {"keys": {"K": 5}}})", "is damaged (key K is not an object)", {} },
        { "a foreign object", R"({"editor": {"theme": "dark"}})", "is damaged (not a settings file of this program)",
            {} },
        { "a foreign format", R"({"format": "other", "root": {}})", "is damaged (not a settings file of this program)",
            {} },
        { "a later version", R"({"format": "tonrig-settings", "version": 2, "root": {}})",
            "is damaged (written by another version)", {} },
        { "a key name that is no text", OurFile(R"({"keys": {"\udc00": {}}})"),
            "is damaged (a key name below the root is not text)", {} },
        { "two keys of one name", OurFile(R"({"keys": {"A": {}, "a": {}}})"), "is damaged (two keys named a)", {} },
        { "500 keys deep", Nested(500), "is damaged (", {} },
        { "33 keys deep", Nested(SettingsStore::kMaxKeyDepth + 1), "is damaged (keys nested deeper than 32)", {} },
        // One value that cannot be read: dropped alone, the rest kept.
        { "a wrong-typed value",
            OurFile(R"({"keys": {"Software": {"keys": {"Zelvo USB Programmer": {"keys": {"Settings": {"values": {)"
                + kGoodValues + R"(, "Programmer": {"type": "dword", "data": "7"}}}}}}}}})"),
            "holds values that cannot be read: Software\\Zelvo USB Programmer\\Settings\\Programmer (not a number)",
            { "Programmer" } },
        { "an out-of-range value",
            OurFile(R"({"keys": {"Software": {"keys": {"Zelvo USB Programmer": {"keys": {"Settings": {"values": {)"
                + kGoodValues + R"(, "LastDevice": {"type": "dword", "data": 4294967296}}}}}}}}})"),
            "holds values that cannot be read: Software\\Zelvo USB Programmer\\Settings\\LastDevice (out of range)",
            { "LastDevice" } },
        { "every kind of bad value",
            OurFile(R"({"keys": {"Software": {"keys": {"Zelvo USB Programmer": {"keys": {"Settings": {"values": {)"
                + kGoodValues +
                R"(, "Big": {"type": "dword", "data": 4294967296}, "Neg": {"type": "dword", "data": -5},
                      "Hex": {"type": "binary", "data": "zz"}, "Odd": {"type": "binary", "data": "123"},
                      "Half": {"type": "dword", "data": 1.5}, "Kind": {"type": "float", "data": 1},
                      "Lone": {"type": "string", "data": "\ud800"}, "Bare": 5}}}}}}}})"),
            "Settings\\Big (out of range)", { "Big", "Neg", "Hex", "Odd", "Half", "Kind", "Lone", "Bare" } },
    };
    const QString folder = m_dir.path() + "/nested";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(m_dir.path()).removeRecursively();
        QDir().mkpath(folder);
        QFile file(QString::fromStdString(Path()));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(c.bytes);
        file.close();
        const bool damaged = c.dropped.empty();

        m_log.clear();
        SettingsStore store("/nonexistent-at-first");
        Capture(store);
        store.Open(Path());
        ASSERT_EQ(m_log.size(), 1u);
        EXPECT_NE(m_log[0].find(c.message), std::string::npos) << m_log[0];
        for (const std::string& name : c.dropped)
            EXPECT_NE(m_log[0].find("Settings\\" + name + " ("), std::string::npos) << name << ": " << m_log[0];
        if (std::find(c.dropped.begin(), c.dropped.end(), "Half") != c.dropped.end()) {
            EXPECT_NE(m_log[0].find("Settings\\Half (not a whole number)"), std::string::npos) << m_log[0];
        }
        EXPECT_NE(m_log[0].find(damaged ? "; defaults are used, the file was kept as "
                                        : "; their defaults are used, the file was kept as "),
            std::string::npos)
            << m_log[0];
        EXPECT_EQ(store.TakeLoadMessages(), m_log) << "kept for the message log";
        EXPECT_TRUE(store.TakeLoadMessages().empty()) << "given once";

        const QStringList aside = QDir(folder).entryList({ "settings.json.damaged-*" });
        ASSERT_EQ(aside.size(), 1);
        EXPECT_NE(m_log[0].find(aside[0].toStdString()), std::string::npos);
        QFile kept(folder + "/" + aside[0]);
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(kept.readAll(), c.bytes) << "the copy aside is the file as it was";
        EXPECT_EQ(QFileInfo::exists(QString::fromStdString(Path())), !damaged) << "only a damaged file moves";

        for (const std::string& name : c.dropped)
            EXPECT_FALSE(store.ValueExists(kSettings, name)) << name;
        EXPECT_EQ(store.GetValue(kSettings, "LanguageFile"),
            damaged ? std::nullopt : std::optional(SettingValue::String("/l/Deutsch.dic.txt")));
        EXPECT_EQ(store.GetValue(kSettings, "Recent"),
            damaged ? std::nullopt : std::optional(SettingValue::Binary({ 0x00, 0xFF })));

        // The first write keeps what was read and nothing else; the next start reads it quietly.
        EXPECT_TRUE(store.SetValue("K", "V", SettingValue::Dword(1)));
        m_log.clear();
        SettingsStore next(Path());
        Capture(next);
        EXPECT_TRUE(m_log.empty());
        EXPECT_EQ(next.GetValue("K", "V"), SettingValue::Dword(1));
        EXPECT_EQ(next.ValueNames(kSettings).size(), damaged ? 0u : 2u);
        EXPECT_EQ(QDir(folder).entryList({ "settings.json.damaged-*" }).size(), 1) << "one copy, not one per start";
    }
}

TEST_F(SettingsStoreTest, ASecondDamagedFileInTheSameSecondKeepsTheFirstCopy)
{
    const QString folder = m_dir.path() + "/nested";
    QDir().mkpath(folder);
    for (const char* bytes : { "first", "second" }) {
        QFile file(QString::fromStdString(Path()));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        SettingsStore store("/nonexistent-at-first");
        Capture(store);
        store.Open(Path());
    }
    ASSERT_EQ(m_log.size(), 2u);
    QStringList contents;
    for (const QString& name : QDir(folder).entryList({ "settings.json.damaged-*" })) {
        QFile kept(folder + "/" + name);
        kept.open(QIODevice::ReadOnly);
        contents << QString::fromLatin1(kept.readAll());
    }
    contents.sort();
    EXPECT_EQ(contents, QStringList({ "first", "second" }));
}

TEST_F(SettingsStoreTest, AWriteThatWouldGrowPastTheLimitIsRefused)
{
    SettingsStore store(Path());
    Capture(store);
    ASSERT_TRUE(store.SetValue("K", "Small", SettingValue::Dword(1)));
    const std::vector<std::uint8_t> huge(static_cast<size_t>(SettingsStore::kMaxFileBytes / 2 + 1), 0xAB);
    EXPECT_FALSE(store.SetValue("K", "Huge", SettingValue::Binary(huge)));
    ASSERT_EQ(m_log.size(), 1u);
    EXPECT_NE(m_log[0].find("the change is not saved"), std::string::npos);
    m_log.clear();
    SettingsStore reopened(Path());
    Capture(reopened);
    EXPECT_TRUE(m_log.empty());
    EXPECT_EQ(reopened.GetValue("K", "Small"), SettingValue::Dword(1));
    EXPECT_FALSE(reopened.ValueExists("K", "Huge"));
}

TEST_F(SettingsStoreTest, TwoThreadsWritingLoseNothing)
{
    SettingsStore store(Path());
    auto writer = [&](const std::string& prefix) {
        for (int i = 0; i < 50; ++i)
            store.SetValue(
                "Software\\Threads", prefix + std::to_string(i), SettingValue::Dword(static_cast<std::uint32_t>(i)));
    };
    std::thread a(writer, "a");
    std::thread b(writer, "b");
    a.join();
    b.join();
    SettingsStore reopened(Path());
    EXPECT_EQ(reopened.ValueNames("Software\\Threads").size(), 100u);
    EXPECT_EQ(reopened.GetValue("Software\\Threads", "b49"), SettingValue::Dword(49));
}

TEST_F(SettingsStoreTest, ASaveTheFileSystemRefusesIsGivenOnceWithItsReasonAndTheFileIsKept)
{
    const QString file = QString::fromStdString(Path());
    const QString folder = QFileInfo(file).absolutePath();
    for (const auto& c : tonrig::test::WaysAFileRefusesWrites(file)) {
        SCOPED_TRACE(c.name);
        tonrig::test::RestoreWritableFolder(file);
        QDir(folder).removeRecursively();
        ASSERT_TRUE(SettingsStore(Path()).SetValue("K", "V", SettingValue::String("first")));
        c.spoil();
        const std::string before = tonrig::test::FileSnapshot(Path());

        EXPECT_EXIT(
            {
                const tonrig::test::UnprivilegedChild child({ m_dir.path().toStdString() });
                SettingsStore store(Path());
                Capture(store);
                std::vector<platform::SaveFailure> given;
                // Refused before anyone listens, as at start-up: given when the sink comes.
                EXPECT_FALSE(store.SetValue("K", "V", SettingValue::String("second")));
                store.SetSaveFailureSink([&](const platform::SaveFailure& failure) { given.push_back(failure); });
                EXPECT_EQ(given, std::vector<platform::SaveFailure>({ { Path(), c.reason } }));
                EXPECT_FALSE(store.SetValue("K", "W", SettingValue::Dword(1)));
                EXPECT_EQ(given.size(), 1u) << "once a run";
                EXPECT_EQ(store.GetValue("K", "V"), SettingValue::String("second")) << "held for the run";
                for (const std::string& line : m_log)
                    EXPECT_EQ(line.find("locked"), std::string::npos) << line;
                child.Exit();
            },
            testing::ExitedWithCode(0), "");
        EXPECT_EQ(tonrig::test::FileSnapshot(Path()), before);
    }
    tonrig::test::RestoreWritableFolder(file);
}

// Makes `path` a file last written `ageSeconds` ago.
void PutFile(const QString& path, int ageSeconds)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("{}");
    ASSERT_TRUE(file.flush());
    ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addSecs(-ageSeconds), QFileDevice::FileModificationTime));
}

TEST_F(SettingsStoreTest, WhatAnInterruptedSaveLeftBesideTheFileGoesAtTheNextSave)
{
    const QString folder = m_dir.path() + "/nested";
    QDir().mkpath(folder + "/sub");
    QDir().mkpath(m_dir.path() + "/elsewhere");
    constexpr int kHourAgo = 3600;
    // Names a save gave its temporary file.
    const QStringList leftovers = { "settings.json.uYrWnP", "settings.json.rBharF", "settings.json.HxQzWv" };
    for (const QString& name : leftovers)
        PutFile(folder + "/" + name, kHourAgo);
    enum Kind { File, Folder, Link, OtherUser };
    const struct {
        const char* name;
        int age;
        Kind kind;
    } others[] = {
        { "settings.json.QwErTy", 0, File }, // written in this run: a save of this copy or of one started since
        { "settings.json.QwErT", kHourAgo, File },
        { "settings.json.QwErTyU", kHourAgo, File },
        { "settings.json.Qw3rTy", kHourAgo, File },
        { "settings.json.damaged-20240101-120000", kHourAgo, File },
        // A user's own copies: one or two words, in any case.
        { "settings.json.backup", kHourAgo, File },
        { "settings.json.BACKUP", kHourAgo, File },
        { "settings.json.Backup", kHourAgo, File },
        { "settings.json.golden", kHourAgo, File },
        { "settings.json.myCopy", kHourAgo, File },
        { "settings.json.OldRev", kHourAgo, File },
        { "settings.json.OldBAK", kHourAgo, File },
        { "devices.json.AsDfGh", kHourAgo, File }, // another file's
        { "settings.json.FoLdEr", kHourAgo, Folder },
        { "settings.json.LiNkEd", kHourAgo, Link },
        { "settings.json.NoBoDy", kHourAgo, OtherUser },
    };
    for (const auto& other : others) {
        const QString path = folder + "/" + other.name;
        if (other.kind == Folder) {
            QDir().mkdir(path);
        } else if (other.kind == Link) {
            PutFile(m_dir.path() + "/elsewhere/old", other.age);
            ASSERT_TRUE(QFile::link(m_dir.path() + "/elsewhere/old", path));
        } else if (other.kind == File || geteuid() == 0) {
            PutFile(path, other.age);
            if (other.kind == OtherUser) {
                ASSERT_EQ(chown(QFile::encodeName(path).constData(), 65534, 65534), 0);
            }
        }
    }
    PutFile(folder + "/sub/settings.json.SuBdIr", kHourAgo);
    const auto list = [&] {
        QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
        names.sort();
        return names;
    };
    QStringList expected = list();
    for (const QString& name : leftovers)
        ASSERT_TRUE(expected.removeOne(name));
    expected << "settings.json";
    expected.sort();
    const auto entries = [&] { return list().join(' ').toStdString(); };

    {
        // Another copy between writing its temporary file and renaming it holds the lock.
        QLockFile otherCopy(QString::fromStdString(Path()) + ".lock");
        ASSERT_TRUE(otherCopy.lock());
        SettingsStore store(Path());
        for (const QString& name : leftovers)
            EXPECT_TRUE(QFileInfo::exists(folder + "/" + name)) << name.toStdString() << " taken at start";
    }
    SettingsStore store(Path());
    Capture(store);
    EXPECT_TRUE(store.SetValue("K", "V", SettingValue::Dword(1)));
    EXPECT_EQ(entries(), expected.join(' ').toStdString());
    EXPECT_TRUE(QFileInfo::exists(folder + "/sub/settings.json.SuBdIr")) << "its folder only";
    EXPECT_TRUE(m_log.empty()) << m_log[0];
}

TEST_F(SettingsStoreTest, AFailedSaveIntoAFileInPlaceOfItsFolderLeavesNoFile)
{
    // Works as root too: the folder cannot be made where a file stands.
    const std::string blocker = m_dir.path().toStdString() + "/blocker";
    QFile(QString::fromStdString(blocker)).open(QIODevice::WriteOnly);
    SettingsStore store(blocker + "/settings.json");
    Capture(store);
    std::vector<platform::SaveFailure> given;
    store.SetSaveFailureSink([&](const platform::SaveFailure& failure) { given.push_back(failure); });
    EXPECT_FALSE(store.SetValue("K", "V", SettingValue::Dword(1)));
    EXPECT_EQ(store.GetValue("K", "V"), SettingValue::Dword(1)); // still held for this run
    EXPECT_FALSE(m_log.empty());
    EXPECT_EQ(given, std::vector<platform::SaveFailure>({ { blocker + "/settings.json", "Not a directory" } }));
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
    bool given = false;
    store.SetSaveFailureSink([&](const platform::SaveFailure&) { given = true; });
    EXPECT_FALSE(store.SetValue("K", "V", SettingValue::String("second")));
    other.unlock();
    ASSERT_EQ(m_log.size(), 1u);
    EXPECT_NE(m_log[0].find("locked"), std::string::npos);
    EXPECT_FALSE(given) << "another copy is writing: nothing is lost";
    EXPECT_EQ(SettingsStore(Path()).GetValue("K", "V")->text, "first");
}

} // namespace
