#include "memorybudget.h"

#include <QtTest>

#include <deque>
#include <numeric>
#include <string>

namespace {
// A connection as the budget sees it: it claims, and lets go of all it holds when evicted, as a closed one does.
struct Connection : MemoryBudget::Holder
{
    Connection(MemoryBudget& budget, std::string address) : budget(budget), address(std::move(address)) {}
    bool claim(qint64 bytes)
    {
        const bool now = budget.claim(this, address, bytes);
        (now ? held : wanted) += bytes;
        return now;
    }
    void evict() override
    {
        evicted = true;
        held = 0;
        budget.release(this);
    }
    void roomMade() override { held += std::exchange(wanted, 0); }

    MemoryBudget& budget;
    std::string address;
    qint64 held = 0;
    qint64 wanted = 0;
    bool evicted = false;
};

using Connections = std::deque<Connection>;
using Clock = MemoryBudget::Clock;

// Whether the budget counts what the connections hold, as they count it themselves, and keeps to its total.
bool counted(const MemoryBudget& budget, const Connections& connections)
{
    qint64 held = 0;
    for (const Connection& connection : connections)
        held += connection.held;
    return held == budget.used() && held <= budget.total();
}
} // namespace

// The memory that requests being read may take, shared among client addresses.
class TestMemoryBudget : public QObject
{
    Q_OBJECT

private slots:
    // A claim that finds no room takes it only from connections that give way: one that has read nothing for the
    // stall time, the one silent longest first, or one of an address that holds more than twice its share, as long as
    // that address keeps its share. A request that has its room and reads is never closed for another's; once all go
    // silent, the waiting claim is served.
    void onlyConnectionsWithoutProgressGiveWay_data()
    {
        QTest::addColumn<QStringList>("addresses");
        QTest::addColumn<QList<int>>("holds");
        // Seconds each connection has read nothing for.
        QTest::addColumn<QList<int>>("silentFor");
        QTest::addColumn<QList<bool>>("givesWay");
        const QStringList three{"10.0.0.1", "10.0.0.2", "10.0.0.3"};
        const QList<int> alike{300, 300, 300};
        QTest::newRow("a crowd that reads") << three << alike << QList<int>{0, 4, 0} << QList<bool>{false, false, false};
        QTest::newRow("a silent one") << three << alike << QList<int>{0, 5, 0} << QList<bool>{false, true, false};
        QTest::newRow("the one silent longest") << three << alike << QList<int>{6, 0, 7} << QList<bool>{false, false, true};
        QTest::newRow("an address past twice its share")
            << QStringList(3, "10.0.0.1") << alike << QList<int>{0, 0, 0} << QList<bool>{true, false, false};
        QTest::newRow("a single request past twice its share")
            << QStringList{"10.0.0.1", "10.0.0.2"} << QList<int>{800, 100} << QList<int>{0, 0} << QList<bool>{false, false};
    }

    void onlyConnectionsWithoutProgressGiveWay()
    {
        QFETCH(QStringList, addresses);
        QFETCH(QList<int>, holds);
        QFETCH(QList<int>, silentFor);
        QFETCH(QList<bool>, givesWay);
        Clock::time_point now = Clock::now();
        MemoryBudget budget(1000, [&now] { return now; });
        Connections connections;
        QVERIFY(connections.emplace_back(budget, "10.0.0.9").claim(100));
        budget.pin(&connections.back());
        for (int i = 0; i < addresses.size(); ++i)
            QVERIFY(connections.emplace_back(budget, addresses[i].toStdString()).claim(holds[i]));
        const Clock::time_point start = now;
        now += std::chrono::seconds(10);
        // Each reads its last byte as the clock goes on, the one silent longest first.
        QList<int> order(silentFor.size());
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return silentFor[a] > silentFor[b]; });
        for (const int i : order) {
            now = start + std::chrono::seconds(10 - silentFor[i]);
            budget.progressed(&connections[std::size_t(i + 1)]);
        }
        now = start + std::chrono::seconds(10);

        Connection& claimant = connections.emplace_back(budget, "10.0.0.4");
        QCOMPARE(claimant.claim(200), givesWay.contains(true));
        for (int i = 0; i < givesWay.size(); ++i)
            QCOMPARE(connections[std::size_t(i + 1)].evicted, givesWay[i]);
        QVERIFY(counted(budget, connections));

        now += MemoryBudget::stallTime;
        QVERIFY(!budget.serveWaiting());
        QVERIFY(claimant.wanted == 0 && claimant.held == 200);
        QVERIFY(counted(budget, connections));
    }

    // Memory given back goes to the waiting claims, those of the address that will hold the least first, though it
    // asked last; what a request being worked on holds is never taken for them. A proxy's connection counts under the
    // client once its head names it.
    void roomComesBackToTheLeastHeldFirst()
    {
        MemoryBudget budget(1000);
        Connections connections;
        for (const auto& [address, bytes] : {std::pair("10.0.0.1", 400), {"127.0.0.5", 300}, {"10.0.0.3", 300}}) {
            QVERIFY(connections.emplace_back(budget, address).claim(bytes));
            budget.pin(&connections.back());
        }
        connections[1].address = "10.0.0.2";
        QVERIFY(!connections[1].claim(50));
        QVERIFY(budget.heldBy("127.0.0.5") == 0 && budget.heldBy("10.0.0.2") == 300);
        Connection& holding = connections.emplace_back(budget, "10.0.0.2");
        QVERIFY(!holding.claim(350));
        Connection& crowd = connections.emplace_back(budget, "10.0.0.5");
        QVERIFY(!crowd.claim(400));
        Connection& newcomer = connections.emplace_back(budget, "10.0.0.4");
        QVERIFY(!newcomer.claim(100));

        connections[0].evict();
        QVERIFY(newcomer.wanted == 0 && holding.wanted > 0 && crowd.wanted > 0);
        connections[1].evict();
        QVERIFY(holding.wanted == 0);
        QVERIFY(counted(budget, connections));
    }
};

QTEST_GUILESS_MAIN(TestMemoryBudget)
#include "tst_memorybudget.moc"
