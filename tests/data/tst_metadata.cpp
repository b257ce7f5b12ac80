#include "data/constants.h"
#include "data/metadata.h"
#include "testbook.h"

#include <QtTest>

class TestMetaData : public QObject
{
    Q_OBJECT

private slots:
    void billKindsKeepTheirOrder()
    {
        TestBook home;
        const auto list = Constants::getInstance()->getBillKinds()->getList();
        const QStringList codes{"expense", "income", "transfer", "lend", "borrow", "refund", "repay"};
        const QStringList labels{"支出", "收入", "转账", "借出", "借入", "收款", "还款"};
        QCOMPARE(list.size(), 7);
        for (int i = 0; i < list.size(); ++i) {
            QCOMPARE(list[i].first, labels[i]);
            QCOMPARE(list[i].second, codes[i]);
        }
    }

    void lookUpsAreExactPerTable()
    {
        TestBook home;
        Constants* c = Constants::getInstance();
        QCOMPARE(c->getBillKinds()->getLabel("transfer"), QString("转账"));
        QVERIFY(c->getCategoryKinds()->getLabel("transfer").isEmpty());
        QVERIFY(c->getAccountKinds()->getLabel("Cash").isEmpty());
        QCOMPARE(c->getAccountKinds()->getCode("信用卡"), QString("credit"));
        QVERIFY(c->getBillKinds()->getLabel("").isEmpty());
        QVERIFY(c->getBillKinds()->getCode("").isEmpty());
    }

    void repeatedLabelKeepsBothPairs()
    {
        MetaData table;
        table.add("甲", "a");
        table.add("甲", "b");
        QCOMPARE(table.count(), 2);
        QCOMPARE(table.getCode("甲"), QString("b"));
        QCOMPARE(table.getLabel("a"), QString("甲"));
        QCOMPARE(table.getLabel("b"), QString("甲"));
    }
};

QTEST_MAIN(TestMetaData)
#include "tst_metadata.moc"
