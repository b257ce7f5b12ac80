#include "accountturns.h"

AccountTurns::Turn::~Turn()
{
    if (m_turns)
        m_turns->release(m_userId);
}

std::optional<AccountTurns::Turn> AccountTurns::take(const QString& userId, std::chrono::milliseconds wait)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    Account& account = m_accounts[userId];
    if (account.held) {
        ++account.waiting;
        const bool free = m_released.wait_for(lock, wait, [this, &userId] { return !m_accounts[userId].held; });
        --m_accounts[userId].waiting;
        if (!free)
            return std::nullopt;
    }
    m_accounts[userId].held = true;
    return Turn(*this, userId);
}

void AccountTurns::release(const QString& userId)
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        Account& account = m_accounts[userId];
        account.held = false;
        if (account.waiting == 0)
            m_accounts.remove(userId);
    }
    m_released.notify_all();
}
