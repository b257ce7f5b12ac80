#include "shelltesting.h"

#include "bookkeeping/dbill.h"
#include "bookrows.h"
#include "loopbackhttpserver.h"
#include "messageboxrecorder.h"
#include "online/json.h"
#include "online/syncchangeset.h"
#include "shell/mainwindow.h"
#include "syncrun.h"
#include "testbook.h"

#include <QDoubleSpinBox>
#include <QLoggingCategory>
#include <QPushButton>
#include <QTextEdit>

namespace {
QStringList* logged = nullptr;

void record(QtMsgType, const QMessageLogContext& context, const QString& message)
{
    logged->append(QString(context.category) + ": " + message);
}

// A sync answer that brings one new account with the given name and nothing else.
QByteArray answerWithAccount(const QString& name)
{
    QVariantList entries;
    for (const char* table : {"bill", "account", "borrower", "category", "sub_category", "member"}) {
        QVariantMap entry{{"table_name", table},
                          {"update_columns", QStringList()},
                          {"update_data", QVariantList()},
                          {"delete_data", QVariantList()}};
        if (QString(table) == "account") {
            const QStringList columns = SyncChangeSet::syncedColumns("tbl_account");
            const QMap<QString, QString> values{
                {"id", "zz"}, {"name", name}, {"kind", "cash"}, {"amount", "0"}, {"sort", "9"}};
            QVariantList row;
            for (const QString& column : columns)
                row << (column == "version" || column == "created_time" ? "2030-01-01 00:00:00" : values.value(column));
            entry["update_columns"] = columns;
            entry["update_data"] = QVariantList{QVariant(row)};
        }
        entries << entry;
    }
    return LoopbackHttpServer::reply("200 OK", JSON::getInstance()->serialize(entries).toUtf8());
}
} // namespace

class TestLogCategories : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_home = new TestBook;
        BookPageFactory::setCurrent(&m_pages);
        FileSetting::getInstance()->setValue("Common/EnableAutoUpdate", false);
        for (const char* key : {"Backup/BackupWhenStartup", "Backup/BackupWhenClose", "Backup/BackupBeforeSync",
                                "Backup/BackupAfterSync"})
            FileSetting::getInstance()->setValue(key, false);
    }
    void cleanup()
    {
        BookPageFactory::setCurrent(nullptr);
        BookRows::dropCaches();
        delete m_home;
    }

    // Start, a bill saved in the bill dialog and a sync print nothing under the default rules; with every
    // category on they talk, but never of the password, the account name or what the book holds.
    void startSaveAndSync_data()
    {
        QTest::addColumn<QString>("rules");
        QTest::newRow("default rules") << QString();
        QTest::newRow("every category on") << "quillbay.*=true";
    }
    void startSaveAndSync()
    {
        QFETCH(QString, rules);
        QLoggingCategory::setFilterRules(rules);
        QStringList messages;
        logged = &messages;
        const QtMessageHandler former = qInstallMessageHandler(record);

        MessageBoxRecorder boxes;
        QString result;
        {
            MainWindow window;
            window.show();
            DbSetting* setting = DbSetting::getInstance();
            setting->setUserId("12345");
            setting->setSyncUsername("household@example.org");
            setting->setSyncPassword("pw+secret");
            QVERIFY(setting->save());

            DBill dialog(nullptr);
            dialog.findChild<QDoubleSpinBox*>("dsbAmount")->setValue(4321.09);
            dialog.findChild<QTextEdit*>("teDescription")->setPlainText("秘密晚饭");
            dialog.findChild<QPushButton*>("pbOk")->click();
            QCOMPARE(dialog.result(), int(QDialog::Accepted));

            LoopbackHttpServer server(answerWithAccount("秘密账户"));
            qputenv("QUILLBAY_SERVICE_URL", server.baseUrl().toUtf8());
            result = SyncRun::toEnd(10000);
            qunsetenv("QUILLBAY_SERVICE_URL");
            QCOMPARE(server.requests().size(), 1);
        }
        qInstallMessageHandler(former);
        QLoggingCategory::setFilterRules(QString());

        QCOMPARE(result, QString("finished"));
        QVERIFY(boxes.boxes().isEmpty());
        QCOMPARE(BookRows::value("select name from tbl_account where id='zz'").toString(), QString("秘密账户"));
        const QString all = messages.join('\n');
        if (rules.isEmpty())
            QVERIFY2(messages.isEmpty(), qPrintable(all));
        else
            QVERIFY(messages.size() > 10);
        for (const char* secret : {"pw+secret", "household@example.org", "秘密晚饭", "4321.09", "秘密账户"})
            QVERIFY2(!all.contains(QString(secret)), secret);
    }

private:
    TestBook* m_home = nullptr;
    LightPageFactory m_pages{true};
};

QTEST_MAIN(TestLogCategories)
#include "tst_logcategories.moc"
