#pragma once

#include <QByteArray>

// A request's body, read straight into memory made once for its declared length: each byte is copied there once, as
// it comes, and the whole goes to the worker without another copy.
class RequestBody
{
public:
    RequestBody() = default;
    explicit RequestBody(qint64 length);

    // Where the next bytes go, and how many may yet come.
    char* room() { return m_bytes.data() + m_received; }
    qint64 left() const { return m_bytes.size() - m_received; }
    void received(qint64 bytes) { m_received += bytes; }
    bool whole() const { return left() == 0; }
    // The body read, which this one no longer holds.
    QByteArray take();

private:
    QByteArray m_bytes;
    qint64 m_received = 0;
};
