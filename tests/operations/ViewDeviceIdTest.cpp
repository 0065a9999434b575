// Get ID and Lock through the main view against the virtual programmer: the chip-ID dialog as the
// user sees it, the questions answered by the test, the chip's lock afterwards, and the view idle
// with the link free when each ends.

#include "operations/ui/TonrigView.h"

#include "catalogue/DeviceClassTable.h"
#include "catalogue/DeviceIdDecoder.h"
#include "catalogue/ui/DeviceIdDlg.h"
#include "controls/ui/XColorStatic.h"
#include "link/CFGManager.h"
#include "link/LinkLease.h"
#include "link/ProgrammerCommand.h"
#include "link/ProgrammerLink.h"
#include "link/ProgrammerModel.h"
#include "operations/OperationControl.h"
#include "operations/OperationState.h"
#include "platform/Clock.h"
#include "platform/Folders.h"
#include "platform/GuiThread.h"
#include "platform/usb/UsbProviders.h"
#include "platform/usb/VirtualBus.h"
#include "shell/Language.h"
#include "shell/LanguageLoader.h"
#include "sim/Box.h"
#include "sim/FaultPlan.h"
#include "support/RecordingMessageBox.h"
#include "support/TestEnvironment.h"

#include "ViewOnBoxFixture.h"

#include <QFile>

#include <gtest/gtest.h>

#include <mutex>
#include <optional>

namespace {

using sim::ChipCategory;
using sim::ChipSpec;

struct ShownId {
    std::string id, manufacturer, type, revision;
};

struct IdCase {
    const char* name;
    int classIndex;
    ChipCategory category;
    std::vector<std::uint8_t> signature;
    ShownId expected;
};

class ViewDeviceIdOnBox : public tonrig::test::ViewOnBoxFixture {
protected:
    ViewDeviceIdOnBox()
        : ViewOnBoxFixture(
            { .manualClock = false, .version = "ZV-C Re-2.00", .header = false, .packageOfClass = false })
    {
    }
    void SetUp() override
    {
        ViewOnBoxFixture::SetUp();
        if (HasFatalFailure())
            return;
        for (std::uint8_t code : { std::uint8_t(P_SIGNATURE), std::uint8_t(P_SET_LOCK) })
            box->Observe(code, [this](const std::uint8_t* p, std::size_t n) {
                std::lock_guard lock(sentMutex);
                sent.emplace_back(p, p + n);
            });
        view->SetDeviceIdDialogRunner([this](CDeviceIdDlg& dialog) {
            shown.push_back(
                { dialog.m_strDeviceId, dialog.m_strManufacturerText, dialog.m_strType, dialog.m_strRevision });
        });
    }

    void Select(int index)
    {
        g_nCurrentClass = index;
        g_CurrentDevice = g_DeviceClassTable[static_cast<std::size_t>(index)];
    }
    ChipSpec Chip(ChipCategory category, std::vector<std::uint8_t> signature)
    {
        ChipSpec chipSpec = ChipSpec::Make(category, 0x800);
        chipSpec.signature = std::move(signature);
        return chipSpec;
    }
    int LockLevel()
    {
        std::lock_guard lock(box->Mutex());
        return box->ChipSocket().Get()->LockLevel();
    }
    // The command's exchange has ended and the view is idle again.
    bool WaitIdle()
    {
        return tonrig::test::ProcessEventsUntil(
            [&] { return !view->ExchangeRunning() && !g_LinkLease.IsHeld() && g_nOperationState == kStateIdle; });
    }
    bool Logged(const std::string& text) const { return Log().find(text) != std::string::npos; }
    // Get ID on the case's chip, until the view is idle again and the dialog has been shown.
    void GetId(const IdCase& c)
    {
        Select(c.classIndex);
        Insert(Chip(c.category, c.signature));
        shown.clear();
        view->OnSignatureId();
        ASSERT_TRUE(WaitIdle());
        ASSERT_TRUE(tonrig::test::ProcessEventsUntil([&] { return !shown.empty(); }));
        EXPECT_EQ(shown[0].id, c.expected.id);
        EXPECT_EQ(shown[0].manufacturer, c.expected.manufacturer);
        EXPECT_EQ(shown[0].type, c.expected.type);
        EXPECT_EQ(shown[0].revision, c.expected.revision);
    }

    platform::usb::ScopedUsbProvider usb { bus };
    std::vector<ShownId> shown;
    std::mutex sentMutex;
    std::vector<std::vector<std::uint8_t>> sent; // the box's P_SIGNATURE and P_SET_LOCK packets

    std::vector<std::vector<std::uint8_t>> Sent(std::uint8_t code)
    {
        std::lock_guard lock(sentMutex);
        std::vector<std::vector<std::uint8_t>> out;
        for (const auto& packet : sent)
            if (packet[0] == code)
                out.push_back(packet);
        return out;
    }
};

TEST_F(ViewDeviceIdOnBox, GetIdShowsTheChipInTheDialog)
{
    const IdCase cases[] = {
        { "an AVR, the selected chip", 27, ChipCategory::Avr, { 0x1E, 0x91, 0x0A },
            { "1E910A", g_DeviceClassTable[27].m_strManufacturer, "ATTINY2313", "-" } },
        { "another AVR in the socket", 27, ChipCategory::Avr, { 0x1E, 0x93, 0x06 },
            { "1E9306", "Not in library", "Unknown Device", "-" } },
        { "a 14-bit PIC: its ID word masked, the revision beside it", 313, ChipCategory::Pic, { 0x10, 0x66 },
            { "1060", "Not in library", "Unknown Device", "6" } },
    };
    for (const IdCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t asked = Sent(P_SIGNATURE).size();
        ASSERT_NO_FATAL_FAILURE(GetId(c));
        EXPECT_EQ(shown.size(), 1u);
        EXPECT_EQ(Sent(P_SIGNATURE).size(), asked + 1);
    }
    EXPECT_EQ(boxes.Count(), 0u);
    EXPECT_TRUE(box->ProtocolErrors().empty());
}

// A start, by what devices.txt holds then.
struct StartList {
    const char* name;
    std::optional<QByteArray> bytes; // none: no file, the first start on an empty folder
};

void PrintTo(const StartList& list, std::ostream* out)
{
    *out << list.name;
}

class ViewDeviceIdAtStart : public ViewDeviceIdOnBox, public testing::WithParamInterface<StartList> { };

TEST_P(ViewDeviceIdAtStart, GetIdNamesTheChipFromTheShippedListsSignatures)
{
    // The lists installed where there are none, then imported; a devices.txt that holds no
    // devices gives way to the shipped list for the signatures as for the catalogue.
    for (const char* name : { "devices.txt", "devicesQ8U.txt", "customdevices.txt" })
        QFile::remove(QString::fromStdString(GetAppDataFolder() + "/" + name));
    if (GetParam().bytes) {
        QFile file(QString::fromStdString(GetAppDataFolder() + "/devices.txt"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(*GetParam().bytes), GetParam().bytes->size());
    }
    view->OnInitialUpdate();
    ASSERT_TRUE(tonrig::test::ProcessEventsUntil([&] {
        return g_nOperationState == kStateIdle && !g_LinkLease.IsHeld();
    })) << Log();
    EXPECT_EQ(boxes.Count(), 0u) << ::testing::PrintToString(BoxTexts());
    ASSERT_EQ(view->DeviceIdDlg().Manufacturers().size(), kManufacturerRows);
    // The four values as the dialog shows them: the ID blue, the others green.
    std::vector<std::pair<std::string, COLORREF>> values;
    view->SetDeviceIdDialogRunner([this, &values](CDeviceIdDlg& dialog) {
        shown.push_back({ dialog.m_strDeviceId, dialog.m_strManufacturerText, dialog.m_strType, dialog.m_strRevision });
        values.clear();
        for (int id : { CDeviceIdDlg::IDC_VALUE_ID, CDeviceIdDlg::IDC_VALUE_MANUFACTURER, CDeviceIdDlg::IDC_VALUE_TYPE,
                 CDeviceIdDlg::IDC_VALUE_REVISION }) {
            auto* value = qobject_cast<CXColorStatic*>(dialog.GetDlgItem(id));
            values.emplace_back(value ? value->text().toStdString() : "(missing)", value ? value->GetTextColor() : 1);
        }
    });

    const IdCase cases[] = {
        { "an AVR, the selected chip", 27, ChipCategory::Avr, { 0x1E, 0x91, 0x0A },
            { "1E910A", g_DeviceClassTable[27].m_strManufacturer, "ATTINY2313", "-" } },
        { "another shipped AVR in the socket", 27, ChipCategory::Avr, { 0x1E, 0x90, 0x01 },
            { "1E9001", "Atmel", "AT90S1200", "-" } },
        { "a chip not in the library", 27, ChipCategory::Avr, { 0x1E, 0x99, 0x99 },
            { "1E9999", "Atmel", "Unknown Device", "-" } },
        { "a 14-bit PIC of the shipped list", 314, ChipCategory::Pic, { 0x05, 0x62 },
            { "0560", "MicrochipTechnology", "PIC16F84A", "2" } },
    };
    for (const IdCase& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NO_FATAL_FAILURE(GetId(c));
        const std::vector<std::pair<std::string, COLORREF>> expected = {
            { c.expected.id, 0xFF0000 },
            { c.expected.manufacturer, RGB(0, 125, 0) },
            { c.expected.type, RGB(0, 125, 0) },
            { c.expected.revision, RGB(0, 125, 0) },
        };
        EXPECT_EQ(values, expected);
    }
    EXPECT_EQ(boxes.Count(), 0u) << ::testing::PrintToString(BoxTexts());
}

INSTANTIATE_TEST_SUITE_P(DevicesTxt, ViewDeviceIdAtStart,
    testing::Values(StartList { "Absent", std::nullopt }, StartList { "Empty", QByteArray() },
        StartList { "NulBytes", QByteArray(4096, '\0') }),
    [](const testing::TestParamInfo<StartList>& info) { return std::string(info.param.name); });

TEST_F(ViewDeviceIdOnBox, GetIdRefusalsAndTheEpromWarning)
{
    Select(312); // a 12-bit PIC: no device-ID word
    Insert(Chip(ChipCategory::Pic, { 0x0F, 0xFF }));
    view->OnSignatureId();
    Select(41);
    g_CurrentDevice.m_strId = "XXXXX";
    view->OnSignatureId();
    g_CurrentDevice.m_strId = "1E930601020304";
    view->OnSignatureId();
    ASSERT_EQ(boxes.Count(), 3u);
    EXPECT_EQ(boxes.Boxes()[0].text, "The function is not supported by this device.");
    EXPECT_EQ(boxes.Boxes()[0].caption, "Tonrig");
    EXPECT_EQ(boxes.Boxes()[1].text, "The function is not supported by this device.");
    EXPECT_EQ(boxes.Boxes()[2].text, "Signature length error.Please report this bug.");

    boxes.Clear();
    Select(122); // an EPROM: the ID puts 12 V on A9
    g_CurrentDevice.m_strId = "8F04";
    Insert(Chip(ChipCategory::Eprom, { 0x8F, 0x04 }));
    boxes.QueueAnswer(IDNO);
    view->ReadDeviceId();
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, "Reading the ID puts 12 V on pin A9 of an EPROM.\r\nContinue?");
    EXPECT_EQ(boxes.Boxes()[0].caption, "Warring");
    EXPECT_EQ(boxes.Boxes()[0].type & MB_TYPEMASK, static_cast<UINT>(MB_YESNO));

    EXPECT_TRUE(Sent(P_SIGNATURE).empty());
    EXPECT_TRUE(shown.empty());
    EXPECT_FALSE(view->ExchangeRunning());

    boxes.QueueAnswer(IDYES);
    view->ReadDeviceId();
    ASSERT_TRUE(WaitIdle());
    ASSERT_TRUE(tonrig::test::ProcessEventsUntil([&] { return !shown.empty(); }));
    EXPECT_EQ(shown[0].id, "8F04");
    EXPECT_EQ(shown[0].type, g_DeviceClassTable[122].m_strName);
    EXPECT_EQ(Sent(P_SIGNATURE).size(), 1u);
}

TEST_F(ViewDeviceIdOnBox, AGetIdWithoutAnAnswerIsLoggedAndShowsNoDialog)
{
    Select(27);
    Insert(Chip(ChipCategory::Avr, { 0x1E, 0x91, 0x0A }));
    box->AddFault(sim::Fault::OnCode(P_SIGNATURE, sim::FaultAction::WithholdReply));
    view->ReadDeviceId();
    ASSERT_TRUE(WaitIdle());
    ASSERT_TRUE(tonrig::test::ProcessEventsUntil([&] { return Logged("No reply from the programmer.\n"); })) << Log();
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(boxes.Count(), 0u);

    // The programmer answers the next one.
    view->ReadDeviceId();
    ASSERT_TRUE(WaitIdle());
    ASSERT_TRUE(tonrig::test::ProcessEventsUntil([&] { return !shown.empty(); }));
    EXPECT_EQ(shown[0].id, "1E910A");
}

TEST_F(ViewDeviceIdOnBox, LockSetsTheChipsLevel)
{
    struct Case {
        const char* name;
        int classIndex;
        ChipCategory category;
        bool hasLock;
        int level; // the chip's afterwards
        const char* line;
        const char* box;
    };
    const Case cases[] = {
        { "an 8051 at level 3", 8, ChipCategory::Mcu8051, true, 3, "Device locked.", "" },
        { "an AVR at level 2", 27, ChipCategory::Avr, true, 2, "Device locked.", "" },
        { "a chip that refuses", 8, ChipCategory::Mcu8051, false, 1, "Lock failed.", "Lock failed." },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        boxes.Clear();
        Select(c.classIndex);
        ChipSpec chipSpec = Chip(c.category, { 0x1E, 0x51, 0xFF });
        chipSpec.hasLock = c.hasLock;
        Insert(chipSpec);
        view->OnLock();
        ASSERT_TRUE(WaitIdle());
        ASSERT_TRUE(tonrig::test::ProcessEventsUntil([&] { return Logged(c.line); })) << Log();
        EXPECT_EQ(LockLevel(), c.level);
        if (*c.box) {
            ASSERT_EQ(boxes.Count(), 1u);
            EXPECT_EQ(boxes.Boxes()[0].text, c.box);
            EXPECT_EQ(boxes.Boxes()[0].caption, "Error");
        } else {
            EXPECT_EQ(boxes.Count(), 0u);
        }
        view->MessageLog().clear();
    }
    EXPECT_TRUE(box->ProtocolErrors().empty());
}

TEST_F(ViewDeviceIdOnBox, LockReadsAOneWireRomAndRefusesADeviceWithoutALock)
{
    Select(308);
    Insert(Chip(ChipCategory::OneWire, { 0x2D, 0x54, 0xD2, 0xEF, 0x00, 0x00, 0x00, 0x2B }));
    view->LockDevice();
    ASSERT_TRUE(WaitIdle());
    const std::string rom = "64 bits ROM: 2D 54 D2 EF 00 00 00 2B";
    ASSERT_TRUE(tonrig::test::ProcessEventsUntil([&] { return boxes.Count() == 1; }));
    EXPECT_EQ(boxes.Boxes()[0].text, rom);
    EXPECT_TRUE(Logged(rom + "\n")) << Log();
    EXPECT_TRUE(Sent(P_SET_LOCK).empty());

    boxes.Clear();
    Select(41); // a serial EEPROM without lock bits
    Insert(Chip(ChipCategory::SerialEeprom, {}));
    view->LockDevice();
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, "The function is not supported by this device.");
    EXPECT_TRUE(Sent(P_SET_LOCK).empty());
    EXPECT_FALSE(view->ExchangeRunning());
    EXPECT_EQ(g_nOperationState, kStateIdle);
}

TEST_F(ViewDeviceIdOnBox, TheAt34c02IsAskedByAUserButNotInABatch)
{
    Select(41);
    g_CurrentDevice.m_strName = "AT34C02";
    ChipSpec chipSpec = Chip(ChipCategory::SerialEeprom, {});
    chipSpec.protectableUpperHalf = true;
    Insert(chipSpec);

    boxes.QueueAnswer(IDNO);
    view->LockDevice();
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, "This write protection cannot be undone.\r\nContinue?");
    EXPECT_EQ(boxes.Boxes()[0].caption, "Lock");
    EXPECT_TRUE(Sent(P_SET_LOCK).empty());

    // The batch's lock step: timer 7, nobody asked.
    boxes.Clear();
    view->RunFlags().autoRun = true;
    view->OnTimer(CTonrigView::kTimerLock);
    ASSERT_TRUE(WaitIdle());
    ASSERT_TRUE(tonrig::test::ProcessEventsUntil([&] { return Logged("Device locked."); })) << Log();
    EXPECT_EQ(boxes.Count(), 0u);
    ASSERT_EQ(Sent(P_SET_LOCK).size(), 1u);
    EXPECT_EQ(Sent(P_SET_LOCK)[0][1], 1);
    EXPECT_FALSE(view->RunFlags().autoRun); // the lock ends the batch
}

} // namespace
