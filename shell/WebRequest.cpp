#include "shell/WebRequest.h"

#include "platform/TextFormat.h"
#include "shell/ProgramInfo.h"
#include "shell/RegistryKey.h"

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <initializer_list>

std::string g_RequestUrl;
std::string g_RegisterUrl;

namespace {

constexpr const char* kSettingsKey = "Software\\Zelvo USB Programmer\\Settings";

std::string Blanks(std::string text)
{
    std::replace(text.begin(), text.end(), ' ', '_');
    return text;
}

std::string Encoded(const std::string& text, const QByteArray& keep = {})
{
    return QByteArray::fromStdString(text).toPercentEncoding(keep).toStdString();
}

// The page and its fields: the recorded text and the encoded address.
WebRequest Build(const std::string& server, const char* page, std::initializer_list<std::string> fields,
    const RequestTime& time)
{
    WebRequest request;
    request.text = server + page;
    request.address = request.text;
    for (const std::string& field : fields) {
        request.text += field + "+";
        request.address += Encoded(Blanks(field)) + "+";
    }
    request.text = Blanks(request.text);
    const std::string stamp = FormatRequestTime(time);
    request.text += stamp;
    request.address += Encoded(stamp, ":");
    return request;
}

} // namespace

std::string RequestIdentity(const std::string& hardwareVersion, int operationState)
{
    if (hardwareVersion.empty())
        return std::string("Demo") + kProgramRevision;
    if (operationState == 0)
        return std::string("Offline") + kProgramRevision;
    return hardwareVersion;
}

std::string FormatRequestTime(const RequestTime& time)
{
    return platform::Format("20%02d-%02d-%02d %02d:%02d:%02d", time.year - 2000, time.month, time.day, time.hour,
        time.minute, time.second);
}

WebRequest BuildNewDeviceRequest(const std::string& server, const std::string& identity, const std::string& serial,
    const std::string& partNumber, const std::string& datasheetLink, const std::string& application,
    const RequestTime& time)
{
    return Build(server, "K5150NewDeviceRequest.asp?id=",
        { identity, serial, partNumber, datasheetLink.empty() ? std::string("-") : datasheetLink,
            application.empty() ? std::string("-") : application },
        time);
}

WebRequest BuildRegistrationRequest(const std::string& server, const std::string& identity, const std::string& serial,
    const std::string& email, const std::string& country, bool sendUpdates, const RequestTime& time)
{
    return Build(server, "UserRegister.asp?id=",
        { identity, serial, email, country, sendUpdates ? std::string("YES") : std::string("NO") }, time);
}

std::string NormaliseWebServer(const std::string& value)
{
    const QString text = QString::fromStdString(value).trimmed();
    const bool web = text.startsWith("http://", Qt::CaseInsensitive) || text.startsWith("https://", Qt::CaseInsensitive);
    if (!web || text.contains(' ') || text.contains('?') || text.contains('#'))
        return {};
    std::string server = text.toStdString();
    // Nothing after the scheme is no server.
    if (server.size() <= static_cast<std::size_t>(text.indexOf("//") + 2))
        return {};
    if (server.back() != '/')
        server += '/';
    return server;
}

std::string ConfiguredWebServer()
{
    CRegistryKey key(HKEY_CURRENT_USER);
    std::string value;
    if (!key.Open(HKEY_CURRENT_USER, kSettingsKey) || !key.ReadString("WebServer", value))
        return {};
    return NormaliseWebServer(value);
}
