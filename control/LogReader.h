#pragma once

#include <QObject>
#include <QString>

namespace zqt {

// The logs view's state: which of the engine's logs is chosen and the text last read from it. The file is read
// on a pool thread (up to 1 MiB, see ServiceManager::readLog) and the text lands on this object's thread.
class LogReader final : public QObject {
    Q_OBJECT

public:
    explicit LogReader(QObject* parent = nullptr);
    ~LogReader() override;

    // "web", "worker", "rm1", "marketing" or "portal"; "web" at first.
    QString selectedLog() const { return m_selectedLog; }
    QString logOutput() const { return m_logOutput; }
    void setSelectedLog(const QString& value);
    void setLogOutput(const QString& value);

    // Starts reading the tail of the selected log under `home` and returns at once; logOutput takes the text
    // when the read is done. A newer refresh supersedes one still reading, whose text is then dropped; a read
    // outliving this object reports to nobody.
    void refresh(const QString& home);
    // A refresh is still reading.
    bool isReading() const { return m_reading; }

    // `text` with every line longer than `maxLength` characters broken into lines of at most that many (never
    // inside a surrogate pair), for a text view that lays out a line at a time.
    static QString breakLongLines(const QString& text, qsizetype maxLength = kDisplayLineLength);
    static constexpr qsizetype kDisplayLineLength = 1000;

signals:
    void selectedLogChanged();
    void logOutputChanged();
    // The latest refresh has delivered its text (after logOutput was set, changed or not).
    void readFinished();

private:
    QString m_selectedLog;
    QString m_logOutput;
    quint64 m_ticket = 0; // numbers the refreshes; only the newest may deliver
    bool m_reading = false;
};

} // namespace zqt
