#include "bookkeeping/waccountlist.h"
#include "bookkeeping/wborrowerlist.h"
#include "bookkeeping/wmemberlist.h"
#include "bookrows.h"
#include "messageboxrecorder.h"
#include "recordtest.h"

#include <QPushButton>
#include <QTableView>
#include <QtTest>
#include <memory>

namespace {
// The records X, Y and Z of the table, with the stored positions given.
void seed(const QString& table, const QList<int>& sorts)
{
    const QString extra = table == "tbl_account" ? ", kind, amount" : "";
    const QString values = table == "tbl_account" ? ", 'cash', 0" : "";
    for (int i = 0; i < sorts.size(); ++i)
        BookRows::exec("insert into " + table + " (id, name, sort" + extra + ") values (?, ?, ?" + values + ")",
                       {QString("XYZ"[i]), QString("XYZ"[i]), sorts.at(i)});
}

std::unique_ptr<WBaseWidget> shownPage(const QString& table)
{
    std::unique_ptr<WBaseWidget> page(table == "tbl_account"    ? static_cast<WBaseWidget*>(new WAccountList)
                                      : table == "tbl_borrower" ? static_cast<WBaseWidget*>(new WBorrowerList)
                                                                : new WMemberList);
    page->show();
    return page;
}

QTableView* tableOf(WBaseWidget& page)
{
    return page.findChild<QTableView*>();
}

// The names the page shows, without the accounts' total row.
QStringList shownNames(WBaseWidget& page)
{
    QStringList names;
    QAbstractItemModel* model = tableOf(page)->model();
    for (int row = 0; row < model->rowCount(); ++row)
        names << model->index(row, 0).data().toString();
    names.removeAll("合计");
    return names;
}

QStringList storedNames(const QString& table)
{
    const QString sql = "select group_concat(name) from (select name from " + table + " order by sort)";
    return BookRows::value(sql).toString().split(',', Qt::SkipEmptyParts);
}

void select(WBaseWidget& page, const QList<int>& rows)
{
    QTableView* table = tableOf(page);
    for (int row : rows)
        table->selectionModel()->select(table->model()->index(row, 0),
                                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

void click(WBaseWidget& page, const QString& button)
{
    page.findChild<QPushButton*>(button)->click();
}

} // namespace

class TestWRecordList : public RecordTest
{
    Q_OBJECT

private slots:
    void move_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QList<int>>("sorts");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("step");
        QTest::newRow("account, consecutive, down") << "tbl_account" << QList<int>{0, 1, 2} << 1 << 1;
        QTest::newRow("borrower, gaps, down") << "tbl_borrower" << QList<int>{0, 2, 5} << 1 << 1;
        QTest::newRow("member, gaps, up") << "tbl_member" << QList<int>{1, 4, 9} << 2 << -1;
        QTest::newRow("account, ties, down") << "tbl_account" << QList<int>{3, 3, 3} << 0 << 1;
        QTest::newRow("borrower, ties, up") << "tbl_borrower" << QList<int>{1, 2, 2} << 2 << -1;
        QTest::newRow("member, first row up stays") << "tbl_member" << QList<int>{1, 2, 3} << 0 << -1;
        QTest::newRow("account, last row down stays") << "tbl_account" << QList<int>{1, 2, 3} << 2 << 1;
        QTest::newRow("account, total row does not move") << "tbl_account" << QList<int>{1, 2, 3} << 3 << -1;
    }
    void move()
    {
        QFETCH(QString, table);
        QFETCH(QList<int>, sorts);
        QFETCH(int, row);
        QFETCH(int, step);
        seed(table, sorts);
        auto page = shownPage(table);
        QStringList expected = shownNames(*page);
        const bool moves = row < 3 && row + step >= 0 && row + step < 3;
        if (moves)
            expected.swapItemsAt(row, row + step);

        select(*page, {row});
        click(*page, step < 0 ? "pbMovePrevious" : "pbMoveNext");
        QCOMPARE(shownNames(*page), expected);
        BookRows::dropCaches();
        QCOMPARE(storedNames(table), expected);
        if (moves) {
            const int now = row + step;
            QCOMPARE(tableOf(*page)->selectionModel()->selectedRows(), {tableOf(*page)->model()->index(now, 0)});
            QCOMPARE(page->findChild<QPushButton*>("pbMovePrevious")->isEnabled(), now != 0);
            QCOMPARE(page->findChild<QPushButton*>("pbMoveNext")->isEnabled(), now != 2);
        }
    }

    void remove_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QList<int>>("selected");
        QTest::addColumn<QString>("billColumn");
        QTest::addColumn<QStringList>("remaining");
        QTest::addColumn<int>("refusals");
        using Rows = QList<int>;
        // clang-format off
        QTest::newRow("account named by a bill") << "tbl_account" << Rows{0, 1} << "account_id" << QStringList{"Y", "Z"} << 1;
        QTest::newRow("account that only receives a transfer") << "tbl_account" << Rows{1, 2} << "to_account_id" << QStringList{"X", "Y"} << 1;
        QTest::newRow("account total row") << "tbl_account" << Rows{3} << "account_id" << QStringList{"X", "Y", "Z"} << 0;
        QTest::newRow("borrower") << "tbl_borrower" << Rows{0, 1, 2} << "borrower_id" << QStringList{"Y"} << 1;
        QTest::newRow("member") << "tbl_member" << Rows{0, 1} << "member_id" << QStringList{"Y", "Z"} << 1;
        QTest::newRow("nothing selected") << "tbl_member" << Rows{} << "member_id" << QStringList{"X", "Y", "Z"} << 0;
        // clang-format on
    }
    void remove()
    {
        QFETCH(QString, table);
        QFETCH(QList<int>, selected);
        QFETCH(QString, billColumn);
        QFETCH(QStringList, remaining);
        QFETCH(int, refusals);
        seed(table, {1, 2, 3});
        BookRows::addBill("transfer", -5, {{billColumn, "Y"}});
        auto page = shownPage(table);
        MessageBoxRecorder boxes;

        select(*page, selected);
        click(*page, "pbRemove");
        QCOMPARE(boxes.boxes().size(), refusals);
        for (const auto& [title, text] : boxes.boxes())
            QVERIFY2(text.startsWith("已经有账目使用了这个") && (title == "不能删除" || title == "删除失败"),
                     qPrintable(text));
        QCOMPARE(shownNames(*page), remaining);
        BookRows::dropCaches();
        QCOMPARE(storedNames(table), remaining);
    }

    // Another part of the program (the sync) changes a record while the page shows it: the page works on the
    // book's record and shows the change once the program is idle.
    void followsChangesMadeElsewhere_data()
    {
        QTest::addColumn<QString>("table");
        for (const QString table : {"tbl_account", "tbl_borrower", "tbl_member"})
            QTest::newRow(qPrintable(table)) << table;
    }
    void followsChangesMadeElsewhere()
    {
        QFETCH(QString, table);
        seed(table, {1, 2, 3});
        auto page = shownPage(table);
        BookRows::exec("update " + table + " set name='Y2' where id='Y'");
        BookRows::dropCaches();

        select(*page, {1});
        click(*page, "pbMoveNext");
        BookRows::dropCaches();
        QCOMPARE(storedNames(table), QStringList({"X", "Z", "Y2"}));
        QTRY_COMPARE(shownNames(*page), QStringList({"X", "Z", "Y2"}));
    }
};

QTEST_MAIN(TestWRecordList)
#include "tst_wrecordlist.moc"
