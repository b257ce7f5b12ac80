#include "bookkeeping/ddateperiod.h"
#include "messageboxrecorder.h"

#include <QDateEdit>
#include <QPushButton>
#include <QtTest>

class TestDDatePeriod : public QObject
{
    Q_OBJECT

private slots:
    void turnsTheDatesIntoACondition_data()
    {
        QTest::addColumn<QDate>("from");
        QTest::addColumn<QDate>("to");
        QTest::addColumn<QString>("condition");
        QTest::addColumn<bool>("refused");
        QTest::newRow("one day") << QDate(2014, 5, 17) << QDate(2014, 5, 17)
                                 << " datetime(date) >= datetime('2014-05-17') and datetime(date) <= datetime( "
                                    "'2014-05-17')"
                                 << false;
        QTest::newRow("reversed by a day") << QDate(2014, 6, 1) << QDate(2014, 5, 31) << "" << true;
    }
    void turnsTheDatesIntoACondition()
    {
        QFETCH(QDate, from);
        QFETCH(QDate, to);
        QFETCH(QString, condition);
        QFETCH(bool, refused);
        MessageBoxRecorder boxes;
        DDatePeriod dialog(nullptr);
        dialog.findChild<QDateEdit*>("deFromDate")->setDate(from);
        dialog.findChild<QDateEdit*>("deToDate")->setDate(to);
        dialog.show();
        dialog.findChild<QPushButton*>("pbOk")->click();
        QCOMPARE(dialog.getCondition(), condition);
        QCOMPARE(dialog.isVisible(), refused);
        using Boxes = QVector<QPair<QString, QString>>;
        const Boxes expected = refused ? Boxes{{"日期错误", "开始日期不能大于结束日期"}} : Boxes();
        QCOMPARE(boxes.boxes(), expected);
    }
};

QTEST_MAIN(TestDDatePeriod)
#include "tst_ddateperiod.moc"
