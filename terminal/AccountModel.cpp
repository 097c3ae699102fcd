#include "terminal/AccountModel.h"

#include "terminal/TerminalLink.h"

namespace zqt {

AccountModel::AccountModel(TerminalLink& link, QObject* parent) : QObject(parent), m_link(link) {}

void AccountModel::refreshAccount() {
    using A = AccountModel;
    m_link.feed(*this, endpoints::accountMetrics(), &A::m_metrics, &A::metricsChanged);
    m_link.feed(*this, endpoints::portfolioSummary(), &A::m_portfolio, &A::portfolioChanged);
    m_link.feed(*this, endpoints::openTrades(), &A::m_positions, &A::positionsChanged);
    m_link.feed(*this, endpoints::orders(), &A::m_orders, &A::ordersChanged);
    m_link.feed(*this, endpoints::recentTrades(), &A::m_fills, &A::fillsChanged);
    m_link.feed(*this, endpoints::rm1Latest(), &A::m_rm1, &A::rm1Changed);
}

void AccountModel::refreshAnalytics() {
    using A = AccountModel;
    m_link.feed(*this, endpoints::pnlAttribution(), &A::m_pnl, &A::pnlChanged);
    m_link.feed(*this, endpoints::executionQuality(), &A::m_execQuality, &A::execQualityChanged);
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
