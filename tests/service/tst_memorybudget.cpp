#include "memorybudget.h"

#include <QtTest>

#include <deque>
#include <optional>
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
using std::chrono::milliseconds;
using std::chrono::seconds;

const qint64 mb = 1024 * 1024;

// Whether the budget counts what the connections hold, as they count it themselves, and keeps to its total.
bool counted(const MemoryBudget& budget, const Connections& connections)
{
    qint64 held = 0;
    for (const Connection& connection : connections)
        held += connection.held;
    return held == budget.used() && held <= budget.total();
}

// How a client sends its body: so many bytes every so many milliseconds, up to a time.
struct Sender
{
    qint64 bytes;
    int everyMs;
    int untilMs;
};
const Sender silent{0, 250, 0};
const Sender atPace{25600, 250, 60000};   // 100 KB/s
const Sender trickle{1, 4000, 60000};     // a byte every 4 s
const Sender heldShort{mb - 1, 250, 250}; // all but its last byte at once, then nothing

// A connection before a claim comes: its address, what it holds and does, and how its client sends.
struct Holding
{
    const char* address;
    qint64 bytes;
    // 'r' read as its client sends; 'p' paused in line for its turn; 'u' paused, and read again as the claim comes;
    // 'w' worked on; 'c' read, with a claim for 2 MB more that waits.
    char does;
    Sender sends = silent;
    // Whether its claim is granted at once, or waits.
    bool atOnce = true;
};

// Makes a connection of each holding as it claims, and moves the clock on to the time given as their clients send;
// whether each claim was granted at once or not as the holding says.
bool holdUntil(MemoryBudget& budget, Connections& connections, const QList<Holding>& holdings, Clock::time_point& now,
               int untilMs)
{
    const Clock::time_point start = now;
    bool asSaid = true;
    for (const Holding& holding : holdings) {
        Connection& connection = connections.emplace_back(budget, holding.address);
        asSaid &= connection.claim(holding.bytes) == holding.atOnce;
        if (holding.does == 'w')
            budget.pin(&connection);
        else if (holding.does == 'p' || holding.does == 'u')
            budget.pause(&connection);
    }
    for (int i = 0; i < holdings.size(); ++i)
        if (holdings[i].does == 'c')
            asSaid &= !connections[std::size_t(i)].claim(2 * mb);
    for (int ms = 250; ms <= untilMs; ms += 250) {
        now = start + milliseconds(ms);
        for (int i = 0; i < holdings.size(); ++i)
            if (const Sender& sends = holdings[i].sends; ms % sends.everyMs == 0 && ms <= sends.untilMs)
                budget.progressed(&connections[std::size_t(i)], sends.bytes);
    }
    for (int i = 0; i < holdings.size(); ++i)
        if (holdings[i].does == 'u')
            budget.resume(&connections[std::size_t(i)]);
    return asSaid;
}
} // namespace

Q_DECLARE_METATYPE(Holding)

// The memory that requests being read may take, shared among client addresses.
class TestMemoryBudget : public QObject
{
    Q_OBJECT

private slots:
    // A claim of 1 MB, when the 4 MB are taken, is served by room made of readers that fall behind: silent for the
    // stall time, or under 64 KB/s since their grant once a grace of 2 s is over, the one behind first going first;
    // or of a holder paused in line for its turn, of an address holding more than twice its share, which keeps its
    // share. A holder the service does not read is never behind. A claim that fits waits behind one waiting before it
    // in the line's order. A claim that waits is served the moment the first reader falls behind.
    void whoGivesWayForAClaim_data()
    {
        QTest::addColumn<QList<Holding>>("holdings");
        QTest::addColumn<int>("claimAtMs");
        QTest::addColumn<QList<int>>("givingWay");
        // When the claim is served: at its own time when at once, -1 when not while nothing else changes.
        QTest::addColumn<int>("servedAtMs");
        const auto reads = [](const char* address, Sender sends) { return Holding{address, mb, 'r', sends}; };
        const Holding worked{"10.0.0.9", mb, 'w'};
        const Holding paused{"10.0.0.1", mb, 'p'};
        const QList<int> none;
        const QList<int> third{2};
        QTest::newRow("bodies at 100 KB/s")
            << QList{worked, reads("10.0.0.1", atPace), reads("10.0.0.2", atPace), reads("10.0.0.3", atPace)} << 6000
            << none << 11000;
        const QList trickling{worked, reads("10.0.0.1", atPace), reads("10.0.0.2", trickle), reads("10.0.0.3", atPace)};
        QTest::newRow("a trickle among bodies at 100 KB/s") << trickling << 6000 << third << 6000;
        QTest::newRow("a trickle within its grace") << trickling << 1750 << none << 2000;
        const QList heldShortAmong{worked, reads("10.0.0.1", atPace), reads("10.0.0.2", heldShort),
                                   reads("10.0.0.3", atPace)};
        QTest::newRow("a body held a byte short, silent 5 s") << heldShortAmong << 5250 << third << 5250;
        QTest::newRow("a body held a byte short, silent 4.75 s") << heldShortAmong << 5000 << none << 5250;
        QTest::newRow("the one behind longest first")
            << QList{worked, reads("10.0.0.1", heldShort), reads("10.0.0.2", trickle), reads("10.0.0.3", atPace)}
            << 6000 << third << 6000;
        const Holding mostWorkedOn{"10.0.0.2", 3 * mb, 'w'};
        QTest::newRow("paused in line, silent 60 s") << QList{paused, mostWorkedOn} << 60000 << none << -1;
        QTest::newRow("waiting for room itself, silent 60 s")
            << QList{Holding{"10.0.0.1", mb, 'c'}, mostWorkedOn} << 60000 << none << -1;
        QTest::newRow("read again after a pause")
            << QList{Holding{"10.0.0.1", mb, 'u'}, mostWorkedOn} << 60000 << none << 62000;
        QTest::newRow("paused past twice its share") << QList{worked, paused, paused, paused} << 0 << QList{3} << 0;
        const Holding reading = reads("10.0.0.1", atPace);
        QTest::newRow("read past twice its share") << QList{worked, reading, reading, reading} << 0 << none << 2000;
        QTest::newRow("paused among those read past twice its share")
            << QList{worked, reading, paused, reading} << 0 << third << 0;
        const Holding ownPaused{"10.0.0.4", mb, 'p'};
        QTest::newRow("paused past twice its share, of the claimant's own address")
            << QList{Holding{"10.0.0.9", mb / 2, 'w'}, Holding{"10.0.0.8", mb / 2, 'w'}, ownPaused, ownPaused,
                     ownPaused}
            << 0 << none << -1;
        QTest::newRow("a single paused request past twice its share")
            << QList{worked, Holding{"10.0.0.1", 5 * mb / 2, 'p'}, Holding{"10.0.0.2", mb / 2, 'w'}} << 0 << none << -1;
        QTest::newRow("fits, behind a claim of its address")
            << QList{Holding{"10.0.0.4", 5 * mb / 2, 'c'}} << 0 << none << -1;
        QTest::newRow("fits, behind a claim of an address that will hold less")
            << QList{Holding{"10.0.0.4", 2 * mb, 'w'}, Holding{"10.0.0.1", mb / 4, 'c'}} << 0 << none << -1;
        QTest::newRow("fits, of the address that will hold least")
            << QList{Holding{"10.0.0.2", 2 * mb, 'w'}, Holding{"10.0.0.1", mb / 2, 'c'}} << 0 << none << 0;
    }

    void whoGivesWayForAClaim()
    {
        QFETCH(QList<Holding>, holdings);
        QFETCH(int, claimAtMs);
        QFETCH(QList<int>, givingWay);
        QFETCH(int, servedAtMs);
        const Clock::time_point start = Clock::now();
        Clock::time_point now = start;
        MemoryBudget budget(4 * mb, 0, [&now] { return now; });
        Connections connections;
        QVERIFY(holdUntil(budget, connections, holdings, now, claimAtMs));

        Connection& claimant = connections.emplace_back(budget, "10.0.0.4");
        QCOMPARE(claimant.claim(mb), servedAtMs == claimAtMs);
        for (int i = 0; i < holdings.size(); ++i)
            QCOMPARE(connections[std::size_t(i)].evicted, givingWay.contains(i));
        QVERIFY(counted(budget, connections));
        const std::optional<Clock::time_point> served = claimant.wanted > 0 ? budget.serveWaiting() : std::nullopt;
        QCOMPARE(served, servedAtMs <= claimAtMs ? std::nullopt : std::optional(start + milliseconds(servedAtMs)));
        if (served) {
            now = *served - milliseconds(1);
            QCOMPARE(budget.serveWaiting(), served);
            now = *served;
            budget.serveWaiting();
            QCOMPARE(claimant.held, mb);
            QVERIFY(counted(budget, connections));
        }

        // Whatever each was doing, one that goes gives back all it held and waited for.
        for (Connection& connection : connections) {
            connection.held = connection.wanted = 0;
            budget.release(&connection);
        }
        QVERIFY(budget.used() == 0 && connections.emplace_back(budget, "10.0.0.5").claim(4 * mb));
    }

    // Bodies over 256 KB together hold all the memory but the reserve, 512 KB of the 4 MB, and no more however they
    // keep pace: a small claim (a head, a body up to 256 KB) finds room in the reserve at once, though large claims
    // wait before it in the line, of its own address too, unless small ones hold the reserve themselves. While small
    // ones leave it, large ones have all the rest. Room is made only of holders whose room the claim could take: a
    // large claim takes no small reader's, however far behind, and a small one takes a small reader's that is behind,
    // but in the reserve no large holder's, not even one in line of an address holding past twice its share.
    void smallRequestsKeepRoomOfTheirOwn_data()
    {
        QTest::addColumn<QList<Holding>>("claims");
        // Made 6 s after the others, and the claims that give way to it.
        QTest::addColumn<Holding>("last");
        QTest::addColumn<QList<int>>("givingWay");
        const auto large = [](const char* address, bool atOnce) { return Holding{address, mb, 'r', atPace, atOnce}; };
        const auto half = [](const char* address) { return Holding{address, mb / 2, 'r', atPace}; };
        const auto smallHeld = [](const char* address, char does) {
            return Holding{address, MemoryBudget::smallRoom, does};
        };
        const Holding small{"10.0.0.4", 200 * 1024, 'r', atPace};
        const Holding smallWaits{"10.0.0.1", 200 * 1024, 'r', atPace, false};
        const QList<int> none;
        const QList held{large("10.0.0.1", true), large("10.0.0.2", true), large("10.0.0.3", true)};
        const QList reserveHeld{smallHeld("10.0.0.6", 'w'), smallHeld("10.0.0.7", 'w')};
        const QList sevenHalves{half("10.0.0.1"), half("10.0.0.2"), half("10.0.0.3"), half("10.0.0.5"),
                                half("10.0.0.8"), half("10.0.0.9"), half("10.0.0.10")};
        QTest::newRow("a small body beside large bodies that keep pace")
            << held + QList{large("10.0.0.5", false)} << small << none;
        QTest::newRow("a small body behind a large claim, of an address holding a large body")
            << QList{large("10.0.0.1", true), large("10.0.0.2", true), large("10.0.0.4", true),
                     large("10.0.0.5", false)}
            << small << none;
        QTest::newRow("a small body behind a large claim of its own address")
            << held + QList{large("10.0.0.4", false)} << small << none;
        QTest::newRow("a small body behind a large claim, the reserve held by small ones")
            << reserveHeld + held + QList{large("10.0.0.5", false)} << smallWaits << none;
        QTest::newRow("large bodies take all but the reserve")
            << sevenHalves + QList{Holding{"10.0.0.11", mb / 2, 'r', atPace, false}}
            << Holding{"10.0.0.4", MemoryBudget::smallRoom, 'r'} << none;
        QTest::newRow("large bodies take all that small ones leave")
            << reserveHeld + sevenHalves << Holding{"10.0.0.4", 1024, 'r', silent, false} << none;
        QTest::newRow("a large claim beside a small reader behind")
            << QList{smallHeld("10.0.0.6", 'r')} + held << Holding{"10.0.0.4", mb, 'r', silent, false} << none;
        QTest::newRow("a small claim beside a small reader behind")
            << QList{smallHeld("10.0.0.6", 'r'), smallHeld("10.0.0.7", 'w')} + held + QList{large("10.0.0.5", false)}
            << Holding{"10.0.0.1", 200 * 1024, 'r'} << QList{0};
        // Seven addresses share the 4 MB: 10.0.0.5 holds past twice its share in line for its turns, and its own large
        // claim, first in line, cannot take that room.
        const auto quarter = [](const char* address) { return Holding{address, 128 * 1024, 'w'}; };
        const QList reserveInQuarters{quarter("10.0.0.6"), quarter("10.0.0.7"), quarter("10.0.0.8"),
                                      quarter("10.0.0.9")};
        const Holding pastItsShare{"10.0.0.5", 600 * 1024, 'p'};
        const QList pastItsShareInLine{pastItsShare, pastItsShare, Holding{"10.0.0.5", 300 * 1024, 'r', silent, false}};
        QTest::newRow("a small claim beside a large request in line past twice its share")
            << reserveInQuarters + QList{Holding{"10.0.0.1", 1400 * 1024, 'w'}, Holding{"10.0.0.2", 900 * 1024, 'w'}} +
                   pastItsShareInLine
            << Holding{"10.0.0.1", 200 * 1024, 'r', silent, false} << none;
    }

    void smallRequestsKeepRoomOfTheirOwn()
    {
        QFETCH(QList<Holding>, claims);
        QFETCH(Holding, last);
        QFETCH(QList<int>, givingWay);
        Clock::time_point now = Clock::now();
        const qint64 reserve = mb / 2;
        MemoryBudget budget(4 * mb, reserve, [&now] { return now; });
        Connections connections;
        QVERIFY(holdUntil(budget, connections, claims, now, 6000));

        QCOMPARE(connections.emplace_back(budget, last.address).claim(last.bytes), last.atOnce);
        for (int i = 0; i < claims.size(); ++i)
            QCOMPARE(connections[std::size_t(i)].evicted, givingWay.contains(i));
        QVERIFY(counted(budget, connections));
        qint64 large = 0;
        for (const Connection& connection : connections)
            large += connection.held > MemoryBudget::smallRoom ? connection.held : 0;
        QVERIFY(large <= budget.total() - reserve);
        // A reader behind whose room no waiting claim could take keeps it, and wakes none of them meanwhile.
        const std::optional<Clock::time_point> next = budget.serveWaiting();
        QVERIFY(!next || *next > now);
    }

    // A reader's pace runs from its first grant, however it claims more as it reads, through the line too; a claim
    // that waited is judged from its grant, as its client could send nothing meanwhile.
    void paceRunsFromTheGrantThatEndsAWait()
    {
        const Clock::time_point start = Clock::now();
        Clock::time_point now = start;
        MemoryBudget budget(2 * mb, 0, [&now] { return now; });
        Connections connections;
        Connection& worked = connections.emplace_back(budget, "10.0.0.1");
        QVERIFY(worked.claim(mb));
        budget.pin(&worked);
        Connection& waited = connections.emplace_back(budget, "10.0.0.2");
        QVERIFY(waited.claim(mb / 2) && !waited.claim(mb));
        Connection& reader = connections.emplace_back(budget, "10.0.0.3");
        QVERIFY(reader.claim(mb / 4));
        budget.progressed(&reader, 128 * 1024);
        now += seconds(1);
        QVERIFY(reader.claim(mb / 8));
        QCOMPARE(budget.serveWaiting(), std::optional(start + seconds(4)));

        now += seconds(59);
        worked.evict();
        QVERIFY(!connections.emplace_back(budget, "10.0.0.4").claim(mb));
        QVERIFY(reader.evicted && waited.held == 3 * mb / 2);
        QCOMPARE(budget.serveWaiting(), std::optional(now + seconds(2)));
        QVERIFY(counted(budget, connections));
    }

    // Memory given back goes to the waiting claims, those of the address that will hold the least first, though it
    // asked last; what a request being worked on holds is never taken for them. A proxy's connection, once its head
    // names the client, counts all it holds and waits for under the client's address at once: its claim's place in
    // line is the client's.
    void roomComesBackToTheLeastHeldFirst()
    {
        MemoryBudget budget(1000, 0);
        Connections connections;
        for (const auto& [address, bytes] : {std::pair("10.0.0.1", 400), {"10.0.0.2", 300}, {"127.0.0.5", 300}}) {
            QVERIFY(connections.emplace_back(budget, address).claim(bytes));
            budget.pin(&connections.back());
        }
        Connection& proxied = connections[2];
        QVERIFY(!proxied.claim(50));
        Connection& crowd = connections.emplace_back(budget, "10.0.0.5");
        QVERIFY(!crowd.claim(400));
        Connection& newcomer = connections.emplace_back(budget, "10.0.0.4");
        QVERIFY(!newcomer.claim(100));
        proxied.address = "10.0.0.2";
        budget.readdress(&proxied, proxied.address);
        QVERIFY(budget.heldBy("127.0.0.5") == 0 && budget.heldBy("10.0.0.2") == 600);

        connections[0].evict();
        QVERIFY(newcomer.wanted == 0 && crowd.wanted > 0 && proxied.wanted > 0);
        connections[1].evict();
        QVERIFY(proxied.wanted == 0 && crowd.wanted == 0);
        QVERIFY(counted(budget, connections));
    }
};

QTEST_GUILESS_MAIN(TestMemoryBudget)
#include "tst_memorybudget.moc"
