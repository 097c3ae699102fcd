#include "ForeignListener.h"

#include "TestEnv.h"

#include <QFile>
#include <QStandardPaths>

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#ifndef ZQT_FOREIGN_LISTENER_PATH
#error "ZQT_FOREIGN_LISTENER_PATH names the helper executable"
#endif

namespace zqt::test {

namespace {

// A uid and gid that no account or group on this machine uses, so the server belongs to nobody the tests know.
uint unusedId() {
    for (uint id = 61'000; id < 62'000; ++id)
        if (!::getpwuid(id) && !::getgrgid(id))
            return id;
    return 0;
}

} // namespace

ForeignListener::ForeignListener() {
    if (::geteuid() != 0) {
        m_skipReason = QStringLiteral("starting a listener as another user needs root");
        return;
    }
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (setpriv.isEmpty()) {
        m_skipReason = QStringLiteral("setpriv (util-linux) is not installed");
        return;
    }
    m_uid = unusedId();
    if (m_uid == 0) {
        m_skipReason = QStringLiteral("no unused uid between 61000 and 61999");
        return;
    }
    // The build folder may not be open to other users: the helper runs from a copy in a folder that is.
    const QString helper = m_dir.filePath(QStringLiteral("foreign_listener"));
    const auto open = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup |
                      QFile::ReadOther | QFile::ExeOther;
    if (!m_dir.isValid() || !QFile::copy(QStringLiteral(ZQT_FOREIGN_LISTENER_PATH), helper) ||
        !QFile::setPermissions(helper, open) || !QFile::setPermissions(m_dir.path(), open)) {
        m_skipReason = QStringLiteral("could not copy the helper to %1").arg(m_dir.path());
        return;
    }
    m_process = std::make_unique<QProcess>();
    m_process->setProcessChannelMode(QProcess::SeparateChannels);
    const QString id = QString::number(m_uid);
    m_process->start(setpriv, {QStringLiteral("--reuid=") + id, QStringLiteral("--regid=") + id,
                               QStringLiteral("--clear-groups"), QStringLiteral("--"), helper});
    QByteArray line;
    if (!m_process->waitForStarted(20'000) || !readLine(line, 20'000) || !line.startsWith("port ")) {
        m_skipReason = QStringLiteral("the helper did not start as uid %1: %2 %3")
                           .arg(id, QString::fromUtf8(line), QString::fromUtf8(m_process->readAllStandardError()));
        return;
    }
    m_port = line.mid(5).trimmed().toInt();
}

ForeignListener::~ForeignListener() {
    if (!m_process)
        return;
    m_process->closeWriteChannel();
    if (!m_process->waitForFinished(10'000))
        m_process->kill();
    m_process->waitForFinished(10'000);
}

bool ForeignListener::readLine(QByteArray& line, int timeoutMs) {
    const bool ready =
        waitUntil([&] { return m_process->canReadLine() || m_process->state() == QProcess::NotRunning; }, timeoutMs);
    if (!ready || !m_process->canReadLine())
        return false;
    line = m_process->readLine().trimmed();
    return true;
}

std::vector<ForeignListener::Request> ForeignListener::requests() {
    std::vector<Request> list;
    if (!m_process || m_port <= 0)
        return list;
    m_process->write("requests\n");
    QByteArray line;
    while (readLine(line, 20'000) && line != "end") {
        if (!line.startsWith("request "))
            continue;
        const QList<QByteArray> parts = line.mid(8).split(' ');
        if (parts.size() < 3)
            continue;
        Request r;
        r.method = parts[0].toStdString();
        r.target = parts[1].toStdString();
        const qsizetype bodyAt = line.indexOf(" body=");
        const qsizetype authAt = line.indexOf(" auth=");
        if (bodyAt < 0 || authAt < bodyAt)
            continue;
        const QByteArray body = line.mid(bodyAt + 6, authAt - bodyAt - 6);
        r.body = body == "-" ? std::string() : QByteArray::fromHex(body).toStdString();
        const QByteArray auth = line.mid(authAt + 6);
        r.authorization = auth == "-" ? std::string() : auth.toStdString();
        list.push_back(std::move(r));
    }
    return list;
}

} // namespace zqt::test
