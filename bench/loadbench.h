#pragma once

#include <QString>

// Many devices over many accounts syncing at once through the real service on loopback, each making edits and
// syncing for some rounds. Prints requests per second and latencies, and checks that every device of an account
// ends with the same bills and that no edit was lost; edits still waiting on their devices are counted apart.
class LoadBench
{
public:
    // `program`: the service to load; empty for this build's.
    LoadBench(int devices, int accounts, int rounds, const QString& program);

    int devices() const { return m_devices; }
    int accounts() const { return m_accounts; }
    int rounds() const { return m_rounds; }

    static void printHeader();
    // One line of figures for a store kind ("sqlite" or "postgresql") served by that many processes, each with that
    // many workers (0: the service's default pool); false when the devices did not settle, an account did not
    // converge, an edit was lost or a request failed.
    bool run(const char* store, int processes, int workers);

private:
    QString m_program;
    int m_devices;
    int m_accounts;
    int m_rounds;
};
