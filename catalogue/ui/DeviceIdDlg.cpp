#include "catalogue/ui/DeviceIdDlg.h"

#include "controls/ui/XColorStatic.h"
#include "platform/Colour.h"
#include "platform/ui/QtServices.h"
#include "shell/Language.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <utility>

namespace {

constexpr COLORREF kIdColour = 0xFF0000; // blue
constexpr COLORREF kValueColour = RGB(0, 125, 0);

QString LanguageText(int number)
{
    return QString::fromStdString(g_Language.GetTextOrDefault(number));
}

void SetId(QWidget* control, int id)
{
    control->setObjectName(QString::number(id));
}

} // namespace

CDeviceIdDlg::CDeviceIdDlg(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle("Device ID");
    setFont(platform::MakeFont("Arial", 9));

    auto* group = new QGroupBox(this);
    SetId(group, IDC_GROUP);
    auto* grid = new QGridLayout(group);

    auto value = [this](int id, COLORREF colour, int points) {
        auto* v = new CXColorStatic(this, CXColorStatic::SS_CENTERIMAGE);
        SetId(v, id);
        v->SetFont("Times New Roman", points, false);
        v->SetBold(true, false);
        v->SetTextColor(colour, false);
        return v;
    };
    m_valueId = value(IDC_VALUE_ID, kIdColour, 15);
    m_valueManufacturer = value(IDC_VALUE_MANUFACTURER, kValueColour, 11);
    m_valueType = value(IDC_VALUE_TYPE, kValueColour, 11);
    m_valueRevision = value(IDC_VALUE_REVISION, kValueColour, 11);

    const std::pair<int, CXColorStatic*> rows[] = {
        { IDC_LABEL_ID, m_valueId },
        { IDC_LABEL_MANUFACTURER, m_valueManufacturer },
        { IDC_LABEL_TYPE, m_valueType },
        { IDC_LABEL_REVISION, m_valueRevision },
    };
    int row = 0;
    for (const auto& [labelId, valueStatic] : rows) {
        auto* label = new QLabel(this);
        SetId(label, labelId);
        grid->addWidget(label, row, 0);
        grid->addWidget(valueStatic, row, 1);
        ++row;
    }
    grid->setColumnStretch(1, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    SetId(buttons->button(QDialogButtonBox::Ok), IDC_OK);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(buttons);
    setMinimumWidth(320);
}

QWidget* CDeviceIdDlg::GetDlgItem(int id) const
{
    return findChild<QWidget*>(QString::number(id));
}

void CDeviceIdDlg::OnInitDialog()
{
    const std::pair<int, int> labels[] = {
        { IDC_LABEL_ID, 112 },
        { IDC_LABEL_MANUFACTURER, 106 },
        { IDC_LABEL_TYPE, 109 },
        { IDC_LABEL_REVISION, 113 },
    };
    for (const auto& [id, text] : labels)
        if (auto* label = qobject_cast<QLabel*>(GetDlgItem(id)))
            label->setText(LanguageText(text));
    if (auto* group = qobject_cast<QGroupBox*>(GetDlgItem(IDC_GROUP)))
        group->setTitle(LanguageText(114));

    m_valueId->setText(QString::fromStdString(m_strDeviceId));
    m_valueManufacturer->setText(QString::fromStdString(m_strManufacturerText));
    m_valueType->setText(QString::fromStdString(m_strType));
    m_valueRevision->setText(QString::fromStdString(m_strRevision));
}

int CDeviceIdDlg::DoModal()
{
    OnInitDialog();
    return exec();
}
