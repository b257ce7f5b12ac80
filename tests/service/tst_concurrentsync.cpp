#include "serviceprocess.h"
#include "simulateddevice.h"

#include <QtTest>
#include <memory>

// Devices of one account syncing at the same moment, through one service process or through two on one store,
// end with the same bills and lose none of their edits.
class TestConcurrentSync : public QObject
{
    Q_OBJECT

private slots:
    void devicesConverge_data()
    {
        QTest::addColumn<int>("processes");
        QTest::newRow("one service process") << 1;
        QTest::newRow("two service processes") << 2;
    }

    void devicesConverge()
    {
        QFETCH(int, processes);
        ServiceProcess first;
        QVERIFY(first.addAccount("family", "pw"));
        std::unique_ptr<ServiceProcess> second;
        if (processes == 2)
            second = std::make_unique<ServiceProcess>(QStringList(), first.database());
        const QString secondUrl = second ? second->baseUrl() : first.baseUrl();
        QVERIFY(!first.baseUrl().isEmpty() && !secondUrl.isEmpty());

        // Each sync of a book of some thousand bills keeps the account long enough for the other to arrive.
        SimulatedDevice a(first.baseUrl(), "family", "pw", 1);
        SimulatedDevice b(secondUrl, "family", "pw", 2);
        a.addBills(3000);
        QVERIFY(SimulatedDevice::runTogether({&a}, 1, 0));
        QVERIFY(SimulatedDevice::runTogether({&a, &b}, 40, 3));
        // Nothing changes any more: one more sync each brings the other's last edits.
        QVERIFY(SimulatedDevice::runTogether({&a, &b}, 1, 0));

        QCOMPARE(a.failures() + b.failures(), 0);
        QCOMPARE(a.staleAnswers() + b.staleAnswers(), 0);
        QCOMPARE(a.lostEdits(a.bills()), QStringList());
        QCOMPARE(b.lostEdits(a.bills()), QStringList());
        QVERIFY(a.bills() == b.bills());
    }
};

QTEST_GUILESS_MAIN(TestConcurrentSync)
#include "tst_concurrentsync.moc"
