#include "terminal/OrderOutcome.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace zqt {

namespace {

constexpr qsizetype kMaxErrorBody = 64 * 1024;
constexpr qsizetype kMaxErrorText = 200;

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
    return QStringLiteral("Order submitted.");
}

std::optional<QString> bulkActionFailure(const QString& action, const APIClient::RawReply& reply) {
    if (reply.error)
        return action + QStringLiteral(" failed: ") + reply.error->description;
    if (isRefusal(reply))
        return action + QStringLiteral(" failed") + refusalText(reply);
    return std::nullopt;
}

} // namespace zqt
