// The small injectable services: message boxes, the desktop opener, trace, font faces, folders
// and resources.

#include "platform/FontFaces.h"
#include "platform/Folders.h"
#include "platform/MessageBox.h"
#include "platform/Process.h"
#include "platform/Resources.h"
#include "platform/Trace.h"
#include "platform/ui/QtServices.h"

#include "support/RecordingMessageBox.h"
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

namespace {

TEST(MessageBoxService, TheResponderRecordsEveryBoxAndAnswersFromItsScript)
{
    tonrig::test::RecordingMessageBox boxes(IDNO);
    boxes.QueueAnswer(IDYES);
    EXPECT_EQ(MessageBox("Are you sure?", "Erase", MB_YESNO | MB_ICONQUESTION), IDYES);
    int fromWorker = 0;
    std::thread worker([&] { fromWorker = MessageBox("USB connection lost!", "Error"); });
    worker.join();
    EXPECT_EQ(fromWorker, IDNO);
    EXPECT_EQ(MessageBox("plain"), IDNO);
    const auto recorded = boxes.Boxes();
    ASSERT_EQ(recorded.size(), 3u);
    EXPECT_EQ(recorded[0].text, "Are you sure?");
    EXPECT_EQ(recorded[0].caption, "Erase");
    EXPECT_EQ(recorded[0].type, MB_YESNO | MB_ICONQUESTION);
    EXPECT_EQ(recorded[1].caption, "Error");
    EXPECT_EQ(recorded[2].caption, "Tonrig");
}

TEST(MessageBoxService, WithoutAServiceTheFirstButtonAnswers)
{
    EXPECT_EQ(MessageBox("x", "y", MB_YESNOCANCEL), IDYES);
    EXPECT_EQ(MessageBox("x", "y", MB_OKCANCEL), IDOK);
}

TEST(MessageBoxService, TheProgramsBoxesShowMarkupAsPlainText)
{
    platform::InstallQtMessageBoxes();
    Qt::TextFormat format = Qt::AutoText;
    QString shown;
    // The box is modal: look at it from the event loop, then close it.
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        format = box->textFormat();
        shown = box->text();
        box->accept();
    });
    MessageBox("<b>Thank you</b>");
    platform::SetMessageBoxService({});
    EXPECT_EQ(format, Qt::PlainText);
    EXPECT_EQ(shown, "<b>Thank you</b>");
}

TEST(DesktopOpener, AnswersNotAvailableUntilOneIsInstalled)
{
    platform::SetDesktopOpener({});
    EXPECT_FALSE(platform::OpenWithDesktop("https://example.org").ok);
    EXPECT_EQ(platform::OpenWithDesktop("x").reason, "not available on this system");
    std::string opened;
    platform::SetDesktopOpener([&](const std::string& t) {
        opened = t;
        return platform::OpenResult{true, {}};
    });
    EXPECT_TRUE(platform::OpenWithDesktop("/tmp").ok);
    EXPECT_EQ(opened, "/tmp");
    platform::SetDesktopOpener({});
}

TEST(Process, RunsWithAnArgumentListNeverAShellLine)
{
    const auto result = platform::RunProcess("/bin/echo", {"a b", "$HOME;", "c"});
    ASSERT_TRUE(result.started);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.output, "a b $HOME; c\n");
    EXPECT_FALSE(platform::RunProcess("/nonexistent/program", {}).started);
}

TEST(Trace, FormatsLinesIntoTheSink)
{
    std::vector<std::string> lines;
    platform::SetTraceSink([&](const std::string& l) { lines.push_back(l); });
    Trace("->[***%s***]\n", "P_VERSION");
    Trace(" and %d bytes read\n", 64);
    platform::SetTraceSink({});
    EXPECT_EQ(lines, (std::vector<std::string>{"->[***P_VERSION***]\n", " and 64 bytes read\n"}));
}

TEST(FontFaces, WindowsFacesMapToInstalledOnes)
{
    EXPECT_EQ(platform::SubstituteFontFace("Fixedsys"), "DejaVu Sans Mono");
    EXPECT_EQ(platform::SubstituteFontFace("COURIER NEW"), "DejaVu Sans Mono");
    EXPECT_EQ(platform::SubstituteFontFace("MS Sans Serif"), "DejaVu Sans");
    EXPECT_EQ(platform::SubstituteFontFace("OUTLOOK"), "DejaVu Sans");
    EXPECT_EQ(platform::SubstituteFontFace("Times New Roman"), "DejaVu Serif");
    EXPECT_EQ(platform::SubstituteFontFace("Noto Sans"), "Noto Sans");
    EXPECT_EQ(platform::MakeFont("Fixedsys", 7).family(), "DejaVu Sans Mono");
    EXPECT_EQ(platform::MakeFont("No Such Face", 9).family(), "DejaVu Sans");
}

TEST(Colours, ColorrefIsBgrAndRoundTripsThroughQColor)
{
    static_assert(RGB(0x12, 0x34, 0x56) == 0x00563412);
    EXPECT_EQ(platform::ToQColor(0x0000FF), QColor(255, 0, 0));
    EXPECT_EQ(platform::ToQColor(0xFF0000), QColor(0, 0, 255));
    EXPECT_EQ(platform::FromQColor(QColor(0xEB, 0xFF, 0xEB)), 0xEBFFEBu);
}

class AppDataFolder : public testing::Test {
protected:
    void SetUp() override
    {
        m_saved = {Get("APPDATA"), Get("XDG_DATA_HOME"), Get("HOME")};
    }
    void TearDown() override
    {
        Set("APPDATA", m_saved[0]);
        Set("XDG_DATA_HOME", m_saved[1]);
        Set("HOME", m_saved[2]);
    }
    static std::string Get(const char* name)
    {
        const char* v = std::getenv(name);
        return v ? v : std::string("\x01");
    }
    static void Set(const char* name, const std::string& value)
    {
        if (value == "\x01")
            unsetenv(name);
        else
            setenv(name, value.c_str(), 1);
    }
    QTemporaryDir m_dir;
    std::vector<std::string> m_saved;
};

TEST_F(AppDataFolder, HonoursAppDataThenXdgAndCreatesTheFolder)
{
    const std::string base = m_dir.path().toStdString();
    setenv("APPDATA", (base + "/roaming/").c_str(), 1);
    EXPECT_EQ(GetAppDataFolder(), base + "/roaming/Ostrand/Zelvo USB Programmer");
    EXPECT_TRUE(FileExists(base + "/roaming/Ostrand/Zelvo USB Programmer"));

    unsetenv("APPDATA");
    setenv("XDG_DATA_HOME", (base + "/xdg").c_str(), 1);
    EXPECT_EQ(GetAppDataFolder(), base + "/xdg/Ostrand/Zelvo USB Programmer");

    unsetenv("XDG_DATA_HOME");
    setenv("HOME", (base + "/home").c_str(), 1);
    EXPECT_EQ(GetAppDataFolder(), base + "/home/.local/share/Ostrand/Zelvo USB Programmer");
}

TEST_F(AppDataFolder, NeverLandsAtTheRootOfTheFileSystem)
{
    unsetenv("APPDATA");
    unsetenv("XDG_DATA_HOME");
    setenv("HOME", "/", 1);
    const std::string folder = GetAppDataFolder();
    EXPECT_NE(folder.rfind("/Ostrand", 0), 0u);
    EXPECT_EQ(folder.back(), 'r');
}

TEST_F(AppDataFolder, FileExistsTakesFoldersAndWildCards)
{
    const QString base = m_dir.path();
    QFile(base + "/devices.txt").open(QIODevice::WriteOnly);
    EXPECT_TRUE(FileExists(base.toStdString()));
    EXPECT_TRUE(FileExists((base + "/devices.txt").toStdString()));
    EXPECT_TRUE(FileExists((base + "/*.txt").toStdString()));
    EXPECT_FALSE(FileExists((base + "/*.hex").toStdString()));
    EXPECT_FALSE(FileExists(""));
}

TEST_F(AppDataFolder, AResourceFileInTheDataFolderOverridesTheBuiltInOne)
{
    setenv("APPDATA", m_dir.path().toStdString().c_str(), 1);
    EXPECT_FALSE(platform::LoadResource("DATAF", 99999).has_value());
    const QString folder = QString::fromStdString(GetAppDataFolder()) + "/Resources/DATAF";
    QDir().mkpath(folder);
    QFile file(folder + "/99999");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(":00000001FF\r\n");
    file.close();
    EXPECT_EQ(platform::LoadResource("DATAF", 99999), QByteArray(":00000001FF\r\n"));
}

} // namespace
