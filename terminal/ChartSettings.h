#pragma once

#include <QList>
#include <QObject>

namespace zqt {

// What the chart shows: the bar interval of the main and the higher-timeframe chart (kept above the bars), and the
// eleven switches of its overlays and sub-charts. Changing an interval changes which bars the market reads (the
// terminal's owner wires that). Main thread only.
class ChartSettings final : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    double candleInterval() const { return m_candleInterval; }
    double htfInterval() const { return m_htfInterval; }
    bool showEma() const { return m_showEma; }
    bool showVwap() const { return m_showVwap; }
    bool showVwapBands() const { return m_showVwapBands; }
    bool showSma50() const { return m_showSma50; }
    bool showSma200() const { return m_showSma200; }
    bool showBbands() const { return m_showBbands; }
    bool showVolume() const { return m_showVolume; }
    bool showRsi() const { return m_showRsi; }
    bool showMacd() const { return m_showMacd; }
    bool showHtf() const { return m_showHtf; }
    bool showGrid() const { return m_showGrid; }

    // The higher timeframes the chart offers, in seconds, ascending.
    static const QList<double>& htfChoices();

    // An interval must be a whole number of seconds from 1 up to 2^53; anything else, or the current value, is
    // ignored. A bar interval that leaves the higher timeframe at or below it moves that to the next choice above
    // (both fields change before either signal); with no choice above, the higher timeframe stays as it is.
    void setCandleInterval(double seconds);
    void setHtfInterval(double seconds);
    void setShowEma(bool v) { setSwitch(&ChartSettings::m_showEma, v); }
    void setShowVwap(bool v) { setSwitch(&ChartSettings::m_showVwap, v); }
    void setShowVwapBands(bool v) { setSwitch(&ChartSettings::m_showVwapBands, v); }
    void setShowSma50(bool v) { setSwitch(&ChartSettings::m_showSma50, v); }
    void setShowSma200(bool v) { setSwitch(&ChartSettings::m_showSma200, v); }
    void setShowBbands(bool v) { setSwitch(&ChartSettings::m_showBbands, v); }
    void setShowVolume(bool v) { setSwitch(&ChartSettings::m_showVolume, v); }
    void setShowRsi(bool v) { setSwitch(&ChartSettings::m_showRsi, v); }
    void setShowMacd(bool v) { setSwitch(&ChartSettings::m_showMacd, v); }
    void setShowHtf(bool v) { setSwitch(&ChartSettings::m_showHtf, v); }
    void setShowGrid(bool v) { setSwitch(&ChartSettings::m_showGrid, v); }

signals:
    void candleIntervalChanged();
    void htfIntervalChanged();
    void chartTogglesChanged(); // any of the show* switches

private:
    void setSwitch(bool ChartSettings::*field, bool v);

    double m_candleInterval = 15; // seconds per bar
    double m_htfInterval = 300;   // seconds per higher-timeframe bar
    bool m_showEma = true;
    bool m_showVwap = true;
    bool m_showVwapBands = true;
    bool m_showSma50 = true;
    bool m_showSma200 = false;
    bool m_showBbands = true;
    bool m_showVolume = true;
    bool m_showRsi = true;
    bool m_showMacd = true;
    bool m_showHtf = true;
    bool m_showGrid = true;
};

} // namespace zqt
