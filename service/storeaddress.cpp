#include "storeaddress.h"

#include "ownerfolder.h"

#include <QAtomicInt>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

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

QString newConnectionName()
{
    static QAtomicInt count;
    return QString("quillbay-service-%1").arg(count.fetchAndAddRelaxed(1));
}
} // namespace

const std::chrono::milliseconds StoreAddress::sqliteWriterWait(30000);

QSqlDatabase StoreAddress::database(const QString& url, QString& error)
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
        // Every start finds the tables there; the server's notices saying so are noise in the service's log.
        db.setConnectOptions("options='-c client_min_messages=warning'");
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
        return namesPostgreSql(QUrl(url)) ? QString() : "takes sqlite:PATH or postgresql://USER@HOST:PORT/DATABASE";
    if (QFileInfo(path).isDir())
        return "takes sqlite:PATH of a file: " + path + " is a folder";
    const QString obstacle = OwnerFolder::obstacle(QFileInfo(path).absolutePath());
    return obstacle.isEmpty() ? QString()
                              : "takes sqlite:PATH in a folder the service can write in or make: " + obstacle;
}
