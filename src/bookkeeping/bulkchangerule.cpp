#include "bookkeeping/bulkchangerule.h"

#include <QStringList>
#include <algorithm>

QString BulkChangeRule::refusal(const QString& mode, const MBillList& bills)
{
    QStringList kinds;
    for (const MBillPtr& bill : bills)
        kinds << bill->getKind();
    const auto anyOutside = [&kinds](const QStringList& allowed) {
        return std::any_of(kinds.cbegin(), kinds.cend(),
                           [&allowed](const QString& kind) { return !allowed.contains(kind); });
    };
    const QStringList incomeAndExpense{"expense", "income"};
    if (mode == "member" && anyOutside(incomeAndExpense))
        return tr("成员转换功能只适用于收入或支出");
    if (mode == "category" && anyOutside(incomeAndExpense))
        return tr("分类转换功能只适用于收入或支出");
    if (mode == "category" && kinds.contains("expense") && kinds.contains("income"))
        return tr("转换分类时，选中账目不能同步包含收入和支出");
    if (mode == "borrower" && anyOutside({"lend", "borrow", "refund", "repay"}))
        return tr("借款人转换功能只适用于借贷账目");
    return QString();
}
