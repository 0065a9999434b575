#pragma once
// The About box: the program's name and revision, its maker and where to find support and the
// latest software. The four links open their targets with the desktop.

#include <QDialog>

#include <string>

class QLabel;

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int IDC_WEBSITE = 1046;
    static constexpr int IDC_EMAIL = 1047;
    static constexpr int IDC_MAKER = 1048;
    static constexpr int IDC_FORUM = 1049;
    static constexpr int IDC_REVISION = 1230;
    static constexpr int IDC_DOWNLOAD = 1352;

    explicit CAboutDlg(QWidget* parent = nullptr);

    // The text of a control by its id; empty for an unknown id.
    std::string GetDlgItemText(int id) const;
    // Where a link control leads; empty for a control that is not a link.
    std::string LinkTarget(int id) const;

    std::string m_strRevision;

private:
    QLabel* AddLabel(int id, const QString& text);
};
