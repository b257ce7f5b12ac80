#include "clientwatch.h"

#include "connectionsteps.h"
#include "transferrules.h"

#include <algorithm>
#include <array>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace asio = boost::asio;

ClientWatch::ClientWatch(ConnectionSteps& steps, Events& events, boost::beast::tcp_stream& stream)
    : m_steps(steps), m_events(events), m_stream(stream)
{
}

void ClientWatch::watch(Mode mode)
{
    m_mode = mode;
    // What came before the watch began is looked at now; what comes after wakes it: bytes, or the client's FIN or
    // reset, seen even behind bytes not read yet.
    if (m_waiting || !clientStays())
        return;
    m_waiting = true;
    auto& socket = m_stream.socket();
    socket.async_wait(asio::socket_base::wait_read, m_steps.guarded([this](const boost::system::error_code& error) {
        m_waiting = false;
        if (error || m_mode == Mode::Off)
            return;
        if (m_mode == Mode::AfterRequest) {
            // What a client sends after its request is no close; past the drop limit it is left unread.
            std::array<char, 4096> scratch;
            m_dropped += std::max<qint64>(
                recv(m_stream.socket().native_handle(), scratch.data(), scratch.size(), MSG_DONTWAIT), 0);
            if (m_dropped >= TransferRules::maxDropped)
                return;
        }
        // Bytes of a request whose reading waits stay unread; the watch goes on for what comes behind them.
        watch(m_mode);
    }));
}

bool ClientWatch::clientStays()
{
    if (hungUp()) {
        m_mode = Mode::Off;
        m_events.clientHungUp();
        return false;
    }
    boost::system::error_code ignored;
    if (m_mode == Mode::FirstBytes && m_stream.socket().available(ignored) > 0) {
        m_mode = Mode::Off;
        m_events.bodyBytesCame();
        return false;
    }
    return true;
}

bool ClientWatch::hungUp() const
{
    tcp_info info{};
    socklen_t size = sizeof info;
    if (getsockopt(m_stream.socket().native_handle(), IPPROTO_TCP, TCP_INFO, &info, &size) != 0)
        return true;
    return info.tcpi_state != TCP_ESTABLISHED;
}
