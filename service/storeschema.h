#pragma once

#include "storestatement.h"

class QSqlDatabase;
class QString;

// The store's tables and indexes, the same on SQLite and PostgreSQL: made when missing, and brought to the present
// shape from that of a store an earlier version made (RecordsUpgrade).
class StoreSchema
{
public:
    // Makes what is missing in one transaction that no other process of this version runs beside it: on SQLite it
    // holds the store's writing, on PostgreSQL a lock of the service's own, each waited for as long as another holds
    // it, so that processes started together on an earlier version's store upgrade it once. The statements that take
    // values are made by `statements` on the same connection. False, with `error` saying why, when it cannot.
    static bool create(QSqlDatabase& db, QString& error, const StoreStatement::Maker& statements);
};
