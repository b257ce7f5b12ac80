#pragma once

#include <QList>
#include <QString>

// The network time servers the date check asks, in the order it asks them. The environment variable
// QUILLBAY_TIME_SERVERS names them (comma-separated, each host:port); without it they are 14 loopback
// addresses on the daytime port, so the program never reaches out to a public host on its own.
class TimeServers
{
public:
    struct Endpoint
    {
        QString host;
        quint16 port;
    };

    static QList<Endpoint> list();
};
