#include "storefilecontent.h"

#include "storequery.h"
#include "terminaltext.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStringList>
#include <QUrl>
#include <QUrlQuery>

#include <sqlite3.h>

namespace {
// Every table that a version of the service made in its store. The indexes and triggers on them are the store's
// too, the service's own or an operator's; the objects whose names begin with "sqlite_" are SQLite's, such as the
// indexes of primary keys and what ANALYZE keeps.
const QSet<QString> ownTables{"accounts", "syncs", "feedback", "signups", "records"};

// Of the objects that are none of the service's, those a refusal names; the rest it counts.
const int namedObjects = 3;

// The address SQLite opens the file at for the look, which changes nothing. Work committed into a write-ahead log
// beside the file may not be in the file yet: the log is read through its index as it stands, which another process
// may be using, without writing to the index; where no index is left, SQLite makes one, which `madeIndex` says is to
// go once the look is done (no process is using a log without its index). Without a log, the file holds everything
// and is read as it lies, without the locks that would make a log and its index for a file in that mode.
QByteArray lookAddress(const QString& path, bool& madeIndex)
{
    QUrlQuery options;
    if (QFileInfo::exists(path + "-wal")) {
        options.addQueryItem("mode", "ro");
        madeIndex = !QFileInfo::exists(path + "-shm");
        if (!madeIndex)
            options.addQueryItem("readonly_shm", "1");
    } else {
        options.addQueryItem("immutable", "1");
    }
    QUrl address = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
    address.setQuery(options);
    return address.toEncoded();
}

// The objects of the file that belong to no table of the service's, tables first, in `others`: other tables, views,
// and their indexes and triggers; SQLite's code when it cannot read them, SQLITE_OK otherwise.
int othersObjects(sqlite3* db, QStringList& others)
{
    sqlite3_stmt* statement = nullptr;
    const int prepared = sqlite3_prepare_v2(
        db,
        "select type, name, tbl_name from sqlite_schema where name not like 'sqlite\\_%' escape '\\' order by "
        "type <> 'table', type, name",
        -1, &statement, nullptr);
    int outcome = prepared;
    while (prepared == SQLITE_OK && (outcome = sqlite3_step(statement)) == SQLITE_ROW) {
        const auto text = [statement](int column) {
            return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, column)));
        };
        if (text(0) == "view" || !ownTables.contains(text(2)))
            others << text(0) + ' ' + TerminalText::quoted(text(1));
    }
    sqlite3_finalize(statement);
    return outcome == SQLITE_DONE ? SQLITE_OK : sqlite3_errcode(db);
}
} // namespace

QString StoreFileContent::obstacle(const QString& path)
{
    bool madeIndex = false;
    sqlite3* db = nullptr;
    int outcome =
        sqlite3_open_v2(lookAddress(path, madeIndex).constData(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
    QStringList others;
    if (outcome == SQLITE_OK)
        outcome = othersObjects(db, others);
    else if (db)
        outcome = sqlite3_errcode(db);
    sqlite3_close(db);
    if (madeIndex)
        QFile::remove(path + "-shm");
    if (outcome != SQLITE_OK)
        return path + " cannot be read as an SQLite store: " + StoreQuery::codeDescribed(QString::number(outcome));
    if (others.isEmpty())
        return QString();
    QString named = others.mid(0, namedObjects).join(", the ");
    if (others.size() > namedObjects)
        named += QString(" and %1 more").arg(others.size() - namedObjects);
    return QString("%1 is another database: it holds the %2, which the service never makes").arg(path, named);
}
