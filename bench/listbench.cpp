#include "listbench.h"

#include "billbench.h"
#include "bookkeeping/filterbox.h"
#include "bookkeeping/wbilllist.h"
#include "data/mbill.h"
#include "shell/ustatusbar.h"

#include <QComboBox>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QTextStream>

namespace {
struct Step
{
    QString label;
    // The filter box, or "leSeacrh" for the search box.
    QString box;
    QVariant data;
};

QString sumsQuery(const QString& condition)
{
    return "select kind, total(amount) from tbl_bill where " + condition + " group by kind ";
}

// The data of the first record in a filter box (the first item stands for "all").
QVariant firstRecord(WBillList& page, const char* box)
{
    return page.findChild<QComboBox*>(box)->itemData(1);
}

// The first sub-category of the first expense category in the category box's tree.
QVariant firstSubCategory(WBillList& page)
{
    const QAbstractItemModel* tree = page.findChild<QComboBox*>("cbCategoryList")->model();
    const QModelIndex expense = tree->index(1, 0);
    return tree->index(0, 0, tree->index(0, 0, expense)).data(Qt::UserRole);
}

// Puts the step's choice into its box as the user would leave it, without running the page's handler.
void choose(WBillList& page, const Step& step)
{
    if (step.box == "leSeacrh") {
        auto* search = page.findChild<QLineEdit*>("leSeacrh");
        const QSignalBlocker blocker(search);
        search->setText(step.data.toString());
        return;
    }
    FilterBox::show(page.findChild<QComboBox*>(step.box), step.data);
}

// Runs the page's handler of the step's box, as the box's signal does.
void handle(WBillList& page, const Step& step)
{
    if (step.box == "leSeacrh") {
        QMetaObject::invokeMethod(&page, "on_pbSearch_clicked");
        return;
    }
    const int index = page.findChild<QComboBox*>(step.box)->currentIndex();
    QMetaObject::invokeMethod(&page, qPrintable("on_" + step.box + "_currentIndexChanged"), Q_ARG(int, index));
}
} // namespace

ListBench::ListBench(const BillBench& timing) : m_timing(timing) {}

void ListBench::run()
{
    WBillList page;
    UStatusBar bar;
    const QList<Step> steps{
        {"kind: expense", "cbKindList", "expense"},
        {"kind: all again", "cbKindList", ""},
        {"one month", "cbMonthList", 202006},
        {"month: all again", "cbMonthList", 0},
        {"first account", "cbAccountList", firstRecord(page, "cbAccountList")},
        {"first sub-category", "cbCategoryList", firstSubCategory(page)},
        {"first member", "cbMemberList", firstRecord(page, "cbMemberList")},
        {"search \"午饭\" with the member", "leSeacrh", "午饭"},
    };
    QTextStream(stdout) << "\nbill list filter changes, each beside the bare SQL of its rows and sums\n";
    for (const Step& step : steps) {
        choose(page, step);
        // A forgotten cache makes every repeat query again, as a new condition does.
        const double change = m_timing.timeMs([&] {
            MBill::resetCache();
            handle(page, step);
        });
        const QString condition = page.getCondition();
        int rows = 0;
        const double bareRows = m_timing.timeMs([&] { rows = BillBench::bareFetch(MBill::listQuery(condition)); });
        const double bareSums = m_timing.timeMs([&] { BillBench::bareFetch(sumsQuery(condition)); });
        const double sums = m_timing.timeMs([&] { UStatusBar::getSummary(condition); });
        m_timing.report(QString("filter change to %1, %2 rows").arg(step.label).arg(rows), change, bareRows + bareSums);
        m_timing.report("  status bar sums of those rows", sums, bareSums);
    }
}
