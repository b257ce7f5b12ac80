#include "syncbench.h"

#include "benchtiming.h"
#include "byterelay.h"
#include "data/bookconnection.h"
#include "data/bookfile.h"
#include "data/constants.h"
#include "data/dbsetting.h"
#include "data/filesetting.h"
#include "online/json.h"
#include "online/syncanswer.h"
#include "online/syncchangeset.h"
#include "online/syncmerge.h"
#include "serviceprocess.h"
#include "syncrun.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTextStream>
#include <QUrl>
#include <QUuid>
#include <algorithm>

namespace {
const QStringList tables{"bill", "account", "borrower", "category", "sub_category", "member"};
} // namespace

SyncBench::SyncBench(const QString& folder) : m_folder(folder)
{
    // Copies of a large book before and after each sync would be timed along with it.
    FileSetting::getInstance()->setValue("Backup/BackupBeforeSync", false);
    FileSetting::getInstance()->setValue("Backup/BackupAfterSync", false);
}

void SyncBench::runSyncs(const QString& book, int bills)
{
    ServiceProcess service;
    if (service.baseUrl().isEmpty() || !service.addAccount("bench", "pw"))
        qFatal("the service did not start");
    ByteRelay relay(quint16(QUrl(service.baseUrl()).port()));
    qputenv("QUILLBAY_SERVICE_URL", relay.baseUrl().toUtf8());

    const QString copy = m_folder + "/first-sync.db";
    QFile::remove(copy);
    if (!QFile::copy(book, copy) || !BookConnection::openDefault(copy))
        qFatal("cannot copy %s", qPrintable(book));
    DbSetting::resetInstance();
    DbSetting::getInstance()->setSyncUsername("bench");
    DbSetting::getInstance()->setSyncPassword("pw");
    DbSetting::getInstance()->save();

    benchOut() << QString("\nsyncs of a book of %1 bills through the service on loopback\n").arg(bills);
    const auto timed = [&relay](const QString& what) {
        relay.resetCounts();
        QElapsedTimer timer;
        timer.start();
        const QString end = SyncRun::toEnd(600000);
        benchOut() << QString("%1 %2 ms, sent %3 bytes, received %4 bytes (%5)\n")
                          .arg(what, -32)
                          .arg(timer.nsecsElapsed() / 1e6, 7, 'f', 0)
                          .arg(relay.sent(), 9)
                          .arg(relay.received(), 9)
                          .arg(end);
        benchOut().flush();
    };
    timed("first sync");
    timed("next sync, nothing changed");
    QSqlQuery("update tbl_bill set amount = amount + 1 where id in (select id from tbl_bill limit 10)");
    timed("next sync, 10 bills changed");
}

QString SyncBench::freshBook(const QString& name)
{
    const QString path = m_folder + "/" + name;
    QFile::remove(path);
    if (!BookFile::createFromInitial(path) || !BookConnection::openDefault(path))
        qFatal("cannot make %s", qPrintable(path));
    return path;
}

QVariantList SyncBench::answerRows(int rows, const QStringList& columns)
{
    QVariantList data;
    data.reserve(rows);
    for (int r = 0; r < rows; ++r) {
        QVariantList row;
        for (const QString& column : columns) {
            if (column == "id")
                row << QUuid::createUuid().toString(QUuid::WithoutBraces);
            else if (column == "amount")
                row << QString::number(-(r % 997) - 0.25, 'g', 15);
            else if (column == "date")
                row << "2020-06-15";
            else if (column == "month")
                row << "202006";
            else if (column == "kind")
                row << "expense";
            else if (column == "version" || column == "created_time")
                row << "2020-06-15 10:00:00";
            else
                row << QString("%1-%2").arg(column).arg(r % 50);
        }
        data << QVariant(row);
    }
    return data;
}

void SyncBench::runMerge(int rows, int repeats)
{
    freshBook("merge-columns.db");
    const QStringList columns = SyncChangeSet::syncedColumns("tbl_bill");
    const QVariantList data = answerRows(rows, columns);
    const QVariantMap entry{{"table_name", "bill"}, {"update_columns", columns}, {"update_data", data}};
    const QString text = JSON::getInstance()->serialize(QVariantList{entry});
    const QDateTime start = QDateTime::currentDateTimeUtc();

    QList<double> parse;
    QList<double> merge;
    QList<double> bare;
    for (int i = 0; i < repeats; ++i) {
        QElapsedTimer timer;
        timer.start();
        const QVariantList answer = JSON::getInstance()->toList(text);
        parse << timer.nsecsElapsed() / 1e6;

        freshBook("merge.db");
        timer.restart();
        QList<SyncAnswer::Entry> entries;
        if (!SyncAnswer::read(answer, tables, entries) || !SyncMerge::apply(entries, start, 0))
            qFatal("the merge failed");
        merge << timer.nsecsElapsed() / 1e6;

        freshBook("bare.db");
        timer.restart();
        QSqlDatabase::database().transaction();
        QSqlQuery insert;
        insert.prepare("insert into tbl_bill (" + columns.join(',') + ") values (" +
                       QStringList(QList<QString>(columns.size(), "?")).join(',') + ")");
        for (const QStringList& values : entries.at(0).rows) {
            for (int c = 0; c < values.size(); ++c)
                insert.bindValue(c, values.at(c));
            insert.exec();
        }
        QSqlDatabase::database().commit();
        bare << timer.nsecsElapsed() / 1e6;
    }
    const double ours = percentile(merge, 0.5);
    const double plain = percentile(bare, 0.5);
    benchOut() << QString("\nmerge of %1 received bills, median of %2 runs\n").arg(rows).arg(repeats);
    benchOut() << QString("reading the answer text (JSON)   %1 ms\n").arg(percentile(parse, 0.5), 8, 'f', 1);
    benchOut() << QString("merge (check and apply)          %1 ms\n").arg(ours, 8, 'f', 1);
    benchOut() << QString("plain inserts of the same rows   %1 ms\n").arg(plain, 8, 'f', 1);
    benchOut() << QString("ratio                            %1\n").arg(ours / plain, 8, 'f', 2);
    benchOut().flush();
}
