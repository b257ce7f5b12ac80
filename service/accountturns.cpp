#include "accountturns.h"

bool AccountTurns::take(const QString& userId, std::chrono::milliseconds wait, std::optional<Turn>& turn)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    Account& account = m_accounts[userId];
    if (account.held) {
        ++account.waiting;
        const bool free = m_released.wait_for(lock, wait, [this, &userId] { return !m_accounts[userId].held; });
        --m_accounts[userId].waiting;
        if (!free)
            return false;
    }
    m_accounts[userId].held = true;
    turn.emplace(*this, userId);
    return true;
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
