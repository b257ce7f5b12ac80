#pragma once

#include "byterelay.h"

#include <QHostAddress>

// A proxy on loopback in front of the service, as an operator puts one there for TLS: it reaches the service (or the
// next proxy of a chain) from an address of its own and appends the address of each client to the request's
// X-Forwarded-For, after whatever the client or a proxy before it wrote there.
class ForwardingProxy : public ByteRelay
{
    Q_OBJECT

public:
    ForwardingProxy(quint16 targetPort, const QHostAddress& ownAddress);

protected:
    void connecting(QTcpSocket* target) override;
    QByteArray toServer(QTcpSocket* client, const QByteArray& data) override;

private:
    QHostAddress m_ownAddress;
};
