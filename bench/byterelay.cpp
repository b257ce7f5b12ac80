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
        const auto pass = [](QTcpSocket* from, QTcpSocket* to, qint64& count) {
            const QByteArray data = from->readAll();
            count += data.size();
            to->write(data);
        };
        connect(client, &QTcpSocket::readyRead, target, [=, this] {
            if (target->state() == QAbstractSocket::ConnectedState)
                pass(client, target, m_sent);
        });
        connect(target, &QTcpSocket::connected, client, [=, this] { pass(client, target, m_sent); });
        connect(target, &QTcpSocket::readyRead, client, [=, this] { pass(target, client, m_received); });
        connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
        connect(target, &QTcpSocket::disconnected, client, &QTcpSocket::disconnectFromHost);
        target->connectToHost(QHostAddress::LocalHost, m_targetPort);
    }
}
