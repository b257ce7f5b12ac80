#include "analysis/exporthelper.h"

#include "analysis/billhtml.h"
#include "analysis/reportoutput.h"
#include "data/maccount.h"
#include "data/mborrower.h"
#include "data/mcategory.h"
#include "data/mmember.h"

#include <QFileInfo>

namespace {
// The kind columns, in the order of the header.
const char* const kindColumns[] = {"expense", "income", "transfer", "lend", "borrow", "refund", "repay"};

QString cell(const QString& text)
{
    return "<td>" + text + "</td>\n";
}

template <typename Record> QString nameOf(const Record* record)
{
    return record ? BillHtml::escaped(record->getName()) : QString();
}

QString row(const MBill& bill)
{
    const QString amount = BillHtml::amount(bill);
    QString row =
        "<tr>\n" + cell(bill.getDate().toString("yyyy-MM-dd")) + cell(BillHtml::kindLabel(bill)) + cell(amount);
    for (const char* kind : kindColumns)
        row += cell(bill.getKind() == QLatin1String(kind) ? amount : QString());
    row += cell(nameOf(bill.getAccount())) + cell(nameOf(bill.getCategory())) + cell(nameOf(bill.getSubCategory())) +
           cell(nameOf(bill.getToAccount())) + cell(nameOf(bill.getBorrower())) + cell(nameOf(bill.getMember())) +
           cell(BillHtml::escaped(bill.getTitle())) + cell(BillHtml::escaped(bill.getDescription()));
    return row + "</tr>\n";
}
} // namespace

bool ExportHelper::exportBills(const QString& fileName, const MBillList& bills)
{
    QString out = "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
                  "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">\n"
                  "<html xmlns=\"http://www.w3.org/1999/xhtml\">\n"
                  "<head>\n"
                  "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\" />\n"
                  "</head>\n"
                  "<body>\n"
                  "<table border=\"1\">\n"
                  "<tr>\n";
    for (const QString& header :
         {tr("<td>日期</td>"), tr("<td>类型</td>"), tr("<td>金额</td>"), tr("<td>支出</td>"), tr("<td>收入</td>"),
          tr("<td>转账</td>"), tr("<td>借出</td>"), tr("<td>借入</td>"), tr("<td>收款</td>"), tr("<td>还款</td>"),
          tr("<td>账户</td>"), tr("<td>大类别</td>"), tr("<td>小类别</td>"), tr("<td>转入账户</td>"),
          tr("<td>借款人</td>"), tr("<td>成员</td>"), tr("<td>标题</td>"), tr("<td>说明</td>")})
        out += header + "\n";
    out += "</tr>\n";
    for (const MBillPtr& bill : bills)
        out += row(*bill);
    out += "</table>\n</body>\n</html>\n";
    return ReportOutput::save(QFileInfo(fileName).suffix().isEmpty() ? fileName + ".xls" : fileName, out.toUtf8(),
                              nullptr);
}
