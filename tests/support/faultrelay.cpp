#include "faultrelay.h"

#include <QTcpSocket>
#include <QUrl>

#include <algorithm>

namespace {
// Marks kept on each client's socket, so that they go with the connection.
const char* const stalledMark = "stalled";
const char* const seenMark = "seen";

// Where the end of a connection's last bytes toward one end is kept, for a text split between two reads.
const char* tailMark(FaultRelay::Toward toward)
{
    return toward == FaultRelay::Toward::Server ? "tailTowardServer" : "tailTowardClient";
}
} // namespace

quint16 FaultRelay::port() const
{
    return quint16(QUrl(baseUrl()).port());
}

void FaultRelay::stallOpenConnections()
{
    for (const QPointer<QTcpSocket>& client : std::as_const(m_open)) {
        if (client)
            client->setProperty(stalledMark, true);
    }
}

void FaultRelay::arm(Toward toward, const QByteArray& text, Fault fault)
{
    m_trigger = Trigger{toward, text, fault};
    m_struck = false;
}

QByteArray FaultRelay::toServer(QTcpSocket* client, const QByteArray& data)
{
    return passed(client, Toward::Server, data);
}

QByteArray FaultRelay::toClient(QTcpSocket* client, const QByteArray& data)
{
    return passed(client, Toward::Client, data);
}

QByteArray FaultRelay::passed(QTcpSocket* client, Toward toward, const QByteArray& data)
{
    if (!client->property(seenMark).toBool()) {
        client->setProperty(seenMark, true);
        m_open.append(client);
    }
    if (client->property(stalledMark).toBool())
        return QByteArray();
    if (!m_trigger || m_trigger->toward != toward)
        return data;
    const QByteArray tail = client->property(tailMark(toward)).toByteArray();
    const qsizetype at = (tail + data).indexOf(m_trigger->text);
    if (at < 0) {
        client->setProperty(tailMark(toward), (tail + data).right(m_trigger->text.size() - 1));
        return data;
    }
    const QByteArray before = data.left(std::max<qsizetype>(0, at - tail.size()));
    const Fault fault = m_trigger->fault;
    m_trigger.reset();
    m_struck = true;
    if (fault == Fault::Stall) {
        client->setProperty(stalledMark, true);
        return before;
    }
    cut(client, toward, before);
    return QByteArray();
}

void FaultRelay::cut(QTcpSocket* client, Toward toward, const QByteArray& before)
{
    // The relay's connection to the server is the client's child (ByteRelay).
    QTcpSocket* server = client->findChild<QTcpSocket*>(QString(), Qt::FindDirectChildrenOnly);
    QTcpSocket* receiver = toward == Toward::Server ? server : client;
    receiver->write(before);
    receiver->flush();
    client->abort();
    server->abort();
}
