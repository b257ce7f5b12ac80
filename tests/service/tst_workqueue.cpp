#include "workqueue.h"

#include <QStringList>
#include <QtTest>

class TestWorkQueue : public QObject
{
    Q_OBJECT

private slots:
    // Worker time fades by half every ten seconds. On the test's clock a worked 2 s, then f of a third address fills
    // the gap but a second before b works 1 s; when a and b wait again, a goes first only once its use has faded below
    // b's, a little over ten seconds on.
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
        // A pool of no thread of its own: the work runs on this one, once all is queued.
        boost::asio::thread_pool worker(0);
        qint64 nowMs = 0;
        WorkQueue queue(worker, 1, 2,
                        [&nowMs] { return WorkQueue::Clock::time_point(std::chrono::milliseconds(nowMs)); });
        QStringList ran;
        for (const auto& [address, seconds] : {std::pair{"a", 2}, {"a", 0}, {"f", gapSeconds - 1}, {"b", 1}, {"b", 0}})
            QVERIFY(queue.add(address, [&, address = QString(address), seconds = seconds] {
                nowMs += seconds * 1000;
                ran << address;
                if (ran.size() == order.size())
                    worker.stop();
            }));
        worker.attach();
        QCOMPARE(ran, order);
    }
};

QTEST_GUILESS_MAIN(TestWorkQueue)
#include "tst_workqueue.moc"
