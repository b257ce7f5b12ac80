#include "directstatement.h"

#include <sqlite3.h>

bool DirectStatement::compile(const QString& sql)
{
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
    sqlite3_bind_text(m_statement.get(), position + 1, text.data() ? text.data() : "", int(text.size()), SQLITE_STATIC);
}

void DirectStatement::bindNumber(int position, qint64 number)
{
    sqlite3_bind_int64(m_statement.get(), position + 1, number);
}

bool DirectStatement::execute()
{
    return stepped(sqlite3_step(m_statement.get()));
}

bool DirectStatement::step()
{
    // A statement stepped past its end would begin again.
    return m_atRow && stepped(sqlite3_step(m_statement.get()));
}

bool DirectStatement::stepped(int outcome)
{
    m_atRow = outcome == SQLITE_ROW;
    return m_atRow || (outcome != SQLITE_DONE && failed());
}

QByteArrayView DirectStatement::text(int column) const
{
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(m_statement.get(), column));
    return QByteArrayView(bytes, bytes ? sqlite3_column_bytes(m_statement.get(), column) : 0);
}

qint64 DirectStatement::number(int column) const
{
    return sqlite3_column_int64(m_statement.get(), column);
}

bool DirectStatement::isNull(int column) const
{
    return sqlite3_column_type(m_statement.get(), column) == SQLITE_NULL;
}

qint64 DirectStatement::changes() const
{
    return sqlite3_changes(m_db);
}

void DirectStatement::reset()
{
    m_atRow = false;
    if (!m_statement)
        return;
    sqlite3_reset(m_statement.get());
    sqlite3_clear_bindings(m_statement.get());
}

bool DirectStatement::failed()
{
    return failedWith(QString::number(sqlite3_errcode(m_db) & 0xff));
}
