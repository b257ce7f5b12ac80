#include "analysis/reporthelper.h"
#include "analysisbook.h"
#include "bookrows.h"
#include "recordtest.h"

#include <QDate>
#include <QtTest>

namespace {
QString n(double v)
{
    return QString::number(v, 'f', 2);
}

QString p(double v)
{
    return QString::number(v * 100, 'f', 2) + "%";
}

// Each query's records as one line per record, so that a row of the table below names every figure.
template <typename T> QStringList lines(const QList<T*>& records, const std::function<QString(const T*)>& line)
{
    QStringList out;
    for (const T* r : records)
        out << line(r);
    qDeleteAll(records);
    return out;
}

QStringList run(const QString& query, const QString& period, int value)
{
    ReportHelper helper;
    if (query.startsWith("category")) {
        QStringList out;
        const auto records = helper.categoryAnalysis(query.section(':', 1), period, value);
        for (const MCategoryStat* r : records) {
            out << QString("%1 %2 %3 %4 %5").arg(r->name, r->kind).arg(r->count).arg(n(r->total), p(r->percent));
            for (const MCategoryStat* c : r->children)
                out << QString(" %1 %2 %3 %4").arg(c->name).arg(c->count).arg(n(c->total), p(c->percent));
        }
        qDeleteAll(records);
        return out;
    }
    if (query == "account")
        return lines<MAccountStat>(helper.accountAnalysis(period, value), [](const MAccountStat* r) {
            return QStringList{r->name,          r->kind,           n(r->expense), n(r->income),
                               n(r->transferIn), n(r->transferOut), n(r->lend),    n(r->borrow),
                               n(r->refund),     n(r->repay),       n(r->total)}
                .join(' ');
        });
    if (query == "member")
        return lines<MMemberStat>(helper.memberAnalysis(period, value), [](const MMemberStat* r) {
            return QStringList{r->name,     n(r->expense),     p(r->expensePercent), n(r->income), p(r->incomePercent),
                               n(r->total), p(r->totalPercent)}
                .join(' ');
        });
    if (query == "borrower")
        return lines<MBorrowerStat>(helper.borrowerAnalysis(period, value), [](const MBorrowerStat* r) {
            return QStringList{r->name, n(r->borrow), n(r->lend), n(r->refund), n(r->repay), n(r->total)}.join(' ');
        });
    const auto stats = query == "year" ? helper.statYear(value) : helper.statMonth(value);
    return lines<MPeriodStat>(stats, [](const MPeriodStat* r) {
        return QStringList{r->label, n(r->expense), n(r->income), n(r->balance)}.join(' ');
    });
}
} // namespace

class TestReportHelper : public RecordTest
{
    Q_OBJECT

private slots:
    void init()
    {
        RecordTest::init();
        AnalysisBook::seed();
    }

    void queries_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("period");
        QTest::addColumn<QStringList>("expected");

        // Sub-categories share the whole kind's total, a bill without a sub-category counts only in its
        // category, a sub-category hung under a category of the other kind is left out.
        QTest::newRow("category, all") << "category:expense" << 0 << "all"
                                       << QStringList{"餐饮 expense 2 -150.00 71.43%", " 午饭 1 -100.00 47.62%",
                                                      " 晚饭 0 0.00 0.00%", "交通 expense 2 -60.00 28.57%",
                                                      "合计 expense 4 -210.00 100.00%"};
        QTest::newRow("category, year") << "category:expense" << 2014 << "year"
                                        << QStringList{"餐饮 expense 2 -150.00 75.00%", " 午饭 1 -100.00 50.00%",
                                                       " 晚饭 0 0.00 0.00%", "交通 expense 1 -50.00 25.00%",
                                                       "合计 expense 3 -200.00 100.00%"};
        const QStringList nothing{"餐饮 expense 0 0.00 0.00%", " 午饭 0 0.00 0.00%", " 晚饭 0 0.00 0.00%",
                                  "交通 expense 0 0.00 0.00%", "合计 expense 0 0.00 100.00%"};
        QTest::newRow("category, month without bills") << "category:expense" << 201404 << "month" << nothing;
        QTest::newRow("category, unknown period word counts nothing")
            << "category:expense" << 201403 << "week" << nothing;
        QTest::newRow("category, income")
            << "category:income" << 201403 << "month"
            << QStringList{"工资 income 1 400.00 100.00%", " 奖金 1 400.00 100.00%", "合计 income 1 400.00 100.00%"};
        QTest::newRow("category, hostile kind is a value, not SQL")
            << "category:expense' or '1'='1" << 0 << "all" << QStringList{"合计 expense' or '1'='1 0 0.00 100.00%"};

        // Accounts come ordered by kind code; the transfer in is absolute and cancels the transfer out.
        QTest::newRow("account, all")
            << "account" << 0 << "all"
            << QStringList{"工商卡 card -50.00 400.00 200.00 0.00 0.00 500.00 0.00 -200.00 850.00",
                           "现金 cash -160.00 0.00 0.00 -200.00 -300.00 0.00 100.00 0.00 -560.00",
                           "合计  -210.00 400.00 200.00 -200.00 -300.00 500.00 100.00 -200.00 290.00"};
        QTest::newRow("account, month") << "account" << 201405 << "month"
                                        << QStringList{
                                               "工商卡 card 0.00 0.00 0.00 0.00 0.00 500.00 0.00 -200.00 300.00",
                                               "现金 cash 0.00 0.00 0.00 0.00 0.00 0.00 0.00 0.00 0.00",
                                               "合计  0.00 0.00 0.00 0.00 0.00 500.00 0.00 -200.00 300.00"};

        QTest::newRow("member, all") << "member" << 0 << "all"
                                     << QStringList{"爸爸 -160.00 76.19% 0.00 0.00% -160.00 -84.21%",
                                                    "妈妈 -50.00 23.81% 400.00 100.00% 350.00 184.21%",
                                                    "合计 -210.00 100.00% 400.00 100.00% 190.00 100.00%"};
        QTest::newRow("member, zero divisors")
            << "member" << 201404 << "month"
            << QStringList{"爸爸 0.00 0.00% 0.00 0.00% 0.00 0.00%", "妈妈 0.00 0.00% 0.00 0.00% 0.00 0.00%",
                           "合计 0.00 100.00% 0.00 100.00% 0.00 100.00%"};

        QTest::newRow("borrower, year") << "borrower" << 2014 << "year"
                                        << QStringList{"老王 500.00 -300.00 100.00 -200.00 100.00",
                                                       "合计 500.00 -300.00 100.00 -200.00 100.00"};

        // Statistics: one row per month of a year or per day of a month, then the total.
        QStringList year;
        for (int m = 1; m <= 12; ++m)
            year << QString("2014%1 %2")
                        .arg(m, 2, 10, QChar('0'))
                        .arg(m == 3 ? "-207.00 400.00 193.00" : "0.00 0.00 0.00");
        QTest::newRow("year: six-digit labels, only expense and income")
            << "year" << 2014 << "" << (year << "合计 -207.00 400.00 193.00");
        const QMap<int, QString> marchDays{{5, "-150.00 0.00 -150.00"},
                                           {6, "-7.00 0.00 -7.00"},
                                           {20, "-50.00 0.00 -50.00"},
                                           {25, "0.00 400.00 400.00"}};
        QStringList march;
        for (int d = 1; d <= 31; ++d)
            march << QString("2014-03-%1 %2").arg(d, 2, 10, QChar('0')).arg(marchDays.value(d, "0.00 0.00 0.00"));
        QTest::newRow("month: bills of a day share its row")
            << "month" << 201403 << "" << (march << "合计 -207.00 400.00 193.00");
        QStringList leap;
        for (int d = 1; d <= 29; ++d)
            leap << QString("2016-02-%1 %2")
                        .arg(d, 2, 10, QChar('0'))
                        .arg(d == 29 ? "-10.00 0.00 -10.00" : "0.00 0.00 0.00");
        QTest::newRow("leap February") << "month" << 201602 << "" << (leap << "合计 -10.00 0.00 -10.00");
    }

    void queries()
    {
        QFETCH(QString, query);
        QFETCH(int, value);
        QFETCH(QString, period);
        QFETCH(QStringList, expected);
        QCOMPARE(run(query, period, value), expected);
    }

    // A year's period runs from its January to its December, both counted and nothing of the years beside it.
    void aYearHoldsJanuaryToDecember_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("total");
        QTest::newRow("statistics") << "year"
                                    << "合计 -213.00 400.00 187.00";
        QTest::newRow("category") << "category:expense"
                                  << "合计 expense 5 -206.00 100.00%";
        QTest::newRow("account") << "account"
                                 << "合计  -206.00 400.00 200.00 -200.00 -300.00 500.00 100.00 -200.00 294.00";
    }
    void aYearHoldsJanuaryToDecember()
    {
        QFETCH(QString, query);
        QFETCH(QString, total);
        const QMap<QString, QString> ids{{"category_id", "C2"}, {"account_id", "A"}, {"member_id", "M1"}};
        BookRows::addBillOn("2013-12-31", "expense", -1000, ids);
        BookRows::addBillOn("2014-01-01", "expense", -2, ids);
        BookRows::addBillOn("2014-12-31", "expense", -4, ids);
        BookRows::addBillOn("2015-01-01", "expense", -1000, ids);
        QCOMPARE(run(query, "year", 2014).constLast(), total);
    }

    void yearsRunFromTheEarliestBillToNow()
    {
        QList<int> expected;
        for (int y = QDate::currentDate().year(); y >= 2014; --y)
            expected << y;
        QCOMPARE(ReportHelper().getYearList(), expected);
        BookRows::exec("delete from tbl_bill");
        QCOMPARE(ReportHelper().getYearList(), QList<int>{QDate::currentDate().year()});
    }
};

QTEST_GUILESS_MAIN(TestReportHelper)
#include "tst_reporthelper.moc"
