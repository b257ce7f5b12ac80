#pragma once

#include <QString>

// Expense and income of one member in a period with their shares (fractions) of all members' figures.
struct MMemberStat
{
    QString id;
    QString name;
    double expense = 0;
    double expensePercent = 0;
    double income = 0;
    double incomePercent = 0;
    double total = 0;
    double totalPercent = 0;
};
