#pragma once

#include <QString>

namespace zqt {

// Why an API call produced no result. Never thrown: handed to the caller's completion.
struct ApiError {
    enum class Kind {
        Transport, // no usable HTTP reply: refused, unknown host, timeout, TLS failure, cancelled, too large
        Decode,    // the reply body is not the requested record
        NoReply,   // neither a reply body nor a transport error (domain "zqt", code -1)
        Redirect,  // an HTTP redirect (3xx), which is never followed (domain "http", the status as code)
    };

    Kind kind = Kind::Transport;
    QString domain;      // "network" (QNetworkReply::NetworkError codes), "json", "http" or "zqt"
    int code = 0;        // QNetworkReply::NetworkError for transport errors, -1 for NoReply, 0 for Decode,
                         // -2 for a reply over the size limit (domain "zqt"), the HTTP status for Redirect
    QString description; // the library's own description: QNetworkReply::errorString() or the decoder's text

    static ApiError transport(int networkError, const QString& text) {
        return {Kind::Transport, QStringLiteral("network"), networkError, text};
    }
    static ApiError decode(const QString& text) { return {Kind::Decode, QStringLiteral("json"), 0, text}; }
    static ApiError noReply() { return {Kind::NoReply, QStringLiteral("zqt"), -1, QString()}; }
    // A reply body longer than `limitText` allows ("16 MiB"): the exchange was ended when it got that far.
    static ApiError replyTooLarge(const QString& limitText) {
        return {Kind::Transport, QStringLiteral("zqt"), -2, QStringLiteral("Reply larger than ") + limitText};
    }

    // Longest redirect target quoted in a Redirect's description (characters).
    static constexpr qsizetype kMaxQuotedLocation = 512;
    // A reply with the 3xx `status` pointing at `location` (the Location header, possibly empty): "Redirected
    // (HTTP 303) to <location>, not followed", the target cut at kMaxQuotedLocation characters.
    static ApiError redirect(int status, QString location) {
        if (location.size() > kMaxQuotedLocation)
            location = location.first(kMaxQuotedLocation) + QChar(0x2026);
        const QString target = location.isEmpty() ? QStringLiteral("no address") : location;
        return {Kind::Redirect, QStringLiteral("http"), status,
                QStringLiteral("Redirected (HTTP %1) to %2, not followed").arg(status).arg(target)};
    }

    friend bool operator==(const ApiError&, const ApiError&) = default;
};

} // namespace zqt
