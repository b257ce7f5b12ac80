#include "analysisbench.h"

#include "analysis/reporthelper.h"
#include "benchtiming.h"

#include <QSqlQuery>
#include <QSqlRecord>

namespace {
// Runs the statements and reads every value of every row.
void bareAggregate(const QStringList& statements)
{
    for (const QString& sql : statements) {
        QSqlQuery query;
        query.setForwardOnly(true);
        query.exec(sql);
        const int columns = query.record().count();
        while (query.next()) {
            for (int c = 0; c < columns; ++c)
                query.value(c);
        }
    }
}

QString grouped(const QString& columns, const QString& condition, const QString& groups)
{
    return "select " + columns + " from tbl_bill where " + condition + " group by " + groups;
}
} // namespace

AnalysisBench::AnalysisBench(int bills, int repeats) : m_bills(bills), m_repeats(repeats) {}

void AnalysisBench::time(const QString& name, const QStringList& bareStatements, const std::function<void()>& query)
{
    const double bare = medianMs(m_repeats, [&] { bareAggregate(bareStatements); });
    const double ours = medianMs(m_repeats, query);
    reportTiming(name, ours, bare);
}

void AnalysisBench::run()
{
    benchOut() << QString("\nanalysis of %1 bills, median of %2 runs: ours, bare SQL (ms), ratio\n")
                      .arg(m_bills)
                      .arg(m_repeats);
    ReportHelper helper;
    const QList<QPair<QString, int>> periods{{"all", 0}, {"year", 2020}, {"month", 202006}};
    for (const auto& [period, value] : periods) {
        const QString where = ReportHelper::periodCondition(period, value);
        const QString tag = QString(" (%1 %2)").arg(period).arg(value);
        time("categoryAnalysis expense" + tag,
             {grouped("sub_category_id, category_id, count(*), total(amount)", where, "category_id, sub_category_id")},
             [&] { qDeleteAll(helper.categoryAnalysis("expense", period, value)); });
        time("accountAnalysis" + tag,
             {grouped("account_id, kind, total(amount)", where, "account_id, kind"),
              grouped("to_account_id, total(amount)", where + " and kind='transfer'", "to_account_id, kind")},
             [&] { qDeleteAll(helper.accountAnalysis(period, value)); });
        time("memberAnalysis" + tag, {grouped("member_id, kind, total(amount)", where, "member_id, kind")},
             [&] { qDeleteAll(helper.memberAnalysis(period, value)); });
        time("borrowerAnalysis" + tag, {grouped("borrower_id, kind, total(amount)", where, "borrower_id, kind")},
             [&] { qDeleteAll(helper.borrowerAnalysis(period, value)); });
    }
    time("statYear 2020",
         {grouped("month, kind, total(amount)", ReportHelper::periodCondition("year", 2020), "month,kind")},
         [&] { qDeleteAll(helper.statYear(2020)); });
    time("statMonth 202006", {grouped("date, kind, total(amount)", " month=202006 ", "date,kind")},
         [&] { qDeleteAll(helper.statMonth(202006)); });
}
