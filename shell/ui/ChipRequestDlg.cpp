#include "shell/ui/ChipRequestDlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace {

// Label id, its language text, the edit beside it.
struct Field {
    int label;
    int text;
    int edit;
};
constexpr Field kFields[] = {
    { CChipRequestDlg::IDC_PART_NUMBER_LABEL, 209, CChipRequestDlg::IDC_PART_NUMBER },
    { CChipRequestDlg::IDC_DATASHEET_LABEL, 210, CChipRequestDlg::IDC_DATASHEET_LINK },
    { CChipRequestDlg::IDC_APPLICATION_LABEL, 211, CChipRequestDlg::IDC_APPLICATION },
};

} // namespace

CChipRequestDlg::CChipRequestDlg(QWidget* parent)
    : CShellDialog(IDD, "New Chip Support Request", { 239, 119 }, parent)
{
    auto* layout = new QVBoxLayout(this);
    auto* heading = Named(new QLabel(this), IDC_HEADING);
    heading->setWordWrap(true);
    layout->addWidget(heading);
    auto* form = new QFormLayout;
    for (const Field& field : kFields) {
        auto* edit = Named(new QLineEdit(this), field.edit);
        form->addRow(Named(new QLabel(this), field.label), edit);
    }
    layout->addLayout(form);
    layout->addStretch(1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CChipRequestDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CChipRequestDlg::reject);
    layout->addWidget(buttons);
    m_part = findChild<QLineEdit*>(QString::number(IDC_PART_NUMBER));
    m_link = findChild<QLineEdit*>(QString::number(IDC_DATASHEET_LINK));
    m_application = findChild<QLineEdit*>(QString::number(IDC_APPLICATION));
}

void CChipRequestDlg::OnInitDialog()
{
    for (const Field& field : kFields)
        SetDlgItemLanguageText(field.label, field.text);
    SetDlgItemLanguageText(IDC_HEADING, 207);
    m_part->setFocus();
}

void CChipRequestDlg::accept()
{
    m_strPartNumber = m_part->text().toStdString();
    m_strDatasheetLink = m_link->text().toStdString();
    m_strApplication = m_application->text().toStdString();
    QDialog::accept();
}
