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
    // The start of the head waits on the client's socket itself, so that it goes with the socket whenever that is
    // deleted, the proxy's own end included.
    QByteArray request = client->property("head").toByteArray() + data;
    const qsizetype end = request.indexOf("\r\n\r\n");
    if (end < 0) {
        client->setProperty("head", request);
        return QByteArray();
    }
    client->setProperty("forwarded", true);
    client->setProperty("head", QVariant());
    const QByteArray address = client->peerAddress().toString().toLatin1();
    // A proxy in front of this one, or the client, may have named addresses already: this one's goes at the end of
    // the same list, as each proxy of a chain appends its client.
    const qsizetype field = request.left(end + 2).toLower().lastIndexOf("\r\nx-forwarded-for:");
    if (field < 0)
        return request.insert(end + 2, "X-Forwarded-For: " + address + "\r\n");
    return request.insert(request.indexOf("\r\n", field + 2), ", " + address);
}
