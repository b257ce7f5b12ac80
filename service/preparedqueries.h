#pragma once

#include "keptstatements.h"

#include <QSqlQuery>
#include <QString>

#include <memory>

class QSqlDatabase;

// The statements of one store connection run through the driver, each prepared the first time it is asked for and
// kept (KeptStatements), its values bound anew for each run: on PostgreSQL a statement prepared for a single run costs
// a round trip to prepare it and one to let it go besides its own. They take small values only, ids and numbers: a
// sync's records are written through the database's own library, as a statement kept with its last values bound
// would hold them.
class PreparedQueries
{
public:
    // The statement, prepared on the connection, forward only (each is read once, in order); nullptr, with its error
    // logged, when it cannot be prepared. It stays usable whatever is prepared after it.
    std::shared_ptr<QSqlQuery> prepared(const QSqlDatabase& db, const QString& sql);
    // Lets every statement go, as their connection closes.
    void clear() { m_queries.clear(); }

private:
    // Some 15 statements of fixed text, and a few dozen counts of records looked up at once; a place costs the store's
    // server a few kilobytes.
    KeptStatements<QSqlQuery> m_queries{64};
};
