#include "shell/ui/OthersDlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QVBoxLayout>

COthersDlg::COthersDlg(QWidget* parent)
    : CShellDialog(IDD, "Others", { 196, 88 }, parent)
{
    m_loadLast = Named(new QCheckBox(this), IDC_LOAD_LAST_DEVICE);
    m_forget = Named(new QCheckBox(this), IDC_FORGET_LOADED_FILE);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &COthersDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &COthersDlg::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_loadLast);
    layout->addWidget(m_forget);
    layout->addStretch(1);
    layout->addWidget(buttons);
}

void COthersDlg::OnInitDialog()
{
    SetDlgItemLanguageText(IDC_LOAD_LAST_DEVICE, 193);
    SetDlgItemLanguageText(IDC_FORGET_LOADED_FILE, 197);
    m_loadLast->setChecked(m_bLoadLastDevice != 0);
    m_forget->setChecked(m_bForgetLoadedFile != 0);
}

void COthersDlg::accept()
{
    m_bLoadLastDevice = m_loadLast->isChecked() ? 1 : 0;
    m_bForgetLoadedFile = m_forget->isChecked() ? 1 : 0;
    QDialog::accept();
}
