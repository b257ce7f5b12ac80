#include "analysisbook.h"
#include "bookrows.h"
#include "data/maccountmodel.h"
#include "data/mbillmodel.h"
#include "data/mborrowermodel.h"
#include "data/mcategorymodel.h"
#include "data/mmembermodel.h"
#include "data/witemdelegate.h"
#include "recordtest.h"

#include <QAbstractItemModelTester>
#include <QStandardItemModel>
#include <QStyleOptionViewItem>
#include <QtTest>

namespace {
QStringList rowTexts(const QAbstractItemModel& model, int row)
{
    QStringList texts;
    for (int column = 0; column < model.columnCount(); ++column)
        texts << model.data(model.index(row, column)).toString();
    return texts;
}

std::unique_ptr<QAbstractItemModel> modelNamed(const QString& name)
{
    if (name == "bill") {
        auto bills = std::make_unique<MBillModel>();
        bills->refresh();
        return bills;
    }
    if (name == "category")
        return std::make_unique<MCategoryModel>("expense");
    if (name == "account")
        return std::make_unique<MAccountModel>();
    if (name == "borrower")
        return std::make_unique<MBorrowerModel>();
    return std::make_unique<MMemberModel>();
}
} // namespace

class TestMasterDataModels : public RecordTest
{
    Q_OBJECT

private slots:
    void accountTotalRowAlone()
    {
        MAccountModel model;
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(rowTexts(model, 0), QStringList({"合计", "", "0.00", "0.00", ""}));
        QVERIFY(!model.getAccount(0));
        QVERIFY(model.index(0, 0).internalPointer());
    }

    void accountRowsAndTotal()
    {
        BookRows::exec("insert into tbl_account (id, name, kind, amount, description, sort) values "
                       "('a', '工资卡', 'card', 100, '主卡', 1), ('b', '旧账户', 'abacus', 50.5, '', 2)");
        BookRows::addBill("expense", -60, {{"account_id", "a"}});
        BookRows::addBill("expense", -1234.5 - 60.5, {{"account_id", "b"}});

        MAccountModel model;
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(rowTexts(model, 0), QStringList({"工资卡", "银行卡", "100.00", "40.00", "主卡"}));
        QCOMPARE(rowTexts(model, 1), QStringList({"旧账户", "", "50.50", "-1244.50", ""}));
        QCOMPARE(rowTexts(model, 2), QStringList({"合计", "", "150.50", "-1204.50", ""}));
        QCOMPARE(model.getAccount(1)->getId(), QString("b"));
        QCOMPARE(model.index(1, 0).internalPointer(), static_cast<void*>(model.getAccount(1)));
    }

    // Float sums that net to nothing must not show as "-0.00".
    void noNegativeZero()
    {
        BookRows::exec("insert into tbl_account (id, name, kind, amount) values ('a', 'a', 'cash', 0.3), "
                       "('b', 'b', 'cash', -0.001)");
        BookRows::exec("insert into tbl_borrower (id, name) values ('p', 'p')");
        for (double amount : {-0.1, -0.2})
            BookRows::addBill("lend", amount, {{"account_id", "a"}, {"borrower_id", "p"}});
        BookRows::addBill("refund", 0.3, {{"borrower_id", "p"}});

        MAccountModel accounts;
        QCOMPARE(rowTexts(accounts, 0).mid(2, 2), QStringList({"0.30", "0.00"}));
        QCOMPARE(rowTexts(accounts, 1).mid(2, 2), QStringList({"0.00", "0.00"}));
        QCOMPARE(rowTexts(accounts, 2).mid(2, 2), QStringList({"0.30", "0.00"}));
        MBorrowerModel borrowers;
        QCOMPARE(rowTexts(borrowers, 0).at(1), QString("0.00"));
    }

    // Views and proxies rely on the item-model contract; the table models must not grow rows beneath cells.
    void everyModelKeepsTheItemModelContract_data()
    {
        QTest::addColumn<QString>("name");
        for (const char* name : {"bill", "category", "account", "borrower", "member"})
            QTest::newRow(name) << QString(name);
    }

    void everyModelKeepsTheItemModelContract()
    {
        QFETCH(QString, name);
        AnalysisBook::seed();
        const std::unique_ptr<QAbstractItemModel> model = modelNamed(name);
        QVERIFY(model->rowCount() > 0);
        QAbstractItemModelTester tester(model.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        if (name != "bill" && name != "category") {
            QCOMPARE(model->rowCount(model->index(0, 0)), 0);
            QCOMPARE(model->columnCount(model->index(0, 0)), 0);
        }
    }

    void headersAndRoles()
    {
        MAccountModel model;
        QCOMPARE(model.headerData(2, Qt::Horizontal).toString(), QString("初始金额"));
        QCOMPARE(model.headerData(0, Qt::Vertical).toInt(), 1);
        QVERIFY(!model.data(model.index(0, 0), Qt::ToolTipRole).isValid());
        QVERIFY(!model.data(model.index(0, 0), Qt::FontRole).isValid());
        QVERIFY(!model.index(1, 0).isValid());
        QVERIFY(!model.index(0, 5).isValid());
        QVERIFY(model.flags(model.index(0, 0)) & Qt::ItemIsSelectable);
        QVERIFY(!(model.flags(model.index(0, 0)) & Qt::ItemIsEditable));
    }

    void borrowerModel()
    {
        BookRows::exec("insert into tbl_borrower (id, name, description, sort) values "
                       "('p', 'Pat', 'friend', 1), ('q', 'Quin', '', 2)");
        BookRows::addBill("lend", -100, {{"borrower_id", "p"}});
        BookRows::addBill("refund", 30, {{"borrower_id", "p"}});
        MBorrowerModel model;
        QCOMPARE(model.columnCount(), 3);
        QCOMPARE(rowTexts(model, 0), QStringList({"Pat", "-70.00", "friend"}));
        QCOMPARE(rowTexts(model, 1), QStringList({"Quin", "0.00", ""}));
        QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QString("余额"));
    }

    void borrowerModelWritesThrough()
    {
        MBorrower ann;
        MBorrowerModel model;
        QCOMPARE(model.rowCount(), 0);
        ann.setName("Ann");
        QVERIFY(model.addBorrower(&ann));
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(BookRows::value("select name from tbl_borrower where id=?", {ann.getId()}).toString(), QString("Ann"));

        MBorrower renamed = ann;
        renamed.setName("Anna");
        model.updateBorrower(&renamed);
        QCOMPARE(model.data(model.index(0, 0)).toString(), QString("Anna"));

        // A borrower the book refused (the name column refuses NULL) gets no row.
        MBorrower nameless;
        QVERIFY(!model.addBorrower(&nameless));
        QCOMPARE(model.rowCount(), 1);

        MBorrower stranger;
        QVERIFY(!model.removeBorrower(&stranger));
        QVERIFY(model.removeBorrower(&renamed));
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(BookRows::value("select count(*) from tbl_borrower").toInt(), 0);
    }

    void memberModel()
    {
        BookRows::exec("insert into tbl_member (id, name, description, sort) values ('m', 'Mum', 'cook', 1)");
        MMemberModel model;
        QCOMPARE(model.columnCount(), 2);
        QCOMPARE(rowTexts(model, 0), QStringList({"Mum", "cook"}));
        QCOMPARE(model.getMember(0)->getId(), QString("m"));
        QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QString("成员名称"));
    }

    // Every row is 25 pixels high, and as wide as its text, so that a column sized to its contents shows it whole.
    void delegateSize()
    {
        QStandardItemModel model;
        model.appendRow(new QStandardItem("-9876543.21"));
        QStyleOptionViewItem option;
        option.font.setPixelSize(30);
        const QSize size = WItemDelegate().sizeHint(option, model.index(0, 0));
        QCOMPARE(size.height(), 25);
        QVERIFY(size.width() > QFontMetrics(option.font).horizontalAdvance("-9876543.21"));
    }
};

QTEST_MAIN(TestMasterDataModels)
#include "tst_masterdatamodels.moc"
