#include "control/LogReader.h"

#include "control/Observable.h"
#include "control/ServiceManager.h"

namespace zqt {

LogReader::LogReader(QObject* parent) : QObject(parent), m_selectedLog(QStringLiteral("web")) {}

void LogReader::setSelectedLog(const QString& value) {
    assignAndNotify(this, m_selectedLog, value, &LogReader::selectedLogChanged);
}

void LogReader::setLogOutput(const QString& value) {
    assignAndNotify(this, m_logOutput, value, &LogReader::logOutputChanged);
}

void LogReader::refresh(const QString& home) {
    setLogOutput(ServiceManager::readLog(home, m_selectedLog));
}

} // namespace zqt
