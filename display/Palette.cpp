#include "display/Palette.h"

#include <cmath>
#include <memory>

namespace zqt {

namespace {

std::unique_ptr<ColorSet>& activeSlot() {
    static std::unique_ptr<ColorSet> active;
    return active;
}

double linear(double channel) {
    return channel <= 0.03928 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

} // namespace

ColorSet lightColors(const QPalette& base) {
    ColorSet set;
    set.dark = false;
    // Text colours a shade deeper than the chart's bars, so that they reach 4.5:1 on the window colour and on a
    // tinted row too.
    set.positive = QColor(0x14, 0x6c, 0x2e);
    set.negative = QColor(0xb9, 0x1c, 0x1c);
    set.warning = QColor(0x9a, 0x4d, 0x00);
    set.neutral = QColor(0x8e, 0x8e, 0x93);
    set.midRow = withOpacity(QColor(0xf5, 0xc5, 0x18), 0.2);
    set.selectedRow = withOpacity(QColor(0x1e, 0x78, 0xe6), 0.2);
    set.chartUp = QColor(0x2e, 0xa0, 0x43);
    set.chartDown = QColor(0xe0, 0x3e, 0x3e);
    set.chartGray = QColor(0x8e, 0x8e, 0x93);
    set.chartBlue = QColor(0x1f, 0x6f, 0xeb);
    set.chartOrange = QColor(0xe8, 0x86, 0x1a);
    set.chartAmber = QColor(0xff, 0x95, 0x00);
    set.chartSkyBlue = QColor(0x0a, 0x84, 0xff);
    set.chartTeal = QColor(0x30, 0xb0, 0xc7);
    set.chartPink = QColor(0xff, 0x2d, 0x55);
    set.chartCyan = QColor(0x32, 0xad, 0xe6);
    // Black: white reads at under 4.5:1 on the bar colours (3.4:1 on the green).
    set.chartOnTag = QColor(0x00, 0x00, 0x00);
    set.palette = base;
    // The styles' own placeholder is the text at half opacity, about 4:1 on white, and their selection blue
    // carries white text at under 4:1.
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        set.palette.setColor(group, QPalette::PlaceholderText, QColor(0x5f, 0x5f, 0x66));
        set.palette.setColor(group, QPalette::Highlight, QColor(0x2a, 0x6f, 0xb0));
        set.palette.setColor(group, QPalette::HighlightedText, QColor(0xff, 0xff, 0xff));
    }
    return set;
}

ColorSet darkColors() {
    ColorSet set;
    set.dark = true;
    set.positive = QColor(0x3f, 0xb9, 0x50);
    set.negative = QColor(0xff, 0x7b, 0x72);
    set.warning = QColor(0xf0, 0x88, 0x3e);
    set.neutral = QColor(0x8b, 0x8b, 0x92);
    set.midRow = withOpacity(QColor(0xf5, 0xc5, 0x18), 0.16);
    set.selectedRow = withOpacity(QColor(0x3d, 0x8b, 0xf0), 0.28);
    // A muted blue, well apart from the buttons around it, under the same text colour.
    set.chosenFill = QColor(0x35, 0x52, 0x7d);
    set.chartUp = set.positive;
    set.chartDown = set.negative;
    set.chartGray = QColor(0x9a, 0x9a, 0xa1);
    set.chartBlue = QColor(0x58, 0xa6, 0xff);
    set.chartOrange = set.warning;
    set.chartAmber = QColor(0xff, 0xb3, 0x40);
    set.chartSkyBlue = QColor(0x40, 0x9c, 0xff);
    set.chartTeal = QColor(0x5a, 0xc8, 0xdb);
    set.chartPink = QColor(0xff, 0x5c, 0x7c);
    set.chartCyan = QColor(0x64, 0xc8, 0xf0);
    // The dark set's tag colours are light: its base colour reads on them, white does not.
    set.chartOnTag = QColor(0x16, 0x17, 0x1a);

    const QColor window(0x1f, 0x20, 0x23);
    const QColor base(0x16, 0x17, 0x1a);
    const QColor alternate(0x22, 0x23, 0x27);
    const QColor button(0x2b, 0x2d, 0x31);
    const QColor text(0xe6, 0xe6, 0xe9);
    const QColor secondary(0xa3, 0xa3, 0xab);
    const QColor disabled(0x80, 0x80, 0x88);
    const QColor highlight(0x2f, 0x6f, 0xd6);
    QPalette& p = set.palette;
    p = QPalette(text, button, button.lighter(140), QColor(0x10, 0x10, 0x12), button.darker(120), text, text, base,
                 window);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, alternate);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, button);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, QColor(0xff, 0xff, 0xff));
    p.setColor(QPalette::Highlight, highlight);
    p.setColor(QPalette::HighlightedText, QColor(0xff, 0xff, 0xff));
    p.setColor(QPalette::ToolTipBase, button);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, secondary);
    p.setColor(QPalette::Link, QColor(0x6c, 0xb6, 0xff));
    p.setColor(QPalette::LinkVisited, QColor(0xb3, 0x92, 0xf0));
    p.setColor(QPalette::Light, button.lighter(150));
    p.setColor(QPalette::Midlight, button.lighter(125));
    p.setColor(QPalette::Mid, button.darker(130));
    p.setColor(QPalette::Dark, button.darker(160));
    p.setColor(QPalette::Shadow, QColor(0x08, 0x08, 0x0a));
    for (QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::PlaceholderText})
        p.setColor(QPalette::Disabled, role, disabled);
    p.setColor(QPalette::Disabled, QPalette::Highlight, button.lighter(130));
    p.setColor(QPalette::Disabled, QPalette::HighlightedText, disabled);
    return set;
}

const ColorSet& activeColors() {
    std::unique_ptr<ColorSet>& slot = activeSlot();
    if (!slot)
        slot = std::make_unique<ColorSet>(lightColors(QPalette()));
    return *slot;
}

void setActiveColors(const ColorSet& colors) {
    activeSlot() = std::make_unique<ColorSet>(colors);
}

QColor positiveColor() {
    return activeColors().positive;
}

QColor negativeColor() {
    return activeColors().negative;
}

QColor warningColor() {
    return activeColors().warning;
}

QColor secondaryTextColor(const QPalette& palette) {
    return palette.color(QPalette::PlaceholderText);
}

QColor midRowColor() {
    return activeColors().midRow;
}

QColor selectedRowColor() {
    return activeColors().selectedRow;
}

QColor chosenFillColor() {
    return activeColors().chosenFill;
}

QColor neutralColor() {
    return activeColors().neutral;
}

QColor withOpacity(QColor color, double opacity) {
    color.setAlphaF(static_cast<float>(opacity));
    return color;
}

double relativeLuminance(const QColor& color) {
    const QColor rgb = color.toRgb();
    return 0.2126 * linear(rgb.redF()) + 0.7152 * linear(rgb.greenF()) + 0.0722 * linear(rgb.blueF());
}

double contrastRatio(const QColor& a, const QColor& b) {
    const double la = relativeLuminance(a);
    const double lb = relativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor composite(const QColor& over, const QColor& under) {
    const double a = over.alphaF();
    auto mix = [a](double top, double bottom) {
        return top * a + bottom * (1 - a);
    };
    return QColor::fromRgbF(static_cast<float>(mix(over.redF(), under.redF())),
                            static_cast<float>(mix(over.greenF(), under.greenF())),
                            static_cast<float>(mix(over.blueF(), under.blueF())));
}

} // namespace zqt
