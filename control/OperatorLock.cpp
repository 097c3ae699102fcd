#include "control/OperatorLock.h"

#include "control/Settings.h"

namespace zqt {

QString OperatorLock::builtInPasscode() {
    // Joined at run time so the whole passcode is not one literal in the binary.
    return QStringLiteral("zqt-") + QStringLiteral("operator");
}

QString OperatorLock::expectedPasscode() {
    if (qEnvironmentVariableIsSet("ZQT_OPERATOR_PASS"))
        return qEnvironmentVariable("ZQT_OPERATOR_PASS");
    return builtInPasscode();
}

bool OperatorLock::unlock(const QString& passcode) {
    if (passcode != expectedPasscode())
        return false;
    m_settings.set(Setting::OperatorUnlocked, true);
    m_settings.save();
    return true;
}

void OperatorLock::lock() {
    m_settings.set(Setting::OperatorUnlocked, false);
    m_settings.save();
}

} // namespace zqt
