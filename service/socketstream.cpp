#include "socketstream.h"

#include <QHostAddress>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>

namespace {
using AddressOf = int (*)(int, sockaddr*, socklen_t*);

void addressOf(AddressOf get, int socket, std::string& ip, int& port)
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (get(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return;
    ip = SocketStream::addressText(address);
    port = ntohs(address.ss_family == AF_INET ? reinterpret_cast<const sockaddr_in*>(&address)->sin_port
                                              : reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port);
}
} // namespace

std::string SocketStream::addressText(const sockaddr_storage& address)
{
    QHostAddress host(reinterpret_cast<const sockaddr*>(&address));
    bool mapped = false;
    const quint32 ipv4 = host.toIPv4Address(&mapped);
    if (mapped)
        host = QHostAddress(ipv4);
    return host.toString().toStdString();
}

SocketStream::SocketStream(int socket, int timeoutSeconds) : m_socket(socket), m_timeoutMs(timeoutSeconds * 1000) {}

bool SocketStream::wait(short events) const
{
    pollfd watched{m_socket, events, 0};
    int ready = 0;
    do
        ready = poll(&watched, 1, m_timeoutMs);
    while (ready < 0 && errno == EINTR);
    return ready > 0;
}

bool SocketStream::is_readable() const
{
    return m_taken < m_buffered || wait(POLLIN);
}

bool SocketStream::is_writable() const
{
    return wait(POLLOUT);
}

ssize_t SocketStream::read(char* data, size_t size)
{
    if (m_taken == m_buffered) {
        if (!wait(POLLIN))
            return -1;
        // A body is read in large pieces: those go straight to the caller.
        const bool direct = size >= m_buffer.size();
        ssize_t received = 0;
        do
            received = recv(m_socket, direct ? data : m_buffer.data(), direct ? size : m_buffer.size(), 0);
        while (received < 0 && errno == EINTR);
        if (received <= 0 || direct)
            return received;
        m_buffered = size_t(received);
        m_taken = 0;
    }
    const size_t taken = std::min(size, m_buffered - m_taken);
    std::memcpy(data, m_buffer.data() + m_taken, taken);
    m_taken += taken;
    return ssize_t(taken);
}

ssize_t SocketStream::write(const char* data, size_t size)
{
    size_t sent = 0;
    while (sent < size) {
        if (!wait(POLLOUT))
            return -1;
        const ssize_t written = send(m_socket, data + sent, size - sent, MSG_NOSIGNAL);
        if (written < 0 && errno != EINTR)
            return -1;
        sent += size_t(std::max<ssize_t>(written, 0));
    }
    return ssize_t(size);
}

void SocketStream::discardUnread(bool bodyLeft, qint64 limit, int seconds)
{
    char probe = 0;
    if (!bodyLeft && m_taken == m_buffered && recv(m_socket, &probe, 1, MSG_PEEK | MSG_DONTWAIT) <= 0)
        return;
    shutdown(m_socket, SHUT_WR);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    for (qint64 discarded = 0; discarded < limit;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        pollfd watched{m_socket, POLLIN, 0};
        if (left.count() <= 0 || poll(&watched, 1, int(left.count())) <= 0)
            return;
        const ssize_t received = recv(m_socket, m_buffer.data(), m_buffer.size(), 0);
        if (received <= 0)
            return;
        discarded += received;
    }
}

void SocketStream::get_remote_ip_and_port(std::string& ip, int& port) const
{
    addressOf(getpeername, m_socket, ip, port);
}

void SocketStream::get_local_ip_and_port(std::string& ip, int& port) const
{
    addressOf(getsockname, m_socket, ip, port);
}
