#pragma once

#include <chrono>
#include <functional>

struct sqlite3;

// While it lives, a statement on the SQLite connection that needs the store's write lock, which another connection
// of this process or of another one holds, waits for it no longer than the time given and no longer than its
// device stays: the statement then fails as SQLite fails one it gave up on. Once it goes, the connection waits for
// the lock as long as its address lets every statement wait (StoreAddress).
class WriteLockWait
{
public:
    WriteLockWait(sqlite3* handle, std::chrono::milliseconds wait, const std::function<bool()>& abandoned);
    ~WriteLockWait();
    WriteLockWait(const WriteLockWait&) = delete;
    WriteLockWait& operator=(const WriteLockWait&) = delete;

private:
    // SQLite's busy handler: whether to try for the lock again, after a short sleep.
    static int tryAgain(void* wait, int tries);

    sqlite3* m_handle;
    std::chrono::steady_clock::time_point m_deadline;
    const std::function<bool()>& m_abandoned;
};
