// Build tool: writes the initial book from its SQL source through Qt's SQLite driver, so that the file
// properties (page size 1024, UTF-8, rollback journal) and the order of the schema objects are those the
// program expects. The bill indexes follow the schema; the program adds the same ones to older books.
#include "data/bookindexes.h"
#include "data/pendingchanges.h"

#include <QCoreApplication>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QTextStream>

#include <cstdio>

namespace {

// Splits the source into statements: a statement ends at a line ending in ";", except inside a trigger body,
// which ends at "END;".
QStringList splitStatements(const QString& source)
{
    QStringList statements;
    QString current;
    bool inBody = false;
    const QStringList lines = source.split('\n');
    for (const QString& raw : lines) {
        const QString line = raw.trimmed();
        if (current.isEmpty() && (line.isEmpty() || line.startsWith("--")))
            continue;
        current += raw + '\n';
        if (line.compare("BEGIN", Qt::CaseInsensitive) == 0 || line.endsWith(" BEGIN", Qt::CaseInsensitive))
            inBody = true;
        const bool ends = inBody ? line.compare("END;", Qt::CaseInsensitive) == 0 : line.endsWith(';');
        if (ends) {
            statements << current.trimmed();
            current.clear();
            inBody = false;
        }
    }
    return statements;
}

bool run(QSqlQuery& query, const QString& statement)
{
    if (query.exec(statement))
        return true;
    std::fprintf(stderr, "mkinitdb: %s\n  in: %s\n", qPrintable(query.lastError().text()), qPrintable(statement));
    return false;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: quillbay-mkinitdb init.sql init.db\n");
        return 2;
    }
    QFile source(QString::fromLocal8Bit(argv[1]));
    if (!source.open(QIODevice::ReadOnly | QIODevice::Text)) {
        std::fprintf(stderr, "mkinitdb: cannot read %s\n", argv[1]);
        return 1;
    }
    const QString target = QString::fromLocal8Bit(argv[2]);
    QFile::remove(target);

    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "mkinitdb");
        db.setDatabaseName(target);
        if (!db.open()) {
            std::fprintf(stderr, "mkinitdb: cannot create %s\n", argv[2]);
            return 1;
        }
        QSqlQuery query(db);
        const QStringList pragmas{"PRAGMA page_size = 1024", "PRAGMA encoding = 'UTF-8'",
                                  "PRAGMA journal_mode = DELETE", "PRAGMA user_version = 0"};
        for (const QString& p : pragmas)
            ok = ok && run(query, p);
        const QStringList statements = splitStatements(QString::fromUtf8(source.readAll())) +
                                       BookIndexes::statements() + PendingChanges::statements();
        for (const QString& s : statements)
            ok = ok && run(query, s);
        query.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase("mkinitdb");
    if (!ok)
        QFile::remove(target);
    return ok ? 0 : 1;
}
