// Chip-ID decoding with the manufacturer table and the imported signatures: the table's rows, the
// decoding of IDs over a small signature file, the import's rules and boxes, and both shipped
// device lists imported and decoded line by line.

#include "catalogue/DeviceIdDecoder.h"

#include "catalogue/DeviceClass.h"
#include "catalogue/DeviceClassTable.h"
#include "catalogue/DeviceLibrary.h"
#include "catalogue/DeviceListParser.h"
#include "shell/Language.h"
#include "shell/LanguageLoader.h"
#include "support/RecordingMessageBox.h"
#include "support/TextEncodings.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <bit>
#include <map>
#include <set>

namespace {

using tonrig::test::RecordingMessageBox;

TEST(ManufacturerTable, HoldsTheRowsOfTheFourBanksInOrder)
{
    const std::vector<CManufacturerEntry> rows = MakeManufacturerTable();
    ASSERT_EQ(rows.size(), kManufacturerRows);
    std::set<std::string> codes;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_FALSE(rows[i].m_strName.empty());
        EXPECT_TRUE(rows[i].m_Signatures.empty());
        EXPECT_TRUE(codes.insert(rows[i].m_strCode).second) << "two rows of code " << rows[i].m_strCode;
        const std::string& code = rows[i].m_strCode;
        ASSERT_EQ(code.size() % 2, 0u);
        for (std::size_t at = 0; i != 0 && at + 2 < code.size(); at += 2)
            EXPECT_EQ(code.substr(at, 2), "7F") << "continuations first";
        // Bit 7 makes every standard code's last byte odd; the three rows of our own do not.
        const unsigned last = static_cast<unsigned>(std::stoul(code.substr(code.size() - 2), nullptr, 16));
        const bool standard = i != 0 && code != "1E" && code != "7F7F";
        if (standard) {
            EXPECT_EQ(std::popcount(last) % 2, 1) << code;
        }
    }
    const struct {
        std::size_t row;
        const char* name;
        const char* code;
    } named[] = {
        { 0, "MicrochipTechnology", "0029" },
        { 1, "AMD", "01" },
        { 2, "AMI", "02" },
        { 3, "Fairchild", "83" },
        { 9, "Intel", "89" },
        { 31, "Atmel", "1E" },
        { 32, "Atmel", "1F" },
        { 42, "MicrochipTechnology", "29" },
        { 127, "Level One", "FE" },
        { 128, "Continuation Code", "7F7F" },
        { 129, "Cirrus Logic", "7F01" },
        { 254, "3COM", "7FFE" },
        { 255, "Camintonn Corporation", "7F7F01" },
        { 283, "HADCO Corporation", "7F7F9D" },
        { 380, "Elpida", "7F7FFE" },
        { 381, "Solectron", "7F7F7F01" },
        { 452, "Infrant Technologies", "7F7F7FC8" },
    };
    for (const auto& n : named) {
        EXPECT_EQ(rows[n.row].m_strName, n.name) << n.row;
        EXPECT_EQ(rows[n.row].m_strCode, n.code) << n.row;
    }
    // Names in the short forms the program shows.
    std::set<std::string> names;
    for (const auto& row : rows)
        names.insert(row.m_strName);
    for (const char* name :
        { "Texas Instruments", "ST Micro", "Xilinx", "Samsung", "SST", "Macronix", "Winbond Electronic", "Hynix" })
        EXPECT_TRUE(names.count(name)) << name;
}

TEST(ManufacturerTable, SplitsAnIdIntoManufacturerAndDevice)
{
    const struct {
        const char* id;
        bool forImport;
        const char* manufacturer;
        const char* device;
    } cases[] = {
        { "7F7F9D0123", false, "7F7F9D", "0123" },
        { "FF1FFF51", false, "1F", "FF51" },
        { "001E9005", false, "1E", "9005" },
        { "1F", false, "", "" }, // the maker's byte last: none for the decoding
        { "1F", true, "1F", "" }, // but kept by the import
        { "1F5", false, "1F", "5" }, // a last single character is a pair
        { "7F", false, "", "" },
        { "7F7F", true, "", "" },
        { "FFFF", true, "", "" },
        { "00", false, "", "" },
        { "F", false, "", "" },
        { "", false, "", "" },
    };
    for (const auto& c : cases) {
        const IdSplit split = SplitDeviceId(c.id, c.forImport);
        EXPECT_EQ(split.manufacturer, c.manufacturer) << c.id << " " << c.forImport;
        EXPECT_EQ(split.device, c.device) << c.id << " " << c.forImport;
    }
}

class SignatureTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        InitLanguageForView();
        g_CurrentDevice = CDeviceClass();
        g_CurrentDevice.m_strId = "1E9306";
        g_CurrentDevice.m_strManufacturer = "ATMEL";
        g_CurrentDevice.m_strName = "ATMEGA8515";
        SetDeviceListLogSink([this](const std::string& text, COLORREF colour) {
            m_log.push_back(text);
            m_colours.push_back(colour);
        });
    }
    void TearDown() override
    {
        SetDeviceListLogSink({});
        g_CurrentDevice = CDeviceClass();
        g_Language.Reset();
    }
    std::string Write(const QByteArray& bytes)
    {
        const std::string path = m_dir.filePath("devices.txt").toStdString();
        QFile file(QString::fromStdString(path));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        return path;
    }
    // The decoder with the table and the signatures of `bytes`.
    CDeviceIdDecoder Imported(const QByteArray& bytes)
    {
        CDeviceIdDecoder decoder;
        decoder.FillManufacturerTable();
        EXPECT_TRUE(decoder.LoadDeviceSignatures(Write(bytes)));
        return decoder;
    }
    static std::vector<CDeviceSignature> Signatures(const CDeviceIdDecoder& decoder, const char* code)
    {
        const CManufacturerEntry* row = decoder.FindManufacturer(code);
        return row ? row->m_Signatures : std::vector<CDeviceSignature> {};
    }

    QTemporaryDir m_dir;
    std::vector<std::string> m_log;
    std::vector<COLORREF> m_colours;
};

const QByteArray kSignatures = "; a comment\r\n"
                               "Name=\"HADCO PART\" ID=\"7F7F9D0123\" Class=\"27C256\"\r\n"
                               "Name=\"AT24X51\" ID=\"1FFF51\" Class=\"27C256\"\r\n"
                               "Name=\"PIC16F84A\" ID=\"290FA0\" Class=\"PIC16F84A\"\r\n"
                               "Name=\"ODD ATMEL\" ID=\"1E9005\" Class=\"27C256\"\r\n"
                               "Name=\"AM29F010\" ID=\"0120\" Class=\"29F010\"\r\n";

TEST_F(SignatureTest, DecodesByTheTableAndTheSignatures)
{
    RecordingMessageBox boxes;
    CDeviceIdDecoder decoder = Imported(kSignatures);
    EXPECT_EQ(boxes.Count(), 0u);
    struct Case {
        const char* id;
        const char* code;
        const char* revision;
        const char* shownId;
        const char* manufacturer;
        const char* type;
        const char* shownRevision;
    };
    const Case cases[] = {
        { "7F7F9D0123", "", "", "7F7F9D0123", "HADCO Corporation", "HADCO PART", "-" },
        { "FF1FFF51", "", "", "1FFF51", "Atmel", "AT24X51", "-" },
        { "0fa0", "29", "4", "0FA0", "MicrochipTechnology", "PIC16F84A", "4" },
        { "0FA1", "29", "b", "0FA1", "MicrochipTechnology", "Unknown Device", "B" },
        { "FFFF", "29", "4", "FFFF", "Not in library", "Unknown Device", "-" },
        { "3FFF", "29", "4", "3FFF", "Not in library", "Unknown Device", "-" },
        { "1e9306", "", "", "1E9306", "ATMEL", "ATMEGA8515", "-" }, // the current device's own
        { "1E9005", "", "", "1E9005", "Atmel", "ODD ATMEL", "-" }, // the extra Atmel row
        { "0120", "", "", "0120", "AMD", "AM29F010", "-" },
        { "00", "", "", "00", "Not in library", "Unknown Device", "-" },
        { "7F", "", "", "7F", "Not in library", "Unknown Device", "-" },
        { "1F5", "", "", "1F5", "Atmel", "Unknown Device", "-" },
        { "", "", "", "", "Not in library", "Unknown Device", "-" },
        { "7f7f9d0123", "", "", "7F7F9D0123", "HADCO Corporation", "HADCO PART", "-" },
        { "1F9999", "", "", "1F9999", "Atmel", "Unknown Device", "-" },
        { "7E0001", "", "", "7E0001", "Not in library", "Unknown Device", "-" }, // 7E is no code: FE is
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        decoder.m_strRevision = "-";
        decoder.DecodeDeviceId(c.id, 0, c.code, c.revision);
        EXPECT_EQ(decoder.m_strDeviceId, c.shownId);
        EXPECT_EQ(decoder.m_strManufacturerText, c.manufacturer);
        EXPECT_EQ(decoder.m_strType, c.type);
        EXPECT_EQ(decoder.m_strRevision, c.shownRevision);
    }

    // A code other than "29" is the maker of the whole ID and keeps the revision shown before.
    decoder.m_strRevision = "7";
    decoder.DecodeDeviceId("9005", 0, "1E", "9");
    EXPECT_EQ(decoder.m_strDeviceId, "9005");
    EXPECT_EQ(decoder.m_strManufacturerText, "Atmel");
    EXPECT_EQ(decoder.m_strType, "ODD ATMEL");
    EXPECT_EQ(decoder.m_strRevision, "7");
}

TEST_F(SignatureTest, TheImportReadsKeysInAnyOrderAndBoxesItsErrors)
{
    struct Case {
        const char* name;
        QByteArray bytes;
        std::vector<std::string> boxes; // texts, each captioned "device.txt Error"
        std::vector<CDeviceSignature> atmel; // the signatures of code 1F afterwards
    };
    const std::string tooLong = "Name=\"LONG" + std::string(5000, 'X') + "\" ID=\"1F7777\" Class=\"27C256\"";
    const std::vector<Case> cases = {
        { "keys in any order", "Class=\"27C256\" ID=\"1F0001\" Name=\"A\"\nID=\"1F0002\" Name=\"B\" Class=\"27C256\"\n",
            {}, { { "A", "0001" }, { "B", "0002" } } },
        { "ID XXXX is skipped", "Name=\"NONE\" ID=\"XXXX\" Class=\"27C256\"\n", {}, {} },
        { "too short", "Name=\"BLANK\" ID=\"FFFF\" Class=\"27C256\"\nName=\"ONE\" ID=\"1F\" Class=\"27C256\"\n",
            { "#ERROR# The device \"BLANK\",\"FFFF\" ID too short, the device not been added.",
                "#ERROR# The device \"ONE\",\"1F\" ID too short, the device not been added." },
            {} },
        { "an unknown manufacturer", "Name=\"WHO\" ID=\"7E0001\" Class=\"27C256\"\n",
            { "#ERROR# The device \"WHO\",\"7E0001\" manufacturer \"7E\" not found in the lib, the device not been "
              "added." },
            {} },
        { "the same device twice moves to the end; another name stays",
            "Name=\"A\" ID=\"1F0001\" Class=\"27C256\"\nName=\"B\" ID=\"1F0002\" Class=\"27C256\"\n"
            "Name=\"A\" ID=\"1F0001\" Class=\"27C256\"\nName=\"A2\" ID=\"1F0001\" Class=\"27C256\"\n",
            {}, { { "B", "0002" }, { "A", "0001" }, { "A2", "0001" } } },
        { "CR, LF and CR LF ends, no final one, a long line",
            "Name=\"A\" ID=\"1F0001\" Class=\"27C256\"\rName=\"B\" ID=\"1F0002\" Class=\"27C256\"\r\n"
                + QByteArray::fromStdString(tooLong) + "\nName=\"C\" ID=\"1F0003\" Class=\"27C256\"",
            {}, { { "A", "0001" }, { "B", "0002" }, { "LONG" + std::string(5000, 'X'), "7777" }, { "C", "0003" } } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_log.clear();
        RecordingMessageBox boxes;
        const CDeviceIdDecoder decoder = Imported(c.bytes);
        std::vector<std::string> texts;
        for (const auto& box : boxes.Boxes()) {
            texts.push_back(box.text);
            EXPECT_EQ(box.caption, "device.txt Error");
        }
        EXPECT_EQ(texts, c.boxes);
        EXPECT_EQ(m_log, c.boxes) << "every error logged";
        EXPECT_EQ(Signatures(decoder, "1F"), c.atmel);
    }

    // The first signature of a code names the type.
    CDeviceIdDecoder twice = Imported("Name=\"FIRST\" ID=\"1F0001\" Class=\"27C256\"\n"
                                      "Name=\"SECOND\" ID=\"1F0001\" Class=\"27C256\"\n");
    twice.DecodeDeviceId("1F0001", 0, "", "");
    EXPECT_EQ(twice.m_strType, "FIRST");
}

TEST_F(SignatureTest, TenBadLinesGiveThreeBoxesAClosingBoxAndTenLogLines)
{
    QByteArray bytes;
    for (int i = 0; i < 10; ++i)
        bytes += "Name=\"BAD" + QByteArray::number(i) + "\" ID=\"FFFF\" Class=\"27C256\"\n";
    RecordingMessageBox boxes;
    Imported(bytes);
    ASSERT_EQ(boxes.Count(), 4u);
    for (const auto& box : boxes.Boxes())
        EXPECT_EQ(box.caption, "device.txt Error");
    EXPECT_EQ(boxes.Boxes()[3].text, "More lines of devices.txt have errors; see the message log.");
    ASSERT_EQ(m_log.size(), 10u);
    for (COLORREF colour : m_colours)
        EXPECT_EQ(colour, 0u);
}

TEST_F(SignatureTest, EveryEncodingOfTheListImportsTheSameSignatures)
{
    RecordingMessageBox boxes;
    const CDeviceIdDecoder plain = Imported(kSignatures);
    for (tonrig::test::TextEncoding encoding : tonrig::test::kTextEncodings) {
        SCOPED_TRACE(tonrig::test::TextEncodingName(encoding));
        const CDeviceIdDecoder decoder = Imported(tonrig::test::Encode(kSignatures.toStdString(), encoding));
        for (const char* code : { "7F7F9D", "1F", "29", "1E", "01" })
            EXPECT_EQ(Signatures(decoder, code), Signatures(plain, code)) << code;
    }
    EXPECT_EQ(Signatures(plain, "29").size(), 1u);
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST_F(SignatureTest, ALineHoldingANulIsTakenByNeitherTheCatalogueNorTheImport)
{
    InitDeviceClassTable();
    const std::string kept = "Name=\"AT29C512\" ID=\"1F5D\" Class=\"27C512\"\r\n";
    struct Row {
        const char* where;
        std::string line;
    };
    const auto bytes = [](const char* text, std::size_t nul) {
        std::string line(text);
        return line.insert(nul, 1, '\0');
    };
    const char* line = "Name=\"AT29C256\" ID=\"1FDC\" Class=\"27C256\"";
    const Row rows[] = {
        { "in the name", bytes(line, 11) },
        { "in the maker's byte", bytes(line, 21) },
        { "in the device code", bytes(line, 23) },
        { "between two values", bytes(line, 15) },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.where);
        const QByteArray text = QByteArray::fromStdString(row.line + "\r\n" + kept);
        RecordingMessageBox boxes;
        m_log.clear();
        g_DeviceLibrary.FreeAll();
        g_DeviceLibrary.LoadDeviceListText(text, "devices.txt");
        ASSERT_EQ(g_DeviceRecords.size(), 1u);
        EXPECT_EQ(g_DeviceRecords[0]->m_strName, "AT29C512");
        std::string shown = row.line;
        shown.replace(shown.find('\0'), 1, "<NUL>");
        EXPECT_EQ(m_log, std::vector<std::string> { "#ERROR# Line syntax error: \"" + shown + "\"" });

        const CDeviceIdDecoder decoder = Imported(text);
        EXPECT_EQ(Signatures(decoder, "1F"), (std::vector<CDeviceSignature> { { "AT29C512", "5D" } }));
        EXPECT_EQ(boxes.Count(), 0u) << boxes.Boxes()[0].text;
    }
    g_DeviceLibrary.FreeAll();
}

TEST_F(SignatureTest, AMissingFileIsBoxedAndLeavesTheTableWithoutSignatures)
{
    RecordingMessageBox boxes;
    CDeviceIdDecoder decoder;
    decoder.FillManufacturerTable();
    const std::string path = m_dir.filePath("none.txt").toStdString();
    EXPECT_FALSE(decoder.LoadDeviceSignatures(path));
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, "file open error: devices.txt ." + path);
    EXPECT_EQ(boxes.Boxes()[0].caption, "Tonrig");
    decoder.DecodeDeviceId("1F9999", 0, "", "");
    EXPECT_EQ(decoder.m_strManufacturerText, "Atmel") << "the makers are still named";
}

TEST_F(SignatureTest, BothShippedListsImportWithoutABoxAndEveryIdNamesItsDevice)
{
    g_CurrentDevice = CDeviceClass();
    for (const char* list : { "devices.txt", "devicesQ8U.txt" }) {
        SCOPED_TRACE(list);
        QFile resource(QString(":/devices/") + list);
        ASSERT_TRUE(resource.open(QIODevice::ReadOnly));
        const QByteArray bytes = resource.readAll();
        RecordingMessageBox boxes;
        m_log.clear();
        const CDeviceIdDecoder imported = Imported(bytes);
        EXPECT_EQ(boxes.Count(), 0u) << boxes.Boxes()[0].text;
        EXPECT_TRUE(m_log.empty());

        // Each line's ID names a maker and a device of that ID.
        std::map<std::string, std::set<std::string>> namesById;
        std::vector<std::pair<std::string, std::string>> lines;
        for (const std::string& raw : devicelist::ReadLines(bytes)) {
            const std::string_view line = devicelist::TrimLeft(raw);
            std::string name, id;
            if (!devicelist::IsDeviceLine(line) || !devicelist::GetKeyValue(line, "Name=", name)
                || !devicelist::GetKeyValue(line, "ID=", id) || id == "XXXX")
                continue;
            namesById[id].insert(name);
            lines.emplace_back(name, id);
        }
        ASSERT_FALSE(lines.empty());
        for (const auto& [name, id] : lines) {
            SCOPED_TRACE(name + " " + id);
            CDeviceIdDecoder decoder = imported;
            decoder.DecodeDeviceId(id, 0, "", "");
            EXPECT_NE(decoder.m_strManufacturerText, "Not in library");
            EXPECT_TRUE(namesById[id].count(decoder.m_strType)) << decoder.m_strType;
            // A PIC's Get ID gives the word alone with the Microchip code.
            if (id.size() == 6 && id.rfind("29", 0) == 0) {
                decoder.DecodeDeviceId(id.substr(2), 2, "29", "3");
                EXPECT_EQ(decoder.m_strManufacturerText, "MicrochipTechnology");
                EXPECT_TRUE(namesById[id].count(decoder.m_strType)) << decoder.m_strType;
            }
        }
    }
}

} // namespace
