#include "platform/net/WebPost.h"

#include "platform/Clock.h"
#include "platform/GuiThread.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>

#include <memory>

namespace platform {

namespace {

int g_running = 0;

QNetworkAccessManager& Manager()
{
    // One manager for the program, owned by the application object.
    static QPointer<QNetworkAccessManager> manager;
    if (!manager)
        manager = new QNetworkAccessManager(QCoreApplication::instance());
    return *manager;
}

} // namespace

int RunningWebRequests()
{
    return g_running;
}

void PostWebRequest(const WebPostRequest& request, std::function<void(const WebReply&)> done)
{
    QNetworkRequest http(request.url);
    http.setHeader(QNetworkRequest::ContentTypeHeader, request.contentType);
    // The address carries the request; a redirect is the server's answer, not another request.
    http.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    QNetworkReply* reply = Manager().post(http, request.body);
    ++g_running;
    auto timedOut = std::make_shared<bool>(false);
    QPointer<QNetworkReply> watched(reply);

    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, timedOut, done = std::move(done)] {
        --g_running;
        WebReply result;
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        // A status line alone is no answer: a connection that broke, or a reply that is not sound
        // HTTP (a body cut short of its length...), leaves only part of the text. HTTP error
        // statuses (the content and server errors) are answers.
        const int error = reply->error();
        const bool broken = (error > 0 && error < 100) || (error >= 300 && error < 400);
        if (status.isValid() && !broken && !*timedOut) {
            result.answered = true;
            result.status = status.toInt();
            result.reason = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
            result.body = reply->readAll();
        } else {
            result.error = *timedOut ? QString("timed out") : reply->errorString();
        }
        reply->deleteLater();
        if (done)
            done(result);
    });

    if (request.timeout.count() <= 0)
        return;
    // The clock runs the event on a thread of its own; the abort itself runs on the GUI thread,
    // and not at all for a request that has ended (its reply is gone by then).
    Clock& clock = GetClock();
    clock.Schedule(clock.Now() + request.timeout, [watched, timedOut] {
        post([watched, timedOut] {
            if (!watched || watched->isFinished())
                return;
            *timedOut = true;
            watched->abort();
        });
    });
}

} // namespace platform
