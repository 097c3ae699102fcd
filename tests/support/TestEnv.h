#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <map>
#include <optional>

namespace zqt::test {

// Points HOME and the XDG folders at a fresh temporary folder for the lifetime of the object and restores
// the previous values afterwards, so no test ever touches the real user's files.
class TempEnv final {
public:
    TempEnv();
    ~TempEnv();
    TempEnv(const TempEnv&) = delete;
    TempEnv& operator=(const TempEnv&) = delete;

    bool isValid() const { return m_dir.isValid(); }
    // The temporary root; HOME is <root>/home.
    QString root() const { return m_dir.path(); }
    QString home() const;
    QString configHome() const; // XDG_CONFIG_HOME
    QString dataHome() const;   // XDG_DATA_HOME
    // Absolute path of a file below the root.
    QString path(const QString& relative) const;

    // Sets (or, with std::nullopt, unsets) an environment variable until this object is destroyed.
    void setVar(const char* name, std::optional<QByteArray> value);

private:
    void remember(const char* name);

    QTemporaryDir m_dir;
    std::map<QByteArray, std::optional<QByteArray>> m_saved;
};

// A TCP port on 127.0.0.1 that was free a moment ago (the kernel's choice).
int freePort();

// Runs the Qt event loop until `done` returns true or `timeoutMs` passes; returns the last value of `done`.
bool waitUntil(const std::function<bool()>& done, int timeoutMs = 5000);

// Writes `content` to `path`, creating parent folders. Returns false on failure.
bool writeFile(const QString& path, const QByteArray& content);
// Reads a whole file; empty when it cannot be read.
QByteArray readFile(const QString& path);

} // namespace zqt::test
