#include "shell/ui/UserRegisterDlg.h"

#include "operations/OperationState.h"
#include "platform/MessageBox.h"
#include "shell/WebRequest.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

CUserRegisterDlg::CUserRegisterDlg(QWidget* parent)
    : CShellDialog(IDD, "Dialog", { 200, 120 }, parent)
{
    auto* layout = new QVBoxLayout(this);
    auto* heading = new QLabel("Programmer Warranty Register", this);
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    layout->addWidget(heading);
    auto* form = new QFormLayout;
    m_email = Named(new QLineEdit(this), IDC_EMAIL);
    m_country = Named(new QLineEdit(this), IDC_COUNTRY);
    form->addRow(new QLabel("eMail:", this), m_email);
    form->addRow(new QLabel("Country:", this), m_country);
    layout->addLayout(form);
    m_updates = Named(new QCheckBox("Send me new version software \nand prodct update", this), IDC_UPDATES);
    m_updates->setChecked(true);
    layout->addWidget(m_updates);
    layout->addStretch(1);
    auto* buttons = new QHBoxLayout;
    auto* registerButton = Named(new QPushButton("Register", this), IDC_REGISTER);
    auto* cancel = Named(new QPushButton("Cancel", this), IDC_CANCEL);
    registerButton->setDefault(true);
    connect(registerButton, &QPushButton::clicked, this, &CUserRegisterDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CUserRegisterDlg::reject);
    buttons->addStretch(1);
    buttons->addWidget(registerButton);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
}

void CUserRegisterDlg::OnInitDialog()
{
    m_updates->setChecked(true);
}

void CUserRegisterDlg::accept()
{
    if (g_nOperationState == kStateDisconnected) {
        MessageBox(web_texts::kConnectFirst);
        return;
    }
    const std::string email = m_email->text().toStdString();
    const std::string country = m_country->text().toStdString();
    if (email.empty() || country.empty()) {
        MessageBox(web_texts::kFieldsNeeded);
        return;
    }
    if (m_register)
        m_register(email, country, m_updates->isChecked());
}
