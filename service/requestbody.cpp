#include "requestbody.h"

#include <utility>

RequestBody::RequestBody(qint64 length) : m_bytes(length, Qt::Uninitialized) {}

QByteArray RequestBody::take()
{
    m_received = 0;
    return std::exchange(m_bytes, QByteArray());
}
