#include "servernotices.h"

#include "servicelog.h"
#include "storequery.h"

#include <libpq-fe.h>

namespace {
void received(void*, const PGresult* notice)
{
    if (qstrcmp(PQresultErrorField(notice, PG_DIAG_SEVERITY_NONLOCALIZED), "WARNING") != 0)
        return;
    const QString code = QString::fromLatin1(PQresultErrorField(notice, PG_DIAG_SQLSTATE));
    qCWarning(lcService).noquote() << "store: the database server warned: " + StoreQuery::codeSummary(code);
}
} // namespace

void ServerNotices::takeFrom(pg_conn* connection)
{
    PQsetNoticeReceiver(connection, received, nullptr);
}
