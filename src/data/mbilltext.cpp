#include "data/mbilltext.h"

#include "data/constants.h"
#include "data/filesetting.h"
#include "data/maccount.h"
#include "data/mbill.h"
#include "data/mborrower.h"
#include "data/mcategory.h"
#include "data/metadata.h"
#include "data/mmember.h"
#include "data/money.h"

#include <QColor>
#include <QHash>
#include <QLocale>
#include <QPixmap>
#include <cmath>

namespace {
bool hasCategory(const QString& kind)
{
    return kind == "expense" || kind == "income";
}

template <typename Record> QString nameOr(const Record* record, const QString& fallback)
{
    return record ? record->getName() : fallback;
}

QString kindLabel(const QString& kind)
{
    return Constants::getInstance()->getBillKinds()->getLabel(kind);
}

QString signedFigure(double value)
{
    return (value > 0 ? "+" : "") + QString::number(value, 'f', 2);
}

QColor kindColor(const QString& kind)
{
    struct Swatch
    {
        const char* key;
        QColor fallback;
    };
    static const QHash<QString, Swatch> swatches{
        {"expense", {"Color/ExpenseColor", QColor(Qt::red)}},      {"income", {"Color/IncomeColor", QColor(Qt::green)}},
        {"transfer", {"Color/TransferColor", QColor(Qt::yellow)}}, {"lend", {"Color/LendColor", QColor(Qt::gray)}},
        {"borrow", {"Color/BorrowColor", QColor(Qt::lightGray)}},  {"refund", {"Color/RefundColor", QColor(Qt::gray)}},
        {"repay", {"Color/RepayColor", QColor(Qt::lightGray)}},
    };
    const auto swatch = swatches.constFind(kind);
    if (swatch == swatches.constEnd())
        return QColor(Qt::white);
    return FileSetting::getInstance()->getValue(swatch->key, swatch->fallback).value<QColor>();
}
} // namespace

QString MBillText::dayText(const QDate& date)
{
    return date.toString("yyyy-MM-dd") + " " + QLocale::system().dayName(date.dayOfWeek(), QLocale::LongFormat);
}

QIcon MBillText::kindIcon(const QString& kind)
{
    QPixmap pixmap(10, 10);
    pixmap.fill(kindColor(kind));
    return QIcon(pixmap);
}

QString MBillText::cellText(const MBill* bill, int column)
{
    const QString kind = bill->getKind();
    const QString missing = tr("出错啦~~~");
    switch (column) {
    case 0:
        if (hasCategory(kind))
            return nameOr(bill->getCategory(), missing) + " " + nameOr(bill->getSubCategory(), missing);
        if (kind == "transfer")
            return nameOr(bill->getToAccount(), missing);
        return nameOr(bill->getBorrower(), missing);
    case 1:
        return kindLabel(kind) + " " + QString::number(bill->getAmount(), 'f', 2);
    case 2:
        return nameOr(bill->getAccount(), missing);
    case 3:
        return hasCategory(kind) ? nameOr(bill->getMember(), "") : QString("");
    default:
        return (bill->getTitle().isEmpty() ? QString("") : bill->getTitle() + " ") + bill->getDescription();
    }
}

QString MBillText::toolTip(const MBill* bill)
{
    const QString kind = bill->getKind();
    const QString newLine = "\r\n";
    QString text = tr("日期：") + dayText(bill->getDate()) + newLine;
    text += kindLabel(kind) + tr("：") + QString::number(bill->getAmount(), 'f', 2) + tr("元") + newLine;
    if (hasCategory(kind)) {
        text += tr("分类：");
        if (const MCategory* category = bill->getCategory())
            text += category->getName();
        if (const MCategory* subCategory = bill->getSubCategory())
            text += " - " + subCategory->getName();
    } else if (kind == "transfer") {
        if (const MAccount* toAccount = bill->getToAccount())
            text += tr("转入账户：") + toAccount->getName();
    } else if (const MBorrower* borrower = bill->getBorrower()) {
        text += tr("借款人：") + borrower->getName();
    }
    if (const MAccount* account = bill->getAccount())
        text += newLine + tr("账户：") + account->getName();
    if (hasCategory(kind)) {
        text += newLine + tr("成员：");
        if (const MMember* member = bill->getMember())
            text += member->getName();
    }
    if (!bill->getTitle().isEmpty())
        text += newLine + bill->getTitle();
    if (!bill->getDescription().isEmpty())
        text += newLine + bill->getDescription();
    return text;
}

QString MBillText::sumsText(MBill* group)
{
    QHash<QString, double> sums;
    for (const MBillPtr& bill : *group->getChildren())
        sums[bill->getKind()] += bill->getAmount();

    QString text;
    double subtotal = 0;
    for (const auto& [label, code] : Constants::getInstance()->getBillKinds()->getList()) {
        double figure = sums.value(code, 0);
        // Transfers are stored negative and move money between the user's own accounts.
        if (code == "transfer")
            figure = std::fabs(figure);
        else
            subtotal += figure;
        figure = Money::toCents(figure);
        if (figure != 0)
            text += QString("%1 %2 ").arg(label, signedFigure(figure));
    }
    return text + tr(" 小计 %1  ").arg(signedFigure(Money::toCents(subtotal)));
}
