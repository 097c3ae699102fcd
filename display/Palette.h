#pragma once

#include <QColor>
#include <QPalette>

namespace zqt {

// The colours the program draws with beyond the widget palette, in one light and one dark set. The free
// functions below read the active set, which the theme (display/Theme) switches; everything else reads them
// there, at paint or update time, so a switch needs no restart.
struct ColorSet {
    bool dark = false;
    // Gains, buys and bids; losses, sells and asks; warnings (a feed that is down). Used as text too, so each
    // reads at 4.5:1 or more on the set's window and base colours.
    QColor positive;
    QColor negative;
    QColor warning;
    // Neutral marks (dividers, neutral readouts that are drawn rather than written).
    QColor neutral;
    // Tints of highlighted rows, translucent.
    QColor midRow;      // the book's mid level
    QColor selectedRow; // a picked row
    // Fill of the chosen button of a one-of-several choice (a checked segment). Invalid keeps the style's own
    // pressed shade, which is plain enough on a light button but all but vanishes on a dark one.
    QColor chosenFill;
    // Chart bars, lines and overlays (marks, not text: the light set keeps its brighter bar colours).
    QColor chartUp;
    QColor chartDown;
    QColor chartGray;
    QColor chartBlue;
    QColor chartOrange;
    QColor chartAmber;
    QColor chartSkyBlue;
    QColor chartTeal;
    QColor chartPink;
    QColor chartCyan;
    // Text on a filled chart tag (the last close on chartUp or chartDown, the crosshair's value on chartGray).
    QColor chartOnTag;
    // The widget palette of the set.
    QPalette palette;
};

// The light set: the look the program has always had; its palette is `base` (the style's own) with a secondary
// text dark enough to read.
ColorSet lightColors(const QPalette& base);
// The dark set: colours chosen for a dark background.
ColorSet darkColors();

// The set the free functions read; the light set over a default palette until setActiveColors() is called.
const ColorSet& activeColors();
void setActiveColors(const ColorSet& colors);

// The active set's status colours.
QColor positiveColor();
QColor negativeColor();
QColor warningColor();
// Secondary text: the palette's placeholder colour.
QColor secondaryTextColor(const QPalette& palette);

QColor neutralColor();
QColor midRowColor();
QColor selectedRowColor();
QColor chosenFillColor();

// `color` with its alpha set to `opacity` (0 to 1).
QColor withOpacity(QColor color, double opacity);

// Relative luminance and contrast ratio of two opaque colours (1 to 21), as the WCAG define them.
double relativeLuminance(const QColor& color);
double contrastRatio(const QColor& a, const QColor& b);
// `over` (translucent) composited onto the opaque `under`.
QColor composite(const QColor& over, const QColor& under);

} // namespace zqt
