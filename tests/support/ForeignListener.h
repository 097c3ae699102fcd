#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <string>
#include <vector>

namespace zqt::test {

// An HTTP server on 127.0.0.1 run by another user: the recording server of foreign_listener_main.cpp, started under
// setpriv with a numeric uid and gid no account uses, so the kernel lists its listening socket as that uid's.
// Needs root (tests run as root) and setpriv; otherwise skipReason() says why it could not start and the test
// should skip with it.
class ForeignListener final {
public:
    ForeignListener();
    ~ForeignListener();
    ForeignListener(const ForeignListener&) = delete;
    ForeignListener& operator=(const ForeignListener&) = delete;

    // Empty when the server runs; otherwise why it does not.
    QString skipReason() const { return m_skipReason; }
    int port() const { return m_port; }
    uint uid() const { return m_uid; }

    // One request the server received.
    struct Request {
        std::string method;
        std::string target; // path and query as sent
        std::string body;
        std::string authorization; // empty when the header was absent
    };
    // Every request received so far, asked of the server (runs the event loop until it answers, 20 s at most).
    std::vector<Request> requests();

private:
    bool readLine(QByteArray& line, int timeoutMs);

    QTemporaryDir m_dir;
    std::unique_ptr<QProcess> m_process;
    QString m_skipReason;
    int m_port = -1;
    uint m_uid = 0;
};

} // namespace zqt::test
