#include "online/httphelper.h"
#include "online/json.h"
#include "serviceprocess.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QtTest>

namespace {
const char* const stampFormat = "yyyy-MM-dd hh:mm:ss";
const QStringList tables{"bill", "account", "borrower", "category", "sub_category", "member"};
const QStringList billColumns{"id", "title", "version"};

// An upload in which only the bill table carries rows and deletions.
QString upload(const QList<QStringList>& rows, const QList<QStringList>& deletions = {},
               const QStringList& columns = billColumns)
{
    const auto list = [](const QList<QStringList>& items) {
        QVariantList variants;
        for (const QStringList& item : items)
            variants << QVariant(item);
        return variants;
    };
    QVariantList entries;
    for (const QString& table : tables) {
        const bool bill = table == "bill";
        entries << QVariantMap{{"table_name", table},
                               {"update_columns", bill ? columns : QStringList{"id", "name", "version"}},
                               {"update_data", bill ? list(rows) : QVariantList()},
                               {"delete_columns", QStringList{"id", "version"}},
                               {"delete_data", bill ? list(deletions) : QVariantList()}};
    }
    return JSON::getInstance()->serialize(entries);
}

QString stamp(const QString& seconds)
{
    return "2024-05-01 10:00:" + seconds;
}

// "a 00": bill Z titled a at 10:00:00; "- 01": bill Z deleted at 10:00:01.
QString uploadOf(const QString& change)
{
    const QString title = change.section(' ', 0, 0);
    const QString version = stamp(change.section(' ', 1));
    return title == "-" ? upload({}, {{"Z", version}}) : upload({{"Z", title, version}});
}

QVariantMap billEntry(const QString& answer)
{
    return JSON::getInstance()->toList(answer).value(0).toMap();
}

QList<QStringList> billRows(const QString& answer)
{
    QList<QStringList> rows;
    for (const QVariant& row : billEntry(answer).value("update_data").toList())
        rows << row.toStringList();
    return rows;
}

// What an answer in the default columns holds of bill Z, written as uploadOf() takes it.
QString billZ(const QString& answer)
{
    for (const QStringList& row : billRows(answer))
        if (row.value(0) == "Z")
            return row.value(1) + ' ' + row.value(2).right(2);
    for (const QVariant& deletion : billEntry(answer).value("delete_data").toList())
        if (deletion.toStringList().value(0) == "Z")
            return "- " + deletion.toStringList().value(1).right(2);
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
        QVERIFY(m_service.addAccount("甲 a+b", "p&w=x+ %41"));
    }

    void userIdAnswers_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("known");

        const char* const cases[][3] = {{"good", "甲 a+b", "p&w=x+ %41"},
                                        {"wrong password", "甲 a+b", "p&w=x %41"},
                                        {"password decoded once", "甲 a+b", "p&w=x+ A"},
                                        {"unknown name", "乙", "p&w=x+ %41"},
                                        {"empty", "", ""}};
        for (const auto& c : cases)
            QTest::newRow(c[0]) << QString(c[1]) << QString(c[2]) << (QString(c[0]) == "good");
    }

    void userIdAnswers()
    {
        QFETCH(QString, name);
        QFETCH(QString, password);
        QFETCH(bool, known);
        const HttpHelper::Form form{{"username", name}, {"password", password}};
        const QVariantMap answer = JSON::getInstance()->toMap(post("sync/userid.php", form));
        if (known) {
            QVERIFY(answer.value("id").toString().contains(QRegularExpression("^\\d{8}00$")));
            QCOMPARE(JSON::getInstance()->toMap(post("sync/userid.php", form)), answer);
        } else {
            QCOMPARE(answer.value("error").toInt(), 1);
            QVERIFY(!answer.value("message").toString().isEmpty());
            QVERIFY(!answer.contains("id"));
        }
    }

    void mergesByStamp_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("received");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("answered");

        // Changes in the notation of uploadOf(): what is stored, what is received, what the store holds after, and
        // what the answer to the upload holds: nothing when the device holds that already.
        const char* const cases[][5] = {
            {"newer row wins", "a 00", "b 01", "b 01", "absent"},
            {"equal stamp keeps stored row", "a 00", "b 00", "a 00", "a 00"},
            {"older row loses", "a 01", "b 00", "a 01", "a 01"},
            {"newer deletion keeps row out", "- 01", "a 00", "- 01", "- 01"},
            {"row beats equal deletion", "- 00", "a 00", "a 00", "absent"},
            {"newer deletion removes row", "a 00", "- 01", "- 01", "absent"},
            {"equal deletion keeps row", "a 00", "- 00", "a 00", "a 00"},
            {"older deletion keeps row", "a 01", "- 00", "a 01", "a 01"},
            {"deletion raised", "- 00", "- 01", "- 01", "absent"},
            {"deletion never lowered", "- 01", "- 00", "- 01", "- 01"},
            {"the same row again", "a 00", "a 00", "a 00", "absent"},
        };
        for (const auto& c : cases)
            QTest::newRow(c[0]) << QString(c[1]) << QString(c[2]) << QString(c[3]) << QString(c[4]);
    }

    void mergesByStamp()
    {
        QFETCH(QString, stored);
        QFETCH(QString, received);
        QFETCH(QString, expected);
        QFETCH(QString, answered);
        const QString user = newAccount();
        QCOMPARE(billZ(sync(user, uploadOf(stored))), QString("absent"));
        QCOMPARE(billZ(sync(user, upload({}))), stored);
        QCOMPARE(billZ(sync(user, uploadOf(received))), answered);
        QCOMPARE(billZ(sync(user, upload({}))), expected);
    }

    void answersInEachDevicesColumns()
    {
        const QString user = newAccount();
        sync(user, upload({{"Z", "it's \"中\"\n", stamp("00")}}));
        const QStringList newer{"id", "amount", "version", "remark"};
        const QString answer = sync(user, upload({{"Z", "7", stamp("01"), "新"}}, {}, newer));

        QStringList answered;
        for (const QVariant& entry : JSON::getInstance()->toList(answer))
            answered << entry.toMap().value("table_name").toString();
        QCOMPARE(answered, tables);
        QCOMPARE(billEntry(answer).value("update_columns").toStringList(), newer);
        const QList<QStringList> newerRows{{"Z", "7", stamp("01"), "新"}};
        QCOMPARE(billRows(sync(user, upload({}, {}, newer))), newerRows);
        // The older device gets its own columns back, with the title the newer device's edit left alone.
        const QList<QStringList> olderRows{{"Z", "it's \"中\"\n", stamp("01")}};
        QCOMPARE(billRows(sync(user, upload({}))), olderRows);
    }

    // Devices X and Y of one account, syncing with clocks of their own. "Y+a" uploads bill a stamped now, "Y+a@2020"
    // stamped in 2020 (an edit made long ago and sent late), "X!" syncs without changes, "X@+2" sets X's clock two
    // hours ahead of the service's, "X<1" syncs with the sync time X had after its first sync (a book put back from
    // a copy) and "X?" with a sync time the account never saw (a book synced with another account). The bills the
    // answer of the last step holds are compared.
    void answersWhatTheDeviceLacks_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("expected");
        const char* const cases[][3] = {
            {"a first sync", "Y+a Y+b X!", "a b"},
            {"a change since the last sync", "X! Y+a X!", "a"},
            {"the device's own upload", "X+a", ""},
            {"nothing new since the device's own upload", "X+a X!", ""},
            {"an old edit sent late", "X! Y+a@2020 X!", "a"},
            {"a clock two hours ahead", "Y+b X@+2 X! Y+a X!", "a"},
            {"a clock two hours behind", "Y+b X@-2 X! Y+a X!", "a"},
            {"a clock set back three hours", "Y+b X@+3 X! Y+a X@0 X!", "a b"},
            {"a book put back from a copy", "X! Y+a X! Y+b X<1", "a b"},
            {"a last sync the account never saw", "Y+a X?", "a"},
        };
        for (const auto& c : cases)
            QTest::newRow(c[0]) << QString(c[1]) << QString(c[2]);
    }

    void answersWhatTheDeviceLacks()
    {
        QFETCH(QString, script);
        QFETCH(QString, expected);
        const QString user = newAccount();
        QMap<QChar, Device> devices;
        QString answer;
        for (const QString& step : script.split(' ')) {
            Device& device = devices[step.at(0)];
            const QChar kind = step.at(1);
            const QString rest = step.mid(2);
            if (kind == '@') {
                device.clockOffset = rest.toLongLong() * 3600;
                continue;
            }
            if (kind == '<')
                device.syncStarts << device.syncStarts.at(rest.toInt());
            if (kind == '?')
                device.syncStarts << QDateTime::currentDateTimeUtc().addSecs(-3600).toString(stampFormat);
            const QString stamp = rest.contains("@2020") ? "2020-01-01 00:00:00" : device.clock();
            answer =
                syncAs(device, user, kind == '+' ? upload({{rest.section('@', 0, 0), "title", stamp}}) : upload({}));
        }
        QStringList ids;
        for (const QStringList& row : billRows(answer))
            ids << row.value(0);
        ids.sort();
        QCOMPARE(ids.join(' '), expected);
    }

    void refusesBadUploadsWhole_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("error");

        const QString good = uploadOf("b 01");
        const auto form = [](const QString& data, const QString& password = "pw") {
            return HttpHelper::encodeForm({{"username", "bad"}, {"password", password}, {"data", data}});
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
        QTest::newRow("no version column") << form(tampered("\"version\" ]", "\"v\" ]")) << 2;
        QTest::newRow("short row") << form(tampered("\"b\", ", "")) << 2;
        QTest::newRow("number value") << form(tampered("\"b\"", "2")) << 2;
        QTest::newRow("bad stamp") << form(tampered(stamp("01"), "2024-5-1 10:00:01")) << 2;
        QTest::newRow("empty id") << form(tampered("\"Z\"", "\"\"")) << 2;
        QTest::newRow("over 64 MB") << form(good) + "&pad=" + QByteArray(64 * 1024 * 1024, 'x') << 2;
    }

    void refusesBadUploadsWhole()
    {
        QFETCH(QByteArray, body);
        QFETCH(int, error);
        static const bool created = m_service.addAccount("bad", "pw");
        QVERIFY(created);
        sync("bad", uploadOf("a 00"));
        const QString stored = sync("bad", upload({}));

        const QVariantMap answer = JSON::getInstance()->toMap(QString::fromUtf8(postRaw("sync/syncpc2.php", body)));
        QCOMPARE(answer.value("error").toInt(), error);
        QVERIFY(answer.contains("message"));
        QCOMPARE(sync("bad", upload({})), stored);
    }

    void storeFailureKeepsNothing()
    {
        const QString user = newAccount();
        const QStringList sqlite{"create trigger inject before insert on records when new.id = 'zz' "
                                 "begin select raise(abort, 'injected'); end"};
        const QStringList postgreSql{
            "create function inject() returns trigger language plpgsql as "
            "$$ begin if new.id = 'zz' then raise exception 'injected'; end if; return new; end $$",
            "create trigger inject before insert on records for each row execute function inject()"};
        QVERIFY(m_service.execOnStore(ServiceProcess::onPostgreSql() ? postgreSql : sqlite));
        const QString answer = sync(user, upload({{"Z", "a", stamp("00")}, {"zz", "b", stamp("00")}}));
        QCOMPARE(JSON::getInstance()->toMap(answer).value("error").toInt(), 3);
        QCOMPARE(billZ(sync(user, upload({}))), QString("absent"));
    }

    void offersUpdateInstallerAndFeedback()
    {
        ServiceProcess service({"--offer-version", "45", "--offer-name", "2.3"});
        const QVariantMap offer = JSON::getInstance()->toMap(get(service.baseUrl() + "client/pc.php?ver=44"));
        QCOMPARE(offer.value("vercode").toInt(), 45);
        QCOMPARE(offer.value("vername").toString(), QString("2.3"));
        QVERIFY(offer.contains("description"));
        QVERIFY(get(offer.value("url1").toString()).toUtf8().size() > 5242879);
        QVERIFY(get(offer.value("url2").toString()).toUtf8().size() > 5242879);

        HttpHelper::Form feedback{{"email", "a@b.cc"}, {"subject", "FNK PC 反馈a@b.cc"}, {"content", "内容"}};
        QVERIFY(post("client/feedback.php", feedback).contains("success"));
        feedback.removeLast();
        QVERIFY(!post("client/feedback.php", feedback).contains("success"));
    }

    void signsUpOnItsFrontPage()
    {
        QVERIFY(get(m_service.baseUrl()).contains("<form method=\"post\""));
        const HttpHelper::Form account{{"username", "丙"}, {"password", "x y"}};
        QVERIFY(post("", account).contains("注册成功"));
        QVERIFY(post("", account).contains("已被注册"));
        QVERIFY(post("", {{"username", "丁"}, {"password", "密码 1+1"}}).contains("密码只能使用英文字母、数字和符号"));
        QVERIFY(!post("", {{"username", "<b>"}, {"password", ""}}).contains("<b>"));
        QVERIFY(JSON::getInstance()->toMap(post("sync/userid.php", account)).contains("id"));
    }

private:
    struct Device
    {
        qint64 clockOffset = 0;
        QStringList syncStarts{"2008-08-08 08:08:08"};
        QString clock() const { return QDateTime::currentDateTimeUtc().addSecs(clockOffset).toString(stampFormat); }
    };

    // A sync as the program makes it: the start of its last sync and the time of sending, read from its clock.
    QString syncAs(Device& device, const QString& user, const QString& data)
    {
        const QString start = device.clock();
        const QString answer = post("sync/syncpc2.php", {{"version", "44"},
                                                         {"username", user},
                                                         {"password", "pw"},
                                                         {"sync_time", device.syncStarts.last()},
                                                         {"client_time", start},
                                                         {"data", data}});
        if (!billEntry(answer).isEmpty())
            device.syncStarts << start;
        return answer;
    }

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
                                         {"client_time", stamp("00")},
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

    // The body of a 200 answer; anything else would reach the program as a bare transfer failure.
    static QByteArray answer(QNetworkReply* reply)
    {
        QSignalSpy(reply, &QNetworkReply::finished).wait(30000);
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
