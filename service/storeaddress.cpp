#include "storeaddress.h"

#include "ownerfolder.h"
#include "storefilecontent.h"

#include <QAtomicInt>
#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <QUrlQuery>

#include <algorithm>

namespace {
const QFileDevice::Permissions ownerFile = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

// The store file for its owner alone, made empty when missing. SQLite gives its journal, WAL and shared-memory
// files the mode of the store file, whatever the umask; older ones of an earlier start are mended too.
bool makeOwnerOnly(const QString& path)
{
    QFile file(path);
    if (!file.exists() && !file.open(QIODevice::WriteOnly, ownerFile))
        return false;
    file.close();
    for (const char* suffix : {"-journal", "-wal", "-shm"}) {
        if (QFile::exists(path + suffix) && !QFile::setPermissions(path + suffix, ownerFile))
            return false;
    }
    return QFile::setPermissions(path, ownerFile);
}

const QLatin1String sqlitePrefix("sqlite:");
// The first 16 bytes of every SQLite file.
const QByteArray sqliteHeader("SQLite format 3", 16);

// The SQLite file the address names: a plain file path, not URL-encoded ("#" or "%" in it mean themselves); empty
// when it names none.
QString sqlitePath(const QString& url)
{
    return url.startsWith(sqlitePrefix) ? url.mid(sqlitePrefix.size()) : QString();
}

bool namesPostgreSql(const QUrl& address)
{
    return address.scheme() == "postgresql" || address.scheme() == "postgres";
}

// The address's parameter that names the mode of a pooler in front of the database, and its values.
const QString poolMode = "pool_mode";
const QString sessionPooling = "session";
const QString transactionPooling = "transaction";

// What stands in the way of the parameters of a PostgreSQL address: none but the pooler's mode, once, as one of the
// modes the service can be served in; nothing when none does. The other settings of libpq's connection string would
// be ignored, and an operator who gave one would believe it in force.
QString parametersRefusal(const QUrl& address)
{
    const QString takes =
        "takes no parameter but pool_mode=session or pool_mode=transaction, the mode of a pooler in front of the "
        "database: ";
    const QList<std::pair<QString, QString>> parameters = QUrlQuery(address).queryItems(QUrl::FullyDecoded);
    for (const auto& [name, value] : parameters) {
        if (name != poolMode)
            return takes + name +
                   " is not one (libpq takes its other settings from its PG* variables, such as "
                   "PGSSLMODE)";
        if (value == "statement")
            return takes + "a pooler in statement mode refuses the transactions the service writes in";
        if (value != sessionPooling && value != transactionPooling)
            return takes + poolMode + "=" + value + " is neither";
    }
    return parameters.size() > 1 ? takes + poolMode + " is given twice" : QString();
}

QString newConnectionName()
{
    static QAtomicInt count;
    return QString("quillbay-service-%1").arg(count.fetchAndAddRelaxed(1));
}
} // namespace

const std::chrono::milliseconds StoreAddress::sqliteWriterWait(30000);
const std::chrono::seconds StoreAddress::serverWait(30);

const QString StoreAddress::sharedSessionsAdvice =
    "add pool_mode=transaction to the --database address "
    "(postgresql://USER@HOST:PORT/DATABASE?pool_mode=transaction), or set the pooler's pool_mode to session";

QSqlDatabase StoreAddress::database(const QString& url, QString& error, std::chrono::milliseconds serverWait)
{
    QSqlDatabase db;
    const QUrl address(url);
    if (const QString path = sqlitePath(url); !path.isEmpty()) {
        if (!OwnerFolder::make(QFileInfo(path).absolutePath()) || !makeOwnerOnly(path)) {
            error = "cannot make " + path + " for its owner alone";
            return {};
        }
        db = QSqlDatabase::addDatabase("QSQLITE", newConnectionName());
        db.setDatabaseName(path);
        db.setConnectOptions(QString("QSQLITE_BUSY_TIMEOUT=%1").arg(qint64(sqliteWriterWait.count())));
    } else if (namesPostgreSql(address)) {
        db = QSqlDatabase::addDatabase("QPSQL", newConnectionName());
        db.setHostName(address.host());
        db.setPort(address.port());
        db.setUserName(address.userName(QUrl::FullyDecoded));
        db.setPassword(address.password(QUrl::FullyDecoded));
        db.setDatabaseName(address.path(QUrl::FullyDecoded).mid(1));
        // A server that stops answering while the kernel still sees it, and one the kernel finds gone (its address
        // moved, its host down), are given up in the same time: libpq's wait for the connection counts whole seconds,
        // two at least.
        const qint64 seconds = std::max<qint64>(2, std::chrono::ceil<std::chrono::seconds>(serverWait).count());
        db.setConnectOptions(QString("connect_timeout=%1 keepalives=1 keepalives_idle=%1 keepalives_interval=%2 "
                                     "keepalives_count=3 tcp_user_timeout=%3")
                                 .arg(seconds)
                                 .arg(std::max<qint64>(1, seconds / 3))
                                 .arg(qint64(serverWait.count())));
    } else {
        error = "the database address is neither sqlite:PATH nor postgresql://USER@HOST:PORT/DATABASE";
        return {};
    }
    if (!db.isValid())
        error = "no database driver for " + url.section(':', 0, 0);
    return db;
}

QString StoreAddress::refusal(const QString& url)
{
    const QString path = sqlitePath(url);
    if (path.isEmpty())
        return namesPostgreSql(QUrl(url)) ? parametersRefusal(QUrl(url))
                                          : "takes sqlite:PATH or postgresql://USER@HOST:PORT/DATABASE";
    if (const QString obstacle = fileObstacle(path); !obstacle.isEmpty())
        return "takes sqlite:PATH of a file: " + obstacle;
    const QString obstacle = OwnerFolder::obstacle(QFileInfo(path).absolutePath());
    return obstacle.isEmpty() ? QString()
                              : "takes sqlite:PATH in a folder the service can write in or make: " + obstacle;
}

QString StoreAddress::shown(const QString& url)
{
    if (const QString path = sqlitePath(url); !path.isEmpty())
        return QFileInfo(path).absoluteFilePath();
    return QUrl(url).toString(QUrl::RemovePassword | QUrl::RemoveFragment);
}

QString StoreAddress::fileObstacle(const QString& path)
{
    const QFileInfo file(path);
    // A closing "/", "." or "..": the folder would be made and SQLite would fail on it.
    if (file.fileName().isEmpty() || file.fileName() == "." || file.fileName() == "..")
        return path + " names a folder";
    if (!file.exists())
        return QString();
    if (file.isDir())
        return path + " is a folder";
    // A device, a pipe or a socket would be made its owner's alone, and hold no store.
    if (!file.isFile())
        return path + " is no plain file";
    QFile store(path);
    if (!store.open(QIODevice::ReadOnly))
        return "cannot read " + path + ": " + store.errorString();
    // An empty file becomes a store; anything else must be one the service made already, or SQLite would fail on it
    // only once its mode was changed, or the service's tables would join another program's.
    const QByteArray start = store.read(sqliteHeader.size());
    if (start.isEmpty())
        return QString();
    if (start != sqliteHeader)
        return path + " is no SQLite store: it does not begin as one does";
    store.close();
    return StoreFileContent::obstacle(path);
}

bool StoreAddress::poolsTransactions(const QString& url)
{
    const QUrl address(url);
    return namesPostgreSql(address) && QUrlQuery(address).queryItemValue(poolMode) == transactionPooling;
}
