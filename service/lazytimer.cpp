#include "lazytimer.h"

boost::asio::steady_timer& LazyTimer::timer()
{
    if (!m_timer)
        m_timer = std::make_unique<boost::asio::steady_timer>(m_context);
    return *m_timer;
}

void LazyTimer::cancel()
{
    if (m_timer)
        m_timer->cancel();
}
