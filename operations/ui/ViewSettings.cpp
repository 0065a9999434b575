// The view's Setting menu: Language, Background Color and Others.

#include "operations/ui/TonrigView.h"

#include "platform/ui/QtServices.h"
#include "operations/ui/View2Header.h"
#include "shell/ui/LanguageDlg.h"
#include "shell/ui/OthersDlg.h"

#include <QColorDialog>

namespace {

constexpr const char* kSettingsKey = "Software\\Zelvo USB Programmer\\Settings";

} // namespace

CLanguageDlg& CTonrigView::LanguageDlg()
{
    if (!m_pLanguageDlg)
        m_pLanguageDlg = new CLanguageDlg(this);
    return *m_pLanguageDlg;
}

void CTonrigView::OnLanguage()
{
    CLanguageDlg& dialog = LanguageDlg();
    if (m_runLanguageDlg)
        m_runLanguageDlg(dialog);
    else
        dialog.exec();
    if (g_pView2Header)
        g_pView2Header->ApplyLanguage();
}

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
