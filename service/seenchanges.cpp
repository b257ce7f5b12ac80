#include "seenchanges.h"

#include "changelog.h"

#include <QDateTime>

#include <algorithm>
#include <optional>

namespace {
const char* const stampFormat = "yyyy-MM-dd hh:mm:ss";
// Taken off the device's last sync start once it is mapped onto the service's clock. It covers what the mapping
// cannot see: the device's clock drifting or being corrected a little between two syncs, the time this request
// spent on the way (the device reads its clock before it sends the body), and clocks of several service processes
// that differ a little. Ten minutes is weeks of drift of a clock nobody sets and a large upload on a slow line; a
// wider margin only makes answers larger, never wrong. Uploads of other devices still in flight need no margin:
// changes are numbered in the order they are applied, under the account's lock.
const qint64 marginMs = 10 * 60 * 1000;
// A sync's upload leaves within this time of its start (the backup, reading the changes and, on a first sync, the
// binding), so a change sent at a clock reading that close after a sync start may be that sync's upload.
const qint64 sendWindowMs = 10 * 60 * 1000;

std::optional<qint64> msOf(const QString& text)
{
    QDateTime time = QDateTime::fromString(text, stampFormat);
    if (!time.isValid())
        return std::nullopt;
    time.setTimeSpec(Qt::UTC);
    return time.toMSecsSinceEpoch();
}

QString textOf(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(stampFormat);
}
} // namespace

bool SeenChanges::lastSeen(const ChangeLog& log, const QString& userId, const DeviceClock& clock, qint64& seen)
{
    seen = -1;
    const std::optional<qint64> syncStart = msOf(clock.syncTime);
    const std::optional<qint64> sent = msOf(clock.clientTime);
    // A clock that reads earlier than the start of the device's last sync has been set back since: what it reads
    // now says nothing about when that sync was.
    if (!syncStart || !sent || *sent < *syncStart)
        return true;
    // The device's last sync is in the log, sent by its clock soon after it began. Without such an entry (a first
    // sync, a book reset or restored, a device whose last sync went to another account and no device of this one
    // synced at that time) the device may hold nothing of the account.
    std::optional<qint64> ownSync;
    if (!log.earliestSentBetween(userId, textOf(*syncStart), textOf(*syncStart + sendWindowMs), ownSync))
        return false;
    if (!ownSync)
        return true;
    // The last sync was applied no earlier than this: its start shifted by the clocks' difference as measured now,
    // less the margin, or, when the device's clock was changed in between, the time its sync was applied.
    const qint64 since = std::min(*syncStart + (clock.arrived - *sent) - marginMs, *ownSync);
    std::optional<qint64> logged;
    if (!log.loggedSince(userId, logged))
        return false;
    if (!logged || since < *logged)
        return true;
    // The first change applied since then is the last sync's own or came before it, so that sync's answer held it
    // and everything before it.
    std::optional<qint64> first;
    if (!log.firstChangeSince(userId, since, first))
        return false;
    seen = first.value_or(-1);
    return true;
}
