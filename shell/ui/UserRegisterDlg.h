#pragma once
// The programmer's warranty registration form. Register checks the form and hands it to the
// caller's action, which sends it; the form stays open either way, and Cancel leaves it.

#include "shell/ui/ShellDialog.h"

#include <functional>
#include <string>

class QCheckBox;
class QLineEdit;

class CUserRegisterDlg : public CShellDialog {
    Q_OBJECT
public:
    static constexpr int IDD = 402;
    static constexpr int IDC_EMAIL = 1107;
    static constexpr int IDC_COUNTRY = 1414;
    static constexpr int IDC_UPDATES = 1417;
    static constexpr int IDC_REGISTER = 1; // the OK button
    static constexpr int IDC_CANCEL = 2;

    explicit CUserRegisterDlg(QWidget* parent = nullptr);

    using RegisterAction = std::function<void(const std::string& email, const std::string& country, bool updates)>;
    void SetRegisterAction(RegisterAction action) { m_register = std::move(action); }

    // Register: without a programmer, or with the e-mail or country empty, a box says what is
    // missing; otherwise the action runs. The form stays open in every case.
    void accept() override;

protected:
    void OnInitDialog() override;

private:
    RegisterAction m_register;
    QLineEdit* m_email = nullptr;
    QLineEdit* m_country = nullptr;
    QCheckBox* m_updates = nullptr;
};
