#include "control/LogReader.h"

#include "control/Observable.h"
#include "control/ServiceManager.h"

#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

namespace zqt {

LogReader::LogReader(QObject* parent) : QObject(parent), m_selectedLog(QStringLiteral("web")) {}

// The watchers are children: they go first and take their connections with them, so a read still running
// delivers to nobody.
LogReader::~LogReader() = default;

void LogReader::setSelectedLog(const QString& value) {
    assignAndNotify(this, m_selectedLog, value, &LogReader::selectedLogChanged);
}

void LogReader::setLogOutput(const QString& value) {
    assignAndNotify(this, m_logOutput, value, &LogReader::logOutputChanged);
}

void LogReader::refresh(const QString& home) {
    const quint64 ticket = ++m_ticket;
    m_reading = true;
    auto* watcher = new QFutureWatcher<QString>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, ticket] {
        watcher->deleteLater();
        if (ticket != m_ticket)
            return; // superseded by a newer refresh
        m_reading = false;
        setLogOutput(watcher->result());
        emit readFinished();
    });
    watcher->setFuture(QtConcurrent::run(&ServiceManager::readLog, home, m_selectedLog));
}

QString LogReader::breakLongLines(const QString& text, qsizetype maxLength) {
    if (maxLength < 2)
        return text;
    const QStringView view(text);
    // The common case, no line too long, shares the text instead of copying it.
    bool tooLong = false;
    for (qsizetype from = 0; from <= view.size() && !tooLong;) {
        qsizetype to = view.indexOf(u'\n', from);
        if (to < 0)
            to = view.size();
        tooLong = to - from > maxLength;
        from = to + 1;
    }
    if (!tooLong)
        return text;

    QString out;
    out.reserve(text.size() + text.size() / maxLength + 1);
    for (qsizetype from = 0; from <= view.size();) {
        qsizetype to = view.indexOf(u'\n', from);
        if (to < 0)
            to = view.size();
        while (to - from > maxLength) {
            qsizetype cut = from + maxLength;
            if (view[cut - 1].isHighSurrogate())
                --cut;
            out.append(view.mid(from, cut - from));
            out.append(u'\n');
            from = cut;
        }
        out.append(view.mid(from, to - from));
        if (to < view.size())
            out.append(u'\n');
        from = to + 1;
    }
    return out;
}

} // namespace zqt
