#include "shell/ui/AboutDlg.h"

#include "controls/ui/StaticLink.h"
#include "shell/ProgramInfo.h"
#include "shell/ui/ToolbarIcons.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace {

struct Link {
    int id;
    const char* target;
};
const std::string kMailTo = std::string("mailto:") + kSupportAddress;
const Link kLinks[] = {
    { CAboutDlg::IDC_WEBSITE, "https://www.ostrand.example/" },
    { CAboutDlg::IDC_EMAIL, kMailTo.c_str() },
    { CAboutDlg::IDC_FORUM, "https://forum.ostrand.example/" },
    { CAboutDlg::IDC_DOWNLOAD, "https://www.ostrand.example/download/" },
};

} // namespace

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent)
    , m_strRevision(kProgramRevision)
{
    setWindowTitle("About Tonrig");
    setObjectName("100");

    auto* icon = new QLabel(this);
    icon->setPixmap(ProgramIcon().pixmap(32, 32));

    auto* text = new QVBoxLayout;
    text->addWidget(new QLabel("Zelvo USB Universal EPROM Programmer", this));
    text->addWidget(AddLabel(IDC_REVISION, QString::fromStdString(m_strRevision)));
    text->addWidget(AddLabel(IDC_MAKER, "Ostrand"));
    text->addWidget(AddLabel(IDC_WEBSITE, "www.ostrand.example"));

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel("Technical support :", this), 0, 0);
    grid->addWidget(AddLabel(IDC_EMAIL, kSupportAddress), 0, 1);
    grid->addWidget(AddLabel(IDC_FORUM, "forum.ostrand.example"), 1, 1);
    grid->addWidget(new QLabel("Latest Software:", this), 2, 0);
    grid->addWidget(AddLabel(IDC_DOWNLOAD, "www.ostrand.example/download"), 2, 1);
    text->addLayout(grid);

    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addLayout(text, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);
}

QLabel* CAboutDlg::AddLabel(int id, const QString& text)
{
    for (const Link& link : kLinks)
        if (link.id == id) {
            auto* linkLabel = new CStaticLink(text, this);
            linkLabel->setObjectName(QString::number(id));
            linkLabel->SetLink(link.target);
            return linkLabel;
        }
    auto* label = new QLabel(text, this);
    label->setObjectName(QString::number(id));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

std::string CAboutDlg::GetDlgItemText(int id) const
{
    const auto* label = findChild<QLabel*>(QString::number(id));
    return label ? label->text().toStdString() : std::string();
}

std::string CAboutDlg::LinkTarget(int id) const
{
    for (const Link& link : kLinks)
        if (link.id == id)
            return link.target;
    return {};
}
