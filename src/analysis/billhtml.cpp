#include "analysis/billhtml.h"

#include "data/constants.h"
#include "data/mbill.h"
#include "data/metadata.h"

QString BillHtml::escaped(const QString& text)
{
    return text.toHtmlEscaped();
}

QString BillHtml::kindLabel(const MBill& bill)
{
    return Constants::getInstance()->getBillKinds()->getLabel(bill.getKind());
}

QString BillHtml::amount(const MBill& bill)
{
    return QString::number(bill.getAmount(), 'f', 2);
}
