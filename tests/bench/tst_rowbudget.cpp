#include "rowbudget.h"

#include <QtTest>

class TestRowBudget : public QObject
{
    Q_OBJECT

private slots:
    void judgesTheOwnerAndTheMemory_data();
    void judgesTheOwnerAndTheMemory();
    void reportsOnlyTheBudgetsSet();
};

void TestRowBudget::judgesTheOwnerAndTheMemory_data()
{
    QTest::addColumn<int>("requests");
    QTest::addColumn<int>("failures");
    QTest::addColumn<double>("p99Ms");
    QTest::addColumn<int>("refused");
    QTest::addColumn<int>("peakMb");
    // The verdicts in order: the owner's losses, its 99th percentile, its refusals, the memory.
    QTest::addColumn<QString>("verdicts");

    QTest::newRow("all kept") << 200 << 3 << 800.0 << 0 << 300 << "PASS PASS PASS PASS";
    QTest::newRow("losses at the limit") << 200 << 10 << 800.0 << 0 << 300 << "PASS PASS PASS PASS";
    QTest::newRow("one loss past it") << 200 << 11 << 800.0 << 0 << 300 << "FAIL PASS PASS PASS";
    QTest::newRow("under 5% only when rounded down") << 19 << 1 << 800.0 << 0 << 300 << "FAIL PASS PASS PASS";
    QTest::newRow("no request at all") << 0 << 0 << 0.0 << 0 << 300 << "FAIL PASS PASS PASS";
    QTest::newRow("p99 at the limit") << 200 << 0 << 3000.0 << 0 << 300 << "PASS FAIL PASS PASS";
    QTest::newRow("one refusal") << 200 << 1 << 800.0 << 1 << 300 << "PASS PASS FAIL PASS";
    QTest::newRow("memory at the limit") << 200 << 0 << 800.0 << 0 << 700 << "PASS PASS PASS FAIL";
}

void TestRowBudget::judgesTheOwnerAndTheMemory()
{
    QFETCH(int, requests);
    QFETCH(int, failures);
    QFETCH(double, p99Ms);
    QFETCH(int, refused);
    QFETCH(int, peakMb);
    QFETCH(QString, verdicts);

    RowBudget budget;
    budget.limitOwner(5, 3000, true);
    budget.limitMemory(700);
    budget.judgeRow(requests, failures, p99Ms, refused, qint64(peakMb) * 1024);
    const QStringList lines = budget.report().split('\n', Qt::SkipEmptyParts);
    QStringList judged;
    for (const QString& line : lines)
        judged << line.trimmed().left(4);
    QCOMPARE(judged.join(' '), verdicts);
    QVERIFY2(lines.first().contains(QString("lost %1 of %2").arg(failures).arg(requests)), qPrintable(lines.first()));
}

void TestRowBudget::reportsOnlyTheBudgetsSet()
{
    RowBudget budget;
    budget.judgeRow(10, 10, 9000, 5, 9000 * 1024);
    QCOMPARE(budget.report(), QString());

    budget.limitOwner(5, 0);
    budget.judge("descriptors under 100", "780 still", false);
    budget.judgeRow(100, 0, 9000, 5, 9000 * 1024);
    QCOMPARE(budget.report(), QString("    FAIL  descriptors under 100: 780 still\n"
                                      "    PASS  the owner loses at most 5% of its requests: lost 0 of 100\n"));
}

QTEST_GUILESS_MAIN(TestRowBudget)
#include "tst_rowbudget.moc"
