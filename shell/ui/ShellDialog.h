#pragma once
// What the shell's small dialogs share: controls found by id (their object names), labels from
// the language table, and a size given in dialog units of the dialog's font.

#include <QDialog>
#include <QSize>
#include <QString>

class CShellDialog : public QDialog {
    Q_OBJECT
public:
    // `units`: the template's width and height in dialog units (a quarter of the font's average
    // character width, an eighth of its height).
    CShellDialog(int templateId, const QString& title, QSize units, QWidget* parent = nullptr);

    int TemplateId() const { return m_nTemplateId; }
    // The child control of a numeric id, or null.
    QWidget* GetDlgItem(int id) const;
    // The caption of a label, button or group box, or the text of an edit. Empty when none.
    QString GetDlgItemText(int id) const;
    // Puts language text `number` on control `id` when the control exists.
    void SetDlgItemLanguageText(int id, int number);

    // Text `number` of the language table.
    static QString LanguageText(int number);
    // Pixels of `units` dialog units in `font`'s metrics.
    static QSize DialogUnitsToPixels(QSize units, const QFont& font);

protected:
    // The opening: labels from the language table and the first values of the controls. Runs
    // each time the dialog is shown.
    virtual void OnInitDialog() { }
    void showEvent(QShowEvent* event) override;

    // Names `widget` after `id` and returns it.
    template <class W>
    W* Named(W* widget, int id)
    {
        widget->setObjectName(QString::number(id));
        return widget;
    }
    void SetDlgItemText(int id, const QString& text);

private:
    int m_nTemplateId;
};
