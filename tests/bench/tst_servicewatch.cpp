#include "servicewatch.h"
#include "testmount.h"

#include <QTcpServer>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QtTest>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

class TestServiceWatch : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void countsEveryOpenDescriptor();
    void keepsTheLeastFreeSpaceSeen();
    void stopsAProcessPastTheGuardOnly();

private:
    // The process watched, but where the test counts its own descriptors.
    QProcess m_sleeper;
};

namespace {
const qint64 noGuardKb = 1LL << 40;

// The descriptors this process has open, found by asking for each one.
int openHere()
{
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    int open = 0;
    for (int fd = 0; fd < int(qMin<rlim_t>(limit.rlim_cur, 1 << 20)); ++fd)
        open += ::fcntl(fd, F_GETFD) != -1 ? 1 : 0;
    return open;
}
} // namespace

void TestServiceWatch::init()
{
    m_sleeper.start("sleep", {"600"});
    QVERIFY(m_sleeper.waitForStarted());
}

void TestServiceWatch::cleanup()
{
    m_sleeper.kill();
    m_sleeper.waitForFinished();
}

void TestServiceWatch::countsEveryOpenDescriptor()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    QTemporaryFile file;
    QVERIFY(file.open());
    const ServiceWatch watch(QCoreApplication::applicationPid(), noGuardKb);
    // Listing its own descriptors holds one more open meanwhile.
    QCOMPARE(watch.descriptors(), openHere() + 1);
}

void TestServiceWatch::keepsTheLeastFreeSpaceSeen()
{
    if (::geteuid() != 0)
        QSKIP("only root may mount the small disk");
    QTemporaryDir folder;
    const TestMount disk(TestMount::SmallDisk, folder.path());
    QVERIFY(disk.isMounted());
    ServiceWatch watch(m_sleeper.processId(), noGuardKb, folder.path());
    watch.sample();
    QCOMPARE(watch.diskBytes(), 4 * 1024 * 1024);
    QVERIFY(watch.lowestFreeBytes() > 3 * 1024 * 1024);
    disk.fill(256 * 1024);
    watch.sample();
    disk.clear();
    watch.sample();
    QVERIFY2(watch.lowestFreeBytes() < 512 * 1024, qPrintable(QString::number(watch.lowestFreeBytes())));
}

void TestServiceWatch::stopsAProcessPastTheGuardOnly()
{
    ServiceWatch lenient(m_sleeper.processId(), noGuardKb);
    lenient.sample();
    QVERIFY(lenient.peakKb() > 0);
    QVERIFY(!lenient.stopped());

    ServiceWatch strict(m_sleeper.processId(), 1);
    strict.sample();
    QVERIFY(strict.stopped());
    QVERIFY(m_sleeper.waitForFinished(30000));
    QCOMPARE(m_sleeper.exitStatus(), QProcess::CrashExit);
    QCOMPARE(strict.descriptors(), -1);
}

QTEST_GUILESS_MAIN(TestServiceWatch)
#include "tst_servicewatch.moc"
