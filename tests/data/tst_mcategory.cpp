#include "bookrows.h"
#include "data/mcategory.h"
#include "data/notifier.h"
#include "recordtest.h"

#include <QSignalSpy>
#include <QtTest>

namespace {
const char* const oldStamp = "2000-01-01 00:00:00";

void addCategory(const QString& id, const QString& kind, int sort)
{
    BookRows::exec("insert into tbl_category (id, name, kind, sort, version) values (?, ?, ?, ?, ?)",
                   {id, "cat-" + id, kind, sort, oldStamp});
}

void addSub(const QString& id, const QString& categoryId, const QString& kind, int sort)
{
    BookRows::exec(
        "insert into tbl_sub_category (id, category_id, name, kind, sort, version) values (?, ?, ?, ?, ?, ?)",
        {id, categoryId, "sub-" + id, kind, sort, oldStamp});
}

QStringList ids(const QList<MCategory*>& list)
{
    QStringList result;
    for (const MCategory* c : list)
        result << c->getId();
    return result;
}
} // namespace

class TestMCategory : public RecordTest
{
    Q_OBJECT

private slots:
    void renumberingKeepsTheStamps_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("id");
        QTest::addColumn<int>("sort");
        // clang-format off
        QTest::newRow("first expense, already 1") << "tbl_category" << "e1" << 1;
        QTest::newRow("second expense, 4 to 2") << "tbl_category" << "e2" << 2;
        QTest::newRow("third expense, 4 to 3") << "tbl_category" << "e3" << 3;
        QTest::newRow("income from 1 again") << "tbl_category" << "i1" << 1;
        QTest::newRow("sub-category, 5 to 1") << "tbl_sub_category" << "s1" << 1;
        QTest::newRow("sibling, already 2") << "tbl_sub_category" << "s2" << 2;
        QTest::newRow("other category's sub from 1") << "tbl_sub_category" << "s3" << 1;
        QTest::newRow("orphan not renumbered") << "tbl_sub_category" << "s4" << 9;
        // clang-format on
    }

    void renumberingKeepsTheStamps()
    {
        QFETCH(QString, table);
        QFETCH(QString, id);
        QFETCH(int, sort);
        addCategory("e3", "expense", 4);
        addCategory("e1", "expense", 1);
        addCategory("e2", "expense", 4);
        addCategory("i1", "income", 7);
        addSub("s1", "e2", "expense", 0);
        addSub("s2", "e2", "expense", 2);
        addSub("s3", "e3", "expense", 1);
        addSub("s4", "gone", "expense", 9);

        // Equal positions are split by id, whatever order the rows were stored in.
        QCOMPARE(ids(*MCategory::getCategoryList("expense")), QStringList({"e1", "e2", "e3"}));
        QCOMPARE(BookRows::value("select sort from " + table + " where id=?", {id}).toInt(), sort);
        // Nobody changed the record, so the next sync must not send it as changed.
        QCOMPARE(BookRows::value("select version from " + table + " where id=?", {id}).toString(), oldStamp);
        QCOMPARE(BookRows::value("select count(*) from " + table + "_deleted").toInt(), 0);
        const MCategory* cached =
            table == "tbl_category" ? MCategory::getCategoryById(id) : MCategory::getSubCategoryById(id);
        QCOMPARE(cached->getSort(), sort);
        QCOMPARE(cached->getName(), (table == "tbl_category" ? "cat-" : "sub-") + id);
    }

    void listsByKind()
    {
        addCategory("e1", "expense", 1);
        addCategory("i1", "income", 2);
        addCategory("x1", "other", 3);
        QCOMPARE(ids(*MCategory::getCategoryList("income")), QStringList({"i1", "x1"}));
        QCOMPARE(ids(*MCategory::getCategoryList("")), QStringList({"e1", "i1", "x1"}));
        QCOMPARE(ids(*MCategory::getCategoryList("transfer")), QStringList({"e1", "i1", "x1"}));
    }

    void treeAndLookups()
    {
        addCategory("e1", "expense", 1);
        addCategory("e2", "expense", 2);
        addSub("s1", "e1", "expense", 2);
        addSub("s2", "e1", "income", 1);
        MCategory* e1 = MCategory::getCategoryById("e1");
        QCOMPARE(ids(e1->getChildren()), QStringList({"s2", "s1"}));
        QCOMPARE(MCategory::getSubCategoryById("s1")->getParent(), e1);
        QVERIFY(MCategory::getSubCategoryList("e2")->isEmpty());
        QCOMPARE(ids(*MCategory::getSubCategoryList("")), QStringList({"s2", "s1"}));
        QVERIFY(!MCategory::getCategoryById("s1"));
        QCOMPARE(MCategory::indexOf(MCategory::getCategoryById("e2"), "expense"), 1);
        QCOMPARE(MCategory::indexOf(MCategory::getSubCategoryById("s1"), ""), 1);
    }

    void insertTakesTheKindsCount_data()
    {
        QTest::addColumn<QString>("categoryId");
        QTest::addColumn<QString>("presetId");
        QTest::newRow("category") << ""
                                  << "";
        QTest::newRow("sub-category") << "e1"
                                      << "";
        QTest::newRow("preset id") << ""
                                   << "01";
    }

    void insertTakesTheKindsCount()
    {
        QFETCH(QString, categoryId);
        QFETCH(QString, presetId);
        addCategory("e1", "expense", 1);
        addCategory("e2", "expense", 2);
        addCategory("i1", "income", 1);
        addSub("s1", "e1", "expense", 1);
        MCategory record;
        record.setCategoryId(categoryId);
        record.setId(presetId);
        record.setName("new");
        record.setKind("expense");
        QSignalSpy spy(Notifier::getInstance(), &Notifier::categoryDataChanged);
        QVERIFY(record.insert());
        QCOMPARE(spy.count(), 1);
        QCOMPARE(record.getSort(), 2);
        QCOMPARE(record.getId().size(), presetId.isEmpty() ? 36 : 2);
        const QString table = categoryId.isEmpty() ? "tbl_category" : "tbl_sub_category";
        QCOMPARE(BookRows::value("select name from " + table + " where id=?", {record.getId()}).toString(),
                 QString("new"));
    }

    void movedSubCategoryTakesItsBills()
    {
        addCategory("c1", "expense", 1);
        addCategory("c2", "expense", 2);
        addSub("s1", "c1", "expense", 1);
        addSub("s2", "c1", "expense", 2);
        const QString moved = BookRows::addBill("expense", -1, {{"category_id", "c1"}, {"sub_category_id", "s1"}});
        const QString stays = BookRows::addBill("expense", -2, {{"category_id", "c1"}, {"sub_category_id", "s2"}});

        MCategory* s1 = MCategory::getSubCategoryById("s1");
        s1->setCategoryId("c2");
        QSignalSpy bills(Notifier::getInstance(), &Notifier::billDataChanged);
        QVERIFY(s1->update());
        QVERIFY(bills.count() >= 1);

        const QString billCategory = "select category_id from tbl_bill where id=?";
        QCOMPARE(BookRows::value(billCategory, {moved}).toString(), QString("c2"));
        QCOMPARE(BookRows::value(billCategory, {stays}).toString(), QString("c1"));
        QCOMPARE(ids(MCategory::getCategoryById("c2")->getChildren()), QStringList({"s1"}));

        // An update that moves nothing sends no bill notice.
        bills.clear();
        MCategory* s2 = MCategory::getSubCategoryById("s2");
        s2->setName("renamed");
        QVERIFY(s2->update());
        QCOMPARE(bills.count(), 0);
    }

    void failedUpdateReportsAndStillAnnounces_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("id");
        QTest::newRow("category") << "tbl_category"
                                  << "c1";
        QTest::newRow("sub-category moved to another category") << "tbl_sub_category"
                                                                << "s1";
    }

    void failedUpdateReportsAndStillAnnounces()
    {
        QFETCH(QString, table);
        QFETCH(QString, id);
        addCategory("c1", "expense", 1);
        addCategory("c2", "expense", 2);
        addSub("s1", "c1", "expense", 1);
        const QString bill = BookRows::addBill("expense", -1, {{"category_id", "c1"}, {"sub_category_id", "s1"}});
        MCategory* record = id == "c1" ? MCategory::getCategoryById(id) : MCategory::getSubCategoryById(id);
        if (id == "s1")
            record->setCategoryId("c2");
        record->setName(QString()); // the name column refuses NULL

        QSignalSpy categories(Notifier::getInstance(), &Notifier::categoryDataChanged);
        QSignalSpy bills(Notifier::getInstance(), &Notifier::billDataChanged);
        QVERIFY(!record->update());
        QCOMPARE(categories.count(), 1);
        QVERIFY(!BookRows::value("select name from " + table + " where id=?", {id}).isNull());
        // A sub-category whose own row did not move leaves its bills under the category it is still under.
        QCOMPARE(BookRows::value("select category_id from tbl_bill where id=?", {bill}).toString(), QString("c1"));
        QCOMPARE(bills.count(), 0);
    }

    void removeLeavesSubCategoriesAndBills()
    {
        addCategory("c1", "expense", 1);
        addSub("s1", "c1", "expense", 1);
        BookRows::addBill("expense", -1, {{"category_id", "c1"}, {"sub_category_id", "s1"}});
        MCategory* c1 = MCategory::getCategoryById("c1");
        QCOMPARE(c1->getBillCount(), 1);
        QCOMPARE(MCategory::getSubCategoryById("s1")->getBillCount(), 1);

        QList<MCategory*>* before = MCategory::getCategoryList("");
        QVERIFY(c1->remove());
        QVERIFY(before->isEmpty());
        QCOMPARE(c1->getName(), QString("cat-c1"));

        QVERIFY(MCategory::getCategoryList("")->isEmpty());
        MCategory* orphan = MCategory::getSubCategoryById("s1");
        QVERIFY(orphan);
        QVERIFY(!orphan->getParent());
        QCOMPARE(MCategory::getSubCategoryList("c1")->size(), 1);
        QCOMPARE(BookRows::value("select count(*) from tbl_bill").toInt(), 1);
    }
};

QTEST_MAIN(TestMCategory)
#include "tst_mcategory.moc"
