#include "serviceprocess.h"
#include "simulateddevice.h"
#include "testpooler.h"
#include "teststore.h"

#include <QtTest>
#include <memory>
#include <optional>

// Devices of one account syncing at the same moment, through one service process or through two on one store, with
// clocks apart or one of them sending a large upload meanwhile, or through a pooler in front of the PostgreSQL store,
// end with the same bills and lose none of their edits.
class TestConcurrentSync : public QObject
{
    Q_OBJECT

private slots:
    void devicesConverge_data()
    {
        QTest::addColumn<int>("processes");
        QTest::addColumn<int>("hoursApart");
        QTest::addColumn<int>("inFlight");
        // PgBouncer's pool_mode in front of the store, for none.
        QTest::addColumn<QString>("poolMode");
        QTest::newRow("one service process") << 1 << 0 << 0 << QString();
        QTest::newRow("two service processes") << 2 << 0 << 0 << QString();
        QTest::newRow("clocks two hours ahead and behind") << 1 << 2 << 0 << QString();
        QTest::newRow("a large upload in flight") << 2 << 0 << 20000 << QString();
        QTest::newRow("two service processes through a pooler in session mode") << 2 << 0 << 0 << "session";
        QTest::newRow("two service processes through a pooler in transaction mode") << 2 << 0 << 0 << "transaction";
    }

    void devicesConverge()
    {
        QFETCH(int, processes);
        QFETCH(int, hoursApart);
        QFETCH(int, inFlight);
        QFETCH(QString, poolMode);
        QTemporaryDir folder;
        std::optional<TestStore> store;
        std::optional<TestPooler> pooler;
        QString database;
        if (!poolMode.isEmpty()) {
            if (!TestStore::onPostgreSql())
                QSKIP("a pooler stands in front of a PostgreSQL store alone");
            if (const QString missing = TestPooler::missing(); !missing.isEmpty())
                QSKIP(qPrintable(missing));
            QVERIFY(!store.emplace(folder.filePath("service.db")).address().isEmpty());
            // In transaction mode the pooler hands out its server connections in turn, each transaction, and each
            // statement outside one, to another than the one before, as a busy pool does; a quiet one would hand a
            // connection back the server connection it had last.
            const bool transactions = poolMode == "transaction";
            pooler.emplace(poolMode, transactions ? QStringList{"server_round_robin = 1"} : QStringList());
            QVERIFY2(pooler->running(), pooler->log().constData());
            database = pooler->address(store->address(), transactions ? "pool_mode=transaction" : "");
            QVERIFY(!transactions || pooler->openServerConnections(database, 4));
        }
        ServiceProcess first({}, database);
        QVERIFY(first.addAccount("family", "pw"));
        std::unique_ptr<ServiceProcess> second;
        if (processes == 2)
            second = std::make_unique<ServiceProcess>(QStringList(), first.database());
        const QString secondUrl = second ? second->baseUrl() : first.baseUrl();
        QVERIFY(!first.baseUrl().isEmpty() && !secondUrl.isEmpty());

        // Each sync of a book of some thousand bills keeps the account long enough for the other to arrive.
        SimulatedDevice a(first.baseUrl(), "family", "pw", 1);
        SimulatedDevice b(secondUrl, "family", "pw", 2);
        a.setClockOffset(hoursApart * 3600);
        b.setClockOffset(-hoursApart * 3600);
        a.addBills(3000);
        QVERIFY(SimulatedDevice::runTogether({&a}, 1, 0));
        // B's first sync carries its bills while A keeps syncing; A's next syncs must bring them all the same.
        b.addBills(inFlight);
        QVERIFY(SimulatedDevice::runTogether({&a, &b}, 40, 3));
        // Nothing changes any more: syncs without edits bring each device the other's last ones. A sync told the
        // service is busy, as a loaded machine makes some, keeps its edits for the next.
        QVERIFY(SimulatedDevice::settle({&a, &b}));

        QCOMPARE(a.failures() + b.failures(), 0);
        QCOMPARE(a.staleAnswers() + b.staleAnswers(), 0);
        QCOMPARE(a.lostEdits(a.bills()), QStringList());
        QCOMPARE(b.lostEdits(a.bills()), QStringList());
        QVERIFY(a.bills() == b.bills());
    }
};

QTEST_GUILESS_MAIN(TestConcurrentSync)
#include "tst_concurrentsync.moc"
