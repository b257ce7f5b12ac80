#include "loadoutcome.h"
#include "serviceprocess.h"
#include "simulateddevice.h"

#include <QtTest>

#include <memory>
#include <vector>

namespace {
const int accounts = 2;
const int devicesPerAccount = 3;
// Every device from the one address may have its request waiting for a worker, as in the load test: a login told
// the service is busy would be a failure.
const QStringList serviceArguments{"--waiting-per-address", QString::number(accounts* devicesPerAccount)};
} // namespace

// The load test's verdict rests on its settling: edits still on a device when the rounds end are delivered by
// syncs without edits, and the other devices of the account only hold them after a further sync. An edit that could
// not be delivered is counted apart, never as lost.
class TestLoadOutcome : public QObject
{
    Q_OBJECT

private slots:
    void settlesWhatTheRoundsLeft_data()
    {
        QTest::addColumn<int>("left");
        QTest::newRow("nothing left to send") << 0;
        QTest::newRow("edits left on a device of each account") << 3;
    }

    void settlesWhatTheRoundsLeft()
    {
        QFETCH(int, left);
        ServiceProcess service(serviceArguments);
        QVERIFY(!service.baseUrl().isEmpty());
        const QList<SimulatedDevice*> devices = makeDevices(service);
        QVERIFY(SimulatedDevice::runTogether(devices, 2, 2));
        // As a sync told the service is busy leaves them: kept on the device for its next sync.
        for (int account = 0; account < accounts; ++account)
            devices.at(account)->addBills(left);

        const LoadOutcome outcome(devices, accounts, true);
        QVERIFY(outcome.settled());
        QCOMPARE(outcome.converged(), accounts);
        QCOMPARE(outcome.lost(), 0);
        QCOMPARE(outcome.undelivered(), 0);
        QCOMPARE(outcome.stale(), 0);
        QCOMPARE(outcome.failures(), 0);
        QVERIFY(outcome.sound());
    }

    void countsEditsThatCouldNotBeDeliveredApart()
    {
        auto service = std::make_unique<ServiceProcess>(serviceArguments);
        QVERIFY(!service->baseUrl().isEmpty());
        const QList<SimulatedDevice*> devices = makeDevices(*service);
        // Every device holds every edit of its account by now, and then one has edits the service never gets.
        QVERIFY(SimulatedDevice::runTogether(devices, 1, 2));
        QVERIFY(SimulatedDevice::settle(devices));
        devices.first()->addBills(4);
        service.reset();

        const LoadOutcome outcome(devices, accounts, true);
        QVERIFY(!outcome.settled());
        QCOMPARE(outcome.lost(), 0);
        QCOMPARE(outcome.undelivered(), 4);
        QVERIFY(!outcome.sound());
    }

private:
    // Device i of account i % accounts, as the load test makes them; owned by the test until its function ends.
    QList<SimulatedDevice*> makeDevices(const ServiceProcess& service)
    {
        m_devices.clear();
        QList<SimulatedDevice*> devices;
        for (int i = 0; i < accounts; ++i)
            if (!service.addAccount(QString("load%1").arg(i), "pw"))
                return {};
        for (int i = 0; i < accounts * devicesPerAccount; ++i) {
            m_devices.push_back(std::make_unique<SimulatedDevice>(
                service.baseUrl(), QString("load%1").arg(i % accounts), "pw", quint32(i + 1)));
            devices << m_devices.back().get();
        }
        return devices;
    }

    std::vector<std::unique_ptr<SimulatedDevice>> m_devices;
};

QTEST_GUILESS_MAIN(TestLoadOutcome)
#include "tst_loadoutcome.moc"
