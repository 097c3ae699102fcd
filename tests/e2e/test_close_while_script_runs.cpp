// The real program on a virtual display, closed the way a window manager closes it while the engine's start
// script hangs: the program stores its window's geometry, leaves at once, and the script goes on by itself, in a
// session of its own, printing as much as it likes.
#include "control/Preferences.h"
#include "control/Settings.h"

#include "EngineHome.h"
#include "TestEnv.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <signal.h>
#include <unistd.h>

using zqt::test::EngineHome;
using zqt::test::readFile;
using zqt::test::TempEnv;
using zqt::test::waitUntil;

namespace {

// Generous: the test build runs under AddressSanitizer on a small, shared machine.
constexpr int kStartDeadlineMs = 120000;
// Well under the minute the program used to wait for a running script before it exited.
constexpr int kExitDeadlineMs = 30000;

struct XcbDeleter {
    void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
};
struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using Reply = std::unique_ptr<T, FreeDeleter>;

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    const Reply<xcb_intern_atom_reply_t> r(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(strlen(name)), name), nullptr));
    return r ? r->atom : XCB_ATOM_NONE;
}

// Sends WM_DELETE_WINDOW, as a window manager does for the close button, to every mapped top-level window of
// process `pid`. Returns how many windows got it.
int closeWindowsOf(qint64 pid) {
    std::unique_ptr<xcb_connection_t, XcbDeleter> c(xcb_connect(nullptr, nullptr));
    if (!c || xcb_connection_has_error(c.get()))
        return 0;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c.get())).data->root;
    const xcb_atom_t netWmPid = atom(c.get(), "_NET_WM_PID");
    const xcb_atom_t protocols = atom(c.get(), "WM_PROTOCOLS");
    const xcb_atom_t deleteWindow = atom(c.get(), "WM_DELETE_WINDOW");

    const Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c.get(), xcb_query_tree(c.get(), root), nullptr));
    if (!tree)
        return 0;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    int closed = 0;
    for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
        const xcb_window_t w = children[i];
        const Reply<xcb_get_property_reply_t> owner(xcb_get_property_reply(
            c.get(), xcb_get_property(c.get(), 0, w, netWmPid, XCB_ATOM_CARDINAL, 0, 1), nullptr));
        if (!owner || xcb_get_property_value_length(owner.get()) != 4 ||
            *static_cast<const uint32_t*>(xcb_get_property_value(owner.get())) != pid)
            continue;
        const Reply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(c.get(), xcb_get_window_attributes(c.get(), w), nullptr));
        if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE)
            continue;
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = w;
        event.type = protocols;
        event.data.data32[0] = deleteWindow;
        event.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(c.get(), 0, w, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
        ++closed;
    }
    xcb_flush(c.get());
    return closed;
}

// Exists and is not a zombie.
bool alive(pid_t pid) {
    if (::kill(pid, 0) != 0)
        return false;
    const QByteArray stat = readFile(QStringLiteral("/proc/%1/stat").arg(pid));
    const qsizetype paren = stat.lastIndexOf(')');
    return paren > 0 && stat.size() > paren + 2 && stat[paren + 2] != 'Z';
}

} // namespace

namespace {

// The real program over preferences that name `engine` as the home, with auto-start on and free ports.
class Program {
public:
    explicit Program(const EngineHome& engine) {
        zqt::Preferences prefs;
        prefs.setString(zqt::Settings::key(zqt::Setting::Home), engine.path());
        prefs.setBool(zqt::Settings::key(zqt::Setting::AutoStart), true);
        prefs.setString(zqt::Settings::key(zqt::Setting::Host), QStringLiteral("127.0.0.1"));
        for (const zqt::Setting port : {zqt::Setting::Port, zqt::Setting::MarketingPort, zqt::Setting::PortalPort})
            prefs.setString(zqt::Settings::key(port), QString::number(zqt::test::freePort()));
        prefs.sync();

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("ZQT_TRACE_FIRST_PAINT"), QStringLiteral("1"));
        environment.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
        environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("qt.webenginecontext.info=false"));
        process.setProcessEnvironment(environment);
        QObject::connect(&process, &QProcess::readyReadStandardError,
                         [this] { errors += process.readAllStandardError(); });
        process.start(QStringLiteral(ZQT_DESKTOP_BINARY), {});
    }
    ~Program() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(10000);
        }
    }

    QProcess process;
    QByteArray errors;
};

} // namespace

TEST(CloseWhileScriptRuns, windowClosedBeforeTheStartScriptPrints_theScriptPrintsForSecondsAndCompletes) {
    TempEnv env;
    // The start script waits at the gate until the window is gone, then prints for about 3 s on both streams
    // and writes its marker: on a pipe whose reader has gone, its first echo would have killed it.
    EngineHome engine(env.path(QStringLiteral("engine")));
    engine.makeGate();
    engine.writeScript(QStringLiteral("app_up.sh"),
                       "echo $$ >> daemon.pids\n"
                       "echo $$ > up.pid\n"
                       "read -r _ < gate\n"
                       "for i in $(seq 1 30); do echo \"starting $i\"; echo \"warning $i\" >&2; sleep 0.1; done\n"
                       "echo done > up.marker\n");
    Program program(engine);

    ASSERT_TRUE(waitUntil([&] { return program.errors.contains("zqt-first-paint-ms"); }, kStartDeadlineMs))
        << program.errors.toStdString();
    ASSERT_TRUE(
        waitUntil([&] { return readFile(engine.file(QStringLiteral("up.pid"))).endsWith('\n'); }, kStartDeadlineMs));
    ASSERT_EQ(closeWindowsOf(program.process.processId()), 1);
    ASSERT_TRUE(waitUntil([&] { return program.process.state() == QProcess::NotRunning; }, kExitDeadlineMs));
    EXPECT_EQ(program.process.exitCode(), 0) << program.errors.toStdString();

    ASSERT_TRUE(waitUntil([&] { return engine.tryOpenGate(); }));
    EXPECT_TRUE(waitUntil([&] { return readFile(engine.file(QStringLiteral("up.marker"))) == "done\n"; }, 60000))
        << "the start script died before its end";
    // All it printed is in its output file under the program's state folder.
    const QString outputs = env.home() + QStringLiteral("/.local/state/zqt-desktop/script-output");
    const QStringList files = QDir(outputs).entryList({QStringLiteral("*-start.log")}, QDir::Files);
    ASSERT_EQ(files.size(), 1) << outputs.toStdString();
    const QByteArray text = readFile(outputs + u'/' + files.front());
    EXPECT_TRUE(text.startsWith("starting 1\nwarning 1\n")) << text.left(200).toStdString();
    EXPECT_TRUE(text.endsWith("starting 30\nwarning 30\n")) << text.right(200).toStdString();
}

TEST(CloseWhileScriptRuns, windowClosedDuringAHangingStart_programExitsAtOnceAndTheScriptGoesOn) {
    TempEnv env;
    // The start script records its pid (for the engine home's clean-up, which kills it) and then hangs.
    EngineHome engine(env.path(QStringLiteral("engine")));
    engine.writeScript(QStringLiteral("app_up.sh"), "echo $$ >> daemon.pids\n"
                                                    "echo $$ > up.pid\n"
                                                    "exec sleep 600\n");
    Program run(engine);
    QProcess& program = run.process;
    const QByteArray& errors = run.errors;

    // The window is up and the auto-start's script hangs.
    ASSERT_TRUE(waitUntil([&] { return errors.contains("zqt-first-paint-ms"); }, kStartDeadlineMs))
        << errors.toStdString();
    ASSERT_TRUE(
        waitUntil([&] { return readFile(engine.file(QStringLiteral("up.pid"))).endsWith('\n'); }, kStartDeadlineMs));
    const pid_t script = readFile(engine.file(QStringLiteral("up.pid"))).trimmed().toInt();
    ASSERT_GT(script, 0);
    ASSERT_TRUE(alive(script));

    ASSERT_EQ(closeWindowsOf(program.processId()), 1);
    QDeadlineTimer deadline(kExitDeadlineMs);
    ASSERT_TRUE(waitUntil([&] { return program.state() == QProcess::NotRunning; }, kExitDeadlineMs))
        << "still running with its window closed";
    EXPECT_FALSE(deadline.hasExpired());
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0) << errors.toStdString();
    EXPECT_FALSE(errors.contains("Destroyed while process")) << errors.toStdString();
    // The close stored the window's size and place for the next run.
    const QJsonObject stored = QJsonDocument::fromJson(readFile(zqt::Preferences::filePath())).object();
    EXPECT_FALSE(stored.value(QLatin1String(zqt::Settings::kWindowGeometryKey)).toString().isEmpty());

    // The script was neither killed nor waited for, and it runs apart from this test's session and group.
    EXPECT_TRUE(alive(script));
    EXPECT_NE(::getsid(script), ::getsid(0));
    EXPECT_NE(::getpgid(script), ::getpgid(0));
}
