#include "bookrows.h"
#include "messageboxrecorder.h"
#include "recordtest.h"

#include "bookkeeping/wbilllist.h"
#include "data/filesetting.h"
#include "data/maccount.h"
#include "data/mbillmodel.h"
#include "data/mcategory.h"
#include "widgets/stylesheet.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <QtTest>

namespace {
// Master data with a quote in an id, as a sync or an import can bring.
void addMasterData()
{
    const QList<QVariantList> accounts{{"a1", "现金", 1}, {"a2", "银行卡", 2}, {"o'k", "引号", 3}};
    for (const QVariantList& account : accounts)
        BookRows::exec("insert into tbl_account (id, name, kind, amount, sort) values (?, ?, 'cash', 0, ?)", account);
    BookRows::exec("insert into tbl_category (id, name, kind, sort) values ('food', '餐饮', 'expense', 1), "
                   "('pay', '工资', 'income', 1)");
    BookRows::exec("insert into tbl_sub_category (id, category_id, name, kind, sort) values "
                   "('lunch', 'food', '午饭', 'expense', 1), ('supper', 'food', '晚饭', 'expense', 2), "
                   "('bonus', 'pay', '奖金', 'income', 1)");
    BookRows::exec("insert into tbl_member (id, name, sort) values ('m1', '爸爸', 1)");
    BookRows::exec("insert into tbl_borrower (id, name, sort) values ('b1', '张三', 1)");
}

// Seven bills in May 2014 and one in June.
void addBills()
{
    const QString lunch = BookRows::addBill(
        "expense", -10,
        {{"account_id", "a1"}, {"category_id", "food"}, {"sub_category_id", "lunch"}, {"member_id", "m1"}});
    BookRows::exec("update tbl_bill set description='it''s lunch' where id=?", {lunch});
    BookRows::addBill("expense", -20, {{"account_id", "a1"}, {"category_id", "food"}, {"sub_category_id", "supper"}});
    BookRows::addBill(
        "income", 100,
        {{"account_id", "a2"}, {"category_id", "pay"}, {"sub_category_id", "bonus"}, {"member_id", "m1"}});
    BookRows::addBill("transfer", -50, {{"account_id", "a1"}, {"to_account_id", "a2"}});
    BookRows::addBill("lend", -30, {{"account_id", "a1"}, {"borrower_id", "b1"}});
    BookRows::addBill("repay", -5, {{"account_id", "a2"}, {"borrower_id", "b1"}, {"title", "itxs title"}});
    BookRows::addBill("expense", -1, {{"account_id", "o'k"}, {"category_id", "food"}, {"sub_category_id", "lunch"}});
    const QString june = BookRows::addBill("income", 7, {{"account_id", "a1"}});
    BookRows::exec("update tbl_bill set date='2014-06-02', month=201406 where id=?", {june});
}

template <typename T> T* child(const WBillList& page, const char* name)
{
    T* widget = page.findChild<T*>(name);
    if (!widget)
        qFatal("no %s", name);
    return widget;
}

int billCount(const WBillList& page)
{
    return page.findChild<MBillModel*>()->getBillList()->size();
}

// Picks the item with the data in the box's popup, as the user does; a tree popup reaches rows at any depth.
void pick(QComboBox* box, const QVariant& data)
{
    box->showPopup();
    QAbstractItemView* view = box->view();
    const QModelIndexList hits =
        box->model()->match(box->model()->index(0, 0), Qt::UserRole, data, 1, Qt::MatchExactly | Qt::MatchRecursive);
    QVERIFY2(!hits.isEmpty(), qPrintable(data.toString()));
    view->setCurrentIndex(hits.first());
    QTest::keyClick(view, Qt::Key_Return);
}

// Runs one step written as "filter:value" on the page.
void apply(WBillList& page, const QString& step)
{
    const QString filter = step.section(':', 0, 0);
    const QString value = step.section(':', 1);
    if (filter == "search") {
        child<QLineEdit>(page, "leSeacrh")->setText(value);
        child<QPushButton>(page, "pbSearch")->click();
        return;
    }
    const QMap<QString, const char*> boxes{{"kind", "cbKindList"},         {"month", "cbMonthList"},
                                           {"account", "cbAccountList"},   {"category", "cbCategoryList"},
                                           {"borrower", "cbBorrowerList"}, {"member", "cbMemberList"}};
    QComboBox* box = child<QComboBox>(page, boxes.value(filter));
    pick(box, filter == "month" ? QVariant(value.toInt()) : QVariant(value));
}

// Selects the bills with the given amounts (those of the seeded bills are all different).
void selectAmounts(WBillList& page, const QList<double>& amounts)
{
    auto* view = child<QTreeView>(page, "tvBillList");
    QAbstractItemModel* rows = view->model();
    for (int day = 0; day < rows->rowCount(); ++day) {
        const QModelIndex group = rows->index(day, 0);
        for (int row = 0; row < rows->rowCount(group); ++row)
            if (amounts.contains(rows->index(row, 1, group).data().toString().section(QChar(' '), 1).toDouble()))
                view->selectionModel()->select(rows->index(row, 0, group),
                                               QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
}
} // namespace

class TestWBillList : public RecordTest
{
    Q_OBJECT

private slots:
    void init()
    {
        RecordTest::init();
        addMasterData();
        addBills();
        BookRows::dropCaches();
    }

    void filters_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("condition");
        QTest::addColumn<int>("bills");
        // What the kind, date, account, category, member and borrower boxes show.
        QTest::addColumn<QString>("shown");
        const QString none = "所有类型 所有日期 所有账户 所有分类 所有成员 所有借款人";
        using Steps = QStringList;
        // clang-format off
        QTest::newRow("none") << Steps() << " 1=1 " << 8 << none;
        QTest::newRow("kind and month") << Steps{"month:201405", "kind:expense"} << " 1=1  and  kind='expense'  and  month=201405 " << 3 << "支出 201405 所有账户 所有分类 所有成员 所有借款人";
        QTest::newRow("search with a quote") << Steps{"search:it's"} << " 1=1  and  (description like '%it''s%' or title like '%it''s%')" << 1 << none;
        QTest::newRow("transfer into the account") << Steps{"account:a2"} << " 1=1  and  ( account_id='a2' or to_account_id='a2') " << 3 << "所有类型 所有日期 银行卡 所有分类 所有成员 所有借款人";
        QTest::newRow("quote in an id") << Steps{"account:o'k"} << " 1=1  and  ( account_id='o''k' or to_account_id='o''k') " << 1 << "所有类型 所有日期 引号 所有分类 所有成员 所有借款人";
        QTest::newRow("sub-category in the tree") << Steps{"category:slunch"} << " 1=1  and  ( sub_category_id='lunch') " << 2 << "所有类型 所有日期 所有账户 午饭 所有成员 所有借款人";
        QTest::newRow("borrower resets category and member") << Steps{"category:slunch", "member:m1", "borrower:b1"} << " 1=1  and  borrower_id='b1' " << 2 << "所有类型 所有日期 所有账户 所有分类 所有成员 张三";
        QTest::newRow("category resets borrower, keeps member") << Steps{"member:m1", "borrower:b1", "member:m1", "category:cpay"} << " 1=1  and  (category_id='pay')  and   member_id='m1' " << 1 << "所有类型 所有日期 所有账户 工资 爸爸 所有借款人";
        // clang-format on
    }
    void filters()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, condition);
        QFETCH(int, bills);
        QFETCH(QString, shown);
        WBillList page;
        for (const QString& step : steps)
            apply(page, step);
        QCOMPARE(page.getCondition(), condition);
        QCOMPARE(billCount(page), bills);
        QStringList texts;
        for (const char* box :
             {"cbKindList", "cbMonthList", "cbAccountList", "cbCategoryList", "cbMemberList", "cbBorrowerList"})
            texts << child<QComboBox>(page, box)->currentText();
        QCOMPARE(texts.join(' '), shown);
    }

    void paging_data()
    {
        QTest::addColumn<QStringList>("clicks");
        QTest::addColumn<QString>("position");
        // Whether the first, previous, next and last page buttons are enabled.
        QTest::addColumn<QString>("enabled");
        // clang-format off
        QTest::newRow("first page") << QStringList() << "1/3 " << "0011";
        QTest::newRow("last page") << QStringList{"pbLast"} << "3/3 " << "1100";
        QTest::newRow("back one page") << QStringList{"pbLast", "pbPrev"} << "2/3 " << "1111";
        QTest::newRow("jump past the end") << QStringList{"99999"} << "3/3 " << "1100";
        QTest::newRow("filter leaves one page") << QStringList{"pbLast", "kind:income"} << "1/1 " << "0000";
        // clang-format on
    }
    void paging()
    {
        QFETCH(QStringList, clicks);
        QFETCH(QString, position);
        QFETCH(QString, enabled);
        FileSetting::getInstance()->setPageSize("20");
        for (int i = 0; i < 33; ++i)
            BookRows::addBill("expense", -1);
        WBillList page;
        for (const QString& click : clicks) {
            if (click.startsWith("pb")) {
                child<QPushButton>(page, qPrintable(click))->click();
            } else if (click.contains(':')) {
                apply(page, click);
            } else {
                child<QSpinBox>(page, "sbPageNo")->setValue(click.toInt());
                child<QPushButton>(page, "pbChangePageIndex")->click();
            }
        }
        QCOMPARE(child<QLabel>(page, "lblPagePosition")->text(), position);
        QString states;
        for (const char* button : {"pbFirst", "pbPrev", "pbNext", "pbLast"})
            states += child<QPushButton>(page, button)->isEnabled() ? "1" : "0";
        QCOMPARE(states, enabled);
    }

    void actions_data()
    {
        QTest::addColumn<QList<double>>("amounts");
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QStringList>("dialogs");
        QTest::addColumn<QString>("box");
        QTest::addColumn<int>("left");
        const QString question = "确定删除? 需要删除这些账目吗?";
        const QStringList none, quickChange{"DQuickChange"};
        using Amounts = QList<double>;
        // clang-format off
        QTest::newRow("delete, no") << Amounts{-10, -20, -1} << "deleteBills" << 0 << none << question << 8;
        QTest::newRow("delete, yes") << Amounts{-10, -20, -1} << "deleteBills" << 1 << none << question << 5;
        QTest::newRow("member with a transfer") << Amounts{-10, 100, -50} << "changeMember" << 1 << none << "错误 成员转换功能只适用于收入或支出" << 8;
        QTest::newRow("category of both kinds") << Amounts{-10, 100} << "changeCategory" << 1 << none << "错误 转换分类时，选中账目不能同步包含收入和支出" << 8;
        QTest::newRow("borrower with an expense") << Amounts{-30, -10} << "changeBorrower" << 1 << none << "错误 借款人转换功能只适用于借贷账目" << 8;
        QTest::newRow("borrower of a lend and a repay") << Amounts{-30, -5} << "changeBorrower" << 1 << quickChange << "" << 8;
        QTest::newRow("account of any kind") << Amounts{-50, -30, 100} << "changeAccount" << 1 << quickChange << "" << 8;
        QTest::newRow("change") << Amounts{-20, -10} << "modifyBill" << 1 << QStringList{"DBill"} << "" << 8;
        QTest::newRow("copy of two") << Amounts{-10, -20} << "replicateBill" << 1 << QStringList{"DBill", "DBill"} << "" << 8;
        QTest::newRow("same day") << Amounts{7} << "supplyBill" << 1 << QStringList{"DBill"} << "" << 8;
        QTest::newRow("preview of the whole list") << Amounts{7} << "on_pbPrintPreview_clicked" << 1 << QStringList{"QPrintPreviewDialog"} << "" << 8;
        // clang-format on
    }
    void actions()
    {
        QFETCH(QList<double>, amounts);
        QFETCH(QString, action);
        QFETCH(int, answer);
        QFETCH(QStringList, dialogs);
        QFETCH(QString, box);
        QFETCH(int, left);
        MessageBoxRecorder boxes(answer);
        WBillList page;
        selectAmounts(page, amounts);
        QCOMPARE(page.getSelectedBills().size(), amounts.size());
        QStringList shown;
        QTimer closer;
        connect(&closer, &QTimer::timeout, [&shown] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                shown << dialog->metaObject()->className();
                dialog->reject();
            }
        });
        closer.start(10);
        QVERIFY(QMetaObject::invokeMethod(&page, qPrintable(action)));
        QCOMPARE(shown, dialogs);
        QStringList texts;
        for (const auto& shownBox : boxes.boxes())
            texts << shownBox.first + " " + shownBox.second;
        QCOMPARE(texts, box.isEmpty() ? QStringList() : QStringList{box});
        QCOMPARE(BookRows::value("select count(*) from tbl_bill").toInt(), left);
        QCOMPARE(billCount(page), left);
    }

    void exportReports_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("written");
        QTest::addColumn<QString>("box");
        QTest::newRow("written") << "bills"
                                 << "bills.xls"
                                 << "导出成功 您已经成功导出数据!";
        QTest::newRow("folder missing") << "no-such-folder/bills.xls"
                                        << ""
                                        << "错误 导出失败，文件没有写成。";
    }
    void exportReports()
    {
        QFETCH(QString, name);
        QFETCH(QString, written);
        QFETCH(QString, box);
        MessageBoxRecorder boxes;
        QTemporaryDir folder;
        WBillList page;
        QTimer::singleShot(0, [&folder, &name] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            dialog->selectFile(folder.filePath(name));
            static_cast<QDialog*>(dialog)->accept();
        });
        child<QPushButton>(page, "pbExport")->click();
        QCOMPARE(boxes.boxes().size(), 1);
        QCOMPARE(boxes.boxes().first().first + " " + boxes.boxes().first().second, box);
        if (!written.isEmpty())
            QVERIFY(TestBook::bytesOf(folder.filePath(written)).contains("it's lunch"));
    }

    // A filter is in force exactly while its box shows it: after a refill, after a step of the closed box, after
    // a cancelled date period, and when the search box is emptied by the user or by a reload.
    void hiddenFiltersAreDropped_data()
    {
        QTest::addColumn<QString>("step");
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("condition");
        QTest::addColumn<QString>("shown");
        const QString account = " 1=1  and  ( account_id='a2' or to_account_id='a2') ";
        const QString lunch = " 1=1  and  ( sub_category_id='lunch') ";
        // clang-format off
        QTest::newRow("renamed account") << "account:a2" << "rename account" << account << "新名字";
        QTest::newRow("removed account") << "account:a2" << "remove account" << " 1=1 " << "所有账户";
        QTest::newRow("categories reloaded") << "category:slunch" << "reload categories" << lunch << "午饭";
        QTest::newRow("sub-category removed") << "category:slunch" << "remove sub-category" << " 1=1 " << "所有分类";
        QTest::newRow("closed box stepped") << "category:slunch" << "step category" << " 1=1  and  kind='expense' " << "支出        ";
        QTest::newRow("month emptied") << "month:201406" << "remove june" << " 1=1 " << "所有日期";
        QTest::newRow("period cancelled") << "month:201406" << "cancel period" << " 1=1 " << "所有日期";
        QTest::newRow("search box emptied") << "search:it" << "empty search" << " 1=1 " << "";
        QTest::newRow("search box reloaded") << "search:it" << "reload page" << " 1=1 " << "";
        // clang-format on
    }
    void hiddenFiltersAreDropped()
    {
        QFETCH(QString, step);
        QFETCH(QString, change);
        QFETCH(QString, condition);
        QFETCH(QString, shown);
        WBillList page;
        apply(page, step);
        QComboBox* category = child<QComboBox>(page, "cbCategoryList");
        if (change == "rename account") {
            MAccount* account = MAccount::getAccountById("a2");
            account->setName("新名字");
            QVERIFY(MAccount::update(account));
        } else if (change == "remove account") {
            BookRows::exec("delete from tbl_account where id='a2'");
            MAccount::clearCache();
        } else if (change == "reload categories") {
            MCategory::clearCache();
        } else if (change == "remove sub-category") {
            BookRows::exec("delete from tbl_sub_category where id='lunch'");
            MCategory::clearCache();
        } else if (change == "step category") {
            category->setFocus();
            QTest::keyClick(category, Qt::Key_Down);
        } else if (change == "remove june") {
            BookRows::exec("delete from tbl_bill where month=201406");
            MBill::dataChanged();
        } else if (change == "cancel period") {
            QTimer::singleShot(0, [] { static_cast<QDialog*>(QApplication::activeModalWidget())->reject(); });
            apply(page, "month:1");
        } else if (change == "empty search") {
            child<QLineEdit>(page, "leSeacrh")->clear();
        } else if (change == "reload page") {
            static_cast<WBaseWidget&>(page).bind();
        }
        QCOMPARE(page.getCondition(), condition);
        const QString box = step.section(':', 0, 0);
        if (box == "search")
            QCOMPARE(child<QLineEdit>(page, "leSeacrh")->text(), shown);
        else
            QCOMPARE(
                child<QComboBox>(page, qPrintable("cb" + box.left(1).toUpper() + box.mid(1) + "List"))->currentText(),
                shown);
        // The rows follow the condition the page shows.
        QCOMPARE(billCount(page), int(MBill::get(condition)->size()));
    }

    // The account filter's box is narrow in its crowded row: the list it opens shows a long name whole, and a name
    // longer than the screen is cut there and shows whole on hover.
    void accountListShowsLongNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("whole");
        QTest::newRow("long name") << "招商银行信用卡账户一号" << true;
        QTest::newRow("name wider than the screen") << QString("招商银行信用卡账户").repeated(40) << false;
    }
    void accountListShowsLongNames()
    {
        QFETCH(QString, name);
        QFETCH(bool, whole);
        qApp->setStyleSheet(StyleSheet::load());
        const auto plain = qScopeGuard([] { qApp->setStyleSheet(QString()); });
        BookRows::exec("insert into tbl_account (id, name, kind, amount, sort) values ('long', ?, 'credit', 0, 9)",
                       {name});
        BookRows::dropCaches();
        // As wide as in the main window at its default size.
        WBillList page;
        page.resize(890, 500);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        auto* box = child<QComboBox>(page, "cbAccountList");
        box->showPopup();
        QAbstractItemView* list = box->view();
        QTRY_VERIFY(list->isVisible());
        const QModelIndex item = box->model()->index(box->findData("long"), 0);
        QCOMPARE(list->sizeHintForIndex(item).width() <= list->viewport()->width(), whole);
        QCOMPARE(item.data(Qt::ToolTipRole).toString(), whole ? QString() : name);
    }

    // The account column widens into empty room on its own; a width the user drags it to stays through the page's
    // resizes, and is the one stored.
    void draggedAccountColumnKeepsItsWidth()
    {
        WBillList page;
        page.resize(890, 500);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        auto* view = child<QTreeView>(page, "tvBillList");
        view->header()->resizeSection(2, 180);
        const int before = view->viewport()->width();
        page.resize(990, 500);
        QTRY_VERIFY(view->viewport()->width() > before);
        QCOMPARE(view->header()->sectionSize(2), 180);
        QCOMPARE(FileSetting::getInstance()->getColumnWidths("BillList").value(2), 180);
    }
};

QTEST_MAIN(TestWBillList)
#include "tst_wbilllist.moc"
