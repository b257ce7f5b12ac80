#include "legitclient.h"
#include "loopbackhttpserver.h"

#include <QUrlQuery>
#include <QtTest>

namespace {
const QByteArray neverSynced = "2008-08-08 08:08:08";

// A form field of a request as the server received it, decoded.
QByteArray field(const QByteArray& request, const QByteArray& name)
{
    const QByteArray body = request.mid(request.indexOf("\r\n\r\n") + 4);
    for (const QByteArray& pair : body.split('&'))
        if (pair.startsWith(name + '='))
            return QByteArray::fromPercentEncoding(pair.mid(name.size() + 1));
    return {};
}
} // namespace

// The owner of the attack bench must sync as its row says: the crowds are measured against a device that names its
// last sync and against one whose every sync is a first, and one row against a large upload. An owner that synced
// otherwise would measure another path through the service than the row names.
class TestLegitClient : public QObject
{
    Q_OBJECT

private slots:
    void syncsAsTheRowSays_data()
    {
        QTest::addColumn<bool>("firstSyncs");
        QTest::addColumn<int>("uploadBytes");
        QTest::newRow("a device that names its last sync") << false << 0;
        QTest::newRow("a new device every time") << true << 0;
        QTest::newRow("an upload of 97 KB") << false << 97000;
    }

    void syncsAsTheRowSays()
    {
        QFETCH(bool, firstSyncs);
        QFETCH(int, uploadBytes);
        // One answer that the client takes both for a login and for a sync's change set.
        LoopbackHttpServer server(LoopbackHttpServer::reply("200 OK", "[{\"table_name\":\"bill\",\"id\":\"1\"}]"));
        LegitClient owner(server.baseUrl(), "owner", "pw", {firstSyncs, uploadBytes});
        owner.start();
        const auto syncs = [&server] {
            QList<QByteArray> found;
            for (const QByteArray& request : server.requests())
                if (request.startsWith("POST /sync/syncpc2.php"))
                    found << request;
            return found;
        };
        QTRY_VERIFY_WITH_TIMEOUT(syncs().size() >= 3, 60000);
        owner.stop();
        QCOMPARE(owner.failures(), 0);

        const QList<QByteArray> sent = syncs();
        QCOMPARE(field(sent.first(), "sync_time"), neverSynced);
        for (const QByteArray& sync : sent.mid(1))
            QCOMPARE(field(sync, "sync_time") == neverSynced, firstSyncs);
        for (const QByteArray& sync : sent) {
            const qsizetype body = sync.size() - sync.indexOf("\r\n\r\n") - 4;
            QVERIFY2(uploadBytes == 0 ? body < 2000 : body >= uploadBytes && body < uploadBytes + 2000,
                     qPrintable(QString::number(body)));
        }
    }

    // A row of the bench counts the owner's failures by what the service said: the busy and store-failed answers
    // share their error code and are told apart by their words.
    void countsErrorAnswersByKind_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("kind");
        QTest::newRow("busy") << QStringLiteral("服务器繁忙，请稍后再试") << 3 << "busy";
        QTest::newRow("store failed") << QStringLiteral("服务器保存数据失败，请稍后再试") << 3 << "store failed";
        QTest::newRow("work failed") << QStringLiteral("服务器出错，请稍后再试") << 3 << "error 3";
        QTest::newRow("wrong password") << QStringLiteral("用户名或密码错误") << 1 << "error 1";
    }

    void countsErrorAnswersByKind()
    {
        QFETCH(QString, message);
        QFETCH(int, code);
        QFETCH(QString, kind);
        LoopbackHttpServer server(LoopbackHttpServer::reply(
            "200 OK", QString("{\"error\":%1,\"message\":\"%2\"}").arg(code).arg(message).toUtf8()));
        LegitClient owner(server.baseUrl(), "owner", "pw");
        owner.start();
        QTRY_VERIFY_WITH_TIMEOUT(owner.failures() >= 2, 60000);
        owner.stop();
        QCOMPARE(owner.errors(), (QMap<QString, int>{{kind, owner.failures()}}));
    }
};

QTEST_GUILESS_MAIN(TestLegitClient)
#include "tst_legitclient.moc"
