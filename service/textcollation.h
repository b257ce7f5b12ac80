#pragma once

#include "storestatement.h"

#include <QString>

class QSqlError;

// How the store's texts compare: as bytes, on either store, as the service compares ids and stamps itself. SQLite's
// texts do unless told otherwise; PostgreSQL's compare in the database's collation, which may sort by a language's
// rules (ICU, or a cluster made under en_US.UTF-8), where the range of a lookup's lowest and highest ids by bytes may
// hold none of them. There every text column is declared collate "C", which the indexes that hold it then follow.
class TextCollation
{
public:
    // The statement that makes a table or a column, its text columns declared so on PostgreSQL.
    static QString declared(const QString& statement, bool sqlite);
    // The statement that makes the table's text columns compare as bytes where an earlier version made them compare
    // otherwise, in `alteration`; empty when they all do already: on SQLite, on a database whose own collation is C
    // or C.UTF-8, or once altered. Asked through the store's own statements; false, with `failure` set, when the store
    // cannot be read.
    static bool alteration(const StoreStatement::Maker& statements, bool sqlite, const QString& table,
                           QString& alteration, QSqlError& failure);
};
