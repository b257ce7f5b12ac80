#include "workqueue.h"

#include <QStringList>
#include <QtTest>

#include <atomic>
#include <future>

// The order in which the workers are shared among client addresses, on a clock of the test's own.
class TestWorkQueue : public QObject
{
    Q_OBJECT

private slots:
    // Worker time counts for less as it ages, by half every ten seconds. Address a worked 2 s, then b 1 s a gap later;
    // when both wait again, a goes first only once its older use has faded below b's, a little over ten seconds on.
    void workerTimeFadesByHalfEveryTenSeconds_data()
    {
        QTest::addColumn<int>("gapSeconds");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("9 s") << 9 << QStringList{"a", "f", "b", "b", "a"};
        QTest::newRow("11 s") << 11 << QStringList{"a", "f", "b", "a", "b"};
    }

    void workerTimeFadesByHalfEveryTenSeconds()
    {
        QFETCH(int, gapSeconds);
        QFETCH(QStringList, order);
        std::atomic<qint64> nowMs{0};
        boost::asio::thread_pool worker(1);
        WorkQueue queue(worker, 1, 2,
                        [&nowMs] { return WorkQueue::Clock::time_point(std::chrono::milliseconds(nowMs.load())); });
        std::promise<void> queued;
        const std::shared_future<void> allQueued = queued.get_future().share();
        QStringList ran;
        // Each work takes its seconds on the test's clock, once all are queued.
        const auto work = [&](const QString& address, int seconds) {
            return [&, address, seconds] {
                allQueued.wait();
                nowMs += seconds * 1000;
                ran << address;
            };
        };
        // f, of a third address, fills the gap but for the second b's first work takes.
        for (const auto& [address, seconds] : {std::pair{"a", 2}, {"a", 0}, {"f", gapSeconds - 1}, {"b", 1}, {"b", 0}})
            QVERIFY(queue.add(address, work(address, seconds)));
        queued.set_value();
        worker.join();
        QCOMPARE(ran, order);
    }
};

QTEST_GUILESS_MAIN(TestWorkQueue)
#include "tst_workqueue.moc"
