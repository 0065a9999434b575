// The view's command buttons and its Setting commands on the virtual programmer: each button runs
// its command as the menu does, Background Color colours the log for this run, Others stores the
// two start-up options.

#include "operations/ui/TonrigView.h"

#include "catalogue/ui/DeviceIdDlg.h"
#include "controls/ui/IconButton.h"
#include "link/ProgrammerCommand.h"
#include "operations/CommandChannelPump.h"
#include "operations/DeviceSetup.h"
#include "operations/ui/ViewSetup.h"
#include "platform/GuiThread.h"
#include "platform/SettingsStore.h"
#include "platform/usb/UsbProviders.h"
#include "shell/RegistryKey.h"
#include "shell/ui/OthersDlg.h"
#include "shell/ui/TonrigApp.h"

#include "TapChannel.h"
#include "ViewOnBoxFixture.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using tonrig::test::Count;
using tonrig::test::Pattern;
using tonrig::test::ProcessEventsUntil;

namespace {

constexpr const char* kSettingsKey = "Software\\Zelvo USB Programmer\\Settings";

class ViewSettingsOnBox : public tonrig::test::ViewOnBoxFixture {
protected:
    void SetUp() override
    {
        ViewOnBoxFixture::SetUp();
        if (HasFatalFailure())
            return;
        CheckOnly();
        tonrig::test::TapViewChannel(*view, pumpChannel, tap);
        view->ApplyLanguage();
        // The Device button reaches the selection through the application.
        g_pMainView = view.get();
        app.SetDeviceSelector([this] {
            ++selections;
            return choice;
        });
        view->SetDeviceIdDialogRunner([this](CDeviceIdDlg& dialog) { shownIds.push_back(dialog.m_strDeviceId); });
    }
    void TearDown() override
    {
        g_pMainView = nullptr;
        ViewOnBoxFixture::TearDown();
    }
    CIconButton* Button(int id) const { return qobject_cast<CIconButton*>(view->GetDlgItem(id)); }
    void RunToEnd()
    {
        ASSERT_TRUE(ProcessEventsUntil([&] { return Idle() && g_bSetupIdle == 1; }, 60s)) << Log();
    }
    bool Logged(const std::string& text) const { return Log().find(text) != std::string::npos; }

    platform::usb::ScopedUsbProvider usb { bus };
    CTonrigApp app;
    CTonrigApp::DeviceChoice choice;
    int selections = 0;
    std::vector<std::string> shownIds;
    std::unique_ptr<CommandChannelPump> pumpChannel;
    std::unique_ptr<tonrig::test::TapChannel> tap;
};

TEST_F(ViewSettingsOnBox, EachCommandButtonIsAnIconButtonThatRunsItsCommand)
{
    struct Case {
        int id;
        const char* caption;
        std::function<void()> before;
        std::function<void()> check;
    };
    const std::vector<std::uint8_t> image = Pattern(4096, 5);
    const Case cases[] = {
        { 123, "Device", [&] { choice = { false, 8 }; },
            [&] {
                EXPECT_EQ(selections, 1);
                EXPECT_TRUE(Logged("Device: ")) << Log();
                EXPECT_EQ(g_nCurrentClass, 8);
            } },
        { 124, "ID",
            [&] {
                Select(27, 0x800);
                sim::ChipSpec chipSpec = sim::ChipSpec::Make(sim::ChipCategory::Avr, 0x800);
                chipSpec.signature = { 0x1E, 0x91, 0x0A };
                Insert(chipSpec);
            },
            [&] {
                ASSERT_TRUE(ProcessEventsUntil([&] { return !shownIds.empty(); }));
                EXPECT_EQ(shownIds.front(), "1E910A");
            } },
        { 125, "Read",
            [&] {
                Select(8, 4096);
                Insert(sim::ChipSpec::Make(sim::ChipCategory::Mcu8051, 4096));
                std::lock_guard lock(box->Mutex());
                box->ChipSocket().Get()->Contents(sim::ChipMemory::Main) = image;
            },
            [&] {
                EXPECT_TRUE(Logged("Read completed.")) << Log();
                EXPECT_TRUE(view->m_CodeBuffer == image);
            } },
        { 128, "Write",
            [&] {
                Select(8, 4096);
                Insert(sim::ChipSpec::Make(sim::ChipCategory::Mcu8051, 4096));
                view->m_CodeBuffer = image;
            },
            [&] {
                EXPECT_TRUE(Logged("Device write completed")) << Log();
                EXPECT_TRUE(Chip() == image);
            } },
        { 129, "Verify",
            [&] {
                Select(8, 4096);
                Insert(sim::ChipSpec::Make(sim::ChipCategory::Mcu8051, 4096));
                view->m_CodeBuffer = image;
                std::lock_guard lock(box->Mutex());
                box->ChipSocket().Get()->Contents(sim::ChipMemory::Main) = image;
            },
            [&] { EXPECT_TRUE(Logged("Device is verified")) << Log(); } },
        { 127, "Blank Check",
            [&] {
                Select(8, 4096);
                Insert(sim::ChipSpec::Make(sim::ChipCategory::Mcu8051, 4096));
            },
            [&] { EXPECT_TRUE(Logged("Chip is blank")) << Log(); } },
        { 130, "Auto Mode",
            [&] {
                Select(8, 4096);
                Insert(sim::ChipSpec::Make(sim::ChipCategory::Mcu8051, 4096));
                header->SetOption(HeaderOption::BlankCheck, true);
                header->SetOption(HeaderOption::Verify, true);
                view->m_CodeBuffer.assign(4096, 0xFF);
            },
            [&] {
                EXPECT_TRUE(Logged("Chip is blank")) << Log();
                EXPECT_TRUE(Logged("Device is verified")) << Log();
                EXPECT_EQ(Log().find("Chip is blank") < Log().find("Device is verified"), true);
            } },
    };
    const char* captions[] = { "Device", "ID", "Read", "Erase", "Blank Check", "Write", "Verify", "Auto Mode" };
    for (int id = 123; id <= 130; ++id) {
        CIconButton* button = Button(id);
        ASSERT_NE(button, nullptr) << id;
        EXPECT_EQ(button->text(), captions[id - 123]);
        EXPECT_TRUE(button->HasImages());
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.caption);
        CheckOnly();
        view->MessageLog().OnClearAll();
        selections = 0;
        shownIds.clear();
        c.before();
        Button(c.id)->click();
        RunToEnd();
        c.check();
        EXPECT_EQ(boxes.Count(), 0u) << testing::PrintToString(BoxTexts());
        boxes.Clear();
    }
}

TEST_F(ViewSettingsOnBox, TheDeviceButtonOpensNothingDuringAWrite)
{
    Select(8, 4096);
    Insert(sim::ChipSpec::Make(sim::ChipCategory::Mcu8051, 4096));
    view->m_CodeBuffer = Pattern(4096, 3);
    choice = { false, 8 };
    int stateAtClick = -1;
    tap->Reset([&](std::uint8_t code, int nth) {
        if (code == P_WRITE_OK && nth == 2)
            platform::send([&] {
                stateAtClick = g_nOperationState;
                Button(123)->click();
            });
    });
    Button(128)->click();
    RunToEnd();
    EXPECT_EQ(stateAtClick, 4); // writing
    EXPECT_EQ(selections, 0);
    EXPECT_TRUE(Logged("Device write completed")) << Log();
    EXPECT_EQ(Count(Log(), "Device: "), 0u);
}

TEST_F(ViewSettingsOnBox, BackgroundColorColoursTheLogOnOkOnly)
{
    CRichEditCtrlExtend& log = view->MessageLog();
    log.SetBackColor(RGB(1, 2, 3));
    const auto values = platform::SettingsStore::Instance().ValueNames(kSettingsKey);
    QColor initial;
    view->SetColorDialogRunner([&](QColorDialog& dialog) {
        initial = dialog.currentColor();
        dialog.setCurrentColor(QColor(10, 20, 30));
        return true;
    });
    view->OnBackgroundColor();
    EXPECT_EQ(initial, QColor(Qt::black));
    EXPECT_EQ(log.BackColor(), RGB(10, 20, 30));

    view->SetColorDialogRunner([](QColorDialog& dialog) {
        dialog.setCurrentColor(QColor(200, 0, 0));
        return false;
    });
    view->OnBackgroundColor();
    EXPECT_EQ(log.BackColor(), RGB(10, 20, 30));
    // Nothing is stored.
    EXPECT_EQ(platform::SettingsStore::Instance().ValueNames(kSettingsKey), values);
}

std::optional<DWORD> Stored(const char* name)
{
    const auto value = platform::SettingsStore::Instance().GetValue(kSettingsKey, name);
    if (!value || value->type != platform::ValueType::Dword)
        return std::nullopt;
    return value->dword;
}

TEST_F(ViewSettingsOnBox, OthersStoresBothOptionsOnOkAndNothingOnCancel)
{
    // OK unchanged: both written, the key made on the way.
    QTemporaryDir fresh;
    platform::SettingsStore::Instance().Open(fresh.filePath("settings.json").toStdString());
    ASSERT_FALSE(platform::SettingsStore::Instance().KeyExists(kSettingsKey));
    view->m_dwLoadLastDevice = 1;
    view->m_dwForgetLoadedFileName = 0;
    DWORD shownLoad = 9, shownForget = 9;
    view->SetOthersDialogRunner([&](COthersDlg& dialog) {
        shownLoad = dialog.m_bLoadLastDevice;
        shownForget = dialog.m_bForgetLoadedFile;
        return true;
    });
    view->OnOthers();
    EXPECT_EQ(shownLoad, 1u);
    EXPECT_EQ(shownForget, 0u);
    EXPECT_EQ(Stored("LoadLastDevice"), 1u);
    EXPECT_EQ(Stored("ForgetLoadedFileName"), 0u);

    // Changed, then Cancel: nothing written, flags kept.
    view->SetOthersDialogRunner([](COthersDlg& dialog) {
        dialog.show();
        dialog.findChild<QCheckBox*>(QString::number(COthersDlg::IDC_FORGET_LOADED_FILE))->setChecked(true);
        dialog.reject();
        return false;
    });
    view->OnOthers();
    EXPECT_EQ(view->m_dwForgetLoadedFileName, 0u);
    EXPECT_EQ(Stored("ForgetLoadedFileName"), 0u);

    // Changed on screen, then OK.
    view->SetOthersDialogRunner([](COthersDlg& dialog) {
        dialog.show();
        dialog.findChild<QCheckBox*>(QString::number(COthersDlg::IDC_LOAD_LAST_DEVICE))->setChecked(false);
        dialog.findChild<QCheckBox*>(QString::number(COthersDlg::IDC_FORGET_LOADED_FILE))->setChecked(true);
        dialog.accept();
        return true;
    });
    view->OnOthers();
    EXPECT_EQ(view->m_dwLoadLastDevice, 0u);
    EXPECT_EQ(view->m_dwForgetLoadedFileName, 1u);
    EXPECT_EQ(Stored("LoadLastDevice"), 0u);
    EXPECT_EQ(Stored("ForgetLoadedFileName"), 1u);
    platform::SettingsStore::Instance().Open(settings.Path());
}

TEST_F(ViewSettingsOnBox, OthersChangesTheFlagsEvenWhenTheStoreCannotBeWritten)
{
    // A settings file below a plain file can never be written.
    QTemporaryDir dir;
    QFile blocker(dir.filePath("blocker"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    platform::SettingsStore::Instance().Open(dir.filePath("blocker/settings.json").toStdString());
    view->SetOthersDialogRunner([](COthersDlg& dialog) {
        dialog.m_bLoadLastDevice = 1;
        dialog.m_bForgetLoadedFile = 1;
        return true;
    });
    view->OnOthers();
    EXPECT_EQ(view->m_dwLoadLastDevice, 1u);
    EXPECT_EQ(view->m_dwForgetLoadedFileName, 1u);
    EXPECT_EQ(boxes.Count(), 0u);
    platform::SettingsStore::Instance().Open(settings.Path());
}

} // namespace
