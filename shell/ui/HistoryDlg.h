#pragma once
// The programmer's usage history: the total programmed on this programmer and the most recent
// devices with their counts, in a grid. Nothing in the program opens it yet.

#include "shell/ui/ShellDialog.h"

#include <cstdint>

class CBlackBox;
class CGridCtrl;
class QLineEdit;

class CHistoryDlg : public CShellDialog {
    Q_OBJECT
public:
    static constexpr int IDD = 250;
    static constexpr int IDC_TOTAL = 1107;
    static constexpr int IDC_HEADING = 1279;
    static constexpr int IDC_TOTAL_LABEL = 1243;
    static constexpr int IDC_RECENT_GROUP = 1280;
    static constexpr int IDC_GRID = 117;
    static constexpr int kMinimumRows = 10;

    // Raises the history's total to the sum of its entries' counts when that is larger.
    explicit CHistoryDlg(CBlackBox& history, QWidget* parent = nullptr);

    // The sum of the entries' decimal counts, saturating at 4294967295; a count that is not a
    // number adds what its leading digits say.
    static std::uint32_t SumOfCounts(const CBlackBox& history);

    // The grid, once the dialog has opened.
    CGridCtrl* Grid() const { return m_pGrid; }

protected:
    void OnInitDialog() override;

private:
    CBlackBox& m_History;
    CGridCtrl* m_pGrid = nullptr;
    QLineEdit* m_total = nullptr;
};
