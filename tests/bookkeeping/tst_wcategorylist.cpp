#include "bookkeeping/wcategorylist.h"
#include "bookrows.h"
#include "messageboxrecorder.h"
#include "recordtest.h"

#include <QPushButton>
#include <QTabWidget>
#include <QTreeView>
#include <QtTest>

namespace {
// Expense categories X, Y, Z; X has the sub-categories P and Q. Income category I has the sub-category J.
void seed()
{
    int sort = 0;
    for (const QString id : {"X", "Y", "Z", "I"})
        BookRows::exec("insert into tbl_category (id, name, kind, sort) values (?, ?, ?, ?)",
                       {id, id, id == "I" ? "income" : "expense", ++sort});
    for (const QString id : {"P", "Q", "J"})
        BookRows::exec("insert into tbl_sub_category (id, category_id, name, kind, sort) values (?, ?, ?, ?, ?)",
                       {id, id == "J" ? "I" : "X", id, id == "J" ? "income" : "expense", ++sort});
}

// A tree item by its top-level row and, for a sub-category, its row below that (-1 for the category).
QModelIndex item(QTreeView* tree, int top, int child)
{
    const QModelIndex category = tree->model()->index(top, 0);
    return child < 0 ? category : tree->model()->index(child, 0, category);
}

QStringList names(const QAbstractItemModel* model, const QModelIndex& parent)
{
    QStringList list;
    for (int row = 0; row < model->rowCount(parent); ++row)
        list << model->index(row, 0, parent).data().toString();
    return list;
}

// The category names of the book by kind, then the sub-category names by category, in their stored order.
QString storedTree()
{
    return BookRows::value("select group_concat(name, ',') from (select name from tbl_category order by kind, sort) ")
               .toString() +
           "/" +
           BookRows::value(
               "select group_concat(name, ',') from (select name from tbl_sub_category order by category_id, sort)")
               .toString();
}
} // namespace

class TestWCategoryList : public RecordTest
{
    Q_OBJECT

private slots:
    void init()
    {
        RecordTest::init();
        seed();
    }

    void move_data()
    {
        QTest::addColumn<int>("tab");
        QTest::addColumn<int>("top");
        QTest::addColumn<int>("child");
        QTest::addColumn<int>("step");
        QTest::addColumn<QStringList>("siblings");
        QTest::addColumn<QString>("stored");
        QTest::newRow("category down") << 0 << 1 << -1 << 1 << QStringList{"X", "Z", "Y"} << "X,Z,Y,I/J,P,Q";
        QTest::newRow("sub-category up") << 0 << 0 << 1 << -1 << QStringList{"Q", "P"} << "X,Y,Z,I/J,Q,P";
        QTest::newRow("first sub-category up stays") << 0 << 0 << 0 << -1 << QStringList{"P", "Q"} << "X,Y,Z,I/J,P,Q";
        QTest::newRow("last category down stays") << 0 << 2 << -1 << 1 << QStringList{"X", "Y", "Z"} << "X,Y,Z,I/J,P,Q";
        QTest::newRow("only income category stays") << 1 << 0 << -1 << -1 << QStringList{"I"} << "X,Y,Z,I/J,P,Q";
    }
    void move()
    {
        QFETCH(int, tab);
        QFETCH(int, top);
        QFETCH(int, child);
        QFETCH(int, step);
        QFETCH(QStringList, siblings);
        QFETCH(QString, stored);
        WCategoryList page;
        page.show();
        page.findChild<QTabWidget*>("twCategoryList")->setCurrentIndex(tab);
        QTreeView* tree = page.findChild<QTreeView*>(tab == 0 ? "tvExpenseList" : "tvIncomeList");
        const QString moved = item(tree, top, child).data().toString();
        tree->setCurrentIndex(item(tree, top, child));

        page.findChild<QPushButton*>(step < 0 ? "pbMovePrevious" : "pbMoveNext")->click();
        const QModelIndex parent = child < 0 ? QModelIndex() : item(tree, top, -1);
        QCOMPARE(names(tree->model(), parent), siblings);
        QCOMPARE(storedTree(), stored);
        if (moved != siblings.value(child < 0 ? top : child)) {
            QCOMPARE(tree->currentIndex().data().toString(), moved);
            QVERIFY(tree->selectionModel()->isSelected(tree->currentIndex()));
            const int now = siblings.indexOf(moved);
            QCOMPARE(page.findChild<QPushButton*>("pbMovePrevious")->isEnabled(), now != 0);
            QCOMPARE(page.findChild<QPushButton*>("pbMoveNext")->isEnabled(), now != siblings.size() - 1);
        }
    }

    void remove_data()
    {
        QTest::addColumn<QList<QPoint>>("selected"); // (top, child) rows of the expense tree
        QTest::addColumn<QStringList>("refusals");
        QTest::addColumn<QString>("stored");
        const QString hasSubs = "当前大分类下存在小分类，请先删除小分类。";
        const QString used = "已经有账目使用了这个分类，您不能删除此分类。";
        using Items = QList<QPoint>;
        // clang-format off
        QTest::newRow("category with sub-categories") << Items{{0, -1}} << QStringList{hasSubs} << "X,Y,Z,I/J,P,Q";
        QTest::newRow("category named by a bill") << Items{{1, -1}} << QStringList{used} << "X,Y,Z,I/J,P,Q";
        QTest::newRow("unused category") << Items{{2, -1}} << QStringList{} << "X,Y,I/J,P,Q";
        QTest::newRow("a used and an unused sub-category") << Items{{0, 0}, {0, 1}} << QStringList{used} << "X,Y,Z,I/J,P";
        // clang-format on
    }
    void remove()
    {
        QFETCH(QList<QPoint>, selected);
        QFETCH(QStringList, refusals);
        QFETCH(QString, stored);
        BookRows::addBill("expense", -1, {{"category_id", "Y"}});
        BookRows::addBill("expense", -1, {{"category_id", "X"}, {"sub_category_id", "P"}});
        WCategoryList page;
        page.show();
        QTreeView* tree = page.findChild<QTreeView*>("tvExpenseList");
        for (const QPoint& rows : selected)
            tree->selectionModel()->select(item(tree, rows.x(), rows.y()),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
        MessageBoxRecorder boxes;

        page.findChild<QPushButton*>("pbRemove")->click();
        QStringList texts;
        for (const auto& box : boxes.boxes())
            texts << box.second;
        QCOMPARE(texts, refusals);
        QCOMPARE(storedTree(), stored);
    }
};

QTEST_MAIN(TestWCategoryList)
#include "tst_wcategorylist.moc"
