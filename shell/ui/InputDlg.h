#pragma once
// The input dialog: one prompt, one line of text.

#include "shell/ui/ShellDialog.h"

#include <string>

class QLabel;
class QLineEdit;

class CInputDlg : public CShellDialog {
    Q_OBJECT
public:
    static constexpr int IDD = 283;
    static constexpr int IDC_PROMPT = 1250;
    static constexpr int IDC_VALUE = 1107;

    explicit CInputDlg(QWidget* parent = nullptr);

    void SetPrompt(const std::string& prompt) { m_strPrompt = prompt; }

    void accept() override;
    void reject() override;

    std::string m_strValue;
    // 1 until the dialog ends with OK.
    int m_bCancelled = 1;

protected:
    void OnInitDialog() override;

private:
    std::string m_strPrompt;
    QLabel* m_prompt = nullptr;
    QLineEdit* m_edit = nullptr;
};
