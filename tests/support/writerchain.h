#pragma once

#include <QString>

#include <atomic>
#include <chrono>
#include <thread>

// Other writers of a service's SQLite store, one after another on a thread of their own as another service process's
// syncs would be: each takes the store's writing, holds it for a while and commits a row of sign-ups. The first holds
// it once the object is made; the last has committed once it is gone.
class WriterChain
{
public:
    using Clock = std::chrono::steady_clock;

    // The store as ServiceProcess::database() names it, "sqlite:PATH".
    WriterChain(const QString& database, int writers, std::chrono::milliseconds hold);
    ~WriterChain();
    WriterChain(const WriterChain&) = delete;
    WriterChain& operator=(const WriterChain&) = delete;

    // Whether the last writer has committed.
    bool done() const { return m_done; }
    // When the last writer committed, once it has.
    Clock::time_point lastCommit();

private:
    std::thread m_thread;
    Clock::time_point m_lastCommit;
    std::atomic<bool> m_done{false};
};
