#include "shell/ui/LanguageDlg.h"

#include "operations/ui/TonrigView.h"
#include "platform/FileSync.h"
#include "platform/Folders.h"
#include "platform/MessageBox.h"
#include "platform/Process.h"
#include "platform/TextFormat.h"
#include "shell/LanguageLoader.h"
#include "shell/ProgramInfo.h"
#include "shell/ui/InputDlg.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSaveFile>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr const char* kSuffix = ".dic.txt";

// A name that stays a file name inside the language folder.
bool IsValidLanguageName(const QString& name)
{
    if (name.isEmpty() || name.startsWith('.'))
        return false;
    return std::none_of(name.begin(), name.end(),
        [](QChar c) { return c == '/' || c == '\\' || c.category() == QChar::Other_Control; });
}

} // namespace

CLanguageDlg::CLanguageDlg(QWidget* parent)
    : CShellDialog(IDD, "Language Selection", { 160, 150 }, parent)
{
    auto* title = Named(new QLabel(this), IDC_TITLE);
    m_list = Named(new QListWidget(this), IDC_LIST);
    auto* add = Named(new QPushButton(this), IDC_ADD);
    auto* edit = Named(new QPushButton(this), IDC_EDIT);
    auto* ok = Named(new QPushButton("OK", this), IDC_OK);
    auto* cancel = Named(new QPushButton(this), IDC_CANCEL);
    ok->setDefault(true);
    connect(add, &QPushButton::clicked, this, &CLanguageDlg::OnAdd);
    connect(edit, &QPushButton::clicked, this, &CLanguageDlg::OnEdit);
    connect(ok, &QPushButton::clicked, this, &CLanguageDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CLanguageDlg::reject);
    connect(m_list, &QListWidget::itemDoubleClicked, this, [this] { accept(); });

    auto* side = new QVBoxLayout;
    for (QPushButton* button : { add, edit, ok, cancel })
        side->addWidget(button);
    side->addStretch(1);
    auto* body = new QHBoxLayout;
    body->addWidget(m_list, 1);
    body->addLayout(side);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addLayout(body);
}

bool CLanguageDlg::LoadLanguageFile(const std::string& path)
{
    return CLanguageLoader::LoadLanguageFile(path);
}
void CLanguageDlg::SaveLanguageSetting(const std::string& path)
{
    CLanguageLoader::SaveLanguageSetting(path);
}
std::string CLanguageDlg::GetLanguageName(const std::string& path)
{
    return CLanguageLoader::GetLanguageName(path);
}
int CLanguageDlg::IsUnicodeFile(const std::string& path)
{
    return CLanguageLoader::IsUnicodeFile(path);
}

void CLanguageDlg::OnInitDialog()
{
    FillList();
    SetDlgItemLanguageText(IDC_TITLE, 44);
    SetDlgItemLanguageText(IDC_ADD, 45);
    SetDlgItemLanguageText(IDC_EDIT, 1);
    SetDlgItemLanguageText(IDC_CANCEL, 47);
}

std::vector<std::string> CLanguageDlg::LanguageFiles()
{
    const QDir dir(QString::fromStdString(CLanguageLoader::LanguageFolder()));
    std::vector<std::string> files;
    // A link to nothing is listed too, so that its box says why that language is missing;
    // FIFOs, sockets and devices are not.
    for (const QFileInfo& info : dir.entryInfoList({ QString("*") + kSuffix },
             QDir::Files | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name))
        if (info.isFile() || (info.isSymLink() && !info.exists()))
            files.push_back(info.filePath().toStdString());
    return files;
}

std::string CLanguageDlg::FindLanguageFile(const std::string& name)
{
    for (const std::string& path : LanguageFiles())
        if (GetLanguageName(path) == name)
            return path;
    return {};
}

void CLanguageDlg::FillList()
{
    m_list->clear();
    QStringList names;
    for (const std::string& path : LanguageFiles()) {
        if (IsUnicodeFile(path) == 2) {
            MessageBox(path + "\r\nUnicode Language file can not read! Please save as ASCII fomat.");
            continue;
        }
        const std::string name = GetLanguageName(path);
        if (!name.empty())
            names.push_back(QString::fromStdString(name));
    }
    // English is built in: it is offered without a file too.
    if (!names.contains(CLanguageLoader::kBuiltInName, Qt::CaseInsensitive))
        names.push_back(CLanguageLoader::kBuiltInName);
    std::stable_sort(names.begin(), names.end(),
        [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    m_list->addItems(names);
    if (m_list->count() > 0)
        m_list->setCurrentRow(0);
}

std::string CLanguageDlg::SelectedName() const
{
    const QListWidgetItem* item = m_list->currentItem();
    return item && item->isSelected() ? item->text().toStdString() : std::string();
}

void CLanguageDlg::Select(const std::string& name)
{
    m_list->setCurrentRow(-1);
    const QList<QListWidgetItem*> found = m_list->findItems(QString::fromStdString(name), Qt::MatchExactly);
    if (!found.isEmpty())
        m_list->setCurrentItem(found.front());
}

void CLanguageDlg::accept()
{
    if (m_list->count() == 0 || SelectedName().empty()) {
        // Nothing to choose: close, loading and storing nothing.
        QDialog::accept();
        return;
    }
    const std::string name = SelectedName();
    const std::string path = FindLanguageFile(name);
    if (path.empty() && name == CLanguageLoader::kBuiltInName) {
        // The built-in texts; no stored choice starts with them too.
        CLanguageLoader::LoadBuiltInTexts();
        SaveLanguageSetting({});
        if (g_pMainView)
            g_pMainView->ApplyLanguage();
        QDialog::accept();
        return;
    }
    const bool loaded = path.empty()
        ? (MessageBox(platform::Format("%s Language file open error.", name.c_str())), false)
        : LoadLanguageFile(path);
    if (!loaded) {
        // The table and the stored choice stay; the list shows what the folder holds now.
        FillList();
        return;
    }
    SaveLanguageSetting(path);
    if (g_pMainView)
        g_pMainView->ApplyLanguage();
    QDialog::accept();
}

bool CLanguageDlg::CreateLanguageFile(const std::string& requested)
{
    const QString name = QString::fromStdString(requested).trimmed();
    if (!IsValidLanguageName(name)) {
        MessageBox(platform::Format("Invalid language name: %s", requested.c_str()));
        return false;
    }
    const std::string folder = CLanguageLoader::LanguageFolder();
    const QString target = QString::fromStdString(folder) + name + kSuffix;
    // A link counts as a file even when it leads nowhere: writing through it would make a file
    // outside the folder.
    const QFileInfo info(target);
    if (info.exists() || info.isSymLink()) {
        MessageBox(platform::Format("Language file <%s%s> already exists.", name.toStdString().c_str(), kSuffix));
        return false;
    }

    QFile source(QString::fromStdString(platform::ProgramFolder() + "/Language/English.dic.txt"));
    if (!source.open(QIODevice::ReadOnly)) {
        MessageBox("file open error: English.dic.txt");
        return false;
    }
    const QByteArray text = source.readAll();
    source.close();

    const auto failed = [&target] {
        MessageBox(platform::Format("File open error: %s", target.toStdString().c_str()));
        return false;
    };
    if (!QDir().mkpath(QString::fromStdString(folder)))
        return failed();
    platform::RemoveSaveLeftovers(target.toStdString());
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly))
        return failed();
    const QByteArray nameLine = "LanguageName=" + name.toUtf8();
    // Lines end at CR LF, CR or LF; a last line without its end still gets one.
    qsizetype at = 0;
    while (at < text.size()) {
        qsizetype end = at;
        while (end < text.size() && text[end] != '\r' && text[end] != '\n')
            ++end;
        const QByteArray line = text.mid(at, end - at);
        out.write(line.startsWith("LanguageName=") ? nameLine : line);
        out.write("\r\n");
        if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n')
            ++end;
        at = end + 1;
    }
    if (!out.commit())
        return failed();
    return true;
}

void CLanguageDlg::OnAdd()
{
    CInputDlg input(this);
    input.SetPrompt("Please input language name:");
    const bool ok = m_runInput ? m_runInput(input) : input.exec() == QDialog::Accepted;
    if (!ok || input.m_bCancelled)
        return;
    if (!CreateLanguageFile(input.m_strValue))
        return;
    const std::string name = QString::fromStdString(input.m_strValue).trimmed().toStdString();
    const char* n = name.c_str();
    MessageBox(platform::Format("New language file <%s.dic.txt> created, \r\n  you need to translate all text string to "
                                "your new lanuage and save it. \r\n",
                   n)
        + "Please send a copy of it to " + kSupportAddress + " for the next software release."
        + platform::Format(" \r\n Click Edit button to open the <%s.dic.txt>", n));
    FillList();
    Select(name);
}

void CLanguageDlg::OnEdit()
{
    const std::string name = SelectedName();
    if (name.empty())
        return;
    const std::string path = FindLanguageFile(name);
    if (path.empty()) {
        if (name == CLanguageLoader::kBuiltInName)
            MessageBox("English is built into the program and has no file to edit. Add makes a language file from "
                       "it.",
                platform::kAppTitle, MB_OK);
        return;
    }
    const std::string url = QUrl::fromLocalFile(QString::fromStdString(path)).toString().toStdString();
    if (!platform::OpenWithDesktop(url).ok)
        MessageBox(
            platform::Format("Couldn't create process\r\nThe desktop's text editor did not open %s.", path.c_str()),
            platform::kAppTitle, MB_OK);
}
