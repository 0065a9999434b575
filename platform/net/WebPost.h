#pragma once
// HTTP POST for the program's web requests, over Qt Network on the GUI thread: asynchronous, so
// the window never waits for a server. Each request owns its address; several may run at once.
// A request still running when its time-out falls due on the platform clock is aborted.

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>

namespace platform {

struct WebReply {
    // False when no whole HTTP answer came: refused, unknown host, aborted, timed out, the
    // connection closed before the body's end...
    bool answered = false;
    int status = 0; // the HTTP status code when answered
    QString reason; // its reason phrase
    QByteArray body;
    QString error; // what went wrong when not answered
};

struct WebPostRequest {
    QUrl url;
    QByteArray contentType;
    QByteArray body;
    std::chrono::milliseconds timeout { 30000 };
};

// Starts the request and returns at once; `done` runs once on the GUI thread with the outcome.
// Call on the GUI thread. Without a time-out (0) the request runs until it ends.
void PostWebRequest(const WebPostRequest& request, std::function<void(const WebReply&)> done);

// Requests started and not yet ended.
int RunningWebRequests();

} // namespace platform
