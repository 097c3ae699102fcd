#pragma once

#include "api/Endpoints.h"
#include "api/Records.h"
#include "terminal/ReadFreshness.h"

#include <QDateTime>
#include <QObject>

#include <array>
#include <functional>
#include <optional>

namespace zqt {

class TerminalLink;

// The account's reads, one per source the account panels show.
enum class AccountRead { Metrics, Portfolio, Positions, Orders, Fills, Rm1, Pnl, ExecQuality };
inline constexpr int kAccountReadCount = 8;

// The trading account as the engine last reported it: metrics, portfolio and positions, working orders, recent
// fills, RM1 signals and the analytics. Each list holds exactly what the last successful reply carried; a failed
// read keeps the previous one and marks it stale (see freshness). Every read is one declaration in refreshAccount
// or refreshAnalytics. Main thread only.
class AccountModel final : public QObject {
    Q_OBJECT

public:
    // `link` must outlive the account. `clock` tells the time of a good reply (the system clock unless given).
    explicit AccountModel(TerminalLink& link, std::function<QDateTime()> clock = {}, QObject* parent = nullptr);

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
    // Whether what the last good reply of `read` left is stale, and as of when.
    const ReadFreshness& freshness(AccountRead read) const { return m_freshness[static_cast<int>(read)]; }

    // Reads; each returns at once and its reply updates the state (see TerminalLink::get).
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
    // The staleness of `read` changed.
    void freshnessChanged(AccountRead read);

private:
    // One declared read: a good reply's record lands in `*field` and `changed` is emitted once; a failure keeps
    // the record. Either way `read`'s freshness records the outcome.
    template <class T, class Field>
    void feed(AccountRead read, const endpoints::Read<T>& request, Field AccountModel::*field,
              void (AccountModel::*changed)());
    void noteRead(AccountRead read, bool ok);

    TerminalLink& m_link;
    std::function<QDateTime()> m_clock;
    std::optional<MetricsResponse> m_metrics;
    PortfolioSummary m_portfolio;
    PositionsResponse m_positions;
    OrdersResponse m_orders;
    FillsResponse m_fills;
    RM1Response m_rm1;
    PnlAttributionResponse m_pnl;
    std::optional<ExecutionQualityResponse> m_execQuality;
    std::array<ReadFreshness, kAccountReadCount> m_freshness;
};

} // namespace zqt
