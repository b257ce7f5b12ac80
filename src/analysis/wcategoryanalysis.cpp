#include "analysis/wcategoryanalysis.h"

#include "analysis/reporthelper.h"
#include "analysis/reporttemplate.h"
#include "data/constants.h"
#include "data/metadata.h"
#include "data/witemdelegate.h"
#include "ui_wcategoryanalysis.h"

WCategoryAnalysis::WCategoryAnalysis(QWidget* parent)
    : WAnalysisPage(parent), ui(new Ui::WCategoryAnalysis), m_delegate(std::make_unique<WItemDelegate>())
{
    ui->setupUi(this);
    ui->tableWidget->setColumnCount(5);
    ui->tableWidget->setHeaderLabels({tr("名称"), tr("类型"), tr("合计"), tr("百分比"), tr("次数")});
    for (int column = 0; column < 5; ++column)
        ui->tableWidget->headerItem()->setTextAlignment(column, Qt::AlignHCenter);
    {
        const QSignalBlocker block(ui->cbKind);
        for (const auto& pair : Constants::getInstance()->getCategoryKinds()->getList())
            ui->cbKind->addItem(pair.first, pair.second);
    }
    Frame frame = frameOf(ui);
    frame.cbKind = ui->cbKind;
    frame.table = ui->tableWidget;
    frame.header = ui->tableWidget->header();
    frame.tableOnly = {ui->pbCollapseExpand};
    frame.widthKey = "CategoryAnalysis";
    setUpFrame(frame);
    ui->pbCollapseExpand->setProperty("style", "blue");
}

WCategoryAnalysis::~WCategoryAnalysis()
{
    delete ui;
}

WAnalysisPage::Titles WCategoryAnalysis::titles() const
{
    return {tr("<b>%1</b>分类分析"), tr("<b>%1</b>年<b>%2</b>分类分析"), tr("<b>%1</b>年<b>%2</b>月<b>%3</b>分类分析")};
}

void WCategoryAnalysis::load(const QString& period, int value)
{
    m_records.reset(ReportHelper().categoryAnalysis(kind, period, value));
}

QStringList WCategoryAnalysis::cells(const MCategoryStat* record, const QString& kindLabel) const
{
    return {record->name, kindLabel, QString::number(record->count), ReportTemplate::percent(record->percent),
            ReportTemplate::amount(record->total)};
}

void WCategoryAnalysis::showTable()
{
    QTreeWidget* tree = ui->tableWidget;
    tree->clear();
    const auto add = [](QTreeWidgetItem* item, const QStringList& cells) {
        // The table shows the total before the share and the count last.
        const QStringList texts{cells.at(0), cells.at(1), cells.at(4), cells.at(3), cells.at(2)};
        for (int column = 0; column < texts.size(); ++column) {
            item->setText(column, texts.at(column));
            if (column > 0)
                item->setTextAlignment(column, Qt::AlignHCenter);
        }
    };
    MetaData* kinds = Constants::getInstance()->getCategoryKinds();
    for (const MCategoryStat* record : m_records.all()) {
        auto* item = new QTreeWidgetItem(tree);
        add(item, cells(record, kinds->getLabel(record->kind)));
        for (const MCategoryStat* child : record->children)
            add(new QTreeWidgetItem(item), cells(child, kinds->getLabel(child->kind)));
        item->setExpanded(true);
    }
    tree->setItemDelegate(m_delegate.get());
}

QString WCategoryAnalysis::chartHtml(const QString& title) const
{
    return ReportTemplate::pie(title, m_records.slices(&MCategoryStat::total));
}

QString WCategoryAnalysis::reportHtml(const QString& title) const
{
    MetaData* kinds = Constants::getInstance()->getCategoryKinds();
    QList<QStringList> rows;
    for (const MCategoryStat* record : m_records.all()) {
        const QString label = kinds->getLabel(record->kind);
        rows << ReportTemplate::htmlRow(cells(record, label));
        for (const MCategoryStat* child : record->children) {
            // The indent is markup, so it goes in front of the name once the name is escaped.
            rows << ReportTemplate::htmlRow(cells(child, label));
            rows.last()[0].prepend("&nbsp;&nbsp;&nbsp;&nbsp;");
        }
    }
    return ReportTemplate::report(":/rc/report/category.html", title, QString(), rows);
}

void WCategoryAnalysis::kindChosen()
{
    kind = ui->cbKind->currentData().toString();
}

void WCategoryAnalysis::on_pbCollapseExpand_clicked()
{
    if (expanded) {
        ui->tableWidget->collapseAll();
        ui->pbCollapseExpand->setText(tr("展开"));
    } else {
        ui->tableWidget->expandAll();
        ui->pbCollapseExpand->setText(tr("折叠"));
    }
    expanded = !expanded;
}
