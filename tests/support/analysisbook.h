#pragma once

#include <QString>

// Master data and bills with figures known by heart, for the analysis and model tests: two expense categories (餐饮
// with the sub-categories 午饭 and 晚饭, 交通) and one income category (工资 with 奖金), the accounts 现金 (A) and
// 工商卡 (B), the members 爸爸 and 妈妈, the borrower 老王, bills in March to May 2014 and one on 2016-02-29.
// Names may be replaced by hostile ones to check that they reach every view as typed.
class AnalysisBook
{
public:
    static void seed(const QString& hostileName = QString());
};
