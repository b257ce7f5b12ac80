#include "bookrows.h"
#include "data/backuphelper.h"
#include "data/bookconnection.h"
#include "data/constants.h"
#include "data/filesetting.h"
#include "testbook.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

namespace {
void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QStringList backups()
{
    return QDir(FileSetting::getInstance()->getBackupDir()).entryList(QDir::Files);
}
} // namespace

class TestBackupHelper : public QObject
{
    Q_OBJECT

private:
    TestBook* book = nullptr;
    QString bookPath;

    // Writes one recognisable account and a sync time that is not the never-synchronised marker.
    void addMarkedContent()
    {
        BookRows::exec("insert into tbl_account (id, name, kind, amount, sort) values ('a', '备份前', 'cash', 9, 1)");
        BookRows::exec("update tbl_setting set sync_time='2014-05-17 10:00:00'");
    }

private slots:
    void init()
    {
        book = new TestBook;
        bookPath = book->open();
    }

    void cleanup()
    {
        BookRows::dropCaches();
        delete book;
    }

    void backupNameIsBaseNameAndLocalTime_data()
    {
        QTest::addColumn<QString>("bookName");
        QTest::addColumn<QString>("prefix");
        QTest::newRow("plain") << "Quillbay.db"
                               << "Quillbay";
        QTest::newRow("dotted") << "my.book.db"
                                << "my";
        QTest::newRow("chinese") << "家庭.db"
                                 << "家庭";
    }

    void backupNameIsBaseNameAndLocalTime()
    {
        QFETCH(QString, bookName);
        QFETCH(QString, prefix);
        book->open(bookName);
        const QDateTime before = QDateTime::currentDateTime();
        const QString name = BackupHelper::generateBackupFileName();
        const QDateTime after = QDateTime::currentDateTime();

        const auto match = QRegularExpression("^" + prefix + "(\\d{17})\\.db$").match(name);
        QVERIFY2(match.hasMatch(), qPrintable(name));
        const QDateTime stamp = QDateTime::fromString(match.captured(1), "yyyyMMddhhmmsszzz");
        QVERIFY(stamp >= before.addMSecs(-1) && stamp <= after);
    }

    void backupCopiesAndNeverOverwrites()
    {
        addMarkedContent();
        QVERIFY(BackupHelper::backup());
        QCOMPARE(backups().size(), 1);
        QVERIFY(backups().first().startsWith("Quillbay"));

        const QString named = FileSetting::getInstance()->getBackupDir() + "x.db";
        QVERIFY(BackupHelper::backup("x.db"));
        const QByteArray first = TestBook::bytesOf(named);
        QCOMPARE(first, TestBook::bytesOf(bookPath));

        BookRows::exec("delete from tbl_account");
        QVERIFY(!BackupHelper::backup("x.db"));
        QCOMPARE(TestBook::bytesOf(named), first);
    }

    void restoreBringsBackupBackUnsynchronised()
    {
        addMarkedContent();
        QVERIFY(BackupHelper::backup("good.db"));
        const QString good = FileSetting::getInstance()->getBackupDir() + "good.db";
        QFile::setPermissions(good, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
        BookRows::exec("delete from tbl_account");
        book->close();

        QVERIFY(BackupHelper::restore(good));
        QCOMPARE(backups().size(), 2); // the chosen file and the safety backup

        const QFile::Permissions permissions = QFile::permissions(bookPath);
        QVERIFY(permissions.testFlag(QFile::WriteOwner));
        QVERIFY(!permissions.testFlag(QFile::WriteOther));
        QVERIFY(!permissions.testFlag(QFile::WriteGroup));

        book->open();
        QCOMPARE(BookRows::value("select name from tbl_account where id='a'").toString(), QString("备份前"));
        QCOMPARE(BookRows::value("select sync_time from tbl_setting").toString(), QString("2008-08-08 08:08:08"));
        QCOMPARE(BookRows::value("select count(*) from tbl_setting").toInt(), 1);
        QVERIFY(BookRows::value("select password from tbl_setting").isNull());
        // The book takes writes again.
        BookRows::exec("insert into tbl_member (id, name, sort) values ('m', '我', 1)");
    }

    void failedRestoreKeepsTheBook_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("text file") << "text";
        QTest::newRow("empty file") << "empty";
        QTest::newRow("missing file") << "missing";
        QTest::newRow("other SQLite file") << "sqlite";
        QTest::newRow("book without bills") << "nobills";
        QTest::newRow("no safety backup possible") << "nobackup";
    }

    void failedRestoreKeepsTheBook()
    {
        QFETCH(QString, kind);
        addMarkedContent();
        book->close();
        const QString chosen = book->home() + "/chosen.db";
        if (kind == "text")
            writeFile(chosen, "这不是账本\n");
        else if (kind == "empty")
            writeFile(chosen, QByteArray());
        else if (kind == "nobackup") {
            QFile::copy(bookPath, chosen);
            // A file where the backup folder should be: nothing can be written into it.
            writeFile(book->home() + "/bak", "x");
            FileSetting::getInstance()->setValue("Backup/BackupDir", book->home() + "/bak");
        } else if (kind != "missing") {
            QFile::copy(bookPath, chosen);
            BookConnection::withTemporary("chosen", chosen, [&kind](QSqlDatabase& db) {
                QSqlQuery query(db);
                if (kind == "sqlite")
                    return query.exec("create table notes (text)") && query.exec("drop table tbl_setting");
                return query.exec("drop table tbl_bill");
            });
        }
        const QByteArray before = TestBook::bytesOf(bookPath);

        QVERIFY(!BackupHelper::restore(chosen));
        QCOMPARE(TestBook::bytesOf(bookPath), before);
        QVERIFY(backups().isEmpty());
    }

    void restoringTheBookItselfKeepsIt()
    {
        addMarkedContent();
        book->close();
        const QByteArray before = TestBook::bytesOf(bookPath);
        QVERIFY(!BackupHelper::restore(bookPath));
        QCOMPARE(TestBook::bytesOf(bookPath), before);
    }
};

QTEST_MAIN(TestBackupHelper)
#include "tst_backuphelper.moc"
