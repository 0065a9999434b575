// The web requests on the program's own main frame and view, against a small HTTP server on the
// loopback: the new-device request from the menus and the selection dialog, the warranty
// registration, the time-out on the manual clock, and the user folder.

#include "shell/WebRequest.h"

#include "catalogue/DeviceLibrary.h"
#include "catalogue/DeviceLists.h"
#include "catalogue/ui/DeviceSelectDlg.h"
#include "operations/OperationState.h"
#include "operations/ui/TonrigView.h"
#include "platform/Clock.h"
#include "platform/Folders.h"
#include "platform/Process.h"
#include "platform/net/WebPost.h"
#include "shell/RegistryKey.h"
#include "shell/ui/ChipRequestDlg.h"
#include "shell/ui/MainFrame.h"
#include "shell/ui/TonrigApp.h"
#include "shell/ui/UserRegisterDlg.h"
#include "support/RecordingMessageBox.h"
#include "support/TestEnvironment.h"

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>

using namespace std::chrono_literals;
using tonrig::test::ProcessEventsUntil;

namespace {

constexpr const char* kSettingsKey = "Software\\Zelvo USB Programmer\\Settings";
constexpr const char* kBody = "<RequestStockPrice Symbol=''/>";

// An HTTP server on 127.0.0.1 that records each request and answers as told: a status line and a
// text, or nothing at all. With `missing` the length it gives is that much longer than the text
// it sends before it closes.
class LoopbackHttpServer : public QObject {
public:
    struct Request {
        std::string method;
        std::string target; // the raw path with its query
        std::map<std::string, std::string> headers; // names in lower case
        std::string body;
    };
    LoopbackHttpServer()
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                socket->setParent(this);
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { Read(socket); });
            }
        });
        m_server.listen(QHostAddress::LocalHost, 0);
    }
    std::string Address() const { return "http://127.0.0.1:" + std::to_string(m_server.serverPort()) + "/"; }

    int status = 200;
    std::string reason = "OK";
    std::string text = "Thank you";
    bool silent = false;
    std::size_t missing = 0;
    std::vector<Request> requests;

private:
    void Read(QTcpSocket* socket)
    {
        QByteArray& data = m_pending[socket];
        data += socket->readAll();
        const qsizetype end = data.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        Request request;
        const QList<QByteArray> lines = data.left(end).split('\n');
        const QList<QByteArray> first = lines[0].trimmed().split(' ');
        if (first.size() >= 2) {
            request.method = first[0].toStdString();
            request.target = first[1].toStdString();
        }
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon > 0)
                request.headers[lines[i].left(colon).trimmed().toLower().toStdString()]
                    = lines[i].mid(colon + 1).trimmed().toStdString();
        }
        const auto length = request.headers.count("content-length")
            ? std::stoul(request.headers["content-length"])
            : 0ul;
        if (static_cast<std::size_t>(data.size() - end - 4) < length)
            return;
        request.body = data.mid(end + 4, static_cast<qsizetype>(length)).toStdString();
        m_pending.erase(socket);
        requests.push_back(request);
        if (silent)
            return;
        const std::string answer = "HTTP/1.1 " + std::to_string(status) + " " + reason
            + "\r\nContent-Type: text/plain\r\nConnection: close\r\nContent-Length: "
            + std::to_string(text.size() + missing)
            + "\r\n\r\n" + text;
        socket->write(answer.c_str(), static_cast<qint64>(answer.size()));
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    std::map<QTcpSocket*, QByteArray> m_pending;
};

// The part number of a request's target: its third field.
std::string Field(const std::string& target, int index)
{
    const std::size_t query = target.find("?id=");
    if (query == std::string::npos)
        return {};
    const QList<QByteArray> parts = QByteArray::fromStdString(target.substr(query + 4)).split('+');
    return index < parts.size() ? QByteArray::fromPercentEncoding(parts[index]).toStdString() : std::string();
}

class WebRequests : public testing::Test {
protected:
    void SetUp() override
    {
        g_DeviceLibrary.FreeAll();
        // Only the test moves time, so the time-out falls due exactly when the test says.
        clock->SetAutoAdvance(false);
        platform::SetDesktopOpener([this](const std::string& url) {
            opened.push_back(url);
            return platform::OpenResult { openerWorks, openerWorks ? "" : "no desktop" };
        });
        SetServer(server.Address());
        ASSERT_TRUE(app.InitInstance(false));
        view = g_pMainView;
        ASSERT_NE(view, nullptr);
        view->m_strHardwareVersion = "ZV-CQ Re-2.00";
        view->m_strHardwareSerial = "AB12CD34EF";
        g_nOperationState = kStateIdle;
        boxes.Clear();
    }
    void TearDown() override
    {
        platform::SetDesktopOpener({});
        g_nOperationState = kStateIdle;
        // Nothing may outlive the test's server.
        EXPECT_TRUE(ProcessEventsUntil([] { return platform::RunningWebRequests() == 0; }, 5s));
    }
    static void SetServer(const std::string& address)
    {
        CRegistryKey key(HKEY_CURRENT_USER);
        ASSERT_TRUE(key.Create(HKEY_CURRENT_USER, kSettingsKey));
        if (address.empty())
            key.DeleteValue("WebServer");
        else
            ASSERT_TRUE(key.WriteString("WebServer", address));
    }
    // The request form answers with these fields (OK) or with Cancel.
    void AnswerForm(bool ok, std::string part, std::string link = {}, std::string application = {})
    {
        view->SetChipRequestRunner([=, this](CChipRequestDlg& dialog) {
            ++forms;
            dialog.show();
            static_cast<QLineEdit*>(dialog.GetDlgItem(CChipRequestDlg::IDC_PART_NUMBER))->setText(
                QString::fromStdString(part));
            static_cast<QLineEdit*>(dialog.GetDlgItem(CChipRequestDlg::IDC_DATASHEET_LINK))->setText(
                QString::fromStdString(link));
            static_cast<QLineEdit*>(dialog.GetDlgItem(CChipRequestDlg::IDC_APPLICATION))->setText(
                QString::fromStdString(application));
            if (ok)
                dialog.accept();
            else
                dialog.reject();
            return ok;
        });
    }
    bool Execute(UINT id) { return app.MainFrame()->Commands().Execute(id); }
    // The boxes of the web requests: the program's own search for a programmer may add its box
    // whenever a test moves the clock far (it has a caption of its own).
    std::vector<std::string> RequestBoxes() const
    {
        std::vector<std::string> out;
        for (const auto& b : boxes.Boxes())
            if (b.caption == platform::kAppTitle)
                out.push_back(b.text);
        return out;
    }
    bool WaitForBoxes(std::size_t n)
    {
        return ProcessEventsUntil([&] { return RequestBoxes().size() >= n; }, 10s);
    }
    bool WaitForRequests(std::size_t n)
    {
        return ProcessEventsUntil([&] { return server.requests.size() >= n; }, 10s);
    }
    // Lets the event loop run for a while with nothing expected.
    static void Idle(std::chrono::milliseconds time = 300ms)
    {
        ProcessEventsUntil([] { return false; }, time);
    }
    std::vector<std::string> BoxTexts() const
    {
        std::vector<std::string> out;
        for (const auto& b : boxes.Boxes())
            out.push_back(b.text + " | " + b.caption);
        return out;
    }
    std::string LastBox() const
    {
        const std::vector<std::string> all = RequestBoxes();
        return all.empty() ? std::string() : all.back();
    }

    tonrig::test::ScopedSettingsFile settings;
    tonrig::test::RecordingMessageBox boxes;
    std::shared_ptr<platform::ManualClock> clock = std::make_shared<platform::ManualClock>();
    platform::ScopedClock scoped { clock };
    LoopbackHttpServer server;
    CTonrigApp app;
    CTonrigView* view = nullptr;
    std::vector<std::string> opened;
    bool openerWorks = true;
    int forms = 0;
};

TEST_F(WebRequests, TheMenusAskForANewChipAndShowTheServersAnswer)
{
    // Cancel, or OK without a part number: nothing is sent.
    for (bool ok : { false, true }) {
        AnswerForm(ok, ok ? "" : "27C256");
        ASSERT_TRUE(Execute(32975));
    }
    Idle();
    EXPECT_TRUE(server.requests.empty());
    EXPECT_EQ(boxes.Count(), 0u) << testing::PrintToString(BoxTexts());

    // OK: one POST, and the command returns before the server has answered.
    AnswerForm(true, "27C 256", "", "");
    server.text = "Request received";
    ASSERT_TRUE(Execute(32974));
    EXPECT_EQ(boxes.Count(), 0u);
    EXPECT_EQ(platform::RunningWebRequests(), 1);
    ASSERT_TRUE(WaitForBoxes(1));
    ASSERT_EQ(server.requests.size(), 1u);
    const LoopbackHttpServer::Request& request = server.requests[0];
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.headers.at("content-type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(request.body, kBody);
    EXPECT_EQ(request.target.rfind("/K5150NewDeviceRequest.asp?id=ZV-CQ_Re-2.00+AB12CD34EF+27C_256+-+-+20", 0), 0u)
        << request.target;
    EXPECT_EQ(request.target.find(' '), std::string::npos);
    EXPECT_EQ(boxes.Boxes()[0].text, "Request received");
    EXPECT_EQ(boxes.Boxes()[0].caption, platform::kAppTitle);
    EXPECT_EQ(g_RequestUrl.rfind(server.Address() + "K5150NewDeviceRequest.asp?id=ZV-CQ_Re-2.00+AB12CD34EF+27C_256+-+-+20", 0), 0u)
        << g_RequestUrl;

    // A server error.
    server.status = 500;
    server.reason = "Internal Server Error";
    ASSERT_TRUE(Execute(32975));
    ASSERT_TRUE(WaitForBoxes(2));
    EXPECT_EQ(LastBox(), "New device request fail!");

    // The reason phrase "OK" counts as success whatever the status.
    server.status = 202;
    server.reason = "OK";
    server.text = "Queued";
    ASSERT_TRUE(Execute(32975));
    ASSERT_TRUE(WaitForBoxes(3));
    EXPECT_EQ(LastBox(), "Queued");

    // A long answer shows its first 4 KiB, cut between characters.
    const QString e = QString(QChar(0xE9));
    server.text = ("a" + e.repeated(3000)).toStdString();
    ASSERT_TRUE(Execute(32975));
    ASSERT_TRUE(WaitForBoxes(4));
    EXPECT_EQ(LastBox(), ("a" + e.repeated(2047)).toStdString() + "...");
    server.text = std::string(4096, 'b');
    ASSERT_TRUE(Execute(32975));
    ASSERT_TRUE(WaitForBoxes(5));
    EXPECT_EQ(LastBox(), server.text);

    // A body cut short of its length is no answer, whatever the status line said.
    server.status = 200;
    server.text = "Request rec";
    server.missing = 100;
    ASSERT_TRUE(Execute(32975));
    ASSERT_TRUE(WaitForBoxes(6));
    EXPECT_EQ(LastBox(), "Make sure your web server is running");
}

TEST_F(WebRequests, AnEmptySerialIsSentAndKeptAsTenZerosAndTwoRequestsKeepTheirOwnFields)
{
    view->m_strHardwareSerial.clear();
    view->m_strHardwareVersion.clear();
    AnswerForm(true, "AT28C64");
    ASSERT_TRUE(Execute(32975));
    EXPECT_EQ(view->m_strHardwareSerial, "0000000000");
    AnswerForm(true, "W27C512 & co #2");
    ASSERT_TRUE(Execute(32975));
    ASSERT_TRUE(WaitForBoxes(2));
    ASSERT_EQ(server.requests.size(), 2u);
    std::vector<std::string> parts;
    for (const auto& request : server.requests) {
        EXPECT_EQ(Field(request.target, 0), "DemoRe._7.41");
        EXPECT_EQ(Field(request.target, 1), "0000000000");
        parts.push_back(Field(request.target, 2));
    }
    std::sort(parts.begin(), parts.end());
    EXPECT_EQ(parts, (std::vector<std::string> { "AT28C64", "W27C512_&_co_#2" }));
    EXPECT_NE(g_RequestUrl.find("id=DemoRe._7.41+0000000000+W27C512_&_co_#2+-+-+20"), std::string::npos) << g_RequestUrl;
}

TEST_F(WebRequests, AServerThatCannotBeReachedOrNeverAnswersEndsInTheSameBox)
{
    // A closed port.
    {
        QTcpServer closed;
        ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
        const quint16 port = closed.serverPort();
        closed.close();
        SetServer("http://127.0.0.1:" + std::to_string(port));
    }
    AnswerForm(true, "27C256");
    ASSERT_TRUE(Execute(32975));
    ASSERT_TRUE(WaitForBoxes(1));
    EXPECT_EQ(LastBox(), "Make sure your web server is running");

    // A server that takes the request and keeps quiet: the window goes on, and the request ends
    // exactly 30 s after it started.
    SetServer(server.Address());
    server.silent = true;
    ASSERT_TRUE(Execute(32975));
    ASSERT_TRUE(WaitForRequests(1));
    clock->Advance(29s);
    Idle();
    EXPECT_EQ(RequestBoxes().size(), 1u) << testing::PrintToString(BoxTexts());
    EXPECT_EQ(platform::RunningWebRequests(), 1);
    clock->Advance(1s);
    ASSERT_TRUE(WaitForBoxes(2));
    EXPECT_EQ(LastBox(), "Make sure your web server is running");
    EXPECT_EQ(platform::RunningWebRequests(), 0);
    // A time-out that falls due after its request ended does nothing.
    server.silent = false;
    ASSERT_TRUE(Execute(32975));
    ASSERT_TRUE(WaitForBoxes(3));
    EXPECT_EQ(LastBox(), "Thank you");
    clock->Advance(31s); // (the start-up's own search for a programmer may speak up by now)
    Idle();
    const auto unreachable = [&] {
        const auto all = boxes.Boxes();
        return std::count_if(all.begin(), all.end(), [](const auto& b) { return b.text == web_texts::kUnreachable; });
    };
    EXPECT_EQ(unreachable(), 2) << testing::PrintToString(BoxTexts());
}

TEST_F(WebRequests, WithoutAServerEveryEntryPointSaysSoAndOpensNoForm)
{
    SetServer("");
    AnswerForm(true, "27C256");
    int registerForms = 0;
    view->SetUserRegisterRunner([&](CUserRegisterDlg&) { ++registerForms; });
    for (UINT id : { 32974u, 32975u, 32952u }) {
        QAction* action = app.MainFrame()->Commands().Action(id);
        ASSERT_NE(action, nullptr) << id;
        EXPECT_TRUE(action->isEnabled()) << id;
        ASSERT_TRUE(Execute(id)) << id;
    }
    CDeviceSelectDlg select;
    select.OnInitDialog();
    auto* request = static_cast<QPushButton*>(select.GetDlgItem(CDeviceSelectDlg::IDC_REQUEST));
    ASSERT_TRUE(request->isEnabled());
    request->click();
    Idle();
    EXPECT_EQ(boxes.Count(), 4u);
    for (const auto& box : boxes.Boxes())
        EXPECT_EQ(box.text, "No web server is set for requests (settings value \"WebServer\"); nothing was sent.");
    EXPECT_EQ(forms, 0);
    EXPECT_EQ(registerForms, 0);
    EXPECT_TRUE(server.requests.empty());
}

TEST_F(WebRequests, TheSelectionDialogsButtonSendsTheSameRequestAndTheDialogStaysAsItWas)
{
    ASSERT_FALSE(g_DeviceRecords.empty());
    CDeviceSelectDlg select;
    select.OnInitDialog();
    select.show();
    auto* devices = static_cast<QListView*>(select.GetDlgItem(CDeviceSelectDlg::IDC_DEVICES));
    devices->setCurrentIndex(devices->model()->index(2, 0));
    const int row = devices->currentIndex().row();
    const int selected = select.m_nSelectedClass;
    QWidget* formParent = nullptr;
    view->SetChipRequestRunner([&](CChipRequestDlg& dialog) {
        formParent = dialog.parentWidget();
        static_cast<QLineEdit*>(dialog.GetDlgItem(CChipRequestDlg::IDC_PART_NUMBER))->setText("SST39VF040");
        dialog.accept();
        return true;
    });
    static_cast<QPushButton*>(select.GetDlgItem(CDeviceSelectDlg::IDC_REQUEST))->click();
    EXPECT_EQ(formParent, &select);
    ASSERT_TRUE(WaitForBoxes(1));
    ASSERT_EQ(server.requests.size(), 1u);
    EXPECT_EQ(server.requests[0].method, "POST");
    EXPECT_EQ(server.requests[0].body, kBody);
    EXPECT_EQ(Field(server.requests[0].target, 2), "SST39VF040");
    EXPECT_TRUE(select.isVisible());
    EXPECT_EQ(select.m_bCancelled, 1);
    EXPECT_EQ(devices->currentIndex().row(), row);
    EXPECT_EQ(select.m_nSelectedClass, selected);
}

TEST_F(WebRequests, RegistrationChecksTheFormSendsItAndStaysOpen)
{
    struct Case {
        const char* name;
        int state;
        const char* email;
        const char* country;
        bool updates;
        int status;
        std::size_t missing; // bytes the answer falls short of its length
        bool sent;
        std::string answer; // the server's text
        std::string box;
    };
    const Case cases[] = {
        { "not connected", kStateDisconnected, "me@x.example", "NZ", true, 200, 0, false, "Registered",
            "Please connect the programmer!" },
        { "no country", kStateIdle, "me@x.example", "", true, 200, 0, false, "Registered",
            "eMail and Country needed." },
        { "no e-mail", kStateIdle, "", "NZ", true, 200, 0, false, "Registered", "eMail and Country needed." },
        { "updates wanted", kStateIdle, "me@x.example", "New Zealand", true, 200, 0, true, "Registered",
            "Registered" },
        { "no updates", kStateIdle, "me@x.example", "NZ", false, 200, 0, true, "Registered", "Registered" },
        { "refused", kStateIdle, "me@x.example", "NZ", true, 403, 0, true, "Registered",
            "Registration failed (HTTP 403).\r\nRegistered" },
        { "a long answer shows its first 4 KiB", kStateIdle, "me@x.example", "NZ", true, 403, 0, true,
            std::string(5000, 'r'), "Registration failed (HTTP 403).\r\n" + std::string(4096, 'r') + "..." },
        { "cut short", kStateIdle, "me@x.example", "NZ", true, 200, 100, true, "Registered",
            "Make sure your web server is running" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.text = c.answer;
        boxes.Clear();
        server.requests.clear();
        server.status = c.status;
        server.missing = c.missing;
        server.reason = c.status == 200 ? "OK" : "Forbidden";
        g_nOperationState = c.state;
        bool checkedAtOpening = false;
        bool openAfterRegister = false;
        view->SetUserRegisterRunner([&](CUserRegisterDlg& dialog) {
            dialog.show();
            EXPECT_EQ(dialog.windowTitle(), "Dialog");
            EXPECT_EQ(dialog.TemplateId(), 402);
            auto* updates = static_cast<QCheckBox*>(dialog.GetDlgItem(CUserRegisterDlg::IDC_UPDATES));
            checkedAtOpening = updates->isChecked();
            EXPECT_EQ(updates->text(), "Send me new version software \nand prodct update");
            static_cast<QLineEdit*>(dialog.GetDlgItem(CUserRegisterDlg::IDC_EMAIL))->setText(c.email);
            static_cast<QLineEdit*>(dialog.GetDlgItem(CUserRegisterDlg::IDC_COUNTRY))->setText(c.country);
            updates->setChecked(c.updates);
            static_cast<QPushButton*>(dialog.GetDlgItem(CUserRegisterDlg::IDC_REGISTER))->click();
            EXPECT_TRUE(WaitForBoxes(1));
            openAfterRegister = dialog.isVisible();
            static_cast<QPushButton*>(dialog.GetDlgItem(CUserRegisterDlg::IDC_CANCEL))->click();
        });
        ASSERT_TRUE(Execute(32952));
        EXPECT_TRUE(checkedAtOpening);
        EXPECT_TRUE(openAfterRegister);
        ASSERT_EQ(boxes.Count(), 1u) << testing::PrintToString(BoxTexts());
        EXPECT_EQ(boxes.Boxes()[0].text, c.box);
        EXPECT_EQ(boxes.Boxes()[0].caption, platform::kAppTitle);
        ASSERT_EQ(server.requests.size(), c.sent ? 1u : 0u);
        if (!c.sent)
            continue;
        const auto& request = server.requests[0];
        EXPECT_EQ(request.method, "POST");
        EXPECT_EQ(request.body, kBody);
        EXPECT_EQ(request.headers.at("content-type"), "application/x-www-form-urlencoded");
        EXPECT_EQ(request.target.rfind("/UserRegister.asp?id=ZV-CQ_Re-2.00+AB12CD34EF+", 0), 0u) << request.target;
        EXPECT_EQ(Field(request.target, 2), c.email);
        EXPECT_EQ(Field(request.target, 3), c.country == std::string("New Zealand") ? "New_Zealand" : c.country);
        EXPECT_EQ(Field(request.target, 4), c.updates ? "YES" : "NO");
        EXPECT_EQ(g_RegisterUrl.rfind(server.Address() + "UserRegister.asp?id=ZV-CQ_Re-2.00+AB12CD34EF+" + c.email, 0),
            0u)
            << g_RegisterUrl;
    }
}

TEST_F(WebRequests, UserFolderOpensTheDataFolderInTheDesktop)
{
    // A data folder that does not exist yet.
    QTemporaryDir root;
    struct ScopedAppData {
        QByteArray previous = qgetenv("APPDATA");
        ~ScopedAppData() { qputenv("APPDATA", previous); }
    } restore;
    qputenv("APPDATA", (root.path() + "/fresh").toUtf8());
    const QString folder = QString::fromStdString(GetAppDataFolder());
    EXPECT_TRUE(folder.startsWith(root.path())) << folder.toStdString();
    QDir(root.path() + "/fresh").removeRecursively();
    ASSERT_FALSE(QDir(folder).exists());
    ASSERT_TRUE(Execute(32976));
    EXPECT_TRUE(QDir(folder).exists());
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(QUrl(QString::fromStdString(opened[0])), QUrl::fromLocalFile(folder));
    openerWorks = false;
    ASSERT_TRUE(Execute(32976));
    EXPECT_NE(view->MessageLog().GetText().find("Could not open the folder " + folder.toStdString()), std::string::npos)
        << view->MessageLog().GetText();
}

} // namespace
