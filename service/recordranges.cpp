#include "recordranges.h"

#include "storequery.h"

#include <QSqlError>

#include <memory>
#include <utility>

RecordRanges::RecordRanges(bool sqlite, StoreStatement::Maker statements, qint64 perRange)
    : m_sqlite(sqlite), m_statements(std::move(statements)), m_columns(sqlite ? "rowid" : "user_id, table_name, id"),
      m_perRange(perRange)
{
}

bool RecordRanges::forEach(const std::function<QStringList(const QString&, const QString&)>& statements,
                           const std::function<void(qint64)>& done, QSqlError& failure)
{
    QVariantList after;
    for (qint64 ranges = 1;; ++ranges) {
        QVariantList last;
        if (!lastOfRange(after, last, failure))
            return false;
        // A range is picked by the key it begins after and a count, not by its last key too: PostgreSQL estimates
        // the records between two keys from their first column alone, as many as a whole account's, and would read
        // the whole table for them.
        const QString picked = pick(after, m_perRange);
        const QString condition = "(" + m_columns + ") in (select " + m_columns + " from records " + picked + ")";
        for (const QString& sql : statements(picked, condition)) {
            const std::unique_ptr<StoreStatement> statement = m_statements();
            if (!StoreQuery::start(*statement, sql, after, failure))
                return false;
            if (!statement->finish())
                return StoreQuery::failedWith(*statement, failure);
        }
        if (last.isEmpty())
            return true;
        done(ranges * m_perRange);
        after = last;
    }
}

QString RecordRanges::pick(const QVariantList& after, qint64 count, qint64 skipped) const
{
    const QString from =
        after.isEmpty() ? QString() : "where (" + m_columns + ") > (" + StoreQuery::marks(int(after.size())) + ") ";
    return QString("%1order by %2 limit %3 offset %4").arg(from, m_columns).arg(count).arg(skipped);
}

bool RecordRanges::lastOfRange(const QVariantList& after, QVariantList& last, QSqlError& failure) const
{
    const std::unique_ptr<StoreStatement> statement = m_statements();
    if (!StoreQuery::start(*statement, "select " + m_columns + " from records " + pick(after, 1, m_perRange - 1), after,
                           failure))
        return false;
    if (statement->next()) {
        // SQLite's rowid is a number, PostgreSQL's key three texts.
        if (m_sqlite)
            last << statement->number(0);
        for (int i = 0; !m_sqlite && i < 3; ++i)
            last << statement->text(i).toByteArray();
    }
    return statement->finish() || StoreQuery::failedWith(*statement, failure);
}
