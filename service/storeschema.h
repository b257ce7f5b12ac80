#pragma once

class QSqlDatabase;

// The store's tables and indexes, the same on SQLite and PostgreSQL: made when missing, and brought to the present
// shape from that of a store an earlier version made.
class StoreSchema
{
public:
    // Makes what is missing in one transaction, tried again when another process made part of it meanwhile; false
    // when it cannot.
    static bool create(QSqlDatabase& db);
};
