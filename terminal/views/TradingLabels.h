#pragma once

#include "core/TradingTerms.h"
#include "terminal/PanelRows.h"
#include "terminal/views/Badge.h"

#include <QColor>
#include <QList>
#include <QString>

#include <optional>

namespace zqt {

// How the trading words read and look on screen. The ticket's pickers, the tape and the ladder show sides and
// order types in capitals as traders write them ("BUY", "LIMIT"), and the book pressure as "Bid", "Ask" or
// "Neutral".
QString sideLabel(Side side);
QString orderTypeLabel(OrderType type);
QString pressureLabel(BookPressure pressure);

// The pickers' choices, in their order, and the value behind a label (none for another text).
const QList<Side>& allSides();
const QList<OrderType>& allOrderTypes();
std::optional<Side> sideForLabel(const QString& label);
std::optional<OrderType> orderTypeForLabel(const QString& label);

// Bid pressure green, ask pressure red, neutral grey.
BadgeTone pressureTone(BookPressure pressure);
// The book imbalance: green above 0.08, red below -0.08, grey from -0.08 to 0.08 inclusive.
BadgeTone imbalanceTone(double imbalance);
// A tape delta: green from 0 up, red below.
BadgeTone deltaTone(double delta);
// The palette colour of a drawn shape's ink, at `opacity`.
QColor inkColor(Ink ink, double opacity);

} // namespace zqt
