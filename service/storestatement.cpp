#include "storestatement.h"

#include "storequery.h"

#include <utility>

namespace {
// PostgreSQL's code of a prepared statement the server no longer knows by its name.
const QString unknownStatement = "26000";
} // namespace

bool StoreStatement::prepare(const QString& sql)
{
    m_sql = sql;
    forgetFailure();
    return compile(sql) || StoreQuery::failed(failure(), m_sql);
}

void StoreStatement::bindHeld(int position, const QByteArray& text)
{
    m_held.append(text);
    bindText(position, m_held.constLast());
}

void StoreStatement::bindAll(const QVariantList& values)
{
    for (int i = 0; i < values.size(); ++i) {
        const QVariant& value = values.at(i);
        if (value.typeId() == QMetaType::QString)
            bindHeld(i, value.toString().toUtf8());
        else if (value.typeId() == QMetaType::QByteArray)
            bindHeld(i, value.toByteArray());
        else
            bindNumber(i, value.toLongLong());
    }
}

bool StoreStatement::run()
{
    const bool ran = start();
    if (!ran)
        StoreQuery::failed(failure(), m_sql);
    return finish() && ran;
}

bool StoreStatement::start()
{
    forgetFailure();
    m_readingFailed = false;
    m_atFirst = execute();
    // A failure is one whatever it is told by: a connection lost without a word from the server has no code.
    return !m_failed;
}

bool StoreStatement::next()
{
    if (std::exchange(m_atFirst, false))
        return true;
    if (step())
        return true;
    m_readingFailed = m_failed;
    return false;
}

bool StoreStatement::finish()
{
    m_atFirst = false;
    reset();
    m_held.clear();
    return !std::exchange(m_readingFailed, false) || StoreQuery::failed(failure(), m_sql);
}

QString StoreStatement::failure() const
{
    return m_code.isEmpty() ? m_message : StoreQuery::codeSummary(m_code);
}

void StoreStatement::forgetFailure()
{
    m_failed = false;
    m_code.clear();
    m_message.clear();
}

bool StoreStatement::forgotten() const
{
    return m_code == unknownStatement;
}

bool StoreStatement::failedWith(const QString& code, const QString& message)
{
    m_failed = true;
    m_code = code;
    m_message = message;
    return false;
}
