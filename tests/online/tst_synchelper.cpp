#include "bookrows.h"
#include "data/dbsetting.h"
#include "data/filesetting.h"
#include "data/notifier.h"
#include "loopbackhttpserver.h"
#include "online/synchelper.h"
#include "online/syncsql.h"
#include "testbook.h"

#include <QSignalSpy>
#include <QtTest>
#include <memory>

namespace {
const QString password = "pw+secret";
const QString severe = "0|同步失败，同步时出现严重错误";
const QString notWritten = "0|同步失败，账本无法写入";
QStringList* logged = nullptr;

void keepMessage(QtMsgType, const QMessageLogContext&, const QString& message)
{
    logged->append(message);
}

QByteArray ok(const QByteArray& body)
{
    return LoopbackHttpServer::reply("200 OK", body);
}

QByteArray sixEmptyEntries()
{
    QStringList entries;
    for (const char* table : {"bill", "account", "borrower", "category", "sub_category", "member"})
        entries << QString("{\"table_name\":\"%1\",\"update_columns\":[\"id\",\"version\"],\"update_data\":[],"
                           "\"delete_data\":[]}")
                       .arg(table);
    return ('[' + entries.join(',') + ']').toUtf8();
}
} // namespace

class TestSyncHelper : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestBook> m_book;
    QString m_path;

    // Runs one sync against the server and gives its end: "finished", or the error's code and message.
    QString syncWith(const LoopbackHttpServer& server)
    {
        qputenv("QUILLBAY_SERVICE_URL", server.baseUrl().toUtf8());
        SyncHelper* engine = SyncHelper::getInstance();
        QSignalSpy finished(engine, &SyncHelper::syncFinished);
        QSignalSpy errors(engine, &SyncHelper::syncError);
        if (!engine->sync())
            return "refused";
        if (!QTest::qWaitFor([&] { return finished.size() + errors.size() > 0; }, 10000))
            return "no end";
        QTest::qWait(20); // a second end signal would arrive meanwhile
        if (finished.size() + errors.size() != 1)
            return "more than one end";
        return finished.isEmpty() ? errors.at(0).at(0).toString() + "|" + errors.at(0).at(1).toString() : "finished";
    }

private slots:
    void init()
    {
        m_book = std::make_unique<TestBook>();
        m_path = m_book->open();
        BookRows::dropCaches();
        FileSetting::getInstance()->setValue("Backup/BackupBeforeSync", false);
        FileSetting::getInstance()->setValue("Backup/BackupAfterSync", false);
        DbSetting::getInstance()->setSyncUsername("u");
        DbSetting::getInstance()->setSyncPassword(password);
        QVERIFY(DbSetting::getInstance()->save());
    }
    void cleanup()
    {
        SyncSql::setFailureHook({});
        QTRY_VERIFY(!SyncHelper::getInstance()->isRunning());
        qunsetenv("QUILLBAY_SERVICE_URL");
        m_book.reset();
    }

    void answerEndsTheSync_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QString>("failing"); // the statement made to fail
        QTest::newRow("empty list") << ok("[]") << severe << "";
        QTest::newRow("error object") << ok("{\"error\":7,\"message\":\"坏\"}") << "7|坏"
                                      << "";
        QTest::newRow("error code as text") << ok("{\"error\":\"7\",\"message\":\"m\"}") << "7|m"
                                            << "";
        QTest::newRow("message without code") << ok("{\"message\":\"m\"}") << "0|m"
                                              << "";
        QTest::newRow("message only inside a value") << ok("{\"x\":\"message\"}") << severe << "";
        QTest::newRow("not JSON") << ok("<html>oops</html>") << severe << "";
        QTest::newRow("empty answer") << ok("") << severe << "";
        QTest::newRow("JSON string") << ok("\"[1]\"") << severe << "";
        QTest::newRow("malformed entry")
            << ok("[{\"table_name\":\"bill\",\"update_columns\":[\"id\",\"version\"],\"update_data\":[[\"x\"]]}]")
            << severe << "";
        QTest::newRow("HTTP error") << LoopbackHttpServer::reply("500 Oops", "{}") << "505|和服务器通讯时出错"
                                    << "";
        QTest::newRow("six empty entries") << ok(sixEmptyEntries()) << "finished"
                                           << "";
        QTest::newRow("sync time not written") << ok(sixEmptyEntries()) << notWritten << "update tbl_setting";
        QTest::newRow("change set not read") << ok(sixEmptyEntries()) << "0|同步失败，账本无法读取"
                                             << "select id,version from tbl_member_deleted";
    }
    void answerEndsTheSync()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, end);
        QFETCH(QString, failing);
        DbSetting::getInstance()->setUserId("12345");
        QVERIFY(DbSetting::getInstance()->save());
        BookRows::addBill("expense", -3);
        const QByteArray before = TestBook::bytesOf(m_path);
        const QString started = QDateTime::currentDateTimeUtc().toString("yyyy-MM-dd hh:mm:ss");
        LoopbackHttpServer server(reply);
        SyncSql::setFailureHook(
            [failing](const QString& sql) { return !failing.isEmpty() && sql.startsWith(failing); });
        QSignalSpy reloads(Notifier::getInstance(), &Notifier::billDataChanged);

        QCOMPARE(syncWith(server), end);

        // A change set that could not be read completely is not sent at all.
        QCOMPARE(server.requests().size(), failing.startsWith("select") ? 0 : 1);
        QCOMPARE(reloads.size(), end == "finished" ? 1 : 0);
        if (end == "finished")
            QVERIFY(BookRows::value("select sync_time from tbl_setting").toString() >= started);
        else
            QVERIFY(TestBook::bytesOf(m_path) == before);
    }

    void userIdAnswer_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("requests");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QString>("userId");
        QTest::addColumn<QString>("failing");
        // The same reply answers the upload too, where an object is no change set.
        QTest::newRow("good id binds and uploads") << ok("{\"id\":\"12345\"}") << 2 << severe << "12345"
                                                   << "";
        QTest::newRow("empty id") << ok("{\"id\":\"\"}") << 1 << severe << ""
                                  << "";
        QTest::newRow("no id") << ok("{}") << 1 << severe << ""
                               << "";
        QTest::newRow("refused account") << ok("{\"error\":1,\"message\":\"用户名或密码错误！\"}") << 1
                                         << "1|用户名或密码错误！"
                                         << ""
                                         << "";
    }
    void userIdAnswer()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, requests);
        QFETCH(QString, end);
        QFETCH(QString, userId);
        QFETCH(QString, failing);
        SyncSql::setFailureHook(
            [failing](const QString& sql) { return !failing.isEmpty() && sql.startsWith(failing); });
        LoopbackHttpServer server(reply);
        QStringList messages;
        logged = &messages;
        const QtMessageHandler former = qInstallMessageHandler(keepMessage);
        const QString result = syncWith(server);
        qInstallMessageHandler(former);

        QCOMPARE(result, end);
        QCOMPARE(server.requests().size(), requests);
        QVERIFY(server.requests().at(0).endsWith("\r\n\r\nusername=u&password=pw%2bsecret"));
        if (requests == 2)
            QVERIFY(server.requests().at(1).contains(
                "\r\n\r\nversion=44&username=u&password=pw%2bsecret&sync_time=2008-08-08%2008:08:08&client_time="));
        QCOMPARE(DbSetting::getInstance()->getUserId(), userId);
        QCOMPARE(BookRows::value("select user_id from tbl_setting").toString(), userId);
        QVERIFY(!messages.join('\n').contains(password));
    }

    void secondSyncIsRefused()
    {
        auto server = std::make_unique<LoopbackHttpServer>(); // keeps silent
        qputenv("QUILLBAY_SERVICE_URL", server->baseUrl().toUtf8());
        SyncHelper* engine = SyncHelper::getInstance();
        QSignalSpy started(engine, &SyncHelper::syncStarted);
        QSignalSpy errors(engine, &SyncHelper::syncError);
        QVERIFY(engine->sync());
        QTRY_COMPARE(server->requests().size(), 1);
        QVERIFY(!engine->sync());
        QCOMPARE(started.size(), 1);
        server.reset(); // the connection drops: the running sync ends in the transfer error
        QTRY_COMPARE(errors.size(), 1);
        QCOMPARE(errors.at(0).at(0).toInt(), 505);
    }
};

QTEST_MAIN(TestSyncHelper)
#include "tst_synchelper.moc"
