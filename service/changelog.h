#pragma once

#include <QString>

#include <optional>

// What the service knows of the syncs that changed an account: each is numbered in the order its changes became
// visible, with when it was applied (the service's clock, ms since the epoch) and when the device sent it (the
// device's clock, "yyyy-MM-dd hh:mm:ss").
class ChangeLog
{
public:
    virtual ~ChangeLog() = default;

    // The lowest change number applied at or after the time; none when nothing was applied since.
    virtual bool firstChangeSince(const QString& userId, qint64 applied, std::optional<qint64>& change) const = 0;
    // When the earliest change that a device sent at a clock reading between the two texts was applied.
    virtual bool earliestSentBetween(const QString& userId, const QString& from, const QString& to,
                                     std::optional<qint64>& applied) const = 0;
    // Since when every change of the account is in the log: always for an account that began with it, else from
    // its first logged change on; none while records from before the log have seen no logged change yet.
    virtual bool loggedSince(const QString& userId, std::optional<qint64>& applied) const = 0;
};
