#include "../shell/shelltesting.h"
#include "loopbackhttpserver.h"
#include "messageboxrecorder.h"
#include "messagerecorder.h"
#include "online/dupdate.h"
#include "online/mversion.h"
#include "online/updatehelper.h"
#include "platform/installerlauncher.h"
#include "serviceprocess.h"

#include <QLabel>
#include <QLoggingCategory>
#include <QPushButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTextBrowser>

namespace {
const qint64 smallest = 5242880;

// Records what the dialog asks of the system instead of starting anything.
class FakeLauncher : public InstallerLauncher
{
public:
    QList<int> codes; // answers to the shell calls, in turn
    bool detachedStarts = true;
    QStringList calls;
    qint64 launchedSize = -1;

    int shellExecute(const QString& verb, const QString& file, const QString&) override
    {
        calls << verb;
        launchedSize = QFileInfo(file).size();
        return codes.isEmpty() ? 42 : codes.takeFirst();
    }
    bool startDetached(const QString&, const QString&) override
    {
        calls << "detached";
        return detachedStarts;
    }
    void endProgram() override { calls << "end"; }
};

QByteArray installer(qint64 size)
{
    return LoopbackHttpServer::reply("200 OK", QByteArray(size, 'x'));
}

QStringList titles(const MessageBoxRecorder& boxes)
{
    QStringList list;
    for (const auto& box : boxes.boxes())
        list << box.first;
    return list;
}
} // namespace

class TestDUpdate : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_temp;
    FakeLauncher m_launcher;

    QStringList leftFiles() const { return QDir(m_temp.path()).entryList({"quillbay*.exe"}, QDir::Files); }

    template <typename T> static T* child(QWidget* dialog, const char* name) { return dialog->findChild<T*>(name); }

private slots:
    void init()
    {
        qputenv("TMPDIR", m_temp.path().toLocal8Bit());
        for (const QString& file : leftFiles())
            QFile::remove(m_temp.filePath(file));
        m_launcher = FakeLauncher();
        InstallerLauncher::setCurrent(&m_launcher);
    }
    void cleanup()
    {
        InstallerLauncher::setCurrent(nullptr);
        qunsetenv("QUILLBAY_SERVICE_URL");
    }

    // Opened without a version, the dialog asks the service and offers only a newer version.
    void manualCheck_data()
    {
        QTest::addColumn<QString>("offer");     // offered by the real service, or
        QTest::addColumn<QByteArray>("answer"); // answered by a loopback server
        QTest::addColumn<bool>("offered");

        QTest::newRow("same version") << "44" << QByteArray() << false;
        QTest::newRow("newer version") << "45" << QByteArray() << true;
        QTest::newRow("code as text") << "" << QByteArray(R"({"vercode":"45","description":"<b>x</b>"})") << true;
        QTest::newRow("no JSON") << "" << QByteArray("<html>") << false;
    }
    void manualCheck()
    {
        QFETCH(QString, offer);
        QFETCH(QByteArray, answer);
        QFETCH(bool, offered);
        std::unique_ptr<ServiceProcess> service;
        LoopbackHttpServer server(LoopbackHttpServer::reply("200 OK", answer));
        if (offer.isEmpty()) {
            qputenv("QUILLBAY_SERVICE_URL", server.baseUrl().toUtf8());
        } else {
            // The service offers a version only with an installer to download.
            QFile file(m_temp.filePath("setup.exe"));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(smallest));
            service =
                std::make_unique<ServiceProcess>(QStringList{"--offer-version", offer, "--installer", file.fileName()});
            qputenv("QUILLBAY_SERVICE_URL", service->baseUrl().toUtf8());
        }
        MessageBoxRecorder boxes;
        DUpdate dialog(nullptr, nullptr);
        dialog.show();
        auto* pages = child<QStackedWidget>(&dialog, "stackedWidget");
        auto* button = child<QPushButton>(&dialog, "pbCancelOrOK");
        QTRY_VERIFY(pages->currentIndex() == 1 || button->text() == "确定");
        QCOMPARE(pages->currentIndex() == 1, offered);
        if (!offered) {
            QCOMPARE(child<QLabel>(&dialog, "lbChecklStatus")->text(), "已经是最新版本，无需更新！");
            return;
        }
        QVERIFY(!child<QTextBrowser>(&dialog, "tbDescription")->toPlainText().isEmpty());
    }

    // With an address that is no http address the checking page says so, and the check ends there.
    void manualCheckNamesARefusedAddress()
    {
        qputenv("QUILLBAY_SERVICE_URL", "localhost:8647");
        DUpdate dialog(nullptr, nullptr);
        QCOMPARE(child<QLabel>(&dialog, "lbChecklStatus")->text(),
                 "环境变量 QUILLBAY_SERVICE_URL 的值“localhost:8647”不是 http 或 https 地址，无法连接服务器。");
        QCOMPARE(child<QPushButton>(&dialog, "pbCancelOrOK")->text(), "确定");
    }

    // The automatic check opens the dialog itself, and only for a newer version.
    void automaticCheck_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<bool>("opened");
        QTest::newRow("same version") << QByteArray(R"({"vercode":44})") << false;
        QTest::newRow("newer version") << QByteArray(R"({"vercode":45,"url1":"x"})") << true;
    }
    void automaticCheck()
    {
        QFETCH(QByteArray, answer);
        QFETCH(bool, opened);
        LoopbackHttpServer server(LoopbackHttpServer::reply("200 OK", answer));
        qputenv("QUILLBAY_SERVICE_URL", server.baseUrl().toUtf8());
        QWidget window;
        QString shown;
        whenModalShows([&shown](QWidget* dialog) {
            shown = dialog->metaObject()->className();
            dialog->close();
        });
        UpdateHelper helper(&window, true);
        helper.checkVersion();
        QTRY_COMPARE(server.requests().size(), 1);
        QVERIFY(server.requests().at(0).startsWith("GET /client/pc.php?ver=44 "));
        QTest::qWait(300);
        QCOMPARE(shown, opened ? "DUpdate" : "");
    }

    void download_data()
    {
        QTest::addColumn<QByteArray>("first"); // empty: a server that never answers
        QTest::addColumn<QByteArray>("second");
        QTest::addColumn<QList<int>>("codes");
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<QStringList>("boxes");

        const QByteArray missing = LoopbackHttpServer::reply("404 Not Found", "");
        const QByteArray cut =
            "HTTP/1.1 200 OK\r\nContent-Length: 5242881\r\nConnection: close\r\n\r\n" + QByteArray(smallest, 'x');
        const QStringList launched{"open", "end"}, none, ok{"下载成功"}, failed{"下载失败"};
        // clang-format off
        QTest::newRow("5,242,880 bytes launched") << installer(smallest) << missing << QList<int>() << false << launched << ok;
        QTest::newRow("5,242,879 bytes refused at both addresses") << installer(smallest - 1) << installer(smallest - 1) << QList<int>() << false << none << failed;
        QTest::newRow("url1 failing, url2 used") << missing << installer(smallest) << QList<int>() << false << launched << ok;
        QTest::newRow("body shorter than announced") << cut << missing << QList<int>() << false << none << failed;
        QTest::newRow("access denied, elevated once") << installer(smallest) << missing << QList<int>{5, 42} << false << QStringList{"open", "runas", "end"} << ok;
        QTest::newRow("no start at all still ends the program") << installer(smallest) << missing << QList<int>{0} << false << QStringList{"open", "detached", "end"} << QStringList{"下载成功", "安装失败"};
        QTest::newRow("cancel aborts") << QByteArray() << missing << QList<int>() << true << none << none;
        // clang-format on
    }
    void download()
    {
        QFETCH(QByteArray, first);
        QFETCH(QByteArray, second);
        QFETCH(QList<int>, codes);
        QFETCH(bool, cancel);
        QFETCH(QStringList, calls);
        QFETCH(QStringList, boxes);
        LoopbackHttpServer one(first);
        LoopbackHttpServer two(second);
        MVersion version;
        version.url1 = one.baseUrl() + "setup.exe";
        version.url2 = two.baseUrl() + "setup.exe";
        m_launcher.codes = codes;
        m_launcher.detachedStarts = false;
        MessageBoxRecorder recorder;
        DUpdate dialog(nullptr, &version);
        dialog.show();
        child<QPushButton>(&dialog, "pbUpdate")->click();
        if (cancel) {
            QTRY_COMPARE(one.requests().size(), 1);
            child<QPushButton>(&dialog, "pbCancel")->click();
        }
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.isVisible() || titles(recorder).contains("下载失败"), 10000);
        QTest::qWait(100);
        QCOMPARE(m_launcher.calls, calls);
        QCOMPARE(titles(recorder), boxes);
        if (calls.contains("open"))
            QCOMPARE(m_launcher.launchedSize, smallest);
        // Only a launched installer stays on disk.
        QCOMPARE(leftFiles().size(), calls.isEmpty() ? 0 : 1);
    }

    // The address a download comes from is on the terminal when asked for, without a password written into it.
    void downloadAddressIsLoggedWithoutItsPassword()
    {
        LoopbackHttpServer silent;
        MVersion version;
        version.url1 = QString(silent.baseUrl()).replace("http://", "http://user:hidden@") + "setup.exe";
        DUpdate dialog(nullptr, &version);
        QLoggingCategory::setFilterRules("quillbay.online.debug=true");
        const MessageRecorder terminal;
        child<QPushButton>(&dialog, "pbUpdate")->click();
        QLoggingCategory::setFilterRules(QString());
        QCOMPARE(terminal.lines().filter(QString(version.url1).remove(":hidden")).size(), 1);
        QCOMPARE(terminal.lines().filter("hidden"), QStringList());
        child<QPushButton>(&dialog, "pbCancel")->click();
    }
};

QTEST_MAIN(TestDUpdate)
#include "tst_dupdate.moc"
