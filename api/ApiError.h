#pragma once

#include <QString>

namespace zqt {

// Why an API call produced no result. Never thrown: handed to the caller's completion.
struct ApiError {
    enum class Kind {
        Transport, // no usable HTTP reply: refused, unknown host, timeout, TLS failure, cancelled, too large
        Decode,    // the reply body is not the requested record
        NoReply,   // neither a reply body nor a transport error (domain "zqt", code -1)
    };

    Kind kind = Kind::Transport;
    QString domain;      // "network" (QNetworkReply::NetworkError codes), "json" or "zqt"
    int code = 0;        // QNetworkReply::NetworkError for transport errors, -1 for NoReply, 0 for Decode,
                         // -2 for a reply over the size limit (domain "zqt")
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

    friend bool operator==(const ApiError&, const ApiError&) = default;
};

} // namespace zqt
