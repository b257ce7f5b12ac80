#include "memorybudget.h"

#include <QtTest>

#include <algorithm>
#include <deque>
#include <map>
#include <memory>

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

// The connections that share a budget.
struct Connections
{
    explicit Connections(qint64 total) : budget(total) {}

    Connection& open(const std::string& address)
    {
        all.push_back(std::make_unique<Connection>(budget, address));
        return *all.back();
    }
    // Whether the budget counts what the connections hold, as they count it themselves, and keeps to its total.
    bool counted() const
    {
        qint64 held = 0;
        for (const auto& connection : all)
            held += connection->held;
        return held == budget.used() && held <= budget.total();
    }

    MemoryBudget budget;
    std::deque<std::unique_ptr<Connection>> all;
};
} // namespace

// The memory that requests being read may take, shared among client addresses.
class TestMemoryBudget : public QObject
{
    Q_OBJECT

private slots:
    // Many addresses, each with connections that claim a piece at a time as their bytes come and open anew when
    // closed, fill the budget and no more, to shares within a factor of two.
    void aCrowdSharesTheBudget()
    {
        const qint64 piece = 250;
        Connections crowd(10000);
        for (int i = 0; i < 24; ++i)
            crowd.open("10.0.0." + std::to_string(i % 8));
        for (bool claimed = true; claimed;) {
            claimed = false;
            for (std::size_t i = 0; i < crowd.all.size(); ++i) {
                Connection& connection = *crowd.all.at(i);
                if (connection.evicted && !connection.reopened) {
                    connection.reopened = true;
                    crowd.open(connection.address);
                } else if (!connection.evicted && connection.wanted == 0) {
                    connection.claim(piece);
                    claimed = true;
                }
                QVERIFY(crowd.counted());
            }
        }
        QCOMPARE(crowd.budget.used(), crowd.budget.total());
        std::map<std::string, qint64> shares;
        for (const auto& connection : crowd.all)
            shares[connection->address] = crowd.budget.heldBy(connection->address);
        const auto [least, most] = std::minmax_element(
            shares.cbegin(), shares.cend(), [](const auto& a, const auto& b) { return a.second < b.second; });
        QVERIFY2(most->second <= 2 * (least->second + piece), qPrintable(QString::number(most->second)));
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
        Connections connections(1000);
        Connection& larger = connections.open("10.0.0.1");
        Connection& smaller = connections.open("10.0.0.1");
        QVERIFY(larger.claim(400) && smaller.claim(200));
        QVERIFY(connections.open("10.0.0.3").claim(400 - claimantHolds));
        Connection& claimant = connections.open("10.0.0.2");
        QVERIFY(claimant.claim(claimantHolds));

        QCOMPARE(claimant.claim(claim), givesWay != "none");
        QCOMPARE(smaller.evicted, givesWay == "smaller");
        QCOMPARE(larger.evicted, givesWay == "larger");
        QVERIFY(connections.counted());
    }

    // Memory given back goes to the waiting claims, those of the address holding the least first, though it asked
    // last; what a request being worked on holds is never taken for them.
    void roomComesBackToTheLeastHeldFirst()
    {
        Connections connections(1000);
        for (const auto& [address, bytes] : {std::pair("10.0.0.1", 400), {"10.0.0.2", 300}, {"10.0.0.3", 300}}) {
            Connection& worked = connections.open(address);
            QVERIFY(worked.claim(bytes));
            connections.budget.pin(&worked);
        }
        Connection& holding = connections.open("10.0.0.2");
        QVERIFY(!holding.claim(350));
        Connection& newcomer = connections.open("10.0.0.4");
        QVERIFY(!newcomer.claim(100));

        connections.all.at(0)->evict();
        QCOMPARE(newcomer.rooms, 1);
        QCOMPARE(holding.rooms, 0);
        connections.all.at(1)->evict();
        QCOMPARE(holding.rooms, 1);
        QVERIFY(connections.counted());
    }

    // A proxy's connection counts under the proxy until its head names the client, and from then on all it holds
    // counts under the client.
    void countsUnderTheLatestAddress()
    {
        Connections connections(1000);
        Connection& proxied = connections.open("127.0.0.5");
        QVERIFY(proxied.claim(300));
        proxied.address = "10.0.0.9";
        QVERIFY(proxied.claim(100));
        QCOMPARE(connections.budget.heldBy("127.0.0.5"), 0);
        QCOMPARE(connections.budget.heldBy("10.0.0.9"), 400);
        QVERIFY(connections.counted());
    }
};

QTEST_GUILESS_MAIN(TestMemoryBudget)
#include "tst_memorybudget.moc"
