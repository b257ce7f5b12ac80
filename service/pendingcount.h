#pragma once

#include <QtGlobal>

#include <mutex>
#include <string>
#include <unordered_map>

// Requests of one kind that this process is storing at this moment, in all and per client address, with the bytes
// they add. A limit the store checks in its own statement sees only what is stored: each request counts the others
// under way as though they were stored too, so that requests checked at once never get past a limit together, while
// the lock covers these counts alone and no request waits for another's round trip to the store.
class PendingCount
{
public:
    // Counts one request while it lives; what the others under way hold is fixed when it starts.
    class Hold
    {
    public:
        Hold(PendingCount& count, std::string address, qint64 bytes = 0);
        ~Hold();
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

        int othersInAll() const { return m_othersInAll; }
        int othersFromAddress() const { return m_othersFromAddress; }
        qint64 othersBytes() const { return m_othersBytes; }

    private:
        PendingCount& m_count;
        std::string m_address;
        qint64 m_bytes;
        int m_othersInAll;
        int m_othersFromAddress;
        qint64 m_othersBytes;
    };

private:
    std::mutex m_mutex;
    int m_inAll = 0;
    qint64 m_bytes = 0;
    std::unordered_map<std::string, int> m_perAddress;
};
