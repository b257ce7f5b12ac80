#pragma once

#include <QHash>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>

// Lets the syncs of one account through this process one at a time, on a store that writes one at a time. Run
// together, each would find at its end that another had written to the account meanwhile and would work its answer
// out again while holding the account, and with it the whole store's writing; one after another, none has to. A sync
// that does not get its turn in time gives its worker back. Any thread may use it.
class AccountTurns
{
public:
    class Turn
    {
    public:
        Turn(AccountTurns& turns, const QString& userId) : m_turns(turns), m_userId(userId) {}
        Turn(const Turn&) = delete;
        Turn& operator=(const Turn&) = delete;
        ~Turn() { m_turns.release(m_userId); }

    private:
        AccountTurns& m_turns;
        QString m_userId;
    };

    // Takes the account's turn into `turn` once the sync before it has ended; false when that takes longer than
    // `wait`, or the sync is `abandoned` meanwhile.
    bool take(const QString& userId, std::chrono::milliseconds wait, const std::function<bool()>& abandoned,
              std::optional<Turn>& turn);

private:
    void release(const QString& userId);

    struct Account
    {
        bool held = false;
        int waiting = 0;
    };

    std::mutex m_mutex;
    std::condition_variable m_released;
    // The accounts with a sync under way or waiting.
    QHash<QString, Account> m_accounts;
};
