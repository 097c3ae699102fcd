#include "EngineHarness.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>

#include <csignal>
#include <filesystem>

namespace zqt::test {

EngineHarness::EngineHarness() : m_home(m_temp.path("engine")) {
    std::filesystem::copy(ZQT_DEMO_HOME_DIR, m_home.toStdString(),
                          std::filesystem::copy_options::recursive | std::filesystem::copy_options::copy_symlinks);
    // A fresh storage folder, whatever the build tree's copy holds.
    QDir(storage()).removeRecursively();
    QDir().mkpath(storage());
    m_env = {
        {"ZQT_HOME", m_home},
        {"ZQT_STORAGE", storage()},
        {"ZQT_DB", storage() + "/db.sqlite"},
        {"ZQT_HOST", "127.0.0.1"},
        {"ZQT_PORT", QString::number(freePort())},
        {"ZQT_DEMO", "1"},
        {"ZQT_EXECUTION_MODE", "DRY_RUN"},
        {"ZQT_BROKER_MODE", "SIM_BROKER"},
        {"ZQT_PUBLIC_PRICES", "1"},
        {"ZQT_SEED_DEMO", "1"},
        {"ZQT_START_MARKETING", "1"},
        {"ZQT_MARKETING_PORT", QString::number(freePort())},
        {"ZQT_START_PORTAL", "1"},
        {"ZQT_PORTAL_PORT", QString::number(freePort())},
        {"ZQT_DEMO_SEED", "42"},
        {"ZQT_DEMO_TICK_MS", "20"},
    };
}

EngineHarness::~EngineHarness() {
    const long long p = pid();
    if (p > 0) {
        down();
        if (::kill(static_cast<pid_t>(p), 0) == 0 && pid() == p)
            ::kill(static_cast<pid_t>(p), SIGKILL);
    }
}

QString EngineHarness::runScript(const QString& script, const std::map<QString, QString>& env) {
    QProcess proc;
    QProcessEnvironment pe = QProcessEnvironment::systemEnvironment();
    for (const auto& [k, v] : env)
        pe.insert(k, v);
    proc.setProcessEnvironment(pe);
    proc.setProcessChannelMode(QProcess::MergedChannels);
    proc.start("/bin/bash", {"-lc", "cd \"" + m_home + "\" && ./scripts/" + script});
    if (!proc.waitForFinished(60000)) {
        proc.kill();
        proc.waitForFinished();
        return "script timed out: " + QString::fromUtf8(proc.readAll());
    }
    return QString::fromUtf8(proc.readAll());
}

QString EngineHarness::up() {
    return runScript("app_up.sh", m_env);
}
QString EngineHarness::down() {
    return runScript("app_down.sh", {{"ZQT_HOME", m_home}});
}

nlohmann::json EngineHarness::runtimePorts() const {
    const QByteArray text = readFile(storage() + "/runtime_ports.json");
    return nlohmann::json::parse(text.toStdString(), nullptr, false);
}

int EngineHarness::port() const {
    const nlohmann::json ports = runtimePorts();
    return ports.is_object() && ports.contains("port") && ports["port"].is_number_integer() ? ports["port"].get<int>()
                                                                                            : -1;
}

long long EngineHarness::pid() const {
    bool ok = false;
    const long long p = QString::fromUtf8(readFile(storage() + "/web.pid")).trimmed().toLongLong(&ok);
    return ok ? p : 0;
}

std::string EngineHarness::log(const QString& name) const {
    return readFile(storage() + "/logs/" + name + ".log").toStdString();
}

std::unique_ptr<httplib::Client> EngineHarness::client() const {
    auto c = std::make_unique<httplib::Client>("127.0.0.1", port());
    c->set_tcp_nodelay(true);
    c->set_connection_timeout(5, 0);
    c->set_read_timeout(30, 0);
    return c;
}

std::string EngineHarness::login() {
    const auto res = client()->Post("/api/login", "email=demo%40zqt.local&password=demo-pass-1",
                                    "application/x-www-form-urlencoded");
    if (!res || res->status != 200) {
        ADD_FAILURE() << "sign-in failed: " << (res ? std::to_string(res->status) + " " + res->body : "no reply")
                      << "\n"
                      << log("web");
        return {};
    }
    const auto j = nlohmann::json::parse(res->body, nullptr, false);
    return j.is_object() && j.contains("token") && j["token"].is_string() ? j["token"].get<std::string>()
                                                                          : std::string();
}

} // namespace zqt::test
