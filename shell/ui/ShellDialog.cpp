#include "shell/ui/ShellDialog.h"

#include "shell/Language.h"

#include <QAbstractButton>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QShowEvent>

CShellDialog::CShellDialog(int templateId, const QString& title, QSize units, QWidget* parent)
    : QDialog(parent)
    , m_nTemplateId(templateId)
{
    setObjectName(QString::number(templateId));
    setWindowTitle(title);
    resize(DialogUnitsToPixels(units, font()));
}

void CShellDialog::showEvent(QShowEvent* event)
{
    // Every opening, as a dialog held for reuse opens again; not a restore from minimised.
    if (!event->spontaneous())
        OnInitDialog();
    QDialog::showEvent(event);
}

QSize CShellDialog::DialogUnitsToPixels(QSize units, const QFont& font)
{
    const QFontMetrics metrics(font);
    return { units.width() * metrics.averageCharWidth() / 4, units.height() * metrics.height() / 8 };
}

QWidget* CShellDialog::GetDlgItem(int id) const
{
    return findChild<QWidget*>(QString::number(id));
}

QString CShellDialog::GetDlgItemText(int id) const
{
    QWidget* item = GetDlgItem(id);
    if (auto* label = qobject_cast<QLabel*>(item))
        return label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(item))
        return button->text();
    if (auto* group = qobject_cast<QGroupBox*>(item))
        return group->title();
    if (auto* edit = qobject_cast<QLineEdit*>(item))
        return edit->text();
    return {};
}

void CShellDialog::SetDlgItemText(int id, const QString& text)
{
    QWidget* item = GetDlgItem(id);
    if (auto* label = qobject_cast<QLabel*>(item))
        label->setText(text);
    else if (auto* button = qobject_cast<QAbstractButton*>(item))
        button->setText(text);
    else if (auto* group = qobject_cast<QGroupBox*>(item))
        group->setTitle(text);
    else if (auto* edit = qobject_cast<QLineEdit*>(item))
        edit->setText(text);
}

void CShellDialog::SetDlgItemLanguageText(int id, int number)
{
    if (GetDlgItem(id))
        SetDlgItemText(id, LanguageText(number));
}

QString CShellDialog::LanguageText(int number)
{
    return QString::fromStdString(g_Language.GetText(number));
}
