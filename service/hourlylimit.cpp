#include "hourlylimit.h"

#include "storequery.h"

#include <QDateTime>

#include <utility>

namespace {
const char* const stampFormat = "yyyy-MM-dd hh:mm:ss";
} // namespace

HourlyLimit::HourlyLimit(Run run) : m_run(std::move(run)) {}

bool HourlyLimit::forgetOlder(const QString& table)
{
    const std::unique_ptr<StoreStatement> deleted =
        m_run(QString("delete from %1 where received < ?").arg(table), {hourAgo()});
    return deleted && deleted->finish();
}

QString HourlyLimit::hourAgo()
{
    return QDateTime::currentDateTimeUtc().addSecs(-3600).toString(stampFormat);
}

HourlyLimit::Outcome HourlyLimit::insert(const QString& table, const QStringList& columns, const QVariantList& values,
                                         const QString& address, int perAddress, int perHour, const QString& condition,
                                         const QVariantList& conditionValues)
{
    const QString since = hourAgo();
    // One statement counts and inserts: nothing slips in between on SQLite. On PostgreSQL statements of this process
    // run at once, and the limits it is given already count the rows its other requests are storing (PendingCount),
    // so only a further process sharing the store could add one row over a limit.
    const std::unique_ptr<StoreStatement> inserted = m_run(
        QString("insert into %1 (received, address%2) select %3 where (select count(*) from %1 where "
                "received > ?) < ? and (select count(*) from %1 where received > ? and address = ?) < ?%4")
            .arg(table, columns.isEmpty() ? QString() : ", " + columns.join(", "),
                 StoreQuery::marks(int(columns.size()) + 2), condition.isEmpty() ? QString() : " and " + condition),
        QVariantList{QDateTime::currentDateTimeUtc().toString(stampFormat), address} + values +
            QVariantList{since, perHour, since, address, perAddress} + conditionValues);
    if (!inserted)
        return Outcome::Failed;
    const bool stored = inserted->changes() == 1;
    if (!inserted->finish())
        return Outcome::Failed;
    return stored ? Outcome::Stored : Outcome::OverLimit;
}
