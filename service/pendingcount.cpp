#include "pendingcount.h"

PendingCount::Hold::Hold(PendingCount& count, std::string address, qint64 bytes)
    : m_count(count), m_address(std::move(address)), m_bytes(bytes)
{
    const std::lock_guard<std::mutex> lock(m_count.m_mutex);
    m_othersInAll = m_count.m_inAll++;
    m_othersFromAddress = m_count.m_perAddress[m_address]++;
    m_othersBytes = m_count.m_bytes;
    m_count.m_bytes += m_bytes;
}

PendingCount::Hold::~Hold()
{
    const std::lock_guard<std::mutex> lock(m_count.m_mutex);
    --m_count.m_inAll;
    m_count.m_bytes -= m_bytes;
    // An address with nothing under way is forgotten: the map holds the addresses storing at once, no more.
    if (const auto entry = m_count.m_perAddress.find(m_address); --entry->second == 0)
        m_count.m_perAddress.erase(entry);
}
