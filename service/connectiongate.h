#pragma once

#include <QHostAddress>
#include <QString>

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

// Accepts the service's connections on one thread and keeps each one until the head of its request has arrived, so
// that an idle, half-open or slow client holds a file descriptor at most, never a worker. A connection beyond the
// cap of its client address is closed at once; one that sends nothing for the idle time, or a head over 64 KB, is
// closed too. Every complete request is handed over, to be answered on a worker, which then calls release().
class ConnectionGate
{
public:
    struct Limits
    {
        int perAddress = 32;
        int idleSeconds = 30;
    };
    // Takes over the connection (blocking again) and the client address it came from.
    using HandOver = std::function<void(int socket, const std::string& peer)>;

    explicit ConnectionGate(const Limits& limits);
    ~ConnectionGate();
    ConnectionGate(const ConnectionGate&) = delete;
    ConnectionGate& operator=(const ConnectionGate&) = delete;

    // The port listened on (a free one when asked for 0), or 0 with the reason in `error`.
    quint16 listen(const QHostAddress& address, quint16 port, QString& error);
    int listener() const { return m_listener; }
    // Serves connections for as long as the process runs; returns only when it cannot wait for them any more.
    void run(const HandOver& handOver);
    // A connection handed over from the peer has been closed. Any thread may call it.
    void release(const std::string& peer);

private:
    using Clock = std::chrono::steady_clock;
    struct Waiting
    {
        std::string peer;
        Clock::time_point deadline;
    };

    void acceptAll();
    bool admit(const std::string& peer);
    void wait(int socket, const std::string& peer);
    void readHead(int socket, unsigned events);
    void drop(int socket);
    void closeIdle();
    void pauseAccepting();

    Limits m_limits;
    int m_listener = -1;
    int m_epoll = -1;
    HandOver m_handOver;
    std::unordered_map<int, Waiting> m_waiting;
    std::vector<char> m_head;
    Clock::time_point m_nextSweep;
    Clock::time_point m_acceptPausedUntil;
    bool m_acceptPaused = false;
    std::mutex m_mutex;
    std::unordered_map<std::string, int> m_perPeer;
};
