#pragma once

#include "TestEnv.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <QProcessEnvironment>
#include <QString>

#include <map>
#include <memory>
#include <string>

namespace zqt::test {

// A copy of the built demo engine home in a temp folder, driven through its real scripts with a login shell,
// the way the desktop program runs them. Stops the engine (app_down.sh, then SIGKILL) when destroyed.
class EngineHarness final {
public:
    EngineHarness();
    ~EngineHarness();
    EngineHarness(const EngineHarness&) = delete;
    EngineHarness& operator=(const EngineHarness&) = delete;

    QString home() const { return m_home; }
    QString storage() const { return m_home + "/storage"; }
    // The start environment; tests change entries before up().
    std::map<QString, QString>& env() { return m_env; }
    int requestedPort() const { return m_env.at("ZQT_PORT").toInt(); }

    // Runs scripts/app_up.sh (or app_down.sh) and returns its combined output.
    QString up();
    QString down();
    QString runScript(const QString& script, const std::map<QString, QString>& env);

    // From storage/runtime_ports.json after up(); null when missing or not JSON.
    nlohmann::json runtimePorts() const;
    int port() const;      // the API port really bound
    long long pid() const; // from storage/web.pid, 0 when none
    std::string log(const QString& name) const;

    std::unique_ptr<httplib::Client> client() const;
    // Signs in as the seeded demo user; empty on failure.
    std::string login();
    httplib::Headers bearer(const std::string& token) const { return {{"Authorization", "Bearer " + token}}; }

private:
    TempEnv m_temp;
    QString m_home;
    std::map<QString, QString> m_env;
};

} // namespace zqt::test
