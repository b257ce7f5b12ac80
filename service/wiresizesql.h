#pragma once

#include <QString>
#include <QStringList>

// What a record takes on the wire (StoredRecord::wireSize()) as the store counts it from the record's own columns.
// The service writes each record's size beside it; triggers of the store count it again for a writer that leaves it
// wrong, a process of an earlier version that knows nothing of it, so that a reading bounded in bytes learns from the
// sizes what the values take before it reads them, whoever wrote them. (A generated column would do the same, but
// SQLite then reads the rows for it instead of the index that holds it.) The escapes of the id and the stamp are
// counted from the characters ServiceJson escapes, so that the two counts cannot drift apart.
class WireSizeSql
{
public:
    // The expression over the columns id, version and data of `row` ("new." in a trigger, "" in a statement), in
    // SQLite's dialect or PostgreSQL's.
    static QString expression(bool sqlite, const QString& row = {});
    // The statements that make the triggers, once the table of records has its present shape.
    static QStringList triggers(bool sqlite);
    // The statements that drop the triggers, of whichever version made them.
    static QStringList withoutTriggers(bool sqlite);
    // A statement whose one number is 1 where the store has this version's triggers, which count by expression(),
    // bound to it over "new.": an earlier version's count some records otherwise.
    static QString triggersMade(bool sqlite);
};
