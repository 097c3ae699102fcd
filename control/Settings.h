#pragma once

#include "api/TokenStore.h"

#include <QList>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <array>
#include <optional>
#include <span>

namespace zqt {

class Preferences;

// The operator's settings, in the order they are saved: the twelve the engine's scripts and the window use, then
// the program's own.
enum class Setting {
    Home,
    Host,
    Port,
    DemoMode,
    ExecutionMode,
    BrokerMode,
    StartMarketing,
    MarketingPort,
    StartPortal,
    PortalPort,
    AutoStart,
    OperatorUnlocked,
    DesktopNotifications,
    NotionalLimit,
};
inline constexpr int kSettingCount = 14;

// One row of the settings table, the one place a setting is described: the key it is stored under, the JSON type
// it is stored as (a string or a boolean), its value when the key is absent, how the settings form shows it, and
// the start script's variable that carries it.
struct SettingSpec {
    Setting setting;
    const char* key;
    QMetaType::Type type;    // QMetaType::QString or QMetaType::Bool
    const char* textDefault; // text settings; nullptr for the home (Settings::primaryDefaultHome())
    bool boolDefault;        // switches
    // The settings form's row: its place (from 0; -1 when the form does not show the setting), its label, and for
    // a text setting picked from a list, the choices (each choice's value is its label). A switch shows as a check
    // box, a text with choices as a drop-down, any other text as a text field.
    int formRow;
    const char* label;
    std::span<const char* const> choices;
    // The start script's variable holding the value as it stands (a switch as "1" or "0"); nullptr when none.
    const char* environmentName;
};

// The one owner of the operator's settings: the table of keys, the current values, and their persistence in the
// preferences store. Built once by the program's entry, which reads every value (resolving the engine home) at
// construction. set() changes a value in memory and announces it; only save() writes the store. Main thread only.
//
// It is also the API client's token store: the sign-in token lands under "zqtToken" in the same file.
class Settings final : public QObject, public TokenStore {
    Q_OBJECT

public:
    // `store` must outlive the settings.
    explicit Settings(Preferences& store, QObject* parent = nullptr);
    ~Settings() override;

    // The key the sign-in token is stored under, beside the settings.
    static constexpr char kTokenKey[] = "zqtToken";
    // The key the window's size and place are stored under, beside the settings: what QWidget::saveGeometry()
    // gives, as base64 text.
    static constexpr char kWindowGeometryKey[] = "zqtWindowGeometry";
    // Longest stored geometry text read back, in characters; Qt's own blob is under 100 bytes.
    static constexpr qsizetype kWindowGeometryMaxText = 1024;
    // The key the terminal's layout is stored under: "page" or "workspace".
    static constexpr char kTerminalLayoutKey[] = "zqtTerminalLayout";
    // The key the workspace's arrangement is stored under: what QMainWindow::saveState() gives, as base64 text.
    static constexpr char kWorkspaceStateKey[] = "zqtWorkspaceState";
    // Longest stored arrangement text read back, in characters; Qt's own blob for the terminal's docks is a few
    // kilobytes.
    static constexpr qsizetype kWorkspaceStateMaxText = 64 * 1024;
    // The key the window's theme is stored under: one of kThemeNames.
    static constexpr char kThemeKey[] = "zqtTheme";
    static constexpr std::array<const char*, 3> kThemeNames = {"System", "Light", "Dark"};

    static std::span<const SettingSpec> table();
    static const SettingSpec& spec(Setting setting);
    // The rows the settings form shows, in the form's order.
    static QList<const SettingSpec*> formRows();
    // A picked setting's choices, in the table's order; empty for a free text or a switch.
    static QStringList choices(Setting setting);
    // The key a setting is stored under ("zqtHome", "zqtHost", ...).
    static const char* key(Setting setting) { return spec(setting).key; }
    // The value a setting takes when its key is absent: a QString or a bool.
    static QVariant defaultValue(Setting setting);
    // $HOME/.local/share/zqt/engine and $HOME/zqt.
    static QString primaryDefaultHome();
    static QString formerDefaultHome();
    // The engine home for a stored value (nothing when absent): the stored path when it holds
    // scripts/app_up.sh, except that the former default home yields to the primary one once that holds the
    // script too; the primary default home otherwise.
    static QString resolveHome(const std::optional<QString>& stored, const QString& primaryDefault,
                               const QString& formerDefault);

    // The current value: a QString for text settings, a bool for switches.
    QVariant value(Setting setting) const { return m_values[index(setting)]; }
    QString text(Setting setting) const { return value(setting).toString(); }
    bool flag(Setting setting) const { return value(setting).toBool(); }
    // Replaces a value. Does nothing for an equal value or one of another type; otherwise emits changed(setting).
    void set(Setting setting, const QVariant& value);
    // The value the preferences store holds for a setting now (its default when the key is absent): what a save
    // last wrote, or what the program found at start.
    QVariant storedValue(Setting setting) const;
    // Writes every key in table order, each time (no change detection), and flushes the file at once.
    void save();

    Preferences& store() { return m_store; }

    // The window geometry last stored; empty when none is, or when the stored value is not base64 text of at
    // most kWindowGeometryMaxText characters.
    QByteArray windowGeometry() const;
    // Stores a window geometry and writes the file at once.
    void setWindowGeometry(const QByteArray& geometry);

    // True when the terminal shows its workspace; the page otherwise (nothing stored, or anything but "workspace").
    bool workspaceLayout() const;
    // Stores the terminal's layout and writes the file at once.
    void setWorkspaceLayout(bool workspace);
    // The workspace's arrangement last stored; empty when none is, or when the stored value is not base64 text of
    // at most kWorkspaceStateMaxText characters.
    QByteArray workspaceState() const;
    // Stores the workspace's arrangement and writes the file at once.
    void setWorkspaceState(const QByteArray& state);
    // The theme last stored; "System" when none is, or when the stored value is not one of kThemeNames.
    QString theme() const;
    // Stores a theme (one of kThemeNames; anything else is ignored) and writes the file at once.
    void setTheme(const QString& theme);

    QString token() const override;
    void setToken(const QString& token) override;

    // "Settings could not be saved: <reason>" after a write of the preferences file (a save, the token, the
    // window geometry) failed; empty again after one succeeded. The values stay in memory either way.
    QString saveError() const { return m_saveError; }

signals:
    void changed(zqt::Setting setting);
    void saveErrorChanged();

private:
    static constexpr int index(Setting setting) { return static_cast<int>(setting); }
    // The bytes of base64 text stored under `key`, at most `maxText` characters; empty otherwise.
    QByteArray storedBytes(const char* key, qsizetype maxText) const;
    // Writes the store through and records the outcome in saveError.
    void flush();

    Preferences& m_store;
    std::array<QVariant, kSettingCount> m_values;
    QString m_saveError;
};

} // namespace zqt
