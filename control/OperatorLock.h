#pragma once

#include <QString>

namespace zqt {

class Settings;

// The operator lock over the sensitive sections of the window. Its state is the persisted `operatorUnlocked`
// setting; opening and closing it saves the settings at once, so the lock survives a restart.
class OperatorLock final {
public:
    // `settings` must outlive the lock.
    explicit OperatorLock(Settings& settings) : m_settings(settings) {}

    // Opens the lock and saves when `passcode` is exactly the expected one; false (nothing changed) otherwise.
    bool unlock(const QString& passcode);
    // Closes the lock and saves.
    void lock();

    // ZQT_OPERATOR_PASS when the environment holds it (even empty), else the built-in default.
    static QString expectedPasscode();
    static QString builtInPasscode();

private:
    Settings& m_settings;
};

} // namespace zqt
