#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const char* const script = QUILLBAY_SOURCE_DIR "/tests/support/skipped-checks.sh";

// A made-up log of a ctest run: each test's line as ctest writes it, and its skips as QtTest writes them, given as
// "tst_name" and "SKIP: Class::function(row) reason" lines.
QByteArray ctestLog(const QByteArrayList& lines)
{
    QByteArray log = "Start testing: Dec 10 14:19 UTC\n";
    int tests = 0;
    for (const QByteArray& line : lines)
        tests += line.startsWith("tst_") ? 1 : 0;
    int test = 0;
    for (const QByteArray& line : lines) {
        if (line.startsWith("tst_"))
            log += QByteArray::number(++test) + '/' + QByteArray::number(tests) + " Testing: " + line + "\n" +
                   "Output:\n----------------------------------------------------------\n"
                   "PASS   : Test::initTestCase()\n";
        else
            log += "SKIP   : " + line.mid(int(strlen("SKIP: "))) + "\n   Loc: [test.cpp(12)]\n";
    }
    return log + "End testing: Dec 10 14:20 UTC\n";
}
} // namespace

// make test closes with what the run skipped, from ctest's log: a line for each reason in each test, and one that
// counts each check once, by the kind of its skip, saying those that run nowhere on this machine (as their plain test
// and its _postgresql twin both skipped them, or as nothing here runs them, where one that the sanitizers keep from
// running runs in the plain build), and one for tests skipped whole by their initTestCase. A store's own check runs in the other store's test, which a run filtered by ctest -R may leave
// out: only where pg_virtualenv is missing does a check of PostgreSQL's alone need it.
class TestSkippedChecks : public QObject
{
    Q_OBJECT

private slots:
    void countsEachCheckOnceByWhyItWasSkipped_data()
    {
        QTest::addColumn<QByteArrayList>("log");
        QTest::addColumn<bool>("pgVirtualenv");
        QTest::addColumn<QByteArray>("said");
        const QByteArray root = "SKIP: TestStore::mounts(a small disk) only root may mount a disk of the test's own";
        const QByteArray postgresqlAlone = "SKIP: TestStore::restarts() an SQLite store has no connection to lose";
        QTest::newRow("nothing skipped") << QByteArrayList{"tst_store", "tst_store_postgresql"} << true
                                         << QByteArray("no check skipped\n");
        QTest::newRow("a check that needs root")
            << QByteArrayList{"tst_store", root} << true
            << QByteArray("skipped: 1 in tst_store: only root may mount a disk of the test's own\n"
                          "1 check skipped: 1 needs root; 1 of them runs nowhere on this machine\n");
        QTest::newRow("a check of PostgreSQL's alone, which its twin runs")
            << QByteArrayList{"tst_store", postgresqlAlone, "tst_store_postgresql"} << true
            << QByteArray("skipped: 1 in tst_store: an SQLite store has no connection to lose\n"
                          "1 check skipped: 1 is PostgreSQL-only (the _postgresql tests run it)\n");
        QTest::newRow("a check of PostgreSQL's alone, its twin left out of the run")
            << QByteArrayList{"tst_store", postgresqlAlone} << true
            << QByteArray("skipped: 1 in tst_store: an SQLite store has no connection to lose\n"
                          "1 check skipped: 1 is PostgreSQL-only (the _postgresql tests run it)\n");
        QTest::newRow("a check of PostgreSQL's alone, without pg_virtualenv")
            << QByteArrayList{"tst_store", postgresqlAlone} << false
            << QByteArray("skipped: 1 in tst_store: an SQLite store has no connection to lose\n"
                          "1 check skipped: 1 needs pg_virtualenv; 1 of them runs nowhere on this machine\n");
        QTest::newRow("checks of SQLite's alone, which the plain test runs")
            << QByteArrayList{"tst_store", "tst_store_postgresql",
                              "SKIP: TestStore::waits(one) the other writers are SQLite's",
                              "SKIP: TestStore::waits(two) the other writers are SQLite's"}
            << true
            << QByteArray("skipped: 2 in tst_store_postgresql: the other writers are SQLite's\n"
                          "2 checks skipped: 2 are SQLite-only (the plain tests run them)\n");
        QTest::newRow("rows that need root in the plain test and are SQLite's alone in its twin")
            << QByteArrayList{"tst_store",
                              root,
                              "SKIP: TestStore::mounts(a disk (full)) only root may mount a disk of the test's own",
                              "tst_store_postgresql",
                              "SKIP: TestStore::mounts(a small disk) a PostgreSQL store's room is its server's",
                              "SKIP: TestStore::mounts(a disk (full)) a PostgreSQL store's room is its server's"}
            << true
            << QByteArray("skipped: 2 in tst_store: only root may mount a disk of the test's own\n"
                          "skipped: 2 in tst_store_postgresql: a PostgreSQL store's room is its server's\n"
                          "2 checks skipped: 2 need root; 2 of them run nowhere on this machine\n");
        QTest::newRow("a check of a pooler's, without pgbouncer")
            << QByteArrayList{"tst_store", "SKIP: TestStore::pools() a pooler stands in front of a PostgreSQL store alone",
                              "tst_store_postgresql",
                              "SKIP: TestStore::pools() needs pgbouncer (scripts/setup.sh installs it)"}
            << true
            << QByteArray("skipped: 1 in tst_store: a pooler stands in front of a PostgreSQL store alone\n"
                          "skipped: 1 in tst_store_postgresql: needs pgbouncer (scripts/setup.sh installs it)\n"
                          "1 check skipped: 1 needs pgbouncer (scripts/setup.sh installs it); 1 of them runs nowhere "
                          "on this machine\n");
        QTest::newRow("a check that needs a window manager")
            << QByteArrayList{"tst_dialog", "SKIP: TestDialog::places() needs a window manager"} << true
            << QByteArray("skipped: 1 in tst_dialog: needs a window manager\n"
                          "1 check skipped: 1 needs a window manager (the _wm tests run it)\n");
        QTest::newRow("a check that cannot run under the sanitizers")
            << QByteArrayList{"tst_queue", "SKIP: TestQueue::fails() the sanitizers' allocator cannot be made to fail"}
            << true
            << QByteArray("skipped: 1 in tst_queue: the sanitizers' allocator cannot be made to fail\n"
                          "1 check skipped: 1 cannot run under the sanitizers\n");
        QTest::newRow("a check that cannot run under the sanitizers, in a test and its twin")
            << QByteArrayList{"tst_merge", "SKIP: TestMerge::peaks(one) the address sanitizer keeps what is freed aside",
                              "tst_merge_postgresql",
                              "SKIP: TestMerge::peaks(one) the address sanitizer keeps what is freed aside"}
            << true
            << QByteArray("skipped: 1 in tst_merge: the address sanitizer keeps what is freed aside\n"
                          "skipped: 1 in tst_merge_postgresql: the address sanitizer keeps what is freed aside\n"
                          "1 check skipped: 1 cannot run under the sanitizers\n");
        QTest::newRow("a test skipped whole")
            << QByteArrayList{"tst_faults", "SKIP: TestFaults::initTestCase() the sanitizers' allocator takes the place",
                              "tst_queue", "SKIP: TestQueue::fails() the sanitizers' allocator cannot be made to fail"}
            << true
            << QByteArray("skipped: all of tst_faults: the sanitizers' allocator takes the place\n"
                          "skipped: 1 in tst_queue: the sanitizers' allocator cannot be made to fail\n"
                          "1 check skipped: 1 cannot run under the sanitizers\n"
                          "1 test skipped whole: 1 cannot run under the sanitizers\n");
        QTest::newRow("a reason of no known kind")
            << QByteArrayList{"tst_clock", "SKIP: TestClock::jumps() the clock cannot be set here"} << true
            << QByteArray("skipped: 1 in tst_clock: the clock cannot be set here\n"
                          "1 check skipped: 1 was skipped for the reasons above; 1 of them runs nowhere on this "
                          "machine\n");
    }

    void countsEachCheckOnceByWhyItWasSkipped()
    {
        QFETCH(QByteArrayList, log);
        QFETCH(bool, pgVirtualenv);
        QFETCH(QByteArray, said);
        // The script finds pg_virtualenv on its PATH, which holds here only what it runs besides.
        QTemporaryDir tools;
        const QString awk = QStandardPaths::findExecutable("awk");
        QVERIFY(!awk.isEmpty() && QFile::link(awk, tools.filePath("awk")));
        if (pgVirtualenv)
            QVERIFY(QFile::link("/bin/true", tools.filePath("pg_virtualenv")));
        QFile logFile(tools.filePath("LastTest.log"));
        QVERIFY(logFile.open(QIODevice::WriteOnly) && logFile.write(ctestLog(log)) > 0);
        logFile.close();
        QProcess summary;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("PATH", tools.path());
        summary.setProcessEnvironment(environment);
        summary.start(QStandardPaths::findExecutable("bash"), {script, logFile.fileName()});
        QVERIFY(summary.waitForFinished(60000));
        QCOMPARE(summary.readAllStandardError(), QByteArray());
        QCOMPARE(summary.readAllStandardOutput(), said);
        QCOMPARE(summary.exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(TestSkippedChecks)
#include "tst_skippedchecks.moc"
