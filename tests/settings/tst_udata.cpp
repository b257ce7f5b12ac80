#include "../shell/shelltesting.h"
#include "bookdump.h"
#include "bookrows.h"
#include "cannedprompt.h"
#include "data/dbhelper.h"
#include "data/maccount.h"
#include "messageboxrecorder.h"
#include "settings/udata.h"
#include "testbook.h"
#include "widgets/dmessagebox.h"

#include <QPushButton>

namespace {
// The book's own records, some of them already deleted into the twins.
void addUserRecords()
{
    BookRows::exec("insert into tbl_account (id, name, kind, amount, sort) values ('a1', '我的', 'cash', 5, 1)");
    BookRows::exec("insert into tbl_borrower (id, name, sort) values ('b1', '老王', 1)");
    BookRows::exec("insert into tbl_category (id, name, kind, sort) values ('c1', '吃', 'expense', 1)");
    BookRows::exec("insert into tbl_sub_category (id, category_id, name, kind, sort) values ('s1', 'c1', '饭', "
                   "'expense', 1)");
    BookRows::exec("insert into tbl_member (id, name, sort) values ('m1', '我', 1), ('m2', '你', 2)");
    BookRows::addBill("expense", -3, {{"account_id", "a1"}});
    BookRows::addBill("income", 9, {{"account_id", "a1"}});
    BookRows::exec("delete from tbl_member where id='m2'");
    BookRows::exec("delete from tbl_bill where kind='income'");
    BookRows::exec("update tbl_setting set sync_time='2020-01-01 00:00:00'");
}

void click(UData& page, const char* button)
{
    page.findChild<QPushButton*>(button)->click();
}
} // namespace

class TestUData : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_book = new TestBook;
        m_path = m_book->open();
        BookRows::dropCaches();
        QVERIFY(DBHelper::getInstance()->upgrade());
    }
    void cleanup()
    {
        BookRows::dropCaches();
        delete m_book;
    }

    void resetLeavesExactlyTheDefaultRecords_data()
    {
        QTest::addColumn<QStringList>("setup");
        QTest::newRow("empty book") << QStringList{};
        QTest::newRow("own records and deletions") << QStringList{"own"};
        QTest::newRow("default records and bills") << QStringList{"defaults", "own"};
        QTest::newRow("twin holds a live id")
            << QStringList{"own", "insert into tbl_account_deleted select * from tbl_account"};
    }
    void resetLeavesExactlyTheDefaultRecords()
    {
        QFETCH(QStringList, setup);
        // What this book held when new, with the default records and marked as never synchronised.
        const QString reference = m_book->dataDir() + "reference.db";
        QVERIFY(QFile::copy(m_path, reference));
        DBHelper::getInstance()->initDefaultData(reference);
        QString expected;
        BookConnection::withTemporary("reference", reference, [&expected](QSqlDatabase& db) {
            QSqlQuery(db).exec("update tbl_setting set sync_time='2008-08-08 08:08:08'");
            expected = BookDump::of(BookDump::tables(true), db);
            return true;
        });
        for (const QString& step : setup) {
            if (step == "own")
                addUserRecords();
            else if (step == "defaults")
                DBHelper::getInstance()->initDefaultData();
            else
                BookRows::exec(step);
        }
        QVERIFY(MAccount::get());

        MessageBoxRecorder boxes;
        UData page;
        click(page, "pbAutoBackup_2");
        QCOMPARE(boxes.boxes().size(), 4);
        QCOMPARE(boxes.boxes().last().first, QString("重置完成"));
        QCOMPARE(BookDump::of(BookDump::tables(true)), expected);
        // The pages reload from the book, not from what was cached before.
        QCOMPARE(MAccount::get()->size(), 2);
    }

    // A "否" to any question, or a step that fails, leaves the book as it was; a failure is reported, and the
    // record caches show the book as it is again.
    void resetThatStopsLeavesTheBook_data()
    {
        QTest::addColumn<int>("yes");         // answers "是" before the first "否"
        QTest::addColumn<QString>("refused"); // "event table" that a trigger refuses
        QTest::newRow("no at the first") << 0 << "";
        QTest::newRow("no at the second") << 1 << "";
        QTest::newRow("no at the third") << 2 << "";
        QTest::newRow("twin emptied first fails") << 3 << "delete tbl_bill_deleted";
        QTest::newRow("a data table fails") << 3 << "delete tbl_sub_category";
        QTest::newRow("a default record fails") << 3 << "insert tbl_member";
        QTest::newRow("the default stamps fail") << 3 << "update tbl_category";
        QTest::newRow("the sync time fails") << 3 << "update tbl_setting";
    }
    void resetThatStopsLeavesTheBook()
    {
        QFETCH(int, yes);
        QFETCH(QString, refused);
        addUserRecords();
        if (!refused.isEmpty())
            BookRows::exec(QString("create trigger refuse before %1 on %2 begin select raise(abort, 'no'); end")
                               .arg(refused.section(' ', 0, 0), refused.section(' ', 1)));
        const QString before = BookDump::of(BookDump::tables(true));
        QStringList titles;
        DMessageBox::setResponder([&](const QString& title, const QString&) {
            titles << title;
            return titles.size() <= yes ? 1 : 0;
        });
        UData page;
        click(page, "pbAutoBackup_2");
        DMessageBox::setResponder(nullptr);
        QCOMPARE(titles.size(), yes + 1);
        if (yes == 3)
            QCOMPARE(titles.last(), QString("重置失败"));
        QCOMPARE(BookDump::of(BookDump::tables(true)), before);
        QCOMPARE(MAccount::get()->size(), 1);
    }

    void backupToAChosenFile_data()
    {
        QTest::addColumn<QString>("target"); // in the home folder; "@book" is the open book
        QTest::addColumn<QString>("title");  // of the box shown
        // clang-format off
        QTest::newRow("new file") << "备份 1.db" << "备份成功";
        QTest::newRow("existing file the user confirmed") << "old.db" << "备份成功";
        QTest::newRow("the open book") << "@book" << "备份失败";
        QTest::newRow("the open book by another path") << "@./book" << "备份失败";
        QTest::newRow("missing folder") << "missing/x.db" << "备份失败";
        // clang-format on
    }
    void backupToAChosenFile()
    {
        QFETCH(QString, target);
        QFETCH(QString, title);
        addUserRecords();
        if (target.startsWith("@"))
            target = target == "@book" ? m_path : m_book->dataDir() + "./" + QFileInfo(m_path).fileName();
        else
            target = m_book->home() + "/" + target;
        if (target.endsWith("old.db")) {
            QFile old(target);
            QVERIFY(old.open(QIODevice::WriteOnly) && old.write("an older backup") > 0);
            old.close();
            QVERIFY(old.setPermissions(QFileDevice::Permissions(0x6666)));
        }
        const QByteArray book = TestBook::bytesOf(m_path);
        m_prompt.answer = target;

        MessageBoxRecorder boxes;
        UData page;
        click(page, "pbBackup");
        QCOMPARE(boxes.boxes().size(), 1);
        QCOMPARE(boxes.boxes().first().first, title);
        QCOMPARE(TestBook::bytesOf(m_path), book);
        if (title == "备份成功") {
            QCOMPARE(TestBook::bytesOf(target), book);
            QCOMPARE(QFile::permissions(target) & (QFileDevice::WriteGroup | QFileDevice::WriteOther), 0);
        }
        QCOMPARE(QDir(m_book->home()).entryList({"*.db.*"}, QDir::Files), QStringList());
    }

    void restoreAndImportRestart_data()
    {
        QTest::addColumn<QString>("verb");
        QTest::addColumn<QString>("file"); // empty: the dialog was cancelled
        QTest::addColumn<bool>("starts");
        // clang-format off
        QTest::newRow("restore") << "restore" << "/tmp/my backups/备份.db" << true;
        QTest::newRow("import") << "keddo" << "/tmp/other data.db" << true;
        QTest::newRow("new copy fails to start") << "restore" << "/tmp/b.db" << false;
        QTest::newRow("cancelled") << "keddo" << "" << true;
        // clang-format on
    }
    void restoreAndImportRestart()
    {
        QFETCH(QString, verb);
        QFETCH(QString, file);
        QFETCH(bool, starts);
        RecordingLauncher launcher;
        launcher.succeeds = starts;
        Replaced<ProgramLauncher> replaced(&launcher);
        m_prompt.answer = file;
        MessageBoxRecorder boxes;
        UData page;

        const int result = runUntilExit([&] { click(page, verb == "restore" ? "pbResotre" : "pbKeddo"); }, 300);
        const bool chosen = !file.isEmpty();
        const QList<QStringList> expected = chosen ? QList<QStringList>{{verb, file}} : QList<QStringList>{};
        QCOMPARE(launcher.starts, expected);
        // A copy that did not start leaves this one running, and says so.
        QCOMPARE(result, chosen && starts ? 0 : -1);
        QCOMPARE(boxes.boxes().size(), chosen && !starts ? 1 : 0);
    }

private:
    TestBook* m_book = nullptr;
    QString m_path;
    CannedPrompt m_prompt;
};

QTEST_MAIN(TestUData)
#include "tst_udata.moc"
