#include "display/ThemeMenu.h"

#include "display/Theme.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>

namespace zqt {

QMenu* addThemeMenu(QMenu& menu, Theme& theme) {
    QMenu* submenu = menu.addMenu(QStringLiteral("Theme"));
    submenu->setObjectName(QStringLiteral("themeMenu"));
    auto* group = new QActionGroup(submenu);
    group->setExclusive(true);
    for (ThemeChoice choice : {ThemeChoice::System, ThemeChoice::Light, ThemeChoice::Dark}) {
        QAction* action = submenu->addAction(themeChoiceName(choice));
        action->setCheckable(true);
        action->setChecked(theme.choice() == choice);
        action->setData(static_cast<int>(choice));
        group->addAction(action);
        // triggered, not toggled: a pick of the checked entry stays one action that changes nothing.
        QObject::connect(action, &QAction::triggered, &theme, [&theme, choice] { theme.setChoice(choice); });
    }
    QObject::connect(&theme, &Theme::choiceChanged, submenu, [group](ThemeChoice choice) {
        for (QAction* action : group->actions())
            action->setChecked(action->data().toInt() == static_cast<int>(choice));
    });
    return submenu;
}

} // namespace zqt
