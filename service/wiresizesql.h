#pragma once

#include <QString>

// What a record takes on the wire (StoredRecord::wireSize()) as the store computes it from the record's own columns:
// the store keeps it as a column generated from them, so that every writer of the store, a process of an earlier
// version among them, leaves each record with its size, and a reading bounded in bytes learns from it what the
// values take before it reads them. The escapes of the id and the stamp are counted from the characters ServiceJson
// escapes, so that the two counts cannot drift apart.
class WireSizeSql
{
public:
    // The expression over the columns id, version and data, in SQLite's dialect or PostgreSQL's.
    static QString expression(bool sqlite);
};
