#pragma once

#include <QString>

// The period's bills on one account, split by bill kind. transferIn is the absolute sum of the transfers into
// the account, transferOut the transfers leaving it as stored (negative); total is the sum of the eight.
struct MAccountStat
{
    QString id;
    QString name;
    QString kind;
    double expense = 0;
    double income = 0;
    double transferIn = 0;
    double transferOut = 0;
    double lend = 0;
    double borrow = 0;
    double refund = 0;
    double repay = 0;
    double total = 0;
};
