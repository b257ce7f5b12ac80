#include "connectiongate.h"

#include "servicelog.h"
#include "socketstream.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string_view>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// A request head larger than this is refused; the body may be far larger.
const std::size_t maxHead = 64 * 1024;
// While no descriptor is free, the listener waits this long before it tries again instead of spinning.
const auto acceptPause = std::chrono::milliseconds(100);
const int tick = 250;

void setOption(int socket, int level, int name, int value)
{
    setsockopt(socket, level, name, &value, sizeof value);
}

bool setBlocking(int socket)
{
    const int flags = fcntl(socket, F_GETFL);
    return flags >= 0 && fcntl(socket, F_SETFL, flags & ~O_NONBLOCK) == 0;
}
} // namespace

ConnectionGate::ConnectionGate(const Limits& limits) : m_limits(limits), m_head(maxHead) {}

ConnectionGate::~ConnectionGate()
{
    for (const auto& [socket, waiting] : m_waiting)
        ::close(socket);
    if (m_epoll >= 0)
        ::close(m_epoll);
    if (m_listener >= 0)
        ::close(m_listener);
}

quint16 ConnectionGate::listen(const QHostAddress& address, quint16 port, QString& error)
{
    sockaddr_storage bound{};
    socklen_t length = 0;
    if (address.protocol() == QAbstractSocket::IPv4Protocol) {
        auto* ipv4 = reinterpret_cast<sockaddr_in*>(&bound);
        ipv4->sin_family = AF_INET;
        ipv4->sin_port = htons(port);
        ipv4->sin_addr.s_addr = htonl(address.toIPv4Address());
        length = sizeof *ipv4;
    } else {
        auto* ipv6 = reinterpret_cast<sockaddr_in6*>(&bound);
        ipv6->sin6_family = AF_INET6;
        ipv6->sin6_port = htons(port);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&ipv6->sin6_addr, &bytes, sizeof bytes);
        length = sizeof *ipv6;
    }
    m_listener = ::socket(bound.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_listener < 0) {
        error = std::strerror(errno);
        return 0;
    }
    setOption(m_listener, SOL_SOCKET, SO_REUSEADDR, 1);
    if (bound.ss_family == AF_INET6)
        setOption(m_listener, IPPROTO_IPV6, IPV6_V6ONLY, 0);
    m_epoll = epoll_create1(EPOLL_CLOEXEC);
    epoll_event listening{};
    listening.events = EPOLLIN;
    listening.data.fd = m_listener;
    if (::bind(m_listener, reinterpret_cast<const sockaddr*>(&bound), length) != 0 ||
        ::listen(m_listener, SOMAXCONN) != 0 || getsockname(m_listener, reinterpret_cast<sockaddr*>(&bound), &length) ||
        m_epoll < 0 || epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_listener, &listening) != 0) {
        error = std::strerror(errno);
        return 0;
    }
    return ntohs(bound.ss_family == AF_INET ? reinterpret_cast<const sockaddr_in*>(&bound)->sin_port
                                            : reinterpret_cast<const sockaddr_in6*>(&bound)->sin6_port);
}

void ConnectionGate::run(const HandOver& handOver)
{
    m_handOver = handOver;
    std::vector<epoll_event> events(256);
    for (;;) {
        const int ready = epoll_wait(m_epoll, events.data(), int(events.size()), tick);
        if (ready < 0 && errno != EINTR) {
            qCCritical(lcService) << "cannot wait for connections:" << std::strerror(errno);
            return;
        }
        for (int i = 0; i < ready; ++i) {
            if (events[i].data.fd == m_listener)
                acceptAll();
            else
                readHead(events[i].data.fd, events[i].events);
        }
        closeIdle();
        if (m_acceptPaused && Clock::now() >= m_acceptPausedUntil) {
            epoll_event listening{};
            listening.events = EPOLLIN;
            listening.data.fd = m_listener;
            m_acceptPaused = epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_listener, &listening) != 0;
        }
    }
}

void ConnectionGate::release(const std::string& peer)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_perPeer.find(peer);
    if (found != m_perPeer.end() && --found->second <= 0)
        m_perPeer.erase(found);
}

void ConnectionGate::acceptAll()
{
    for (;;) {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        const int socket =
            accept4(m_listener, reinterpret_cast<sockaddr*>(&address), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (socket < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
                pauseAccepting();
            return;
        }
        const std::string peer = SocketStream::addressText(address);
        if (admit(peer))
            wait(socket, peer);
        else
            ::close(socket);
    }
}

bool ConnectionGate::admit(const std::string& peer)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    int& count = m_perPeer[peer];
    if (count >= m_limits.perAddress)
        return false;
    ++count;
    return true;
}

void ConnectionGate::wait(int socket, const std::string& peer)
{
    // An answer is written as a head and a body: without this the body would wait for the client's delayed ACK.
    setOption(socket, IPPROTO_TCP, TCP_NODELAY, 1);
    m_waiting[socket] = Waiting{peer, Clock::now() + std::chrono::seconds(m_limits.idleSeconds)};
    epoll_event event{};
    // Edge-triggered: the head is only looked at, not read, so the next event must wait for new data.
    event.events = EPOLLIN | EPOLLRDHUP | EPOLLET;
    event.data.fd = socket;
    if (epoll_ctl(m_epoll, EPOLL_CTL_ADD, socket, &event) != 0)
        drop(socket);
}

void ConnectionGate::readHead(int socket, unsigned events)
{
    const auto waiting = m_waiting.find(socket);
    if (waiting == m_waiting.end())
        return;
    const ssize_t size = recv(socket, m_head.data(), m_head.size(), MSG_PEEK | MSG_DONTWAIT);
    if (size < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return;
    const bool complete =
        size > 0 && std::string_view(m_head.data(), std::size_t(size)).find("\r\n\r\n") != std::string_view::npos;
    if (complete) {
        const std::string peer = waiting->second.peer;
        m_waiting.erase(waiting);
        epoll_ctl(m_epoll, EPOLL_CTL_DEL, socket, nullptr);
        if (setBlocking(socket)) {
            m_handOver(socket, peer);
        } else {
            ::close(socket);
            release(peer);
        }
        return;
    }
    // Closed, failed, ended before its head was whole, or a head too large to be a request of ours.
    if (size <= 0 || std::size_t(size) == m_head.size() || (events & (EPOLLRDHUP | EPOLLHUP | EPOLLERR)) != 0) {
        drop(socket);
        return;
    }
    waiting->second.deadline = Clock::now() + std::chrono::seconds(m_limits.idleSeconds);
}

void ConnectionGate::drop(int socket)
{
    const auto waiting = m_waiting.find(socket);
    if (waiting == m_waiting.end())
        return;
    const std::string peer = waiting->second.peer;
    m_waiting.erase(waiting);
    ::close(socket);
    release(peer);
}

void ConnectionGate::closeIdle()
{
    const Clock::time_point now = Clock::now();
    if (now < m_nextSweep)
        return;
    m_nextSweep = now + std::chrono::milliseconds(tick);
    std::vector<int> idle;
    for (const auto& [socket, waiting] : m_waiting)
        if (waiting.deadline <= now)
            idle.push_back(socket);
    for (const int socket : idle)
        drop(socket);
}

void ConnectionGate::pauseAccepting()
{
    // The pending connection stays in the backlog and keeps the listener readable: waiting on it now would spin.
    qCWarning(lcService) << "no file descriptor free to accept a connection:" << std::strerror(errno);
    epoll_ctl(m_epoll, EPOLL_CTL_DEL, m_listener, nullptr);
    m_acceptPaused = true;
    m_acceptPausedUntil = Clock::now() + acceptPause;
}
