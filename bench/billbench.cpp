#include "billbench.h"

#include "benchtiming.h"

#include "data/maccount.h"
#include "data/mbill.h"
#include "data/mbillmodel.h"
#include "data/mborrower.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTextStream>
#include <algorithm>
#include <sys/resource.h>
#include <unistd.h>

namespace {
const QString monthCondition = " month=202006 ";

double peakMb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

double residentMb()
{
    QFile statm("/proc/self/statm");
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.value(1).toLongLong() * sysconf(_SC_PAGESIZE) / (1024.0 * 1024.0);
}
} // namespace

BillBench::BillBench(int bills, int repeats) : m_bills(bills), m_repeats(repeats) {}

int BillBench::bareFetch(const QString& sql)
{
    QSqlQuery query;
    query.setForwardOnly(true);
    query.exec(sql);
    const int columns = query.record().count();
    int rows = 0;
    while (query.next()) {
        for (int i = 0; i < columns; ++i)
            query.value(i);
        ++rows;
    }
    return rows;
}

double BillBench::timeMs(const std::function<void()>& work) const
{
    return medianMs(m_repeats, work);
}

void BillBench::report(const QString& name, double ours, double bare) const
{
    reportTiming(name, ours, bare);
}

void BillBench::run()
{
    benchOut() << QString("\n%1 bills, median of %2 runs\n").arg(m_bills).arg(m_repeats);
    benchOut() << QString("%1 %2 %3 %4\n").arg("operation", -46).arg("ours ms", 10).arg("bare ms", 10).arg("ratio", 7);

    for (const QString& condition : {QString(" 1=1 "), monthCondition}) {
        int rows = 0;
        const double bare = timeMs([&] { rows = bareFetch(MBill::listQuery(condition)); });
        const double ours = timeMs([&] {
            MBill::resetCache();
            MBill::get(condition);
        });
        report(QString("MBill::get(\"%1\") %2 rows").arg(condition).arg(rows), ours, bare);

        MBillModel model;
        const double population = timeMs([&] {
            MBill::resetCache();
            model.setCondition(condition);
        });
        report(QString("first page of the model (\"%1\")").arg(condition), population, bare);
        const double paging = timeMs([&] { model.changePage("next"); });
        report("next page, cached list", paging, 0);
        const double shown = timeMs([&] {
            for (int g = 0; g < model.rowCount(); ++g) {
                const QModelIndex group = model.index(g, 0);
                for (int column = 0; column < 5; ++column)
                    model.index(g, column).data();
                for (int b = 0; b < model.rowCount(group); ++b)
                    for (int column = 0; column < 5; ++column)
                        for (int role : {Qt::DisplayRole, Qt::DecorationRole, Qt::ToolTipRole})
                            model.index(b, column, group).data(role);
            }
        });
        report("data() of every cell of the page", shown, 0);
    }

    MAccount::get();
    MBorrower::getBorrowerList();
    const double bareBalance = timeMs([] {
        bareFetch("select account_id, total(amount) from tbl_bill group by account_id");
        bareFetch("select to_account_id, total(amount) from tbl_bill group by to_account_id");
        bareFetch("select borrower_id, total(amount) a from tbl_bill group by borrower_id");
    });
    const double balance = timeMs([] {
        MAccount::calculateBalance();
        MBorrower::calculateBalance();
    });
    report("balance recomputation", balance, bareBalance);
    benchOut()
        << QString("peak memory %1 MB, resident now %2 MB\n").arg(peakMb(), 0, 'f', 1).arg(residentMb(), 0, 'f', 1);
    benchOut().flush();
}

void BillBench::runFilterChanges(int changes)
{
    // The filters a user flips between on the bill list page, from every bill to a single month.
    const QStringList conditions{" 1=1 ", monthCondition, " kind='expense' ", " account_id='01' "};
    MBillModel model;
    double warm = 0;
    double warmPeak = 0;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < changes; ++i) {
        model.setCondition(conditions.at(i % conditions.size()));
        if (i == conditions.size() * 5 - 1) {
            warm = residentMb();
            warmPeak = peakMb();
        }
    }
    benchOut() << QString("\n%1 filter changes over %2 conditions in %3 s\n")
                      .arg(changes)
                      .arg(conditions.size())
                      .arg(timer.elapsed() / 1000.0, 0, 'f', 1);
    benchOut() << QString("resident after %1 changes %2 MB, after %3 changes %4 MB\n")
                      .arg(conditions.size() * 5)
                      .arg(warm, 0, 'f', 1)
                      .arg(changes)
                      .arg(residentMb(), 0, 'f', 1);
    benchOut() << QString("peak after %1 changes %2 MB, after %3 changes %4 MB\n")
                      .arg(conditions.size() * 5)
                      .arg(warmPeak, 0, 'f', 1)
                      .arg(changes)
                      .arg(peakMb(), 0, 'f', 1);
    benchOut().flush();
}
