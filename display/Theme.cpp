#include "display/Theme.h"

#include <QApplication>
#include <QStyle>
#include <QWidget>

#include <array>
#include <utility>

namespace zqt {

namespace {

// The colours a widget may have copied into its own palette (a label's text), each with its counterpart: the
// status colours and the secondary text.
std::array<std::pair<QColor, QColor>, 4> statusPairs(const ColorSet& from, const ColorSet& to) {
    return {{{from.positive, to.positive},
             {from.negative, to.negative},
             {from.warning, to.warning},
             {from.palette.color(QPalette::PlaceholderText), to.palette.color(QPalette::PlaceholderText)}}};
}

// Widgets that set a status or secondary colour on their own palette keep it across an application palette change; they
// take the new set's colour here, in the same pass, so nothing shows a colour of the set left behind until its next
// update. Other roles they set are theirs and stay.
void carryStatusColours(const ColorSet& from, const ColorSet& to) {
    const auto pairs = statusPairs(from, to);
    for (QWidget* widget : QApplication::allWidgets()) {
        QPalette palette = widget->palette();
        bool touched = false;
        for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
            if (!(palette.resolveMask() & (QPalette::ResolveMask(1) << role)))
                continue;
            for (const auto& [old, replacement] : pairs) {
                if (palette.color(QPalette::Active, role) == old) {
                    palette.setColor(role, replacement);
                    touched = true;
                    break;
                }
            }
        }
        if (touched)
            widget->setPalette(palette);
    }
}

} // namespace

QString themeChoiceName(ThemeChoice choice) {
    switch (choice) {
    case ThemeChoice::System:
        return QStringLiteral("System");
    case ThemeChoice::Light:
        return QStringLiteral("Light");
    case ThemeChoice::Dark:
        return QStringLiteral("Dark");
    }
    return QStringLiteral("System");
}

std::optional<ThemeChoice> themeChoiceFromName(const QString& name) {
    for (ThemeChoice choice : {ThemeChoice::System, ThemeChoice::Light, ThemeChoice::Dark}) {
        if (name == themeChoiceName(choice))
            return choice;
    }
    return std::nullopt;
}

Theme::Theme(QObject* parent)
    : QObject(parent), m_light(lightColors(QApplication::style()->standardPalette())), m_darkSet(darkColors()) {
    setActiveColors(m_light);
    QApplication::setPalette(m_light.palette);
}

void Theme::setChoice(ThemeChoice choice) {
    if (choice == m_choice)
        return;
    m_choice = choice;
    apply();
    emit choiceChanged(choice);
}

void Theme::setSystemPrefersDark(bool dark) {
    if (dark == m_systemDark)
        return;
    m_systemDark = dark;
    apply();
}

void Theme::apply() {
    const bool dark = m_choice == ThemeChoice::Dark || (m_choice == ThemeChoice::System && m_systemDark);
    if (dark == m_dark)
        return;
    m_dark = dark;
    const ColorSet& from = dark ? m_light : m_darkSet;
    const ColorSet& to = dark ? m_darkSet : m_light;
    setActiveColors(to);
    QApplication::setPalette(to.palette);
    carryStatusColours(from, to);
    emit changed();
}

} // namespace zqt
