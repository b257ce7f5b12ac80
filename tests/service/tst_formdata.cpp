#include "formdata.h"

#include <QtTest>

#include <ctime>

namespace {
// The processor time this thread has taken, in nanoseconds: the work done, whatever else the machine is doing.
qint64 workNs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// The work of reading a body `times` as long as one of `size` over that of the shorter one, both made of `field` again
// and again: the least of a few readings of each, the two read in turn, so that a load that comes and goes on the
// machine weighs on both alike.
double workRatio(const QByteArray& field, qsizetype size, int times)
{
    qint64 least[2] = {std::numeric_limits<qint64>::max(), std::numeric_limits<qint64>::max()};
    for (int i = 0; i < 5; ++i) {
        for (int longer = 0; longer < 2; ++longer) {
            QByteArray body = field.repeated((longer ? times * size : size) / field.size());
            const qint64 start = workNs();
            const FormData form(std::move(body), std::numeric_limits<int>::max());
            least[longer] = qMin(least[longer], workNs() - start);
        }
    }
    return double(least[1]) / double(qMax<qint64>(least[0], 1));
}
} // namespace

class TestFormData : public QObject
{
    Q_OBJECT

private slots:
    // A body of a million fields and more is read in work proportional to its length, so that no body a client
    // may send costs more than a pass over it. A body eight times as long may take twice its share of the work for
    // 1 MB, room enough for a busy machine's caches: reading that searches a field's end or "=" to the end of the
    // body does some sixty times the work for eight times the size.
    void readsInWorkProportionalToTheLength_data()
    {
        QTest::addColumn<QByteArray>("field");
        QTest::newRow("empty fields") << QByteArray("&");
        QTest::newRow("names without a value") << QByteArray("a&");
    }

    void readsInWorkProportionalToTheLength()
    {
        QFETCH(QByteArray, field);
        const double ratio = workRatio(field, 1024 * 1024, 8);
        QVERIFY2(ratio < 2 * 8, qPrintable(QString("8 MB took %1 times the work of 1 MB").arg(ratio)));
    }

    // Only the first fields are read, empty ones not counted, so that a body of many names keeps none of them.
    void readsTheFirstFieldsOnly()
    {
        const FormData form("&a=1&&b=2&c=3", 2);
        QCOMPARE(form.value("a"), QString("1"));
        QCOMPARE(form.value("b"), QString("2"));
        QVERIFY(!form.contains("c"));
    }
};

QTEST_GUILESS_MAIN(TestFormData)
#include "tst_formdata.moc"
