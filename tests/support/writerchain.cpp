#include "writerchain.h"

#include <sqlite3.h>

#include <cstring>
#include <future>

WriterChain::WriterChain(const QString& database, int writers, std::chrono::milliseconds hold)
{
    std::promise<void> first;
    std::future<void> holding = first.get_future();
    const QByteArray path = database.mid(int(strlen("sqlite:"))).toUtf8();
    m_thread = std::thread([this, path, writers, hold, first = std::move(first)]() mutable {
        sqlite3* db = nullptr;
        sqlite3_open_v2(path.constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_busy_timeout(db, 30000);
        for (int i = 0; i < writers; ++i) {
            sqlite3_exec(db, "begin immediate; insert into signups (received, address) values ('now', 'w')", nullptr,
                         nullptr, nullptr);
            if (i == 0)
                first.set_value();
            std::this_thread::sleep_for(hold);
            sqlite3_exec(db, "commit", nullptr, nullptr, nullptr);
            m_lastCommit = Clock::now();
        }
        sqlite3_close(db);
        m_done = true;
    });
    holding.wait();
}

WriterChain::~WriterChain()
{
    if (m_thread.joinable())
        m_thread.join();
}

WriterChain::Clock::time_point WriterChain::lastCommit()
{
    if (m_thread.joinable())
        m_thread.join();
    return m_lastCommit;
}
