#include "display/PlainText.h"

#include <QLabel>
#include <QTextDocument>

#include <algorithm>

namespace zqt {

namespace {

const QChar kReplacement(0xFFFD);
const QChar kEllipsis(0x2026);

// Marks that change the direction of the text around them (ALM, LRM, RLM, LRE, RLE, PDF, LRO, RLO, LRI, RLI, FSI,
// PDI).
bool isBidiControl(char16_t c) {
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

// Appends `raw` made safe to lay out (see shownText) to `out`.
void appendCleaned(QString& out, QStringView raw) {
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const char16_t c = raw[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < raw.size() && QChar::isLowSurrogate(raw[i + 1].unicode())) {
            out += raw[i];
            out += raw[++i];
        } else if (QChar::isSurrogate(c)) {
            out += kReplacement;
        } else if (c == u'\t' || c == u'\n' || c == u'\r' || c == 0x2028 || c == 0x2029) {
            out += QLatin1Char(' ');
        } else if (c < 0x20 || (c >= 0x7F && c <= 0x9F) || isBidiControl(c)) {
            out += kReplacement;
        } else {
            out += raw[i];
        }
    }
}

} // namespace

QString shownText(QStringView raw, int maxChars) {
    const qsizetype limit = std::max(maxChars, 1);
    QString out;
    if (raw.size() <= limit) {
        out.reserve(raw.size());
        appendCleaned(out, raw);
        return out;
    }
    qsizetype keep = limit - 1;
    if (keep > 0 && QChar::isHighSurrogate(raw[keep - 1].unicode()))
        --keep; // the pair would be split: leave it out whole
    out.reserve(keep + 1);
    appendCleaned(out, raw.first(keep));
    out += kEllipsis;
    return out;
}

QString literalToolTip(QStringView raw) {
    return Qt::convertFromPlainText(shownText(raw, kWholeTextChars), Qt::WhiteSpaceNormal);
}

void showPlainText(QLabel* label, QStringView value, int maxChars) {
    label->setTextFormat(Qt::PlainText);
    const QString shown = shownText(value, maxChars);
    const bool whole = shown == value;
    label->setText(shown);
    label->setToolTip(whole ? QString() : literalToolTip(value));
    label->setAccessibleDescription(whole ? QString() : shownText(value, kWholeTextChars));
}

PlainTextProxyModel::PlainTextProxyModel(QAbstractItemModel* source, int maxChars, QObject* parent)
    : QIdentityProxyModel(parent), m_maxChars(maxChars) {
    setSourceModel(source);
}

QVariant PlainTextProxyModel::data(const QModelIndex& index, int role) const {
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole: {
        const QVariant value = QIdentityProxyModel::data(index, role);
        if (value.typeId() != QMetaType::QString)
            return value;
        return shownText(value.toString(), m_maxChars);
    }
    case Qt::ToolTipRole:
    case Qt::AccessibleDescriptionRole: {
        const QVariant value = QIdentityProxyModel::data(index, Qt::DisplayRole);
        if (value.typeId() != QMetaType::QString)
            return QIdentityProxyModel::data(index, role);
        const QString text = value.toString();
        if (shownText(text, m_maxChars) == text)
            return QIdentityProxyModel::data(index, role);
        return role == Qt::ToolTipRole ? QVariant(literalToolTip(text)) : QVariant(shownText(text, kWholeTextChars));
    }
    default:
        return QIdentityProxyModel::data(index, role);
    }
}

} // namespace zqt
