#pragma once

#include "display/Palette.h"

#include <QObject>
#include <QString>

#include <optional>

namespace zqt {

// What the operator picked: follow the desktop, or always light, or always dark.
enum class ThemeChoice { System, Light, Dark };

// Its stored and shown name ("System", "Light", "Dark"), and back; nothing for any other text.
QString themeChoiceName(ThemeChoice choice);
std::optional<ThemeChoice> themeChoiceFromName(const QString& name);

// The one owner of the program's look: the operator's choice, the desktop's preference (fed by whoever reads it,
// see DesktopColorScheme), and the colour set that follows from both. Applying a set installs its palette as the
// application palette, so every widget and dialog repaints from it in one pass, and makes it the set the
// display's colour functions return. Main thread only; needs a QApplication.
class Theme final : public QObject {
    Q_OBJECT

public:
    // Takes the application's palette as it stands as the light look, and applies the light set.
    explicit Theme(QObject* parent = nullptr);

    ThemeChoice choice() const { return m_choice; }
    // Applies the set the choice resolves to; emits choiceChanged and, when the look changes, changed().
    void setChoice(ThemeChoice choice);
    // The desktop prefers a dark look; read under System only.
    bool systemPrefersDark() const { return m_systemDark; }
    void setSystemPrefersDark(bool dark);

    // The look in force: the choice, with System resolved by the desktop's preference.
    bool isDark() const { return m_dark; }
    const ColorSet& colors() const { return activeColors(); }

signals:
    void choiceChanged(zqt::ThemeChoice choice);
    // The look changed; the new palette is already installed.
    void changed();

private:
    void apply();

    ThemeChoice m_choice = ThemeChoice::System;
    bool m_systemDark = false;
    bool m_dark = false;
    ColorSet m_light;
    ColorSet m_darkSet;
};

} // namespace zqt
