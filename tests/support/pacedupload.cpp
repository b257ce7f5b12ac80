#include "pacedupload.h"

#include <QUrl>

#include <algorithm>
#include <chrono>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace {
// Each step sends what the pace allows since the start, so that a busy machine's late steps catch up.
const std::chrono::milliseconds step(100);

sockaddr_in loopback(const QString& address, quint16 port)
{
    sockaddr_in socketAddress{};
    socketAddress.sin_family = AF_INET;
    socketAddress.sin_port = htons(port);
    inet_pton(AF_INET, address.toLatin1().constData(), &socketAddress.sin_addr);
    return socketAddress;
}
} // namespace

PacedUpload::PacedUpload(const QString& baseUrl, const QByteArray& request, const QString& from, int bytesPerSecond)
    : PacedUpload(baseUrl, request, from, [bytesPerSecond](std::chrono::milliseconds elapsed) {
          return elapsed.count() * bytesPerSecond / 1000;
      })
{
}

PacedUpload::PacedUpload(const QString& baseUrl, const QByteArray& request, const QString& from, Schedule schedule)
    : m_thread([=] { run(baseUrl, request, from, schedule); })
{
}

PacedUpload::~PacedUpload()
{
    if (m_thread.joinable())
        m_thread.join();
}

QByteArray PacedUpload::answer()
{
    if (m_thread.joinable())
        m_thread.join();
    if (m_answer.isEmpty())
        return m_answer;
    return m_answer.left(m_answer.indexOf("\r\n")) + '|' + m_answer.mid(m_answer.indexOf("\r\n\r\n") + 4);
}

void PacedUpload::run(const QString& baseUrl, const QByteArray& request, const QString& from, const Schedule& schedule)
{
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in local = loopback(from, 0);
    const sockaddr_in server = loopback("127.0.0.1", quint16(QUrl(baseUrl).port()));
    // The answer comes within the time a loaded machine needs once the request is whole.
    const timeval patience{120, 0};
    setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    if (::bind(socket, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
        ::connect(socket, reinterpret_cast<const sockaddr*>(&server), sizeof server) != 0) {
        ::close(socket);
        return;
    }
    const auto start = std::chrono::steady_clock::now();
    qint64 sent = 0;
    while (sent < request.size()) {
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        const qint64 due = std::min<qint64>(request.size(), schedule(elapsed + step));
        if (due > sent) {
            const ssize_t written = ::send(socket, request.constData() + sent, std::size_t(due - sent), MSG_NOSIGNAL);
            // The server has answered, or closed the connection, before the whole request was sent.
            if (written <= 0)
                break;
            sent += written;
        }
        std::this_thread::sleep_until(start + elapsed + step);
    }
    char buffer[4096];
    for (ssize_t read = 0; (read = ::recv(socket, buffer, sizeof buffer, 0)) > 0;)
        m_answer.append(buffer, read);
    ::close(socket);
}
