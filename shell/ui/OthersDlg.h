#pragma once
// The Others settings: load the last device and file at start-up, ignore the loaded file's path.

#include "platform/WinTypes.h"
#include "shell/ui/ShellDialog.h"

class QCheckBox;

class COthersDlg : public CShellDialog {
    Q_OBJECT
public:
    static constexpr int IDD = 334;
    static constexpr int IDC_LOAD_LAST_DEVICE = 1351;
    static constexpr int IDC_FORGET_LOADED_FILE = 1353;

    explicit COthersDlg(QWidget* parent = nullptr);

    void accept() override;

    DWORD m_bLoadLastDevice = 0;
    DWORD m_bForgetLoadedFile = 0;

protected:
    void OnInitDialog() override;

private:
    QCheckBox* m_loadLast = nullptr;
    QCheckBox* m_forget = nullptr;
};
