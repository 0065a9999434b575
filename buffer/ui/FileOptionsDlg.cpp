#include "buffer/ui/FileOptionsDlg.h"

#include "buffer/BufferLoader.h"
#include "buffer/FileOptions.h"
#include "shell/Language.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace {

constexpr int kIntelHexEntry = 1;

QString Label(int text, const char* fallback)
{
    const std::string value = g_Language.GetText(text);
    return QString::fromStdString((value.empty() ? std::string(fallback) : value) + ":");
}

} // namespace

CFileOptionsDlg::CFileOptionsDlg(const std::string& fileName, QWidget* parent)
    : QDialog(parent)
    , m_strPattern(fileName)
{
    setObjectName("332");
    setWindowTitle("File Options");

    m_format = new QComboBox(this);
    for (const buffer::FormatChoice& choice : buffer::kFormatChoices)
        m_format->addItem(choice.text);
    m_readMode = new QComboBox(this);
    for (int mode = 0; mode <= 8; ++mode)
        m_readMode->addItem(buffer::ReadModeText(mode));
    m_fill = new QComboBox(this);
    for (const char* text : buffer::kFillChoices)
        m_fill->addItem(text);
    m_offset = new QLineEdit(QString::fromLatin1(buffer::kDefaultOffsetText), this);
    // A signed hexadecimal offset: "-10", "0x200", "FFFFFFF0".
    m_offset->setValidator(new QRegularExpressionValidator(QRegularExpression("-?(0[xX])?[0-9A-Fa-f]{0,8}"), m_offset));
    m_remember = new QCheckBox("Remember this file.", this);
    m_remember->setChecked(true);
    m_extendedLinear = new QCheckBox("Extended Linear Address Format Hex", this);

    auto* form = new QFormLayout;
    form->addRow(Label(194, "File Format"), m_format);
    form->addRow(Label(195, "Read Mode"), m_readMode);
    form->addRow("File Offset (Hex):", m_offset);
    form->addRow(Label(196, "Fill Mode"), m_fill);
    auto* hint
        = new QLabel("An offset address of your data in software buffer.\nIt can be positive or negative value.", this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CFileOptionsDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CFileOptionsDlg::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(hint);
    layout->addWidget(m_remember);
    layout->addWidget(m_extendedLinear);
    layout->addWidget(buttons);

    const int preselected = buffer::PreselectedFormat(fileName);
    m_format->setCurrentIndex(preselected);
    m_extendedLinear->setChecked(preselected == kIntelHexEntry);
    m_extendedLinear->setEnabled(false);
    connect(m_format, &QComboBox::currentIndexChanged, this, &CFileOptionsDlg::OnFormatChanged);
}

void CFileOptionsDlg::OnFormatChanged(int index)
{
    m_extendedLinear->setEnabled(index == kIntelHexEntry);
}

void CFileOptionsDlg::accept()
{
    const int format = m_format->currentIndex();
    // No entry chosen leaves the format empty: the file's name decides then.
    m_strFormat = format >= 0 ? buffer::kFormatChoices[format].pattern : "";
    m_nOpenMode = std::max(0, m_readMode->currentIndex());
    m_strFill = buffer::FillText(m_fill->currentIndex());
    m_strOffset = m_offset->text().trimmed().toStdString();
    if (m_strOffset.empty() || m_strOffset == "-")
        m_strOffset = "0";
    m_bRemember = m_remember->isChecked();
    m_bExtendedLinear = m_extendedLinear->isChecked();
    QDialog::accept();
}
