#include "legitclient.h"
#include "loopbackhttpserver.h"

#include <QtTest>

class TestLegitClient : public QObject
{
    Q_OBJECT

private slots:
    void countsBeingToldToTryLater();
};

void TestLegitClient::countsBeingToldToTryLater()
{
    LoopbackHttpServer server(LoopbackHttpServer::reply("200 OK",
                                                        "{\"error\":4,\"message\":\"密码错误次数过多，请稍后再试\"}",
                                                        "Content-Type: application/json; charset=utf-8\r\n"));
    LegitClient owner(server.baseUrl(), "owner", "pw");
    owner.start();
    // A login and a sync, both refused.
    QTRY_VERIFY_WITH_TIMEOUT(owner.requests() >= 2, 30000);
    owner.stop();
    QCOMPARE(owner.failures(), owner.requests());
    QCOMPARE(owner.refused(), owner.requests());
}

QTEST_GUILESS_MAIN(TestLegitClient)
#include "tst_legitclient.moc"
