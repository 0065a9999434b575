#include "catalogue/ChipPicture.h"
#include "catalogue/DeviceClassTable.h"
#include "catalogue/DeviceLibrary.h"
#include "catalogue/DeviceLists.h"
#include "catalogue/DeviceSelection.h"
#include "link/ProgrammerModel.h"
#include "platform/Folders.h"
#include "support/RecordingMessageBox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

QByteArray Resource(const char* name)
{
    QFile file(QString(":/devices/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class ShippedDeviceListsTest : public testing::Test {
protected:
    void SetUp() override
    {
        InitDeviceClassTable();
        g_DeviceLibrary.FreeAll();
        SetShippedDeviceListSource({});
        SetDeviceListLogSink([this](const std::string& text, COLORREF) { m_log.push_back(text); });
        m_folder = GetAppDataFolder();
        for (const char* name : { "devices.txt", "devicesQ8U.txt", "customdevices.txt" })
            QFile::remove(QString::fromStdString(m_folder + "/" + name));
    }
    void TearDown() override
    {
        for (const char* name : { "devices.txt", "devicesQ8U.txt", "customdevices.txt" })
            QFile::remove(QString::fromStdString(m_folder + "/" + name));
        g_DeviceLibrary.FreeAll();
        SetDeviceListLogSink({});
        g_nProgrammerModel = kModelZvC;
    }

    std::string m_folder;
    std::vector<std::string> m_log;
};

} // namespace

TEST_F(ShippedDeviceListsTest, BothListsLoadCleanOnEveryModel)
{
    tonrig::test::RecordingMessageBox boxes;
    std::map<int, std::vector<std::string>> namesByModel;
    for (int model : { kModelZvC, kModelZvCQ, kModelZvD }) {
        SCOPED_TRACE(model);
        g_nProgrammerModel = model;
        m_log.clear();
        LoadDeviceLists(true);
        EXPECT_EQ(boxes.Count(), 0u);
        EXPECT_TRUE(m_log.empty()) << m_log.front();
        std::set<int> classes;
        std::set<std::string> names;
        for (const auto& r : g_DeviceRecords) {
            classes.insert(r->m_nClassIndex);
            EXPECT_TRUE(names.insert(r->m_strName).second) << r->m_strName;
            namesByModel[model].push_back(r->m_strName);
            EXPECT_NE(r->m_strId, "0000") << r->m_strName;
            EXPECT_TRUE(r->m_nCategory == kCategoryEprom || r->m_nCategory == kCategoryFlash
                || r->m_nCategory == kCategoryMcu || r->m_nCategory == kCategorySerialEprom
                || r->m_nCategory == kCategorySram || r->m_nCategory == kCategoryGalCpld)
                << r->m_strName;
            EXPECT_EQ(r->m_nCategory == kCategoryGalCpld, r->m_nClassIndex == 310 || r->m_nClassIndex == 311);
            // A PIC's description file is its name and ".dev", but for a variant that shares one.
            EXPECT_EQ(r->m_strDeviceFile, r->m_strName == "PIC16F628A(ICSP)" ? "PIC16F628A.DEV" : "-1");
            // On the ZV-D the configuration a class needs comes with it.
            const CDeviceClass& cls = g_DeviceClassTable[static_cast<std::size_t>(r->m_nClassIndex)];
            if (model == kModelZvD && !cls.m_strFirmwareIdQ8U.empty()) {
                EXPECT_EQ(r->m_strFirmwareIdQ8U, cls.m_strFirmwareIdQ8U);
            }
        }
        const std::set<int> refused { 24, 28, 29, 30, 31, 90, 115, 277 };
        for (int i = 6; i <= 325; ++i) {
            if (!g_DeviceClassTable[static_cast<std::size_t>(i)].m_strName.empty() && !refused.count(i)) {
                EXPECT_TRUE(classes.count(i)) << "no device for class " << i;
            }
        }
        for (int i : refused)
            EXPECT_FALSE(classes.count(i)) << i;
        for (const char* name : { "SST27SF512", "AM27C256", "M27C256B", "AT27C256R", "PIC16F628A(ICSP)" })
            ASSERT_NE(g_DeviceLibrary.FindDevice(name), nullptr) << name;
        EXPECT_EQ(g_DeviceLibrary.FindDevice("SST27SF512")->m_nClassIndex, 176);
        EXPECT_EQ(g_DeviceLibrary.FindDevice("M27C256B")->m_nClassIndex, 130);
        EXPECT_EQ(g_DeviceLibrary.FindDevice("PIC16F628A(ICSP)")->m_strChipMode, "ICSP");
    }
    EXPECT_EQ(namesByModel[kModelZvC], namesByModel[kModelZvD]);
    EXPECT_EQ(namesByModel[kModelZvC], namesByModel[kModelZvCQ]);
    EXPECT_GT(namesByModel[kModelZvC].size(), 290u);
}

// What the header pane and the selection dialog show of each listed device: its class with its
// own line laid over, as a selection makes it current.
TEST_F(ShippedDeviceListsTest, EveryListedDeviceShowsItsRealPackage)
{
    tonrig::test::RecordingMessageBox boxes;
    // A package name is a package form and its pin count; a class name or a socket layout is not.
    const std::regex package("(DIP|SOIC|PLCC|TSOP|PSOP|SOP|SSOP|TQFP|TO)[0-9]+");
    const std::regex namedByAdapter("((DIP|SOIC|PLCC|TSOP|PSOP|SOP|SSOP|TQFP)[0-9]+)( .*)?");
    struct Expected {
        const char* package;
        const char* adapter;
    };
    const std::map<std::string, Expected> expected {
        { "PIC12F508", { "DIP8", "" } },
        { "PIC12F509", { "DIP8", "" } },
        { "PIC18F2550", { "DIP28", "" } },
        { "PIC18F4550", { "DIP40", "" } },
        { "PIC18F97J60", { "TQFP100", "TQFP100 adapter" } },
        { "PIC18F252", { "DIP28", "" } },
        { "PIC18F452", { "DIP40", "" } },
        { "PIC18F1220", { "DIP18", "" } },
        { "PIC18F1320", { "DIP18", "" } },
        { "PIC18F2431", { "DIP28", "" } },
        { "EPM7064S", { "PLCC44", "PLCC44 adapter" } },
        { "EPM7128S", { "PLCC84", "PLCC84 adapter" } },
        { "XC9536", { "PLCC44", "PLCC44 adapter" } },
        { "XC9572", { "PLCC44", "PLCC44 adapter" } },
        { "SST25VF020", { "SOIC8", "SOIC8 to DIP8 adapter" } },
        { "SST25VF040B", { "SOIC8", "SOIC8 to DIP8 adapter" } },
        { "AT25DF041A", { "SOIC8", "SOIC8 to DIP8 adapter" } },
        { "W25Q256FV", { "SOIC16", "SOIC16 adapter" } },
        { "W25Q256FV(QUAD)", { "SOIC16", "SOIC16 adapter" } },
        { "SST39VF512", { "PLCC32", "PLCC32 to DIP32 adapter" } },
        { "SST39VF010", { "PLCC32", "PLCC32 to DIP32 adapter" } },
        { "SST39VF020", { "PLCC32", "PLCC32 to DIP32 adapter" } },
        { "SST39VF040", { "PLCC32", "PLCC32 to DIP32 adapter" } },
        { "M29F080B", { "TSOP40", "TSOP40 adapter" } },
        { "M27C800", { "DIP42", "DIP42 adapter" } },
        { "AM29LV800B", { "TSOP48", "TSOP48 adapter" } },
        { "CY14B101L", { "SOIC32", "SOIC32 adapter" } },
    };
    for (int model : { kModelZvC, kModelZvD }) {
        SCOPED_TRACE(model);
        g_nProgrammerModel = model;
        LoadDeviceLists(true);
        std::size_t checked = 0, namedPackages = 0;
        for (const DeviceSelectEntry& entry : DeviceSelectEntriesFromRecords()) {
            SCOPED_TRACE(entry.name);
            ASSERT_TRUE(SelectDeviceEntry(entry));
            const std::string& shown = g_CurrentDevice.m_strPackage;
            const std::string& adapter = g_CurrentDevice.m_strAdapter;
            EXPECT_TRUE(std::regex_match(shown, package)) << shown;
            // A package the socket picture cannot show sits on an adapter (TO92 has the socket's
            // own placement).
            const int picture = chip_picture::ChooseChipPicture(
                shown, g_CurrentDevice.m_pPicConfig != nullptr, entry.classIndex, adapter);
            if (picture == chip_picture::kNone && shown != "TO92") {
                EXPECT_FALSE(adapter.empty()) << shown;
            }
            // An adapter that names a package names the device's.
            std::smatch named;
            if (std::regex_match(adapter, named, namedByAdapter)) {
                EXPECT_EQ(named[1].str(), shown) << adapter;
                ++namedPackages;
            }
            if (const auto it = expected.find(entry.name); it != expected.end()) {
                EXPECT_EQ(shown, it->second.package);
                EXPECT_EQ(adapter, it->second.adapter);
                ++checked;
            }
        }
        EXPECT_EQ(checked, expected.size());
        EXPECT_GT(namedPackages, 60u);
    }
    g_CurrentDevice = CDeviceClass();
    g_PreviousDevice = CDeviceClass();
    EXPECT_EQ(boxes.Count(), 0u);
}

// A user's own device takes its class's package when its line names none: what the pane shows
// of it is a package too, never the class name some socket layouts go by.
TEST(DeviceClassPackages, EveryClassShowsARealPackageName)
{
    InitDeviceClassTable();
    const std::regex package("(DIP|SOIC|PLCC|TSOP|PSOP|SOP|SSOP|TQFP|TO)[0-9]+");
    for (const CDeviceClass& cls : g_DeviceClassTable) {
        if (cls.m_strName.empty())
            continue;
        SCOPED_TRACE(cls.m_strName);
        EXPECT_TRUE(std::regex_match(chip_picture::PackageName(cls.m_strPackage), package)) << cls.m_strPackage;
    }
    EXPECT_EQ(chip_picture::PackageName("PIC12F50X"), "DIP8");
}

TEST_F(ShippedDeviceListsTest, TheFilesKeepTheirForm)
{
    int platforms = 0;
    int plcc = 0;
    int soic = 0;
    for (const char* list : { "devices.txt", "devicesQ8U.txt" }) {
        SCOPED_TRACE(list);
        const QByteArray text = Resource(list);
        ASSERT_FALSE(text.isEmpty());
        EXPECT_TRUE(text.startsWith(";"));
        EXPECT_TRUE(text.endsWith("\r\n"));
        EXPECT_FALSE(text.contains("XILINX 5V DEVICES"));
        EXPECT_EQ(text.count("DeviceFile="), 2); // the key's comment and the ICSP variant
        for (char c : text)
            ASSERT_TRUE(static_cast<unsigned char>(c) < 0x80) << "not ASCII";
        EXPECT_EQ(text.count("\r\n"), text.count("\n"));
        EXPECT_EQ(text.count("\r\n"), text.count("\r"));
        for (const QByteArray& line : text.split('\n')) {
            const QByteArray l = line.trimmed();
            if (l.isEmpty() || l.startsWith(';'))
                continue;
            const int name = l.indexOf("Name=\""), id = l.indexOf(" ID=\""), cls = l.indexOf(" Class=\""),
                      category = l.indexOf(" Category=\""), mfg = l.indexOf(" MFG=\"");
            EXPECT_TRUE(name == 0 && name < id && id < cls && cls < category && category < mfg) << l.toStdString();
            if (std::string(list) == "devices.txt") {
                platforms += l.contains("Platform=");
                plcc += l.contains("PLCC32") && l.contains("Adapter=\"PLCC32 to") && l.contains("Message=\"Seat");
                soic += l.contains("SOIC8") && l.contains("Adapter=\"SOIC8 to") && l.contains("Message=\"Fit");
            }
        }
    }
    EXPECT_EQ(platforms, 1);
    EXPECT_EQ(plcc, 1);
    EXPECT_EQ(soic, 1);
    EXPECT_TRUE(Resource("devicesQ8U.txt").contains("Q8UFirmwareID=\"15021000\""));
    EXPECT_FALSE(Resource("devices.txt").contains("Q8UFirmwareID="));
}

TEST_F(ShippedDeviceListsTest, InstalledOnceAndNeverOverwritten)
{
    InstallShippedDeviceLists();
    QFile main(QString::fromStdString(m_folder + "/devices.txt"));
    ASSERT_TRUE(main.open(QIODevice::ReadOnly));
    EXPECT_EQ(main.readAll(), Resource("devices.txt"));
    main.close();
    ASSERT_TRUE(main.open(QIODevice::WriteOnly | QIODevice::Truncate));
    main.write("; mine\r\n");
    main.close();
    InstallShippedDeviceLists();
    ASSERT_TRUE(main.open(QIODevice::ReadOnly));
    EXPECT_EQ(main.readAll(), QByteArray("; mine\r\n"));
}

TEST_F(ShippedDeviceListsTest, DescriptionFilesAreInstalledWhenMissingInAnyCase)
{
    const QString devices = QString::fromStdString(m_folder + "/devices");
    QDir(devices).removeRecursively();
    ASSERT_TRUE(QDir().mkpath(devices));
    {
        // The user's own file, in another letter case, stays the one in use.
        QFile mine(devices + "/pic16f84a.dev");
        ASSERT_TRUE(mine.open(QIODevice::WriteOnly));
        mine.write("; mine\r\n");
    }
    InstallShippedDeviceLists();
    const QStringList shipped = QDir(":/devices/descriptions").entryList(QDir::Files);
    EXPECT_EQ(shipped.size(), 18);
    for (const QString& name : shipped) {
        if (name == "PIC16F84A.dev") {
            EXPECT_FALSE(QFileInfo::exists(devices + "/" + name));
            continue;
        }
        QFile installed(devices + "/" + name);
        ASSERT_TRUE(installed.open(QIODevice::ReadOnly)) << name.toStdString();
        EXPECT_EQ(installed.readAll(), Resource(("descriptions/" + name).toUtf8().constData()));
    }
    QFile mine(devices + "/pic16f84a.dev");
    ASSERT_TRUE(mine.open(QIODevice::ReadOnly));
    EXPECT_EQ(mine.readAll(), QByteArray("; mine\r\n"));
    QDir(devices).removeRecursively();
}
