#pragma once

#include <QTcpServer>

class QTcpSocket;

// A relay on a loopback port in front of a server, counting the bytes that pass each way: what a client sends and
// receives on the wire, headers and form encoding included. A client's connection and the relay's own to the server, a
// child of the client's socket, go together: once either ends, so does the other.
class ByteRelay : public QObject
{
    Q_OBJECT

public:
    explicit ByteRelay(quint16 targetPort);

    // "http://127.0.0.1:<port>/", the address to reach the server through the relay.
    QString baseUrl() const;
    qint64 sent() const { return m_sent; }
    qint64 received() const { return m_received; }
    void resetCounts() { m_sent = m_received = 0; }

protected:
    // Called before the relay connects to the server for a client.
    virtual void connecting(QTcpSocket* target) { Q_UNUSED(target) }
    // What of the client's bytes goes on to the server now; the relay passes them as they come.
    virtual QByteArray toServer(QTcpSocket* client, const QByteArray& data)
    {
        Q_UNUSED(client)
        return data;
    }
    // What of the server's bytes goes on to the client now.
    virtual QByteArray toClient(QTcpSocket* client, const QByteArray& data)
    {
        Q_UNUSED(client)
        return data;
    }

private:
    void relay();

    QTcpServer m_server;
    quint16 m_targetPort;
    qint64 m_sent = 0;
    qint64 m_received = 0;
};
