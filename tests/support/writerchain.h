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
    // The store as ServiceProcess::database() names it, "sqlite:PATH".
    WriterChain(const QString& database, int writers, std::chrono::milliseconds hold);
    ~WriterChain();
    WriterChain(const WriterChain&) = delete;
    WriterChain& operator=(const WriterChain&) = delete;

    // Whether the last writer has committed.
    bool done() const { return m_done; }

private:
    std::thread m_thread;
    std::atomic<bool> m_done{false};
};
