#include "workqueue.h"

#include <QStringList>
#include <QtTest>

#include <condition_variable>

namespace {
// Long enough for a worker thread to be scheduled on a loaded machine; only a fault makes a test wait it out.
const auto patience = std::chrono::seconds(30);

// A queue of one worker that runs on the test's thread once all is queued, on a clock the work itself moves on: each
// request is "address:cost:seconds", cost C or E. Returns the addresses in the order their requests ran.
QStringList runInTurn(const QStringList& requests)
{
    boost::asio::thread_pool worker(0);
    qint64 nowMs = 0;
    WorkQueue queue(worker, 1, 1, 4,
                    [&nowMs] { return WorkQueue::Clock::time_point(std::chrono::milliseconds(nowMs)); });
    QStringList ran;
    for (const QString& request : requests) {
        const QStringList parts = request.split(':');
        const auto cost = parts.at(1) == "E" ? WorkQueue::Cost::Expensive : WorkQueue::Cost::Cheap;
        if (!queue.add(parts.at(0).toStdString(), cost, [&, parts] {
                nowMs += parts.at(2).toInt() * 1000;
                ran << parts.at(0);
                if (ran.size() == requests.size())
                    worker.stop();
            }))
            return {"refused " + request};
    }
    worker.attach();
    return ran;
}
} // namespace

class TestWorkQueue : public QObject
{
    Q_OBJECT

private slots:
    // Worker time fades by half every ten seconds. a works 2 s, then f of a third address fills the gap but a second
    // before b works 1 s; when a and b wait again, a goes first only once its use has faded below b's, a little over
    // ten seconds on. Within each cost, and across both for one address, the address that used less goes first.
    void freeWorkerTakesTheAddressThatUsedLeast_data()
    {
        QTest::addColumn<QStringList>("requests");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("faded after 9 s") << QStringList{"a:C:2", "a:C:0", "f:C:8", "b:C:1", "b:C:0"}
                                         << QStringList{"a", "f", "b", "b", "a"};
        QTest::newRow("faded after 11 s") << QStringList{"a:C:2", "a:C:0", "f:C:10", "b:C:1", "b:C:0"}
                                          << QStringList{"a", "f", "b", "a", "b"};
        QTest::newRow("expensive ones") << QStringList{"a:E:2", "a:E:0", "b:E:1", "b:E:0"}
                                        << QStringList{"a", "b", "b", "a"};
        QTest::newRow("an address's expensive work ranks its cheap")
            << QStringList{"a:E:2", "a:C:0", "b:E:1", "b:C:0"} << QStringList{"a", "b", "b", "a"};
    }

    void freeWorkerTakesTheAddressThatUsedLeast()
    {
        QFETCH(QStringList, requests);
        QFETCH(QStringList, order);
        QCOMPARE(runInTurn(requests), order);
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
            QVERIFY(queue.add("127.0.0." + std::to_string(i + 2), WorkQueue::Cost::Expensive, [&] {
                std::unique_lock<std::mutex> lock(mutex);
                expensiveMost = std::max(expensiveMost, ++expensiveNow);
                changed.notify_all();
                changed.wait(lock, [&] { return released; });
                --expensiveNow;
                ++expensiveDone;
                changed.notify_all();
            }));
        std::unique_lock<std::mutex> lock(mutex);
        QVERIFY(changed.wait_for(lock, patience, [&] { return expensiveNow >= expensiveAtOnce; }));
        lock.unlock();
        QVERIFY(queue.add("127.0.0.1", WorkQueue::Cost::Cheap, [&] {
            const std::lock_guard<std::mutex> guard(mutex);
            cheapDone = true;
            changed.notify_all();
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
