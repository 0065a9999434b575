#include "shell/ui/InputDlg.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

CInputDlg::CInputDlg(QWidget* parent)
    : CShellDialog(IDD, "Input", { 187, 63 }, parent)
{
    m_prompt = Named(new QLabel(this), IDC_PROMPT);
    m_prompt->setWordWrap(true);
    m_edit = Named(new QLineEdit(this), IDC_VALUE);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CInputDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CInputDlg::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_prompt);
    layout->addWidget(m_edit);
    layout->addStretch(1);
    layout->addWidget(buttons);
}

void CInputDlg::OnInitDialog()
{
    m_prompt->setText(QString::fromStdString(m_strPrompt));
    m_edit->clear();
    m_edit->setFocus();
}

void CInputDlg::accept()
{
    m_bCancelled = 0;
    m_strValue = m_edit->text().toStdString();
    QDialog::accept();
}

void CInputDlg::reject()
{
    m_bCancelled = 1;
    QDialog::reject();
}
