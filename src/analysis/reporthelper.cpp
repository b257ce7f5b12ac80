#include "analysis/reporthelper.h"

#include "data/logcategories.h"

#include <QDate>
#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <cmath>
#include <functional>

namespace {
// Runs a statement and hands each row to `row`; a failure goes to the debug output and yields no rows.
void eachRow(const QString& sql, const std::function<void(const QSqlQuery&)>& row, const QVariantList& values = {})
{
    QSqlQuery query;
    query.setForwardOnly(true);
    bool ok = !sql.isEmpty() && query.prepare(sql);
    for (const QVariant& value : values)
        query.addBindValue(value);
    if (!ok || !query.exec()) {
        qCWarning(lcAnalysis) << "ReportHelper:" << sql << query.lastError().text();
        return;
    }
    while (query.next())
        row(query);
}

// The records by id, for matching result rows; ids are primary keys, so each names one record.
// A statement over the bills of a period; empty, so that it yields no rows, for an unknown period word.
QString billQuery(const QString& columns, const QString& condition, const QString& tail)
{
    return condition.isEmpty() ? QString() : "select " + columns + " from tbl_bill where " + condition + tail;
}

template <typename T> QHash<QString, T*> byId(const QList<T*>& records)
{
    QHash<QString, T*> map;
    for (T* record : records)
        map.insert(record->id, record);
    return map;
}

// One record per row of "select id, name ...", in the order the statement returns them.
template <typename T> QList<T*> namedRecords(const QString& sql)
{
    QList<T*> records;
    eachRow(sql, [&records](const QSqlQuery& q) {
        records << new T;
        records.last()->id = q.value(0).toString();
        records.last()->name = q.value(1).toString();
    });
    return records;
}

template <typename T> T* find(const QHash<QString, T*>& map, const QSqlQuery& query, int column)
{
    return map.value(query.value(column).toString(), nullptr);
}

QString totalName()
{
    return ReportHelper::tr("合计");
}

double share(double part, double whole)
{
    return whole != 0 ? part / whole : 0;
}
} // namespace

ReportHelper::ReportHelper(QObject* parent) : QObject(parent) {}

QString ReportHelper::periodCondition(const QString& period, int value)
{
    const QString v = QString::number(value);
    if (period == "all")
        return " 1=1 ";
    if (period == "year")
        return " month>=" + v + "01 and month <=" + v + "12 ";
    if (period == "month")
        return " month=" + v + " ";
    return QString();
}

int ReportHelper::earliestMonth() const
{
    int month = 0;
    eachRow("select min(month) from tbl_bill", [&month](const QSqlQuery& q) { month = q.value(0).toInt(); });
    qCDebug(lcAnalysis) << "getYearList" << month;
    if (month == 0) {
        const QDate today = QDate::currentDate();
        month = today.year() * 100 + today.month();
    }
    return month;
}

QList<int> ReportHelper::getYearList() const
{
    const int earliest = earliestMonth() / 100;
    const int current = QDate::currentDate().year();
    QList<int> years;
    for (int year = qMax(earliest, current); year >= qMin(earliest, current); --year)
        years << year;
    return years;
}

QList<int> ReportHelper::getMonthList() const
{
    QList<int> months;
    for (int month = 1; month <= 12; ++month)
        months << month;
    return months;
}

QList<int> ReportHelper::getYearMonthList() const
{
    const int earliest = earliestMonth();
    const QDate today = QDate::currentDate();
    QList<int> months;
    for (int year = today.year(); year >= earliest / 100; --year) {
        const int last = year == today.year() ? today.month() : 12;
        const int first = year == earliest / 100 ? earliest % 100 : 1;
        for (int month = last; month >= first; --month)
            months << year * 100 + month;
    }
    return months;
}

QList<MPeriodStat*> ReportHelper::periodStat(const QString& sql, QList<MPeriodStat*> records,
                                             int (*index)(const QString& key)) const
{
    auto* total = new MPeriodStat;
    total->label = totalName();
    eachRow(sql, [&](const QSqlQuery& q) {
        const int i = index(q.value(0).toString());
        const QString kind = q.value(1).toString();
        if (i < 0 || i >= records.size() || (kind != "expense" && kind != "income"))
            return;
        MPeriodStat* record = records.at(i);
        const double sum = q.value(2).toDouble();
        (kind == "expense" ? record->expense : record->income) = sum;
        (kind == "expense" ? total->expense : total->income) += sum;
        record->balance = record->expense + record->income;
    });
    total->balance = total->income + total->expense;
    records << total;
    return records;
}

QList<MPeriodStat*> ReportHelper::statYear(int year) const
{
    QList<MPeriodStat*> records;
    for (int month = 1; month <= 12; ++month) {
        records << new MPeriodStat;
        records.last()->label = QString::number(year * 100 + month);
    }
    const QString sql = billQuery("month, kind, total(amount)", periodCondition("year", year), "group by month,kind ");
    return periodStat(sql, records, [](const QString& month) { return month.toInt() % 100 - 1; });
}

QList<MPeriodStat*> ReportHelper::statMonth(int month) const
{
    const QDate first(month / 100, month % 100, 1);
    QList<MPeriodStat*> records;
    for (int day = 0; day < first.daysInMonth(); ++day) {
        records << new MPeriodStat;
        records.last()->label = first.addDays(day).toString("yyyy-MM-dd");
    }
    const QString sql = billQuery("date, kind, total(amount)", periodCondition("month", month), "group by date,kind ");
    // A date that does not read as a day is dropped by the range check of periodStat.
    return periodStat(sql, records, [](const QString& date) {
        const QDate day = QDate::fromString(date.left(10), "yyyy-MM-dd");
        return day.isValid() ? day.day() - 1 : -1;
    });
}

QList<MCategoryStat*> ReportHelper::categoryAnalysis(const QString& kind, const QString& period, int value) const
{
    QList<MCategoryStat*> records;
    eachRow("select id, name, kind from tbl_category where kind=?",
            [&records](const QSqlQuery& q) {
                auto* record = new MCategoryStat;
                record->id = q.value(0).toString();
                record->name = q.value(1).toString();
                record->kind = q.value(2).toString();
                records << record;
            },
            {kind});
    const QHash<QString, MCategoryStat*> categories = byId(records);
    eachRow("select id, category_id, name, kind from tbl_sub_category where kind=?",
            [&categories](const QSqlQuery& q) {
                if (MCategoryStat* parent = find(categories, q, 1)) {
                    auto* child = new MCategoryStat;
                    child->id = q.value(0).toString();
                    child->name = q.value(2).toString();
                    child->kind = q.value(3).toString();
                    parent->children << child;
                }
            },
            {kind});

    const QString condition = periodCondition(period, value);
    int count = 0;
    double total = 0;
    // One pass over the period's bills gives both levels: a category's figures are the sums of its groups.
    eachRow(billQuery("sub_category_id, category_id,  count(*), total(amount)", condition,
                      " group by category_id, sub_category_id"),
            [&](const QSqlQuery& q) {
                MCategoryStat* parent = find(categories, q, 1);
                if (!parent)
                    return;
                const int bills = int(std::trunc(q.value(2).toDouble()));
                const double amount = q.value(3).toDouble();
                parent->count += bills;
                parent->total += amount;
                count += bills;
                total += amount;
                const QString id = q.value(0).toString();
                for (MCategoryStat* child : std::as_const(parent->children)) {
                    if (child->id == id) {
                        child->count = bills;
                        child->total = amount;
                    }
                }
            });
    // A sub-category's share is of the whole kind, like its category's.
    for (MCategoryStat* record : std::as_const(records)) {
        record->percent = share(record->total, total);
        for (MCategoryStat* child : std::as_const(record->children))
            child->percent = share(child->total, total);
    }

    auto* sum = new MCategoryStat;
    sum->name = totalName();
    sum->kind = kind;
    sum->count = count;
    sum->total = total;
    sum->percent = 1.0;
    records << sum;
    return records;
}

QList<MAccountStat*> ReportHelper::accountAnalysis(const QString& period, int value) const
{
    QList<MAccountStat*> records;
    eachRow("select  id, name, kind from tbl_account order by kind", [&records](const QSqlQuery& q) {
        auto* record = new MAccountStat;
        record->id = q.value(0).toString();
        record->name = q.value(1).toString();
        record->kind = q.value(2).toString();
        records << record;
    });
    const QHash<QString, MAccountStat*> accounts = byId(records);
    const auto retotal = [](MAccountStat* r) {
        r->total = r->expense + r->income + r->transferIn + r->transferOut + r->lend + r->borrow + r->refund + r->repay;
    };
    const QString condition = periodCondition(period, value);
    const QHash<QString, double MAccountStat::*> fields{
        {"expense", &MAccountStat::expense},      {"income", &MAccountStat::income},
        {"transfer", &MAccountStat::transferOut}, {"lend", &MAccountStat::lend},
        {"borrow", &MAccountStat::borrow},        {"refund", &MAccountStat::refund},
        {"repay", &MAccountStat::repay}};
    eachRow(billQuery("account_id, kind, total(amount)", condition, " group by account_id, kind"),
            [&](const QSqlQuery& q) {
                MAccountStat* record = find(accounts, q, 0);
                const auto field = fields.value(q.value(1).toString(), nullptr);
                if (record && field) {
                    record->*field = q.value(2).toDouble();
                    retotal(record);
                }
            });
    eachRow(billQuery("to_account_id, total(amount)", condition, " and kind='transfer' group by to_account_id, kind "),
            [&](const QSqlQuery& q) {
                if (MAccountStat* record = find(accounts, q, 0)) {
                    record->transferIn = std::fabs(q.value(1).toDouble());
                    retotal(record);
                }
            });

    auto* sum = new MAccountStat;
    sum->name = totalName();
    for (const MAccountStat* r : std::as_const(records)) {
        for (const auto field : fields)
            sum->*field += r->*field;
        sum->transferIn += r->transferIn;
    }
    retotal(sum);
    records << sum;
    return records;
}

QList<MMemberStat*> ReportHelper::memberAnalysis(const QString& period, int value) const
{
    QList<MMemberStat*> records = namedRecords<MMemberStat>("select id, name from tbl_member ");
    const QHash<QString, MMemberStat*> members = byId(records);
    double expense = 0;
    double income = 0;
    const QString condition = periodCondition(period, value);
    eachRow(billQuery("member_id, kind, total(amount)", condition, " group by member_id, kind"),
            [&](const QSqlQuery& q) {
                MMemberStat* record = find(members, q, 0);
                const QString kind = q.value(1).toString();
                if (!record || (kind != "expense" && kind != "income"))
                    return;
                const double sum = q.value(2).toDouble();
                (kind == "expense" ? record->expense : record->income) = sum;
                (kind == "expense" ? expense : income) += sum;
                record->total = record->expense + record->income;
            });
    for (MMemberStat* r : std::as_const(records)) {
        r->expensePercent = share(r->expense, expense);
        r->incomePercent = share(r->income, income);
        r->totalPercent = share(r->total, expense + income);
    }

    auto* sum = new MMemberStat;
    sum->name = totalName();
    sum->expense = expense;
    sum->income = income;
    sum->total = income + expense;
    sum->expensePercent = sum->incomePercent = sum->totalPercent = 1.0;
    records << sum;
    return records;
}

QList<MBorrowerStat*> ReportHelper::borrowerAnalysis(const QString& period, int value) const
{
    QList<MBorrowerStat*> records = namedRecords<MBorrowerStat>("select id, name from tbl_borrower ");
    const QHash<QString, MBorrowerStat*> borrowers = byId(records);
    const QHash<QString, double MBorrowerStat::*> fields{{"borrow", &MBorrowerStat::borrow},
                                                         {"lend", &MBorrowerStat::lend},
                                                         {"refund", &MBorrowerStat::refund},
                                                         {"repay", &MBorrowerStat::repay}};
    auto* sum = new MBorrowerStat;
    sum->name = totalName();
    const QString condition = periodCondition(period, value);
    eachRow(billQuery("borrower_id, kind, total(amount)", condition, " group by borrower_id, kind"),
            [&](const QSqlQuery& q) {
                MBorrowerStat* record = find(borrowers, q, 0);
                const auto field = fields.value(q.value(1).toString(), nullptr);
                if (!record || !field)
                    return;
                record->*field = q.value(2).toDouble();
                sum->*field += record->*field;
                record->total = record->borrow + record->lend + record->refund + record->repay;
            });
    sum->total = sum->borrow + sum->lend + sum->refund + sum->repay;
    records << sum;
    return records;
}

QString ReportHelper::toHtmlRows(const QList<QStringList>& rows)
{
    QString html;
    for (const QStringList& row : rows) {
        html += "<tr>";
        for (const QString& cell : row)
            html += "<td>" + cell + "</td>";
        html += "</tr>";
    }
    return html;
}
