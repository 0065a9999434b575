// The Language Selection dialog on the program's own main frame and view: listing the language
// folder, OK, Add and Edit, and the texts the window takes. Every language file is generated; in
// one made with prefix P, text n reads P and the number in three digits.

#include "shell/ui/LanguageDlg.h"

#include "catalogue/DeviceLibrary.h"
#include "operations/OperationState.h"
#include "operations/ui/TonrigView.h"
#include "operations/ui/View2Header.h"
#include "platform/Process.h"
#include "platform/SettingsStore.h"
#include "platform/TextFormat.h"
#include "shell/Language.h"
#include "shell/LanguageLoader.h"
#include "shell/ui/InputDlg.h"
#include "shell/ui/MainFrame.h"
#include "shell/ui/TonrigApp.h"
#include "support/RecordingMessageBox.h"
#include "support/TestEnvironment.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QUrl>

#include <cstdlib>

#include <gtest/gtest.h>

namespace {

std::string LanguageText(const std::string& name, const std::string& prefix, const char* lineEnd = "\n")
{
    std::string text = "; generated\n";
    text += "LanguageName=" + name + lineEnd;
    for (int i = 0; i < kLanguageTextCount; ++i)
        text += platform::Format("%04d=\"%s%03d\";", i, prefix.c_str(), i) + lineEnd;
    return text;
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Points the application-data folder and the program folder into a folder of the test's own.
class ScopedFolders {
public:
    ScopedFolders()
        : m_appData(qEnvironmentVariable("APPDATA"))
        , m_program(qEnvironmentVariable("TONRIG_PROGRAM_DIR"))
    {
        qputenv("APPDATA", (m_dir.path() + "/appdata").toUtf8());
        qputenv("TONRIG_PROGRAM_DIR", (m_dir.path() + "/program").toUtf8());
    }
    ~ScopedFolders()
    {
        qputenv("APPDATA", m_appData.toUtf8());
        if (m_program.isEmpty())
            qunsetenv("TONRIG_PROGRAM_DIR");
        else
            qputenv("TONRIG_PROGRAM_DIR", m_program.toUtf8());
    }
    QString Root() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QString m_appData;
    QString m_program;
};

class LanguageDialog : public testing::Test {
protected:
    void SetUp() override
    {
        g_DeviceLibrary.FreeAll();
        platform::SetDesktopOpener([this](const std::string& url) {
            opened.push_back(url);
            return platform::OpenResult { openerWorks, openerWorks ? "" : "no opener" };
        });
        WriteFile(Template(), QByteArray::fromStdString(LanguageText("English", "E")));
        InitLanguageForView(); // the built-in texts: nothing is stored yet
    }
    void TearDown() override
    {
        platform::SetDesktopOpener({});
        g_nOperationState = kStateIdle;
        g_Language.Reset();
    }

    QString Folder() const { return QString::fromStdString(CLanguageLoader::LanguageFolder()); }
    QString Template() const { return folders.Root() + "/program/Language/English.dic.txt"; }
    QString AddLanguage(const QString& file, const std::string& name, const std::string& prefix)
    {
        const QString path = Folder() + file;
        WriteFile(path, QByteArray::fromStdString(LanguageText(name, prefix)));
        return path;
    }
    std::vector<std::string> Entries(const CLanguageDlg& dialog) const
    {
        std::vector<std::string> out;
        for (int i = 0; i < dialog.List()->count(); ++i)
            out.push_back(dialog.List()->item(i)->text().toStdString());
        return out;
    }
    std::vector<std::string> BoxTexts() const
    {
        std::vector<std::string> out;
        for (const auto& b : boxes.Boxes())
            out.push_back(b.text);
        return out;
    }
    std::string Stored() const
    {
        const auto value = platform::SettingsStore::Instance().GetValue(
            CLanguageLoader::kSettingsKey, CLanguageLoader::kSettingsValue);
        return value ? value->text : std::string("(none)");
    }
    void SelectEntry(CLanguageDlg& dialog, const std::string& name)
    {
        const auto found = dialog.List()->findItems(QString::fromStdString(name), Qt::MatchExactly);
        ASSERT_FALSE(found.isEmpty()) << name;
        dialog.List()->setCurrentItem(found.front());
    }
    QPushButton* Button(CLanguageDlg& dialog, int id)
    {
        return qobject_cast<QPushButton*>(dialog.GetDlgItem(id));
    }

    ScopedFolders folders;
    tonrig::test::ScopedSettingsFile settings;
    tonrig::test::RecordingMessageBox boxes;
    std::vector<std::string> opened;
    bool openerWorks = true;
};

TEST_F(LanguageDialog, ListsEachLanguageFileOnceInNameOrderAndSaysWhatItCannotRead)
{
    AddLanguage("Deutsch.dic.txt", "Deutsch", "D");
    AddLanguage("b1.dic.txt", "alpha", "A");
    AddLanguage("b2.dic.txt", "alpha", "B");
    AddLanguage("Deutsch.dic.txt~", "Backup", "X");
    QDir().mkpath(Folder() + "Sub.dic.txt");
    QByteArray utf16("\xFF\xFE", 2);
    for (char c : std::string("LanguageName=Wide\r\n")) {
        utf16.append(c);
        utf16.append('\0');
    }
    WriteFile(Folder() + "Wide.dic.txt", utf16);
    ASSERT_TRUE(QFile::link(Folder() + "nowhere", Folder() + "Gone.dic.txt"));

    CLanguageDlg dialog;
    dialog.show();
    EXPECT_EQ(Entries(dialog), (std::vector<std::string> { "alpha", "alpha", "Deutsch", "English" }));
    EXPECT_EQ(dialog.SelectedName(), "alpha");
    const std::string folder = Folder().toStdString();
    EXPECT_EQ(BoxTexts(),
        (std::vector<std::string> { folder + "Gone.dic.txt Language file open error.",
            folder + "Wide.dic.txt\r\nUnicode Language file can not read! Please save as ASCII fomat." }));
    EXPECT_EQ(dialog.GetDlgItemText(CLanguageDlg::IDC_TITLE), "Available Language");
    EXPECT_EQ(dialog.GetDlgItemText(CLanguageDlg::IDC_ADD), "Add");
    EXPECT_EQ(dialog.GetDlgItemText(CLanguageDlg::IDC_EDIT), "Edit");
    EXPECT_EQ(dialog.GetDlgItemText(CLanguageDlg::IDC_OK), "OK");
    EXPECT_EQ(dialog.GetDlgItemText(CLanguageDlg::IDC_CANCEL), "Cancel");
    EXPECT_EQ(dialog.windowTitle(), "Language Selection");
}

TEST_F(LanguageDialog, OkPutsTheLanguageOnTheWholeWindowAndItStaysAfterARestart)
{
    const QString path = AddLanguage("Deutsch.dic.txt", "Deutsch", "T");
    AddLanguage("Zulu.dic.txt", "Zulu", "Z");
    const auto checkTexts = [&](CTonrigApp& app) {
        EXPECT_EQ(g_Language.GetText(8), "T008");
        const QList<QAction*> bar = app.MainFrame()->menuBar()->actions();
        ASSERT_EQ(bar.size(), 8);
        for (int i = 0; i < 8; ++i)
            EXPECT_EQ(bar[i]->text().toStdString(), platform::Format("T%03d", i));
        struct Command {
            UINT id;
            const char* text;
        };
        for (const Command& c : { Command { 57601, "T008\tCtl+O" }, Command { 32808, "T023\tCtrl+Y" },
                 Command { 32959, "T172" }, Command { 32971, "T192" }, Command { 57664, "T033" } })
            EXPECT_EQ(app.MainFrame()->Commands().Action(c.id)->text().toStdString(), c.text) << c.id;
        // The shortcut stays bound.
        EXPECT_EQ(app.MainFrame()->Commands().Action(57601)->shortcut(), QKeySequence("Ctrl+O"));
        const int buttons[] = { 3, 173, 18, 21, 20, 19, 23, 38 };
        for (int i = 0; i < 8; ++i)
            EXPECT_EQ(qobject_cast<QPushButton*>(g_pMainView->GetDlgItem(123 + i))->text().toStdString(),
                platform::Format("T%03d", buttons[i]));
        EXPECT_EQ(g_pMainView->m_strOffsetTitle, "T177");
        ASSERT_NE(g_pView2Header, nullptr);
        EXPECT_EQ(g_pView2Header->OptionBox(HeaderOption::Read)->text().toStdString(),
            platform::Format("T%03d", HeaderModel::OptionTextNumber(HeaderOption::Read)));
    };
    {
        CTonrigApp app;
        ASSERT_TRUE(app.InitInstance(false));
        EXPECT_EQ(g_Language.GetText(8), "Open...");
        bool stillOpen = true;
        g_pMainView->SetLanguageDialogRunner([&](CLanguageDlg& dialog) {
            dialog.show();
            SelectEntry(dialog, "Deutsch");
            Button(dialog, CLanguageDlg::IDC_OK)->click();
            stillOpen = dialog.isVisible();
        });
        ASSERT_TRUE(app.MainFrame()->Commands().Execute(32958));
        EXPECT_FALSE(stillOpen);
        EXPECT_EQ(Stored(), path.toStdString());
        checkTexts(app);
        EXPECT_EQ(boxes.Count(), 0u) << testing::PrintToString(BoxTexts());
    }
    g_Language.Reset();
    g_DeviceLibrary.FreeAll();
    CTonrigApp restarted;
    ASSERT_TRUE(restarted.InitInstance(false));
    checkTexts(restarted);
}

TEST_F(LanguageDialog, AFailedLoadKeepsTextsChoiceAndDialogAndOkWithNothingSelectedStoresNothing)
{
    const QString path = AddLanguage("Deutsch.dic.txt", "Deutsch", "T");
    CTonrigApp app;
    ASSERT_TRUE(app.InitInstance(false));
    CLanguageLoader::SaveLanguageSetting("/earlier/choice.dic.txt");
    const std::string menuBefore = app.MainFrame()->menuBar()->actions()[0]->text().toStdString();

    bool stillOpen = false;
    std::vector<std::string> listed;
    g_pMainView->SetLanguageDialogRunner([&](CLanguageDlg& dialog) {
        dialog.show();
        SelectEntry(dialog, "Deutsch");
        QFile::remove(path);
        dialog.accept();
        stillOpen = dialog.isVisible();
        listed = Entries(dialog);
        dialog.reject();
    });
    g_pMainView->OnLanguage();
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(listed, (std::vector<std::string> { "English" })) << "the list is filled again";
    EXPECT_EQ(BoxTexts(), (std::vector<std::string> { "Deutsch Language file open error." }));
    EXPECT_EQ(g_Language.GetText(8), "Open...");
    EXPECT_EQ(Stored(), "/earlier/choice.dic.txt");
    EXPECT_EQ(app.MainFrame()->menuBar()->actions()[0]->text().toStdString(), menuBefore);

    // A file whose name line went missing after listing fails in the loader, with its box.
    const QString broken = AddLanguage("Deutsch.dic.txt", "Deutsch", "T");
    boxes.Clear();
    g_pMainView->SetLanguageDialogRunner([&](CLanguageDlg& dialog) {
        dialog.show();
        SelectEntry(dialog, "Deutsch");
        WriteFile(broken, "0000=\"x\";\n");
        dialog.accept();
        stillOpen = dialog.isVisible();
        dialog.reject();
    });
    g_pMainView->OnLanguage();
    EXPECT_TRUE(stillOpen);
    EXPECT_FALSE(BoxTexts().empty());
    EXPECT_EQ(Stored(), "/earlier/choice.dic.txt");

    // Nothing selected: OK closes and stores nothing.
    QFile::remove(broken);
    boxes.Clear();
    g_pMainView->SetLanguageDialogRunner([&](CLanguageDlg& dialog) {
        dialog.show();
        dialog.List()->setCurrentRow(-1);
        dialog.accept();
        stillOpen = dialog.isVisible();
    });
    g_pMainView->OnLanguage();
    EXPECT_FALSE(stillOpen);
    EXPECT_EQ(boxes.Count(), 0u);
    EXPECT_EQ(Stored(), "/earlier/choice.dic.txt");

    // Cancel still puts the current texts on the header pane.
    g_LanguageTexts[HeaderModel::OptionTextNumber(HeaderOption::Read)] = "Lesen";
    g_pMainView->SetLanguageDialogRunner([](CLanguageDlg& dialog) {
        dialog.show();
        dialog.reject();
    });
    g_pMainView->OnLanguage();
    EXPECT_EQ(g_pView2Header->OptionBox(HeaderOption::Read)->text(), "Lesen");
}

// English, the built-in language, is offered with no language file at all; chosen, the built-in
// texts come back and stay after a restart. A file that names English stands in its place.
TEST_F(LanguageDialog, EnglishIsOfferedWithoutAFileAndTakesTheBuiltInTexts)
{
    CLanguageLoader::SaveLanguageSetting("");
    std::vector<std::string> listed;
    const auto choose = [&](const std::string& name) {
        g_pMainView->SetLanguageDialogRunner([&](CLanguageDlg& dialog) {
            dialog.show();
            listed = Entries(dialog);
            SelectEntry(dialog, name);
            Button(dialog, CLanguageDlg::IDC_OK)->click();
        });
        g_pMainView->OnLanguage();
    };
    const auto menuText
        = [](CTonrigApp& app) { return app.MainFrame()->Commands().Action(57601)->text().toStdString(); };
    {
        CTonrigApp app;
        ASSERT_TRUE(app.InitInstance(false));
        ASSERT_FALSE(QFileInfo::exists(Folder()));
        CLanguageDlg dialog;
        dialog.show();
        EXPECT_EQ(Entries(dialog), (std::vector<std::string> { "English" }));
        EXPECT_EQ(dialog.SelectedName(), "English");
        // Edit has no file to open, and says so.
        Button(dialog, CLanguageDlg::IDC_EDIT)->click();
        EXPECT_TRUE(opened.empty());
        EXPECT_EQ(BoxTexts(),
            (std::vector<std::string> {
                "English is built into the program and has no file to edit. Add makes a language file from it." }));
        dialog.reject();
        boxes.Clear();

        AddLanguage("Deutsch.dic.txt", "Deutsch", "T");
        choose("Deutsch");
        EXPECT_EQ(menuText(app), "T008\tCtl+O");
        choose("English");
        EXPECT_EQ(listed, (std::vector<std::string> { "Deutsch", "English" }));
        EXPECT_EQ(menuText(app), "Open...\tCtl+O");
        EXPECT_EQ(g_Language.GetText(8), "Open...");
        EXPECT_EQ(Stored(), "");
    }
    g_Language.Reset();
    g_DeviceLibrary.FreeAll();
    CTonrigApp restarted;
    ASSERT_TRUE(restarted.InitInstance(false));
    EXPECT_EQ(menuText(restarted), "Open...\tCtl+O");

    const QString mine = AddLanguage("Mine.dic.txt", "English", "M");
    choose("English");
    EXPECT_EQ(listed, (std::vector<std::string> { "Deutsch", "English" }));
    EXPECT_EQ(g_Language.GetText(8), "M008");
    EXPECT_EQ(Stored(), mine.toStdString());
    EXPECT_EQ(boxes.Count(), 0u) << testing::PrintToString(BoxTexts());

    // The name in another case stands in its place as well.
    QFile::remove(mine);
    const QString lower = AddLanguage("Lower.dic.txt", "english", "L");
    choose("english");
    EXPECT_EQ(listed, (std::vector<std::string> { "Deutsch", "english" }));
    EXPECT_EQ(g_Language.GetText(8), "L008");
    EXPECT_EQ(Stored(), lower.toStdString());
    EXPECT_EQ(boxes.Count(), 0u) << testing::PrintToString(BoxTexts());
}

// A stored language file that loads with a fault: the main window's log names the file and line.
TEST_F(LanguageDialog, AStoredFileWithAFaultIsLoggedAtTheStart)
{
    // The file ends inside its last text.
    const QString path = Folder() + "Cut.dic.txt";
    std::string text = LanguageText("Cut", "C");
    text.resize(text.size() - 4);
    WriteFile(path, QByteArray::fromStdString(text));
    CLanguageLoader::SaveLanguageSetting(path.toStdString());
    CTonrigApp app;
    ASSERT_TRUE(app.InitInstance(false));
    EXPECT_EQ(g_Language.GetText(8), "C008");
    const std::string warning = "#WARNING# " + path.toStdString() + ", line " + std::to_string(kLanguageTextCount + 2)
        + ": the last line is cut short";
    QTextDocument* log = g_pMainView->MessageLog().document();
    int found = 0;
    for (QTextBlock b = log->begin(); b.isValid(); b = b.next()) {
        if (b.text().toStdString() != warning)
            continue;
        ++found;
        EXPECT_EQ(b.begin().fragment().charFormat().foreground().color(), QColor(192, 96, 0));
    }
    EXPECT_EQ(found, 1) << g_pMainView->MessageLog().GetText();
    EXPECT_EQ(boxes.Count(), 0u) << testing::PrintToString(BoxTexts());
}

TEST_F(LanguageDialog, AddMakesANewFileFromTheTemplateOrSaysWhyNot)
{
    const QByteArray templateText = ReadFile(Template());
    struct Case {
        const char* name;
        std::function<void()> setup;
        const char* typed; // null: Cancel
        std::vector<std::string> boxes;
        bool created;
    };
    const std::string folder = Folder().toStdString();
    // Where a dangling link in the folder points: outside it, and never to be made.
    QTemporaryDir outside;
    const QString linkTarget = outside.filePath("elsewhere.txt");
    const std::string created = "New language file <Klingon.dic.txt> created, \r\n  you need to translate all text "
                                "string to your new lanuage and save it. \r\nPlease send a copy of it to "
                                "support@ostrand.example for the next software release. \r\n Click Edit button to "
                                "open the <Klingon.dic.txt>";
    const std::vector<Case> cases = {
        { "Cancel", nullptr, nullptr, {}, false },
        { "a new name", nullptr, "Klingon", { created }, true },
        { "a missing folder is made", [&] { QDir(Folder()).removeRecursively(); }, "Klingon", { created }, true },
        { "empty", nullptr, "", { "Invalid language name: " }, false },
        { "blanks", nullptr, "  ", { "Invalid language name:   " }, false },
        { "a path", nullptr, "a/b", { "Invalid language name: a/b" }, false },
        { "a backslash", nullptr, "a\\b", { "Invalid language name: a\\b" }, false },
        { "dot dot", nullptr, "..", { "Invalid language name: .." }, false },
        { "hidden", nullptr, ".x", { "Invalid language name: .x" }, false },
        { "a control character", nullptr, "a\tb", { "Invalid language name: a\tb" }, false },
        { "an existing language", [&] { AddLanguage("Klingon.dic.txt", "Klingon", "K"); }, "Klingon",
            { "Language file <Klingon.dic.txt> already exists." }, false },
        { "a dangling link",
            [&] {
                QDir().mkpath(Folder());
                ASSERT_TRUE(QFile::link(linkTarget, Folder() + "Klingon.dic.txt"));
            },
            // (the list, on opening, says it cannot read the link)
            "Klingon",
            { folder + "Klingon.dic.txt Language file open error.", "Language file <Klingon.dic.txt> already exists." },
            false },
        { "no template", [&] { QFile::remove(Template()); }, "Klingon", { "file open error: English.dic.txt" },
            false },
        { "a folder that cannot be written",
            [&] {
                QDir(Folder()).removeRecursively();
                WriteFile(Folder().chopped(1), "a file in the folder's place");
            },
            "Klingon", { "File open error: " + folder + "Klingon.dic.txt" }, false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(Folder()).removeRecursively();
        QFile::remove(Folder().chopped(1));
        WriteFile(Template(), templateText);
        AddLanguage("Deutsch.dic.txt", "Deutsch", "D");
        const QByteArray existing = LanguageText("Klingon", "K").c_str();
        if (c.setup)
            c.setup();
        boxes.Clear();
        CLanguageDlg dialog;
        dialog.show();
        dialog.SetInputRunner([&](CInputDlg& input) {
            input.show();
            if (!c.typed) {
                input.reject();
                return false;
            }
            input.findChild<QLineEdit*>(QString::number(CInputDlg::IDC_VALUE))->setText(c.typed);
            input.accept();
            return true;
        });
        dialog.OnAdd();
        EXPECT_EQ(BoxTexts(), c.boxes);
        const QString made = Folder() + "Klingon.dic.txt";
        if (c.created) {
            QByteArray expected;
            for (const QByteArray& line : templateText.split('\n')) {
                if (line.isEmpty())
                    continue;
                expected += (line.startsWith("LanguageName=") ? QByteArray("LanguageName=Klingon") : line) + "\r\n";
            }
            EXPECT_EQ(ReadFile(made), expected);
            EXPECT_EQ(dialog.SelectedName(), "Klingon");
            const bool folderWasMissing = std::string(c.name) == "a missing folder is made";
            const std::vector<std::string> entries = folderWasMissing
                ? std::vector<std::string> { "English", "Klingon" }
                : std::vector<std::string> { "Deutsch", "English", "Klingon" };
            EXPECT_EQ(Entries(dialog), entries);
        } else if (std::string(c.name) == "an existing language") {
            EXPECT_EQ(ReadFile(made), existing);
        } else {
            EXPECT_FALSE(QFileInfo::exists(made));
        }
        // Nothing was written outside the language folder.
        EXPECT_FALSE(QFileInfo::exists(linkTarget));
        EXPECT_TRUE(QDir(Folder() + "..").entryList({ "*.dic.txt", "b" }, QDir::Files).isEmpty());
    }
}

TEST_F(LanguageDialog, EditOpensTheSelectedFileWithTheDesktop)
{
    const QString path = AddLanguage("Deutsch.dic.txt", "Deutsch", "D");
    CLanguageDlg dialog;
    dialog.show();
    Button(dialog, CLanguageDlg::IDC_EDIT)->click();
    EXPECT_EQ(opened, (std::vector<std::string> { QUrl::fromLocalFile(path).toString().toStdString() }));
    EXPECT_EQ(boxes.Count(), 0u);

    // Without an editor the box names the editor tried and the file.
    openerWorks = false;
    dialog.OnEdit();
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text,
        "Couldn't create process\r\nThe desktop's text editor did not open " + path.toStdString() + ".");
    EXPECT_EQ(boxes.Boxes()[0].caption, "Tonrig");

    opened.clear();
    dialog.List()->setCurrentRow(-1);
    dialog.OnEdit();
    EXPECT_TRUE(opened.empty());
}

} // namespace
