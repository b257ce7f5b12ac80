#include "bookrows.h"
#include "contexttranslator.h"
#include "data/bookconnection.h"
#include "data/bookfile.h"
#include "data/dbhelper.h"
#include "data/maccount.h"
#include "data/mcategory.h"
#include "data/mmember.h"
#include "data/notifier.h"
#include "testbook.h"

#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

namespace {
const char* const oldStamp = "2007-07-07 07:07:07";

QVariant valueIn(const QString& path, const QString& sql)
{
    QVariant result;
    BookConnection::withTemporary("check", path, [&](QSqlDatabase& db) {
        QSqlQuery query(db);
        if (query.exec(sql) && query.next())
            result = query.value(0);
        return true;
    });
    return result;
}

int countOf(const QString& table)
{
    return BookRows::value("select count(*) from " + table).toInt();
}
} // namespace

class TestDBHelperDefaults : public QObject
{
    Q_OBJECT

private:
    TestBook* book = nullptr;

private slots:
    void init()
    {
        book = new TestBook;
        book->open();
        BookRows::dropCaches();
        QVERIFY(DBHelper::getInstance()->upgrade());
    }

    void cleanup()
    {
        BookRows::dropCaches();
        delete book;
    }

    void newBookGetsTheDefaultRecords_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<int>("rows");
        QTest::newRow("accounts") << "tbl_account" << 2;
        QTest::newRow("borrowers") << "tbl_borrower" << 1;
        QTest::newRow("categories") << "tbl_category" << 12;
        QTest::newRow("sub-categories") << "tbl_sub_category" << 25;
        QTest::newRow("members") << "tbl_member" << 2;
        QTest::newRow("bills") << "tbl_bill" << 0;
    }

    void newBookGetsTheDefaultRecords()
    {
        QFETCH(QString, table);
        QFETCH(int, rows);
        DBHelper::getInstance()->initDefaultData();
        QCOMPARE(countOf(table), rows);
        QCOMPARE(BookRows::value("select count(*) from " + table + " where version<>?", {oldStamp}).toInt(), 0);
    }

    void defaultRecordsCarryTheirIdsAndPlaces_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("detail"); // kind, or the parent for a sub-category, or the description
        QTest::addColumn<int>("sort");

        QTest::newRow("wallet") << "tbl_account"
                                << "01"
                                << "我的钱包"
                                << "cash" << 1;
        QTest::newRow("bank card") << "tbl_account"
                                   << "02"
                                   << "我的银行卡"
                                   << "card" << 2;
        QTest::newRow("borrower") << "tbl_borrower"
                                  << "01"
                                  << "借款人"
                                  << "借款人" << 1;
        QTest::newRow("family") << "tbl_member"
                                << "02"
                                << "家人"
                                << "我的家人" << 2;
        QTest::newRow("last expense") << "tbl_category"
                                      << "10"
                                      << "其它支出"
                                      << "expense" << 10;
        QTest::newRow("first income") << "tbl_category"
                                      << "11"
                                      << "工资奖金"
                                      << "income" << 1;
        QTest::newRow("salary") << "tbl_sub_category"
                                << "23"
                                << "工资收入"
                                << "11" << 1;
        QTest::newRow("snacks") << "tbl_sub_category"
                                << "04"
                                << "零食"
                                << "01" << 2;
        QTest::newRow("drinks") << "tbl_sub_category"
                                << "02"
                                << "烟酒茶饮"
                                << "01" << 4;
        QTest::newRow("other income") << "tbl_sub_category"
                                      << "25"
                                      << "其它收入"
                                      << "12" << 2;
    }

    void defaultRecordsCarryTheirIdsAndPlaces()
    {
        QFETCH(QString, table);
        QFETCH(QString, id);
        QFETCH(QString, name);
        QFETCH(QString, detail);
        QFETCH(int, sort);
        DBHelper::getInstance()->initDefaultData();

        const QString detailColumn = table == "tbl_sub_category"                         ? "category_id"
                                     : table == "tbl_account" || table == "tbl_category" ? "kind"
                                                                                         : "description";
        QCOMPARE(BookRows::value("select name from " + table + " where id=?", {id}).toString(), name);
        QCOMPARE(BookRows::value("select " + detailColumn + " from " + table + " where id=?", {id}).toString(), detail);
        QCOMPARE(BookRows::value("select sort from " + table + " where id=?", {id}).toInt(), sort);
    }

    void textsAreTranslatedAsTheHelpersOwn()
    {
        const ContextTranslator translator("DBHelper", "译:");
        DBHelper::getInstance()->initDefaultData();
        QCOMPARE(BookRows::value("select name || '/' || description from tbl_account where id='02'").toString(),
                 QString("译:我的银行卡/译:我的银行卡"));
        QCOMPARE(BookRows::value("select name from tbl_sub_category where id='25'").toString(), QString("译:其它收入"));
    }

    void fillCountsPlacesInTheFilledBookOnly()
    {
        // Records of the current book are cached while a fill runs on the same book after a reset.
        BookRows::exec("insert into tbl_account (id, name, kind, amount, sort) values ('u1', '旧账户', 'cash', 0, 1)");
        QCOMPARE(MAccount::get()->size(), 1);
        BookRows::exec("delete from tbl_account");
        DBHelper::getInstance()->initDefaultData();
        QCOMPARE(BookRows::value("select sort from tbl_account where id='01'").toInt(), 1);
    }

    void fillingAnotherBookLeavesTheCurrentOne()
    {
        BookRows::exec(
            "insert into tbl_account (id, name, kind, amount, sort) values ('mine', '我的账户', 'cash', 5, 1)");
        BookRows::exec("insert into tbl_category (id, name, kind, sort) values ('c', '我的分类', 'expense', 1)");
        BookRows::exec("insert into tbl_member (id, name, sort) values ('m', '我', 1)");
        QCOMPARE(MAccount::get()->size(), 1);
        QCOMPARE(MCategory::getCategoryList("expense")->size(), 1);
        const QString current = BookConnection::currentBookPath();
        const QString other = book->dataDir() + "other.db";
        QVERIFY(BookFile::createFromInitial(other));

        QSignalSpy accounts(Notifier::getInstance(), &Notifier::accountDataChanged);
        QSignalSpy categories(Notifier::getInstance(), &Notifier::categoryDataChanged);
        DBHelper::getInstance()->initDefaultData(other);
        QCOMPARE(accounts.count() + categories.count(), 0);

        QCOMPARE(QSqlDatabase::database().databaseName(), current);
        QVERIFY(QSqlDatabase::database().isOpen());
        QCOMPARE(countOf("tbl_account"), 1);
        QCOMPARE(countOf("tbl_sub_category"), 0);
        QCOMPARE(MAccount::get()->size(), 1);
        QCOMPARE(MAccount::get()->first()->getName(), QString("我的账户"));
        QCOMPARE(MCategory::getCategoryList("expense")->size(), 1);
        QCOMPARE(MMember::getMemberList()->size(), 1);

        QCOMPARE(valueIn(other, "select count(*) from tbl_sub_category").toInt(), 25);
        QCOMPARE(valueIn(other, "select sort from tbl_account where id='02'").toInt(), 2);
        QCOMPARE(valueIn(other, "select count(*) from tbl_member where version='2007-07-07 07:07:07'").toInt(), 2);
    }
};

QTEST_MAIN(TestDBHelperDefaults)
#include "tst_dbhelperdefaults.moc"
