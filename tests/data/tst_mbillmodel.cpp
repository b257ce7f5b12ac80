#include "bookrows.h"
#include "data/filesetting.h"
#include "data/mbillmodel.h"
#include "recordtest.h"

#include <QAbstractItemModelTester>
#include <QFont>
#include <QIcon>
#include <QSignalSpy>
#include <QTreeView>
#include <QtTest>

namespace {
const QDate day(2014, 5, 17);

void addBillOn(const QDate& date, const QString& kind, double amount, const QVariantMap& fields = {})
{
    QVariantMap row{{"id", QUuid::createUuid().toString(QUuid::WithoutBraces)},
                    {"kind", kind},
                    {"amount", amount},
                    {"description", ""},
                    {"date", date},
                    {"month", date.year() * 100 + date.month()},
                    {"created_time", "2014-01-01 00:00:00"}};
    row.insert(fields);
    const QString marks = QStringList(QList<QString>(row.size(), "?")).join(',');
    BookRows::exec("insert into tbl_bill (" + row.keys().join(',') + ") values (" + marks + ")", row.values());
}

// One bill a day, the oldest on 2014-01-01.
void addDailyBills(int count)
{
    for (int i = 0; i < count; ++i)
        addBillOn(QDate(2014, 1, 1).addDays(i), "expense", -1);
}

void addMasterData()
{
    BookRows::exec("insert into tbl_account (id, name, kind, amount) values ('A', '现金', 'cash', 0)");
    BookRows::exec("insert into tbl_account (id, name, kind, amount) values ('B', '银行卡', 'bank', 0)");
    BookRows::exec("insert into tbl_category (id, name, kind) values ('C', '餐饮', 'expense')");
    BookRows::exec("insert into tbl_sub_category (id, category_id, name, kind) values ('S', 'C', '早餐', 'expense')");
    BookRows::exec("insert into tbl_borrower (id, name) values ('P', '张三')");
    BookRows::exec("insert into tbl_member (id, name) values ('M', '自己')");
}

QString dayText(const QDate& date)
{
    return date.toString("yyyy-MM-dd") + " " + QLocale::system().dayName(date.dayOfWeek(), QLocale::LongFormat);
}

// "kind:amount,kind:amount" as bills of one day, each with the given fields.
void addDay(const QString& bills, const QVariantMap& fields = {})
{
    for (const QString& bill : bills.split(',', Qt::SkipEmptyParts))
        addBillOn(day, bill.section(':', 0, 0), bill.section(':', 1).toDouble(), fields);
}

QColor swatchColor(const QVariant& decoration)
{
    return decoration.value<QIcon>().pixmap(10, 10).toImage().pixelColor(5, 5);
}
} // namespace

class TestMBillModel : public RecordTest
{
    Q_OBJECT

private:
    QModelIndex firstBill(MBillModel& model)
    {
        model.setCondition(" 1=1 ");
        return model.index(0, 0, model.index(0, 0));
    }

private slots:
    void pagesAreClampedToTheList_data()
    {
        QTest::addColumn<int>("bills");
        QTest::addColumn<int>("start");
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("pages");
        QTest::addColumn<int>("shown");
        QTest::addColumn<int>("groups");

        QTest::newRow("empty first") << 0 << 0 << "first" << 1 << 0 << 0;
        QTest::newRow("empty prev") << 0 << 0 << "prev" << 1 << 0 << 0;
        QTest::newRow("empty next") << 0 << 0 << "next" << 1 << 0 << 0;
        QTest::newRow("empty last") << 0 << 0 << "last" << 1 << 0 << 0;
        QTest::newRow("20 bills") << 20 << 0 << "last" << 1 << 0 << 20;
        QTest::newRow("21 bills") << 21 << 0 << "last" << 2 << 1 << 1;
        QTest::newRow("index past the end") << 41 << 0 << "index 99" << 3 << 2 << 1;
        QTest::newRow("negative index") << 41 << 1 << "index -3" << 3 << 0 << 20;
        QTest::newRow("prev on first") << 41 << 0 << "prev" << 3 << 0 << 20;
        QTest::newRow("next on last") << 41 << 2 << "next" << 3 << 2 << 1;
        QTest::newRow("next") << 41 << 0 << "next" << 3 << 1 << 20;
        QTest::newRow("first") << 41 << 2 << "first" << 3 << 0 << 20;
        QTest::newRow("other text") << 41 << 1 << "sideways" << 3 << 1 << 20;
    }

    void pagesAreClampedToTheList()
    {
        QFETCH(int, bills);
        QFETCH(int, start);
        QFETCH(QString, action);
        addDailyBills(bills);
        MBillModel model;
        model.setCondition(" 1=1 ");
        model.setPageIndex(start);

        int shownIndex;
        if (action.startsWith("index ")) {
            model.setPageIndex(action.mid(6).toInt());
            shownIndex = model.getPageIndex();
        } else {
            shownIndex = model.changePage(action);
        }
        QTEST(model.getPageCount(), "pages");
        QTEST(shownIndex, "shown");
        QCOMPARE(model.getPageIndex(), shownIndex);
        QTEST(model.getGroupCount(), "groups");
        QTEST(model.rowCount(), "groups");
        QVERIFY(!model.getGroup(model.getGroupCount()));
        QVERIFY(!model.getGroup(-1));
        QCOMPARE(model.getBillList()->size(), bills);
    }

    void lastPageHoldsTheOldestBill()
    {
        addDailyBills(21);
        MBillModel model;
        model.setCondition(" 1=1 ");
        QCOMPARE(model.getGroup(0)->getDate(), QDate(2014, 1, 21));
        model.changePage("last");
        QCOMPARE(model.getGroup(0)->getDate(), QDate(2014, 1, 1));
        QCOMPARE(model.getGroup(0)->getChildren()->size(), 1);
    }

    void storedPageSizeThatIsNoPositiveNumberIsAutomatic_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("pages");
        QTest::newRow("automatic") << "0" << 3;
        QTest::newRow("not a number") << "abc" << 3;
        QTest::newRow("negative") << "-5" << 3;
        QTest::newRow("thirty") << "30" << 2;
    }

    void storedPageSizeThatIsNoPositiveNumberIsAutomatic()
    {
        QFETCH(QString, stored);
        FileSetting::getInstance()->setPageSize(stored);
        addDailyBills(41);
        MBillModel model;
        model.setCondition(" 1=1 ");
        QTEST(model.getPageCount(), "pages");
        model.setPageSize(0);
        QCOMPARE(model.getPageCount(), 3);
        model.setPageSize(-1);
        QCOMPARE(model.getPageCount(), 3);
    }

    void onlyRealChangesResetTheModel()
    {
        addDailyBills(3);
        MBillModel model;
        QCOMPARE(model.rowCount(), 0);
        QVERIFY(!model.getBillList());
        QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QString("Category"));
        QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
        model.setCondition(" 1=1 ");
        QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QString("分类/借款人/转入账户"));
        QCOMPARE(model.headerData(4, Qt::Horizontal).toString(), QString("标题/描述"));
        model.setPageIndex(0);
        model.setPageSize(20);
        QCOMPARE(resets.size(), 1);
        model.setCondition(" 1=1 ");
        model.refresh();
        model.setPageSize(10);
        QCOMPARE(resets.size(), 4);
    }

    void billsHangUnderOneGroupPerDay()
    {
        addDay("expense:-1,expense:-2,income:3");
        addBillOn(day.addDays(-1), "expense", -4);
        addBillOn(day.addDays(-1), "expense", -5);
        MBillModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setCondition(" 1=1 ");

        QCOMPARE(model.rowCount(), 2);
        const QModelIndex today = model.index(0, 0);
        const QModelIndex yesterday = model.index(1, 0);
        QCOMPARE(model.rowCount(today), 3);
        QCOMPARE(model.rowCount(yesterday), 2);
        QCOMPARE(model.rowCount(model.index(0, 1)), 0);
        QCOMPARE(today.data().toString(), dayText(day));
        QCOMPARE(yesterday.data().toString(), dayText(day.addDays(-1)));
        QVERIFY(today.data(Qt::FontRole).value<QFont>().bold());
        QVERIFY(model.index(0, 3).data(Qt::FontRole).value<QFont>().bold());
        QVERIFY(!model.index(0, 0, today).data(Qt::FontRole).isValid());
        QCOMPARE(model.flags(today), Qt::ItemIsEnabled);
        QCOMPARE(model.flags(model.index(0, 0, today)), Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        QVERIFY(today.data(Qt::DecorationRole).canConvert<QIcon>());
        QVERIFY(!model.index(0, 2).data().isValid());
        QCOMPARE(model.index(0, 4).data(Qt::TextAlignmentRole).value<Qt::Alignment>(),
                 Qt::AlignRight | Qt::AlignVCenter);

        const QModelIndex child = model.index(1, 2, yesterday);
        QCOMPARE(child.parent(), yesterday);
        QCOMPARE(model.sibling(0, 4, child).parent(), yesterday);
        QCOMPARE(model.getGroup(1)->getChildren()->at(1)->getParent(), model.getGroup(1));
    }

    void groupsExpandInATreeView()
    {
        addDay("expense:-1,expense:-2");
        addBillOn(day.addDays(-1), "expense", -4);
        MBillModel model;
        model.setCondition(" 1=1 ");
        QTreeView view;
        view.setModel(&model);
        view.resize(600, 400);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.expandAll();

        const QModelIndex today = model.index(0, 0);
        QVERIFY(model.hasChildren(today));
        QVERIFY(view.isExpanded(today));
        QCOMPARE(view.indexBelow(today), model.index(0, 0, today));
        QCOMPARE(view.indexBelow(model.index(1, 0, today)), model.index(1, 0));
        QVERIFY(view.visualRect(model.index(1, 4, today)).isValid());

        // Selecting across a bill row stays on that row, under its own group.
        view.setCurrentIndex(model.index(1, 0, today));
        view.selectionModel()->select(model.index(1, 0, today),
                                      QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        const QModelIndexList rows = view.selectionModel()->selectedRows();
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows.first().parent(), today);
        QCOMPARE(rows.first().row(), 1);
    }

    void daySumsShowEachKindAndTheSubtotal_data()
    {
        QTest::addColumn<QString>("bills");
        QTest::addColumn<QString>("text");
        QTest::newRow("mixed") << "expense:-35.5,income:100,transfer:-200"
                               << "支出 -35.50 收入 +100.00 转账 +200.00  小计 +64.50  ";
        QTest::newRow("only transfers") << "transfer:-150,transfer:-50"
                                        << "转账 +200.00  小计 0.00  ";
        QTest::newRow("all zero") << "expense:-10,expense:10,income:0"
                                  << " 小计 0.00  ";
        QTest::newRow("noise below a cent") << "income:0.1,income:0.2,expense:-0.3"
                                            << "支出 -0.30 收入 +0.30  小计 0.00  ";
        QTest::newRow("loans") << "lend:-100,borrow:200,refund:30,repay:-20"
                               << "借出 -100.00 借入 +200.00 收款 +30.00 还款 -20.00  小计 +110.00  ";
        QTest::newRow("unknown kind") << "gift:50,expense:-1"
                                      << "支出 -1.00  小计 -1.00  ";
    }

    void daySumsShowEachKindAndTheSubtotal()
    {
        QFETCH(QString, bills);
        addDay(bills);
        MBillModel model;
        model.setCondition(" 1=1 ");
        QCOMPARE(model.rowCount(), 1);
        QTEST(model.index(0, 4).data().toString(), "text");
    }

    void billRowsNameTheirRecords_data()
    {
        QTest::addColumn<QVariantMap>("fields");
        QTest::addColumn<QStringList>("texts");
        const QVariantMap full{{"category_id", "C"},   {"sub_category_id", "S"}, {"account_id", "A"},
                               {"to_account_id", "B"}, {"borrower_id", "P"},     {"member_id", "M"}};
        auto with = [&](QVariantMap changes) {
            QVariantMap fields = full;
            for (auto it = changes.cbegin(); it != changes.cend(); ++it)
                fields[it.key()] = it.value();
            return fields;
        };

        QTest::newRow("expense") << with({{"kind", "expense"}, {"amount", -12.5}, {"description", "豆浆"}})
                                 << QStringList{"餐饮 早餐", "支出 -12.50", "现金", "自己", "豆浆"};
        QTest::newRow("category gone") << with({{"kind", "expense"}, {"amount", -1}, {"category_id", "gone"}})
                                       << QStringList{"出错啦~~~ 早餐", "支出 -1.00", "现金", "自己", ""};
        QTest::newRow("sub-category id as category")
            << with({{"kind", "income"}, {"amount", 5}, {"category_id", "S"}, {"sub_category_id", "C"}})
            << QStringList{"出错啦~~~ 出错啦~~~", "收入 5.00", "现金", "自己", ""};
        QTest::newRow("account and member gone")
            << with({{"kind", "income"}, {"amount", 5}, {"account_id", "x"}, {"member_id", "x"}})
            << QStringList{"餐饮 早餐", "收入 5.00", "出错啦~~~", "", ""};
        QTest::newRow("transfer") << with({{"kind", "transfer"}, {"amount", -50}, {"title", "还信用卡"}})
                                  << QStringList{"银行卡", "转账 -50.00", "现金", "", "还信用卡 "};
        QTest::newRow("transfer target gone") << with({{"kind", "transfer"}, {"amount", -50}, {"to_account_id", ""}})
                                              << QStringList{"出错啦~~~", "转账 -50.00", "现金", "", ""};
        QTest::newRow("lend") << with({{"kind", "lend"}, {"amount", -30}, {"title", "t"}, {"description", "d"}})
                              << QStringList{"张三", "借出 -30.00", "现金", "", "t d"};
        QTest::newRow("repay, borrower gone") << with({{"kind", "repay"}, {"amount", -3}, {"borrower_id", "x"}})
                                              << QStringList{"出错啦~~~", "还款 -3.00", "现金", "", ""};
        QTest::newRow("unknown kind") << with({{"kind", "gift"}, {"amount", 5}})
                                      << QStringList{"张三", " 5.00", "现金", "", ""};
    }

    void billRowsNameTheirRecords()
    {
        QFETCH(QVariantMap, fields);
        QFETCH(QStringList, texts);
        addMasterData();
        QVariantMap columns = fields;
        const QString kind = columns.take("kind").toString();
        const double amount = columns.take("amount").toDouble();
        addBillOn(day, kind, amount, columns);
        MBillModel model;
        const QModelIndex bill = firstBill(model);
        QStringList shown;
        for (int column = 0; column < 5; ++column)
            shown << model.index(0, column, bill.parent()).data().toString();
        QCOMPARE(shown, texts);
        QVERIFY(!model.index(0, 1, bill.parent()).data(Qt::DecorationRole).isValid());
    }

    void toolTipsListWhatIsFound_data()
    {
        QTest::addColumn<QVariantMap>("fields");
        QTest::addColumn<QString>("tip");
        const QString date = "日期：" + dayText(day) + "\r\n";
        QTest::newRow("expense")
            << QVariantMap{{"kind", "expense"}, {"amount", -12.5},  {"category_id", "C"}, {"sub_category_id", "S"},
                           {"account_id", "A"}, {"member_id", "M"}, {"title", "早饭"},    {"description", "豆浆"}}
            << date + "支出：-12.50元\r\n分类：餐饮 - 早餐\r\n账户：现金\r\n成员：自己\r\n早饭\r\n豆浆";
        QTest::newRow("income, nothing found")
            << QVariantMap{{"kind", "income"}, {"amount", 3}} << date + "收入：3.00元\r\n分类：\r\n成员：";
        QTest::newRow("transfer target gone")
            << QVariantMap{{"kind", "transfer"}, {"amount", -50}, {"account_id", "A"}, {"to_account_id", "x"}}
            << date + "转账：-50.00元\r\n\r\n账户：现金";
        QTest::newRow("lend") << QVariantMap{{"kind", "lend"}, {"amount", -30}, {"borrower_id", "P"}}
                              << date + "借出：-30.00元\r\n借款人：张三";
    }

    void toolTipsListWhatIsFound()
    {
        QFETCH(QVariantMap, fields);
        addMasterData();
        const QString kind = fields.take("kind").toString();
        const double amount = fields.take("amount").toDouble();
        addBillOn(day, kind, amount, fields);
        MBillModel model;
        const QModelIndex bill = firstBill(model);
        QTEST(bill.data(Qt::ToolTipRole).toString(), "tip");
        QTEST(bill.siblingAtColumn(3).data(Qt::ToolTipRole).toString(), "tip");
        QVERIFY(!bill.parent().data(Qt::ToolTipRole).isValid());
    }

    void swatchesFollowTheSettings()
    {
        addDay("expense:-1");
        MBillModel model;
        const QModelIndex bill = firstBill(model);
        QCOMPARE(swatchColor(bill.data(Qt::DecorationRole)), QColor(Qt::red));
        FileSetting::getInstance()->setValue("Color/ExpenseColor", QColor(Qt::blue));
        QCOMPARE(swatchColor(bill.data(Qt::DecorationRole)), QColor(Qt::blue));
        FileSetting::getInstance()->setValue("Color/ExpenseColor", "#00ff00");
        QCOMPARE(swatchColor(bill.data(Qt::DecorationRole)), QColor(Qt::green));

        BookRows::exec("update tbl_bill set kind='gift'");
        MBill::dataChanged();
        const QModelIndex unknown = firstBill(model);
        QCOMPARE(swatchColor(unknown.data(Qt::DecorationRole)), QColor(Qt::white));
    }

    void earlierPagesAndFiltersAreReleased()
    {
        addDailyBills(25);
        auto model = std::make_unique<MBillModel>();
        model->setCondition(" 1=1 ");
        QWeakPointer<MBill> group = model->getGroup(0);
        QWeakPointer<MBill> bill = model->getBillList()->first();
        model->changePage("next");
        QVERIFY(group.isNull());
        QVERIFY(!bill.isNull());

        model->setCondition(" kind='income' ");
        QVERIFY(bill.isNull());

        model->setCondition(" 1=1 ");
        bill = model->getBillList()->first();
        group = model->getGroup(0);
        model.reset();
        QVERIFY(group.isNull());
        MBill::resetCache();
        QVERIFY(bill.isNull());
    }
};

QTEST_MAIN(TestMBillModel)
#include "tst_mbillmodel.moc"
