// The view's editing commands over the hex editor: Fill Buffer (Hex) and Fill buffer with 0xFF,
// Copy, Cut and Paste through the real clipboard, the gate while the buffers must not change,
// the checksum after a burst of typing and the modified mark.

#include "operations/ui/BufferCommands.h"

#include "buffer/BufferModel.h"
#include "buffer/ui/FillBufferDlg.h"
#include "buffer/ui/FindDlg.h"
#include "buffer/ui/HexEditBase.h"
#include "catalogue/DeviceClass.h"
#include "catalogue/DeviceClassTable.h"
#include "link/LinkLease.h"
#include "operations/OperationState.h"
#include "operations/ui/TonrigView.h"
#include "shell/MenuTable.h"
#include "shell/ui/MainFrame.h"
#include "shell/ui/StatusBar.h"
#include "shell/ui/TonrigApp.h"
#include "support/RecordingMessageBox.h"
#include "support/TestEnvironment.h"

#include "AppViewFixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QRadioButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Seq(std::size_t n)
{
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<std::uint8_t>(i);
    return b;
}

template <typename C> std::size_t ParseSize(const C& c)
{
    return c.isHex ? (std::string(c.typed).size() + 1) / 3 : std::string(c.typed).size();
}

class HexEditCommands : public tonrig::test::AppViewFixture {
protected:
    void SetUp() override
    {
        AppViewFixture::SetUp();
        if (HasFatalFailure())
            return;
        Main() = Seq(16);
        commands->ShowBufferTab(1);
        Editor().SetCursor(0);
    }

    CHexEditBase& Editor() { return *commands->HexView(); }
    std::string Pane() const { return g_pStatusBar->GetPaneText(1); }
    void Type(const std::string& text)
    {
        for (char c : text) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(QChar::fromLatin1(c)));
            QApplication::sendEvent(&Editor(), &press);
        }
    }
};

TEST_F(HexEditCommands, FillRangesFromTheDialog)
{
    const struct Case {
        const char* name;
        const char* from;
        const char* to;
        const char* data;
        std::optional<std::vector<std::pair<std::size_t, std::uint8_t>>> bytes; // none: refused
        const char* error = "";
    } cases[] = {
        { "a pattern cut at To", "1", "5", "A1 B2",
            { { { 1, 0xA1 }, { 2, 0xB2 }, { 3, 0xA1 }, { 4, 0xB2 }, { 5, 0xA1 } } } },
        { "one byte", "2", "3", "ff", { { { 2, 0xFF }, { 3, 0xFF } } } },
        { "From = To", "4", "4", "11 22", { { { 4, 0x11 } } } },
        { "To = the last byte", "E", "F", "5A", { { { 14, 0x5A }, { 15, 0x5A } } } },
        { "To past the end", "0", "10", "FF", std::nullopt, "The buffer ends at 0xF." },
        { "From > To", "5", "4", "FF", std::nullopt, "From Address: it lies after To Address." },
        { "odd data", "0", "3", "ABC", std::nullopt, "Data: enter hex bytes such as \"FF\" or \"12 34\"." },
        { "empty data", "0", "3", "", std::nullopt, "Data: enter hex bytes such as \"FF\" or \"12 34\"." },
        { "a bad address", "x", "3", "FF", std::nullopt, "From Address: enter 1 to 8 hex digits." },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Main() = Seq(16);
        commands->ShowBufferTab(1);
        std::string error;
        commands->SetFillRunner([&](CFillBufferDlg& dialog) {
            EXPECT_EQ(dialog.FromEdit()->text().toStdString(), "0");
            EXPECT_EQ(dialog.ToEdit()->text().toStdString(), "F");
            EXPECT_EQ(dialog.DataEdit()->text().toStdString(), "FF");
            dialog.FromEdit()->setText(c.from);
            dialog.ToEdit()->setText(c.to);
            dialog.DataEdit()->setText(c.data);
            dialog.accept();
            error = dialog.ErrorText();
            return dialog.result() == QDialog::Accepted;
        });
        ASSERT_TRUE(Execute(32812));
        Bytes want = Seq(16);
        if (c.bytes)
            for (const auto& [at, value] : *c.bytes)
                want[at] = value;
        EXPECT_EQ(Main(), want);
        EXPECT_EQ(error, c.error);
        if (c.bytes) {
            EXPECT_EQ(Pane(), buffer::ChecksumText(want)) << "the checksum follows at once";
        }
    }

    // The dialog starts with the selection; 32811 fills the whole buffer.
    Editor().Select(4, 7);
    commands->SetFillRunner([](CFillBufferDlg& dialog) {
        EXPECT_EQ(dialog.FromEdit()->text().toStdString(), "4");
        EXPECT_EQ(dialog.ToEdit()->text().toStdString(), "7");
        return false;
    });
    ASSERT_TRUE(Execute(32812));
    ASSERT_TRUE(Execute(32811));
    EXPECT_EQ(Main(), Bytes(16, 0xFF));
    EXPECT_EQ(Pane(), buffer::ChecksumText(Main()));
}

TEST_F(HexEditCommands, ClipboardRoundTripsAndRefusals)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    Main() = Bytes(16, 0x77);
    Main()[2] = 0x00, Main()[3] = 0x0D, Main()[4] = 0xFF;
    commands->ShowBufferTab(1);
    Editor().Select(2, 4);
    ASSERT_TRUE(commands->CanCopy());
    ASSERT_TRUE(Execute(57634));
    EXPECT_EQ(clipboard->text().toStdString(), "00 0D FF");
    EXPECT_EQ(clipboard->mimeData()->data(CBufferCommands::kBinaryMime), QByteArray("\x00\x0D\xFF", 3));

    // Pasted elsewhere: the same bytes, selected.
    Editor().SetCursor(10);
    ASSERT_TRUE(Execute(57637));
    EXPECT_EQ(Bytes(Main().begin() + 10, Main().begin() + 13), (Bytes { 0x00, 0x0D, 0xFF }));
    EXPECT_EQ(Editor().SelectionStart(), 10u);
    EXPECT_EQ(Editor().SelectionEnd(), 12u);
    EXPECT_EQ(Main()[13], 0x77);

    // Into another buffer.
    view->Buffers().Buffer(buffer::kDataBuffer) = Bytes(8, 0x00);
    commands->SetBufferIndex(buffer::kDataBuffer);
    commands->ShowBufferTab(1);
    Editor().SetCursor(5);
    ASSERT_TRUE(Execute(57637));
    EXPECT_EQ(view->Buffers().Buffer(buffer::kDataBuffer), (Bytes { 0, 0, 0, 0, 0, 0x00, 0x0D, 0xFF }));

    // Too long for what remains: nothing changes.
    Editor().SetCursor(6);
    const Bytes before = view->Buffers().Buffer(buffer::kDataBuffer);
    ASSERT_TRUE(Execute(57637));
    EXPECT_EQ(view->Buffers().Buffer(buffer::kDataBuffer), before);
    EXPECT_NE(Log().find("Paste: 3 bytes do not fit, 2 remain."), std::string::npos);
    commands->SetBufferIndex(buffer::kMainBuffer);
    commands->ShowBufferTab(1);

    // Text: hex bytes in the hex column, characters in the character column.
    clipboard->setText("12 34\r\n56");
    Editor().SetCursor(0);
    ASSERT_TRUE(Execute(57637));
    EXPECT_EQ(Bytes(Main().begin(), Main().begin() + 4), (Bytes { 0x12, 0x34, 0x56, 0x0D }));
    clipboard->setText("Hi");
    Editor().SetCursor(8, CHexEditBase::Column::Chars);
    ASSERT_TRUE(Execute(57637));
    EXPECT_EQ(Main()[8], 'H');
    EXPECT_EQ(Main()[9], 'i');
    clipboard->setText("not hex");
    Editor().SetCursor(0);
    const Bytes kept = Main();
    ASSERT_TRUE(Execute(57637));
    EXPECT_EQ(Main(), kept);
    EXPECT_NE(Log().find("Paste: the clipboard holds no hex bytes."), std::string::npos);

    // Cut leaves 0xFF and the bytes on the clipboard.
    Editor().Select(0, 1);
    ASSERT_TRUE(Execute(57635));
    EXPECT_EQ(Main()[0], 0xFF);
    EXPECT_EQ(Main()[1], 0xFF);
    EXPECT_EQ(clipboard->text().toStdString(), "12 34");
    Editor().ClearSelection();
    EXPECT_FALSE(commands->CanCopy());
    clipboard->clear();
    EXPECT_FALSE(commands->CanPaste());
    app.MainFrame()->Commands().Refresh();
    EXPECT_FALSE(app.MainFrame()->Commands().Action(57637)->isEnabled());
    EXPECT_FALSE(app.MainFrame()->Commands().Action(57634)->isEnabled());
}

TEST_F(HexEditCommands, NothingChangesWhileTheBuffersAreBusy)
{
    QGuiApplication::clipboard()->setText("AA BB");
    for (int busy = 0; busy < 3; ++busy) {
        SCOPED_TRACE(busy);
        Main() = Seq(16);
        commands->ShowBufferTab(1);
        Editor().Select(0, 3);
        if (busy == 0)
            ASSERT_TRUE(g_LinkLease.Take(LeaseHolder::Operation));
        else if (busy == 1)
            ASSERT_TRUE(g_LinkLease.Take(LeaseHolder::Setup));
        else
            g_nOperationState = 3; // a read runs
        Type("12");
        Execute(57635);
        Execute(57637);
        commands->SetFillRunner([](CFillBufferDlg& dialog) {
            dialog.accept();
            return true;
        });
        Execute(32812);
        EXPECT_EQ(Main(), Seq(16));
        g_LinkLease.Release(LeaseHolder::Operation);
        g_LinkLease.Release(LeaseHolder::Setup);
        g_nOperationState = kStateIdle;
    }
    EXPECT_NE(Log().find("Paste: an operation is running."), std::string::npos);
    EXPECT_NE(Log().find("Cut: the programmer is busy"), std::string::npos);
    Editor().SetCursor(0);
    Type("12");
    EXPECT_EQ(Main()[0], 0x12);
}

TEST_F(HexEditCommands, OneChecksumAfterABurstAndTheModifiedMark)
{
    const std::string path = dir.filePath("image.bin").toStdString();
    ASSERT_TRUE(commands->SaveTo(path, {}));
    view->OpenFileByName(path);
    const std::string title = app.MainFrame()->windowTitle().toStdString();
    const std::string pane = Pane();
    Editor().SetCursor(0);
    Type("ABCDE");
    EXPECT_TRUE(view->IsTimerArmed(CTonrigView::kTimerChecksum));
    EXPECT_EQ(Pane(), pane);
    EXPECT_TRUE(view->Buffers().IsModified(buffer::kMainBuffer));
    EXPECT_EQ(app.MainFrame()->windowTitle().toStdString(), title + " *");
    view->OnTimer(CTonrigView::kTimerChecksum);
    EXPECT_EQ(Pane(), buffer::ChecksumText(Main()));
    EXPECT_FALSE(view->IsTimerArmed(CTonrigView::kTimerChecksum));

    // A save clears the mark, and so does a load.
    ASSERT_TRUE(commands->SaveTo(path, {}));
    EXPECT_FALSE(view->Buffers().IsModified(buffer::kMainBuffer));
    EXPECT_EQ(app.MainFrame()->windowTitle().toStdString(), title);
    Type("1");
    EXPECT_EQ(app.MainFrame()->windowTitle().toStdString(), title + " *");
    view->OpenFileByName(path);
    EXPECT_FALSE(view->Buffers().IsModified(buffer::kMainBuffer));
    EXPECT_EQ(app.MainFrame()->windowTitle().toStdString(), title);
}

TEST_F(HexEditCommands, FindsWrapOnceAndFindNextWalksOn)
{
    Bytes data(32, 0x00);
    const std::string text = "xaBc";
    std::copy(text.begin(), text.end(), data.begin());
    const Bytes hex { 0xE2, 0xFB, 0xE2, 0xFB, 0xE2, 'A', 'b', 'C' };
    std::copy(hex.begin(), hex.end(), data.begin() + 4);
    const Bytes tail { 0xDE, 0xAD, 0xBE, 0xEF };
    std::copy(tail.begin(), tail.end(), data.begin() + 28);
    struct Case {
        const char* name;
        std::size_t cursor;
        const char* typed;
        bool isHex = true;
        bool down = true;
        bool matchCase = false;
        bool newSearch = false;
        std::optional<std::size_t> at = std::nullopt; // none: not found, or refused
        const char* error = "";
    };
    const Case cases[] = {
        { "hex", 0, "E2 FB", true, true, false, false, 4 },
        { "text ignoring case", 0, "abc", false, true, false, false, 1 },
        { "text matching case", 0, "AbC", false, true, true, false, 9 },
        { "text matching case, not there", 0, "Abc", false, true, true, false },
        { "up", 20, "E2 FB", true, false, false, false, 6 },
        { "a wrap finds it before the cursor", 10, "E2 FB", true, true, false, false, 4 },
        { "new search starts at the first byte", 5, "E2 FB", true, true, false, true, 4 },
        { "a match in the last bytes", 0, "DE AD BE EF", true, true, false, false, 28 },
        { "not found", 3, "12 34" },
        { "a hex typo", 3, "E2 GB", true, true, false, false, std::nullopt,
            "Not a hex string at character 4: enter bytes such as \"E2 FB CD 00 21\"." },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Main() = data;
        commands->ShowBufferTab(1);
        Editor().SetCursor(c.cursor);
        boxes.Clear();
        std::string error;
        commands->SetFindRunner([&](CFindDlg& dialog) {
            (c.isHex ? dialog.HexButton() : dialog.TextButton())->setChecked(true);
            dialog.Edit()->setText(c.typed);
            (c.down ? dialog.DownButton() : dialog.UpButton())->setChecked(true);
            dialog.MatchCaseBox()->setChecked(c.matchCase);
            dialog.NewSearchBox()->setChecked(c.newSearch);
            dialog.accept();
            error = dialog.ErrorText();
            return dialog.result() == QDialog::Accepted;
        });
        ASSERT_TRUE(Execute(32947));
        EXPECT_EQ(error, c.error);
        if (c.at) {
            EXPECT_TRUE(Editor().HasSelection());
            EXPECT_EQ(Editor().SelectionStart(), *c.at);
            EXPECT_EQ(Editor().Cursor(), *c.at);
            EXPECT_EQ(Editor().SelectionEnd() - Editor().SelectionStart() + 1, ParseSize(c));
            EXPECT_EQ(boxes.Count(), 0u);
        } else {
            EXPECT_EQ(Editor().Cursor(), c.cursor) << "nothing moved";
            EXPECT_FALSE(Editor().HasSelection());
            if (std::string(c.error).empty()) {
                ASSERT_EQ(boxes.Count(), 1u);
                EXPECT_EQ(boxes.Boxes()[0].text, "\"" + std::string(c.typed) + "\" was not found.");
                EXPECT_EQ(boxes.Boxes()[0].caption, "Binary Search");
            }
        }
    }

    // Find Next walks over overlapping matches and wraps.
    Main() = data;
    commands->ShowBufferTab(1);
    Editor().SetCursor(0);
    commands->SetFindRunner([](CFindDlg& dialog) {
        dialog.HexButton()->setChecked(true);
        dialog.Edit()->setText("E2 FB E2");
        dialog.NewSearchBox()->setChecked(false);
        dialog.DownButton()->setChecked(true);
        dialog.accept();
        return true;
    });
    ASSERT_TRUE(Execute(32947));
    std::vector<std::size_t> walk { Editor().SelectionStart() };
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(Execute(32948));
        walk.push_back(Editor().SelectionStart());
    }
    EXPECT_EQ(walk, (std::vector<std::size_t> { 4, 6, 4 }));
}

TEST_F(HexEditCommands, TheConfigurationWordIsEditedAsIndex3AndReachesTheDescriptor)
{
    InitDeviceClassTable();
    g_CurrentDevice = g_DeviceClassTable[313]; // a 14-bit PIC
    g_nCurrentClass = 313;
    ASSERT_TRUE(g_CurrentDevice.m_pPicConfig);
    view->Buffers().ConfigWord() = { 0xFF, 0x3F };
    commands->SetBufferIndex(buffer::kConfigWord);
    commands->ShowBufferTab(1);
    ASSERT_EQ(Editor().Size(), 2u);
    Editor().SetCursor(0);
    Type("12");
    EXPECT_EQ(view->Buffers().ConfigWord(), (Bytes { 0x12, 0x3F }));
    EXPECT_EQ(Main(), Seq(16)) << "the main buffer is not index 3";
    EXPECT_EQ(g_CurrentDevice.m_pPicConfig->m_ConfigValue[0], 0x12);
    commands->SetBufferIndex(buffer::kMainBuffer);
}

} // namespace
