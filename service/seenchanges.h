#pragma once

#include <QString>

class ChangeLog;

// The two clock readings a device sends with each sync, in its own clock, and when the request reached the service
// (ms since the epoch, the service's clock).
struct DeviceClock
{
    QString syncTime;   // when the device's last completed sync began
    QString clientTime; // when it sent this request
    qint64 arrived = 0;
};

// How far into an account's numbered changes a device has come. A device names its last sync only by the time it
// began, in its own clock; the service finds the change that sync brought by mapping that time onto its own clock.
// Whatever the mapping cannot vouch for is answered again: a wrong guess costs a larger answer, never a lost row.
// One case it cannot see: the request names no device, so a book whose sync account was changed behind the
// program's back (its account dialog forbids it) is taken for a device of the new account that synced at that
// time, when one did, and misses what the new account held before.
class SeenChanges
{
public:
    // Changes numbered up to `seen` are held by the device already; -1 when nothing may be assumed. False when the
    // store cannot be read.
    static bool lastSeen(const ChangeLog& log, const QString& userId, const DeviceClock& clock, qint64& seen);
};
