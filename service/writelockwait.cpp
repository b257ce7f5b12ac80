#include "writelockwait.h"

#include "storeaddress.h"

#include <sqlite3.h>

#include <algorithm>
#include <thread>

namespace {
// How long the wait sleeps before it tries for the lock again: short, so that it takes the lock soon after the writer
// before it lets go, and notices its device gone well within the 10 ms in which a sync's other waits do.
const std::chrono::milliseconds retryAfter(2);
} // namespace

WriteLockWait::WriteLockWait(sqlite3* handle, std::chrono::milliseconds wait, const std::function<bool()>& abandoned)
    : m_handle(handle), m_deadline(std::chrono::steady_clock::now() + wait), m_abandoned(abandoned)
{
    sqlite3_busy_handler(m_handle, &WriteLockWait::tryAgain, this);
}

WriteLockWait::~WriteLockWait()
{
    sqlite3_busy_timeout(m_handle, int(StoreAddress::sqliteWriterWait.count()));
}

int WriteLockWait::tryAgain(void* wait, int)
{
    const auto* self = static_cast<const WriteLockWait*>(wait);
    const auto left = self->m_deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero() || self->m_abandoned())
        return 0;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(retryAfter, left));
    return 1;
}
