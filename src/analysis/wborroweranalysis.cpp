#include "analysis/wborroweranalysis.h"

#include "analysis/reporthelper.h"
#include "analysis/reporttemplate.h"
#include "data/constants.h"
#include "data/metadata.h"
#include "ui_wborroweranalysis.h"

WBorrowerAnalysis::WBorrowerAnalysis(QWidget* parent) : WAnalysisPage(parent), ui(new Ui::WBorrowerAnalysis)
{
    ui->setupUi(this);
    Frame frame = kindFrameOf(ui, {tr("名称"), tr("借入"), tr("借出"), tr("还款"), tr("收款"), tr("合计")});
    frame.widthKey = "BorrowerAnalysis";
    {
        const QSignalBlocker block(ui->cbKind);
        for (const auto& pair : Constants::getInstance()->getLoanKinds()->getList())
            ui->cbKind->addItem(pair.first, pair.second);
    }
    setUpFrame(frame);
}

WBorrowerAnalysis::~WBorrowerAnalysis()
{
    delete ui;
}

WAnalysisPage::Titles WBorrowerAnalysis::titles() const
{
    return {tr("借款人<b>%1</b>分析"), tr("<b>%1</b>年借款人<b>%2</b>分析"),
            tr("<b>%1</b>年<b>%2</b>月借款人<b>%3</b>分析")};
}

void WBorrowerAnalysis::load(const QString& period, int value)
{
    m_records.reset(ReportHelper().borrowerAnalysis(period, value));
}

QList<QStringList> WBorrowerAnalysis::tableRows() const
{
    QList<QStringList> rows;
    for (const MBorrowerStat* r : m_records.all()) {
        QStringList row{r->name};
        for (double figure : {r->borrow, r->lend, r->repay, r->refund, r->total})
            row << ReportTemplate::amount(figure);
        rows << row;
    }
    return rows;
}

QString WBorrowerAnalysis::chartHtml(const QString& title) const
{
    const QString code = ui->cbKind->currentData().toString();
    const auto field = code == "borrow"   ? &MBorrowerStat::borrow
                       : code == "lend"   ? &MBorrowerStat::lend
                       : code == "refund" ? &MBorrowerStat::refund
                                          : &MBorrowerStat::repay;
    return ReportTemplate::pie(title, m_records.slices(field));
}

QString WBorrowerAnalysis::reportHtml(const QString& title) const
{
    QList<QStringList> rows;
    for (const QStringList& row : tableRows())
        rows << ReportTemplate::htmlRow(row);
    return ReportTemplate::report(":/rc/report/borrower.html", title, QString(), rows);
}
