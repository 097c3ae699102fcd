// The engine's pid file and runtime ports file as someone hostile (or a broken engine) could leave them: every
// one is refused or read within a bounded amount of work, and a pid that another program now holds does not make
// the engine look as if it ran.
#include "control/RuntimePorts.h"
#include "control/ServiceManager.h"
#include "control/SmallFile.h"

#include "EngineHome.h"
#include "QtPrinters.h"
#include "TestEnv.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

using zqt::RuntimePorts;
using zqt::ServiceManager;
using zqt::SmallFile;
using zqt::test::EngineHome;
using zqt::test::TempEnv;
using zqt::test::writeFile;

namespace {

constexpr qint64 kLimit = 64 * 1024;

// Pads `content` with blanks and line feeds (which both readers skip) to exactly `size` bytes.
QByteArray padded(const QByteArray& content, qint64 size) {
    QByteArray out = content;
    while (out.size() < size)
        out.append(out.size() % 80 == 79 ? '\n' : ' ');
    return out;
}

// One way of leaving an entry at the path: `make` gets the path and the valid content of that file.
struct Hostile {
    const char* name;
    std::function<bool(const QString& path, const QByteArray& valid, TempEnv& env)> make;
    bool accepted; // the valid content is read as such
};

bool symlinkTo(const QString& target, const QString& path) {
    return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(path).constData()) == 0;
}

const Hostile kHostileFiles[] = {
    {"regular file", [](const QString& p, const QByteArray& v, TempEnv&) { return writeFile(p, v); }, true},
    {"symlink to a regular file",
     [](const QString& p, const QByteArray& v, TempEnv& env) {
         return writeFile(env.path("elsewhere"), v) && symlinkTo(env.path("elsewhere"), p);
     },
     true},
    {"exactly 64 KiB", [](const QString& p, const QByteArray& v, TempEnv&) { return writeFile(p, padded(v, kLimit)); },
     true},
    {"one byte over 64 KiB",
     [](const QString& p, const QByteArray& v, TempEnv&) { return writeFile(p, padded(v, kLimit + 1)); }, false},
    {"sparse 3 GiB file",
     [](const QString& p, const QByteArray& v, TempEnv&) {
         QFile f(p);
         return f.open(QIODevice::WriteOnly) && f.write(v) == v.size() && f.resize(3LL * 1024 * 1024 * 1024);
     },
     false},
    // Opening it for reading would wait for a writer for ever.
    {"named pipe",
     [](const QString& p, const QByteArray&, TempEnv&) {
         return ::mkfifo(QFile::encodeName(p).constData(), 0600) == 0;
     },
     false},
    // Never ends: a whole-file read would fill the memory.
    {"symlink to /dev/zero", [](const QString& p, const QByteArray&, TempEnv&) { return symlinkTo("/dev/zero", p); },
     false},
    {"symlink to /dev/urandom",
     [](const QString& p, const QByteArray&, TempEnv&) { return symlinkTo("/dev/urandom", p); }, false},
    {"symlink to /dev/null", [](const QString& p, const QByteArray&, TempEnv&) { return symlinkTo("/dev/null", p); },
     false},
    {"dangling symlink",
     [](const QString& p, const QByteArray&, TempEnv& env) { return symlinkTo(env.path("nothing-here"), p); }, false},
    {"folder", [](const QString& p, const QByteArray&, TempEnv&) { return QDir().mkpath(p); }, false},
    {"empty file", [](const QString& p, const QByteArray&, TempEnv&) { return writeFile(p, {}); }, false},
    {"binary",
     [](const QString& p, const QByteArray&, TempEnv&) {
         return writeFile(p, QByteArray::fromHex("7f454c46020101000000fffe0001"));
     },
     false},
    {"valid content then a NUL", [](const QString& p, const QByteArray& v, TempEnv&) { return writeFile(p, v + '\0'); },
     false},
};

class EngineFilesTest : public ::testing::Test {
protected:
    // Removes whatever the previous case left at `path`.
    static void clear(const QString& path) {
        QFile::remove(path);
        QDir(path).removeRecursively();
        ::unlink(QFile::encodeName(path).constData());
    }

    TempEnv env;
    EngineHome engine{env.path("engine")};
};

// A process started now; killed and reaped when the test ends.
struct Child {
    QProcess process;
    explicit Child(const QString& program = QStringLiteral("sleep"), const QStringList& args = {"300"}) {
        process.start(program, args);
        process.waitForStarted();
    }
    ~Child() {
        process.kill();
        process.waitForFinished();
    }
    QByteArray pid() const { return QByteArray::number(process.processId()); }
};

bool setModified(const QString& path, qint64 secondsFromNow) {
    timespec times[2]{};
    ::clock_gettime(CLOCK_REALTIME, &times[1]);
    times[1].tv_sec += secondsFromNow;
    times[0] = times[1];
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0;
}

} // namespace

TEST_F(EngineFilesTest, hostilePidFiles_areRefusedWithoutWaitingOrReadingMoreThan64KiB) {
    Child engineProcess;
    ASSERT_EQ(engineProcess.process.state(), QProcess::Running);
    const QString path = engine.file("storage/web.pid");
    for (const Hostile& c : kHostileFiles) {
        clear(path);
        clear(env.path("elsewhere"));
        ASSERT_TRUE(c.make(path, engineProcess.pid() + "\n", env)) << c.name;
        EXPECT_EQ(ServiceManager::isRunning(engine.path()), c.accepted) << c.name;
    }
}

TEST_F(EngineFilesTest, hostileRuntimePortsFiles_areRefusedWithoutWaitingOrReadingMoreThan64KiB) {
    const QString path = engine.file("storage/runtime_ports.json");
    for (const Hostile& c : kHostileFiles) {
        clear(path);
        clear(env.path("elsewhere"));
        ASSERT_TRUE(c.make(path, R"({"port": 8123})", env)) << c.name;
        const std::optional<RuntimePorts> ports = RuntimePorts::load(engine.path());
        EXPECT_EQ(ports.has_value(), c.accepted) << c.name;
        if (ports)
            EXPECT_EQ(ports->port, std::optional<QString>("8123")) << c.name;
    }
}

TEST_F(EngineFilesTest, smallFile_tellsWhyAFileWasRefused) {
    const QString path = env.path("probe");
    const struct {
        const char* name;
        std::function<bool()> make;
        SmallFile::Status expected;
    } cases[] = {
        {"missing", [] { return true; }, SmallFile::Status::Missing},
        {"regular file", [&] { return writeFile(path, "x"); }, SmallFile::Status::Read},
        {"named pipe", [&] { return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0; },
         SmallFile::Status::NotRegular},
        {"/dev/zero", [&] { return symlinkTo("/dev/zero", path); }, SmallFile::Status::NotRegular},
        {"over the limit", [&] { return writeFile(path, QByteArray(kLimit + 1, 'x')); }, SmallFile::Status::TooLarge},
    };
    for (const auto& c : cases) {
        clear(path);
        ASSERT_TRUE(c.make()) << c.name;
        EXPECT_EQ(SmallFile::read(path, kLimit).status, c.expected) << c.name;
    }
    // A path through a regular file, as when a folder the path names is a file.
    EXPECT_EQ(SmallFile::read(path + "/inside", kLimit).status, SmallFile::Status::Missing);
}

TEST_F(EngineFilesTest, garbagePids_meanNotRunning) {
    Child engineProcess;
    const QString path = engine.file("storage/web.pid");
    const QByteArray cases[] = {
        "-" + engineProcess.pid(),
        "0",
        "-1",
        "garbage",
        engineProcess.pid() + "garbage",
        "0x10",
        "  ",
        engineProcess.pid() + ".0",
        "1e5",
        "4294967296" + engineProcess.pid(),
    };
    for (const QByteArray& text : cases) {
        ASSERT_TRUE(writeFile(path, text));
        EXPECT_FALSE(ServiceManager::isRunning(engine.path())) << '"' << text.toStdString() << '"';
    }
}

TEST_F(EngineFilesTest, pidTakenOverByAnotherProgram_doesNotCountAsTheEngine) {
    Child live;
    const QString path = engine.file("storage/web.pid");
    ASSERT_TRUE(writeFile(path, live.pid() + "\n"));
    const struct {
        const char* name;
        qint64 modifiedFromNow; // seconds
        bool running;
    } cases[] = {
        {"written after the process started", 0, true},
        {"written an hour before the process started", -3600, false},
        {"written 10 s before the process started", -10, false},
        {"time stamp in the future (clock set back since)", 3600, true},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(setModified(path, c.modifiedFromNow)) << c.name;
        EXPECT_EQ(ServiceManager::isRunning(engine.path()), c.running) << c.name;
    }
}

TEST_F(EngineFilesTest, pidOfAnotherUsersProcess_doesNotCountAsTheEngine) {
    // As root, signal 0 reaches every process: the owner check is what tells. Otherwise a process of another user
    // (init, owned by root) cannot be signalled, which already means "not running".
    std::unique_ptr<Child> other;
    QByteArray pid = "1";
    if (::getuid() == 0) {
        const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
        if (setpriv.isEmpty())
            GTEST_SKIP() << "setpriv (util-linux) is needed to start a process as another user";
        other = std::make_unique<Child>(
            setpriv, QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", "sleep", "300"});
        ASSERT_EQ(other->process.state(), QProcess::Running);
        // setpriv has become sleep (same pid) once /proc shows the new owner.
        ASSERT_TRUE(zqt::test::waitUntil([&] {
            struct stat st {};
            return ::stat(QFile::encodeName("/proc/" + other->pid()).constData(), &st) == 0 && st.st_uid == 65534;
        }));
        pid = other->pid();
    }
    ASSERT_TRUE(writeFile(engine.file("storage/web.pid"), pid + "\n"));
    EXPECT_FALSE(ServiceManager::isRunning(engine.path()));

    // The same check passes for a process of this user.
    Child mine;
    ASSERT_TRUE(writeFile(engine.file("storage/web.pid"), mine.pid() + "\n"));
    EXPECT_TRUE(ServiceManager::isRunning(engine.path()));
}
