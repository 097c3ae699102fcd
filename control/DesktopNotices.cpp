#include "control/DesktopNotices.h"

#include "control/LogFilter.h"
#include "control/Settings.h"

#include <QElapsedTimer>

#include <algorithm>

namespace zqt {

namespace {

// Outside text as one short plain line: control characters become blanks, the rest is cut.
QString quoted(QStringView text) {
    QString out = text.trimmed().left(DesktopNotices::kMaxQuotedLength).toString();
    for (QChar& c : out) {
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            c = u' ';
    }
    return out;
}

QString money(double value) {
    return QString::asprintf("%+.2f", value);
}

} // namespace

DesktopNotices::DesktopNotices(const Settings& settings, Clock clock, QObject* parent)
    : QObject(parent), m_settings(settings), m_clock(std::move(clock)) {
    qRegisterMetaType<zqt::DesktopNotice>();
    if (!m_clock) {
        auto started = std::make_shared<QElapsedTimer>();
        started->start();
        m_clock = [started] {
            return started->elapsed();
        };
    }
}

bool DesktopNotices::enabled() const {
    return m_settings.flag(Setting::DesktopNotifications);
}

void DesktopNotices::runStateChanged(bool running, bool byStop) {
    if (!running) {
        m_unexpectedlyOffline = !byStop;
        if (!byStop)
            raise(DesktopNotice::Kind::EngineOffline, QStringLiteral("offline"), QStringLiteral("ZQT engine offline"),
                  QStringLiteral("The engine stopped running, and no Stop asked for it."));
        return;
    }
    if (m_unexpectedlyOffline) {
        m_unexpectedlyOffline = false;
        raise(DesktopNotice::Kind::EngineOnline, QStringLiteral("online"), QStringLiteral("ZQT engine back online"),
              QStringLiteral("The engine runs again."));
    }
}

QString DesktopNotices::errorLine(const QString& output) {
    for (QStringView line : QStringView(output).split(u'\n')) {
        if (line.startsWith(u"Failed to run: ") || line.startsWith(u"ZQT_HOME not found: ") ||
            LogFilter::severity(line) == LogSeverity::Error)
            return quoted(line);
    }
    return {};
}

void DesktopNotices::scriptFinished(bool start, const QString& output) {
    const QString line = errorLine(output);
    if (line.isEmpty())
        return;
    const QString summary = start ? QStringLiteral("Engine start script reported an error")
                                  : QStringLiteral("Engine stop script reported an error");
    raise(DesktopNotice::Kind::ScriptError, summary + u'\n' + line, summary, line);
}

void DesktopNotices::ordersRead(const QList<OrderRow>& orders) {
    std::int64_t newest = m_lastOrderId;
    for (const OrderRow& o : orders)
        newest = std::max(newest, o.id);
    if (!m_ordersKnown) {
        m_ordersKnown = true;
        m_lastOrderId = newest;
        return;
    }
    // Oldest first, so the notices come in the order the engine took the orders.
    QList<OrderRow> rejected;
    for (const OrderRow& o : orders) {
        if (o.id > m_lastOrderId && o.status.compare(u"REJECTED", Qt::CaseInsensitive) == 0)
            rejected.append(o);
    }
    std::sort(rejected.begin(), rejected.end(), [](const OrderRow& a, const OrderRow& b) { return a.id < b.id; });
    m_lastOrderId = newest;
    for (const OrderRow& o : rejected) {
        const QString body =
            QStringLiteral("%1 %2 %3 %4")
                .arg(quoted(o.side), QString::asprintf("%.2f", o.qty), quoted(o.symbol), quoted(o.type))
                .simplified();
        raise(DesktopNotice::Kind::OrderRejected, QStringLiteral("rejected\n") + body, QStringLiteral("Order rejected"),
              body);
    }
}

void DesktopNotices::fillsRead(const QList<FillRow>& fills) {
    std::int64_t newest = m_lastFillId;
    for (const FillRow& f : fills)
        newest = std::max(newest, f.id);
    if (!m_fillsKnown) {
        m_fillsKnown = true;
        m_lastFillId = newest;
        return;
    }
    QList<FillRow> closes;
    for (const FillRow& f : fills) {
        if (f.id > m_lastFillId && f.status.compare(u"CLOSED", Qt::CaseInsensitive) == 0)
            closes.append(f);
    }
    std::sort(closes.begin(), closes.end(), [](const FillRow& a, const FillRow& b) { return a.id < b.id; });
    m_lastFillId = newest;
    for (const FillRow& f : closes) {
        const QString symbol = quoted(f.symbol);
        raise(DesktopNotice::Kind::PositionClosed, QStringLiteral("closed\n") + symbol,
              QStringLiteral("Position closed: %1").arg(symbol), QStringLiteral("PnL %1").arg(money(f.pnl)), f.pnl);
    }
}

void DesktopNotices::resetAccount() {
    m_ordersKnown = false;
    m_lastOrderId = 0;
    m_fillsKnown = false;
    m_lastFillId = 0;
}

void DesktopNotices::raise(DesktopNotice::Kind kind, const QString& key, const QString& summary, const QString& body,
                           double pnl) {
    if (!enabled())
        return;
    const qint64 now = m_clock();
    Shown& shown = m_shown[key];
    DesktopNotice notice{kind, 0, 1, summary, body};
    if (shown.id != 0 && now - shown.at < kMergeWindowMs) {
        ++shown.count;
        shown.pnl += pnl;
        notice.count = shown.count;
        notice.body = kind == DesktopNotice::Kind::PositionClosed
                          ? QStringLiteral("%1 positions closed, PnL %2 in all").arg(shown.count).arg(money(shown.pnl))
                          : QStringLiteral("%1 (%2 times in 30 s)").arg(body).arg(shown.count);
    } else {
        shown = {m_nextId++, now, 1, pnl};
    }
    notice.id = shown.id;
    // Entries whose window has passed are of no more use.
    for (auto it = m_shown.begin(); it != m_shown.end();)
        it = now - it->at >= kMergeWindowMs && it.key() != key ? m_shown.erase(it) : std::next(it);
    emit raised(notice);
}

} // namespace zqt
