#pragma once

// What an API client has under way, seen from the test's thread. Header-only: only tests that link the api
// library include it.

#include "api/APIClient.h"

#include <QCoreApplication>
#include <QNetworkReply>
#include <QThreadPool>

#include <string>
#include <vector>

namespace zqt::test {

// Path and query of every request `api` has on the wire (sent, reply not finished), in the order they were sent.
// A request is on the wire from the moment the call that sends it returns: right after a synchronous call this
// tells exactly what the call sent, without waiting for the server.
inline std::vector<std::string> inFlight(const APIClient& api) {
    std::vector<std::string> out;
    for (const QNetworkReply* r : api.findChildren<QNetworkReply*>()) {
        if (r->isFinished())
            continue;
        const QUrl url = r->url();
        QString target = url.path(QUrl::FullyEncoded);
        if (url.hasQuery())
            target += QLatin1Char('?') + url.query(QUrl::FullyEncoded);
        out.push_back(target.toStdString());
    }
    return out;
}

// Whether no reply body is being decoded and no decoded reply waits for the main thread. Delivers the waiting
// ones first, so their handlers may have sent new requests when it returns.
inline bool decodesDone() {
    // A reply reaches its handler in up to two queued hops with a decode on the pool between them. The queue is
    // flushed each time the pool is idle, three times over, so what a decode that ended a moment ago queued has
    // run too.
    for (int pass = 0; pass < 3; ++pass) {
        if (QThreadPool::globalInstance()->activeThreadCount() != 0)
            return false;
        QCoreApplication::sendPostedEvents();
    }
    return QThreadPool::globalInstance()->activeThreadCount() == 0;
}

} // namespace zqt::test
