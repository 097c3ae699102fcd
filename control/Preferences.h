#pragma once

#include <QString>
#include <QVariant>

#include <memory>
#include <optional>

class QSettings;

namespace zqt {

// The per-user preferences store: one JSON object in $XDG_CONFIG_HOME/zqt/desktop-control.json
// ($HOME/.config/zqt/desktop-control.json when XDG_CONFIG_HOME is unset or empty), kept by QSettings through a
// registered JSON format so strings and booleans stay apart and an absent key is distinct from a stored false.
//
// The file holds the engine sign-in token, so it is created 0600 and kept so. Saves go through QSettings' atomic
// QSaveFile path (temp file, fsync, rename). A file that is not a JSON object is moved aside to
// desktop-control.json.corrupt (or .corrupt.1, .corrupt.2, ...) before anything is written, so it is never lost;
// so is one over kMaxBytes, or an entry that is not a regular file (a named pipe or a device is never read).
//
// The program opens it once, at its entry, and reaches it through the settings owner (control/Settings). Should
// several instances be open at once in one process, QSettings shares one cache per file, so a write through one
// is seen by the others at once.
class Preferences final {
public:
    // Opens the store at the path the environment gives now (see filePath()).
    Preferences();
    // Opens the store at an explicit path (tests).
    explicit Preferences(const QString& path);
    ~Preferences();
    Preferences(const Preferences&) = delete;
    Preferences& operator=(const Preferences&) = delete;

    // The path resolved from XDG_CONFIG_HOME / HOME at the time of the call.
    static QString filePath();

    QString path() const { return m_path; }

    bool contains(const QString& key) const;
    // The stored value with its JSON type (QString, bool, double, ...); invalid when absent.
    QVariant value(const QString& key) const;
    // Set only when the key holds a JSON string.
    std::optional<QString> string(const QString& key) const;
    // Set only when the key holds a JSON true/false.
    std::optional<bool> boolean(const QString& key) const;
    // A switch read the way the platform store reads one: absent -> fallback; a boolean as stored; a number is
    // true when non-zero; a string is true when it starts (after blanks and an optional sign) with 't', 'T', 'y',
    // 'Y' or a digit 1-9 ("true", "YES", "1"), false otherwise ("false", "no", "0").
    bool readBool(const QString& key, bool fallback) const;
    // A text setting read the way the platform store reads one: absent -> fallback; a string as stored; a number
    // as its shortest decimal text (a hand-written port 8000 reads "8000"); anything else -> fallback.
    QString readText(const QString& key, const QString& fallback) const;

    void setString(const QString& key, const QString& value);
    void setBool(const QString& key, bool value);
    void remove(const QString& key);
    // Writes pending changes now and re-asserts mode 0600. False when the file could not be written; lastError()
    // then says why ("No space left on device", ...). The values stay in memory either way, for the next try.
    bool sync();
    // Why the last sync() failed; empty after one that succeeded.
    QString lastError() const { return m_lastError; }

    // Largest preferences file read, in bytes.
    static constexpr qint64 kMaxBytes = 1024 * 1024;

private:
    void open();

    QString m_path;
    QString m_lastError;
    std::unique_ptr<QSettings> m_settings;
};

} // namespace zqt
