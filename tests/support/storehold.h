#pragma once

#include <QString>

// Another writer of a service's SQLite store, as a second process serving it would be: it holds the store's writing
// from its start until released, so that a sync waits, worked out and not yet written, for as long as a test needs.
class StoreHold
{
public:
    // The store as ServiceProcess::database() names it, "sqlite:PATH".
    explicit StoreHold(const QString& database);
    ~StoreHold();
    StoreHold(const StoreHold&) = delete;
    StoreHold& operator=(const StoreHold&) = delete;

    bool held() const { return m_held; }
    void release();
    // The rows of the table ("records", "feedback") as the store's committed state shows them; -1 when it cannot be
    // read.
    qint64 rows(const QString& table) const;

private:
    QString m_connection;
    bool m_held = false;
};
