#include "data/dbsetting.h"
#include "data/filesetting.h"
#include "loopbackhttpserver.h"
#include "messageboxrecorder.h"
#include "messagerecorder.h"
#include "online/dsyncconfig.h"
#include "serviceprocess.h"
#include "testbook.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QPushButton>
#include <QTcpServer>
#include <QtTest>
#include <memory>

namespace {
const QPair<QString, QString> notice{"注意", "同步账号一旦绑定，以后就不能修改了"};

QString closedPortUrl()
{
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost, 0);
    return QString("http://127.0.0.1:%1/").arg(closed.serverPort());
}
} // namespace

class TestDSyncConfig : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ServiceProcess> m_service;
    std::unique_ptr<TestBook> m_book;

    static void fill(DSyncConfig& dialog, const QString& password)
    {
        dialog.findChild<QLineEdit*>("leSyncUsername")->setText("alice");
        dialog.findChild<QLineEdit*>("leSyncPassword")->setText(password);
        dialog.findChild<QCheckBox*>("cbSyncWhenStartup")->setChecked(true);
        dialog.findChild<QCheckBox*>("cbSyncWhenClose")->setChecked(true);
        dialog.findChild<QPushButton*>("pbOK")->click();
    }

    // What the book and the settings file hold after the dialog: "name/password/start/close".
    static QString stored()
    {
        DbSetting::resetInstance();
        const DbSetting* setting = DbSetting::getInstance();
        const FileSetting* settings = FileSetting::getInstance();
        return QString("%1/%2/%3/%4")
            .arg(setting->getSyncUsername(), setting->getSyncPassword())
            .arg(settings->isSyncWhenStartup())
            .arg(settings->isSyncWhenClose());
    }

private slots:
    void initTestCase()
    {
        m_service = std::make_unique<ServiceProcess>();
        QVERIFY(m_service->addAccount("alice", "secret1"));
    }
    void cleanupTestCase() { m_service.reset(); }
    void init()
    {
        m_book = std::make_unique<TestBook>();
        m_book->open();
    }
    void cleanup()
    {
        m_book.reset();
        qunsetenv("QUILLBAY_SERVICE_URL");
    }

    // Only an account the service confirms with its id is stored, with the two options.
    void check_data()
    {
        QTest::addColumn<QString>("url"); // empty: the real service
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("box");
        QTest::addColumn<bool>("accepted");

        LoopbackHttpServer* noId = new LoopbackHttpServer(LoopbackHttpServer::reply("200 OK", R"({"name":"x"})"));
        noId->setParent(this);
        const QString down = "错误！|与服务器通讯出错！";
        // clang-format off
        QTest::newRow("good account") << "" << "secret1" << "正确！|用户名密码正确！" << true;
        QTest::newRow("wrong password") << "" << "secret2" << "错误！|用户名或密码错误！" << false;
        QTest::newRow("service down") << closedPortUrl() << "secret1" << down << false;
        QTest::newRow("answer without id") << noId->baseUrl() << "secret1" << down << false;
        QTest::newRow("address that is no http address") << "127.0.0.1:8647" << "secret1" << "错误！|环境变量 QUILLBAY_SERVICE_URL 的值“127.0.0.1:8647”不是 http 或 https 地址，无法连接服务器。" << false;
        QTest::newRow("password the book cannot keep") << "" << "秘密1" << "错误！|密码只能使用英文字母、数字和符号，请重新输入。" << false;
        // clang-format on
    }
    void check()
    {
        QFETCH(QString, url);
        QFETCH(QString, password);
        QFETCH(QString, box);
        QFETCH(bool, accepted);
        qputenv("QUILLBAY_SERVICE_URL", (url.isEmpty() ? m_service->baseUrl() : url).toUtf8());
        MessageBoxRecorder boxes;
        DSyncConfig dialog;
        dialog.show();
        fill(dialog, password);
        QTRY_COMPARE(boxes.boxes().size(), 2);
        QCOMPARE(boxes.boxes().at(0), notice);
        QCOMPARE(boxes.boxes().at(1).first + "|" + boxes.boxes().at(1).second, box);
        QCOMPARE(dialog.result() == QDialog::Accepted, accepted);
        QCOMPARE(stored(), accepted ? "alice/secret1/1/1" : "//0/0");
        auto* ok = dialog.findChild<QPushButton*>("pbOK");
        if (!accepted)
            QVERIFY(ok->isEnabled() && ok->text() == "确定");
    }

    // The address a check goes to is on the terminal when asked for, without the password written into it.
    void checkedAddressIsLoggedWithoutItsPassword()
    {
        LoopbackHttpServer server(LoopbackHttpServer::reply("200 OK", R"({"id":"1234567800"})"));
        const QString address = QString(server.baseUrl()).replace("http://", "http://user:hidden@");
        qputenv("QUILLBAY_SERVICE_URL", address.toUtf8());
        QLoggingCategory::setFilterRules("quillbay.online.debug=true");
        const MessageRecorder terminal;
        MessageBoxRecorder boxes;
        DSyncConfig dialog;
        fill(dialog, "secret1");
        QTRY_COMPARE_WITH_TIMEOUT(boxes.boxes().size(), 2, 20000);
        QLoggingCategory::setFilterRules(QString());
        QCOMPARE(terminal.lines().filter(QString(address).remove(":hidden")).size(), 1);
        QCOMPARE(terminal.lines().filter("hidden"), QStringList());
    }

    void answerAfterCancelIsIgnored()
    {
        LoopbackHttpServer late;
        qputenv("QUILLBAY_SERVICE_URL", late.baseUrl().toUtf8());
        MessageBoxRecorder boxes;
        DSyncConfig dialog;
        dialog.show();
        fill(dialog, "secret1");
        QTRY_COMPARE(late.requests().size(), 1);
        dialog.findChild<QPushButton*>("pbCancel")->click();
        late.answerPending(LoopbackHttpServer::reply("200 OK", R"({"id":"1234567800"})"));
        QTest::qWait(300);
        QCOMPARE(boxes.boxes().size(), 1);
        QCOMPARE(stored(), "//0/0");
    }
};

QTEST_MAIN(TestDSyncConfig)
#include "tst_dsyncconfig.moc"
