// The view's web requests (the new-chip request, the warranty registration) and the user folder.

#include "operations/ui/TonrigView.h"

#include "operations/OperationState.h"
#include "platform/Folders.h"
#include "platform/MessageBox.h"
#include "platform/Process.h"
#include "platform/TextFormat.h"
#include "platform/net/WebPost.h"
#include "shell/WebRequest.h"
#include "shell/ui/ChipRequestDlg.h"
#include "shell/ui/UserRegisterDlg.h"

#include <QDateTime>
#include <QUrl>

namespace {

constexpr std::chrono::milliseconds kRequestTimeout { 30000 };

RequestTime Now()
{
    const QDateTime now = QDateTime::currentDateTime();
    return { now.date().year(), now.date().month(), now.date().day(), now.time().hour(), now.time().minute(),
        now.time().second() };
}

// A server's text as a box shows it: at most 4 KiB of it, cut between characters, with "..." to
// say there was more.
std::string ServerText(const QByteArray& body)
{
    constexpr qsizetype kMaxBytes = 4096;
    if (body.size() <= kMaxBytes)
        return QString::fromUtf8(body).toStdString();
    qsizetype end = kMaxBytes;
    while (end > 0 && (static_cast<unsigned char>(body[end]) & 0xC0) == 0x80)
        --end;
    return QString::fromUtf8(body.left(end)).toStdString() + "...";
}

// Starts the POST of `address`; `answered` gets the server's answer, a failure to reach it shows
// its box. False, with the no-server box, when the address is no URL.
bool Post(const std::string& address, std::function<void(const platform::WebReply&)> answered)
{
    const QUrl url = QUrl::fromEncoded(QByteArray::fromStdString(address), QUrl::StrictMode);
    if (!url.isValid()) {
        MessageBox(web_texts::kNoServer);
        return false;
    }
    platform::WebPostRequest request;
    request.url = url;
    request.contentType = "application/x-www-form-urlencoded";
    request.body = "<RequestStockPrice Symbol=''/>";
    request.timeout = kRequestTimeout;
    platform::PostWebRequest(request, [answered = std::move(answered)](const platform::WebReply& reply) {
        if (!reply.answered)
            MessageBox(web_texts::kUnreachable);
        else
            answered(reply);
    });
    return true;
}

} // namespace

void CTonrigView::OnNewChipSupportRequest()
{
    RequestNewChip(this);
}

void CTonrigView::OnNewDeviceRequest()
{
    RequestNewChip(this);
}

void CTonrigView::RequestNewChip(QWidget* parent)
{
    const std::string server = ConfiguredWebServer();
    if (server.empty()) {
        MessageBox(web_texts::kNoServer);
        return;
    }
    CChipRequestDlg dialog(parent);
    const bool ok = m_runChipRequest ? m_runChipRequest(dialog) : dialog.exec() == QDialog::Accepted;
    if (!ok || dialog.m_strPartNumber.empty())
        return;
    if (m_strHardwareSerial.empty())
        m_strHardwareSerial = "0000000000";
    const WebRequest request = BuildNewDeviceRequest(server, RequestIdentity(m_strHardwareVersion, g_nOperationState),
        m_strHardwareSerial, dialog.m_strPartNumber, dialog.m_strDatasheetLink, dialog.m_strApplication, Now());
    g_RequestUrl = request.text;
    PostNewDeviceRequest(request.address);
}

void CTonrigView::PostNewDeviceRequest(const std::string& address)
{
    Post(address, [](const platform::WebReply& reply) {
        if (reply.status == 200 || reply.reason == "OK")
            MessageBox(ServerText(reply.body));
        else
            MessageBox(web_texts::kNewDeviceFailed);
    });
}

void CTonrigView::OnWarrantyRegister()
{
    const std::string server = ConfiguredWebServer();
    if (server.empty()) {
        MessageBox(web_texts::kNoServer);
        return;
    }
    CUserRegisterDlg dialog(this);
    dialog.SetRegisterAction([this, server](const std::string& email, const std::string& country, bool updates) {
        const WebRequest request = BuildRegistrationRequest(server,
            RequestIdentity(m_strHardwareVersion, g_nOperationState), m_strHardwareSerial, email, country, updates,
            Now());
        g_RegisterUrl = request.text;
        PostRegistration(request.address);
    });
    // Nothing depends on how the form ended.
    if (m_runUserRegister)
        m_runUserRegister(dialog);
    else
        dialog.exec();
}

void CTonrigView::PostRegistration(const std::string& address)
{
    Post(address, [](const platform::WebReply& reply) {
        const std::string text = ServerText(reply.body);
        if (reply.status == 200)
            MessageBox(text);
        else
            MessageBox(platform::Format(web_texts::kRegistrationFailed, reply.status) + text);
    });
}

void CTonrigView::OnUserFolder()
{
    const std::string folder = GetAppDataFolder();
    const std::string url = QUrl::fromLocalFile(QString::fromStdString(folder)).toString().toStdString();
    if (!platform::OpenWithDesktop(url).ok)
        Log(platform::Format(web_texts::kFolderFailed, folder.c_str()) + "\r\n", kLogError);
}
