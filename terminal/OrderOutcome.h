#pragma once

#include "api/APIClient.h"

#include <QByteArray>
#include <QString>

namespace zqt {

// What the outcome line says after an order post: "Order submitted." when the engine took the order (a reply with
// an HTTP status below 300 whose body is JSON); "Order sent, but the engine's reply was not understood (HTTP
// <status>)" when such a reply's body is not JSON (an HTML page, say: nothing tells whether an order was placed);
// "Order rejected (HTTP <status>)" when the engine refused it (400 and above), followed by ": " and the engine's
// error text when the reply carries one; the error's own text when no reply came or the post was redirected.
QString orderOutcomeMessage(const APIClient::RawReply& reply);

// The outcome of a cancel-all or close-all post (`action` names it: "Cancel all", "Close all"), in the same way:
// "<action> accepted." when the engine took it; "<action> sent, but the engine's reply was not understood (HTTP
// <status>)"; "<action> failed (HTTP <status>)" with ": " and the engine's text when it has one; or "<action>
// failed: " and the error's text.
QString bulkActionOutcome(const QString& action, const APIClient::RawReply& reply);

// The engine's own words in an error reply: the "error" text of a JSON object, else its "detail" text; control
// characters become spaces and the text is cut to 200 characters. Empty when the body (read only up to 64 KiB)
// carries neither.
QString engineErrorText(const QByteArray& body);

} // namespace zqt
