#include "byterelay.h"

#include <QTcpSocket>

ByteRelay::ByteRelay(quint16 targetPort) : m_targetPort(targetPort)
{
    connect(&m_server, &QTcpServer::newConnection, this, &ByteRelay::relay);
    if (!m_server.listen(QHostAddress::LocalHost, 0))
        qFatal("the relay cannot listen");
}

QString ByteRelay::baseUrl() const
{
    return QString("http://127.0.0.1:%1/").arg(m_server.serverPort());
}

void ByteRelay::relay()
{
    while (QTcpSocket* client = m_server.nextPendingConnection()) {
        auto* target = new QTcpSocket(client);
        // Nothing is written of what a hook holds back, and so nothing to a connection that a hook closed.
        const auto toServer = [=, this] {
            const QByteArray data = client->readAll();
            m_sent += data.size();
            if (const QByteArray passed = this->toServer(client, data); !passed.isEmpty())
                target->write(passed);
        };
        connect(client, &QTcpSocket::readyRead, target, [=] {
            if (target->state() == QAbstractSocket::ConnectedState)
                toServer();
        });
        connect(target, &QTcpSocket::connected, client, toServer);
        connect(target, &QTcpSocket::readyRead, client, [=, this] {
            const QByteArray data = target->readAll();
            m_received += data.size();
            if (const QByteArray passed = toClient(client, data); !passed.isEmpty())
                client->write(passed);
        });
        connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
        connect(target, &QTcpSocket::disconnected, client, &QTcpSocket::disconnectFromHost);
        connecting(target);
        target->connectToHost(QHostAddress::LocalHost, m_targetPort);
    }
}
