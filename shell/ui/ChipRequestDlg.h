#pragma once
// The new chip support request form: part number, datasheet link and application.

#include "shell/ui/ShellDialog.h"

#include <string>

class QLineEdit;

class CChipRequestDlg : public CShellDialog {
    Q_OBJECT
public:
    static constexpr int IDD = 428;
    static constexpr int IDC_PART_NUMBER = 1429;
    static constexpr int IDC_DATASHEET_LINK = 1108;
    static constexpr int IDC_APPLICATION = 1428;
    static constexpr int IDC_PART_NUMBER_LABEL = 1430;
    static constexpr int IDC_DATASHEET_LABEL = 1431;
    static constexpr int IDC_APPLICATION_LABEL = 1432;
    static constexpr int IDC_HEADING = 1435;

    explicit CChipRequestDlg(QWidget* parent = nullptr);

    // Takes the three texts as they stand, empty ones too.
    void accept() override;

    std::string m_strPartNumber;
    std::string m_strDatasheetLink;
    std::string m_strApplication;

protected:
    void OnInitDialog() override;

private:
    QLineEdit* m_part = nullptr;
    QLineEdit* m_link = nullptr;
    QLineEdit* m_application = nullptr;
};
