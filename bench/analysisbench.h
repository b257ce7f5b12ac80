#pragma once

#include <QString>
#include <QStringList>
#include <functional>

// Times each analysis query on the open book for all bills, a year and a month, beside the bare SQL aggregates
// the query runs, read through QSqlQuery without building records.
class AnalysisBench
{
public:
    AnalysisBench(int bills, int repeats);

    void run();

private:
    void time(const QString& name, const QStringList& bareStatements, const std::function<void()>& query);

    int m_bills;
    int m_repeats;
};
