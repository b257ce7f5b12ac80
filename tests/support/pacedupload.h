#pragma once

#include <QByteArray>
#include <QString>

#include <thread>

// A request sent to a server from a loopback address at a steady pace, as a slow line sends it, on a thread of its
// own, and the answer read until the server closes the connection.
class PacedUpload
{
public:
    PacedUpload(const QString& baseUrl, const QByteArray& request, const QString& from, int bytesPerSecond);
    ~PacedUpload();
    PacedUpload(const PacedUpload&) = delete;
    PacedUpload& operator=(const PacedUpload&) = delete;

    // What the server answered, as RawHttp::exchange() gives it: nothing when it closed the connection unanswered.
    // Waits for the upload to end.
    QByteArray answer();

private:
    void run(const QString& baseUrl, const QByteArray& request, const QString& from, int bytesPerSecond);

    QByteArray m_answer;
    std::thread m_thread;
};
