#include "bookkeeping/dcategory.h"
#include "bookrows.h"
#include "messageboxrecorder.h"
#include "recordtest.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlQuery>
#include <QtTest>

namespace {
// Two income categories, X before Y, one expense category E, and the sub-category S of X.
void seedCategories()
{
    for (const QString id : {"X", "Y", "E"})
        BookRows::exec("insert into tbl_category (id, name, kind, sort) values (?, ?, ?, ?)",
                       {id, "cat-" + id, id == "E" ? "expense" : "income", id == "Y" ? 2 : 1});
    BookRows::exec("insert into tbl_sub_category (id, category_id, name, kind, description, sort) "
                   "values ('S', 'X', 'sub', 'income', 'old', 1)");
}

// Every row of the kind's two tables, sorted: table, parent, name, kind, description and sort.
QStringList rows(const QString& kind)
{
    QStringList list;
    QSqlQuery query;
    query.prepare("select 'top', '', name, kind, description, sort from tbl_category where kind=? union all "
                  "select 'sub', category_id, name, kind, description, sort from tbl_sub_category where kind=?");
    query.addBindValue(kind);
    query.addBindValue(kind);
    if (!query.exec())
        return {"query failed"};
    while (query.next()) {
        QStringList fields;
        for (int i = 0; i < 6; ++i)
            fields << query.value(i).toString();
        list << fields.join('|');
    }
    list.sort();
    return list;
}

void typeAndSave(DCategory& dialog, const QString& name)
{
    dialog.findChild<QLineEdit*>("leName")->setText(name);
    dialog.findChild<QLineEdit*>("lnDescription")->setText("d'");
    dialog.show();
    dialog.findChild<QPushButton*>("pbOK")->click();
}
} // namespace

class TestDCategory : public RecordTest
{
    Q_OBJECT

private slots:
    void init()
    {
        RecordTest::init();
        seedCategories();
    }

    void savesIntoTheRightTable_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("subCategory");
        QTest::addColumn<QString>("parentId");
        QTest::addColumn<bool>("modify");
        QTest::addColumn<QString>("added");
        QTest::newRow("new category after those of its kind")
            << "expense" << false << "" << false << "top||n|expense|d'|1";
        QTest::newRow("new sub-category: first parent") << "income" << true << "" << false << "sub|X|n|income|d'|2";
        QTest::newRow("new sub-category: parent given") << "income" << true << "Y" << false << "sub|Y|n|income|d'|2";
        QTest::newRow("new sub-category: unknown parent")
            << "income" << true << "gone" << false << "sub|X|n|income|d'|2";
        QTest::newRow("changed sub-category keeps parent") << "income" << true << "" << true << "sub|X|n|income|d'|1";
    }
    void savesIntoTheRightTable()
    {
        QFETCH(QString, kind);
        QFETCH(bool, subCategory);
        QFETCH(QString, parentId);
        QFETCH(bool, modify);
        QFETCH(QString, added);
        MessageBoxRecorder boxes;
        QStringList expected = rows(kind);
        if (modify)
            expected.removeOne("sub|X|sub|income|old|1");
        DCategory dialog(kind, nullptr, subCategory, parentId);
        auto* parents = dialog.findChild<QComboBox*>("cbParentId");
        QCOMPARE(parents->isVisibleTo(&dialog), subCategory);
        if (subCategory) // only the categories of the kind, in the book's order
            QCOMPARE(parents->count(), 2);
        if (modify)
            dialog.setCategory(MCategory::getSubCategoryById("S"));
        typeAndSave(dialog, "n");
        QVERIFY(boxes.boxes().isEmpty());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        expected << added;
        expected.sort();
        QCOMPARE(rows(kind), expected);
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
        QTest::newRow("empty name") << false << "income"
                                    << "" << false << ""
                                    << "分类名称不能为空！";
        QTest::newRow("sub-category without categories of its kind") << true << "other"
                                                                     << "n" << false << ""
                                                                     << "小类必须属于一个大类，请先选择所属大类。";
        QTest::newRow("changed sub-category whose parent is gone") << true << "expense"
                                                                   << "n" << true << ""
                                                                   << "小类必须属于一个大类，请先选择所属大类。";
        QTest::newRow("insert refused") << false << "income"
                                        << "n" << false << "tbl_category" << failed;
        QTest::newRow("update refused") << true << "income"
                                        << "n" << true << "tbl_sub_category" << failed;
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
        const QStringList before = rows("") + rows("income") + rows("expense") + rows("other");
        MessageBoxRecorder boxes;
        DCategory dialog(kind, nullptr, subCategory, "");
        if (modify) // the parent list of an expense dialog does not hold the income category X
            dialog.setCategory(MCategory::getSubCategoryById("S"));
        typeAndSave(dialog, name);
        QCOMPARE(boxes.boxes(), (QVector<QPair<QString, QString>>{{"错误", message}}));
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.findChild<QLineEdit*>("leName")->text(), name);
        QCOMPARE(rows("") + rows("income") + rows("expense") + rows("other"), before);
        QCOMPARE(MCategory::getSubCategoryById("S")->getName(), QString("sub"));
    }
};

QTEST_MAIN(TestDCategory)
#include "tst_dcategory.moc"
