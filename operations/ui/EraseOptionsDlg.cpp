#include "operations/ui/EraseOptionsDlg.h"

#include "shell/Language.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace {

QString Text(int number)
{
    return QString::fromStdString(g_Language.GetText(number));
}

} // namespace

CEraseOptionsDlg::CEraseOptionsDlg(const Setup& setup, QWidget* parent)
    : QDialog(parent)
    , m_Word(setup.word)
    , m_setup(setup)
{
    setWindowTitle(Text(150));

    auto* layout = new QVBoxLayout(this);
    auto* hint = new QLabel(Text(151), this);
    hint->setWordWrap(true);
    layout->addWidget(hint);

    m_note = new QLabel(this);
    m_edit = new QLineEdit(this);
    m_edit->setMaxLength(8);
    // Hex digits only as the user types; OK still checks the count.
    m_edit->setValidator(new QRegularExpressionValidator(QRegularExpression(" *[0-9A-Fa-f]{0,4} *"), m_edit));
    m_calRead = new QPushButton(Text(156), this);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(Text(152), this));
    row->addWidget(m_edit);
    row->addWidget(m_calRead);
    layout->addWidget(m_note);
    layout->addLayout(row);
    if (!setup.hasOsccal) {
        m_note->hide();
        for (int i = 0; i < row->count(); ++i)
            row->itemAt(i)->widget()->hide();
    }

    m_eeprom = new QCheckBox("Erase data EEPROM", this);
    m_config = new QCheckBox("Erase configuration word", this);
    m_id = new QCheckBox("Erase ID locations", this);
    m_restore = new QCheckBox("Restore OSCCAL after erase", this);
    for (QCheckBox* box : { m_eeprom, m_config, m_id, m_restore }) {
        box->setChecked(true);
        layout->addWidget(box);
    }
    m_eeprom->setEnabled(setup.hasDataMemory);
    m_restore->setEnabled(setup.hasOsccal);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &CEraseOptionsDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CEraseOptionsDlg::reject);
    connect(m_calRead, &QPushButton::clicked, this, &CEraseOptionsDlg::OnCalRead);
    layout->addWidget(buttons);

    ShowWord(setup.word);
}

void CEraseOptionsDlg::ShowWord(const OsccalWord& word)
{
    m_Word = word;
    m_note->setText(QString::fromStdString(OsccalNoteText(word, m_setup.osccalAddress)));
    m_edit->setText(QString::fromStdString(OsccalEditText(word)));
}

void CEraseOptionsDlg::OnCalRead()
{
    if (!m_readCal || !m_setup.hasOsccal)
        return;
    m_bReading = true;
    m_calRead->setEnabled(false);
    m_ok->setEnabled(false);
    QPointer<CEraseOptionsDlg> self(this);
    m_readCal([self](std::optional<OsccalWord> word) {
        if (!self)
            return;
        self->m_bReading = false;
        self->m_calRead->setEnabled(true);
        self->m_ok->setEnabled(true);
        if (word)
            self->ShowWord(*word);
    });
}

void CEraseOptionsDlg::accept()
{
    if (m_bReading)
        return;
    if (m_setup.hasOsccal) {
        const std::optional<OsccalWord> word = ParseOsccalText(m_edit->text().toStdString());
        if (!word) {
            m_edit->setFocus();
            m_edit->selectAll();
            return;
        }
        m_Word = *word;
    }
    // A box that is greyed out spares nothing: there is nothing of that kind to spare.
    m_Choice.eraseEeprom = m_eeprom->isChecked() || !m_eeprom->isEnabled();
    m_Choice.eraseConfig = m_config->isChecked();
    m_Choice.eraseId = m_id->isChecked();
    m_Choice.restoreOsccal = m_restore->isChecked() || !m_restore->isEnabled();
    QDialog::accept();
}
