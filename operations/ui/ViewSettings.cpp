// The view's Setting menu: Language, Background Color and Others.

#include "operations/ui/TonrigView.h"

#include "operations/ui/View2Header.h"
#include "platform/GuiThread.h"
#include "platform/MessageBox.h"
#include "platform/SettingsStore.h"
#include "platform/ui/QtServices.h"
#include "shell/ui/LanguageDlg.h"
#include "shell/ui/OthersDlg.h"

#include <QColorDialog>
#include <QPointer>

namespace {

constexpr const char* kSettingsKey = "Software\\Zelvo USB Programmer\\Settings";

} // namespace

void CTonrigView::WatchSettingsSaves()
{
    // Workers write settings too; the log and the box are the GUI thread's.
    QPointer<CTonrigView> self(this);
    platform::SettingsStore::Instance().SetSaveFailureSink([self](const platform::SaveFailure& failure) {
        platform::post([self, failure] {
            if (!self)
                return;
            const std::string text = "Settings cannot be saved to " + failure.path + ": " + failure.reason
                + ". Changes made now will be lost when the program ends.";
            self->Log(text + "\r\n", kLogError);
            MessageBox(text, platform::kAppTitle, MB_OK | MB_ICONERROR);
        });
    });
}

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
    // A failed write is reported once a run (WatchSettingsSaves): the options hold all the same.
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
