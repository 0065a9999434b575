#include "operations/ui/TonrigView.h"

#include "operations/ui/View2Header.h"
#include "shell/RegistryKey.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QPushButton>

#include <gtest/gtest.h>

namespace {

class MainView : public testing::Test {
protected:
    void TearDown() override { g_nOperationState = kStateIdle; }
    tonrig::test::ScopedSettingsFile settings;
};

TEST_F(MainView, ConstructionAndStartUpSetTheGlobalsAndReadTheFlags)
{
    {
        CRegistryKey key;
        key.Create(HKEY_CURRENT_USER, "Software\\Zelvo USB Programmer\\Settings");
        key.Open(HKEY_CURRENT_USER, "Software\\Zelvo USB Programmer\\Settings");
        key.WriteDword("LoadLastDevice", 1);
        key.WriteDword("ForgetLoadedFileName", 1);
    }
    g_nOperationState = 4;
    g_nCurrentClass = 12;
    {
        CTonrigView view;
        EXPECT_EQ(g_nOperationState, 1);
        EXPECT_EQ(g_nCurrentClass, kNoDeviceClass);
        EXPECT_EQ(g_pMainView, nullptr);
        EXPECT_TRUE(view.m_strHardwareVersion.empty());
        EXPECT_TRUE(view.m_strHardwareSerial.empty());

        view.OnInitialUpdate();
        EXPECT_EQ(g_pMainView, &view);
        EXPECT_EQ(view.m_dwLoadLastDevice, 1u);
        EXPECT_EQ(view.m_dwForgetLoadedFileName, 1u);
        EXPECT_EQ(view.m_strOffsetTitle, "OFFSET");
        EXPECT_EQ(view.m_nCodeSize, CTonrigView::kCodeBufferSize);
        EXPECT_EQ(view.m_CodeBuffer.front(), 0xFF);
    }
    EXPECT_EQ(g_pMainView, nullptr);
}

TEST_F(MainView, ByteSwapActsOnlyWhileNoOperationRuns)
{
    CTonrigView view;
    view.m_nCodeSize = 5;
    const std::vector<BYTE> start { 1, 2, 3, 4, 5, 0xFF };
    std::copy(start.begin(), start.end(), view.m_CodeBuffer.begin());

    struct Case {
        int state;
        std::vector<BYTE> after;
    };
    const Case cases[] = {
        { 3, { 1, 2, 3, 4, 5, 0xFF } }, // reading: untouched
        { 1, { 2, 1, 4, 3, 5, 0xFF } }, // idle: pairs swapped, the odd fifth byte stays
        { 0, { 1, 2, 3, 4, 5, 0xFF } }, // disconnected is not busy: swapped back
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.state);
        g_nOperationState = c.state;
        view.OnByteSwap();
        EXPECT_EQ(std::vector<BYTE>(view.m_CodeBuffer.begin(), view.m_CodeBuffer.begin() + 6), c.after);
    }
}

TEST_F(MainView, OpenFileRequestsStoreThePathAndNeedALiveView)
{
    EXPECT_FALSE(CTonrigView::PostOpenFile("/nowhere.bin")); // no view
    auto view = std::make_unique<CTonrigView>();
    view->OnInitialUpdate();
    ASSERT_TRUE(CTonrigView::PostOpenFile("/data/a.bin"));
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(view->m_strFileName, "/data/a.bin");

    ASSERT_TRUE(CTonrigView::PostOpenFile("/data/b.bin"));
    view.reset();
    QCoreApplication::sendPostedEvents(); // the request finds no view and is dropped
    EXPECT_EQ(g_pMainView, nullptr);
}

TEST_F(MainView, CommandsWithoutTheirOperationsSaySoInTheLog)
{
    CTonrigView view;
    view.OnRead();
    view.OnWrite();
    const std::string log = view.MessageLog().GetText();
    EXPECT_NE(log.find("Read: not available yet."), std::string::npos);
    EXPECT_NE(log.find("Write: not available yet."), std::string::npos);
}

TEST_F(MainView, HeaderPaneHasTheChipLocationButton)
{
    CTonrigView view;
    view.OnInitialUpdate();
    CView2Header header;
    auto* button = qobject_cast<QPushButton*>(header.GetDlgItem(CView2Header::IDC_CHIP_LOCATION));
    ASSERT_NE(button, nullptr);
    button->setText("changed");
    header.ApplyLanguage();
    EXPECT_EQ(button->text(), "Chip Location");
    view.MessageLog().OnClearAll();
    button->click();
    EXPECT_NE(view.MessageLog().GetText().find("Chip location: not available yet."), std::string::npos);
}

} // namespace
