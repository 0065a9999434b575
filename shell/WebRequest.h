#pragma once
// The texts of the two web requests, the new-device request and the warranty registration, as
// pure functions of their fields and the local time.
//
// Each request is recorded in the form the user's records have always shown (g_RequestUrl,
// g_RegisterUrl: blanks as "_", then the time with its blank), and built a second time as the
// address actually requested: every field percent-encoded after the blank rule, so that "&", "#",
// "%", "+", "/" or a non-ASCII character in a field reaches the server as that field's text.

#include <string>

// The last request texts; written on the GUI thread only.
extern std::string g_RequestUrl;
extern std::string g_RegisterUrl;

struct RequestTime {
    int year = 2000; // full year
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

struct WebRequest {
    std::string text; // the recorded form
    std::string address; // the encoded address, for QUrl::fromEncoded in strict mode
};

// The programmer part of a request: "Demo" + the revision while no version is known, "Offline" +
// the revision while a version is known but no programmer is connected (state 0), else the
// version text.
std::string RequestIdentity(const std::string& hardwareVersion, int operationState);
// "20yy-mm-dd hh:mm:ss", the year counted from 2000.
std::string FormatRequestTime(const RequestTime& time);

// server + "K5150NewDeviceRequest.asp?id=" + identity, serial, part number, link, application,
// each followed by "+", then the time; an empty link or application is "-".
WebRequest BuildNewDeviceRequest(const std::string& server, const std::string& identity, const std::string& serial,
    const std::string& partNumber, const std::string& datasheetLink, const std::string& application,
    const RequestTime& time);
// server + "UserRegister.asp?id=" + identity, serial, e-mail, country, "YES" or "NO", each
// followed by "+", then the time.
WebRequest BuildRegistrationRequest(const std::string& server, const std::string& identity, const std::string& serial,
    const std::string& email, const std::string& country, bool sendUpdates, const RequestTime& time);

// The server the requests go to: the settings value "WebServer" under the program's settings key,
// an http or https address, given a final "/" when it has none. Empty when unset or not such an
// address.
std::string NormaliseWebServer(const std::string& value);
std::string ConfiguredWebServer();

// The texts the requests show.
namespace web_texts {
inline constexpr const char* kNoServer
    = "No web server is set for requests (settings value \"WebServer\"); nothing was sent.";
inline constexpr const char* kNewDeviceFailed = "New device request fail!";
inline constexpr const char* kRegistrationFailed = "Registration failed (HTTP %d).\r\n";
inline constexpr const char* kUnreachable = "Make sure your web server is running";
inline constexpr const char* kConnectFirst = "Please connect the programmer!";
inline constexpr const char* kFieldsNeeded = "eMail and Country needed.";
inline constexpr const char* kFolderFailed = "Could not open the folder %s";
} // namespace web_texts
