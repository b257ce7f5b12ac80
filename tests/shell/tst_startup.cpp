#include "shelltesting.h"

#include "data/booklock.h"
#include "shell/startup.h"
#include "testbook.h"
#include "testmount.h"

#include <QDir>
#include <QLineEdit>
#include <QPushButton>

namespace {
// Start-up with the user's answers replaced: records the standard boxes and the logins.
class RecordingStartup : public Startup
{
public:
    QStringList warnings;
    QStringList logins;
    bool loginAnswer = true;

protected:
    void warn(const QString& title, const QString& text) override { warnings << title + "|" + text; }
    bool login(const QString& book) override
    {
        logins << book;
        return loginAnswer;
    }
};

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void decidesLogin_data()
    {
        QTest::addColumn<QStringList>("books"); // name or name:password
        QTest::addColumn<QString>("bookArgument");
        QTest::addColumn<QStringList>("logins"); // the books the login was asked to preselect
        QTest::addColumn<QString>("lastBook");   // Common/LastBook afterwards

        QTest::newRow("empty folder") << QStringList() << "" << QStringList() << "(unset)";
        QTest::newRow("one open book") << QStringList{"Home.db"} << "" << QStringList() << "Home.db";
        QTest::newRow("one protected book") << QStringList{"Home.db:secret"} << "" << QStringList{""} << "(unset)";
        QTest::newRow("two open books") << QStringList{"a.db", "b.db"} << "" << QStringList{""} << "(unset)";
        QTest::newRow("book argument, open") << QStringList{"a.db", "b.db"} << "b.db" << QStringList() << "b.db";
        QTest::newRow("book argument, protected")
            << QStringList{"a.db", "b.db:pw"} << "b.db" << QStringList{"b.db"} << "(unset)";
        QTest::newRow("capital extension") << QStringList{"X.DB"} << "" << QStringList() << "X.DB";
    }
    void decidesLogin()
    {
        QFETCH(QStringList, books);
        QFETCH(QString, bookArgument);
        QFETCH(QStringList, logins);
        QFETCH(QString, lastBook);
        TestBook home;
        for (const QString& book : books)
            makeBook(book.section(':', 0, 0), book.section(':', 1));
        RecordingStartup startup;
        QVERIFY(startup.chooseBook(bookArgument));
        QCOMPARE(startup.logins, logins);
        QVERIFY(startup.warnings.isEmpty());
        QCOMPARE(storedLastBook(), lastBook);
        QCOMPARE(QDir(home.dataDir()).entryList(QDir::Files).size(), books.size());
    }

    void oneBookWinsOverAMissingLastBook()
    {
        TestBook home;
        FileSetting::getInstance()->setValue("Common/LastBook", "Gone.db");
        makeBook("Home.db");
        RecordingStartup startup;
        QVERIFY(startup.chooseBook(""));
        QCOMPARE(Constants::getInstance()->getBookName(), QString("Home.db"));
        QCOMPARE(storedLastBook(), QString("Home.db"));
    }

    void unreadableSingleBookKeepsLastBook()
    {
        TestBook home;
        FileSetting::getInstance()->setValue("Common/LastBook", "Quillbay.db");
        makeBrokenBook("Broken.db");
        const QByteArray before = contents(home.dataDir() + "Broken.db");
        RecordingStartup startup;
        QVERIFY(startup.chooseBook(""));
        QCOMPARE(startup.warnings.size(), 1);
        QVERIFY(startup.warnings.first().startsWith("数据文件错误|打开数据文件出现错误。"));
        QVERIFY(startup.warnings.first().size() > QString("数据文件错误|打开数据文件出现错误。").size());
        QVERIFY(startup.logins.isEmpty());
        QCOMPARE(storedLastBook(), QString("Quillbay.db"));
        QCOMPARE(contents(home.dataDir() + "Broken.db"), before);
        QCOMPARE(QDir(home.dataDir()).entryList(QDir::Files), QStringList{"Broken.db"});
    }

    void emptySingleBookIsOpenedAsANewBook()
    {
        TestBook home;
        QFile empty(home.dataDir() + "Home.db");
        QVERIFY(empty.open(QIODevice::WriteOnly));
        RecordingStartup startup;
        QVERIFY(startup.chooseBook(""));
        QCOMPARE(startup.warnings, QStringList());
        QCOMPARE(storedLastBook(), QString("Home.db"));
    }

    // No path through start-up opens a protected book without the login: not after a named book failed its
    // probe, not when the last book lies outside the listed "*.db" files.
    void protectedBookNeedsTheLogin_data()
    {
        QTest::addColumn<QStringList>("books"); // name, name:password, or name! for a file that is no book
        QTest::addColumn<QString>("lastBook");
        QTest::addColumn<QString>("bookArgument");
        QTest::addColumn<QStringList>("logins");
        QTest::addColumn<QString>("currentBook"); // afterwards, when no login ran

        const QStringList login{""};
        QTest::newRow("junk named, protected last book")
            << QStringList{"p.db:pw", "junk.db!"} << "p.db" << QString("junk.db") << login << "";
        QTest::newRow("junk named, the other book protected")
            << QStringList{"p.db:pw", "junk!"} << "" << QString("junk") << login << "";
        QTest::newRow("junk named, the other book open")
            << QStringList{"a.db", "junk!"} << "p.db" << QString("junk") << QStringList() << "a.db";
        QTest::newRow("junk named, no other book")
            << QStringList{"junk.db!"} << "" << QString("junk.db") << QStringList() << "Quillbay.db";
        QTest::newRow("only book broken, protected last book")
            << QStringList{"broken.db!", "p.book:pw"} << "p.book" << QString() << login << "";
    }
    void protectedBookNeedsTheLogin()
    {
        QFETCH(QStringList, books);
        QFETCH(QString, lastBook);
        QFETCH(QString, bookArgument);
        QFETCH(QStringList, logins);
        QFETCH(QString, currentBook);
        TestBook home;
        for (const QString& book : books) {
            if (book.endsWith('!'))
                makeBrokenBook(book.chopped(1));
            else
                makeBook(book.section(':', 0, 0), book.section(':', 1));
        }
        if (!lastBook.isEmpty())
            FileSetting::getInstance()->setValue("Common/LastBook", lastBook);
        RecordingStartup startup;
        QVERIFY(startup.chooseBook(bookArgument));
        QCOMPARE(startup.warnings.size(), 1);
        QCOMPARE(startup.logins, logins);
        if (logins.isEmpty())
            QCOMPARE(Constants::getInstance()->getBookName(), currentBook);
    }

    void cancelledLoginEndsStartUp()
    {
        TestBook home;
        makeBook("a.db");
        makeBook("b.db");
        RecordingStartup startup;
        startup.loginAnswer = false;
        QVERIFY(!startup.chooseBook(""));
    }

    void realLoginCancelOrClose_data()
    {
        QTest::addColumn<QString>("button");
        QTest::newRow("cancel") << "pbCancel";
        QTest::newRow("title bar close") << "pbClose";
    }
    void realLoginCancelOrClose()
    {
        QFETCH(QString, button);
        TestBook home;
        makeBook("a.db");
        makeBook("b.db");
        whenModalShows([button](QWidget* dialog) { dialog->findChild<QPushButton*>(button)->click(); });
        Startup startup;
        QVERIFY(!startup.chooseBook(""));
        QCOMPARE(storedLastBook(), QString("(unset)"));
    }

    void realLoginAccepted()
    {
        TestBook home;
        makeBook("a.db", "", 100);
        makeBook("b.db", "pw");
        whenModalShows([](QWidget* dialog) {
            dialog->findChild<QLineEdit*>("lePassword")->setText("pw");
            dialog->findChild<QPushButton*>("pbOK")->click();
        });
        Startup startup;
        QVERIFY(startup.chooseBook("b.db"));
        QCOMPARE(storedLastBook(), QString("b.db"));
    }

    void verbs_data()
    {
        QTest::addColumn<QString>("verb");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("book");
        QTest::addColumn<QString>("warning");

        QTest::newRow("book present") << "book"
                                      << "b.db"
                                      << "b.db"
                                      << "";
        QTest::newRow("book missing") << "book"
                                      << "c.db"
                                      << ""
                                      << "";
        QTest::newRow("book outside the folder") << "book"
                                                 << "../Quillbay/b.db"
                                                 << ""
                                                 << "";
        QTest::newRow("book without file") << "book"
                                           << ""
                                           << ""
                                           << "";
        QTest::newRow("verbs are case-sensitive") << "Book"
                                                  << "b.db"
                                                  << ""
                                                  << "";
        QTest::newRow("unknown verb") << "open"
                                      << "b.db"
                                      << ""
                                      << "";
        QTest::newRow("restore failing") << "restore"
                                         << "/nonexistent/x.db"
                                         << ""
                                         << "恢复失败|恢复数据文件出现错误。";
        QTest::newRow("keddo failing") << "keddo"
                                       << "/nonexistent/x.db"
                                       << ""
                                       << "导入失败|导入数据文件出现错误。";
    }
    void verbs()
    {
        QFETCH(QString, verb);
        QFETCH(QString, file);
        QFETCH(QString, book);
        QFETCH(QString, warning);
        TestBook home;
        makeBook("b.db");
        RecordingStartup startup;
        QCOMPARE(startup.runVerb(verb, file), book);
        QCOMPARE(startup.warnings, warning.isEmpty() ? QStringList() : QStringList{warning});
    }

    void writeLeftHalfDoneByACrashIsRolledBack()
    {
        TestBook home;
        makeBook("Home.db", "pw");
        const QString path = home.dataDir() + "Home.db";
        // The book and its journal as a crash in the middle of a large write leaves them, the password cleared.
        const QString crashing = home.home() + "/crashing.db";
        QVERIFY(QFile::copy(path, crashing));
        const bool crashed = BookConnection::withTemporary("crash", crashing, [&path](QSqlDatabase& db) {
            QSqlQuery query(db);
            for (const char* sql :
                 {"pragma cache_size=5", "begin", "update tbl_setting set password=null",
                  "with recursive n(i) as (select 1 union all select i+1 from n where i<3000) insert into tbl_bill "
                  "(id, amount, description, date, month, kind) select i, 1, printf('%.200c', 'd'), '2014-05-17', "
                  "201405, 'expense' from n"})
                if (!query.exec(sql))
                    return false;
            return QFile::remove(path) && QFile::copy(db.databaseName(), path) &&
                   QFile::copy(db.databaseName() + "-journal", path + "-journal");
        });
        QVERIFY(crashed);

        RecordingStartup startup;
        QVERIFY(startup.chooseBook(""));
        QCOMPARE(startup.warnings, QStringList());
        QCOMPARE(startup.logins, QStringList{""}); // the password is back, so the login asks for it
        QVERIFY(!QFile::exists(path + "-journal"));
    }

    // A lock file that a full disk keeps from being written is told as such, and the book stays as it was.
    void fullDiskIsNoOtherCopy()
    {
        TestBook home;
        const TestMount disk(TestMount::SmallDisk, home.dataDir());
        if (!disk.isMounted())
            QSKIP("a small disk needs root to mount");
        makeBook("Quillbay.db");
        const QString path = home.dataDir() + "Quillbay.db";
        const QString backup = home.home() + "/copy.db";
        QVERIFY(BookFile::createFromInitial(backup));
        const QByteArray before = contents(path);
        disk.fill();
        RecordingStartup startup;
        QCOMPARE(startup.runVerb("restore", backup), QString());
        QCOMPARE(startup.warnings.join(""),
                 "恢复失败|数据文件夹无法写入（磁盘可能已满），账本没有改动。请腾出磁盘空间后再试。");
        QCOMPARE(contents(path), before);
        disk.clear();
        QVERIFY(!BookLock::isHeldElsewhere(path));
    }

    void restoreReportsSuccess()
    {
        TestBook home;
        makeBook("Quillbay.db");
        const QString backup = home.home() + "/copy.db";
        QVERIFY(BookFile::createFromInitial(backup));
        RecordingStartup startup;
        QCOMPARE(startup.runVerb("restore", backup), QString());
        QCOMPARE(startup.warnings, QStringList{"恢复成功|您已经成功恢复数据文件。"});
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
