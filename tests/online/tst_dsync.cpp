#include "../shell/shelltesting.h"
#include "messageboxrecorder.h"
#include "online/dsync.h"
#include "online/synchelper.h"
#include "online/usync.h"
#include "serviceprocess.h"
#include "testbook.h"

#include <QLabel>
#include <QPushButton>
#include <memory>

class TestDSync : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ServiceProcess> m_service;
    std::unique_ptr<TestBook> m_book;

    static void storeAccount(const QString& password)
    {
        DbSetting::getInstance()->setSyncUsername("bob");
        DbSetting::getInstance()->setSyncPassword(password);
        QVERIFY(DbSetting::getInstance()->save());
    }

    // Runs the dialog until it closes; a success line gets its OK pressed. Gives the success line, if any.
    static QString runToEnd(DSync& dialog)
    {
        QString shown;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* ok = dialog.findChild<QPushButton*>("pbOK");
            if (ok->isVisible() && shown.isEmpty()) {
                shown = dialog.findChild<QLabel*>("lblLog")->text();
                ok->click();
            }
        });
        poll.start(20);
        QTimer::singleShot(15000, &dialog, [&dialog] { dialog.done(-1); });
        return dialog.exec() == -1 ? "hung" : shown;
    }

private slots:
    void initTestCase()
    {
        m_service = std::make_unique<ServiceProcess>();
        QVERIFY(m_service->addAccount("bob", "secret1"));
    }
    void cleanupTestCase() { m_service.reset(); }
    void init()
    {
        m_book = std::make_unique<TestBook>();
        m_book->open();
        FileSetting::getInstance()->setValue("Backup/BackupBeforeSync", false);
        FileSetting::getInstance()->setValue("Backup/BackupAfterSync", false);
        qputenv("QUILLBAY_SERVICE_URL", m_service->baseUrl().toUtf8());
    }
    void cleanup()
    {
        QTRY_VERIFY(!SyncHelper::getInstance()->isRunning());
        m_book.reset();
        qunsetenv("QUILLBAY_SERVICE_URL");
    }

    void endOfSync_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("autoClose");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("boxes");
        QTest::newRow("success closes by itself") << "secret1" << true << "" << 0;
        QTest::newRow("success line and OK") << "secret1" << false << "您已经成功完成数据同步。" << 0;
        QTest::newRow("error: one box, then closed") << "wrong" << false << "" << 1;
    }
    void endOfSync()
    {
        QFETCH(QString, password);
        QFETCH(bool, autoClose);
        QFETCH(QString, shown);
        QFETCH(int, boxes);
        storeAccount(password);
        FileSetting::getInstance()->setCloseWhenSyncFinished(autoClose);
        MessageBoxRecorder recorder;
        DSync dialog;
        QCOMPARE(runToEnd(dialog), shown);
        QCOMPARE(recorder.boxes().size(), boxes);
        if (boxes)
            QCOMPARE(recorder.boxes().at(0), qMakePair(QString("同步出错"), QString("用户名或密码错误")));
        QCOMPARE(DbSetting::getInstance()->getUserId().isEmpty(), boxes > 0);
    }

    // A dialog that has closed, even one kept alive, says nothing about later syncs.
    void oneBoxPerError()
    {
        storeAccount("wrong");
        MessageBoxRecorder recorder;
        DSync earlier;
        QCOMPARE(runToEnd(earlier), "");
        DSync later;
        QCOMPARE(runToEnd(later), "");
        QCOMPARE(recorder.boxes().size(), 2);
    }

    void pageAsksForTheAccountFirst()
    {
        MessageBoxRecorder recorder;
        QSignalSpy syncs(SyncHelper::getInstance(), &SyncHelper::syncStarted);
        QString asked;
        whenModalShows([&asked](QWidget* dialog) {
            asked = dialog->metaObject()->className();
            dialog->close();
        });
        USync page;
        page.findChild<QPushButton*>("pbSync")->click();
        QCOMPARE(asked, "DSyncConfig");
        QCOMPARE(recorder.boxes().value(0), qMakePair(QString("错误"), QString("请填写同步账号和密码")));
        QCOMPARE(syncs.size(), 0);
    }
};

QTEST_MAIN(TestDSync)
#include "tst_dsync.moc"
