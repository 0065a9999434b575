// The shell's small dialogs as a user meets them: opened, answered, read back.

#include "shell/ui/ChipRequestDlg.h"
#include "shell/ui/HistoryDlg.h"
#include "shell/ui/InputDlg.h"
#include "shell/ui/OthersDlg.h"
#include "shell/ui/SerialPortDlg.h"

#include "controls/ui/grid/GridCtrl.h"
#include "link/BlackBox.h"
#include "link/ProgrammerModel.h"
#include "platform/TextFormat.h"
#include "platform/ui/GdiShim.h"
#include "shell/Language.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

// Text n of the table reads "T" and its number in three digits, so a check names the text it wants.
class NumberedTexts : public testing::Test {
protected:
    void SetUp() override
    {
        std::vector<std::string> texts;
        for (int i = 0; i < kLanguageTextCount; ++i)
            texts.push_back(platform::Format("T%03d", i));
        g_Language.Reset();
        g_LanguageTexts.clear();
        g_Language.SetTexts(texts.data(), static_cast<int>(texts.size()));
    }
    void TearDown() override
    {
        g_Language.Reset();
        g_LanguageTexts.clear();
        g_nProgrammerModel = kModelZvC;
    }
};

// Runs the dialog modally; `answer` gets it once it is open and ends it.
int RunModal(QDialog& dialog, const std::function<void(QDialog&)>& answer)
{
    QTimer::singleShot(0, &dialog, [&] { answer(dialog); });
    return dialog.exec();
}

void Press(QDialog& dialog, QDialogButtonBox::StandardButton which)
{
    dialog.findChild<QDialogButtonBox*>()->button(which)->click();
}

template <class W>
W* Item(const CShellDialog& dialog, int id)
{
    return qobject_cast<W*>(dialog.GetDlgItem(id));
}

TEST_F(NumberedTexts, InputDialogGivesTheTextOnOkAndKeepsTheValueOnCancel)
{
    CInputDlg dialog;
    EXPECT_EQ(dialog.m_bCancelled, 1);
    dialog.SetPrompt("Please input language name:");
    dialog.m_strValue = "before";
    EXPECT_EQ(RunModal(dialog,
                  [&](QDialog&) {
                      EXPECT_EQ(dialog.GetDlgItemText(CInputDlg::IDC_PROMPT), "Please input language name:");
                      auto* edit = Item<QLineEdit>(dialog, CInputDlg::IDC_VALUE);
                      ASSERT_NE(edit, nullptr);
                      EXPECT_TRUE(edit->text().isEmpty());
                      edit->setText("typed, then cancelled");
                      Press(dialog, QDialogButtonBox::Cancel);
                  }),
        QDialog::Rejected);
    EXPECT_EQ(dialog.m_bCancelled, 1);
    EXPECT_EQ(dialog.m_strValue, "before");

    CInputDlg second;
    second.SetPrompt("Name:");
    EXPECT_EQ(RunModal(second,
                  [&](QDialog&) {
                      Item<QLineEdit>(second, CInputDlg::IDC_VALUE)->setText("Deutsch");
                      Press(second, QDialogButtonBox::Ok);
                  }),
        QDialog::Accepted);
    EXPECT_EQ(second.m_bCancelled, 0);
    EXPECT_EQ(second.m_strValue, "Deutsch");
    EXPECT_EQ(second.objectName(), "283");
    EXPECT_EQ(second.windowTitle(), "Input");
}

TEST_F(NumberedTexts, ChipRequestFormTakesItsLabelsFromTheTableAndHandsBackEmptyFields)
{
    struct Case {
        const char* part;
        const char* link;
        const char* application;
    };
    for (const Case& c : { Case { "", "", "" }, Case { "27C 256", "http://x.example/ds.pdf", "a b & c" } }) {
        CChipRequestDlg dialog;
        dialog.m_strPartNumber = dialog.m_strDatasheetLink = dialog.m_strApplication = "old";
        RunModal(dialog, [&](QDialog&) {
            EXPECT_EQ(dialog.GetDlgItemText(CChipRequestDlg::IDC_PART_NUMBER_LABEL), "T209");
            EXPECT_EQ(dialog.GetDlgItemText(CChipRequestDlg::IDC_DATASHEET_LABEL), "T210");
            EXPECT_EQ(dialog.GetDlgItemText(CChipRequestDlg::IDC_APPLICATION_LABEL), "T211");
            EXPECT_EQ(dialog.GetDlgItemText(CChipRequestDlg::IDC_HEADING), "T207");
            Item<QLineEdit>(dialog, CChipRequestDlg::IDC_PART_NUMBER)->setText(c.part);
            Item<QLineEdit>(dialog, CChipRequestDlg::IDC_DATASHEET_LINK)->setText(c.link);
            Item<QLineEdit>(dialog, CChipRequestDlg::IDC_APPLICATION)->setText(c.application);
            Press(dialog, QDialogButtonBox::Ok);
        });
        EXPECT_EQ(dialog.m_strPartNumber, c.part);
        EXPECT_EQ(dialog.m_strDatasheetLink, c.link);
        EXPECT_EQ(dialog.m_strApplication, c.application);
    }
}

TEST_F(NumberedTexts, OthersShowsAndReturnsBothFlags)
{
    COthersDlg fresh;
    EXPECT_EQ(fresh.m_bLoadLastDevice, 0u);
    EXPECT_EQ(fresh.m_bForgetLoadedFile, 0u);
    const std::pair<DWORD, DWORD> cases[] = { { 0, 0 }, { 1, 0 }, { 0, 1 }, { 1, 1 } };
    for (const auto& [load, forget] : cases) {
        SCOPED_TRACE(testing::Message() << load << forget);
        COthersDlg dialog;
        dialog.m_bLoadLastDevice = load;
        dialog.m_bForgetLoadedFile = forget;
        RunModal(dialog, [&](QDialog&) {
            auto* loadBox = Item<QCheckBox>(dialog, COthersDlg::IDC_LOAD_LAST_DEVICE);
            auto* forgetBox = Item<QCheckBox>(dialog, COthersDlg::IDC_FORGET_LOADED_FILE);
            ASSERT_TRUE(loadBox && forgetBox);
            EXPECT_EQ(loadBox->text(), "T193");
            EXPECT_EQ(forgetBox->text(), "T197");
            EXPECT_EQ(loadBox->isChecked(), load != 0);
            EXPECT_EQ(forgetBox->isChecked(), forget != 0);
            Press(dialog, QDialogButtonBox::Ok);
        });
        EXPECT_EQ(dialog.m_bLoadLastDevice, load);
        EXPECT_EQ(dialog.m_bForgetLoadedFile, forget);
    }
    // Flipped on screen, then OK: the members follow.
    COthersDlg dialog;
    RunModal(dialog, [&](QDialog&) {
        Item<QCheckBox>(dialog, COthersDlg::IDC_LOAD_LAST_DEVICE)->setChecked(true);
        Press(dialog, QDialogButtonBox::Ok);
    });
    EXPECT_EQ(dialog.m_bLoadLastDevice, 1u);
    EXPECT_EQ(dialog.m_bForgetLoadedFile, 0u);
}

TEST(SerialPortDialog, OpensOnItsDefaultsAndStoresEachListsIndex)
{
    CSerialPortDlg dialog;
    struct List {
        int id;
        const char* shown;
        int count;
        int chosen;
    };
    const List lists[] = {
        { CSerialPortDlg::IDC_PORT, "COM1", 4, 3 },
        { CSerialPortDlg::IDC_RATE, "38400", 14, 13 },
        { CSerialPortDlg::IDC_DATA_BITS, "8", 5, 0 },
        { CSerialPortDlg::IDC_PARITY, "None", 5, 4 },
        { CSerialPortDlg::IDC_STOP_BITS, "1", 2, 1 },
        { CSerialPortDlg::IDC_FLOW_CONTROL, "None", 3, 2 },
    };
    RunModal(dialog, [&](QDialog&) {
        for (const List& list : lists) {
            auto* box = Item<QComboBox>(dialog, list.id);
            ASSERT_NE(box, nullptr) << list.id;
            EXPECT_EQ(box->currentText(), list.shown) << list.id;
            EXPECT_EQ(box->count(), list.count) << list.id;
            box->setCurrentIndex(list.chosen);
        }
        Press(dialog, QDialogButtonBox::Ok);
    });
    EXPECT_EQ(dialog.m_nPort, 3u);
    EXPECT_EQ(dialog.m_nRate, 13u);
    EXPECT_EQ(dialog.m_nDataBits, 0u);
    EXPECT_EQ(dialog.m_nParity, 4u);
    EXPECT_EQ(dialog.m_nStopBits, 1u);
    EXPECT_EQ(dialog.m_nFlowControl, 2u);
}

CBlackBox History(int entries, std::uint32_t total = 0)
{
    CBlackBox history;
    for (int i = 0; i < entries; ++i)
        history.m_Entries.push_back({ platform::Format("DEV%d", i + 1), std::to_string(i + 1) });
    history.m_nTotalCount = total;
    return history;
}

TEST_F(NumberedTexts, HistoryGridShowsTheEntriesAndFillsUpToTenRows)
{
    struct Case {
        int entries;
        int rows;
    };
    for (const Case& c : { Case { 3, 10 }, Case { 0, 10 }, Case { 9, 10 }, Case { 12, 13 } }) {
        SCOPED_TRACE(c.entries);
        CBlackBox history = History(c.entries, 1000);
        CHistoryDlg dialog(history);
        RunModal(dialog, [&](QDialog&) {
            EXPECT_EQ(dialog.GetDlgItemText(CHistoryDlg::IDC_HEADING), "T030");
            EXPECT_EQ(dialog.GetDlgItemText(CHistoryDlg::IDC_TOTAL_LABEL), "T130");
            EXPECT_EQ(dialog.GetDlgItemText(CHistoryDlg::IDC_RECENT_GROUP), "T131");
            CGridCtrl* grid = qobject_cast<CGridCtrl*>(dialog.GetDlgItem(CHistoryDlg::IDC_GRID));
            ASSERT_NE(grid, nullptr);
            EXPECT_EQ(grid, dialog.Grid());
            EXPECT_EQ(grid->geometry(), dialog.rect().adjusted(40, 80, -40, -95));
            EXPECT_EQ(grid->GetRowCount(), c.rows);
            EXPECT_EQ(grid->GetColumnCount(), 4);
            EXPECT_EQ(grid->GetFixedRowCount(), 1);
            EXPECT_EQ(grid->GetFixedColumnCount(), 1);
            EXPECT_FALSE(grid->IsCellEditable(1, 1));
            EXPECT_FALSE(grid->GetToggleBitMode());
            const char* titles[] = { "Order", "Device", "Count", "Note" };
            for (int col = 0; col < 4; ++col) {
                EXPECT_EQ(grid->GetItemText(0, col), titles[col]);
                EXPECT_TRUE(grid->GetItemFormat(0, col) & DT_WORDBREAK);
            }
            const UINT body = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS;
            for (int row = 1; row < c.rows; ++row) {
                SCOPED_TRACE(row);
                EXPECT_EQ(grid->GetItemText(row, 0), QString::number(row));
                EXPECT_EQ(grid->GetItemFormat(row, 0), DT_RIGHT | body);
                const bool filled = row <= c.entries;
                EXPECT_EQ(grid->GetItemText(row, 1), filled ? QString("DEV%1").arg(row) : QString("-"));
                EXPECT_EQ(grid->GetItemText(row, 2), filled ? QString::number(row) : QString("-"));
                EXPECT_EQ(grid->GetItemFormat(row, 1), DT_CENTER | body);
                EXPECT_EQ(grid->GetItemFormat(row, 2), DT_CENTER | body);
                EXPECT_TRUE(grid->GetItemText(row, 3).isEmpty());
            }
            Press(dialog, QDialogButtonBox::Ok);
        });
    }
}

TEST_F(NumberedTexts, HistoryTotalByModelAndRaisedToTheSumOfTheCounts)
{
    struct Case {
        const char* name;
        int model;
        std::vector<const char*> counts;
        std::uint32_t stored;
        std::uint32_t total; // afterwards
        const char* shown;
    };
    const Case cases[] = {
        { "a ZV-CQ shows its total", kModelZvCQ, { "1", "2" }, 500, 500, "500" },
        { "a ZV-A shows 0", kModelZvA, { "1", "2" }, 500, 500, "0" },
        { "a sum above the stored total raises it", kModelZvB, { "400", "300" }, 500, 700, "700" },
        { "a total the old range refused", kModelZvCQ, {}, 12000000, 12000000, "12000000" },
        { "counts saturate", kModelZvD, { "4294967295", "7" }, 3, 4294967295u, "4294967295" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_nProgrammerModel = c.model;
        CBlackBox history;
        for (const char* count : c.counts)
            history.m_Entries.push_back({ "DEV", count });
        history.m_nTotalCount = c.stored;
        CHistoryDlg dialog(history);
        EXPECT_EQ(history.m_nTotalCount, c.total);
        // OK closes whatever the total: the field is shown, never taken back.
        EXPECT_EQ(RunModal(dialog,
                      [&](QDialog&) {
                          auto* field = Item<QLineEdit>(dialog, CHistoryDlg::IDC_TOTAL);
                          ASSERT_NE(field, nullptr);
                          EXPECT_TRUE(field->isReadOnly());
                          EXPECT_EQ(field->text(), c.shown);
                          Press(dialog, QDialogButtonBox::Ok);
                      }),
            QDialog::Accepted);
    }
}

} // namespace
