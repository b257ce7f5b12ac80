#include "accountturns.h"

namespace {
// How often a waiting sync looks whether its device is still there: nothing wakes it when the device goes.
const std::chrono::milliseconds abandonedCheck(10);
} // namespace

bool AccountTurns::take(const QString& userId, std::chrono::milliseconds wait, const std::function<bool()>& abandoned,
                        std::optional<Turn>& turn)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    Account& account = m_accounts[userId];
    if (account.held) {
        ++account.waiting;
        const auto deadline = std::chrono::steady_clock::now() + wait;
        bool free = false;
        while (!free && !abandoned() && std::chrono::steady_clock::now() < deadline)
            free = m_released.wait_for(lock,
                                       std::min<std::chrono::steady_clock::duration>(
                                           abandonedCheck, deadline - std::chrono::steady_clock::now()),
                                       [this, &userId] { return !m_accounts[userId].held; });
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
