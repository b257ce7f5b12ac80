#include "bookdump.h"
#include "bookrows.h"
#include "data/backuphelper.h"
#include "data/bookconnection.h"
#include "data/booklock.h"
#include "data/bookreplacement.h"
#include "data/constants.h"
#include "data/filesetting.h"
#include "testbook.h"
#include "testmount.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>
#include <optional>
#include <thread>

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

void execOn(const QString& path, const QStringList& statements)
{
    const bool done = BookConnection::withTemporary("spoil", path, [&statements](QSqlDatabase& db) {
        QSqlQuery query(db);
        for (const QString& sql : statements)
            if (!query.exec(sql))
                return false;
        return true;
    });
    QVERIFY(done);
}

// The smallest file the import takes for a keddo data file.
void writeKeddoFile(const QString& path)
{
    execOn(path, {"create table ked_accounts (account_id text, name text, kind text, amount float, description "
                  "text, sort int)",
                  "insert into ked_accounts values ('k', '导入', 'cash', 5, '', 1)"});
}

bool replaceWith(const QString& verb, const QString& file)
{
    return verb == "restore" ? BackupHelper::restore(file) : BackupHelper::keddo(file);
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

    // Grows the open book to a few pages over a megabyte.
    void growPastAMegabyte()
    {
        const qint64 pageSize = BookRows::value("pragma page_size").toLongLong();
        BookRows::exec("begin");
        for (int i = 0; BookRows::value("pragma page_count").toLongLong() * pageSize <= (1 << 20) + 8192; ++i)
            BookRows::exec("insert into tbl_bill (id, amount, description, date, month, kind) "
                           "values (?, 1, ?, '2014-05-17', 201405, 'expense')",
                           {QString("grown%1").arg(i), QString(400, 'g')});
        BookRows::exec("commit");
    }

private slots:
    void init()
    {
        BookLock::restartWait = std::chrono::milliseconds(100);
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

    // Restore takes a backup whatever indexes it holds: those of this program, or none, as an older one made it.
    void restoreTakesBooksWithAndWithoutIndexes_data()
    {
        QTest::addColumn<bool>("indexed");
        QTest::newRow("with indexes") << true;
        QTest::newRow("without indexes") << false;
    }

    void restoreTakesBooksWithAndWithoutIndexes()
    {
        QFETCH(bool, indexed);
        addMarkedContent();
        BookRows::addBill("expense", -12.5, {{"account_id", "a"}});
        if (!indexed)
            BookRows::dropBillIndexes();
        const QStringList indexes = BookRows::billIndexes();
        QVERIFY(BackupHelper::backup("b.db"));
        const QString dump = BookDump::of(BookDump::tables(true)).replace("2014-05-17 10:00:00", "2008-08-08 08:08:08");
        BookRows::exec("delete from tbl_bill");
        book->close();

        QVERIFY(BackupHelper::restore(FileSetting::getInstance()->getBackupDir() + "b.db"));
        book->open();
        QCOMPARE(BookDump::of(BookDump::tables(true)), dump);
        QCOMPARE(BookRows::billIndexes(), indexes);
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
        QTest::newRow("damaged pages") << "damaged";
        QTest::newRow("newer schema") << "newer";
        QTest::newRow("two settings rows") << "two rows";
        QTest::newRow("no settings row") << "no row";
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
            const QHash<QString, QStringList> spoil{
                {"sqlite", {"create table notes (text)", "drop table tbl_setting"}},
                {"nobills", {"drop table tbl_bill"}},
                {"newer", {"update tbl_setting set version=45"}},
                {"two rows", {"insert into tbl_setting (version) values (44)"}},
                {"no row", {"delete from tbl_setting"}},
                {"damaged",
                 {"with recursive n(i) as (select 1 union all select i+1 from n where i<2000) insert into "
                  "tbl_bill (id, amount, description, date, month, kind) select i, 1, printf('%.100c', "
                  "'d'), '2014-05-17', 201405, 'expense' from n"}},
            };
            execOn(chosen, spoil.value(kind));
            if (kind == "damaged") {
                // Garbage over a page of bills: the tables are all there, but the book is not whole.
                QFile file(chosen);
                QVERIFY(file.open(QIODevice::ReadWrite) && file.seek(file.size() / 2 / 1024 * 1024));
                file.write(QByteArray(1024, '\xab'));
            }
        }
        const QByteArray before = TestBook::bytesOf(bookPath);

        QVERIFY(!BackupHelper::restore(chosen));
        QCOMPARE(TestBook::bytesOf(bookPath), before);
        QVERIFY(backups().isEmpty());
    }

    // The book on disk is the old one until the new one is renamed over it, also when the rename is refused, and
    // a book another running copy holds is not replaced; a copy that is quitting is waited for. Whatever the
    // source's mode, only the owner may read or write the book or its backups.
    void replacement_data()
    {
        QTest::addColumn<QString>("verb");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("obstacle");
        QTest::addColumn<bool>("interrupted");
        QTest::newRow("restore 0666") << "restore" << 0x6666 << "none" << false;
        QTest::newRow("import 0666") << "keddo" << 0x6666 << "none" << false;
        QTest::newRow("restore 0777, other copy quitting") << "restore" << 0x7777 << "quitting" << false;
        QTest::newRow("restore interrupted") << "restore" << 0x6644 << "none" << true;
        QTest::newRow("import interrupted") << "keddo" << 0x6644 << "none" << true;
        QTest::newRow("restore, other copy running") << "restore" << 0x6644 << "running" << false;
        QTest::newRow("import, other copy running") << "keddo" << 0x6644 << "running" << false;
        QTest::newRow("restore, rename refused") << "restore" << 0x6644 << "pinned book" << false;
        QTest::newRow("import, rename refused") << "keddo" << 0x6644 << "pinned book" << false;
    }
    void replacement()
    {
        QFETCH(QString, verb);
        QFETCH(int, mode);
        QFETCH(QString, obstacle);
        QFETCH(bool, interrupted);
        addMarkedContent();
        book->close();
        // A file that is a mount point cannot be renamed over.
        std::optional<TestMount> pinned;
        if (obstacle == "pinned book" && !pinned.emplace(TestMount::PinnedFile, bookPath).isMounted())
            QSKIP("pinning the book needs root to mount");
        const QString chosen = book->home() + "/chosen.db";
        if (verb == "restore")
            QFile::copy(bookPath, chosen);
        else
            writeKeddoFile(chosen);
        QVERIFY(QFile::setPermissions(chosen, QFile::Permissions(mode)));
        const QByteArray before = TestBook::bytesOf(bookPath);
        QLockFile lock(bookPath + ".lock");
        QVERIFY((obstacle != "quitting" && obstacle != "running") || lock.lock());
        BookLock::restartWait = std::chrono::milliseconds(obstacle == "quitting" ? 5000 : 100);
        std::thread quitting([&] {
            if (obstacle == "quitting") {
                QThread::msleep(300);
                lock.unlock();
            }
        });
        QByteArray atRename = before;
        BookReplacement::beforeRename = [&](const QString& path) {
            atRename = TestBook::bytesOf(path);
            return !interrupted;
        };
        const bool replaced = replaceWith(verb, chosen);
        quitting.join();
        BookReplacement::beforeRename = nullptr;
        pinned.reset();
        QCOMPARE(atRename, before);
        QCOMPARE(replaced, !interrupted && (obstacle == "none" || obstacle == "quitting"));
        QCOMPARE(TestBook::bytesOf(bookPath) == before, !replaced);
        QCOMPARE(QDir(book->dataDir()).entryList({"Quillbay.db*"}, QDir::Files),
                 QStringList({"Quillbay.db", "Quillbay.db.lock"}));
        QVERIFY(BackupHelper::backup("later.db"));
        for (const QString& path : {bookPath, FileSetting::getInstance()->getBackupDir() + "later.db"})
            QCOMPARE(QFile::permissions(path) & 0x7777, QFile::Permissions(0x6600));
    }

    // The copy into place writes whole megabytes straight to the disk and keeps the rest in the file's buffer
    // until it is flushed: a disk that fills up in that last write fails the restore or the backup, and the file
    // it was to replace stays whole.
    void diskFillsInTheLastWrite_data()
    {
        QTest::addColumn<QString>("verb");
        QTest::newRow("restore") << "restore";
        QTest::newRow("backup to a file") << "backup";
    }
    void diskFillsInTheLastWrite()
    {
        QFETCH(QString, verb);
        addMarkedContent();
        growPastAMegabyte();
        book->close();
        const QByteArray grown = TestBook::bytesOf(bookPath);
        const qint64 last = grown.size() - (1 << 20);
        QVERIFY(last > 4096 && last <= 16384);
        const QString chosen = book->home() + "/chosen.db";
        writeFile(chosen, grown);
        FileSetting::getInstance()->setValue("Backup/BackupDir", book->home() + "/backups/");

        const TestMount disk(TestMount::SmallDisk, book->dataDir());
        if (!disk.isMounted())
            QSKIP("a small disk needs root to mount");
        writeFile(bookPath, grown);
        const QString replaced = verb == "restore" ? bookPath : book->dataDir() + "old.db";
        if (verb == "backup")
            writeFile(replaced, "an older backup");
        const QByteArray before = TestBook::bytesOf(replaced);
        // Room for the book's lock (a restore takes it), the working copy and the new file but for its last page.
        const qint64 page = 4096;
        disk.fill((verb == "restore" ? page : 0) + (grown.size() + page - 1) / page * page + grown.size() - last +
                  page);

        QVERIFY(verb == "restore" ? !BackupHelper::restore(chosen) : !BackupHelper::backupTo(replaced));
        QCOMPARE(TestBook::bytesOf(replaced), before);
        // The restore got as far as its safety backup: the disk filled up as the book was written.
        QCOMPARE(backups().size(), verb == "restore" ? 1 : 0);
        QCOMPARE(QDir(book->dataDir()).entryList({"*.db*"}, QDir::Files),
                 verb == "restore" ? QStringList({"Quillbay.db", "Quillbay.db.lock"})
                                   : QStringList({"old.db", "Quillbay.db"}));
        // The lock lies on the small disk, which goes first.
        BookLock::release();
    }

    // A copy renamed over the open book would leave its connection writing to a file no longer under that name:
    // whatever the user entered afterwards would be gone when the book is next opened.
    void backupOverTheOpenBookIsRefused_data()
    {
        QTest::addColumn<QString>("target"); // in the data folder
        QTest::newRow("its own path") << "Quillbay.db";
        QTest::newRow("its path through a detour") << "../Quillbay/./Quillbay.db";
    }
    void backupOverTheOpenBookIsRefused()
    {
        QFETCH(QString, target);
        addMarkedContent();
        QVERIFY(!BackupHelper::backupTo(book->dataDir() + target));
        const QString later = BookRows::addBill("expense", -12.5);
        book->close();
        book->open();
        QCOMPARE(BookRows::value("select count(*) from tbl_bill where id=?", {later}).toInt(), 1);
        QCOMPARE(BookRows::value("select name from tbl_account where id='a'").toString(), QString("备份前"));
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
