#pragma once

#include "answertext.h"
#include "synccost.h"
#include "tablemerge.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <vector>

class ChangeSet;
class ServiceStore;
struct DeviceClock;

// Merges one device's upload into the account's store, table by table (TableMerge), and answers in the device's own
// columns with what it lacks: the records changed since its last sync and the stored ones its upload lost to.
//
// Everything that takes time is done before the account is held: reading what is stored, deciding each row, writing
// the records' text and the answer. Holding the account takes the whole store's write lock on SQLite, so another
// account's sync waits only while the records are written. What was read stays valid as long as no other change of
// the account wrote records in between, which their change numbers show; when one did, the merge is worked out again
// while the account is held. A merge whose device has gone stops at its next page, reading, writing or before its
// commit, and changes nothing: the device never learns of it and sends its changes again. A merge of the cheap line
// counts what it takes on as it reads (SyncCost) and stops, with nothing written, once that passes the bound.
class SyncMerge
{
public:
    enum class Outcome
    {
        Merged,
        // A bounded merge moves more than the bound: nothing was written.
        Expensive,
        // Another sync held the account for longer than a sync waits, or `mayHold` said no: nothing was written.
        Busy,
        // The store or the answer's file failed, or the device has gone: nothing was written.
        Failed
    };

    // `abandoned` says whether the device has gone; `bounded`, whether the merge stops at the cheap line's bound.
    // `mayHold`, when given, is asked once the merge is worked out, before it holds the account: false makes it Busy.
    SyncMerge(ServiceStore& store, const QString& userId, std::function<bool()> abandoned, bool bounded = false,
              std::function<bool()> mayHold = {});

    // Applies the upload in one transaction that holds the account against other syncs of it and logs it as the
    // account's next change, and fills the answer, whose file it writes to.
    Outcome merge(const ChangeSet& upload, const DeviceClock& clock, AnswerText& answer);

private:
    // The upload's records to write and the answer, worked out from the account's state after its change numbered
    // `lastChange`, and what they cost.
    struct Plan
    {
        qint64 lastChange = 0;
        std::vector<TableMerge> tables;
        AnswerText answer;
        SyncCost cost;
    };

    Plan newPlan(const AnswerText& answer) const;
    // Works the merge out and writes it, once.
    Outcome mergeOnce(const ChangeSet& upload, const DeviceClock& clock, AnswerText& answer);
    // False when the store or the answer's file fails, the device has gone or the cost passes its bound.
    bool prepare(const ChangeSet& upload, Plan& plan);
    // The merge once its transaction has begun, ending it.
    Outcome mergeInTransaction(const ChangeSet& upload, const DeviceClock& clock, Plan& plan, AnswerText& answer);
    bool write(const Plan& plan, const DeviceClock& clock);

    ServiceStore& m_store;
    QString m_userId;
    std::function<bool()> m_abandoned;
    bool m_bounded;
    std::function<bool()> m_mayHold;
    // The device's changes numbered up to this are the ones it holds already, -1 for none.
    qint64 m_seen = -1;
};
