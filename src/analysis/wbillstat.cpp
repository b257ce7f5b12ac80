#include "analysis/wbillstat.h"

#include "analysis/reporthelper.h"
#include "analysis/reporttemplate.h"
#include "ui_wbillstat.h"

WBillStat::WBillStat(QWidget* parent) : WAnalysisPage(parent), ui(new Ui::WBillStat)
{
    ui->setupUi(this);
    Frame frame = frameOf(ui);
    setUpTable(ui->twBillStat, {tr("日期"), tr("支出"), tr("收入"), tr("合计")}, frame);
    frame.widthKey = "BillStat";
    frame.offersAllYears = false;
    frame.firstCentredColumn = 0;
    setUpFrame(frame);
}

WBillStat::~WBillStat()
{
    delete ui;
}

WAnalysisPage::Titles WBillStat::titles() const
{
    return {QString(), tr("<b>%1</b>年账目汇总"), tr("<b>%1</b>年<b>%2</b>月账目汇总"), false};
}

void WBillStat::load(const QString& period, int value)
{
    ReportHelper helper;
    m_records.reset(period == "month" ? helper.statMonth(value) : helper.statYear(value));
}

QList<QStringList> WBillStat::tableRows() const
{
    QList<QStringList> rows;
    for (const MPeriodStat* r : m_records.all())
        rows << QStringList{r->label, ReportTemplate::amount(r->expense), ReportTemplate::amount(r->income),
                            ReportTemplate::amount(r->balance)};
    return rows;
}

QString WBillStat::chartHtml(const QString& title) const
{
    QStringList labels;
    QList<double> expenses;
    QList<double> incomes;
    const QList<MPeriodStat*>& records = m_records.all();
    for (int i = 0; i + 1 < records.size(); ++i) {
        labels << records.at(i)->label.right(2);
        expenses << records.at(i)->expense;
        incomes << records.at(i)->income;
    }
    return ReportTemplate::column(title, labels, expenses, incomes);
}

QString WBillStat::reportHtml(const QString& title) const
{
    QList<QStringList> rows;
    for (const QStringList& row : tableRows())
        rows << ReportTemplate::htmlRow(row);
    const MPeriodStat* total = m_records.total();
    return ReportTemplate::report(":/rc/report/stat.html", title,
                                  summary(total->expense, total->income, total->balance), rows);
}
