#include "storerelay.h"

#include <QUrl>

StoreRelay::StoreRelay(const QString& storeAddress)
{
    QUrl address(storeAddress);
    m_context.moveToThread(&m_thread);
    m_thread.start();
    quint16 port = 0;
    inRelay([this, &address, &port] {
        m_relay = new FaultRelay(quint16(address.port()));
        port = m_relay->port();
    });
    // The relay listens on 127.0.0.1, where a server's "localhost" may be found after ::1.
    address.setHost("127.0.0.1");
    address.setPort(port);
    m_address = address.toString();
}

StoreRelay::~StoreRelay()
{
    inRelay([this] { delete m_relay; });
    m_thread.quit();
    m_thread.wait();
}

void StoreRelay::stallOpenConnections()
{
    inRelay([this] { m_relay->stallOpenConnections(); });
}

void StoreRelay::arm(Toward toward, const QByteArray& text, Fault fault)
{
    inRelay([this, toward, &text, fault] { m_relay->arm(toward, text, fault); });
}

bool StoreRelay::struck()
{
    bool struck = false;
    inRelay([this, &struck] { struck = m_relay->struck(); });
    return struck;
}
