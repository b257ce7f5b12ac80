#include "postgresqlconnectfailure.h"

#include "storequery.h"

#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>

#include <libpq-fe.h>
#include <poll.h>

#include <memory>

namespace {
// How long the try may take: as long as the server takes to refuse a connection, and no longer than a silent one
// holds up a start that has failed already.
const int tryMs = 10000;

// The code of the server's refusal in libpq's message, which names it alone, after the refusal's grade, in the
// verbosity that asks for codes; empty when the server sent none.
QString refusalCode(const QString& message)
{
    static const QRegularExpression code(":  ([0-9A-Z]{5})$", QRegularExpression::MultilineOption);
    QString found;
    for (QRegularExpressionMatchIterator it = code.globalMatch(message); it.hasNext();)
        found = it.next().captured(1);
    return found;
}
} // namespace

QString PostgresqlConnectFailure::described(const QSqlDatabase& db)
{
    const QString said = StoreQuery::errorSummary(db.lastError());
    // Parts left empty come from libpq's PG* variables, as they do for the driver.
    const QByteArray host = db.hostName().toUtf8();
    const QByteArray port = db.port() > 0 ? QByteArray::number(db.port()) : QByteArray();
    const QByteArray name = db.databaseName().toUtf8();
    const QByteArray user = db.userName().toUtf8();
    const QByteArray password = db.password().toUtf8();
    const char* const keywords[] = {"host", "port", "dbname", "user", "password", nullptr};
    const char* const values[] = {host.constData(), port.constData(),     name.constData(),
                                  user.constData(), password.constData(), nullptr};
    const std::unique_ptr<PGconn, decltype(&PQfinish)> connection(PQconnectStartParams(keywords, values, 0), &PQfinish);
    if (!connection)
        return said;
    // Set before the server's refusal comes, so that libpq writes its code.
    PQsetErrorVerbosity(connection.get(), PQERRORS_SQLSTATE);
    const QDeadlineTimer deadline(tryMs);
    PostgresPollingStatusType polled =
        PQstatus(connection.get()) == CONNECTION_BAD ? PGRES_POLLING_FAILED : PGRES_POLLING_WRITING;
    while (polled == PGRES_POLLING_READING || polled == PGRES_POLLING_WRITING) {
        pollfd socket{PQsocket(connection.get()), short(polled == PGRES_POLLING_READING ? POLLIN : POLLOUT), 0};
        if (poll(&socket, 1, int(deadline.remainingTime())) <= 0)
            return said;
        polled = PQconnectPoll(connection.get());
    }
    if (polled != PGRES_POLLING_FAILED)
        return said;
    const QString message = QString::fromUtf8(PQerrorMessage(connection.get())).trimmed();
    const QString code = refusalCode(message);
    return code.isEmpty() ? message.section('\n', 0, 0) : StoreQuery::codeDescribed(code);
}
