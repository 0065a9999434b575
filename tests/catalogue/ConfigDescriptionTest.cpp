#include "catalogue/ConfigDescription.h"

#include "catalogue/DeviceClassTable.h"
#include "catalogue/DeviceLibrary.h"
#include "catalogue/DeviceOverlay.h"
#include "platform/Folders.h"
#include "support/RecordingMessageBox.h"
#include "support/TextEncodings.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr int kPic14 = 313; // PIC16F628A: 14-bit core
constexpr int kPic16 = 323; // PIC18FXX2_XX8: 16-bit core

class ConfigDescriptionTest : public testing::Test {
protected:
    void SetUp() override
    {
        InitDeviceClassTable();
        SetDeviceListLogSink([this](const std::string& text, COLORREF) { warnings.push_back(text); });
    }
    void TearDown() override { SetDeviceListLogSink({}); }

    CDeviceClass Device(int index) const { return g_DeviceClassTable[static_cast<std::size_t>(index)]; }
    // Reads `text` as a file for a device of class `index`.
    CDeviceClass Load(const std::string& text, int index = kPic14)
    {
        CDeviceClass device = Device(index);
        records->ResetRecords();
        records->LoadDeviceText(device, text, "t.dev");
        return device;
    }

    std::unique_ptr<CConfigDescription> records = std::make_unique<CConfigDescription>();
    std::vector<std::string> warnings;
};

const std::string kWord = "cfgbits (key=CONFIG addr=0x2007 unused=0x0)\n";

// ---- the reader: a table of fragments and what they give ----

struct ReaderRow {
    const char* name;
    std::string text;
    int index;
    std::function<void(const CConfigDescription&, const CDeviceClass&, const std::vector<std::string>&)> check;
};

TEST_F(ConfigDescriptionTest, FragmentsGiveTheirRecordsAndValues)
{
    const std::vector<ReaderRow> rows = {
        { "pgmmem, 14-bit: two bytes a word", "pgmmem (region=0x0-0x7FF)\n", kPic14,
            [](auto&, auto& d, auto&) { EXPECT_EQ(d.m_nCodeSize, 4096); } },
        { "pgmmem, 16-bit: bytes", "pgmmem (region=0x0-0x7FFF)\n", kPic16,
            [](auto&, auto& d, auto&) { EXPECT_EQ(d.m_nCodeSize, 32768); } },
        { "latches, a byte each, wrapping", "latches(pgm=8 eedata=300 cfg=2)\n", kPic14,
            [](auto&, auto& d, auto&) {
                EXPECT_EQ(d.m_pPicConfig->m_nProgramLatch, 8);
                EXPECT_EQ(d.m_pPicConfig->m_nDataLatch, 300 % 256);
                EXPECT_EQ(d.m_pPicConfig->m_nConfigLatch, 2);
            } },
        { "cfgmem, 14-bit", "cfgmem (region=0x2007-0x2008)\n", kPic14,
            [](auto&, auto& d, auto&) { EXPECT_EQ(d.m_pPicConfig->m_nConfigBytes, 4); } },
        { "cfgmem, text after the end is not part of it", "cfgmem (region=0x300000-0x30000D) xyz\n", kPic16,
            [](auto&, auto& d, auto& w) {
                EXPECT_EQ(d.m_pPicConfig->m_nConfigBytes, 14);
                EXPECT_TRUE(w.empty());
            } },
        { "cfgmem, an end below its start", "cfgmem (region=0x300005-0x300001)\n", kPic16,
            [](auto&, auto& d, auto& w) {
                EXPECT_EQ(d.m_pPicConfig->m_nConfigBytes, 0);
                ASSERT_EQ(w.size(), 1u);
                EXPECT_NE(w[0].find("#WARNING# t.dev, line 1: "), std::string::npos);
            } },
        { "cfgmem, a length of 33", "cfgmem (region=0x300000-0x300020)\n", kPic16,
            [](auto&, auto& d, auto& w) {
                EXPECT_EQ(d.m_pPicConfig->m_nConfigBytes, 32);
                EXPECT_EQ(w.size(), 1u);
            } },
        { "eedata", "eedata (region=0x0-0xFF)\n", kPic14,
            [](auto&, auto& d, auto&) { EXPECT_EQ(d.m_nDataSize, 256); } },
        { "no eedata: no data memory", "pgmmem (region=0x0-0x7FF)\n", kPic14,
            [](auto&, auto& d, auto&) { EXPECT_EQ(d.m_nDataSize, 0); } },
        { "devid", "devid (idmask=0x3FE0 id=0x1060)\n", kPic14,
            [](auto&, auto& d, auto&) {
                EXPECT_EQ(d.m_pPicConfig->m_nIdMask, 0x3FE0);
                EXPECT_EQ(d.m_pPicConfig->m_nDeviceId, 0x1060);
                EXPECT_EQ(d.m_strId, "1060");
            } },
        { "a seven-digit value keeps six digits", "devid (idmask=0x3FE0 id=0x1234567)\n", kPic14,
            [](auto&, auto& d, auto&) { EXPECT_EQ(d.m_strId, "123456"); } },
        { "cfgbits and a missing key reading 0", "cfgbits (key=CONFIG1L unused=0xC0)\n", kPic16,
            [](auto& r, auto&, auto&) {
                ASSERT_EQ(r.WordCount(), 1);
                EXPECT_EQ(r.Word(0).m_strName, "CONFIG1L");
                EXPECT_EQ(r.Word(0).m_nAddress, 0);
                EXPECT_EQ(r.Word(0).m_nUnused, 0xC0);
                EXPECT_EQ(r.Word(0).m_nValue, 0xC0); // the last word carries its unused bits
            } },
        { "field without init sets its mask bits", kWord + "field (key=FOSC mask=0x13 desc=\"Oscillator\")\n", kPic14,
            [](auto& r, auto&, auto&) {
                const CFG_WORD_DESC& w = r.Word(0);
                EXPECT_EQ(w.m_Fields[0].m_strKey, "FOSC");
                EXPECT_EQ(w.m_Fields[0].m_strDesc, "Oscillator");
                EXPECT_EQ(w.m_Fields[0].m_nInit, 0xFFFFFF);
                EXPECT_EQ(w.m_nMask, 0x13);
                EXPECT_EQ(w.m_nValue, 0x13);
            } },
        { "field with an empty init", kWord + "field (key=CP mask=0x2000 desc=\"Code\" init=0x)\n", kPic14,
            [](auto& r, auto&, auto&) { EXPECT_EQ(r.Word(0).m_nValue, 0x2000); } },
        { "init=0) clears the bits", kWord + "field (key=CP mask=0x2000 desc=\"Code\" init=0)\n", kPic14,
            [](auto& r, auto&, auto&) {
                EXPECT_EQ(r.Word(0).m_Fields[0].m_nInit, 0);
                EXPECT_EQ(r.Word(0).m_nValue, 0);
            } },
        { "a given init, under the mask", kWord + "field (key=F mask=0x7 desc=\"F\" init=0x1D)\n", kPic14,
            [](auto& r, auto&, auto&) { EXPECT_EQ(r.Word(0).m_nValue, 0x5); } },
        { "cfgbits and field on one line",
            "cfgbits (key=CONFIG addr=0x2007 unused=0x0) field (mask=0x4 desc=\"Watchdog\")\n", kPic14,
            [](auto& r, auto&, auto&) {
                ASSERT_EQ(r.WordCount(), 1);
                ASSERT_EQ(CConfigDescription::FieldCount(r.Word(0)), 1);
                EXPECT_EQ(r.Word(0).m_Fields[0].m_strKey, "CONFIG"); // the line's first key=
                EXPECT_EQ(r.Word(0).m_Fields[0].m_nMask, 0x4);
            } },
        { "comments and short lines are ignored",
            "; devid (idmask=0x3FE0 id=0x1060)\n/ devid (idmask=0x3FE0 id=0x1060)\n"
            "# devid (idmask=0x3FE0 id=0x1060)\n   devid \n",
            kPic14, [](auto&, auto& d, auto&) { EXPECT_EQ(d.m_strId, "XXXXX"); } },
        { "keywords inside a description are text",
            kWord
                + "field (key=F mask=0x3 desc=\"F\")\n"
                  "setting (req=0x3 value=0x1 desc=\"holds field and req=0x9 and cfgbits \")\n",
            kPic14,
            [](auto& r, auto&, auto& w) {
                ASSERT_EQ(r.WordCount(), 1);
                ASSERT_EQ(CConfigDescription::FieldCount(r.Word(0)), 1);
                const CFG_SETTING_DESC& s = r.Word(0).m_Fields[0].m_Settings[0];
                EXPECT_EQ(s.m_strDesc, "holds field and req=0x9 and cfgbits ");
                EXPECT_EQ(s.m_nReq, 0x3);
                EXPECT_EQ(s.m_nValue, 0x1);
                EXPECT_TRUE(w.empty());
            } },
        { "orphans are ignored with a warning",
            "setting (req=0x1 value=0x1 desc=\"a\")\nfield (key=F mask=0x1 desc=\"F\")\n" + kWord
                + "setting (req=0x1 value=0x1 desc=\"b\")\n",
            kPic14,
            [](auto& r, auto&, auto& w) {
                EXPECT_EQ(r.WordCount(), 1);
                EXPECT_EQ(CConfigDescription::FieldCount(r.Word(0)), 0);
                EXPECT_EQ(w.size(), 3u);
            } },
        { "a 2,000-character line is skipped whole, the next one read",
            "devid (idmask=0x3FE0 id=0x1111) " + std::string(2000, 'x') + "\r\ndevid (idmask=0x3FE0 id=0x1060)\r\n",
            kPic14,
            [](auto&, auto& d, auto& w) {
                EXPECT_EQ(d.m_strId, "1060");
                ASSERT_EQ(w.size(), 1u);
                EXPECT_NE(w[0].find("line 1:"), std::string::npos);
            } },
    };
    for (const ReaderRow& row : rows) {
        SCOPED_TRACE(row.name);
        warnings.clear();
        const CDeviceClass device = Load(row.text, row.index);
        row.check(*records, device, warnings);
    }
}

TEST_F(ConfigDescriptionTest, RecordsPastTheLimitsAreDroppedWithOneWarningEach)
{
    std::string text;
    for (int w = 0; w < 33; ++w)
        text += "cfgbits (key=W" + std::to_string(w) + " addr=0x2007 unused=0x0)\n";
    // The fields go to the last word kept; the 33rd word's fields have none.
    std::string word31 = "cfgbits (key=LAST addr=0x2007 unused=0x0)\n";
    std::string fields;
    for (int f = 0; f < 17; ++f)
        fields += "field (key=F" + std::to_string(f) + " mask=0x1 desc=\"F\")\n";
    std::string settings;
    for (int s = 0; s < 129; ++s)
        settings += "setting (req=0x1 value=0x1 desc=\"S" + std::to_string(s) + "\")\n";

    Load(text);
    EXPECT_EQ(records->WordCount(), 32);
    EXPECT_EQ(records->Word(31).m_strName, "W31");
    EXPECT_EQ(warnings.size(), 1u);

    warnings.clear();
    Load(word31 + fields);
    EXPECT_EQ(CConfigDescription::FieldCount(records->Word(0)), 16);
    EXPECT_EQ(warnings.size(), 1u);

    warnings.clear();
    Load(word31 + "field (key=F mask=0x1 desc=\"F\")\n" + settings);
    EXPECT_EQ(CConfigDescription::SettingCount(records->Word(0).m_Fields[0]), 128);
    EXPECT_EQ(records->Word(0).m_Fields[0].m_Settings[127].m_strDesc, "S127");
    EXPECT_EQ(warnings.size(), 1u);
}

TEST_F(ConfigDescriptionTest, ReadTextLineEndsAtCrOrLf)
{
    const std::string text = "one\r\ntwo\rthree\nfour";
    std::size_t at = 0;
    std::string line;
    bool tooLong = false;
    std::vector<std::string> lines;
    while (CConfigDescription::ReadTextLine(text, at, line, 1023, tooLong))
        lines.push_back(line);
    EXPECT_EQ(lines, (std::vector<std::string> { "one", "", "two", "three", "four" }));
}

TEST_F(ConfigDescriptionTest, ExtractValueTakesTheTextUpToTheDelimiter)
{
    EXPECT_EQ(records->ExtractValue("key=", "cfgbits (key=CONFIG addr=0x1)", ' '), "CONFIG");
    EXPECT_EQ(records->ExtractValue("addr=0x", "cfgbits (key=CONFIG addr=0x1F", ' '), "1F");
    EXPECT_EQ(records->ExtractValue("none=", "cfgbits (key=CONFIG)", ' '), "");
    EXPECT_EQ(records->Scratch(), "");
}

// ---- the configuration bytes and the words ----

TEST_F(ConfigDescriptionTest, LoadFromDeviceTakesTheWordsFromTheConfigurationBytes)
{
    // A two-word 14-bit core: words 0 and 1 from bytes 0-3.
    CDeviceClass pic14 = Load("cfgmem (region=0x2007-0x2008)\n"
                              "cfgbits (key=CONFIG1 addr=0x2007 unused=0x0)\n"
                              "cfgbits (key=CONFIG2 addr=0x2008 unused=0x0)\n");
    pic14.m_strDeviceFile = "t.dev";
    pic14.m_pPicConfig->m_ConfigValue[0] = 0x34;
    pic14.m_pPicConfig->m_ConfigValue[1] = 0x12;
    pic14.m_pPicConfig->m_ConfigValue[2] = 0xFF;
    pic14.m_pPicConfig->m_ConfigValue[3] = 0x3E;
    records->LoadFromDevice(pic14);
    EXPECT_EQ(records->Word(0).m_nValue, 0x1234);
    EXPECT_EQ(records->Word(1).m_nValue, 0x3EFF);

    // PIC18: by address.
    CDeviceClass pic18 = Load("cfgmem (region=0x300000-0x30000D)\n"
                              "cfgbits (key=CONFIG1H addr=0x300001 unused=0x0)\n"
                              "cfgbits (key=CONFIG2L addr=0x300002 unused=0x0)\n",
        kPic16);
    pic18.m_strDeviceFile = "t.dev";
    pic18.m_pPicConfig->m_ConfigValue[1] = 0x27;
    pic18.m_pPicConfig->m_ConfigValue[2] = 0x0E;
    records->LoadFromDevice(pic18);
    EXPECT_EQ(records->Word(0).m_nValue, 0x27);
    EXPECT_EQ(records->Word(1).m_nValue, 0x0E);

    // Too long: a box, nothing changes.
    tonrig::test::RecordingMessageBox boxes;
    pic18.m_pPicConfig->m_nConfigBytes = 33;
    pic18.m_pPicConfig->m_ConfigValue[1] = 0x55;
    records->LoadFromDevice(pic18);
    EXPECT_EQ(records->Word(0).m_nValue, 0x27);
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, "CFG too long!");
    EXPECT_EQ(boxes.Boxes()[0].caption, "Error!");
}

TEST_F(ConfigDescriptionTest, StoreWordsPutsNarrowWordsInByteOrderAndWideOnesByAddress)
{
    CDeviceClass pic14 = Load("cfgmem (region=0x2007-0x2008)\n"
                              "cfgbits (key=CONFIG1 addr=0x2007 unused=0x0)\nfield (key=A mask=0x3FFF desc=\"A\")\n"
                              "cfgbits (key=CONFIG2 addr=0x2008 unused=0x0)\nfield (key=B mask=0x0700 desc=\"B\")\n");
    pic14.m_pPicConfig->m_ConfigValue.fill(0xAA);
    ASSERT_TRUE(records->StoreWords(*pic14.m_pPicConfig));
    const auto& v = pic14.m_pPicConfig->m_ConfigValue;
    const auto& p = pic14.m_pPicConfig->m_ConfigPresent;
    EXPECT_EQ(v[0], 0xFF);
    EXPECT_EQ(v[1], 0x3F);
    EXPECT_EQ(v[2], 0x00);
    EXPECT_EQ(v[3], 0x07);
    EXPECT_EQ(p[0] + p[1] + p[2] + p[3], 4);
    EXPECT_EQ(v[4], 0xAA); // past the configuration length: untouched

    CDeviceClass pic18 = Load("cfgmem (region=0x300000-0x30000D)\n"
                              "cfgbits (key=CONFIG2H addr=0x300003 unused=0x0)\nfield (key=W mask=0x1F desc=\"W\")\n",
        kPic16);
    ASSERT_TRUE(records->StoreWords(*pic18.m_pPicConfig));
    EXPECT_EQ(pic18.m_pPicConfig->m_ConfigValue[3], 0x1F);
    EXPECT_EQ(pic18.m_pPicConfig->m_ConfigPresent[3], 1);
    EXPECT_EQ(pic18.m_pPicConfig->m_ConfigPresent[0], 0);

    CDeviceClass none = Load("cfgmem (region=0x2007-0x2007)\n");
    EXPECT_FALSE(records->StoreWords(*none.m_pPicConfig));
}

// ---- the setting a field shows ----

TEST_F(ConfigDescriptionTest, TheSelectedSettingMatchesTheFieldBitsWithOrWithoutItsFreeBits)
{
    struct Row {
        const char* name;
        const char* secondValue; // setting "B" fixes bits 0xC and leaves 0x3 free
        int word;
        int expected;
        int secondAfter;
        int thirdAfter; // "C" fixes 0xE: its free bit 0x1 follows the word too
    };
    for (const Row& row : {
             Row { "an exact match; bits outside the field do not count", "4", 0x32, 0, 0x4, 0x8 },
             Row { "a match once the free bits are removed", "7", 0x4, 1, 0x7, 0x8 },
             Row { "all free bits set: shown, and the stored value gains them", "4", 0x7, 1, 0x7, 0x9 },
             Row { "no match", "4", 0xA, -1, 0x4, 0x8 },
         }) {
        SCOPED_TRACE(row.name);
        Load(kWord + "field (key=F mask=0xF desc=\"F\")\n" + "setting (req=0xF value=0x2 desc=\"A\")\n"
            + "setting (req=0xC value=0x" + row.secondValue + " desc=\"B\")\n"
            + "setting (req=0xE value=0x8 desc=\"C\")\n");
        records->Word(0).m_nValue = row.word;
        EXPECT_EQ(records->SelectedSetting(0, 0), row.expected);
        EXPECT_EQ(records->Word(0).m_Fields[0].m_Settings[1].m_nValue, row.secondAfter);
        EXPECT_EQ(records->Word(0).m_Fields[0].m_Settings[2].m_nValue, row.thirdAfter);
        // Choosing it again keeps what it holds.
        records->Word(0).m_nValue = 0x30;
        ASSERT_TRUE(records->ApplySetting(0, 0, 1, nullptr));
        EXPECT_EQ(records->Word(0).m_nValue, 0x30 | row.secondAfter);
    }
    // Past the records: none.
    EXPECT_EQ(records->SelectedSetting(0, 1), -1);
    EXPECT_EQ(records->SelectedSetting(1, 0), -1);
    EXPECT_FALSE(records->ApplySetting(0, 0, 3, nullptr));
}

// ---- the files the program ships ----

TEST_F(ConfigDescriptionTest, EveryShippedPicDeviceHasADescriptionThatLoadsCleanly)
{
    const QString folder = QString::fromStdString(GetAppDataFolder()) + "/devices";
    QDir().mkpath(folder);
    const QDir shipped(":/devices/descriptions");
    for (const QString& name : shipped.entryList(QDir::Files)) {
        QFile::remove(folder + "/" + name);
        ASSERT_TRUE(QFile::copy(shipped.filePath(name), folder + "/" + name));
    }

    for (const char* list : { "devices.txt", "devicesQ8U.txt" }) {
        SCOPED_TRACE(list);
        QFile file(QString(":/devices/") + list);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const std::string copy = GetAppDataFolder() + "/shipped-" + list;
        QFile out(QString::fromStdString(copy));
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(file.readAll());
        out.close();
        g_DeviceLibrary.FreeAll();
        tonrig::test::RecordingMessageBox boxes;
        ASSERT_TRUE(g_DeviceLibrary.LoadDeviceList(copy));

        int pics = 0;
        for (const auto& record : g_DeviceRecords) {
            const int index = record->m_nClassIndex;
            if (index < kFirstPicClass || index > kLastPicClass)
                continue;
            ++pics;
            SCOPED_TRACE(record->m_strName);
            CDeviceClass device = Device(index);
            ApplyDeviceRecord(*record, device);
            if (device.m_strDeviceFile.empty())
                device.m_strDeviceFile = device.m_strName.substr(0, device.m_strName.find_first_of("* ")) + ".dev";
            warnings.clear();
            ASSERT_TRUE(records->LoadDeviceFile(device));
            EXPECT_TRUE(warnings.empty()) << warnings.front();
            EXPECT_GT(records->WordCount(), 0);
            EXPECT_TRUE(records->StoreWords(*device.m_pPicConfig));
            const CPicConfigInfo& info = *device.m_pPicConfig;
            if (info.m_nDeviceId != 0 && record->m_strId.size() >= 4) {
                EXPECT_EQ(device.m_strId, record->m_strId.substr(record->m_strId.size() - 4));
            }
            for (int w = 0; w < records->WordCount(); ++w) {
                const CFG_WORD_DESC& word = records->Word(w);
                if (info.m_nCoreBits >= 16) {
                    const int i = word.m_nAddress - info.m_nConfigAddress;
                    EXPECT_TRUE(i >= 0 && i < info.m_nConfigBytes) << word.m_strName;
                }
                for (int f = 0; f < CConfigDescription::FieldCount(word); ++f) {
                    const CFG_FIELD_DESC& field = word.m_Fields[f];
                    EXPECT_GT(CConfigDescription::SettingCount(field), 1) << field.m_strKey;
                    if (field.m_nInit != CFG_FIELD_DESC::kNoInit) {
                        EXPECT_EQ(field.m_nInit & ~field.m_nMask, 0) << field.m_strKey;
                    }
                    for (int s = 0; s < CConfigDescription::SettingCount(field); ++s) {
                        EXPECT_EQ(field.m_Settings[s].m_nValue & ~field.m_nMask, 0) << field.m_strKey;
                        EXPECT_EQ(field.m_Settings[s].m_nReq & ~field.m_nMask, 0) << field.m_strKey;
                    }
                }
            }
        }
        EXPECT_EQ(pics, 19);
        g_DeviceLibrary.FreeAll();
        QFile::remove(QString::fromStdString(copy));
    }
}

TEST_F(ConfigDescriptionTest, AFileThatIsNotThereOrNotAPlainNameIsAnOpenError)
{
    tonrig::test::RecordingMessageBox boxes;
    for (const char* name : { "NO-SUCH.dev", "../x.dev", "a/b.dev" }) {
        SCOPED_TRACE(name);
        boxes.Clear();
        CDeviceClass device = Device(kPic14);
        device.m_strDeviceFile = name;
        EXPECT_FALSE(records->LoadDeviceFile(device));
        ASSERT_EQ(boxes.Count(), 1u);
        EXPECT_EQ(
            boxes.Boxes()[0].text, "File open error: " + GetAppDataFolder() + "/devices/" + name + " device file");
        EXPECT_EQ(records->WordCount(), 0);
    }
}

// ---- robustness ----

std::string ShippedText(const char* name)
{
    QFile file(QString(":/devices/descriptions/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

// Every number of the records, without the descriptions' text.
std::vector<std::int64_t> Numbers(const CConfigDescription& r)
{
    std::vector<std::int64_t> out;
    for (int w = 0; w < r.WordCount(); ++w) {
        const CFG_WORD_DESC& word = r.Word(w);
        out.insert(out.end(),
            { word.m_nAddress, word.m_nValue, word.m_nMask, word.m_nUnused,
                static_cast<std::int64_t>(std::hash<std::string>()(word.m_strName)) });
        for (int f = 0; f < CConfigDescription::FieldCount(word); ++f) {
            const CFG_FIELD_DESC& field = word.m_Fields[f];
            out.insert(out.end(),
                { -1, field.m_nMask, field.m_nInit,
                    static_cast<std::int64_t>(std::hash<std::string>()(field.m_strKey)) });
            for (int s = 0; s < CConfigDescription::SettingCount(field); ++s)
                out.insert(out.end(), { -2, field.m_Settings[s].m_nReq, field.m_Settings[s].m_nValue });
        }
    }
    return out;
}

TEST_F(ConfigDescriptionTest, KeywordsMovedIntoDescriptionsChangeNoRecord)
{
    for (const char* name : { "PIC16F886.dev", "PIC18F4550.dev" }) {
        SCOPED_TRACE(name);
        const std::string text = ShippedText(name);
        ASSERT_FALSE(text.empty());
        const int index = std::string(name).find("PIC18") == 0 ? 321 : 319;
        const CDeviceClass plain = Load(text, index);
        const std::vector<std::int64_t> expected = Numbers(*records);
        ASSERT_FALSE(expected.empty());

        std::string moved = text;
        const std::string noise = "cfgbits field setting devid key=X addr=0x7 mask=0x1 req=0x9 value=0x7 init=0x3) ";
        for (std::size_t at = moved.find("desc=\""); at != std::string::npos; at = moved.find("desc=\"", at + 1))
            moved.insert(at + 6, noise);
        warnings.clear();
        const CDeviceClass device = Load(moved, index);
        EXPECT_EQ(Numbers(*records), expected);
        EXPECT_EQ(device.m_nCodeSize, plain.m_nCodeSize);
        EXPECT_EQ(device.m_pPicConfig->m_nConfigBytes, plain.m_pPicConfig->m_nConfigBytes);
        EXPECT_TRUE(warnings.empty());
    }
}

TEST_F(ConfigDescriptionTest, EveryEncodingReadsAsThePlainFile)
{
    using tonrig::test::TextEncoding;
    for (const char* name : { "PIC16F628A.dev", "PIC18F452.dev" }) {
        const std::string text = ShippedText(name);
        ASSERT_FALSE(text.empty());
        const int index = std::string(name).find("PIC18") == 0 ? kPic16 : kPic14;
        const CDeviceClass plain = Load(text, index);
        const std::vector<std::int64_t> expected = Numbers(*records);
        ASSERT_FALSE(expected.empty());
        const std::string firstField = records->Word(0).m_Fields[0].m_strDesc;
        std::string crlf = text;
        for (std::size_t at = crlf.find('\n'); at != std::string::npos; at = crlf.find('\n', at + 2))
            crlf.insert(at, 1, '\r');
        // Its first kilobyte Chinese comments, whose characters hold no NUL in UTF-16, or one ahead (U+4E00).
        std::string chinese;
        for (int i = 0; i < 30; ++i)
            chinese += "; \xE8\xAF\xB4\xE6\x98\x8E\xEF\xBC\x9A\xE4\xB8\x80\xE4\xB8\xAA\xE9\x85\x8D"
                       "\xE7\xBD\xAE\xE5\xAD\x97\xE7\x9A\x84\xE6\xAF\x8F\xE4\xB8\xAA\xE5\xAD\x97\xE6\xAE\xB5"
                       "\xE4\xB8\x8E\xE5\x85\xB6\xE8\xAE\xBE\xE7\xBD\xAE\xE3\x80\x82\n";
        chinese += text;
        for (const std::string* lines : std::initializer_list<const std::string*> { &text, &crlf, &chinese }) {
            for (TextEncoding encoding : tonrig::test::kTextEncodings) {
                SCOPED_TRACE(std::string(name) + ", " + tonrig::test::TextEncodingName(encoding)
                    + (lines == &crlf           ? ", CR LF"
                            : lines == &chinese ? ", Chinese comments"
                                                : ""));
                warnings.clear();
                const CDeviceClass device = Load(tonrig::test::Encode(*lines, encoding).toStdString(), index);
                EXPECT_EQ(Numbers(*records), expected);
                EXPECT_EQ(records->Word(0).m_Fields[0].m_strDesc, firstField);
                EXPECT_EQ(device.m_nCodeSize, plain.m_nCodeSize);
                EXPECT_EQ(device.m_nDataSize, plain.m_nDataSize);
                EXPECT_EQ(device.m_strId, plain.m_strId);
                EXPECT_EQ(device.m_pPicConfig->m_nConfigBytes, plain.m_pPicConfig->m_nConfigBytes);
                EXPECT_TRUE(warnings.empty()) << warnings.front();
            }
        }
    }
}

// A literal's bytes, NULs included.
template <std::size_t N> std::string Bytes(const char (&text)[N])
{
    return std::string(text, N - 1);
}

TEST_F(ConfigDescriptionTest, LinesHoldingNulBytesAreSkippedWithOneWarning)
{
    const std::string field = "field (key=FOSC mask=0x3 desc=\"Oscillator\")\n";
    const std::string setting = "setting (req=0x3 value=0x1 desc=\"XT\")\n";
    std::string utf32;
    for (char c : kWord + field + setting)
        utf32 += std::string(1, c) + std::string(3, '\0');
    struct Row {
        const char* name;
        std::string text;
        int words;
        int settings;
        std::string warning; // empty: none
    };
    const Row rows[] = {
        { "a NUL in a setting's text", kWord + field + Bytes("setting (req=0x3 value=0x2 desc=\"H\0S\")\n") + setting,
            1, 1, "#WARNING# t.dev, line 3: line holding a NUL byte skipped" },
        { "a NUL in a word's key and one in a field's",
            Bytes("cfgbits (key=CON\0FIG addr=0x2007 unused=0x0)\n") + kWord
                + Bytes("field (key=FOSC mask=0x3\0 desc=\"Oscillator\")\n") + field + setting,
            1, 1, "#WARNING# t.dev, line 1: 2 lines holding NUL bytes skipped, this the first" },
        { "nothing but NUL bytes", std::string(512, '\0'), 0, 0,
            "#WARNING# t.dev, line 1: line holding a NUL byte skipped" },
        { "NUL bytes between the characters, not UTF-16", utf32, 0, 0,
            "#WARNING# t.dev, line 1: 3 lines holding NUL bytes skipped, this the first" },
        { "empty", "", 0, 0, "" },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        warnings.clear();
        Load(row.text);
        ASSERT_EQ(records->WordCount(), row.words);
        if (row.words > 0) {
            ASSERT_EQ(CConfigDescription::FieldCount(records->Word(0)), 1);
            EXPECT_EQ(CConfigDescription::SettingCount(records->Word(0).m_Fields[0]), row.settings);
            EXPECT_EQ(records->Word(0).m_strName, "CONFIG");
        }
        EXPECT_EQ(
            warnings, row.warning.empty() ? std::vector<std::string> {} : std::vector<std::string> { row.warning });
    }
}

TEST_F(ConfigDescriptionTest, MutatedFilesStayWithinTheRecords)
{
    const std::string base = ShippedText("PIC18F4550.dev");
    ASSERT_FALSE(base.empty());
    std::uint32_t seed = 12345;
    const auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    const char pieces[][24] = { "cfgbits ", "field ", "setting ", "desc=\"", "\"", ")", "-", "\n", "\r", "init=0)",
        "cfgmem (region=0x", "0xFFFFFFF" };
    for (int round = 0; round < 300; ++round) {
        std::string text = base;
        for (int m = 0, count = 1 + static_cast<int>(next() % 20); m < count; ++m) {
            const std::size_t at = next() % (text.size() + 1);
            switch (next() % 3) {
            case 0:
                text.insert(at, pieces[next() % std::size(pieces)]);
                break;
            case 1:
                if (at < text.size())
                    text[at] = static_cast<char>(next());
                break;
            default:
                text.erase(at, next() % 40);
                break;
            }
        }
        for (int index : { 313, 321 }) {
            CDeviceClass device = Load(text, index);
            device.m_strDeviceFile = "t.dev";
            ASSERT_GE(device.m_pPicConfig->m_nConfigBytes, 0);
            ASSERT_LE(device.m_pPicConfig->m_nConfigBytes, 32);
            ASSERT_LE(records->CountFieldRows(), 32 * 16);
            records->StoreWords(*device.m_pPicConfig);
            records->LoadFromDevice(device);
        }
    }
}

} // namespace
