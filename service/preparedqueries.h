#pragma once

#include <QHash>
#include <QSqlQuery>
#include <QString>

#include <memory>

class QSqlDatabase;

// The statements of one store connection, each prepared the first time it is asked for and kept for the
// connection's life, its values bound anew for each run: on PostgreSQL a statement prepared for a single run costs a
// round trip to prepare it and one to let it go besides its own. The statements that differ only by how many values
// they take (a lookup or a write of that many records) could fill any number of places, so the number kept is
// bounded, the one used least lately going first.
class PreparedQueries
{
public:
    // The statement, prepared on the connection, forward only (each is read once, in order); nullptr, with its error
    // logged, when it cannot be prepared. It stays usable whatever is prepared after it.
    std::shared_ptr<QSqlQuery> prepared(const QSqlDatabase& db, const QString& sql);
    // Lets every statement go, as their connection closes.
    void clear() { m_queries.clear(); }

private:
    struct Kept
    {
        std::shared_ptr<QSqlQuery> query;
        quint64 used = 0;
    };

    QHash<QString, Kept> m_queries;
    quint64 m_uses = 0;
};
