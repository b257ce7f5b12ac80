#include "directstatement.h"

#include "servicelog.h"

#include <sqlite3.h>

DirectStatement::~DirectStatement()
{
    sqlite3_finalize(m_statement);
}

bool DirectStatement::prepare(const QString& sql)
{
    sqlite3_finalize(m_statement);
    m_statement = nullptr;
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
    // The message's first line only, as for every store error: a later one might quote the statement's values.
    qCWarning(lcService) << "store:" << sqlite3_extended_errcode(m_db)
                         << QString::fromUtf8(sqlite3_errmsg(m_db)).section('\n', 0, 0);
    return false;
}
