#include "catalogue/DeviceLists.h"
#include "catalogue/DeviceClassTable.h"
#include "catalogue/DeviceLibrary.h"
#include "link/ProgrammerModel.h"
#include "platform/Folders.h"
#include "support/RecordingMessageBox.h"
#include "support/TextEncodings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

using tonrig::test::RecordingMessageBox;

namespace {

struct LogLine {
    std::string text;
    COLORREF colour;
};

class DeviceListsTest : public testing::Test {
protected:
    void SetUp() override
    {
        InitDeviceClassTable();
        g_DeviceLibrary.FreeAll();
        g_nProgrammerModel = kModelZvC;
        SetShippedDeviceListSource([] { return std::vector<ShippedDeviceList> {}; });
        SetDeviceListLogSink([this](const std::string& text, COLORREF colour) { m_log.push_back({ text, colour }); });
        m_folder = GetAppDataFolder();
        RemoveLists();
    }
    void TearDown() override
    {
        RemoveLists();
        g_DeviceLibrary.FreeAll();
        SetDeviceListLogSink({});
        SetShippedDeviceListSource({});
        g_nProgrammerModel = kModelZvC;
    }

    void RemoveLists()
    {
        for (const char* name : { "devices.txt", "devicesQ8U.txt", "customdevices.txt" }) {
            const QString path = QString::fromStdString(m_folder + "/" + name);
            QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
            QFile::remove(path);
            QDir(path).removeRecursively();
        }
    }

    std::string Path(const char* name) const { return m_folder + "/" + name; }

    void Write(const char* name, const QByteArray& bytes) const
    {
        QFile file(QString::fromStdString(Path(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }

    static std::vector<std::string> Names()
    {
        std::vector<std::string> names;
        for (const auto& r : g_DeviceRecords)
            names.push_back(r->m_strName);
        return names;
    }

    int ErrorLines() const
    {
        int n = 0;
        for (const LogLine& l : m_log)
            n += l.text.rfind("#ERROR#", 0) == 0;
        return n;
    }

    std::string m_folder;
    std::vector<LogLine> m_log;
};

const QByteArray kTwoDevices
    = "; comment\r\n"
      "Name=\"AM27C256\" ID=\"0110\" Class=\"27C256\" Category=\"EPROM\" MFG=\"AMD\"\r\n"
      "  Name=\"AT24C16\" ID=\"XXXX\" Class=\"24C16\" Category=\"SERIAL_EPROM\" MFG=\"ATMEL\"\r\n";

} // namespace

TEST_F(DeviceListsTest, MissingMainListGivesOneBoxAndTheCustomListIsStillHandled)
{
    RecordingMessageBox boxes;
    EXPECT_FALSE(g_DeviceLibrary.LoadDeviceList(Path("devices.txt")));
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, "file open error: devices.txt .. " + Path("devices.txt"));
    EXPECT_EQ(boxes.Boxes()[0].caption, platform::kAppTitle);
    boxes.Clear();

    LoadDeviceLists(false);
    EXPECT_EQ(boxes.Count(), 1u);
    QFile custom(QString::fromStdString(Path("customdevices.txt")));
    ASSERT_TRUE(custom.exists());
    EXPECT_EQ(custom.size(), 0);

    Write("customdevices.txt", kTwoDevices);
    LoadDeviceLists(true);
    EXPECT_EQ(boxes.Count(), 2u); // the missing main list, again at the reload
    EXPECT_EQ(Names(), (std::vector<std::string> { "AM27C256", "AT24C16" }));
    EXPECT_EQ(ErrorLines(), 0);
}

TEST_F(DeviceListsTest, AnUnreadableCustomListIsLeftAlone)
{
    RecordingMessageBox boxes;
    Write("devices.txt", kTwoDevices);
    QDir().mkpath(QString::fromStdString(Path("customdevices.txt")));
    LoadDeviceLists(false);
    EXPECT_EQ(Names().size(), 2u);
    EXPECT_EQ(ErrorLines(), 1);
    EXPECT_TRUE(QFileInfo(QString::fromStdString(Path("customdevices.txt"))).isDir());

    if (geteuid() != 0) {
        QDir(QString::fromStdString(Path("customdevices.txt"))).removeRecursively();
        Write("customdevices.txt", kTwoDevices);
        QFile::setPermissions(QString::fromStdString(Path("customdevices.txt")), QFile::WriteOwner);
        m_log.clear();
        LoadDeviceLists(true);
        EXPECT_EQ(ErrorLines(), 1);
        QFile::setPermissions(QString::fromStdString(Path("customdevices.txt")), QFile::ReadOwner | QFile::WriteOwner);
        EXPECT_EQ(QFileInfo(QString::fromStdString(Path("customdevices.txt"))).size(), kTwoDevices.size());
    }
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST_F(DeviceListsTest, TenBadLinesGiveThreeBoxesAClosingBoxAndTenLogLines)
{
    QByteArray text = kTwoDevices;
    for (int i = 0; i < 10; ++i)
        text += "Name=\"BAD" + QByteArray::number(i) + "%s%n\" ID=\"1\" Class=\"NOSUCH\"\r\n";
    text += "Name=\"LAST\" ID=\"1\" Class=\"27C512\"";
    Write("devices.txt", text);
    RecordingMessageBox boxes;
    EXPECT_TRUE(g_DeviceLibrary.LoadDeviceList(Path("devices.txt")));
    const auto shown = boxes.Boxes();
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(shown[0].text, "The Class NOSUCH is not found. \r\nParse \"Devices.txt\" error on device BAD0%S%N.");
    EXPECT_EQ(shown[0].caption, "Parse Error");
    EXPECT_EQ(shown[3].text, "More lines of devices.txt have errors; see the message log.");
    EXPECT_EQ(shown[3].caption, "Parse Error");
    ASSERT_EQ(ErrorLines(), 10);
    EXPECT_EQ(m_log[0].text, "#ERROR# Line syntax error: \"Name=\"BAD0%s%n\" ID=\"1\" Class=\"NOSUCH\"\"");
    EXPECT_EQ(m_log[0].colour, 0u);
    EXPECT_EQ(Names(), (std::vector<std::string> { "AM27C256", "AT24C16", "LAST" }));
}

TEST_F(DeviceListsTest, LineEndingsAndEncodings)
{
    const QByteArray plain
        = "Name=\"A\" ID=\"1\" Class=\"27C256\" MFG=\"M\xC2\xB5\"\nName=\"B\" ID=\"2\" Class=\"27C512\"";
    QByteArray crlf = plain;
    crlf.replace("\n", "\r\n");
    QByteArray cr = plain;
    cr.replace("\n", "\r");
    QByteArray latin1 = plain;
    latin1.replace("\xC2\xB5", "\xB5");
    // Its first kilobyte Chinese comments, whose characters hold no NUL in UTF-16, or one ahead (U+4E00).
    QByteArray chinese;
    for (int i = 0; i < 30; ++i)
        chinese += "; \xE5\x99\xA8\xE4\xBB\xB6\xE5\x88\x97\xE8\xA1\xA8\xEF\xBC\x9A\xE4\xB8\x80\xE5\x8F\xB0"
                   "\xE7\xBC\x96\xE7\xA8\x8B\xE5\x99\xA8\xE6\x94\xAF\xE6\x8C\x81\xE7\x9A\x84\xE8\x8A\xAF"
                   "\xE7\x89\x87\xE5\x9E\x8B\xE5\x8F\xB7\xE3\x80\x82\r\n";
    chinese += crlf;
    std::vector<QByteArray> inputs = { plain, plain + "\n", crlf + "\r\n", cr, latin1 };
    for (tonrig::test::TextEncoding encoding : tonrig::test::kTextEncodings)
        for (const QByteArray& text : { plain, crlf, chinese })
            inputs.push_back(tonrig::test::Encode(text.toStdString(), encoding));
    for (const QByteArray& input : inputs) {
        SCOPED_TRACE(input.toStdString());
        g_DeviceLibrary.FreeAll();
        Write("devices.txt", input);
        EXPECT_TRUE(g_DeviceLibrary.LoadDeviceList(Path("devices.txt")));
        ASSERT_EQ(Names(), (std::vector<std::string> { "A", "B" }));
        EXPECT_EQ(g_DeviceRecords[0]->m_strManufacturer, "M\xC2\xB5");
    }
}

TEST_F(DeviceListsTest, DuplicatesLoadOrderAndLookup)
{
    Write("devices.txt", kTwoDevices + "Name=\"AM27C256\" ID=\"9\" Class=\"27C512\"\r\n");
    Write("customdevices.txt", "Name=\"MINE\" ID=\"1\" Class=\"24C02\"\nName=\"AT24C16\" ID=\"9\" Class=\"24C04\"\n");
    RecordingMessageBox boxes;
    LoadDeviceLists(false);
    const std::vector<std::string> order { "AM27C256", "AT24C16", "MINE" };
    EXPECT_EQ(Names(), order);
    int warnings = 0;
    for (const LogLine& l : m_log)
        warnings += l.text.rfind("#WARNING# Duplicate device name \"", 0) == 0;
    EXPECT_EQ(warnings, 2);
    ASSERT_NE(g_DeviceLibrary.FindDevice("AM27C256"), nullptr);
    EXPECT_EQ(g_DeviceLibrary.FindDevice("AM27C256")->m_strId, "0110");
    EXPECT_EQ(g_DeviceLibrary.FindDevice("AT24C16")->m_nClassIndex, 48);
    EXPECT_EQ(g_DeviceLibrary.FindDevice("am27c256"), nullptr);
    EXPECT_EQ(g_DeviceLibrary.FindDevice("NONE"), nullptr);

    LoadDeviceLists(true);
    EXPECT_EQ(Names(), order);
    g_DeviceLibrary.FreeAll();
    EXPECT_TRUE(g_DeviceRecords.empty());
    EXPECT_EQ(g_DeviceLibrary.FindDevice("MINE"), nullptr);
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST_F(DeviceListsTest, TheZvDReadsItsOwnList)
{
    Write("devices.txt", kTwoDevices);
    Write("devicesQ8U.txt", "Name=\"Q\" ID=\"1\" Class=\"27C256\" VCC=\"3.3V\"\n");
    RecordingMessageBox boxes;
    g_nProgrammerModel = kModelZvD;
    LoadDeviceLists(false);
    ASSERT_EQ(Names(), std::vector<std::string> { "Q" });
    EXPECT_EQ(g_DeviceRecords[0]->m_nVcc, 3);
    EXPECT_EQ(g_DeviceRecords[0]->m_strFirmwareId, "15013100");
    g_nProgrammerModel = kModelZvCQ;
    LoadDeviceLists(true);
    EXPECT_EQ(Names(), (std::vector<std::string> { "AM27C256", "AT24C16" }));
    EXPECT_EQ(g_DeviceRecords[0]->m_strFirmwareId, "00160514");
}

TEST_F(DeviceListsTest, OnlyLinesOverOneMebibyteAreRefused)
{
    const QByteArray longValue(600 * 1024, 'x');
    QByteArray text = "Name=\"LONG\" ID=\"1\" Class=\"27C256\" Message=\"" + longValue + "\"\n";
    text += "Name=\"HUGE\" ID=\"1\" Class=\"27C256\" Message=\"" + longValue + longValue + "\"\n";
    text += "Name=\"AFTER\" ID=\"1\" Class=\"27C256\"\n";
    Write("devices.txt", text);
    RecordingMessageBox boxes;
    g_DeviceLibrary.LoadDeviceList(Path("devices.txt"));
    EXPECT_EQ(Names(), (std::vector<std::string> { "LONG", "AFTER" }));
    EXPECT_EQ(g_DeviceRecords[0]->m_strMessage.size(), longValue.size());
    EXPECT_EQ(ErrorLines(), 1);
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST_F(DeviceListsTest, AReloadAskedForInsideABoxRunsOnceAfterTheLoad)
{
    int boxes = 0;
    int depth = 0;
    int deepest = 0;
    platform::SetMessageBoxService([&](const std::string&, const std::string&, UINT) {
        ++boxes;
        deepest = std::max(deepest, ++depth);
        if (boxes == 1) {
            LoadDeviceLists(true); // as an identification would, from the box's event loop
            LoadDeviceLists(true);
            Write("devices.txt", kTwoDevices);
        }
        --depth;
        return IDOK;
    });
    LoadDeviceLists(false);
    platform::SetMessageBoxService({});
    EXPECT_EQ(boxes, 1); // the missing list; the reload found it
    EXPECT_EQ(deepest, 1);
    EXPECT_EQ(Names(), (std::vector<std::string> { "AM27C256", "AT24C16" }));

    // Deferred reloads run when the last deferral ends.
    {
        DeferDeviceListReloads outer;
        {
            DeferDeviceListReloads inner;
            Write("devices.txt", "Name=\"NEW\" ID=\"1\" Class=\"27C256\"\n");
            LoadDeviceLists(true);
            EXPECT_EQ(Names().size(), 2u);
        }
        EXPECT_EQ(Names().size(), 2u);
    }
    EXPECT_EQ(Names(), std::vector<std::string> { "NEW" });
}

TEST_F(DeviceListsTest, InstallingNeverOverwrites)
{
    SetShippedDeviceListSource([] {
        return std::vector<ShippedDeviceList> { { "devices.txt", "Name=\"SHIPPED\" ID=\"1\" Class=\"27C256\"\n" },
            { "devicesQ8U.txt", "Name=\"SHIPPEDQ\" ID=\"1\" Class=\"27C256\"\n" } };
    });
    Write("devicesQ8U.txt", "Name=\"EDITED\" ID=\"1\" Class=\"27C256\"\n");
    RecordingMessageBox boxes;
    LoadDeviceLists(false);
    EXPECT_EQ(Names(), std::vector<std::string> { "SHIPPED" });
    g_nProgrammerModel = kModelZvD;
    LoadDeviceLists(true);
    EXPECT_EQ(Names(), std::vector<std::string> { "EDITED" });
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST(ResolveFileCaseInsensitive, ExactFirstThenIgnoringCase)
{
    QTemporaryDir dir;
    const std::string root = dir.path().toStdString();
    for (const char* name : { "Chip.cls", "chip.CLS", "Other.dat", "sub" }) {
        if (std::string(name) == "sub") {
            QDir(dir.path()).mkdir(name);
            continue;
        }
        QFile f(dir.path() + "/" + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    const struct {
        const char* name;
        const char* found;
    } cases[] = {
        { "chip.CLS", "chip.CLS" },
        { "Chip.cls", "Chip.cls" },
        { "CHIP.CLS", "Chip.cls" },
        { "other.DAT", "Other.dat" },
        { "SUB", "" },
        { "missing.cls", "" },
        { "", "" },
        { "../Other.dat", "" },
    };
    for (const auto& c : cases) {
        const std::string expected = *c.found ? root + "/" + c.found : "";
        EXPECT_EQ(ResolveFileCaseInsensitive(root, c.name), expected) << c.name;
    }
    EXPECT_EQ(ResolveFileCaseInsensitive(root + "/none", "Chip.cls"), "");
}

namespace {

// The shipped list's stand-in: one device, so a test can tell it from the user's.
const QByteArray kShipped = "Name=\"SHIPPED\" ID=\"1\" Class=\"27C256\"\r\n";

struct DamagedList {
    const char* name;
    QByteArray bytes;
    std::vector<std::string> names; // the catalogue afterwards
    std::vector<std::string> log; // every log line, in order
};

std::vector<DamagedList> DamagedLists(const std::string& folder)
{
    using tonrig::test::Encode;
    using tonrig::test::TextEncoding;
    const std::string fallback = "devices.txt holds no devices; the program's own list is used.";
    const std::string notText = "#ERROR# " + folder
        + "/devices.txt is not a text file (it is full of NUL bytes); the program's own list is used.";
    QByteArray utf32;
    for (char c : kTwoDevices)
        utf32.append(c).append(QByteArray(3, '\0'));
    return {
        { "an empty file", "", { "SHIPPED" }, { fallback } },
        { "comments and blank lines only", "; one\r\n\r\n   \r\n/ two\r\n\t; three", { "SHIPPED" }, { fallback } },
        { "a last line cut inside its value", kTwoDevices + "Name=\"CUT\" ID=\"1\" Class=\"27C256\" CodeSize=\"3",
            { "AM27C256", "AT24C16" },
            { "#ERROR# Line syntax error: \"Name=\"CUT\" ID=\"1\" Class=\"27C256\" CodeSize=\"3\"" } },
        { "a last line cut inside a key", kTwoDevices + "Name=\"CUT\" ID=\"1\" Class=\"27C256\" Code",
            { "AM27C256", "AT24C16" },
            { "#ERROR# Line syntax error: \"Name=\"CUT\" ID=\"1\" Class=\"27C256\" Code\"" } },
        { "an unterminated value on an inner line", "Name=\"OPEN\" ID=\"1\" Class=\"27C256\" MFG=\"X\r\n" + kTwoDevices,
            { "AM27C256", "AT24C16" },
            { "#ERROR# Line syntax error: \"Name=\"OPEN\" ID=\"1\" Class=\"27C256\" MFG=\"X\"" } },
        { "three junk lines among comments",
            "; list\r\n" + kTwoDevices + "\r\njunk here\r\n" + QByteArray("\x01\x02\xFF\x00\x7F", 5)
                + "\r\n; note\r\nName=\"HALF\" ID=\"1\"\r\n",
            { "AM27C256", "AT24C16" }, { "3 lines of devices.txt are not device lines, the first at line 6." } },
        { "one junk line", kTwoDevices + "junk", { "AM27C256", "AT24C16" },
            { "1 line of devices.txt is not a device line, at line 4." } },
        { "junk only", "junk\r\nmore junk\r\n", { "SHIPPED" },
            { "2 lines of devices.txt are not device lines, the first at line 1.", fallback } },
        { "a whole last line without its line end", kTwoDevices + "Name=\"LAST\" ID=\"1\" Class=\"27C512\"",
            { "AM27C256", "AT24C16", "LAST" }, {} },
        { "UTF-16LE without a mark", Encode(kTwoDevices.toStdString(), TextEncoding::Utf16Le),
            { "AM27C256", "AT24C16" }, {} },
        { "UTF-16BE without a mark", Encode(kTwoDevices.toStdString(), TextEncoding::Utf16Be),
            { "AM27C256", "AT24C16" }, {} },
        { "nothing but NUL bytes", QByteArray(512, '\0'), { "SHIPPED" }, { notText } },
        { "NUL bytes between the characters, not UTF-16", utf32, { "SHIPPED" }, { notText } },
        { "NUL bytes before the devices", QByteArray(600, '\0') + "\r\n" + kTwoDevices, { "AM27C256", "AT24C16" },
            { "1 line of devices.txt is not a device line, at line 1." } },
        { "a NUL byte in a device line", kTwoDevices + QByteArray("Name=\"NUL\0X\" ID=\"1\" Class=\"27C256\"\r\n", 35),
            { "AM27C256", "AT24C16" },
            { "#ERROR# Line syntax error: \"Name=\"NUL<NUL>X\" ID=\"1\" Class=\"27C256\"\"" } },
    };
}

} // namespace

TEST_F(DeviceListsTest, ADamagedListSaysWhatItSkippedAndAnEmptyOneFallsBackToTheShippedList)
{
    SetShippedDeviceListSource([] {
        return std::vector<ShippedDeviceList> { { "devices.txt", kShipped }, { "devicesQ8U.txt", kShipped } };
    });
    RecordingMessageBox boxes;
    for (const DamagedList& c : DamagedLists(m_folder)) {
        SCOPED_TRACE(c.name);
        g_DeviceLibrary.FreeAll();
        Write("devices.txt", c.bytes);
        Write("customdevices.txt", "");
        m_log.clear();
        LoadDeviceLists(false);
        EXPECT_EQ(Names(), c.names);
        // The chip-ID import reads what the catalogue read.
        EXPECT_EQ(StandInDeviceList("devices.txt"), c.names == std::vector<std::string> { "SHIPPED" } ? kShipped : "");
        std::vector<std::string> log;
        for (const LogLine& l : m_log)
            log.push_back(l.text);
        EXPECT_EQ(log, c.log);
        for (const LogLine& l : m_log) {
            if (l.text.find("is not a text file") != std::string::npos) {
                EXPECT_EQ(l.colour, RGB(192, 0, 0));
            }
        }
        QFile file(QString::fromStdString(Path("devices.txt")));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), c.bytes) << "the user's file is left as it was";
    }
    EXPECT_EQ(boxes.Count(), 0u);

    // The ZV-D's list names itself.
    g_nProgrammerModel = kModelZvD;
    g_DeviceLibrary.FreeAll();
    Write("devicesQ8U.txt", "");
    m_log.clear();
    LoadDeviceLists(false);
    EXPECT_EQ(Names(), (std::vector<std::string> { "SHIPPED" }));
    ASSERT_EQ(m_log.size(), 1u);
    EXPECT_EQ(m_log[0].text, "devicesQ8U.txt holds no devices; the program's own list is used.");

    // The user's list has no stand-in: it is named, and gives nothing.
    g_nProgrammerModel = kModelZvC;
    g_DeviceLibrary.FreeAll();
    Write("devices.txt", kTwoDevices);
    Write("customdevices.txt", QByteArray(512, '\0'));
    m_log.clear();
    LoadDeviceLists(false);
    EXPECT_EQ(Names(), (std::vector<std::string> { "AM27C256", "AT24C16" }));
    ASSERT_EQ(m_log.size(), 1u);
    EXPECT_EQ(m_log[0].text,
        "#ERROR# " + Path("customdevices.txt")
            + " is not a text file (it is full of NUL bytes); no device is taken from it.");
    EXPECT_EQ(m_log[0].colour, RGB(192, 0, 0));
    EXPECT_EQ(boxes.Count(), 0u);
}
