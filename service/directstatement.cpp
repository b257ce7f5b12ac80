#include "directstatement.h"

#include "storequery.h"

#include <sqlite3.h>

bool DirectStatement::prepare(const QString& sql)
{
    m_sql = sql;
    m_statement = m_kept.find(sql);
    if (m_statement)
        return true;
    sqlite3_stmt* statement = nullptr;
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(m_db, text.constData(), int(text.size()), &statement, nullptr) != SQLITE_OK)
        return failed();
    m_statement.reset(statement, &sqlite3_finalize);
    m_kept.keep(sql, m_statement);
    return true;
}

void DirectStatement::bindText(int position, QByteArrayView text)
{
    sqlite3_bind_text(m_statement.get(), position + 1, text.data(), int(text.size()), SQLITE_STATIC);
}

void DirectStatement::bindNumber(int position, qint64 number)
{
    sqlite3_bind_int64(m_statement.get(), position + 1, number);
}

bool DirectStatement::run()
{
    const bool done = sqlite3_step(m_statement.get()) == SQLITE_DONE;
    sqlite3_reset(m_statement.get());
    // The texts bound lie in the caller's memory, which the kept statement must not point at once it is gone.
    sqlite3_clear_bindings(m_statement.get());
    return done || failed();
}

bool DirectStatement::failed()
{
    return StoreQuery::failed(StoreQuery::codeSummary(QString::number(sqlite3_errcode(m_db) & 0xff)), m_sql);
}
