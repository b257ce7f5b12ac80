#include "analysis/printhelper.h"

#include "analysis/billhtml.h"
#include "data/logcategories.h"
#include "data/maccount.h"
#include "data/mborrower.h"
#include "data/mcategory.h"
#include "widgets/printpreview.h"

#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QTextDocument>

namespace {
// The name of a record the bill refers to, or a marker where the record is missing.
template <typename Record> QString nameOf(const Record* record)
{
    return record ? BillHtml::escaped(record->getName()) : PrintHelper::tr("出错啦~~~");
}

QString cell(const QString& text)
{
    return "<td>" + text + "</td>";
}
} // namespace

PrintHelper::PrintHelper(QObject* parent) : QObject(parent) {}

void PrintHelper::preview(const MBillList& bills)
{
    this->bills = bills;
    QPrinter printer(QPrinter::HighResolution);
    QPrintPreviewDialog dialog(&printer);
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this, &PrintHelper::printPreview);
    PrintPreview::fit(&dialog);
    dialog.exec();
    this->bills.clear();
}

void PrintHelper::print(const MBillList& bills)
{
    const QString html = toHtml(bills);
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer);
    if (dialog.exec() != QDialog::Accepted)
        return;
    QTextDocument document;
    document.setHtml(html);
    document.print(&printer);
}

void PrintHelper::printPreview(QPrinter* printer)
{
    printBills(bills, printer);
}

void PrintHelper::printBills(const MBillList& bills, QPrinter* printer)
{
    QTextDocument document;
    document.setHtml(toHtml(bills));
    document.print(printer);
}

QString PrintHelper::toHtml(const MBillList& bills)
{
    QString html = "<!doctype html><html><head><style type=\"text/css\">   body,td,th,table {  font-size: 10pt;} "
                   "</style></head><body>"
                   "<table width=\"100%\" border=\"1\" cellspacing=0 cellpadding=2  style=\"border-color:#000\" >"
                   "<tr style=\"background-color:#F5F5F5\">" +
                   cell(tr("用途")) + cell(tr("金额")) + cell(tr("账户")) + cell(tr("说明")) + "</tr>";
    QDate date;
    for (const MBillPtr& bill : bills) {
        if (bill->getDate() != date) {
            date = bill->getDate();
            html += "<tr><td colspan=\"4\">" + date.toString("yyyy-MM-dd") + "</td></tr>";
        }
        html += "<tr>" + cell(getPurpose(*bill)) + cell(BillHtml::kindLabel(*bill) + " " + BillHtml::amount(*bill)) +
                cell(getAccountName(*bill)) + cell(getRemark(*bill)) + "</tr>";
    }
    html += "</table></body></html>";
    qCDebug(lcAnalysis) << "print document:" << bills.size() << "bills," << html.size() << "characters";
    return html;
}

QString PrintHelper::getPurpose(const MBill& bill)
{
    const QString kind = bill.getKind();
    if (kind == "expense" || kind == "income")
        return nameOf(bill.getCategory()) + " - " + nameOf(bill.getSubCategory());
    if (kind == "transfer")
        return nameOf(bill.getToAccount());
    return nameOf(bill.getBorrower());
}

QString PrintHelper::getAccountName(const MBill& bill)
{
    return nameOf(bill.getAccount());
}

QString PrintHelper::getRemark(const MBill& bill)
{
    return BillHtml::escaped(bill.getTitle().isEmpty() ? bill.getDescription() : bill.getTitle());
}
