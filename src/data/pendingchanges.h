#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

// The records changed on this device since its last sync, by table and id, kept in the book by triggers. A sync
// sends them whatever their stamps say: after the clock was set back, an edit is stamped earlier than the start of
// the last sync, and a selection by stamp alone would keep it on this device for good. A write counts when it leaves
// the row stamped with the current time, as every edit on the device does (the column default, the update trigger)
// and a row written with the service's stamp does not, or when it deletes a row. Each entry is numbered, so that the
// merge that ends a sync can drop what that sync sent, and keep what changed while it was under way.
class PendingChanges
{
public:
    // The statements that make the journal and its triggers, "IF NOT EXISTS".
    static QStringList statements();
    // Adds what the book on the connection lacks of them; false when the book refused them.
    static bool addMissing(QSqlDatabase db = QSqlDatabase::database());

    // The statements a sync runs on the journal, through its own error handling:
    // the ids recorded for one table, whose name (without "tbl_") is the bound value;
    static QString idsOfTable();
    // the number of the latest entry, 0 when there is none;
    static QString latest();
    // dropping the entries numbered up to the first value, which a sync sent and the service answered, and those
    // numbered above the second, which the merge of that answer wrote itself.
    static QString forget();
};
