#pragma once

class QMenu;

namespace zqt {

class Theme;

// Adds a "Theme" submenu to `menu` with "System", "Light" and "Dark", exclusive and checkable, bound to `theme`
// both ways (a pick sets the choice; a choice set elsewhere moves the check). Returns the submenu.
QMenu* addThemeMenu(QMenu& menu, Theme& theme);

} // namespace zqt
