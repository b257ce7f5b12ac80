#include "directstatement.h"

#include "storequery.h"

#include <sqlite3.h>

DirectStatement::~DirectStatement()
{
    sqlite3_finalize(m_statement);
}

bool DirectStatement::prepare(const QString& sql)
{
    sqlite3_finalize(m_statement);
    m_statement = nullptr;
    m_sql = sql;
    const QByteArray text = sql.toUtf8();
    return sqlite3_prepare_v2(m_db, text.constData(), int(text.size()), &m_statement, nullptr) == SQLITE_OK || failed();
}

void DirectStatement::bindText(int position, QByteArrayView text)
{
    sqlite3_bind_text(m_statement, position + 1, text.data(), int(text.size()), SQLITE_STATIC);
}

void DirectStatement::bindNumber(int position, qint64 number)
{
    sqlite3_bind_int64(m_statement, position + 1, number);
}

bool DirectStatement::run()
{
    const bool done = sqlite3_step(m_statement) == SQLITE_DONE;
    sqlite3_reset(m_statement);
    return done || failed();
}

bool DirectStatement::failed()
{
    return StoreQuery::failed(StoreQuery::codeSummary(QString::number(sqlite3_errcode(m_db) & 0xff)), m_sql);
}
