#include "forwardingproxy.h"

#include <QTcpSocket>

ForwardingProxy::ForwardingProxy(quint16 targetPort, const QHostAddress& ownAddress)
    : ByteRelay(targetPort), m_ownAddress(ownAddress)
{
}

void ForwardingProxy::connecting(QTcpSocket* target)
{
    target->bind(m_ownAddress);
}

QByteArray ForwardingProxy::toServer(QTcpSocket* client, const QByteArray& data)
{
    // A head that is whole has gone on already: the rest is its body.
    if (client->property("forwarded").toBool())
        return data;
    if (!m_heads.contains(client))
        connect(client, &QObject::destroyed, this, [this, client] { m_heads.remove(client); });
    QByteArray& head = m_heads[client];
    head += data;
    const qsizetype end = head.indexOf("\r\n\r\n");
    if (end < 0)
        return QByteArray();
    client->setProperty("forwarded", true);
    QByteArray request = m_heads.take(client);
    return request.insert(end + 2, "X-Forwarded-For: " + client->peerAddress().toString().toLatin1() + "\r\n");
}
