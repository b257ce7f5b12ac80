#include "online/httphelper.h"
#include "online/json.h"
#include "rawhttp.h"
#include "serviceprocess.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPasswordDigestor>
#include <QTcpSocket>
#include <QtTest>

#include <sys/stat.h>

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

// An installer the program would accept, made for the test.
QString installerIn(const QTemporaryDir& dir)
{
    QFile file(dir.filePath("setup.exe"));
    if (!file.open(QIODevice::WriteOnly) || !file.resize(5242880))
        return QString();
    return file.fileName();
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
                                        {"first character differs", "甲 a+b", "q&w=x+ %41"},
                                        {"empty password", "甲 a+b", ""},
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

    // Keys stored by earlier services, derived by Qt's own PBKDF2, still sign in; a key that differs from the right
    // one anywhere refuses the right password.
    void signsInAccountsKeptBefore_data()
    {
        QTest::addColumn<int>("changedByte");
        QTest::newRow("the key kept") << -1;
        QTest::newRow("its first byte differs") << 0;
        QTest::newRow("its last byte differs") << 31;
    }

    void signsInAccountsKeptBefore()
    {
        QFETCH(int, changedByte);
        const QByteArray salt = "0123456789abcdef";
        QByteArray key = QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, "pw", salt, 10000, 32);
        if (changedByte >= 0)
            key[changedByte] = char(key.at(changedByte) ^ 1);
        const QString name = QString("kept%1").arg(changedByte);
        const QString id = QString("12345%1").arg(changedByte + 100, 3, 10, QChar('0')) + "00";
        QVERIFY(m_service.execOnStore({QString("insert into accounts (name, user_id, salt, iterations, hash) values "
                                               "('%1', '%2', '%3', 10000, '%4')")
                                           .arg(name, id, QString(salt.toHex()), QString(key.toHex()))}));
        const QVariantMap answer =
            JSON::getInstance()->toMap(post("sync/userid.php", {{"username", name}, {"password", "pw"}}));
        QCOMPARE(answer.value("id").toString(), changedByte < 0 ? id : QString());
        QCOMPARE(answer.value("error").toInt(), changedByte < 0 ? 0 : 1);
    }

    // Neither a new account nor one kept from before can have an empty password.
    void refusesEmptyPasswords()
    {
        QVERIFY(post("", {{"username", "空"}, {"password", ""}}).contains("密码不能为空"));
        const QByteArray salt = "fedcba9876543210";
        const QByteArray key = QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, "", salt, 10000, 32);
        QVERIFY(m_service.execOnStore({QString("insert into accounts (name, user_id, salt, iterations, hash) values "
                                               "('空', '8765432100', '%1', 10000, '%2')")
                                           .arg(QString(salt.toHex()), QString(key.toHex()))}));
        const HttpHelper::Form form{{"username", "空"}, {"password", ""}};
        QCOMPARE(JSON::getInstance()->toMap(post("sync/userid.php", form)).value("error").toInt(), 1);
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
        QTest::newRow("first character differs") << form(good, "qw") << 1;
        QTest::newRow("empty password") << form(good, "") << 1;
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

    void escapesControlCharactersInAnswers()
    {
        const QString user = newAccount();
        QString title(QChar(0));
        for (char16_t c = 1; c < 0x20; ++c)
            title += QChar(c);
        title += QStringView(u"\u007f\u0085\u2028末");
        sync(user, upload({{"Z", title, stamp("00")}}));
        // What another device of the account receives.
        const QString answer = sync(user, upload({}));
        const auto control = [](QChar c) { return c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() <= 0x9f); };
        QVERIFY(std::none_of(answer.cbegin(), answer.cend(), control));
        QCOMPARE(billRows(answer).value(0).value(1), title);
    }

    void refusesOversizedBodies_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("error");
        QTest::newRow("by its length, before it is sent")
            << QByteArray("POST /sync/syncpc2.php HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 67108865\r\n\r\n")
            << 2;
        // A form of exactly its path's limit is read, and answered as any other with a wrong account.
        const QByteArray form = "username=nobody&password=pw&pad=";
        const QByteArray atLimit = form + QByteArray(1024 * 1024 - form.size(), 'x');
        QTest::newRow("a form of exactly the limit") << RawHttp::formPost("sync/userid.php", atLimit) << 1;
        QTest::newRow("a byte over the limit") << RawHttp::formPost("sync/userid.php", atLimit + 'x') << 2;
    }

    void refusesOversizedBodies()
    {
        QFETCH(QByteArray, request);
        QFETCH(int, error);
        const QByteArray answer = RawHttp::exchange(m_service.baseUrl(), request);
        QVERIFY(answer.startsWith("HTTP/1.1 200 OK|"));
        QCOMPARE(JSON::getInstance()->toMap(QString::fromUtf8(answer.mid(answer.indexOf('|') + 1))).value("error"),
                 error);
    }

    // Requests whose body or head the HTTP library would read whole before anything could refuse them.
    void refusesWhatItWouldHoldWhole_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("status");
        const QByteArray chunk = "Transfer-Encoding: chunked\r\n\r\n1\r\nx\r\n0\r\n\r\n";
        QTest::newRow("head over 64 KB") << "GET /weibo HTTP/1.1\r\nX: " + QByteArray(70000, 'x') + "\r\n\r\n"
                                         << QByteArray();
        QTest::newRow("body of another method") << "PUT /sync/syncpc2.php HTTP/1.1\r\n" + chunk << QByteArray("405");
        QTest::newRow("post without a length")
            << QByteArray("POST /sync/userid.php HTTP/1.1\r\n\r\n") << QByteArray("411");
        // The program always sends a length: a body in chunks is refused before its first chunk is read, the more so
        // one whose size line never ends.
        QTest::newRow("body in chunks") << "POST /sync/syncpc2.php HTTP/1.1\r\n" + chunk << QByteArray("411");
        QTest::newRow("chunk size line without end")
            << "POST /sync/syncpc2.php HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n1;" + QByteArray(1000000, 'x')
            << QByteArray("411");
        QTest::newRow("post to an unknown path")
            << QByteArray("POST /elsewhere HTTP/1.1\r\nContent-Length: 100000000\r\n\r\n") << QByteArray("404");
    }

    void refusesWhatItWouldHoldWhole()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, status);
        const QByteArray answer = RawHttp::exchange(m_service.baseUrl(), request);
        QCOMPARE(answer.mid(9, 3), status);
    }

    void listensOnTheAddressGiven()
    {
        ServiceProcess service({"--listen", "127.0.0.2"});
        QCOMPARE(QUrl(service.baseUrl()).host(), QString("127.0.0.2"));
        QVERIFY(get(service.baseUrl() + "weibo").contains("<html"));
        QTcpSocket elsewhere;
        elsewhere.connectToHost(QHostAddress::LocalHost, quint16(QUrl(service.baseUrl()).port()));
        QVERIFY(!elsewhere.waitForConnected(2000));
    }

    void closesIdleConnectionsAndCapsEachAddress()
    {
        ServiceProcess service({"--idle-timeout", "2", "--connections-per-address", "2"});
        const QByteArray news = "GET /weibo HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
        QElapsedTimer opened;
        opened.start();
        std::vector<std::unique_ptr<QTcpSocket>> idle;
        for (int i = 0; i < 3; ++i) {
            idle.push_back(std::make_unique<QTcpSocket>());
            idle.back()->connectToHost(QHostAddress::LocalHost, quint16(QUrl(service.baseUrl()).port()));
            QVERIFY(idle.back()->waitForConnected(5000));
        }
        // One over the cap is closed at once, and another address is served meanwhile.
        QVERIFY(idle.at(2)->waitForDisconnected(1000));
        QVERIFY(RawHttp::exchange(service.baseUrl(), news, "127.0.0.2").startsWith("HTTP/1.1 200 OK|"));
        QVERIFY(RawHttp::exchange(service.baseUrl(), news).isEmpty());
        // The others when they have sent nothing for the idle time; then the address is served again.
        QVERIFY(idle.at(0)->waitForDisconnected(5000));
        QVERIFY(idle.at(1)->state() == QAbstractSocket::UnconnectedState || idle.at(1)->waitForDisconnected(1000));
        QVERIFY(opened.elapsed() > 1500);
        QVERIFY(RawHttp::exchange(service.baseUrl(), news).startsWith("HTTP/1.1 200 OK|"));
    }

    // Posts in order, each as "from e-mail content kept": the client address, the lengths of its e-mail and content,
    // and "+" when the service keeps it.
    void limitsFeedback_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("posts");
        QTest::newRow("per address and per hour")
            << QStringList{"--feedback-per-address", "2", "--feedback-per-hour", "3"}
            << QStringList{"127.0.0.1 6 8388608 -", "127.0.0.1 6 65536 -", "127.0.0.1 65536 10 -",
                           "127.0.0.1 6 61440 +",   "127.0.0.1 6 10 +",    "127.0.0.1 6 10 -",
                           "127.0.0.2 6 10 +",      "127.0.0.3 6 10 -"};
        QTest::newRow("kept in all") << QStringList{"--feedback-store-limit", "150"}
                                     << QStringList{"127.0.0.1 6 61440 +", "127.0.0.2 61440 6 +", "127.0.0.3 6 61440 -",
                                                    "127.0.0.3 6 10 +"};
    }

    void limitsFeedback()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, posts);
        ServiceProcess service(arguments);
        for (const QString& line : posts) {
            const QStringList fields = line.split(' ');
            const QString email(fields.at(1).toInt(), 'e');
            const QByteArray body = HttpHelper::encodeForm(
                {{"email", email}, {"subject", "FNK PC 反馈"}, {"content", QString(fields.at(2).toInt(), 'x')}});
            const QByteArray answer =
                RawHttp::exchange(service.baseUrl(), RawHttp::formPost("client/feedback.php", body), fields.at(0));
            QVERIFY2(answer.startsWith("HTTP/1.1 200 OK|"), answer.left(100));
            QVERIFY2(answer.contains("success") == (fields.at(3) == "+"), qPrintable(line));
        }
        QVERIFY(!post("client/feedback.php", {{"email", "a@b.cc"}, {"subject", "s"}}, &service).contains("success"));
    }

    // Sign-ups in order, each as "from origin kept": the client address, the site its Origin header names ("-" for
    // none, "own" for the service's own) and "+" when an account is made.
    void limitsSignUps()
    {
        ServiceProcess service({"--signups-per-address", "2", "--signups-per-hour", "3"});
        const QStringList signups{"127.0.0.1 http://elsewhere.example -",
                                  "127.0.0.1 own +",
                                  "127.0.0.1 - +",
                                  "127.0.0.1 - -",
                                  "127.0.0.2 - +",
                                  "127.0.0.3 - -"};
        for (int i = 0; i < signups.size(); ++i) {
            const QStringList fields = signups.at(i).split(' ');
            const QString origin = fields.at(1) == "own" ? service.baseUrl().chopped(1) : fields.at(1);
            const QString name = QString("new%1").arg(i);
            const QByteArray page = RawHttp::exchange(
                service.baseUrl(),
                RawHttp::formPost("", "username=" + name.toUtf8() + "&password=pw",
                                  origin == "-" ? QByteArray() : "Origin: " + origin.toUtf8() + "\r\n"),
                fields.at(0));
            const bool kept = fields.at(2) == "+";
            QVERIFY2(page.contains("注册成功") == kept, qPrintable(signups.at(i)));
            const QVariantMap answer =
                JSON::getInstance()->toMap(post("sync/userid.php", {{"username", name}, {"password", "pw"}}, &service));
            QCOMPARE(answer.contains("id"), kept);
        }
    }

    void offersUpdateOnlyWithAnInstaller_data()
    {
        QTest::addColumn<bool>("installer");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("base");
        QTest::newRow("installer") << true << QStringList() << QString();
        QTest::newRow("installer at a public address")
            << true << QStringList{"--public-url", "https://sync.example.org/qb"} << "https://sync.example.org/qb/";
        QTest::newRow("no installer") << false << QStringList() << QString();
    }

    void offersUpdateOnlyWithAnInstaller()
    {
        QFETCH(bool, installer);
        QFETCH(QStringList, arguments);
        QFETCH(QString, base);
        QTemporaryDir dir;
        arguments << "--offer-version"
                  << "45"
                  << "--offer-name"
                  << "<i>2.3</i>";
        if (installer)
            arguments << "--installer" << installerIn(dir);
        ServiceProcess service(arguments);
        // A Host header of the client's choosing names none of the addresses offered.
        const QByteArray check = RawHttp::exchange(
            service.baseUrl(), "GET /client/pc.php?ver=44 HTTP/1.1\r\nHost: attacker.example\r\n\r\n");
        const QVariantMap offer = JSON::getInstance()->toMap(QString::fromUtf8(check.mid(check.indexOf('|') + 1)));
        const QString url =
            installer ? (base.isEmpty() ? service.baseUrl() : base) + "download/quillbay-setup.exe" : "";
        QCOMPARE(offer.value("vercode").toInt(), installer ? 45 : 44);
        QCOMPARE(offer.value("url1").toString(), url);
        QCOMPARE(offer.value("url2").toString(), url);
        const QByteArray download = getRaw(service.baseUrl() + "download/quillbay-setup.exe");
        QCOMPARE(download, installer ? QByteArray(5242880, '\0') : QByteArray("HTTP error"));
        const QString news = get(service.baseUrl() + "weibo");
        QCOMPARE(news.contains("Quillbay 2.3") || news.contains("&lt;i&gt;2.3&lt;/i&gt;"), installer);
        QVERIFY(news.contains("<ul") && !news.contains("<i>"));
    }

    void reconnectsToTheDatabase()
    {
        if (!ServiceProcess::onPostgreSql())
            QSKIP("an SQLite store has no connection to lose");
        // One worker, so that the next sync comes to the connection that was lost.
        ServiceProcess service({"--workers", "1"});
        QVERIFY(service.addAccount("family", "pw"));
        QVERIFY(JSON::getInstance()->toMap(sync("family", uploadOf("b 01"), &service)).isEmpty());
        QVERIFY(service.execOnStore({"select pg_terminate_backend(pid) from pg_stat_activity "
                                     "where datname = current_database() and pid <> pg_backend_pid()"}));
        // The older edit loses to the stored one, which the answer carries back.
        QCOMPARE(billZ(sync("family", uploadOf("a 00"), &service)), QString("b 01"));
    }

    void keepsTheStoreToItsOwner()
    {
        if (ServiceProcess::onPostgreSql())
            QSKIP("a PostgreSQL store lies in the database server's files");
        QTemporaryDir dir;
        const QString file = dir.filePath("store/service.db");
        // Whatever the umask, in write-ahead-log mode too, where SQLite keeps two more files open, and for a store
        // that an earlier version left readable.
        const mode_t umaskBefore = umask(0);
        ServiceProcess first({}, "sqlite:" + file);
        QVERIFY(first.execOnStore({"pragma journal_mode=wal"}));
        QVERIFY(QFile::setPermissions(file, QFile::permissions(file) | QFile::ReadOther));
        ServiceProcess second({}, first.database());
        QVERIFY(
            RawHttp::exchange(second.baseUrl(), RawHttp::formPost("", "username=u&password=p")).contains("注册成功"));
        umask(umaskBefore);
        const auto mode = [](const QString& path) {
            struct stat status
            {
            };
            return stat(QFile::encodeName(path).constData(), &status) == 0 ? int(status.st_mode & 0777) : -1;
        };
        QCOMPARE(mode(dir.filePath("store")), 0700);
        for (const char* suffix : {"", "-wal", "-shm"})
            QCOMPARE(mode(file + suffix), 0600);
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

    QString sync(const QString& user, const QString& data, const ServiceProcess* service = nullptr)
    {
        return post("sync/syncpc2.php",
                    {{"version", "44"},
                     {"username", user},
                     {"password", "pw"},
                     {"sync_time", "2008-08-08 08:08:08"},
                     {"client_time", stamp("00")},
                     {"data", data}},
                    service);
    }

    QString post(const QString& path, const HttpHelper::Form& form, const ServiceProcess* service = nullptr)
    {
        return QString::fromUtf8(postRaw(path, HttpHelper::encodeForm(form), service));
    }

    QByteArray postRaw(const QString& path, const QByteArray& body, const ServiceProcess* service = nullptr)
    {
        QNetworkRequest request(QUrl((service ? service : &m_service)->baseUrl() + path));
        request.setHeader(QNetworkRequest::ContentTypeHeader, "application/x-www-form-urlencoded");
        return answer(m_manager.post(request, body));
    }

    QByteArray getRaw(const QString& url) { return answer(m_manager.get(QNetworkRequest(QUrl(url)))); }
    QString get(const QString& url) { return QString::fromUtf8(getRaw(url)); }

    // The body of a 200 answer; anything else would reach the program as a bare transfer failure.
    static QByteArray answer(QNetworkReply* reply)
    {
        QSignalSpy(reply, &QNetworkReply::finished).wait(30000);
        reply->deleteLater();
        return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200 ? reply->readAll()
                                                                                         : QByteArray("HTTP error");
    }

    // The tests post many wrong passwords and sign-ups from one address.
    ServiceProcess m_service{{"--login-failures-per-address", "1000", "--signups-per-address", "1000"}};
    QNetworkAccessManager m_manager;
    int m_accounts = 0;
};

QTEST_GUILESS_MAIN(TestSyncService)
#include "tst_syncservice.moc"
