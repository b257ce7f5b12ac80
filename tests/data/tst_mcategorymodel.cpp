#include "bookrows.h"
#include "data/mcategorymodel.h"
#include "recordtest.h"

#include <QTreeView>
#include <QtTest>

class TestMCategoryModel : public RecordTest
{
    Q_OBJECT

private slots:
    void init()
    {
        RecordTest::init();
        BookRows::exec("insert into tbl_category (id, name, kind, description, sort) values "
                       "('food', '餐饮', 'expense', 'meals', 1), ('rent', '住房', 'expense', '', 2), "
                       "('pay', '工资', 'income', '', 1)");
        BookRows::exec("insert into tbl_sub_category (id, category_id, name, kind, sort) values "
                       "('lunch', 'food', '午餐', 'expense', 1), ('tips', 'food', '小费', 'income', 2)");
    }

    void tree()
    {
        MCategoryModel model("expense");
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.columnCount(), 3);
        const QModelIndex food = model.index(0, 0);
        const QModelIndex rent = model.index(1, 0);
        QCOMPARE(model.getCategory(1)->getId(), QString("rent"));
        QCOMPARE(model.data(food).toString(), QString("餐饮"));
        QCOMPARE(model.data(model.index(0, 2)).toString(), QString("meals"));
        QCOMPARE(model.rowCount(food), 2);
        QCOMPARE(model.rowCount(rent), 0);
        QCOMPARE(model.rowCount(model.index(0, 1)), 0);
        QVERIFY(!model.parent(food).isValid());

        const QModelIndex tips = model.index(1, 0, food);
        QCOMPARE(model.data(tips).toString(), QString("小费"));
        // A sub-category shows its own kind, which may differ from its category's.
        QCOMPARE(model.data(model.index(1, 1, food)).toString(), QString("收入"));
        QCOMPARE(model.data(model.index(0, 1)).toString(), QString("支出"));
        QCOMPARE(model.parent(tips), food);
        QCOMPARE(model.parent(model.index(1, 2, food)), food);
        QCOMPARE(model.sibling(0, 2, tips), model.index(0, 2, food));
    }

    void iconOnlyWithChildren()
    {
        MCategoryModel model("expense");
        const QModelIndex food = model.index(0, 0);
        QVERIFY(model.data(food, Qt::DecorationRole).value<QIcon>().availableSizes().size() > 0);
        QVERIFY(!model.data(model.index(1, 0), Qt::DecorationRole).isValid());
        QVERIFY(!model.data(model.index(0, 0, food), Qt::DecorationRole).isValid());
        QVERIFY(!model.data(model.index(0, 1), Qt::DecorationRole).isValid());
        QVERIFY(!model.data(food, Qt::ToolTipRole).isValid());
    }

    void kindsAndHeaders_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("rows");
        QTest::newRow("income") << "income" << 1;
        QTest::newRow("any other kind shows all") << "" << 3;
    }

    void kindsAndHeaders()
    {
        QFETCH(QString, kind);
        QFETCH(int, rows);
        MCategoryModel model(kind);
        QCOMPARE(model.rowCount(), rows);
        QVERIFY(!model.getCategory(rows));
        QVERIFY(!model.getCategory(-1));
        QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QString("分类名称"));
        QCOMPARE(model.headerData(2, Qt::Horizontal).toString(), QString("分类说明"));
        QCOMPARE(model.headerData(0, Qt::Vertical).toInt(), 1);
    }

    void emptyKind()
    {
        BookRows::exec("delete from tbl_category where kind='income'");
        BookRows::dropCaches();
        MCategoryModel model("income");
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QString("分类类型"));
    }

    // The list page builds new models over the same cached records; an older one must still answer.
    void laterModelOverSameRecords()
    {
        MCategoryModel first("expense");
        MCategoryModel second("expense");
        MCategoryModel all("");
        const QModelIndex food = first.index(0, 0);
        const QModelIndex lunch = first.index(0, 0, food);
        QVERIFY(!first.parent(food).isValid());
        QCOMPARE(first.parent(lunch), food);
        QCOMPARE(all.parent(all.index(0, 0, all.index(0, 0))), all.index(0, 0));
    }

    void expandsInATreeView()
    {
        MCategoryModel model("expense");
        QTreeView view;
        view.setModel(&model);
        view.resize(400, 300);
        view.show();
        view.expandAll();
        QVERIFY(QTest::qWaitForWindowExposed(&view));

        const QModelIndex food = model.index(0, 0);
        // Asked as the view asks it, through the item-model interface.
        const QAbstractItemModel& asItemModel = model;
        QVERIFY(asItemModel.hasChildren(food));
        QVERIFY(view.isExpanded(food));
        const QModelIndex lunch = model.index(0, 0, food);
        QCOMPARE(view.indexBelow(food), lunch);
        QCOMPARE(view.indexBelow(model.index(1, 0, food)), model.index(1, 0));
        QVERIFY(view.visualRect(lunch).isValid());

        view.setCurrentIndex(model.index(1, 2, food));
        QCOMPARE(view.currentIndex().parent(), food);
    }
};

QTEST_MAIN(TestMCategoryModel)
#include "tst_mcategorymodel.moc"
