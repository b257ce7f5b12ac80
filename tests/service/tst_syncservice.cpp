#include "online/httphelper.h"
#include "online/json.h"
#include "serviceprocess.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

namespace {
const QStringList billColumns{"id", "title", "amount", "version"};
const char* const tables[] = {"bill", "account", "borrower", "category", "sub_category", "member"};

// An upload in which only the bill table carries rows and deletions.
QString upload(const QVariantList& billRows, const QVariantList& billDeletions = {},
               const QStringList& columns = billColumns)
{
    QVariantList entries;
    for (const char* table : tables) {
        const bool bill = QString(table) == "bill";
        entries << QVariantMap{{"table_name", table},
                               {"update_columns", bill ? columns : QStringList{"id", "name", "version"}},
                               {"update_data", bill ? billRows : QVariantList()},
                               {"delete_columns", QStringList{"id", "version"}},
                               {"delete_data", bill ? billDeletions : QVariantList()}};
    }
    return JSON::getInstance()->serialize(entries);
}

QVariant row(const QString& id, const QString& title, const QString& amount, const QString& version)
{
    return QVariantList{id, title, amount, version};
}

QVariant deletion(const QString& id, const QString& version)
{
    return QVariantList{id, version};
}

// What an answer holds for one bill: "title amount version", "deleted version" or "absent".
QString billState(const QString& answer, const QString& id)
{
    const QVariantMap bill = JSON::getInstance()->toList(answer).value(0).toMap();
    const QStringList columns = bill.value("update_columns").toStringList();
    for (const QVariant& r : bill.value("update_data").toList()) {
        const QStringList values = r.toStringList();
        if (values.value(columns.indexOf("id")) == id) {
            QStringList shown;
            for (const QString& column : columns)
                if (column != "id")
                    shown << values.value(columns.indexOf(column));
            return shown.join(' ');
        }
    }
    for (const QVariant& d : bill.value("delete_data").toList())
        if (d.toStringList().value(0) == id)
            return "deleted " + d.toStringList().value(1);
    return "absent";
}
} // namespace

class TestSyncService : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(!m_service.baseUrl().isEmpty());
        QVERIFY(m_service.addAccount("甲 a+b", "p&w=中+ %41"));
    }

    void userIdAnswers_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("known");

        QTest::newRow("good") << "甲 a+b"
                              << "p&w=中+ %41" << true;
        QTest::newRow("wrong password") << "甲 a+b"
                                        << "p&w=中 %41" << false;
        QTest::newRow("password decoded once") << "甲 a+b"
                                               << "p&w=中+ A" << false;
        QTest::newRow("unknown name") << "乙"
                                      << "p&w=中+ %41" << false;
        QTest::newRow("empty") << ""
                               << "" << false;
    }

    void userIdAnswers()
    {
        QFETCH(QString, name);
        QFETCH(QString, password);
        QFETCH(bool, known);
        const QVariantMap answer =
            JSON::getInstance()->toMap(post("sync/userid.php", {{"username", name}, {"password", password}}));
        if (known) {
            QVERIFY(answer.value("id").toString().contains(QRegularExpression("^\\d{8}00$")));
            QCOMPARE(answer,
                     JSON::getInstance()->toMap(post("sync/userid.php", {{"username", name}, {"password", password}})));
        } else {
            QCOMPARE(answer.value("error").toInt(), 1);
            QVERIFY(!answer.value("message").toString().isEmpty());
            QVERIFY(!answer.contains("id"));
        }
    }

    void mergesByStamp_data()
    {
        QTest::addColumn<QVariantList>("first");
        QTest::addColumn<QVariantList>("second");
        QTest::addColumn<QString>("expected");

        const QString t1 = "2024-05-01 10:00:00";
        const QString t2 = "2024-05-01 10:00:01";
        const QVariantList a1{row("Z", "a", "1", t1)};
        const QVariantList a2{row("Z", "a", "1", t2)};
        const QVariant d1 = deletion("Z", t1);
        const QVariant d2 = deletion("Z", t2);
        QTest::newRow("newer row wins") << QVariantList{a1, {}}
                                        << QVariantList{QVariantList{row("Z", "b", "2", t2)}, {}} << "b 2 " + t2;
        QTest::newRow("equal stamp keeps stored")
            << QVariantList{a1, {}} << QVariantList{QVariantList{row("Z", "b", "2", t1)}, {}} << "a 1 " + t1;
        QTest::newRow("older row loses") << QVariantList{a2, {}}
                                         << QVariantList{QVariantList{row("Z", "b", "2", t1)}, {}} << "a 1 " + t2;
        QTest::newRow("newer deletion keeps row out")
            << QVariantList{QVariantList(), QVariantList{d2}} << QVariantList{a1, {}} << "deleted " + t2;
        QTest::newRow("row beats equal deletion")
            << QVariantList{QVariantList(), QVariantList{d1}} << QVariantList{a1, {}} << "a 1 " + t1;
        QTest::newRow("newer deletion removes row")
            << QVariantList{a1, {}} << QVariantList{QVariantList(), QVariantList{d2}} << "deleted " + t2;
        QTest::newRow("equal deletion keeps row")
            << QVariantList{a1, {}} << QVariantList{QVariantList(), QVariantList{d1}} << "a 1 " + t1;
        QTest::newRow("older deletion keeps row")
            << QVariantList{a2, {}} << QVariantList{QVariantList(), QVariantList{d1}} << "a 1 " + t2;
        QTest::newRow("deletion raised") << QVariantList{QVariantList(), QVariantList{d1}}
                                         << QVariantList{QVariantList(), QVariantList{d2}} << "deleted " + t2;
        QTest::newRow("deletion never lowered") << QVariantList{QVariantList(), QVariantList{d2}}
                                                << QVariantList{QVariantList(), QVariantList{d1}} << "deleted " + t2;
    }

    void mergesByStamp()
    {
        QFETCH(QVariantList, first);
        QFETCH(QVariantList, second);
        QFETCH(QString, expected);
        const QString user = newAccount();
        sync(user, upload(first.at(0).toList(), first.at(1).toList()));
        const QString answer = sync(user, upload(second.at(0).toList(), second.at(1).toList()));
        QCOMPARE(billState(answer, "Z"), expected);
        QCOMPARE(billState(sync(user, upload({})), "Z"), expected);
    }

    void answersInEachDevicesColumns()
    {
        const QString user = newAccount();
        sync(user, upload({row("Z", "it's \"中\"", "12.5", "2024-05-01 10:00:00")}));
        const QStringList newer{"id", "amount", "version", "remark"};
        const QString answer =
            sync(user, upload({QVariant(QVariantList{"Z", "7", "2024-05-01 10:00:01", "新"})}, {}, newer));
        QCOMPARE(JSON::getInstance()->toList(answer).value(0).toMap().value("update_columns").toStringList(), newer);
        QCOMPARE(billState(answer, "Z"), QString("7 2024-05-01 10:00:01 新"));
        // The older device gets its own columns back, its title kept by the newer device's edit.
        QCOMPARE(billState(sync(user, upload({})), "Z"), QString("it's \"中\" 7 2024-05-01 10:00:01"));

        const QVariantList answerTables = JSON::getInstance()->toList(answer);
        QCOMPARE(answerTables.size(), 6);
        for (int i = 0; i < 6; ++i)
            QCOMPARE(answerTables.at(i).toMap().value("table_name").toString(), QString(tables[i]));
    }

    void refusesBadUploadsWhole_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("error");

        const QString good = upload({row("Z", "b", "2", "2024-05-01 10:00:01")});
        const auto form = [](const QString& data, const QString& password = "pw") {
            return HttpHelper::encodeForm({{"version", "44"},
                                           {"username", "bad"},
                                           {"password", password},
                                           {"sync_time", "2008-08-08 08:08:08"},
                                           {"client_time", "2024-05-01 10:00:00"},
                                           {"data", data}});
        };
        const auto tampered = [&good](const QString& from, const QString& to) {
            return QString(good).replace(from, to);
        };
        QTest::newRow("wrong password") << form(good, "PW") << 1;
        QTest::newRow("no data") << HttpHelper::encodeForm({{"username", "bad"}, {"password", "pw"}}) << 2;
        QTest::newRow("not json") << form("<html>") << 2;
        QTest::newRow("cut short") << form(good.left(good.size() / 2)) << 2;
        QTest::newRow("five tables") << form(tampered("\"member\"", "\"bill\"")) << 2;
        QTest::newRow("unknown table") << form(tampered("\"member\"", "\"setting\"")) << 2;
        QTest::newRow("user id column") << form(tampered("\"title\"", "\"user_id\"")) << 2;
        QTest::newRow("column with sql") << form(tampered("\"title\"", "\"title=1;drop table tbl_bill--\"")) << 2;
        QTest::newRow("no version column")
            << form(tampered("\"version\" ], \"update_data\"", "\"v\" ], \"update_data\"")) << 2;
        QTest::newRow("short row") << form(tampered("\"b\", ", "")) << 2;
        QTest::newRow("number value") << form(tampered("\"2\"", "2")) << 2;
        QTest::newRow("bad stamp") << form(tampered("2024-05-01 10:00:01", "2024-5-1 10:00:01")) << 2;
        QTest::newRow("empty id") << form(tampered("\"Z\"", "\"\"")) << 2;
        QTest::newRow("over 64 MB") << form(good) + "&pad=" + QByteArray(64 * 1024 * 1024, 'x') << 2;
    }

    void refusesBadUploadsWhole()
    {
        QFETCH(QByteArray, body);
        QFETCH(int, error);
        static const bool created = m_service.addAccount("bad", "pw");
        QVERIFY(created);
        const QString stored = sync("bad", upload({row("Z", "a", "1", "2024-05-01 10:00:00")}));

        const QVariantMap answer = JSON::getInstance()->toMap(QString::fromUtf8(postRaw("sync/syncpc2.php", body)));
        QCOMPARE(answer.value("error").toInt(), error);
        QVERIFY(answer.contains("message"));
        QCOMPARE(sync("bad", upload({})), stored);
    }

    void storeFailureKeepsNothing()
    {
        const QString user = newAccount();
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "inject");
            db.setDatabaseName(m_service.dataDir() + "/service.db");
            QVERIFY(db.open());
            QVERIFY(QSqlQuery(db).exec("create trigger inject before insert on records when new.id = 'FAIL' "
                                       "begin select raise(abort, 'injected'); end"));
        }
        QSqlDatabase::removeDatabase("inject");
        const QString answer = sync(
            user, upload({row("A", "a", "1", "2024-05-01 10:00:00"), row("FAIL", "b", "2", "2024-05-01 10:00:00")}));
        QCOMPARE(JSON::getInstance()->toMap(answer).value("error").toInt(), 3);
        QCOMPARE(billState(sync(user, upload({})), "A"), QString("absent"));
    }

    void offersUpdateAndInstaller()
    {
        ServiceProcess service({"--offer-version", "45", "--offer-name", "2.3"});
        const QVariantMap offer = JSON::getInstance()->toMap(get(service.baseUrl() + "client/pc.php?ver=44"));
        QCOMPARE(offer.value("vercode").toInt(), 45);
        QCOMPARE(offer.value("vername").toString(), QString("2.3"));
        QVERIFY(offer.contains("description"));
        QVERIFY(get(offer.value("url1").toString()).toUtf8().size() > 5242879);
        QVERIFY(get(offer.value("url2").toString()).toUtf8().size() > 5242879);
    }

    void storesFeedback_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<bool>("success");

        QTest::newRow("complete") << "" << true;
        QTest::newRow("no content") << "content" << false;
        QTest::newRow("no email") << "email" << false;
    }

    void storesFeedback()
    {
        QFETCH(QString, field);
        QFETCH(bool, success);
        HttpHelper::Form form{{"email", "a@b.cc"}, {"subject", "FNK PC 反馈a@b.cc"}, {"content", "内容"}};
        form.removeIf([&field](const auto& item) { return item.first == field; });
        QCOMPARE(post("client/feedback.php", form).contains("success"), success);
    }

    void signsUpOnItsFrontPage()
    {
        QVERIFY(get(m_service.baseUrl()).contains("<form method=\"post\""));
        const HttpHelper::Form account{{"username", "丙"}, {"password", "x y"}};
        QVERIFY(post("", account).contains("注册成功"));
        QVERIFY(post("", account).contains("已被注册"));
        QVERIFY(!post("", {{"username", "<b>"}, {"password", ""}}).contains("<b>"));
        QVERIFY(JSON::getInstance()->toMap(post("sync/userid.php", account)).contains("id"));
    }

private:
    QString newAccount()
    {
        const QString name = QString("user%1").arg(++m_accounts);
        return m_service.addAccount(name, "pw") ? name : QString();
    }

    QString sync(const QString& user, const QString& data)
    {
        return post("sync/syncpc2.php", {{"version", "44"},
                                         {"username", user},
                                         {"password", "pw"},
                                         {"sync_time", "2008-08-08 08:08:08"},
                                         {"client_time", "2024-05-01 10:00:00"},
                                         {"data", data}});
    }

    QString post(const QString& path, const HttpHelper::Form& form)
    {
        return QString::fromUtf8(postRaw(path, HttpHelper::encodeForm(form)));
    }

    QByteArray postRaw(const QString& path, const QByteArray& body)
    {
        QNetworkRequest request(QUrl(m_service.baseUrl() + path));
        request.setHeader(QNetworkRequest::ContentTypeHeader, "application/x-www-form-urlencoded");
        return answer(m_manager.post(request, body));
    }

    QString get(const QString& url) { return QString::fromUtf8(answer(m_manager.get(QNetworkRequest(QUrl(url))))); }

    static QByteArray answer(QNetworkReply* reply)
    {
        QSignalSpy done(reply, &QNetworkReply::finished);
        done.wait(30000);
        reply->deleteLater();
        return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200 ? reply->readAll()
                                                                                         : QByteArray("HTTP error");
    }

    ServiceProcess m_service;
    QNetworkAccessManager m_manager;
    int m_accounts = 0;
};

QTEST_GUILESS_MAIN(TestSyncService)
#include "tst_syncservice.moc"
