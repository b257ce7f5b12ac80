#include "workqueue.h"

#include <QStringList>
#include <QtTest>

#include <boost/asio/post.hpp>

#include <atomic>
#include <condition_variable>
#include <new>

#include <pthread.h>

namespace {
// The thread whose allocations fail once as many as the test spares have been made; none while it is null.
std::atomic<pthread_t> failingThread{};
std::atomic<int> spared{0};
// Where the log's lines other than the turns' go.
QtMessageHandler testsOwnHandler = nullptr;

// The failing thread's allocations succeed while this lives: a worker's work finds memory, its own steps none.
class MemoryForTheWork
{
public:
    MemoryForTheWork() : m_failing(failingThread.exchange(pthread_t{})) {}
    ~MemoryForTheWork() { failingThread = m_failing; }
    MemoryForTheWork(const MemoryForTheWork&) = delete;
    MemoryForTheWork& operator=(const MemoryForTheWork&) = delete;

private:
    pthread_t m_failing;
};
} // namespace

// The sanitizers' allocator takes the place of the one this test fails: there its test skips.
#ifndef QUILLBAY_SANITIZED
namespace {
bool fails()
{
    return pthread_equal(pthread_self(), failingThread.load()) && spared.fetch_sub(1) <= 0;
}
} // namespace

extern "C" void* __libc_malloc(std::size_t size);
extern "C" void* __libc_memalign(std::size_t alignment, std::size_t size);

extern "C" void* malloc(std::size_t size)
{
    return fails() ? nullptr : __libc_malloc(size);
}

// What the network library allocates its steps with.
extern "C" void* aligned_alloc(std::size_t alignment, std::size_t size)
{
    return fails() ? nullptr : __libc_memalign(alignment, size);
}
#endif

namespace {
// Long enough for a worker thread to be scheduled on a loaded machine; only a fault makes a test wait it out.
const auto patience = std::chrono::seconds(30);

const int waitingPerAddress = 4;

// A queue of one worker that runs on the test's thread once all is queued, on a clock the work itself moves on: each
// request is "address:kind:seconds". Kind C or E is cheap or expensive work, and its run is named by its address.
// Each other kind comes in the cheap line and finds itself expensive there: H is such work alone, F first sends as
// many more cheap requests of its address as it may, and W withdraws the first request. Their runs are named by
// address and line, and each such work takes the expensive line again when given the chance. A starved worker finds
// no memory but for the work itself. Returns the runs in order.
QStringList runInTurn(const QStringList& requests, bool starved)
{
    boost::asio::thread_pool worker(0);
    qint64 nowMs = 0;
    WorkQueue queue(worker, 1, 1, waitingPerAddress,
                    [&nowMs] { return WorkQueue::Clock::time_point(std::chrono::milliseconds(nowMs)); });
    QStringList ran;
    std::vector<quint64> tickets;
    const auto add = [&queue, &ran, &tickets](const std::string& address, const QString& request,
                                              WorkQueue::Work work) {
        const std::optional<quint64> ticket =
            queue.add(address, request.contains(":E:") ? WorkQueue::Cost::Expensive : WorkQueue::Cost::Cheap, work);
        if (!ticket)
            ran << "refused " + request;
        tickets.push_back(ticket.value_or(0));
    };
    // The address is all before the kind, an IPv6 client's colons among it.
    const auto addressOf = [](const QString& request) { return request.section(':', 0, -3); };
    std::function<void(const QString&)> addRequest = [&](const QString& request) {
        const QString address = addressOf(request);
        add(address.toStdString(), request, [&, address, request, runs = 0](WorkQueue::Cost line) mutable {
            const MemoryForTheWork memory;
            nowMs += request.section(':', -1).toInt() * 1000;
            const QString kind = request.section(':', -2, -2);
            if (kind == "C" || kind == "E") {
                ran << address;
                return true;
            }
            ran << address + (line == WorkQueue::Cost::Cheap ? " C" : " E");
            if (kind == "F" && line == WorkQueue::Cost::Cheap) {
                for (int i = 0; i < waitingPerAddress; ++i)
                    addRequest(address + ":C:0");
            }
            if (kind == "W" && line == WorkQueue::Cost::Cheap) {
                const bool withdrawn = queue.withdraw(addressOf(requests.first()).toStdString(), tickets.at(0));
                ran << (withdrawn ? "withdrew " : "missed ") + requests.first();
            }
            return ++runs > 2;
        });
    };
    for (const QString& request : requests)
        addRequest(request);
    // The worker runs whatever may start before it looks for this.
    boost::asio::post(worker, [&worker] { worker.stop(); });
    {
        const auto fed = qScopeGuard([] { failingThread = pthread_t{}; });
        if (starved) {
            spared = 0;
            failingThread = pthread_self();
        }
        worker.attach();
    }
    return ran;
}
} // namespace

class TestWorkQueue : public QObject
{
    Q_OBJECT

private slots:
    // The turns' log is on, as an operator may have it, and its lines go nowhere: a handler that kept them would want
    // memory where a worker finds none.
    void initTestCase()
    {
        QLoggingCategory::setFilterRules("quillbay.service.turns.debug=true");
        testsOwnHandler =
            qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& message) {
                if (qstrcmp(context.category, "quillbay.service.turns") != 0)
                    testsOwnHandler(type, context, message);
            });
    }

    // Worker time fades by half every ten seconds. a works 2 s, then f of a third address fills the gap but a second
    // before b works 1 s; when a and b wait again, a goes first only once its use has faded below b's, a little over
    // ten seconds on. Within each cost, and across both for one address, the address that used less goes first.
    // Work that finds in the cheap line that it is expensive goes to the expensive line once, keeping its arrival
    // (it goes before expensive work that came later, its own address's too), its ticket (its client may still withdraw
    // it) and its place among the address's waiting requests (the cap, reached meanwhile, does not refuse it). There it
    // runs whatever it finds. A worker that finds no memory for its own steps, its work aside, takes every request in
    // the same order, an IPv6 client's, whose address is too long to be kept within the text itself, too, and the
    // turns' log goes without the lines it cannot make: none of those steps may throw, as a failure on a worker outside
    // the work would end the service.
    void runsInTurn_data()
    {
        QTest::addColumn<QStringList>("requests");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("faded after 9 s") << QStringList{"a:C:2", "a:C:0", "f:C:8", "b:C:1", "b:C:0"}
                                         << QStringList{"a", "f", "b", "b", "a"};
        QTest::newRow("faded after 11 s")
            << QStringList{"a:C:2", "a:C:0", "f:C:10", "b:C:1", "b:C:0"} << QStringList{"a", "f", "b", "a", "b"};
        QTest::newRow("expensive ones") << QStringList{"a:E:2", "a:E:0", "b:E:1", "b:E:0"}
                                        << QStringList{"a", "b", "b", "a"};
        QTest::newRow("an address's expensive work ranks its cheap")
            << QStringList{"a:E:2", "a:C:0", "b:E:1", "b:C:0"} << QStringList{"a", "b", "b", "a"};
        QTest::newRow("runs once more") << QStringList{"a:H:0"} << QStringList{"a C", "a E"};
        QTest::newRow("keeps its arrival")
            << QStringList{"a:H:0", "b:E:0", "c:C:0"} << QStringList{"a C", "a E", "b", "c"};
        QTest::newRow("keeps its arrival among its address's")
            << QStringList{"a:H:0", "a:E:0"} << QStringList{"a C", "a E", "a"};
        QTest::newRow("withdrawn by its ticket")
            << QStringList{"a:H:1", "b:W:0"} << QStringList{"a C", "b C", "withdrew a:H:1", "b E"};
        QTest::newRow("not refused at the cap")
            << QStringList{"a:F:1"} << QStringList{"a C", "a E", "a", "a", "a", "a"};
        const QString first = "2001:db8:85a3:8d3::/64";
        const QString second = "2001:db8:85a3:8d4::/64";
        QTest::newRow("IPv6 clients") << QStringList{first + ":C:2", second + ":E:1", first + ":C:0"}
                                      << QStringList{first, second, first};
        QTest::newRow("an IPv6 client's, to the expensive line")
            << QStringList{first + ":H:0", second + ":E:0", first + ":C:0"}
            << QStringList{first + " C", first + " E", second, first};
    }

    void runsInTurn()
    {
        QFETCH(QStringList, requests);
        QFETCH(QStringList, order);
        QCOMPARE(runInTurn(requests, false), order);
#ifndef QUILLBAY_SANITIZED
        QCOMPARE(runInTurn(requests, true), order);
#endif
    }

    // A request that cannot be queued, whichever of the queue's allocations fails (its address's entry, its line, its
    // address's listing, the start of a worker for it), leaves nothing queued: its caller, told by the throw, holds no
    // ticket for it, and it never runs for a client that has gone. The worker that was to take it stays free for the
    // next request. Each allocation fails in turn, on a fresh queue, until the request is queued.
    void failedAddLeavesNothingQueued()
    {
#ifdef QUILLBAY_SANITIZED
        QSKIP("the sanitizers' allocator cannot be made to fail");
#endif
        bool queued = false;
        for (int spare = 0; !queued && spare < 50; ++spare) {
            boost::asio::thread_pool worker(0);
            WorkQueue queue(worker, 1, 1, waitingPerAddress);
            QStringList ran;
            const auto work = [&ran](const QString& name) -> WorkQueue::Work {
                return [&ran, name](WorkQueue::Cost) {
                    ran << name;
                    return true;
                };
            };
            spared = spare;
            failingThread = pthread_self();
            try {
                queued = queue.add("127.0.0.2", WorkQueue::Cost::Cheap, work("first")).has_value();
            } catch (const std::bad_alloc&) {
            }
            failingThread = pthread_t{};
            QVERIFY(queue.add("127.0.0.2", WorkQueue::Cost::Cheap, work("next")));
            boost::asio::post(worker, [&worker] { worker.stop(); });
            worker.attach();
            QCOMPARE(ran.join(", "), QString(queued ? "first, next" : "next"));
        }
        QVERIFY(queued);
    }

    // Every address but the owner's sends expensive work that holds its worker until the test lets it go: they take
    // the workers less the reserve, and the owner's cheap request is worked on meanwhile. Once let go, the expensive
    // ones all run, never more at once than their share.
    void cheapRequestFindsAWorkerWhileExpensiveOnesHoldTheRest_data()
    {
        QTest::addColumn<int>("workers");
        QTest::addColumn<int>("expensiveAtOnce");
        QTest::newRow("2 of 4 kept") << 4 << 2;
        QTest::newRow("1 of 4 kept") << 4 << 3;
        QTest::newRow("1 of 2 kept") << 2 << 1;
    }

    void cheapRequestFindsAWorkerWhileExpensiveOnesHoldTheRest()
    {
        QFETCH(int, workers);
        QFETCH(int, expensiveAtOnce);
        boost::asio::thread_pool pool{std::size_t(workers)};
        WorkQueue queue(pool, workers, expensiveAtOnce, 4);
        std::mutex mutex;
        std::condition_variable changed;
        bool released = false;
        int expensiveNow = 0;
        int expensiveMost = 0;
        int expensiveDone = 0;
        bool cheapDone = false;
        // However the test ends, the work held is let go and the workers end before the queue goes.
        const std::shared_ptr<void> letGo(nullptr, [&](void*) {
            {
                const std::lock_guard<std::mutex> guard(mutex);
                released = true;
            }
            changed.notify_all();
            pool.join();
        });
        const int expensiveCount = 3 * workers;
        for (int i = 0; i < expensiveCount; ++i)
            QVERIFY(queue.add("127.0.0." + std::to_string(i + 2), WorkQueue::Cost::Expensive, [&](WorkQueue::Cost) {
                std::unique_lock<std::mutex> lock(mutex);
                expensiveMost = std::max(expensiveMost, ++expensiveNow);
                changed.notify_all();
                changed.wait(lock, [&] { return released; });
                --expensiveNow;
                ++expensiveDone;
                changed.notify_all();
                return true;
            }));
        std::unique_lock<std::mutex> lock(mutex);
        QVERIFY(changed.wait_for(lock, patience, [&] { return expensiveNow >= expensiveAtOnce; }));
        lock.unlock();
        QVERIFY(queue.add("127.0.0.1", WorkQueue::Cost::Cheap, [&](WorkQueue::Cost) {
            const std::lock_guard<std::mutex> guard(mutex);
            cheapDone = true;
            changed.notify_all();
            return true;
        }));
        lock.lock();
        QVERIFY2(changed.wait_for(lock, patience, [&] { return cheapDone; }), "the cheap request found no worker");
        QCOMPARE(expensiveNow, expensiveAtOnce);
        released = true;
        changed.notify_all();
        QVERIFY(changed.wait_for(lock, patience, [&] { return expensiveDone == expensiveCount; }));
        QCOMPARE(expensiveMost, expensiveAtOnce);
    }
};

QTEST_GUILESS_MAIN(TestWorkQueue)
#include "tst_workqueue.moc"
