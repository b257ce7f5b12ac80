#pragma once

#include <QString>

// The loan bills of one borrower in a period, signed as stored (lend and repay negative).
struct MBorrowerStat
{
    QString id;
    QString name;
    double borrow = 0;
    double lend = 0;
    double refund = 0;
    double repay = 0;
    double total = 0;
};
