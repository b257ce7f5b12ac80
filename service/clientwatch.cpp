#include "clientwatch.h"

#include "httpconnection.h"
#include "servicelog.h"

#include <algorithm>
#include <array>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace asio = boost::asio;
using State = HttpConnection::State;

ClientWatch::ClientWatch(HttpConnection& connection) : m_connection(connection) {}

void ClientWatch::watch()
{
    // What came before the watch began is looked at now; what comes after wakes it: bytes, or the client's FIN or
    // reset, seen even behind bytes not read yet.
    if (m_watching || !clientStays())
        return;
    m_watching = true;
    auto& socket = m_connection.stream().socket();
    socket.async_wait(asio::socket_base::wait_read,
                      m_connection.guarded([this](const boost::system::error_code& error) {
                          m_watching = false;
                          if (error || !watched())
                              return;
                          if (m_connection.state() == State::Working) {
                              // What a client sends after its request is no close; past the drain limit it is left
                              // unread.
                              std::array<char, 4096> scratch;
                              m_dropped += std::max<qint64>(recv(m_connection.stream().socket().native_handle(),
                                                                 scratch.data(), scratch.size(), MSG_DONTWAIT),
                                                            0);
                              if (m_dropped >= HttpConnection::maxDrained)
                                  return;
                          }
                          // Bytes of a request whose reading waits stay unread; the watch goes on for what comes behind
                          // them.
                          watch();
                      }));
}

bool ClientWatch::clientStays()
{
    if (hungUp()) {
        m_connection.close();
        qCDebug(lcTurns).noquote() << QString("the client of a request from %1 hung up: %2")
                                          .arg(m_connection.client().c_str(), m_connection.queued()
                                                                                  ? "its worker stops at its next page"
                                                                                  : "its places are free");
        return false;
    }
    boost::system::error_code ignored;
    if (m_connection.state() == State::Arriving && m_connection.stream().socket().available(ignored) > 0) {
        m_connection.turn().enterLine();
        return false;
    }
    return true;
}

bool ClientWatch::watched() const
{
    const State state = m_connection.state();
    return m_connection.room().waiting() || state == State::Arriving || state == State::InLine ||
           state == State::Working;
}

bool ClientWatch::hungUp() const
{
    tcp_info info{};
    socklen_t size = sizeof info;
    if (getsockopt(m_connection.stream().socket().native_handle(), IPPROTO_TCP, TCP_INFO, &info, &size) != 0)
        return true;
    return info.tcpi_state != TCP_ESTABLISHED;
}
