#include "loadoutcome.h"

#include "simulateddevice.h"

namespace {
// Rounds of syncs without edits, at most, until every device's last sync was applied: a device told the service is
// busy needs one round to deliver its edits and another to see that all the others' were applied.
const int settlingRounds = 20;
} // namespace

LoadOutcome::LoadOutcome(const QList<SimulatedDevice*>& devices, int accounts, bool roundsEnded)
    : m_accounts(accounts), m_settled(roundsEnded && SimulatedDevice::settle(devices, settlingRounds))
{
    for (int account = 0; account < accounts; ++account) {
        bool same = true;
        for (qsizetype i = account; i < devices.size(); i += accounts) {
            same = same && devices.at(i)->bills() == devices.at(account)->bills();
            m_lost += devices.at(i)->lostEdits(devices.at(account)->bills()).size();
        }
        m_converged += same ? 1 : 0;
    }
    for (const SimulatedDevice* device : devices) {
        m_undelivered += device->undeliveredEdits();
        m_stale += device->staleAnswers();
        m_failures += device->failures();
        m_busy += device->busyAnswers();
    }
}

bool LoadOutcome::sound() const
{
    return m_settled && m_converged == m_accounts && m_lost == 0 && m_stale == 0 && m_failures == 0;
}
