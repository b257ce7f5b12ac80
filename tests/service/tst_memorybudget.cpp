#include "memorybudget.h"

#include <QtTest>

#include <deque>
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
    // A claim takes room only from an address that holds more than twice what the claimant's will: otherwise it
    // waits, and a crowd does not go on taking room from one another. Of that address, the connection that holds the
    // least of those that free enough gives way, so that it loses no more than needed.
    void takesOnlyFromAnAddressHoldingMore_data()
    {
        QTest::addColumn<qint64>("claimantHolds");
        QTest::addColumn<qint64>("claim");
        QTest::addColumn<QString>("givesWay");
        // The other address holds 600 of the 1000, in connections of 400 and 200.
        QTest::newRow("less than half after the claim") << qint64(100) << qint64(150) << "smaller";
        QTest::newRow("needing more than the smaller holds") << qint64(0) << qint64(250) << "larger";
        QTest::newRow("half after the claim") << qint64(200) << qint64(100) << "none";
        QTest::newRow("more after the claim") << qint64(400) << qint64(250) << "none";
    }

    void takesOnlyFromAnAddressHoldingMore()
    {
        QFETCH(qint64, claimantHolds);
        QFETCH(qint64, claim);
        QFETCH(QString, givesWay);
        MemoryBudget budget(1000);
        Connections connections;
        Connection& larger = connections.emplace_back(budget, "10.0.0.1");
        Connection& smaller = connections.emplace_back(budget, "10.0.0.1");
        QVERIFY(larger.claim(400) && smaller.claim(200) &&
                connections.emplace_back(budget, "10.0.0.3").claim(400 - claimantHolds));
        Connection& claimant = connections.emplace_back(budget, "10.0.0.2");
        QVERIFY(claimant.claim(claimantHolds));

        QCOMPARE(claimant.claim(claim), givesWay != "none");
        QCOMPARE(smaller.evicted, givesWay == "smaller");
        QCOMPARE(larger.evicted, givesWay == "larger");
        QVERIFY(counted(budget, connections));
    }

    // Memory given back goes to the waiting claims, those of the address holding the least first, though it asked
    // last; what a request being worked on holds is never taken for them. A proxy's connection counts under the
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
        Connection& newcomer = connections.emplace_back(budget, "10.0.0.4");
        QVERIFY(!newcomer.claim(100));

        connections[0].evict();
        QVERIFY(newcomer.wanted == 0 && holding.wanted > 0);
        connections[1].evict();
        QVERIFY(holding.wanted == 0);
        QVERIFY(counted(budget, connections));
    }
};

QTEST_GUILESS_MAIN(TestMemoryBudget)
#include "tst_memorybudget.moc"
