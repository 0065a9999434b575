// The web requests' texts: the recorded form and the address actually requested.

#include "shell/WebRequest.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

const RequestTime kTime { 2024, 5, 6, 7, 8, 9 };
const std::string kServer = "http://127.0.0.1:8080/";

TEST(WebRequestTexts, RecordedFormsAndIdentities)
{
    struct Case {
        const char* name;
        WebRequest request;
        std::string text;
    };
    const Case cases[] = {
        { "the new-device example, no programmer ever seen",
            BuildNewDeviceRequest(kServer, RequestIdentity("", 0), "0000000000", "27C 256", "", "", kTime),
            kServer + "K5150NewDeviceRequest.asp?id=DemoRe._7.41+0000000000+27C_256+-+-+2024-05-06 07:08:09" },
        { "a version known while disconnected",
            BuildNewDeviceRequest(kServer, RequestIdentity("ZV-CQ Re-2.00", 0), "AB12", "X", "l", "a", kTime),
            kServer + "K5150NewDeviceRequest.asp?id=OfflineRe._7.41+AB12+X+l+a+2024-05-06 07:08:09" },
        { "a connected programmer",
            BuildNewDeviceRequest(kServer, RequestIdentity("ZV-CQ Re-2.00", 1), "AB12", "X", "", "a", kTime),
            kServer + "K5150NewDeviceRequest.asp?id=ZV-CQ_Re-2.00+AB12+X+-+a+2024-05-06 07:08:09" },
        { "registration, updates wanted",
            BuildRegistrationRequest(kServer, RequestIdentity("ZV-CQ Re-2.00", 1), "AB12", "me@x.example",
                "New Zealand", true, kTime),
            kServer + "UserRegister.asp?id=ZV-CQ_Re-2.00+AB12+me@x.example+New_Zealand+YES+2024-05-06 07:08:09" },
        { "registration, no updates",
            BuildRegistrationRequest(kServer, RequestIdentity("", 0), "", "me@x.example", "NZ", false,
                { 2009, 12, 31, 23, 59, 58 }),
            kServer + "UserRegister.asp?id=DemoRe._7.41++me@x.example+NZ+NO+2009-12-31 23:59:58" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.request.text, c.text);
        const QUrl url = QUrl::fromEncoded(QByteArray::fromStdString(c.request.address), QUrl::StrictMode);
        EXPECT_TRUE(url.isValid()) << c.request.address;
    }
    EXPECT_EQ(BuildNewDeviceRequest(kServer, "DemoRe._7.41", "0000000000", "27C 256", "", "", kTime).address,
        kServer + "K5150NewDeviceRequest.asp?id=DemoRe._7.41+0000000000+27C_256+-+-+2024-05-06%2007:08:09");
}

TEST(WebRequestTexts, EveryFieldArrivesAsItsOwnTextWhateverItHolds)
{
    const std::vector<std::string> fields = { "a&b=c", "x#y", "100%", "1+1", "http://h.example/d s.pdf", "é", "a b" };
    const WebRequest request = BuildNewDeviceRequest(kServer, fields[0], fields[1], fields[2], fields[3],
        fields[4] + fields[5], kTime);
    const QUrl url = QUrl::fromEncoded(QByteArray::fromStdString(request.address), QUrl::StrictMode);
    ASSERT_TRUE(url.isValid());
    EXPECT_EQ(url.fragment(), QString());
    const QByteArray query = url.query(QUrl::FullyEncoded).toLatin1();
    for (char raw : { ' ', '#', '&' })
        EXPECT_EQ(query.indexOf(raw), -1) << raw;
    ASSERT_TRUE(query.startsWith("id="));
    const QList<QByteArray> parts = query.mid(3).split('+');
    const std::vector<std::string> expected
        = { "a&b=c", "x#y", "100%", "1+1", "http://h.example/d_s.pdfé", "2024-05-06 07:08:09" };
    ASSERT_EQ(parts.size(), static_cast<qsizetype>(expected.size()));
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(QByteArray::fromPercentEncoding(parts[static_cast<qsizetype>(i)]).toStdString(), expected[i]) << i;

    const WebRequest blanks
        = BuildRegistrationRequest(kServer, "id", "s", "a b", "c d e", true, kTime);
    EXPECT_NE(blanks.address.find("+a_b+c_d_e+YES+"), std::string::npos) << blanks.address;
}

TEST(WebRequestTexts, TheServerSettingIsAWebAddressEndingInASlash)
{
    struct Case {
        const char* value;
        const char* server;
    };
    const Case cases[] = {
        { "http://127.0.0.1:8080", "http://127.0.0.1:8080/" },
        { "https://requests.example/tonrig/", "https://requests.example/tonrig/" },
        { " HTTP://h.example ", "HTTP://h.example/" },
        { "", "" },
        { "ftp://h.example/", "" },
        { "h.example", "" },
        { "http://", "" },
        { "http://h.example/?x=1", "" },
        { "http://h example/", "" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(NormaliseWebServer(c.value), c.server) << c.value;
}

} // namespace
