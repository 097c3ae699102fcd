#include "terminal/AccountModel.h"

#include "terminal/TerminalLink.h"

#include <utility>

namespace zqt {

AccountModel::AccountModel(TerminalLink& link, std::function<QDateTime()> clock, QObject* parent)
    : QObject(parent), m_link(link), m_clock(std::move(clock)) {
    if (!m_clock)
        m_clock = [] {
            return QDateTime::currentDateTime();
        };
}

template <class T, class Field>
void AccountModel::feed(AccountRead read, const endpoints::Read<T>& request, Field AccountModel::*field,
                        void (AccountModel::*changed)()) {
    m_link.get<T>(request, [this, read, field, changed](Result<T> r) {
        noteRead(read, r.ok());
        if (!r)
            return;
        this->*field = std::move(r).value();
        emit(this->*changed)();
    });
}

void AccountModel::noteRead(AccountRead read, bool ok) {
    ReadFreshness& f = m_freshness[static_cast<int>(read)];
    const bool wasStale = f.stale();
    if (ok)
        f.succeeded(m_clock());
    else
        f.failed();
    if (f.stale() != wasStale)
        emit freshnessChanged(read);
}

void AccountModel::refreshAccount() {
    using A = AccountModel;
    using R = AccountRead;
    feed(R::Metrics, endpoints::accountMetrics(), &A::m_metrics, &A::metricsChanged);
    feed(R::Portfolio, endpoints::portfolioSummary(), &A::m_portfolio, &A::portfolioChanged);
    feed(R::Positions, endpoints::openTrades(), &A::m_positions, &A::positionsChanged);
    feed(R::Orders, endpoints::orders(), &A::m_orders, &A::ordersChanged);
    feed(R::Fills, endpoints::recentTrades(), &A::m_fills, &A::fillsChanged);
    feed(R::Rm1, endpoints::rm1Latest(), &A::m_rm1, &A::rm1Changed);
}

void AccountModel::refreshAnalytics() {
    using A = AccountModel;
    using R = AccountRead;
    feed(R::Pnl, endpoints::pnlAttribution(), &A::m_pnl, &A::pnlChanged);
    feed(R::ExecQuality, endpoints::executionQuality(), &A::m_execQuality, &A::execQualityChanged);
}

void AccountModel::clear() {
    m_metrics.reset();
    m_portfolio = {};
    m_positions = {};
    m_orders = {};
    m_fills = {};
    m_rm1 = {};
    m_pnl = {};
    m_execQuality.reset();
    for (void (AccountModel::*changed)() :
         {&AccountModel::metricsChanged, &AccountModel::portfolioChanged, &AccountModel::positionsChanged,
          &AccountModel::ordersChanged, &AccountModel::fillsChanged, &AccountModel::rm1Changed,
          &AccountModel::pnlChanged, &AccountModel::execQualityChanged})
        emit(this->*changed)();
}

} // namespace zqt
