#include "memorybudget.h"

#include <QtTest>

#include <algorithm>
#include <deque>
#include <map>
#include <memory>
#include <vector>

namespace {
// A connection as the budget sees it: it claims, and lets go of everything when evicted, as a closed connection does.
struct Connection : MemoryBudget::Holder
{
    Connection(MemoryBudget& budget, std::string address) : budget(budget), address(std::move(address)) {}

    bool claim(qint64 bytes)
    {
        const bool now = budget.claim(this, address, bytes);
        if (now)
            held += bytes;
        else
            wanted = bytes;
        return now;
    }
    void evict() override
    {
        evicted = true;
        held = 0;
        budget.release(this);
    }
    void roomMade() override
    {
        held += std::exchange(wanted, 0);
        ++rooms;
    }

    MemoryBudget& budget;
    std::string address;
    qint64 held = 0;
    qint64 wanted = 0;
    bool evicted = false;
    bool reopened = false;
    int rooms = 0;
};

using Connections = std::deque<std::unique_ptr<Connection>>;

Connection& open(Connections& connections, MemoryBudget& budget, const std::string& address)
{
    connections.push_back(std::make_unique<Connection>(budget, address));
    return *connections.back();
}

// What the connections hold, as they count it themselves.
qint64 heldIn(const Connections& connections)
{
    qint64 held = 0;
    for (const auto& connection : connections)
        held += connection->held;
    return held;
}
} // namespace

// The memory that requests being read may take, shared among client addresses.
class TestMemoryBudget : public QObject
{
    Q_OBJECT

private slots:
    // Many addresses, each with connections that hold requests unfinished and claim more as their bytes come and
    // that open anew when closed, fill the budget and no more, to shares within a factor of two; an address that
    // holds nothing yet finds room at once, taken from an address that holds the most.
    void aCrowdGetsEqualSharesAndANewcomerRoom()
    {
        const qint64 piece = 250;
        MemoryBudget budget(10000);
        Connections crowd;
        const auto addressOf = [](int i) { return "10.0.0." + std::to_string(i); };
        for (int address = 0; address < 8; ++address)
            for (int i = 0; i < 3; ++i)
                open(crowd, budget, addressOf(address));
        for (bool claimed = true; claimed;) {
            claimed = false;
            for (std::size_t i = 0; i < crowd.size(); ++i) {
                Connection& connection = *crowd.at(i);
                if (connection.evicted && !connection.reopened) {
                    connection.reopened = true;
                    open(crowd, budget, connection.address);
                } else if (!connection.evicted && connection.wanted == 0) {
                    connection.claim(piece);
                    claimed = true;
                }
                QVERIFY(budget.used() <= budget.total());
                QCOMPARE(heldIn(crowd), budget.used());
            }
        }
        QCOMPARE(budget.used(), budget.total());
        qint64 least = budget.total();
        qint64 most = 0;
        for (int address = 0; address < 8; ++address) {
            least = std::min(least, budget.heldBy(addressOf(address)));
            most = std::max(most, budget.heldBy(addressOf(address)));
        }
        QVERIFY2(most <= 2 * (least + piece), qPrintable(QString("%1 to %2").arg(least).arg(most)));

        std::map<std::string, qint64> before;
        for (const auto& connection : crowd)
            before[connection->address] = budget.heldBy(connection->address);
        Connection owner(budget, "127.0.0.1");
        QVERIFY(owner.claim(100));
        const auto evicted =
            std::find_if(crowd.cbegin(), crowd.cend(), [](const auto& c) { return c->evicted && !c->reopened; });
        QVERIFY(evicted != crowd.cend());
        QCOMPARE(before.at((*evicted)->address), most);
        QVERIFY(budget.used() <= budget.total());
        QCOMPARE(heldIn(crowd) + owner.held, budget.used());
        budget.release(&owner);
    }

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
        Connection& larger = open(connections, budget, "10.0.0.1");
        Connection& smaller = open(connections, budget, "10.0.0.1");
        QVERIFY(larger.claim(400) && smaller.claim(200));
        if (claimantHolds < 400)
            QVERIFY(open(connections, budget, "10.0.0.3").claim(400 - claimantHolds));
        Connection& claimant = open(connections, budget, "10.0.0.2");
        QVERIFY(claimant.claim(claimantHolds));
        QCOMPARE(budget.used(), 1000);

        QCOMPARE(claimant.claim(claim), givesWay != "none");
        QCOMPARE(smaller.evicted, givesWay == "smaller");
        QCOMPARE(larger.evicted, givesWay == "larger");
        QCOMPARE(heldIn(connections), budget.used());
    }

    // Memory given back goes to the waiting claims, those of the address holding the least first, though it asked
    // last; what a request being worked on holds is never taken for them.
    void roomComesBackToTheLeastHeldFirst()
    {
        MemoryBudget budget(1000);
        Connections connections;
        for (const char* address : {"10.0.0.1", "10.0.0.2", "10.0.0.3"}) {
            Connection& worked = open(connections, budget, address);
            QVERIFY(worked.claim(std::string(address) == "10.0.0.1" ? 400 : 300));
            budget.pin(&worked);
        }
        Connection& holding = open(connections, budget, "10.0.0.2");
        QVERIFY(!holding.claim(350));
        Connection& newcomer = open(connections, budget, "10.0.0.4");
        QVERIFY(!newcomer.claim(100));
        QVERIFY(std::none_of(connections.cbegin(), connections.cend(), [](const auto& c) { return c->evicted; }));

        budget.release(connections.front().get());
        connections.front()->held = 0;
        QCOMPARE(newcomer.rooms, 1);
        QCOMPARE(holding.rooms, 0);
        QCOMPARE(heldIn(connections), budget.used());
        budget.release(connections.at(1).get());
        connections.at(1)->held = 0;
        QCOMPARE(holding.rooms, 1);
        QCOMPARE(heldIn(connections), budget.used());
    }

    // A proxy's connection counts under the proxy until its head names the client, and from then on all it holds
    // counts under the client.
    void countsUnderTheLatestAddress()
    {
        MemoryBudget budget(1000);
        Connection connection(budget, "127.0.0.5");
        QVERIFY(connection.claim(300));
        connection.address = "10.0.0.9";
        QVERIFY(connection.claim(100));
        QCOMPARE(budget.heldBy("127.0.0.5"), 0);
        QCOMPARE(budget.heldBy("10.0.0.9"), 400);
        QCOMPARE(budget.used(), 400);
        budget.release(&connection);
        QCOMPARE(budget.heldBy("10.0.0.9"), 0);
        QCOMPARE(budget.used(), 0);
    }
};

QTEST_GUILESS_MAIN(TestMemoryBudget)
#include "tst_memorybudget.moc"
