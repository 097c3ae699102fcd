#include "control/Preferences.h"
#include "control/Settings.h"

#include "QtPrinters.h"
#include "TestEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <functional>
#include <iostream>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using zqt::Preferences;
using zqt::test::readFile;
using zqt::test::TempEnv;
using zqt::test::writeFile;

namespace {

mode_t fileMode(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return 0;
    return st.st_mode & 07777;
}

QJsonObject jsonObjectAt(const QString& path) {
    const QJsonDocument doc = QJsonDocument::fromJson(readFile(path));
    EXPECT_TRUE(doc.isObject()) << readFile(path).toStdString();
    return doc.object();
}

class PreferencesTest : public ::testing::Test {
protected:
    TempEnv env;
    QString expectedPath() const { return env.configHome() + "/zqt/desktop-control.json"; }
};

} // namespace

TEST_F(PreferencesTest, filePath_followsXdgConfigHomeThenHome) {
    EXPECT_EQ(Preferences::filePath(), expectedPath());
    env.setVar("XDG_CONFIG_HOME", std::nullopt);
    EXPECT_EQ(Preferences::filePath(), env.home() + "/.config/zqt/desktop-control.json");
    env.setVar("XDG_CONFIG_HOME", QByteArray());
    EXPECT_EQ(Preferences::filePath(), env.home() + "/.config/zqt/desktop-control.json");
    env.setVar("XDG_CONFIG_HOME", QFile::encodeName(env.path("elsewhere")));
    EXPECT_EQ(Preferences::filePath(), env.path("elsewhere") + "/zqt/desktop-control.json");
}

TEST_F(PreferencesTest, firstSave_createsOwnerOnlyJsonObjectWithTypedMembers) {
    {
        Preferences prefs;
        EXPECT_EQ(prefs.path(), expectedPath());
        prefs.setString(zqt::Settings::key(zqt::Setting::Host), "0.0.0.0");
        prefs.setBool(zqt::Settings::key(zqt::Setting::AutoStart), false);
        prefs.setString(zqt::Settings::kTokenKey, "secret-token");
        ASSERT_TRUE(prefs.sync());
        EXPECT_EQ(fileMode(expectedPath()), 0600u);
    }
    const QJsonObject o = jsonObjectAt(expectedPath());
    EXPECT_EQ(o.size(), 3);
    EXPECT_TRUE(o.value("zqtHost").isString());
    EXPECT_EQ(o.value("zqtHost").toString(), "0.0.0.0");
    EXPECT_TRUE(o.value("zqtAutoStart").isBool());
    EXPECT_FALSE(o.value("zqtAutoStart").toBool());
    EXPECT_EQ(o.value("zqtToken").toString(), "secret-token");
    EXPECT_EQ(fileMode(expectedPath()), 0600u);
}

TEST_F(PreferencesTest, absentFalseAndFalseString_readBackAsThreeDifferentThings) {
    {
        Preferences prefs;
        prefs.setBool(zqt::Settings::key(zqt::Setting::DemoMode), false);
        prefs.setString(zqt::Settings::key(zqt::Setting::StartPortal), "false");
    }
    Preferences prefs; // a fresh read of the file
    EXPECT_FALSE(prefs.contains(zqt::Settings::key(zqt::Setting::AutoStart)));
    EXPECT_FALSE(prefs.boolean(zqt::Settings::key(zqt::Setting::AutoStart)).has_value());
    EXPECT_FALSE(prefs.string(zqt::Settings::key(zqt::Setting::AutoStart)).has_value());

    EXPECT_TRUE(prefs.contains(zqt::Settings::key(zqt::Setting::DemoMode)));
    EXPECT_EQ(prefs.boolean(zqt::Settings::key(zqt::Setting::DemoMode)), std::optional<bool>(false));
    EXPECT_FALSE(prefs.string(zqt::Settings::key(zqt::Setting::DemoMode)).has_value());

    EXPECT_TRUE(prefs.contains(zqt::Settings::key(zqt::Setting::StartPortal)));
    EXPECT_FALSE(prefs.boolean(zqt::Settings::key(zqt::Setting::StartPortal)).has_value());
    EXPECT_EQ(prefs.string(zqt::Settings::key(zqt::Setting::StartPortal)), std::optional<QString>("false"));
}

TEST_F(PreferencesTest, remove_makesKeyAbsentInFile) {
    {
        Preferences prefs;
        prefs.setString(zqt::Settings::kTokenKey, "t");
        prefs.setString(zqt::Settings::key(zqt::Setting::Port), "8010");
        prefs.sync();
        prefs.remove(zqt::Settings::kTokenKey);
    }
    const QJsonObject o = jsonObjectAt(expectedPath());
    EXPECT_FALSE(o.contains("zqtToken"));
    EXPECT_EQ(o.value("zqtPort").toString(), "8010");
}

TEST_F(PreferencesTest, twoInstances_seeEachOthersWritesAtOnce) {
    Preferences a;
    Preferences b;
    a.setString(zqt::Settings::kTokenKey, "from-a");
    EXPECT_EQ(b.string(zqt::Settings::kTokenKey), std::optional<QString>("from-a"));
}

TEST_F(PreferencesTest, existingLooseFile_isTightenedToOwnerOnlyOnSave) {
    ASSERT_TRUE(writeFile(expectedPath(), R"({"zqtPort":"9000"})"));
    QFile::setPermissions(expectedPath(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                                              QFileDevice::ReadOther);
    Preferences prefs;
    EXPECT_EQ(prefs.string(zqt::Settings::key(zqt::Setting::Port)), std::optional<QString>("9000"));
    prefs.setString(zqt::Settings::kTokenKey, "t");
    ASSERT_TRUE(prefs.sync());
    EXPECT_EQ(fileMode(expectedPath()), 0600u);
}

TEST_F(PreferencesTest, save_replacesFileAtomicallyInsteadOfRewritingInPlace) {
    const QByteArray before = R"({"zqtPort":"9000"})";
    ASSERT_TRUE(writeFile(expectedPath(), before));
    // A reader holding the old file keeps seeing it whole: the new content arrives by rename, never by
    // truncating and rewriting the file a reader (or a crash) could catch half-written.
    const int fd = ::open(QFile::encodeName(expectedPath()).constData(), O_RDONLY);
    ASSERT_GE(fd, 0);
    {
        Preferences prefs;
        prefs.setString(zqt::Settings::key(zqt::Setting::Host), QString(4096, 'h'));
        ASSERT_TRUE(prefs.sync());
    }
    QByteArray old(before.size() + 16, '\0');
    const ssize_t n = ::pread(fd, old.data(), old.size(), 0);
    ::close(fd);
    ASSERT_EQ(n, before.size());
    old.resize(n);
    EXPECT_EQ(old, before);
    const QJsonObject o = jsonObjectAt(expectedPath());
    EXPECT_EQ(o.value("zqtPort").toString(), "9000");
    EXPECT_EQ(o.value("zqtHost").toString().size(), 4096);
    // No temporary file left next to it.
    const QStringList entries = QDir(QFileInfo(expectedPath()).absolutePath()).entryList(QDir::Files);
    EXPECT_EQ(entries, QStringList{"desktop-control.json"});
}

class PreferencesCorruptTest : public PreferencesTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(PreferencesCorruptTest, openNonObjectFile_keepsItAsCorruptAndStartsEmpty) {
    const QByteArray content = GetParam();
    ASSERT_TRUE(writeFile(expectedPath(), content));
    {
        Preferences prefs;
        EXPECT_FALSE(prefs.contains(zqt::Settings::key(zqt::Setting::Port)));
        prefs.setString(zqt::Settings::key(zqt::Setting::Port), "8000");
        ASSERT_TRUE(prefs.sync());
    }
    EXPECT_EQ(readFile(expectedPath() + ".corrupt"), content);
    EXPECT_EQ(jsonObjectAt(expectedPath()).value("zqtPort").toString(), "8000");
    EXPECT_EQ(fileMode(expectedPath()), 0600u);
}

INSTANTIATE_TEST_SUITE_P(NotAnObject, PreferencesCorruptTest,
                         ::testing::Values("not json at all", "[1, 2, 3]", "\"zqtHome\"", "42", "true", "null",
                                           "{\"zqtPort\": \"8000\"", "{\"a\":1} trailing", "\xff\xfe{}"));

TEST_F(PreferencesTest, secondCorruptFile_takesNextFreeName) {
    ASSERT_TRUE(writeFile(expectedPath() + ".corrupt", "first"));
    ASSERT_TRUE(writeFile(expectedPath() + ".corrupt.1", "second"));
    ASSERT_TRUE(writeFile(expectedPath(), "third"));
    Preferences prefs;
    EXPECT_EQ(readFile(expectedPath() + ".corrupt"), "first");
    EXPECT_EQ(readFile(expectedPath() + ".corrupt.1"), "second");
    EXPECT_EQ(readFile(expectedPath() + ".corrupt.2"), "third");
}

TEST_F(PreferencesTest, blankFile_isTreatedAsEmptyStoreNotCorrupt) {
    ASSERT_TRUE(writeFile(expectedPath(), " \n"));
    Preferences prefs;
    EXPECT_FALSE(QFileInfo::exists(expectedPath() + ".corrupt"));
}

TEST_F(PreferencesTest, fileReplacedWithGarbageWhileOpen_isKeptAsideOnSync) {
    Preferences prefs;
    prefs.setString(zqt::Settings::key(zqt::Setting::Port), "8000");
    ASSERT_TRUE(prefs.sync());
    ASSERT_TRUE(writeFile(expectedPath(), "garbage written by someone else"));
    prefs.setString(zqt::Settings::key(zqt::Setting::Port), "8001");
    prefs.sync();
    EXPECT_EQ(readFile(expectedPath() + ".corrupt"), "garbage written by someone else");
    EXPECT_EQ(jsonObjectAt(expectedPath()).value("zqtPort").toString(), "8001");
}

TEST_F(PreferencesTest, readBool_readsSwitchesLikeThePlatformStore) {
    const struct {
        QByteArray json; // the stored member value
        bool fallback;
        bool expected;
    } cases[] = {
        {"", true, true},          {"", false, false},         {"true", false, true},    {"false", true, false},
        {"\"true\"", false, true}, {"\"false\"", true, false}, {"\"YES\"", false, true}, {"\"no\"", true, false},
        {"\"1\"", false, true},    {"\"0\"", true, false},     {"\"\"", true, false},    {"1", false, true},
        {"0", true, false},        {"\" +007\"", false, true}, {"null", true, true},     {"[true]", true, false},
    };
    for (const auto& c : cases) {
        TempEnv local;
        const QByteArray file = c.json.isEmpty() ? QByteArray("{}") : "{\"zqtAutoStart\": " + c.json + "}";
        ASSERT_TRUE(writeFile(Preferences::filePath(), file));
        Preferences prefs;
        EXPECT_EQ(prefs.readBool(zqt::Settings::key(zqt::Setting::AutoStart), c.fallback), c.expected)
            << "stored " << c.json.toStdString() << " fallback " << c.fallback;
    }
}

TEST_F(PreferencesTest, readText_readsTextSettingsLikeThePlatformStore) {
    const struct {
        QByteArray json; // the stored member value
        QString expected;
    } cases[] = {
        {"", "fallback"}, {"\"8001\"", "8001"}, {"\"\"", ""},         {"8001", "8001"},           {"8001.0", "8001"},
        {"80.5", "80.5"}, {"true", "fallback"}, {"null", "fallback"}, {"[\"8001\"]", "fallback"},
    };
    for (const auto& c : cases) {
        TempEnv local;
        const QByteArray file = c.json.isEmpty() ? QByteArray("{}") : "{\"zqtPort\": " + c.json + "}";
        ASSERT_TRUE(writeFile(Preferences::filePath(), file));
        Preferences prefs;
        EXPECT_EQ(prefs.readText(zqt::Settings::key(zqt::Setting::Port), "fallback"), c.expected)
            << "stored " << c.json.toStdString();
    }
}

// Entries at the preferences path that the store cannot keep are moved aside, never read (a named pipe would make
// the start wait for ever, /dev/zero would fill the memory), and the store starts empty.
TEST(PreferencesUnreadable, entriesTheStoreCannotKeep_areSetAsideWithoutBeingRead) {
    const QByteArray object = R"({"zqtPort":"9000"})";
    const qint64 limit = Preferences::kMaxBytes;
    const struct {
        const char* name;
        std::function<bool(const QString& file)> make;
        bool setAside;
    } cases[] = {
        {"JSON object of exactly 1 MiB",
         [&](const QString& f) { return writeFile(f, object + QByteArray(limit - object.size(), ' ')); }, false},
        {"JSON object one byte over 1 MiB",
         [&](const QString& f) { return writeFile(f, object + QByteArray(limit - object.size() + 1, ' ')); }, true},
        {"named pipe", [](const QString& f) { return ::mkfifo(QFile::encodeName(f).constData(), 0600) == 0; }, true},
        {"symlink to /dev/zero", [](const QString& f) { return QFile::link("/dev/zero", f); }, true},
        {"folder", [](const QString& f) { return QDir().mkpath(f); }, true},
        {"sparse 2 GiB file",
         [&](const QString& f) {
             QFile file(f);
             return file.open(QIODevice::WriteOnly) && file.write(object) == object.size() && file.resize(2LL << 30);
         },
         true},
    };
    for (const auto& c : cases) {
        TempEnv env;
        const QString file = Preferences::filePath();
        ASSERT_TRUE(QDir().mkpath(QFileInfo(file).absolutePath()));
        ASSERT_TRUE(c.make(file)) << c.name;
        Preferences prefs;
        const QFileInfo setAside(file + ".corrupt");
        EXPECT_EQ(setAside.exists() || setAside.isSymLink(), c.setAside) << c.name;
        EXPECT_EQ(prefs.string("zqtPort").has_value(), !c.setAside) << c.name;
        prefs.setString("zqtHost", "127.0.0.1");
        EXPECT_TRUE(prefs.sync()) << c.name;
        EXPECT_EQ(jsonObjectAt(file).value("zqtHost").toString(), "127.0.0.1") << c.name;
    }
}

namespace {

// A small tmpfs mounted over `folder` for the object's lifetime, where this process may mount (root).
class SmallFileSystem final {
public:
    SmallFileSystem(const QString& folder, unsigned long flags, const char* options)
        : m_folder(QFile::encodeName(folder)) {
        QDir().mkpath(folder);
        m_mounted = ::mount("tmpfs", m_folder.constData(), "tmpfs", flags, options) == 0;
    }
    ~SmallFileSystem() {
        if (m_mounted)
            ::umount2(m_folder.constData(), MNT_DETACH);
    }
    bool mounted() const { return m_mounted; }
    bool remount(unsigned long flags, const char* options) const {
        return ::mount("tmpfs", m_folder.constData(), "tmpfs", MS_REMOUNT | flags, options) == 0;
    }

private:
    QByteArray m_folder;
    bool m_mounted = false;
};

// Writes until the file system is full.
void fill(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return;
    const QByteArray block(4096, 'x');
    while (f.write(block) == block.size() && f.flush()) {
    }
}

} // namespace

TEST_F(PreferencesTest, failedSave_isReportedWithItsReasonAndTheValuesStayForTheNextSave) {
    const QString folder = QFileInfo(expectedPath()).absolutePath();
    std::unique_ptr<SmallFileSystem> fs;
    struct Case {
        const char* name;
        bool mounted;                  // the folder is a small file system of its own (root only)
        std::function<bool()> breakIt; // makes saving fail
        std::function<void()> repair;  // makes it work again
        const char* reason;
        bool earlierSaveSurvives; // the file on disk still holds the last good save meanwhile
    };
    const Case cases[] = {
        {"folder replaced by a file", false,
         [&] { return QDir(folder).removeRecursively() && writeFile(folder, "not a folder"); },
         [&] {
             QFile::remove(folder);
             QDir().mkpath(folder);
         },
         "Not a directory", false},
        {"disk full", true,
         [&] {
             fill(folder + "/filler");
             return true;
         },
         [&] { QFile::remove(folder + "/filler"); }, "No space left on device", true},
        {"read-only file system", true, [&] { return fs->remount(MS_RDONLY, "size=64k"); },
         [&] { fs->remount(0, "size=64k"); }, "Read-only file system", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs.reset();
        QDir(folder).removeRecursively();
        if (c.mounted) {
            fs = std::make_unique<SmallFileSystem>(folder, 0, "size=64k");
            if (!fs->mounted()) {
                std::cout << "[ SKIPPED  ] " << c.name << ": cannot mount a file system here\n";
                continue;
            }
        }
        {
            Preferences prefs;
            zqt::Settings settings(prefs);
            QSignalSpy changed(&settings, &zqt::Settings::saveErrorChanged);
            settings.set(zqt::Setting::Port, QStringLiteral("8123"));
            settings.save();
            ASSERT_TRUE(settings.saveError().isEmpty());

            ASSERT_TRUE(c.breakIt());
            settings.set(zqt::Setting::Port, QStringLiteral("8124"));
            settings.setToken(QStringLiteral("token-kept-in-memory"));
            EXPECT_EQ(settings.saveError(), QStringLiteral("Settings could not be saved: ") + c.reason);
            settings.save();
            EXPECT_EQ(settings.saveError(), QStringLiteral("Settings could not be saved: ") + c.reason);
            EXPECT_FALSE(prefs.sync());
            EXPECT_EQ(prefs.lastError(), c.reason);
            EXPECT_EQ(changed.count(), 1);
            EXPECT_EQ(settings.token(), "token-kept-in-memory") << "a failed save signs nobody out";
            if (c.earlierSaveSurvives)
                EXPECT_EQ(jsonObjectAt(expectedPath()).value("zqtPort").toString(), "8123")
                    << "the file was replaced by a cut one";

            c.repair();
            settings.save();
            EXPECT_TRUE(settings.saveError().isEmpty());
            EXPECT_EQ(changed.count(), 2);
        }
        const QJsonObject o = jsonObjectAt(expectedPath());
        EXPECT_EQ(o.value("zqtPort").toString(), "8124");
        EXPECT_EQ(o.value("zqtToken").toString(), "token-kept-in-memory");
        EXPECT_EQ(fileMode(expectedPath()), 0600u);
    }
    fs.reset();
}
