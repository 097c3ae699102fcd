#pragma once

#include "api/Records.h"

#include <QObject>

#include <optional>

namespace zqt {

class TerminalLink;

// The trading account as the engine last reported it: metrics, portfolio and positions, working orders, recent
// fills, RM1 signals and the analytics. Each list holds exactly what the last successful reply carried; a failed
// read keeps the previous one. Every read is one declaration in refreshAccount or refreshAnalytics. Main thread
// only.
class AccountModel final : public QObject {
    Q_OBJECT

public:
    // `link` must outlive the account.
    explicit AccountModel(TerminalLink& link, QObject* parent = nullptr);

    const std::optional<MetricsResponse>& metrics() const { return m_metrics; }
    const QList<PositionRow>& positions() const { return m_positions.positions; }
    const QList<ExposureRow>& exposure() const { return m_portfolio.exposure; }
    double totalUpl() const { return m_portfolio.total_upl; }
    const QList<OrderRow>& orders() const { return m_orders.orders; }
    const QList<FillRow>& fills() const { return m_fills.trades; }
    const QList<RM1Row>& rm1() const { return m_rm1.signals_; }
    const QList<PnlSymbolRow>& pnlRows() const { return m_pnl.symbols; }
    const QList<PnlExposureRow>& exposureRows() const { return m_pnl.exposure; }
    const std::optional<ExecutionQualityResponse>& execQuality() const { return m_execQuality; }

    // Reads; each returns at once and its reply updates the state (see TerminalLink::feed).
    void refreshAccount();   // metrics, portfolio, positions, orders, fills, RM1
    void refreshAnalytics(); // P&L attribution, execution quality
    // Back to what it holds before the first sign-in (after a sign-out): every read empty, each change announced.
    void clear();

signals:
    void metricsChanged();
    void portfolioChanged(); // exposure and totalUpl
    void positionsChanged();
    void ordersChanged();
    void fillsChanged();
    void rm1Changed();
    void pnlChanged(); // pnlRows and exposureRows
    void execQualityChanged();

private:
    TerminalLink& m_link;
    std::optional<MetricsResponse> m_metrics;
    PortfolioSummary m_portfolio;
    PositionsResponse m_positions;
    OrdersResponse m_orders;
    FillsResponse m_fills;
    RM1Response m_rm1;
    PnlAttributionResponse m_pnl;
    std::optional<ExecutionQualityResponse> m_execQuality;
};

} // namespace zqt
