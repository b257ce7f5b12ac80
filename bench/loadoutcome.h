#pragma once

#include <QList>

class SimulatedDevice;

// What a load run left on its devices. Syncs without edits first bring every device the account's last edits, also
// those of syncs told the service was busy, until every device's last sync was applied; an edit then missing from
// the store was lost, one still waiting on its device was not delivered, which only a bound on the settling leaves.
class LoadOutcome
{
public:
    // Device i is of account i % accounts. Devices whose rounds did not end are not settled, only counted.
    LoadOutcome(const QList<SimulatedDevice*>& devices, int accounts, bool roundsEnded);

    bool settled() const { return m_settled; }
    int converged() const { return m_converged; }
    qsizetype lost() const { return m_lost; }
    qsizetype undelivered() const { return m_undelivered; }
    int stale() const { return m_stale; }
    int failures() const { return m_failures; }
    int busy() const { return m_busy; }
    // Settled, every account converged, no edit lost, no stale answer and no failed request.
    bool sound() const;

private:
    int m_accounts;
    bool m_settled;
    int m_converged = 0;
    qsizetype m_lost = 0;
    qsizetype m_undelivered = 0;
    int m_stale = 0;
    int m_failures = 0;
    int m_busy = 0;
};
