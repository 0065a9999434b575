// The view's Setting menu: Background Color and Others.

#include "operations/ui/TonrigView.h"

#include "platform/ui/QtServices.h"
#include "shell/ui/OthersDlg.h"

#include <QColorDialog>

namespace {

constexpr const char* kSettingsKey = "Software\\Zelvo USB Programmer\\Settings";

} // namespace

void CTonrigView::OnBackgroundColor()
{
    QColorDialog dialog(Qt::black, this);
    const bool ok = m_runColorDlg ? m_runColorDlg(dialog) : dialog.exec() == QDialog::Accepted;
    if (!ok)
        return;
    m_MessageLog->SetBackColor(platform::FromQColor(dialog.currentColor()));
}

void CTonrigView::OnOthers()
{
    COthersDlg dialog(this);
    dialog.m_bLoadLastDevice = m_dwLoadLastDevice;
    dialog.m_bForgetLoadedFile = m_dwForgetLoadedFileName;
    const bool ok = m_runOthersDlg ? m_runOthersDlg(dialog) : dialog.exec() == QDialog::Accepted;
    if (!ok)
        return;
    // A failed write is not reported: the options hold for this run all the same.
    if (!m_RegKey.Exists(HKEY_CURRENT_USER, kSettingsKey))
        m_RegKey.Create(HKEY_CURRENT_USER, kSettingsKey);
    if (m_RegKey.Open(HKEY_CURRENT_USER, kSettingsKey)) {
        m_RegKey.WriteDword("LoadLastDevice", dialog.m_bLoadLastDevice);
        m_RegKey.Close();
    }
    m_dwLoadLastDevice = dialog.m_bLoadLastDevice;
    if (m_RegKey.Open(HKEY_CURRENT_USER, kSettingsKey)) {
        m_RegKey.WriteDword("ForgetLoadedFileName", dialog.m_bForgetLoadedFile);
        m_RegKey.Close();
    }
    m_dwForgetLoadedFileName = dialog.m_bForgetLoadedFile;
}
