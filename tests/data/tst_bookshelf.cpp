#include "analysis/reportoutput.h"
#include "data/backuphelper.h"
#include "data/bookconnection.h"
#include "data/bookshelf.h"
#include "data/constants.h"
#include "data/filesetting.h"
#include "testbook.h"

#include <QDir>
#include <QDirIterator>
#include <QLockFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>
#include <sys/stat.h>

namespace {
// Every file under the folder, with paths relative to it.
QStringList filesUnder(const QString& folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(folder).relativeFilePath(it.next());
    files.sort();
    return files;
}
} // namespace

class TestBookShelf : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_home = new TestBook;
        m_home->open();
    }
    void cleanup()
    {
        delete m_home;
        m_home = nullptr;
    }

    // Books, their backups and the folders made for them are the owner's alone under any umask; an export has the
    // mode the umask gives, but nobody else may write it.
    void modes_data()
    {
        QTest::addColumn<int>("umask");
        QTest::addColumn<int>("exported");
        QTest::newRow("022") << 022 << 0x6044;
        QTest::newRow("077") << 077 << 0x6000;
        QTest::newRow("000") << 0 << 0x6044;
    }
    void modes()
    {
        QFETCH(int, umask);
        QFETCH(int, exported);
        const mode_t before = ::umask(mode_t(umask));
        TestBook home;
        home.open();
        const QString export_ = home.home() + "/report.html";
        const bool written = BookShelf::create("新账本") == BookShelf::Result::Done && BackupHelper::backup("b.db") &&
                             ReportOutput::save(export_, "<html/>", nullptr);
        ::umask(before);
        QVERIFY(written);
        const QString data = home.dataDir();
        // Owner, group and others, one hexadecimal digit each.
        // clang-format off
        const QMap<QString, int> modes{{home.home() + "/Documents", 0x7000}, {data, 0x7000}, {data + "backup", 0x7000},
            {data + "Quillbay.db", 0x6000}, {data + "新账本.db", 0x6000}, {data + "backup/b.db", 0x6000}, {export_, exported}};
        // clang-format on
        for (auto it = modes.cbegin(); it != modes.cend(); ++it)
            QCOMPARE(int(QFileInfo(it.key()).permissions() & 0x7077), it.value());
    }

    // A hostile name is refused by create and rename alike, and nothing is written anywhere.
    void names_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("usable");
        // clang-format off
        QTest::newRow("chinese") << "家庭账本" << true;
        QTest::newRow("inner blank") << "my book" << true;
        QTest::newRow("inner dot") << "2014.home" << true;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("blanks") << "   " << false;
        QTest::newRow("dot") << "." << false;
        QTest::newRow("dot dot") << ".." << false;
        QTest::newRow("hidden") << ".secret" << false;
        QTest::newRow("parent") << "../outside" << false;
        QTest::newRow("slash") << "a/b" << false;
        QTest::newRow("backslash") << "a\\b" << false;
        QTest::newRow("absolute") << "/tmp/evil" << false;
        // clang-format on
        for (const char* c : {":", "*", "?", "\"", "<", ">", "|", "\t", "\n"})
            QTest::newRow(qPrintable(QString("char %1").arg(QString(c).toUtf8().toHex())))
                << QString("a%1b").arg(c) << false;
    }
    void names()
    {
        QFETCH(QString, name);
        QFETCH(bool, usable);
        QCOMPARE(BookShelf::isUsableName(name), usable);
        if (usable)
            return;
        const QStringList before = filesUnder(m_home->home());
        QCOMPARE(BookShelf::create(name), BookShelf::Result::BadName);
        QCOMPARE(BookShelf::rename("Quillbay", name), BookShelf::Result::BadName);
        QCOMPARE(filesUnder(m_home->home()), before);
    }

    void createdBookIsOwnerWritableAndFilled()
    {
        QCOMPARE(BookShelf::create("新账本"), BookShelf::Result::Done);
        const QString path = m_home->dataDir() + "新账本.db";
        const QFile::Permissions permissions = QFile::permissions(path);
        QVERIFY(permissions & QFile::WriteOwner);
        QVERIFY(!(permissions & (QFile::WriteGroup | QFile::WriteOther)));
        QCOMPARE(QSqlDatabase::database().databaseName(), m_home->dataDir() + "Quillbay.db");
        int accounts = 0;
        BookConnection::withTemporary("created", path, [&accounts](QSqlDatabase& db) {
            QSqlQuery query("select count(*) from tbl_account", db);
            return query.next() && (accounts = query.value(0).toInt());
        });
        QCOMPARE(accounts, 2);

        const QByteArray content = TestBook::bytesOf(path);
        QCOMPARE(BookShelf::create("新账本"), BookShelf::Result::Taken);
        QCOMPARE(TestBook::bytesOf(path), content);
    }

    void deletedBooksKeepEarlierOnes()
    {
        const QString backup = FileSetting::getInstance()->getBackupDir();
        for (const char* moved : {"a.db.deleted", "a (2).db.deleted", "a (3).db.deleted"}) {
            QCOMPARE(BookShelf::create("a"), BookShelf::Result::Done);
            QString to;
            QCOMPARE(BookShelf::remove("a", &to), BookShelf::Result::Done);
            QCOMPARE(to, backup + QString(moved));
            QVERIFY(QFile::exists(to));
            QVERIFY(!QFile::exists(m_home->dataDir() + "a.db"));
        }
    }

    void failedMoveIsReported()
    {
        QCOMPARE(BookShelf::create("a"), BookShelf::Result::Done);
        // A backup folder below a plain file can never be made.
        QFile blocker(m_home->home() + "/blocker");
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        FileSetting::getInstance()->setValue("Backup/BackupDir", blocker.fileName() + "/backup/");
        QCOMPARE(BookShelf::remove("a"), BookShelf::Result::Failed);
        QVERIFY(QFile::exists(m_home->dataDir() + "a.db"));
    }

    void bookOpenInAnotherCopyIsLeftAlone()
    {
        QCOMPARE(BookShelf::create("a"), BookShelf::Result::Done);
        QLockFile otherCopy(m_home->dataDir() + "a.db.lock");
        QVERIFY(otherCopy.tryLock(0));
        QCOMPARE(BookShelf::rename("a", "b"), BookShelf::Result::InUse);
        QCOMPARE(BookShelf::remove("a"), BookShelf::Result::InUse);
        QVERIFY(QFile::exists(m_home->dataDir() + "a.db"));
        otherCopy.unlock();
        QCOMPARE(BookShelf::rename("a", "b"), BookShelf::Result::Done);
    }

private:
    TestBook* m_home = nullptr;
};

QTEST_MAIN(TestBookShelf)
#include "tst_bookshelf.moc"
