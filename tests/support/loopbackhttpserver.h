#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QTcpServer>

// A one-answer HTTP server on 127.0.0.1 for client tests: it records each complete request (head and body) and
// answers it with the canned reply, or keeps silent when the reply is empty.
class LoopbackHttpServer : public QTcpServer
{
public:
    explicit LoopbackHttpServer(const QByteArray& reply = QByteArray());

    // "http://127.0.0.1:<port>/"
    QString baseUrl() const;
    QList<QByteArray> requests() const { return m_requests; }
    // Answers, late, every complete request that a silent server has left without an answer.
    void answerPending(const QByteArray& reply);
    // A plain reply with the given status line and body, closing the connection.
    static QByteArray reply(const QByteArray& status, const QByteArray& body, const QByteArray& extraHeaders = {});

private:
    void serve(QTcpSocket* socket);

    QByteArray m_reply;
    QList<QByteArray> m_requests;
    QHash<QTcpSocket*, QByteArray> m_pending;
    QList<QTcpSocket*> m_unanswered;
};
