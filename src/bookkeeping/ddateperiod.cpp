#include "bookkeeping/ddateperiod.h"

#include "ui_ddateperiod.h"

#include "widgets/dmessagebox.h"

DDatePeriod::DDatePeriod(QWidget* parent) : DBaseDialog(parent), ui(new Ui::DDatePeriod)
{
    ui->setupUi(this);
    ui->wgtTitle->setTitle(tr("日期区间"));
    ui->deFromDate->setDate(QDate::currentDate());
    ui->deToDate->setDate(QDate::currentDate());
}

DDatePeriod::~DDatePeriod()
{
    delete ui;
}

QString DDatePeriod::getCondition() const
{
    return condition;
}

void DDatePeriod::on_pbOk_clicked()
{
    const QDate from = ui->deFromDate->date();
    const QDate to = ui->deToDate->date();
    if (from > to) {
        DMessageBox::information(this, tr("日期错误"), tr("开始日期不能大于结束日期"));
        return;
    }
    // The dates come from date edits, never from typed text, so they can stand in the statement as they are.
    // Bill queries are cached by their exact text, blanks included.
    condition = " datetime(date) >= datetime('" + from.toString("yyyy-MM-dd") + "') and datetime(date) <= datetime( '" +
                to.toString("yyyy-MM-dd") + "')";
    accept();
}

void DDatePeriod::on_pbCancel_clicked()
{
    reject();
}
