#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>
#include <functional>
#include <thread>

// A request sent to a server from a loopback address at a pace of its own, as a slow line sends it, on a thread of its
// own, and the answer read until the server closes the connection.
class PacedUpload
{
public:
    // How many bytes of the request are sent by the time given, since the first.
    using Schedule = std::function<qint64(std::chrono::milliseconds)>;

    // At a steady pace.
    PacedUpload(const QString& baseUrl, const QByteArray& request, const QString& from, int bytesPerSecond);
    PacedUpload(const QString& baseUrl, const QByteArray& request, const QString& from, Schedule schedule);
    ~PacedUpload();
    PacedUpload(const PacedUpload&) = delete;
    PacedUpload& operator=(const PacedUpload&) = delete;

    // What the server answered, as RawHttp::exchange() gives it: nothing when it closed the connection unanswered.
    // Waits for the upload to end.
    QByteArray answer();

private:
    void run(const QString& baseUrl, const QByteArray& request, const QString& from, const Schedule& schedule);

    QByteArray m_answer;
    std::thread m_thread;
};
