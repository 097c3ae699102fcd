#pragma once

#include <QIcon>

namespace zqt {

// The window's tab icons: the desktop's icon theme when it has a full-colour icon of the name, else a small
// drawing bundled with the program (the machine may have no icon theme at all).
class AppIcons final {
public:
    enum class Kind { Globe, Sparkles, Person, Bolt, Chart, Shield, Pulse, Document, Gear };

    static QIcon icon(Kind kind);
    // The bundled drawing alone, whatever the theme holds.
    static QIcon bundled(Kind kind);
    // The program's own icon: the installed one from the icon theme, else the bundled drawing.
    static QIcon application();
};

} // namespace zqt
