#include "bookrows.h"
#include "data/filesetting.h"
#include "data/mbill.h"
#include "shell/mainwindow.h"
#include "testbook.h"
#include "widgets/stylesheet.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDate>
#include <QHeaderView>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTreeView>
#include <QtTest>

namespace {
// Fills an item's style option as a view's delegate does before it paints the item.
class OptionProbe : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::initStyleOption;
};

// Whether the view paints the item's text whole: the style draws a text in the room the item leaves it less a
// margin on either side, and cuts it with "…" where it needs more.
bool shownWhole(QAbstractItemView* view, const QModelIndex& index)
{
    QStyleOptionViewItem option;
    option.initFrom(view);
    option.font = view->font();
    option.rect = view->visualRect(index);
    // Asks the style for all of the item's room rather than the part the text takes.
    option.showDecorationSelected = true;
    OptionProbe().initStyleOption(&option, index);
    const QStyle* style = view->style();
    const QRect text = style->subElementRect(QStyle::SE_ItemViewItemText, &option, view);
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, &option, view) + 1;
    return option.fontMetrics.horizontalAdvance(option.text) <= text.width() - 2 * margin;
}

// The texts of the items under the parent, and of theirs, that the view cuts.
QStringList cutTexts(QAbstractItemView* view, const QModelIndex& parent = QModelIndex())
{
    QStringList cut;
    const QAbstractItemModel* model = view->model();
    for (int row = 0; row < model->rowCount(parent); ++row) {
        for (int column = 0; column < model->columnCount(parent); ++column) {
            const QModelIndex index = model->index(row, column, parent);
            if (!shownWhole(view, index))
                cut << index.data().toString();
        }
        cut << cutTexts(view, model->index(row, 0, parent));
    }
    return cut;
}

QHeaderView* columnHeader(QAbstractItemView* view)
{
    if (auto* table = qobject_cast<QTableView*>(view))
        return table->horizontalHeader();
    return qobject_cast<QTreeView*>(view)->header();
}

// Bills of today with seven-digit figures in every column of every analysis table, totals included, on
// accounts, categories, members and a borrower with names of a usual length.
void addSevenDigitBills()
{
    BookRows::exec("insert into tbl_account (id, name, kind, amount) values "
                   "('A1', '我的钱包', 'cash', 0), ('A2', '工商银行储蓄卡', 'card', 0), "
                   "('A3', '招商银行信用卡', 'credit', 0), ('A4', '支付宝余额', 'other', 0)");
    BookRows::exec("insert into tbl_category (id, name, kind) values ('X1', '餐饮食品', 'expense'), "
                   "('X2', '工资奖金', 'income')");
    BookRows::exec("insert into tbl_sub_category (id, category_id, name, kind) values "
                   "('XS1', 'X1', '早中晚餐', 'expense'), ('XS2', 'X2', '年终奖金', 'income')");
    BookRows::exec("insert into tbl_member (id, name) values ('M1', '爸爸'), ('M2', '妈妈')");
    BookRows::exec("insert into tbl_borrower (id, name) values ('P1', '老王')");
    const QString today = QDate::currentDate().toString("yyyy-MM-dd");
    BookRows::addBillOn(today, "expense", -9876543.21,
                        {{"category_id", "X1"}, {"sub_category_id", "XS1"}, {"account_id", "A1"}, {"member_id", "M1"}});
    BookRows::addBillOn(today, "income", 1234567.89,
                        {{"category_id", "X2"}, {"sub_category_id", "XS2"}, {"account_id", "A2"}, {"member_id", "M2"}});
    BookRows::addBillOn(today, "transfer", -2345678.12, {{"account_id", "A3"}, {"to_account_id", "A2"}});
    BookRows::addBillOn(today, "lend", -3456789.01, {{"account_id", "A3"}, {"borrower_id", "P1"}});
    BookRows::addBillOn(today, "borrow", 4567890.12, {{"account_id", "A4"}, {"borrower_id", "P1"}});
    BookRows::addBillOn(today, "refund", 5678901.23, {{"account_id", "A4"}, {"borrower_id", "P1"}});
    BookRows::addBillOn(today, "repay", -6789012.34, {{"account_id", "A4"}, {"borrower_id", "P1"}});
    MBill::dataChanged();
}
} // namespace

class TestAnalysisColumns : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qApp->setStyleSheet(StyleSheet::load()); }

    void init()
    {
        m_home = std::make_unique<TestBook>();
        FileSetting::getInstance()->setValue("Backup/BackupWhenStartup", false);
        FileSetting::getInstance()->setValue("Common/EnableAutoUpdate", false);
    }

    void cleanup() { m_home.reset(); }

    void figuresShowWhole_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QList<int>>("stored");
        QTest::addColumn<QSize>("resized");
        const QSize unchanged;
        for (const char* page :
             {"CategoryAnalysis", "AccountAnalysis", "MemberAnalysis", "BorrowerAnalysis", "BillStat"})
            QTest::newRow(page) << page << QList<int>() << unchanged;
        QTest::newRow("AccountAnalysis, then widened") << "AccountAnalysis" << QList<int>() << QSize(1366, 768);
        // Widths a user dragged narrower than the figures, as the page stores them.
        QTest::newRow("AccountAnalysis, narrow widths stored") << "AccountAnalysis" << QList<int>(11, 50) << unchanged;
        QTest::newRow("BillStat, narrow widths stored") << "BillStat" << QList<int>(4, 50) << unchanged;
        // A name column the user dragged wider than its names.
        QTest::newRow("CategoryAnalysis, a wide name stored")
            << "CategoryAnalysis" << QList<int>{320, 50, 50, 50, 50} << unchanged;
        QTest::newRow("MemberAnalysis, a wide name stored") << "MemberAnalysis" << QList<int>{300} << unchanged;
    }

    // At the window's default size every figure, name and label of the page's table shows whole; without widths
    // of the user's the columns fill the table's width exactly, also when the window grows, and what the user set
    // stays where it cuts nothing.
    void figuresShowWhole()
    {
        QFETCH(QString, page);
        QFETCH(QList<int>, stored);
        QFETCH(QSize, resized);
        FileSetting::getInstance()->setColumnWidths(page, stored);
        MainWindow window;
        window.setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX); // the test screen is smaller than the window
        window.resize(1024, 700);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        addSevenDigitBills();
        window.findChild<QPushButton*>("pb" + page)->click();
        if (resized.isValid())
            window.resize(resized);

        auto* view = window.findChild<QWidget*>("wgt" + page)
                         ->findChild<QAbstractItemView*>(page == "BillStat" ? "twBillStat" : "tableWidget");
        QVERIFY(view->isVisible());
        QVERIFY(view->model()->rowCount() > 1);
        const QStringList cut = cutTexts(view);
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(" | ")));
        const QHeaderView* header = columnHeader(view);
        if (stored.isEmpty()) {
            QCOMPARE(header->length(), view->viewport()->width());
            // The program's own widths are not taken for the user's.
            QVERIFY(FileSetting::getInstance()->getColumnWidths(page).isEmpty());
        } else if (stored.first() > 50) {
            QCOMPARE(header->sectionSize(0), stored.first());
        }
    }

private:
    std::unique_ptr<TestBook> m_home;
};

QTEST_MAIN(TestAnalysisColumns)
#include "tst_analysiscolumns.moc"
