#include "shell/ui/HistoryDlg.h"

#include "controls/ui/grid/GridCtrl.h"
#include "link/BlackBox.h"
#include "link/ProgrammerModel.h"
#include "platform/ui/GdiShim.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

#include <algorithm>
#include <cstdint>
#include <limits>

namespace {

constexpr UINT kBodyFormat = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS;

} // namespace

CHistoryDlg::CHistoryDlg(CBlackBox& history, QWidget* parent)
    : CShellDialog(IDD, "Programmer History", { 190, 181 }, parent)
    , m_History(history)
{
    const std::uint32_t sum = SumOfCounts(history);
    if (sum > history.m_nTotalCount)
        history.m_nTotalCount = sum;

    // Placed by hand: the grid takes a fixed inset of the client area when the dialog opens.
    auto* heading = Named(new QLabel(this), IDC_HEADING);
    heading->setGeometry(40, 10, width() - 80, 24);
    auto* label = Named(new QLabel(this), IDC_TOTAL_LABEL);
    label->setGeometry(40, 40, width() - 160, 24);
    m_total = Named(new QLineEdit(this), IDC_TOTAL);
    m_total->setReadOnly(true);
    m_total->setGeometry(width() - 115, 40, 75, 24);
    auto* group = Named(new QGroupBox(this), IDC_RECENT_GROUP);
    group->setGeometry(30, 66, width() - 60, height() - 66 - 85);
    group->lower();
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setGeometry(40, height() - 60, width() - 80, 40);
    connect(buttons, &QDialogButtonBox::accepted, this, &CHistoryDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CHistoryDlg::reject);
}

std::uint32_t CHistoryDlg::SumOfCounts(const CBlackBox& history)
{
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint32_t>::max();
    std::uint64_t sum = 0;
    for (const CHistoryEntry& entry : history.m_Entries) {
        std::uint64_t count = 0;
        for (char c : entry.m_strCount) {
            if (c < '0' || c > '9')
                break;
            count = std::min<std::uint64_t>(count * 10 + static_cast<std::uint64_t>(c - '0'), kMax);
        }
        sum = std::min(sum + count, kMax);
    }
    return static_cast<std::uint32_t>(sum);
}

void CHistoryDlg::OnInitDialog()
{
    SetDlgItemLanguageText(IDC_HEADING, 30);
    SetDlgItemLanguageText(IDC_TOTAL_LABEL, 130);
    SetDlgItemLanguageText(IDC_RECENT_GROUP, 131);

    const int entries = static_cast<int>(m_History.m_Entries.size());
    m_pGrid = new CGridCtrl;
    m_pGrid->Create(rect().adjusted(40, 80, -40, -95), this, IDC_GRID);
    m_pGrid->SetEditable(FALSE);
    m_pGrid->SetDragAndDrop(TRUE);
    m_pGrid->SetToggleBitMode(FALSE);
    m_pGrid->SetRowCount(std::max(entries + 1, kMinimumRows));
    m_pGrid->SetColumnCount(4);
    m_pGrid->SetFixedRowCount(1);
    m_pGrid->SetFixedColumnCount(1);

    const char* titles[] = { "Order", "Device", "Count", "Note" };
    for (int col = 0; col < 4; ++col) {
        m_pGrid->SetItemText(0, col, titles[col]);
        m_pGrid->SetItemFormat(0, col, DT_CENTER | DT_WORDBREAK);
    }
    for (int row = 1; row < m_pGrid->GetRowCount(); ++row) {
        m_pGrid->SetItemTextFmt(row, 0, "%d", row);
        m_pGrid->SetItemFormat(row, 0, DT_RIGHT | kBodyFormat);
        const bool filled = row <= entries;
        const CHistoryEntry* entry = filled ? &m_History.m_Entries[static_cast<std::size_t>(row - 1)] : nullptr;
        m_pGrid->SetItemText(row, 1, entry ? QString::fromStdString(entry->m_strName) : QString("-"));
        m_pGrid->SetItemText(row, 2, entry ? QString::fromStdString(entry->m_strCount) : QString("-"));
        for (int col = 1; col <= 2; ++col)
            m_pGrid->SetItemFormat(row, col, DT_CENTER | kBodyFormat);
        m_pGrid->SetItemFormat(row, 3, kBodyFormat);
    }
    m_pGrid->AutoSize();
    m_pGrid->Refresh();
    m_pGrid->show();

    // The total is shown only; nothing is taken back from the field.
    m_total->setText(
        g_nProgrammerModel >= kModelZvB ? QString::number(m_History.m_nTotalCount) : QString("0"));
}
