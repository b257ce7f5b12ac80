#include "bookrows.h"
#include "contexttranslator.h"
#include "data/backuphelper.h"
#include "data/bookconnection.h"
#include "data/bookindexes.h"
#include "data/constants.h"
#include "data/filesetting.h"
#include "testbook.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

namespace {
// The tables of a keddo data file that the import reads, with a trigger whose name the book schema also uses.
const QStringList keddoSchema{
    "create table ked_accounts (account_id text, name text, kind text, amount float, description text, sort int, "
    "color text)",
    "create table ked_bills (bill_id text, title text, amount float, description text, date text, month int, "
    "catelog_id text, account_id text, to_account_id text, borrower_id text, kind text, place text)",
    "create table ked_borrowers (borrower_id text, name text, kind text, sort int)",
    "create table ked_catelogs (catelog_id text, name text, kind text, sort int)",
    "create table ked_settings (key text, value text)",
    "create table ked_trashes (id text)",
    "create trigger bill_deleted before delete on ked_bills for each row begin "
    "insert into ked_trashes values (old.bill_id); end",
};

const QStringList keddoRows{
    "insert into ked_accounts values ('a1', '现金', 'cash', 100, '零钱', 3, 'red')",
    "insert into ked_accounts values ('a2', '信用卡', 'creditcard', 0, '', 1, 'blue')",
    "insert into ked_accounts values ('a3', '工资卡', 'bankcard', 50, '', 2, 'green')",
    "insert into ked_catelogs values ('c1', '吃饭', 'expense', 7)",
    "insert into ked_catelogs values ('c2', '薪水', 'income', 4)",
    "insert into ked_borrowers values ('p1', '张三', 'person', 1)",
    "insert into ked_bills values ('b1', '午饭', -12.5, '面条', '2013-04-02', 201304, 'c1', 'a1', '', '', "
    "'expense', '')",
    "insert into ked_bills values ('b2', '', 30, '还来', '2013-04-03', 201304, '', 'a1', '', 'p1', 'repayin', '')",
    "insert into ked_bills values ('b3', '', -20, '还去', '2013-04-04', 201304, '', 'a3', '', 'p1', 'repayout', '')",
    "insert into ked_bills values ('b4', '', -40, '还卡', '2013-04-05', 201304, '', 'a3', 'a2', '', 'transfer', '')",
};

void makeKeddoFile(const QString& path, const QStringList& extra = {})
{
    const bool ok = BookConnection::withTemporary("make", path, [&extra](QSqlDatabase& db) {
        QSqlQuery query(db);
        for (const QString& sql : keddoSchema + keddoRows + extra)
            if (!query.exec(sql)) {
                qWarning() << sql << query.lastError().text();
                return false;
            }
        return true;
    });
    QVERIFY(ok);
}

// Whatever the import's outcome, the backup folder holds nothing but the safety backup of the former book, and
// no working copy is left beside the book.
void checkOnlyTheSafetyBackup(const QString& bookPath, const QByteArray& formerBook)
{
    const QDir backups(FileSetting::getInstance()->getBackupDir());
    const QStringList files = backups.entryList(QDir::Files);
    QCOMPARE(files.size(), 1);
    QCOMPARE(TestBook::bytesOf(backups.filePath(files.first())), formerBook);
    const QStringList besideTheBook = QFileInfo(bookPath).dir().entryList({"Quillbay.db*"}, QDir::Files);
    QCOMPARE(besideTheBook, QStringList({"Quillbay.db", "Quillbay.db.lock"}));
}

QStringList column(const QString& sql)
{
    QStringList values;
    QSqlQuery query;
    query.exec(sql);
    while (query.next())
        values << query.value(0).toString();
    return values;
}

QStringList numbered(int count)
{
    QStringList ids;
    for (int i = 1; i <= count; ++i)
        ids << QString("%1").arg(i, 2, 10, QChar('0'));
    return ids;
}
} // namespace

class TestKeddoImport : public QObject
{
    Q_OBJECT

private:
    TestBook* book = nullptr;
    QString bookPath;
    QString keddoPath;
    QByteArray formerBook;

private slots:
    void init()
    {
        book = new TestBook;
        bookPath = book->open();
        BookRows::exec("insert into tbl_account (id, name, kind, amount, sort) values ('old', '原账户', 'cash', 1, 1)");
        book->close();
        formerBook = TestBook::bytesOf(bookPath);
        keddoPath = book->home() + "/keddo.db";
        FileSetting::getInstance()->setValue("Common/EnableBillTitle", false);
    }

    void cleanup()
    {
        BookRows::dropCaches();
        delete book;
    }

    void importConvertsTheRows()
    {
        makeKeddoFile(keddoPath);
        bool unopened = false;
        QVERIFY(BackupHelper::keddo(keddoPath, &unopened));
        QVERIFY(!unopened);
        QCOMPARE(QSqlDatabase::database().databaseName(), bookPath);

        // One import is costly; its results are checked as a table of queries and expected answers.
        const QList<QPair<QString, QString>> checks{
            {"select name from tbl_category where id='c1'", "吃饭"},
            {"select category_id || ' ' || name || ' ' || kind from tbl_sub_category where id='c2'", "c2 薪水 income"},
            {"select category_id || '/' || sub_category_id from tbl_bill where id='b1'", "c1/c1"},
            {"select date || ' ' || month || ' ' || amount || ' ' || description from tbl_bill where id='b1'",
             "2013-04-02 201304 -12.5 面条"},
            {"select kind from tbl_account where id='a1'", "cash"},
            {"select kind from tbl_account where id='a2'", "credit"},
            {"select kind from tbl_account where id='a3'", "card"},
            {"select kind from tbl_bill where id='b1'", "expense"},
            {"select kind from tbl_bill where id='b2'", "refund"},
            {"select kind from tbl_bill where id='b3'", "repay"},
            {"select kind || ' ' || account_id || '>' || to_account_id from tbl_bill where id='b4'", "transfer a3>a2"},
            {"select amount from tbl_account where id='a3'", "50"},
            {"select name from tbl_borrower where id='p1'", "张三"},
            {"select count(*) from tbl_member", "0"},
            {"select count(*) from sqlite_master where name like 'ked_%'", "0"},
            {"select tbl_name from sqlite_master where name='bill_deleted'", "tbl_bill"},
            {"select count(*) from tbl_setting", "1"},
            {"select sync_time from tbl_setting", "2008-08-08 08:08:08"},
            {"select version from tbl_setting", "44"},
            {"select count(*) from tbl_setting where password is null and sync_username is null", "1"},
        };
        for (const auto& [sql, expected] : checks)
            QVERIFY2(column(sql) == QStringList{expected}, qPrintable(sql + " -> " + column(sql).join(',')));
    }

    void importRecordsTheDefaultsAsDeleted()
    {
        makeKeddoFile(keddoPath);
        const QByteArray chosen = TestBook::bytesOf(keddoPath);
        const ContextTranslator translator("BackupHelper", "译:");
        QVERIFY(BackupHelper::keddo(keddoPath));

        QCOMPARE(column("select id from tbl_account_deleted order by id"), numbered(2));
        QCOMPARE(column("select id from tbl_borrower_deleted"), numbered(1));
        QCOMPARE(column("select id from tbl_category_deleted order by id"), numbered(12));
        QCOMPARE(column("select id from tbl_sub_category_deleted order by id"), numbered(25));
        QCOMPARE(column("select id from tbl_member_deleted order by id"), numbered(2));
        QCOMPARE(column("select name || '/' || description from tbl_member_deleted where id='02'"),
                 QStringList{"译:家人/译:我的家人"});
        QCOMPARE(column("select count(*) from tbl_account where id in ('01','02')"), QStringList{"0"});
        QCOMPARE(column("select count(*) from tbl_account_deleted where version > '2008-08-08 08:08:08'"),
                 QStringList{"2"});

        QVERIFY(FileSetting::getInstance()->getValue("Common/EnableBillTitle").toBool());
        checkOnlyTheSafetyBackup(bookPath, formerBook);
        QCOMPARE(TestBook::bytesOf(keddoPath), chosen);
        QVERIFY(QFile::permissions(bookPath).testFlag(QFile::WriteOwner));
    }

    void importKeepsTheUsersOwnRecordsWithDefaultIds()
    {
        makeKeddoFile(keddoPath, {"insert into ked_accounts values ('01', '我的现金', 'cash', 8, '', 4, '')",
                                  "insert into ked_catelogs values ('12', '红包', 'income', 1)"});
        QVERIFY(BackupHelper::keddo(keddoPath));

        QCOMPARE(column("select name from tbl_account where id='01'"), QStringList{"我的现金"});
        QCOMPARE(column("select id from tbl_account_deleted"), QStringList{"02"});
        QCOMPARE(column("select name from tbl_category where id='12'"), QStringList{"红包"});
        QCOMPARE(column("select name from tbl_sub_category where id='12'"), QStringList{"红包"});
        QCOMPARE(column("select count(*) from tbl_category_deleted where id='12'"), QStringList{"0"});
        QCOMPARE(column("select count(*) from tbl_sub_category_deleted where id='12'"), QStringList{"0"});
        QCOMPARE(column("select count(*) from tbl_sub_category_deleted"), QStringList{"24"});
    }

    void fileWithoutBillsStillImports()
    {
        makeKeddoFile(keddoPath, {"drop table ked_bills"});
        QVERIFY(BackupHelper::keddo(keddoPath));
        QCOMPARE(column("select count(*) from tbl_account"), QStringList{"3"});
        QCOMPARE(column("select count(*) from tbl_bill"), QStringList{"0"});
    }

    // A file with indexes of its own, one under a name the book's indexes use, imports all the same: its indexes
    // go with its tables, and the book gets its own ones when it is opened.
    void fileWithIndexesOfItsOwnImports()
    {
        makeKeddoFile(keddoPath, {"create index ked_bills_month on ked_bills (month)",
                                  "create index bill_by_date on ked_bills (date)"});
        QVERIFY(BackupHelper::keddo(keddoPath));
        QCOMPARE(column("select id from tbl_bill order by id"), (QStringList{"b1", "b2", "b3", "b4"}));
        QCOMPARE(column("select count(*) from sqlite_master where tbl_name like 'ked_%'"), QStringList{"0"});
        QVERIFY(BookIndexes::addMissing());
        QCOMPARE(BookRows::billIndexes().size(), 6);
    }

    void failedCopyPutsTheFormerBookBack_data()
    {
        QTest::addColumn<QString>("breakage");
        QTest::newRow("bill without description")
            << "insert into ked_bills values ('b9', '', -1, null, '2013-04-05', 201304, 'c1', 'a1', '', '', "
               "'expense', '')";
        QTest::newRow("account id twice") << "insert into ked_accounts values ('a1', '又一个', 'cash', 1, '', 5, '')";
        QTest::newRow("category without kind") << "insert into ked_catelogs values ('c9', '无类', null, 1)";
        QTest::newRow("borrowers missing a column") << "drop table ked_borrowers; ";
    }

    void failedCopyPutsTheFormerBookBack()
    {
        QFETCH(QString, breakage);
        QStringList extra{breakage};
        if (breakage.startsWith("drop table ked_borrowers"))
            extra << "create table ked_borrowers (borrower_id text, name text)";
        makeKeddoFile(keddoPath, extra);

        QVERIFY(!BackupHelper::keddo(keddoPath));
        QCOMPARE(TestBook::bytesOf(bookPath), formerBook);
        QVERIFY(!FileSetting::getInstance()->getValue("Common/EnableBillTitle").toBool());
        checkOnlyTheSafetyBackup(bookPath, formerBook);
    }

    // The import must not report success over a book whose default records could not be recorded.
    void defaultRecordsOfABookThatDoesNotOpen()
    {
        QVERIFY(QDir().mkpath(book->dataDir() + "folder.db"));
        Constants::getInstance()->setBookName("folder.db");
        bool unopened = false;
        QVERIFY(!BackupHelper::addDeleteData(QString(), &unopened));
        QVERIFY(unopened);
    }

    void importRefusesWhatIsNotAKeddoFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("a book") << "book";
        QTest::newRow("SQLite without keddo tables") << "sqlite";
        QTest::newRow("text file") << "text";
        QTest::newRow("empty file") << "empty";
        QTest::newRow("missing file") << "missing";
    }

    void importRefusesWhatIsNotAKeddoFile()
    {
        QFETCH(QString, kind);
        if (kind == "book") {
            QFile::copy(bookPath, keddoPath);
        } else if (kind == "sqlite") {
            BookConnection::withTemporary("make", keddoPath, [](QSqlDatabase& db) {
                return QSqlQuery(db).exec("create table accounts (id text)");
            });
        } else if (kind != "missing") {
            QFile file(keddoPath);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(kind == "text" ? "ked_accounts ked_catelogs\n" : "");
        }

        QVERIFY(!BackupHelper::keddo(keddoPath));
        QCOMPARE(TestBook::bytesOf(bookPath), formerBook);
        QVERIFY(QDir(FileSetting::getInstance()->getBackupDir()).entryList(QDir::Files).isEmpty());
    }
};

QTEST_MAIN(TestKeddoImport)
#include "tst_keddoimport.moc"
