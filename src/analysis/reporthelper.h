#pragma once

#include "analysis/maccountstat.h"
#include "analysis/mborrowerstat.h"
#include "analysis/mcategorystat.h"
#include "analysis/mmemberstat.h"
#include "analysis/mperiodstat.h"

#include <QList>
#include <QObject>
#include <QStringList>

// The sums behind the analysis pages, read from the open book on the default connection. A period is "all",
// "year" with the year or "month" with year * 100 + month. Every list of records ends with one total row
// "合计", and the caller owns the records it gets. A failed statement only leaves figures at 0.
class ReportHelper : public QObject
{
    Q_OBJECT

public:
    explicit ReportHelper(QObject* parent = nullptr);

    // Years from the earliest bill's to this year (or the other way round), newest first.
    QList<int> getYearList() const;
    QList<int> getMonthList() const;
    // year * 100 + month from this month back to the earliest bill's, newest first.
    QList<int> getYearMonthList() const;

    QList<MPeriodStat*> statYear(int year) const;
    QList<MPeriodStat*> statMonth(int month) const;
    QList<MCategoryStat*> categoryAnalysis(const QString& kind, const QString& period, int value) const;
    QList<MAccountStat*> accountAnalysis(const QString& period, int value) const;
    QList<MMemberStat*> memberAnalysis(const QString& period, int value) const;
    QList<MBorrowerStat*> borrowerAnalysis(const QString& period, int value) const;

    // The condition on tbl_bill.month for a period; empty for an unknown period word.
    static QString periodCondition(const QString& period, int value);
    // "<tr><td>cell</td>...</tr>" per row; the cells are taken as HTML, so callers escape user text.
    static QString toHtmlRows(const QList<QStringList>& rows);

private:
    int earliestMonth() const;
    QList<MPeriodStat*> periodStat(const QString& sql, QList<MPeriodStat*> records,
                                   int (*index)(const QString& key)) const;
};
