#pragma once

#include "byterelay.h"

#include <QList>
#include <QPointer>

#include <optional>

// A ByteRelay that brings about what may befall a connection to a store's server: it stalls a connection, holding
// back its bytes each way while both its sockets stay open, or cuts it, closing both ends at once. It lives in the
// thread that runs it (StoreRelay).
class FaultRelay : public ByteRelay
{
public:
    enum class Toward
    {
        Server,
        Client
    };
    enum class Fault
    {
        Stall,
        Cut
    };

    using ByteRelay::ByteRelay;

    quint16 port() const;
    // Stalls every connection open now; those made later pass.
    void stallOpenConnections();
    // Has the fault befall, once, the first connection whose bytes toward one end hold the text, at the text: what
    // comes before it passes.
    void arm(Toward toward, const QByteArray& text, Fault fault);
    // Whether the armed fault befell a connection.
    bool struck() const { return m_struck; }

protected:
    QByteArray toServer(QTcpSocket* client, const QByteArray& data) override;
    QByteArray toClient(QTcpSocket* client, const QByteArray& data) override;

private:
    struct Trigger
    {
        Toward toward;
        QByteArray text;
        Fault fault;
    };

    // What of the connection's bytes toward one end passes now.
    QByteArray passed(QTcpSocket* client, Toward toward, const QByteArray& data);
    // Closes both ends of the connection once the bytes before the fault have gone.
    static void cut(QTcpSocket* client, Toward toward, const QByteArray& before);

    std::optional<Trigger> m_trigger;
    bool m_struck = false;
    QList<QPointer<QTcpSocket>> m_open;
};
