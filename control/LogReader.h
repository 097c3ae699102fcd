#pragma once

#include <QObject>
#include <QString>

namespace zqt {

// The logs view's state: which of the engine's logs is chosen and the text last read from it.
class LogReader final : public QObject {
    Q_OBJECT

public:
    explicit LogReader(QObject* parent = nullptr);

    // "web", "worker", "rm1", "marketing" or "portal"; "web" at first.
    QString selectedLog() const { return m_selectedLog; }
    QString logOutput() const { return m_logOutput; }
    void setSelectedLog(const QString& value);
    void setLogOutput(const QString& value);

    // logOutput = the tail of the selected log under `home`.
    void refresh(const QString& home);

signals:
    void selectedLogChanged();
    void logOutputChanged();

private:
    QString m_selectedLog;
    QString m_logOutput;
};

} // namespace zqt
