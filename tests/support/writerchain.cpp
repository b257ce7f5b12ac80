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
        // Each writer takes the store's writing in the same call that the one before lets go of it, so that another
        // connection that tries for it meanwhile finds it free only by chance.
        const QByteArray write = "begin immediate; insert into signups (received, address) values ('now', 'w')";
        const QByteArray next = "commit; " + write;
        sqlite3_exec(db, write.constData(), nullptr, nullptr, nullptr);
        first.set_value();
        for (int i = 1; i <= writers; ++i) {
            std::this_thread::sleep_for(hold);
            sqlite3_exec(db, i < writers ? next.constData() : "commit", nullptr, nullptr, nullptr);
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
