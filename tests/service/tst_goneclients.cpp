#include "rawhttp.h"
#include "serviceprocess.h"

#include <QDir>
#include <QtTest>

#include <csignal>
#include <memory>
#include <sys/wait.h>

namespace {
const QByteArray news = "GET /weibo HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";

bool newsServed(const QByteArray& answer)
{
    return answer.startsWith("HTTP/1.1 200 OK|<!DOCTYPE html>");
}
} // namespace

// Newcomers when every place is taken.
class TestGoneClients : public QObject
{
    Q_OBJECT

private slots:
    // A connection closed for a newcomer while its body comes in: the bytes read for it just before are dropped with
    // it, not written to the body it no longer has.
    void connectionClosedForANewcomerWhileItsBodyComes()
    {
        ServiceProcess service({"--max-connections", "1"});
        const std::unique_ptr<QTcpSocket> sender = RawHttp::connect(service.baseUrl(), "127.0.0.2");
        // Large enough to be mapped apart from the heap, and given back to the system when freed.
        sender->write("POST /sync/syncpc2.php HTTP/1.1\r\nHost: 127.0.0.1\r\nExpect: 100-continue\r\n"
                      "Content-Length: 1000000\r\n\r\n");
        QVERIFY(sender->waitForReadyRead(10000));
        QVERIFY(sender->readAll().startsWith("HTTP/1.1 100"));
        // The service, held still, then finds more of the body than one read takes and a newcomer at once.
        siginfo_t stopped{};
        QVERIFY(kill(pid_t(service.processId()), SIGSTOP) == 0);
        QVERIFY(waitid(P_PID, id_t(service.processId()), &stopped, WSTOPPED | WNOWAIT) == 0);
        sender->write(QByteArray(512 * 1024, 'x'));
        sender->waitForBytesWritten(1000);
        const std::unique_ptr<QTcpSocket> newcomer = RawHttp::connect(service.baseUrl(), "127.0.0.3");
        RawHttp::write(*newcomer, news);
        QVERIFY(kill(pid_t(service.processId()), SIGCONT) == 0);
        QVERIFY(newsServed(RawHttp::answer(*newcomer)));
        QVERIFY(newsServed(RawHttp::exchange(service.baseUrl(), news, "127.0.0.4")));
    }
};

QTEST_GUILESS_MAIN(TestGoneClients)
#include "tst_goneclients.moc"
