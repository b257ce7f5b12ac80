#pragma once

#include <QString>

// Expense and income of one month or one day ("合计" for the total row); balance = expense + income.
struct MPeriodStat
{
    QString label;
    double expense = 0;
    double income = 0;
    double balance = 0;
};
