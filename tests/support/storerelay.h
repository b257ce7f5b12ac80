#pragma once

#include "faultrelay.h"

#include <QObject>
#include <QString>
#include <QThread>

// A relay on a loopback port in front of the server of a PostgreSQL store, which passes bytes each way until a test
// has it stall a connection or cut it (FaultRelay). It runs in a thread of its own, as the store's calls block the
// thread that makes them, and each call here waits for the relay to have done it.
class StoreRelay
{
public:
    using Toward = FaultRelay::Toward;
    using Fault = FaultRelay::Fault;

    // Relays to the server of the store at the address given, "postgresql://USER@HOST:PORT/DATABASE".
    explicit StoreRelay(const QString& storeAddress);
    ~StoreRelay();
    StoreRelay(const StoreRelay&) = delete;
    StoreRelay& operator=(const StoreRelay&) = delete;

    // The store's address through the relay: the server's with the relay's port.
    QString address() const { return m_address; }
    void stallOpenConnections();
    void arm(Toward toward, const QByteArray& text, Fault fault);
    bool struck();

private:
    // Runs the call in the relay's thread and waits for it.
    template <typename Call> void inRelay(Call call)
    {
        QMetaObject::invokeMethod(&m_context, call, Qt::BlockingQueuedConnection);
    }

    QThread m_thread;
    QObject m_context;
    FaultRelay* m_relay = nullptr;
    QString m_address;
};
