#pragma once

#include <QtGlobal>

#include <httplib.h>

#include <array>
#include <string>
#include <sys/socket.h>

// One accepted connection as the HTTP library reads and writes it: reads are buffered (the library reads a request
// head byte by byte), and a read or write that has waited the timeout for the client fails.
class SocketStream : public httplib::Stream
{
public:
    SocketStream(int socket, int timeoutSeconds);

    bool is_readable() const override;
    bool is_writable() const override;
    ssize_t read(char* data, size_t size) override;
    ssize_t write(const char* data, size_t size) override;
    void get_remote_ip_and_port(std::string& ip, int& port) const override;
    void get_local_ip_and_port(std::string& ip, int& port) const override;
    int socket() const override { return m_socket; }

    // Ends the answer and reads what the client still sends, up to `limit` bytes or for `seconds`, so that a client
    // still sending a refused body gets the answer: closing with unread data would reset the connection. Does
    // nothing when no body was left unread and nothing more has arrived.
    void discardUnread(bool bodyLeft, qint64 limit, int seconds);

    // The client address as text, an IPv4 address mapped into IPv6 written as IPv4.
    static std::string addressText(const sockaddr_storage& address);

private:
    bool wait(short events) const;

    int m_socket;
    int m_timeoutMs;
    std::array<char, 4096> m_buffer{};
    size_t m_buffered = 0;
    size_t m_taken = 0;
};
