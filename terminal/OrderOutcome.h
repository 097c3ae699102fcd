#pragma once

#include "api/APIClient.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace zqt {

// What the outcome line says after an order post: "Order submitted." when the engine took the order (a reply
// with an HTTP status below 400); "Order rejected (HTTP <status>)" when it refused it, followed by ": " and the
// engine's error text when the reply carries one; the transport error's own text when no reply came.
QString orderOutcomeMessage(const APIClient::RawReply& reply);

// The failure of a cancel-all or close-all post (`action` names it: "Cancel all", "Close all"), or none when the
// engine took it: "<action> failed (HTTP <status>)" with ": " and the engine's text when it has one, or
// "<action> failed: " and the transport error's text.
std::optional<QString> bulkActionFailure(const QString& action, const APIClient::RawReply& reply);

// The engine's own words in an error reply: the "error" text of a JSON object, else its "detail" text; control
// characters become spaces and the text is cut to 200 characters. Empty when the body (read only up to 64 KiB)
// carries neither.
QString engineErrorText(const QByteArray& body);

} // namespace zqt
