#include "rawhttp.h"
#include "serviceprocess.h"

#include <QFile>
#include <QtTest>

#include <sys/resource.h>
#include <unistd.h>

namespace {
// Lets the process take that many bytes more address space than it has now; a negative count lifts the limit.
bool allowMore(qint64 pid, qint64 bytes)
{
    QFile statm(QString("/proc/%1/statm").arg(pid));
    const qint64 pages = statm.open(QIODevice::ReadOnly) ? statm.readAll().split(' ').value(0).toLongLong() : 0;
    const rlimit limit{bytes < 0 ? RLIM_INFINITY : rlim_t(pages * sysconf(_SC_PAGESIZE) + bytes), RLIM_INFINITY};
    return pages > 0 && prlimit(pid_t(pid), RLIMIT_AS, &limit, nullptr) == 0;
}
} // namespace

// How the service goes on when a request's work fails.
class TestServiceLifetime : public QObject
{
    Q_OBJECT

private slots:
    // Work that throws, here for want of memory, fails its own request with the service's error answer; the service
    // says so and serves the next.
    void failedWorkIsAnsweredAndTheServiceGoesOn()
    {
        ServiceProcess service({"--workers", "1"});
        QVERIFY(service.addAccount("owner", "pw"));
        QVERIFY(RawHttp::exchange(service.baseUrl(), RawHttp::login("owner", "pw")).contains("\"id\""));
        // Room for the body of a sync with a record of 50 MB, not for the record read from it.
        const QByteArray large = RawHttp::sync("owner", "pw", 1, 50 * 1024 * 1024);
        QVERIFY(allowMore(service.processId(), large.size() + 20 * 1024 * 1024));
        const QByteArray failed = RawHttp::exchange(service.baseUrl(), large);
        QVERIFY2(failed.startsWith("HTTP/1.1 200 OK|") && RawHttp::error(failed) == 3, failed.left(200));
        QVERIFY(allowMore(service.processId(), -1));
        QVERIFY(service.waitForLog("a request from 127.0.0.1 failed: std::bad_alloc"));
        QVERIFY(RawHttp::exchange(service.baseUrl(), RawHttp::login("owner", "pw")).contains("\"id\""));
    }
};

QTEST_GUILESS_MAIN(TestServiceLifetime)
#include "tst_servicelifetime.moc"
