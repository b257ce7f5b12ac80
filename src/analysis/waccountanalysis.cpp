#include "analysis/waccountanalysis.h"

#include "analysis/reporthelper.h"
#include "analysis/reporttemplate.h"
#include "data/constants.h"
#include "data/metadata.h"
#include "ui_waccountanalysis.h"

#include <QHash>

WAccountAnalysis::WAccountAnalysis(QWidget* parent) : WAnalysisPage(parent), ui(new Ui::WAccountAnalysis)
{
    ui->setupUi(this);
    Frame frame = kindFrameOf(ui, {tr("名称"), tr("类型"), tr("支出"), tr("收入"), tr("转入"), tr("转出"), tr("借出"),
                                   tr("借入"), tr("收款"), tr("还款"), tr("合计")});
    frame.widthKey = "AccountAnalysis";
    {
        // A transfer is two figures of an account, so the pie offers the money in and the money out apiece.
        const QSignalBlocker block(ui->cbKind);
        for (const auto& pair : Constants::getInstance()->getBillKinds()->getList()) {
            if (pair.second == "transfer") {
                ui->cbKind->addItem(tr("转入"), "transferIn");
                ui->cbKind->addItem(tr("转出"), "transferOut");
            } else {
                ui->cbKind->addItem(pair.first, pair.second);
            }
        }
    }
    setUpFrame(frame);
}

WAccountAnalysis::~WAccountAnalysis()
{
    delete ui;
}

WAnalysisPage::Titles WAccountAnalysis::titles() const
{
    return {tr("账户<b>%1</b>分析"), tr("<b>%1</b>年账户<b>%2</b>分析"), tr("<b>%1</b>年<b>%2</b>月账户<b>%3</b>分析")};
}

QString WAccountAnalysis::chartKind() const
{
    return ui->cbKind->currentText() + tr("金额");
}

void WAccountAnalysis::load(const QString& period, int value)
{
    m_records.reset(ReportHelper().accountAnalysis(period, value));
}

QList<QStringList> WAccountAnalysis::tableRows() const
{
    MetaData* kinds = Constants::getInstance()->getAccountKinds();
    QList<QStringList> rows;
    for (const MAccountStat* r : m_records.all()) {
        QStringList row{r->name, kinds->getLabel(r->kind)};
        for (double figure :
             {r->expense, r->income, r->transferIn, r->transferOut, r->lend, r->borrow, r->refund, r->repay, r->total})
            row << ReportTemplate::amount(figure);
        rows << row;
    }
    return rows;
}

QString WAccountAnalysis::chartHtml(const QString& title) const
{
    static const QHash<QString, double MAccountStat::*> fields{{"income", &MAccountStat::income},
                                                               {"transferIn", &MAccountStat::transferIn},
                                                               {"transferOut", &MAccountStat::transferOut},
                                                               {"lend", &MAccountStat::lend},
                                                               {"borrow", &MAccountStat::borrow},
                                                               {"refund", &MAccountStat::refund},
                                                               {"repay", &MAccountStat::repay}};
    const auto field = fields.value(ui->cbKind->currentData().toString(), &MAccountStat::expense);
    return ReportTemplate::pie(title, m_records.slices(field));
}

QString WAccountAnalysis::reportHtml(const QString& title) const
{
    QList<QStringList> rows;
    for (const QStringList& row : tableRows())
        rows << ReportTemplate::htmlRow(row);
    const MAccountStat* total = m_records.total();
    return ReportTemplate::report(":/rc/report/account.html", title,
                                  summary(total->expense, total->income, total->total), rows);
}
