#include "buffer/ui/FillBufferDlg.h"

#include "buffer/BufferEdit.h"
#include "platform/TextFormat.h"
#include "shell/Language.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QString Text(int number)
{
    return QString::fromStdString(g_Language.GetTextOrDefault(number));
}

// 1 to 8 hex digits, blanks around them.
bool ParseAddress(const QString& text, std::size_t& value)
{
    const QString t = text.trimmed();
    if (t.isEmpty() || t.size() > 8)
        return false;
    bool ok = false;
    value = static_cast<std::size_t>(t.toULongLong(&ok, 16));
    return ok && !t.startsWith('+') && !t.startsWith('-');
}

} // namespace

CFillBufferDlg::CFillBufferDlg(std::size_t bufferSize, std::size_t first, std::size_t last, QWidget* parent)
    : QDialog(parent)
    , m_size(bufferSize)
{
    setWindowTitle(Text(121));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    m_from = new QLineEdit(QString::number(first, 16).toUpper(), this);
    m_to = new QLineEdit(QString::number(last, 16).toUpper(), this);
    m_data = new QLineEdit("FF", this);
    form->addRow(Text(119), m_from);
    form->addRow(Text(120), m_to);
    form->addRow(Text(118), m_data);
    layout->addLayout(form);
    m_error = new QLabel(this);
    m_error->setStyleSheet("color: #c00000");
    layout->addWidget(m_error);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(Text(46));
    buttons->button(QDialogButtonBox::Cancel)->setText(Text(47));
    connect(buttons, &QDialogButtonBox::accepted, this, &CFillBufferDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CFillBufferDlg::reject);
    layout->addWidget(buttons);
}

std::string CFillBufferDlg::ErrorText() const
{
    return m_error->text().toStdString();
}

void CFillBufferDlg::accept()
{
    std::size_t from = 0, to = 0;
    std::string error;
    const buffer::HexBytesResult data = buffer::ParseHexBytes(m_data->text().toStdString());
    if (!ParseAddress(m_from->text(), from))
        error = "From Address: enter 1 to 8 hex digits.";
    else if (!ParseAddress(m_to->text(), to))
        error = "To Address: enter 1 to 8 hex digits.";
    else if (m_size == 0 || to >= m_size)
        error = platform::Format("The buffer ends at 0x%zX.", m_size ? m_size - 1 : 0);
    else if (from > to)
        error = "From Address: it lies after To Address.";
    else if (!data.ok)
        error = "Data: enter hex bytes such as \"FF\" or \"12 34\".";
    m_error->setText(QString::fromStdString(error));
    if (!error.empty())
        return;
    m_nFrom = from;
    m_nTo = to;
    m_Data = data.bytes;
    QDialog::accept();
}
