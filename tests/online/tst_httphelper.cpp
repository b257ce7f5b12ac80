#include "loopbackhttpserver.h"
#include "online/httphelper.h"

#include <QSignalSpy>
#include <QtTest>

class TestHttpHelper : public QObject
{
    Q_OBJECT

private slots:
    void encodesForm_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("encoded");

        QTest::newRow("plus and blank") << "a+b c" << QByteArray("a%2bb%20c");
        QTest::newRow("equals and ampersand") << "x=1&y" << QByteArray("x%3D1%26y");
        QTest::newRow("chinese") << "中文" << QByteArray("%E4%B8%AD%E6%96%87");
        QTest::newRow("percent") << "100%" << QByteArray("100%25");
        QTest::newRow("json") << "[{\"a\" : \"b\"}]" << QByteArray("%5B%7B%22a%22%20:%20%22b%22%7D%5D");
        QTest::newRow("kept as they are") << "-._~!$'()*,;:@/?" << QByteArray("-._~!$'()*,;:@/?");
        QTest::newRow("control characters") << "\r\n\t" << QByteArray("%0D%0A%09");
    }

    void encodesForm()
    {
        QFETCH(QString, value);
        QFETCH(QByteArray, encoded);
        QCOMPARE(HttpHelper::encodeForm({{"f", value}}), "f=" + encoded);
    }

    // A form goes in the body, in the order given, as a form; a GET carries no content type.
    void sendsTheRequest_data()
    {
        QTest::addColumn<bool>("post");
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("post") << true << QByteArray("POST /client/feedback.php HTTP/1.1\r\n")
                              << QByteArray("email=a@b.cc&subject=FNK%20PC%20%E5%8F%8D%E9%A6%88a@b.cc&content=x%20y");
        QTest::newRow("get") << false << QByteArray("GET /client/feedback.php?ver=44 HTTP/1.1\r\n") << QByteArray();
    }
    void sendsTheRequest()
    {
        QFETCH(bool, post);
        QFETCH(QByteArray, head);
        QFETCH(QByteArray, body);
        LoopbackHttpServer server(LoopbackHttpServer::reply("200 OK", "{\"result\":\"success\"}"));
        HttpHelper http;
        QSignalSpy finished(&http, &HttpHelper::finished);
        const QString url = server.baseUrl() + "client/feedback.php";
        if (post)
            http.post(url, {{"email", "a@b.cc"}, {"subject", "FNK PC 反馈a@b.cc"}, {"content", "x y"}});
        else
            http.get(url + "?ver=44");
        QTRY_COMPARE(finished.size(), 1);
        QCOMPARE(finished.at(0).at(0).toString(), QString("{\"result\":\"success\"}"));
        const QByteArray request = server.requests().value(0);
        QVERIFY(request.startsWith(head));
        QCOMPARE(request.contains("\r\nContent-Type: application/x-www-form-urlencoded\r\n"), post);
        QVERIFY(request.endsWith("\r\n\r\n" + body));
    }

    void answersEndInOneSignal_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("succeeds");
        QTest::addColumn<QString>("text");
        const auto reply = [](const QByteArray& status, const QByteArray& body) {
            return LoopbackHttpServer::reply(status, body);
        };
        // clang-format off
        QTest::newRow("utf-8 body") << reply("200 OK", "{\"id\":\"中\"}") << true << "{\"id\":\"中\"}";
        QTest::newRow("empty body") << reply("200 OK", "") << true << "";
        QTest::newRow("zero byte kept")
            << reply("200 OK", QByteArray("ab\0cd", 5)) << true << QString::fromUtf8("ab\0cd", 5);
        QTest::newRow("redirect not followed")
            << LoopbackHttpServer::reply("302 Found", "moved", "Location: /elsewhere\r\n") << true << "moved";
        QTest::newRow("not found") << reply("404 Not Found", "<html>404</html>") << false << "";
        QTest::newRow("server error") << reply("500 Internal Server Error", "x") << false << "";
        QTest::newRow("silent server") << QByteArray() << false << "";
        // clang-format on
    }

    void answersEndInOneSignal()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, succeeds);
        QFETCH(QString, text);

        LoopbackHttpServer server(reply);
        HttpHelper http;
        http.setTimeout(300);
        QSignalSpy finished(&http, &HttpHelper::finished);
        QSignalSpy failed(&http, &HttpHelper::error);
        http.post(server.baseUrl() + "sync/userid.php", {{"username", "u"}});
        QTRY_COMPARE(finished.size() + failed.size(), 1);
        QTest::qWait(50);
        QCOMPARE(finished.size(), succeeds ? 1 : 0);
        QCOMPARE(failed.size(), succeeds ? 0 : 1);
        if (succeeds)
            QCOMPARE(finished.at(0).at(0).toString(), text);
        QCOMPARE(server.requests().size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestHttpHelper)
#include "tst_httphelper.moc"
