#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

namespace zqt {

// Form fields in the order they are written (the engine must not depend on that order).
using FormFields = QList<QPair<QString, QString>>;

// Escapes one form value: ASCII letters, digits and - . _ ~ ! $ ' ( ) * , ; : @ / ? stay as they are; every other
// character (& = + # % space, all non-ASCII) becomes its UTF-8 bytes as %XX with upper-case hex. A value that is
// not valid Unicode text (an unpaired surrogate) cannot be escaped and gives the empty text.
QByteArray formEscape(const QString& value);

// name=escaped-value pairs joined with "&"; names are written unescaped. No fields give an empty body.
QByteArray encodeForm(const FormFields& fields);

} // namespace zqt
