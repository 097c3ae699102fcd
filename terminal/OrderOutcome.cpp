#include "terminal/OrderOutcome.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace zqt {

namespace {

constexpr qsizetype kMaxErrorBody = 64 * 1024;
constexpr qsizetype kMaxErrorText = 200;

// An HTTP status of 400 or above: the engine refused.
bool isRefusal(const APIClient::RawReply& reply) {
    return reply.httpStatus && *reply.httpStatus >= 400;
}

// "(HTTP 422)" and the engine's text after ": " when there is one.
QString refusalText(const APIClient::RawReply& reply) {
    QString text = QStringLiteral(" (HTTP %1)").arg(*reply.httpStatus);
    const QString engine = engineErrorText(reply.bytes.value_or(QByteArray()));
    if (!engine.isEmpty())
        text += QStringLiteral(": ") + engine;
    return text;
}

// Whether the body of a reply the engine accepted is JSON (an object or an array), as its acknowledgements are; a
// body over kMaxErrorBody is taken for none, so no reply is parsed whole on this thread.
bool isJsonReply(const APIClient::RawReply& reply) {
    const QByteArray body = reply.bytes.value_or(QByteArray());
    if (body.isEmpty() || body.size() > kMaxErrorBody)
        return false;
    QJsonParseError error;
    QJsonDocument::fromJson(body, &error);
    return error.error == QJsonParseError::NoError;
}

QString notUnderstoodText(const APIClient::RawReply& reply) {
    return QStringLiteral(", but the engine's reply was not understood (HTTP %1)").arg(reply.httpStatus.value_or(0));
}

} // namespace

QString engineErrorText(const QByteArray& body) {
    if (body.isEmpty() || body.size() > kMaxErrorBody)
        return {};
    const QJsonDocument doc = QJsonDocument::fromJson(body);
    if (!doc.isObject())
        return {};
    const QJsonObject o = doc.object();
    QString text = o.value(QLatin1String("error")).toString();
    if (text.isEmpty())
        text = o.value(QLatin1String("detail")).toString();
    text.truncate(kMaxErrorText);
    for (QChar& c : text)
        if (c.category() == QChar::Other_Control || c.category() == QChar::Separator_Line ||
            c.category() == QChar::Separator_Paragraph)
            c = QLatin1Char(' ');
    return text.trimmed();
}

QString orderOutcomeMessage(const APIClient::RawReply& reply) {
    if (reply.error)
        return reply.error->description;
    if (isRefusal(reply))
        return QStringLiteral("Order rejected") + refusalText(reply);
    if (!isJsonReply(reply))
        return QStringLiteral("Order sent") + notUnderstoodText(reply);
    return QStringLiteral("Order submitted.");
}

QString bulkActionOutcome(const QString& action, const APIClient::RawReply& reply) {
    if (reply.error)
        return action + QStringLiteral(" failed: ") + reply.error->description;
    if (isRefusal(reply))
        return action + QStringLiteral(" failed") + refusalText(reply);
    if (!isJsonReply(reply))
        return action + QStringLiteral(" sent") + notUnderstoodText(reply);
    return action + QStringLiteral(" accepted.");
}

} // namespace zqt
