#include "analysis/wmemberanalysis.h"

#include "analysis/reporthelper.h"
#include "analysis/reporttemplate.h"
#include "data/constants.h"
#include "data/metadata.h"
#include "ui_wmemberanalysis.h"

using T = ReportTemplate;

WMemberAnalysis::WMemberAnalysis(QWidget* parent) : WAnalysisPage(parent), ui(new Ui::WMemberAnalysis)
{
    ui->setupUi(this);
    Frame frame = kindFrameOf(
        ui, {tr("名称"), tr("支出"), tr("支出百分比"), tr("收入"), tr("收入百分比"), tr("合计"), tr("合计百分比")});
    frame.widthKey = "MemberAnalysis";
    {
        const QSignalBlocker block(ui->cbKind);
        for (const auto& pair : Constants::getInstance()->getCategoryKinds()->getList())
            ui->cbKind->addItem(pair.first, pair.second);
    }
    setUpFrame(frame);
}

WMemberAnalysis::~WMemberAnalysis()
{
    delete ui;
}

WAnalysisPage::Titles WMemberAnalysis::titles() const
{
    return {tr("成员<b>%1</b>分析"), tr("<b>%1</b>年成员<b>%2</b>分析"), tr("<b>%1</b>年<b>%2</b>月成员<b>%3</b>分析")};
}

void WMemberAnalysis::load(const QString& period, int value)
{
    m_records.reset(ReportHelper().memberAnalysis(period, value));
}

QList<QStringList> WMemberAnalysis::tableRows() const
{
    QList<QStringList> rows;
    for (const MMemberStat* r : m_records.all())
        rows << QStringList{r->name,
                            T::amount(r->expense),
                            T::percent(r->expensePercent),
                            T::amount(r->income),
                            T::percent(r->incomePercent),
                            T::amount(r->total),
                            T::percent(r->totalPercent)};
    return rows;
}

QString WMemberAnalysis::chartHtml(const QString& title) const
{
    const bool income = ui->cbKind->currentData().toString() == "income";
    return T::pie(title, m_records.slices(income ? &MMemberStat::income : &MMemberStat::expense));
}

QString WMemberAnalysis::reportHtml(const QString& title) const
{
    QList<QStringList> rows;
    for (const MMemberStat* r : m_records.all())
        rows << T::htmlRow({r->name, T::percent(r->expensePercent), T::amount(r->expense), T::percent(r->incomePercent),
                            T::amount(r->income), T::percent(r->totalPercent), T::amount(r->total)});
    const MMemberStat* total = m_records.total();
    return T::report(":/rc/report/member.html", title, summary(total->expense, total->income, total->total), rows);
}
