#include "bookrows.h"
#include "data/filesetting.h"
#include "data/mbill.h"
#include "shell/mainwindow.h"
#include "testbook.h"
#include "widgets/stylesheet.h"

#include <QHeaderView>
#include <QPushButton>
#include <QStyleOptionViewItem>
#include <QTableView>
#include <QTreeView>
#include <QtTest>

namespace {
// The texts the view cuts with "…": the style does so to a text wider than its item's room less a margin each side.
QStringList cutTexts(QAbstractItemView* view, const QModelIndex& parent = {})
{
    QStringList cut;
    const QAbstractItemModel* model = view->model();
    for (int row = 0; row < model->rowCount(parent); ++row) {
        cut << cutTexts(view, model->index(row, 0, parent));
        for (int column = 0; column < model->columnCount(parent); ++column) {
            QStyleOptionViewItem option;
            option.initFrom(view);
            option.rect = view->visualRect(model->index(row, column, parent));
            option.text = model->index(row, column, parent).data().toString();
            option.features = QStyleOptionViewItem::HasDisplay;
            option.showDecorationSelected = true; // the item's whole room, not the part its text takes
            const QRect room = view->style()->subElementRect(QStyle::SE_ItemViewItemText, &option, view);
            const int margin = view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, &option, view) + 1;
            if (option.fontMetrics.horizontalAdvance(option.text) > room.width() - 2 * margin)
                cut << option.text;
        }
    }
    return cut;
}

// Bills of today on the new book's master data, with seven-digit figures in every column of every page, totals too,
// and an account named as banks name theirs.
void addSevenDigitBills()
{
    BookRows::exec("update tbl_account set name = '工商银行储蓄卡' where id = '02'");
    const QString today = QDate::currentDate().toString("yyyy-MM-dd");
    BookRows::addBillOn(today, "expense", -9876543.21,
                        {{"category_id", "01"}, {"sub_category_id", "01"}, {"account_id", "01"}, {"member_id", "01"}});
    BookRows::addBillOn(today, "income", 1234567.89,
                        {{"category_id", "11"}, {"account_id", "02"}, {"member_id", "02"}});
    BookRows::addBillOn(today, "transfer", -2345678.12, {{"account_id", "01"}, {"to_account_id", "02"}});
    BookRows::addBillOn(today, "lend", -3456789.01, {{"account_id", "02"}, {"borrower_id", "01"}});
    BookRows::addBillOn(today, "borrow", 4567890.12, {{"account_id", "01"}, {"borrower_id", "01"}});
    BookRows::addBillOn(today, "refund", 5678901.23, {{"account_id", "01"}, {"borrower_id", "01"}});
    BookRows::addBillOn(today, "repay", -6789012.34, {{"account_id", "02"}, {"borrower_id", "01"}});
    MBill::dataChanged();
}
} // namespace

class TestAnalysisColumns : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qApp->setStyleSheet(StyleSheet::load()); }

    void figuresShowWhole_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QList<int>>("stored");
        QTest::addColumn<QSize>("resized");
        for (const char* page :
             {"CategoryAnalysis", "AccountAnalysis", "MemberAnalysis", "BorrowerAnalysis", "BillStat"})
            QTest::newRow(page) << page << QList<int>() << QSize();
        QTest::newRow("AccountAnalysis, then widened") << "AccountAnalysis" << QList<int>() << QSize(1366, 768);
        QTest::newRow("AccountAnalysis, narrow widths stored") << "AccountAnalysis" << QList<int>(11, 50) << QSize();
        QTest::newRow("CategoryAnalysis, a wide name stored")
            << "CategoryAnalysis" << QList<int>{320, 50, 50, 50, 50} << QSize();
    }

    // At the window's default size every text of the page's table shows whole. Without widths of the user's the
    // columns fill the table's width, also once the window grows; what the user set stays where it cuts nothing.
    void figuresShowWhole()
    {
        QFETCH(QString, page);
        QFETCH(QList<int>, stored);
        QFETCH(QSize, resized);
        TestBook home;
        FileSetting::getInstance()->setValue("Backup/BackupWhenStartup", false);
        FileSetting::getInstance()->setValue("Common/EnableAutoUpdate", false);
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
        QVERIFY(view->isVisible() && view->model()->rowCount() > 1);
        const QStringList cut = cutTexts(view);
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(" | ")));
        auto* table = qobject_cast<QTableView*>(view);
        const QHeaderView* header = table ? table->horizontalHeader() : qobject_cast<QTreeView*>(view)->header();
        if (stored.isEmpty()) {
            QCOMPARE(header->length(), view->viewport()->width());
            // The program's own widths are not taken for the user's.
            QVERIFY(FileSetting::getInstance()->getColumnWidths(page).isEmpty());
        } else if (stored.first() > 50) {
            QCOMPARE(header->sectionSize(0), stored.first());
        }
    }
};

QTEST_MAIN(TestAnalysisColumns)
#include "tst_analysiscolumns.moc"
