#include "api/FormEncoding.h"

#include <QUrl>

namespace zqt {

namespace {
bool isValidUtf16(const QString& text) {
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar ch = text.at(i);
        if (ch.isHighSurrogate()) {
            if (i + 1 >= n || !text.at(i + 1).isLowSurrogate())
                return false;
            ++i;
        } else if (ch.isLowSurrogate()) {
            return false;
        }
    }
    return true;
}
} // namespace

QByteArray formEscape(const QString& value) {
    if (!isValidUtf16(value))
        return {};
    // toPercentEncoding already keeps ALPHA, DIGIT and - . _ ~ and writes upper-case hex digits.
    static const QByteArray kAlsoUnescaped = QByteArrayLiteral("!$'()*,;:@/?");
    return QUrl::toPercentEncoding(value, kAlsoUnescaped);
}

QByteArray encodeForm(const FormFields& fields) {
    QByteArray body;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            body += '&';
        body += fields[i].first.toUtf8();
        body += '=';
        body += formEscape(fields[i].second);
    }
    return body;
}

} // namespace zqt
