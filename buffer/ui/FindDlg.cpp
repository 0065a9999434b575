#include "buffer/ui/FindDlg.h"

#include "buffer/BufferEdit.h"
#include "platform/TextFormat.h"
#include "shell/Language.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

QString Text(int number)
{
    return QString::fromStdString(g_Language.GetTextOrDefault(number));
}

} // namespace

CFindDlg::CFindDlg(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(Text(122));
    auto* layout = new QVBoxLayout(this);
    m_hex = new QRadioButton(Text(123), this);
    m_text = new QRadioButton(Text(124), this);
    m_hex->setChecked(true);
    m_edit = new QLineEdit(this);
    layout->addWidget(m_hex);
    layout->addWidget(m_text);
    layout->addWidget(m_edit);
    auto* direction = new QGroupBox(Text(125), this);
    auto* row = new QHBoxLayout(direction);
    m_up = new QRadioButton(Text(126), direction);
    m_down = new QRadioButton(Text(127), direction);
    m_down->setChecked(true);
    row->addWidget(m_up);
    row->addWidget(m_down);
    layout->addWidget(direction);
    m_matchCase = new QCheckBox(Text(128), this);
    m_newSearch = new QCheckBox(Text(129), this);
    layout->addWidget(m_matchCase);
    layout->addWidget(m_newSearch);
    m_error = new QLabel(this);
    m_error->setStyleSheet("color: #c00000");
    layout->addWidget(m_error);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(Text(46));
    buttons->button(QDialogButtonBox::Cancel)->setText(Text(47));
    connect(buttons, &QDialogButtonBox::accepted, this, &CFindDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CFindDlg::reject);
    layout->addWidget(buttons);
    // Match Case means something only for a text.
    m_matchCase->setEnabled(false);
    connect(m_text, &QRadioButton::toggled, m_matchCase, &QCheckBox::setEnabled);
}

std::string CFindDlg::ErrorText() const
{
    return m_error->text().toStdString();
}

void CFindDlg::accept()
{
    const std::string typed = m_edit->text().toStdString();
    std::vector<std::uint8_t> pattern;
    std::string error;
    if (m_hex->isChecked()) {
        const buffer::HexBytesResult r = buffer::ParseHexBytes(typed);
        if (r.ok)
            pattern = r.bytes;
        else
            error = platform::Format(
                "Not a hex string at character %zu: enter bytes such as \"E2 FB CD 00 21\".", r.errorPosition + 1);
    } else {
        const QByteArray latin = m_edit->text().toLatin1();
        pattern.assign(latin.begin(), latin.end());
        if (pattern.empty())
            error = "Enter the text to find.";
    }
    m_error->setText(QString::fromStdString(error));
    if (!error.empty())
        return;
    m_strText = typed;
    m_Pattern = std::move(pattern);
    m_bHex = m_hex->isChecked();
    m_bDown = m_down->isChecked();
    m_bMatchCase = !m_bHex && m_matchCase->isChecked();
    m_bNewSearch = m_newSearch->isChecked();
    QDialog::accept();
}
