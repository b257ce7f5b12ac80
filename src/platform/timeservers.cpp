#include "platform/timeservers.h"

#include <QStringList>

namespace {
const quint16 daytimePort = 13;
const int defaultCount = 14;
} // namespace

QList<TimeServers::Endpoint> TimeServers::list()
{
    QList<Endpoint> servers;
    const QString configured = qEnvironmentVariable("QUILLBAY_TIME_SERVERS");
    if (configured.trimmed().isEmpty()) {
        for (int i = 1; i <= defaultCount; ++i)
            servers.append({QString("127.0.0.%1").arg(i), daytimePort});
        return servers;
    }
    for (const QString& item : configured.split(',', Qt::SkipEmptyParts)) {
        const QString entry = item.trimmed();
        const int colon = entry.lastIndexOf(':');
        bool ok = false;
        const uint port = colon > 0 ? entry.mid(colon + 1).toUInt(&ok) : 0;
        if (ok && port > 0 && port <= 0xFFFF)
            servers.append({entry.left(colon), quint16(port)});
        else if (!entry.isEmpty())
            servers.append({entry, daytimePort});
    }
    return servers;
}
