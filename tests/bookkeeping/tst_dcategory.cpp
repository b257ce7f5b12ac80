#include "billtesting.h"
#include "bookkeeping/dcategory.h"
#include "bookrows.h"
#include "messageboxrecorder.h"
#include "recordtest.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

namespace {
// The record typed as "n": its table, parent, kind, description and sort.
QString saved()
{
    return BookRows::value("select 'top||' || kind || '|' || description || '|' || sort from tbl_category where "
                           "name='n' union all select 'sub|' || category_id || '|' || kind || '|' || description || "
                           "'|' || sort from tbl_sub_category where name='n'")
        .toString();
}

int rowCount()
{
    return BookRows::value("select (select count(*) from tbl_category) + (select count(*) from tbl_sub_category)")
        .toInt();
}

} // namespace

class TestDCategory : public RecordTest
{
    Q_OBJECT

private slots:
    // Two income categories, X before Y, one expense category E, and the sub-category S of X.
    void init()
    {
        RecordTest::init();
        for (const QString id : {"X", "Y", "E"})
            BookRows::exec("insert into tbl_category (id, name, kind, sort) values (?, ?, ?, ?)",
                           {id, "cat-" + id, id == "E" ? "expense" : "income", id == "Y" ? 2 : 1});
        BookRows::exec("insert into tbl_sub_category (id, category_id, name, kind, description, sort) "
                       "values ('S', 'X', 'sub', 'income', 'old', 1)");
    }

    void savesIntoTheRightTable_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("subCategory");
        QTest::addColumn<QString>("parentId");
        QTest::addColumn<bool>("modify");
        QTest::addColumn<QString>("row");
        QTest::newRow("new category after those of its kind")
            << "expense" << false << "" << false << "top||expense|d'|1";
        QTest::newRow("new sub-category: first parent") << "income" << true << "" << false << "sub|X|income|d'|2";
        QTest::newRow("new sub-category: parent given") << "income" << true << "Y" << false << "sub|Y|income|d'|2";
        QTest::newRow("new sub-category: unknown parent") << "income" << true << "gone" << false << "sub|X|income|d'|2";
        QTest::newRow("changed sub-category") << "income" << true << "" << true << "sub|X|income|d'|1";
    }
    void savesIntoTheRightTable()
    {
        QFETCH(QString, kind);
        QFETCH(bool, subCategory);
        QFETCH(QString, parentId);
        QFETCH(bool, modify);
        QFETCH(QString, row);
        MessageBoxRecorder boxes;
        DCategory dialog(kind, nullptr, subCategory, parentId);
        auto* parents = dialog.findChild<QComboBox*>("cbParentId");
        QCOMPARE(parents->isVisibleTo(&dialog), subCategory);
        QCOMPARE(parents->count(), subCategory ? 2 : 0); // only the categories of the kind
        if (modify)
            dialog.setCategory(MCategory::getSubCategoryById("S"));
        typeAndSave(dialog, "n", "d'");
        QVERIFY(boxes.boxes().isEmpty());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(saved(), row);
        QCOMPARE(rowCount(), modify ? 4 : 5);
    }

    void refusesAndStaysOpen_data()
    {
        QTest::addColumn<bool>("subCategory");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("modify");
        QTest::addColumn<QString>("refusedTable");
        QTest::addColumn<QString>("message");
        const QString failed = "保存失败，数据没有写入账本，请重试。";
        const QString noParent = "小类必须属于一个大类，请先选择所属大类。";
        QTest::newRow("empty name") << false << "income" << QString() << false << "" << QString("分类名称不能为空！");
        QTest::newRow("sub-category, no categories of its kind")
            << true << "other" << QString("n") << false << "" << noParent;
        QTest::newRow("changed sub-category, parent not listed")
            << true << "expense" << QString("n") << true << "" << noParent;
        QTest::newRow("insert refused") << false << "income" << QString("n") << false << "tbl_category" << failed;
        QTest::newRow("update refused") << true << "income" << QString("n") << true << "tbl_sub_category" << failed;
    }
    void refusesAndStaysOpen()
    {
        QFETCH(bool, subCategory);
        QFETCH(QString, kind);
        QFETCH(QString, name);
        QFETCH(bool, modify);
        QFETCH(QString, refusedTable);
        QFETCH(QString, message);
        if (!refusedTable.isEmpty())
            BookRows::refuseWrites(refusedTable);
        MessageBoxRecorder boxes;
        DCategory dialog(kind, nullptr, subCategory, "");
        if (modify)
            dialog.setCategory(MCategory::getSubCategoryById("S"));
        typeAndSave(dialog, name, "d'");
        QCOMPARE(boxes.boxes(), (QVector<QPair<QString, QString>>{{"错误", message}}));
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.findChild<QLineEdit*>("leName")->text(), name);
        QCOMPARE(saved(), QString());
        QCOMPARE(rowCount(), 4);
        QCOMPARE(MCategory::getSubCategoryById("S")->getName(), QString("sub"));
    }
};

QTEST_MAIN(TestDCategory)
#include "tst_dcategory.moc"
