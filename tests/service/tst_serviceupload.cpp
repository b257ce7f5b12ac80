#include "online/httphelper.h"
#include "online/json.h"
#include "online/jsoncodec.h"
#include "serviceprocess.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

// What the service keeps of an upload's texts, which forms of the program's JSON it reads and which it refuses, how
// several changes of one id in one upload are decided, how form fields are decoded, and the records it stored before.
namespace {
const QByteArray billColumns = "[\"id\",\"title\",\"version\"]";

QByteArray stamp(int second)
{
    return "2024-05-01 10:00:" + QByteArray::number(second).rightJustified(2, '0');
}

// An upload as the program writes it, in which only the bill table carries rows and deletions.
QByteArray changeSet(const QByteArray& rows, const QByteArray& deletions = "", const QByteArray& columns = billColumns)
{
    QByteArrayList entries;
    for (const char* table : {"bill", "account", "borrower", "category", "sub_category", "member"}) {
        const bool bill = qstrcmp(table, "bill") == 0;
        entries << "{ \"delete_columns\" : [ \"id\", \"version\" ], \"delete_data\" : [ " + (bill ? deletions : "") +
                       " ], \"table_name\" : \"" + table +
                       "\", \"update_columns\" : " + (bill ? columns : "[\"id\",\"name\",\"version\"]") +
                       ", \"update_data\" : [ " + (bill ? rows : "") + " ] }";
    }
    return "[ " + entries.join(", ") + " ]";
}

// "b 01, c 03" as bill rows of Z titled b and c, at 10:00:01 and 10:00:03; "- 02" as a deletion of Z at 10:00:02.
QByteArray changesOf(const QString& changes, bool deletions)
{
    QByteArrayList items;
    for (const QString& change : changes.split(',', Qt::SkipEmptyParts)) {
        const QByteArray title = change.trimmed().section(' ', 0, 0).toUtf8();
        const QByteArray version = stamp(change.trimmed().section(' ', 1).toInt());
        if ((title == "-") == deletions)
            items << (deletions ? "[\"Z\",\"" + version + "\"]" : "[\"Z\",\"" + title + "\",\"" + version + "\"]");
    }
    return items.join(',');
}

QByteArray uploadOf(const QString& changes)
{
    return changeSet(changesOf(changes, false), changesOf(changes, true));
}

QVariantMap billEntry(const QByteArray& answer)
{
    return JSON::getInstance()->toList(QString::fromUtf8(answer)).value(0).toMap();
}

// What an answer holds of bill Z, in the notation of uploadOf(), or "absent".
QString stateOfZ(const QByteArray& answer)
{
    const QVariantMap bill = billEntry(answer);
    const QStringList columns = bill.value("update_columns").toStringList();
    for (const QVariant& row : bill.value("update_data").toList()) {
        const QStringList values = row.toStringList();
        if (values.value(columns.indexOf("id")) == "Z")
            return values.value(columns.indexOf("title")) + ' ' + values.value(columns.indexOf("version")).right(2);
    }
    for (const QVariant& deletion : bill.value("delete_data").toList()) {
        if (deletion.toStringList().value(0) == "Z")
            return "- " + deletion.toStringList().value(1).right(2);
    }
    return "absent";
}

QStringList firstRow(const QByteArray& answer)
{
    return billEntry(answer).value("update_data").toList().value(0).toStringList();
}
} // namespace

class TestServiceUpload : public QObject
{
    Q_OBJECT

private slots:
    // Each text arrives at another device as the program's reader reads it from the upload, and is stored as it is
    // read: the device that sent it, sending it again, holds it already and gets nothing back.
    void keepsEveryText_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QString>("kept");
        QTest::newRow("quotes and backslashes") << QByteArray("\"it's \\\"q\\\" \\\\ \\/\"") << "it's \"q\" \\ /";
        QTest::newRow("short escapes") << QByteArray("\"\\b\\f\\n\\r\\t\"") << "\b\f\n\r\t";
        QTest::newRow("raw control characters") << QByteArray("\"\x01\x1f\x7f\xc2\x85\xe2\x80\xa8\"")
                                                << QString::fromUtf8("\x01\x1f\x7f\xc2\x85\xe2\x80\xa8");
        QTest::newRow("unicode escapes") << QByteArray("\"\\u00e9\\u4E2D\\u0000.\"")
                                         << QString::fromUtf8("é中") + QChar(0) + '.';
        QTest::newRow("surrogate pair") << QByteArray("\"\\ud83d\\ude00\"") << QString::fromUtf8("😀");
        QTest::newRow("lone surrogates") << QByteArray("\"\\ud83dx\\ude00\"") << "?x?";
        QTest::newRow("unknown escape and no number") << QByteArray("\"a\\qb\\uzzzz\"") << QString("ab") + QChar(0);
        QTest::newRow("non-ASCII") << QByteArray("\"中文 😀\"") << QString::fromUtf8("中文 😀");
        QTest::newRow("no UTF-8") << QByteArray("\"a\xff\"") << QString::fromUtf8("a\xef\xbf\xbd");
        QTest::newRow("empty") << QByteArray("\"\"") << QString();
    }

    void keepsEveryText()
    {
        QFETCH(QByteArray, sent);
        QFETCH(QString, kept);
        const QString user = newAccount();
        const QByteArray upload = changeSet("[\"Z\"," + sent + ",\"" + stamp(0) + "\"]");
        QCOMPARE(stateOfZ(sync(user, upload)), QString("absent"));
        QCOMPARE(firstRow(sync(user, changeSet(""))), (QStringList{"Z", kept, QString(stamp(0))}));
        QCOMPARE(stateOfZ(sync(user, upload)), QString("absent"));
    }

    // The answer byte for byte as the program's JSON writer would write it, with the control characters it leaves
    // raw escaped: the program and earlier services read and compare these texts.
    void writesAnswersInTheProgramsForm()
    {
        const QString user = newAccount();
        const QString title = QString::fromUtf8("\"q\\\b\f\n\r\t\x01\x1f\x7f\xc2\x85\xc2\xa0中");
        sync(user, changeSet(JsonCodec::serialize(QStringList{"Z", title, QString(stamp(0))}),
                             "[\"Y\",\"" + stamp(1) + "\"]"));
        QByteArray expected =
            "[ { \"delete_columns\" : [ \"id\", \"version\" ], \"delete_data\" : [ [ \"Y\", \"" + stamp(1) +
            "\" ] ], \"table_name\" : \"bill\", \"update_columns\" : [ \"version\", \"id\", "
            "\"title\" ], \"update_data\" : [ [ \"" +
            stamp(0) + "\", \"Z\", \"\\\"q\\\\\\b\\f\\n\\r\\t\\u0001\\u001f\\u007f\\u0085\u00a0中\" ] ] }";
        for (const char* table : {"account", "borrower", "category", "sub_category", "member"})
            expected +=
                ", { \"delete_columns\" : [ \"id\", \"version\" ], \"delete_data\" : [  ], \"table_name\" : \"" +
                QByteArray(table) +
                "\", \"update_columns\" : [ \"id\", \"name\", \"version\" ], \"update_data\" : [  ] }";
        expected += " ]";
        QCOMPARE(sync(user, changeSet("", "", "[\"version\",\"id\",\"title\"]")), expected);
    }

    // The program's reader lets commas be missing or repeated and ignores names it does not know and whatever follows
    // the list; the service reads uploads as it does.
    void readsTheProgramsDialect_data()
    {
        QTest::addColumn<QByteArray>("upload");
        const QByteArray row = "[\"Z\",\"a\",\"" + stamp(0) + "\"]";
        QTest::newRow("as the program writes it") << changeSet(row);
        QTest::newRow("commas missing") << changeSet("[\"Z\" \"a\" \"" + stamp(0) + "\"]").replace("}, {", "} {");
        QTest::newRow("commas repeated") << changeSet(",," + row + ",").replace("[ {", "[ ,{");
        QTest::newRow("names it does not know")
            << changeSet(row).replace("\"table_name\"", "\"x\" : [{\"y\": [1, -2.5e3, null, true]}], \"table_name\"");
        QTest::newRow("text after the list") << changeSet(row) + "]]} trailing";
        QTest::newRow("a name given twice") << changeSet(row).replace(
            "\"update_data\"", "\"update_data\" : [[\"Y\",\"y\",\"" + stamp(0) + "\"]], \"update_data\"");
    }

    void readsTheProgramsDialect()
    {
        QFETCH(QByteArray, upload);
        const QString user = newAccount();
        QCOMPARE(stateOfZ(sync(user, upload)), QString("absent"));
        const QVariantList rows = billEntry(sync(user, changeSet(""))).value("update_data").toList();
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows.first().toStringList(), (QStringList{"Z", "a", QString(stamp(0))}));
    }

    void refusesWhatIsNoChangeSet_data()
    {
        QTest::addColumn<QByteArray>("upload");
        const QByteArray row = "[\"Z\",\"a\",\"" + stamp(0) + "\"]";
        QTest::newRow("a list of numbers") << QByteArray("[1,1,1]");
        QTest::newRow("an object") << QByteArray("{\"table_name\":\"bill\"}");
        QTest::newRow("an entry that is a list")
            << changeSet(row).replace("{ \"delete_columns\"", "[ \"delete_columns\"");
        QTest::newRow("lists nested deep") << QByteArray(2000, '[') + QByteArray(2000, ']');
        QTest::newRow("a row longer than the columns") << changeSet("[\"Z\",\"a\",\"" + stamp(0) + "\",\"b\"]");
        QTest::newRow("a row shorter than the columns") << changeSet("[\"Z\",\"" + stamp(0) + "\"]");
        QTest::newRow("rows of the right length after one too short")
            << changeSet("[\"Z\",\"" + stamp(0) + "\"]," + row);
        QTest::newRow("a row shorter than the columns after one of their length")
            << changeSet(row + ",[\"Y\",\"" + stamp(0) + "\"]");
        QTest::newRow("a row longer than the columns after one of their length")
            << changeSet(row + ",[\"Y\",\"" + stamp(0) + "\",\"" + stamp(0) + "\",\"x\"]");
        QTest::newRow("a row that is no list") << changeSet("\"Z\"");
        QTest::newRow("a null value") << changeSet("[\"Z\",null,\"" + stamp(0) + "\"]");
        QTest::newRow("a deletion of one text") << changeSet("", "[\"Z\"]");
        QTest::newRow("a deletion of three texts") << changeSet("", "[\"Z\",\"" + stamp(0) + "\",\"x\"]");
        QTest::newRow("a deletion with a bad stamp") << changeSet("", "[\"Z\",\"2024-05-01\"]");
        QTest::newRow("a column named twice") << changeSet(row, "", "[\"id\",\"title\",\"version\",\"title\"]");
        QTest::newRow("no rows") << changeSet(row).replace("\"update_data\"", "\"other\"");
        QTest::newRow("a text cut short") << changeSet(row).left(changeSet(row).indexOf("\"a\"") + 2);
        QTest::newRow("an escape cut short") << QByteArray("[{\"update_data\":[[\"Z\",\"a\\u00");
        QTest::newRow("a backslash at the end") << QByteArray("[{\"update_data\":[[\"Z\",\"a\\");
    }

    void refusesWhatIsNoChangeSet()
    {
        QFETCH(QByteArray, upload);
        const QString user = newAccount();
        const QVariantMap refusal = JSON::getInstance()->toMap(QString::fromUtf8(sync(user, upload)));
        QCOMPARE(refusal.value("error").toInt(), 2);
        QCOMPARE(stateOfZ(sync(user, changeSet(""))), QString("absent"));
    }

    // Several rows or deletions of one id in one upload: of the rows the first with the latest stamp counts, of the
    // deletions the latest, and both weigh against what is stored as a single row and deletion would. What they lose
    // to is answered unless the device's last row or deletion of the id is what is stored, and not both.
    void decidesSeveralChangesOfOneId_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("received");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("answered");
        const char* const cases[][5] = {
            {"the first of the latest rows", "a 00", "b 01, c 03, d 03, e 02", "c 03", "absent"},
            {"rows older than the stored one", "a 05", "b 01, c 02", "a 05", "a 05"},
            {"the latest deletion", "a 00", "- 02, - 01", "- 02", "absent"},
            {"a deletion older than the row", "a 00", "b 02, - 01", "b 02", "absent"},
            {"a deletion newer than the row", "a 00", "b 01, - 02", "- 02", "absent"},
            {"a row over a deletion of its own stamp", "- 01", "b 01, c 01", "b 01", "absent"},
            {"the stored row sent first", "b 05", "b 05, c 01", "b 05", "b 05"},
            {"the stored row sent last", "b 05", "c 01, b 05", "b 05", "absent"},
            {"the stored deletion sent first", "- 05", "- 05, - 01", "- 05", "- 05"},
            {"the stored deletion sent last", "- 05", "- 01, - 05", "- 05", "absent"},
            {"the stored row sent with a deletion", "a 05", "a 05, - 05", "a 05", "a 05"},
        };
        for (const auto& c : cases)
            QTest::newRow(c[0]) << QString(c[1]) << QString(c[2]) << QString(c[3]) << QString(c[4]);
    }

    void decidesSeveralChangesOfOneId()
    {
        QFETCH(QString, stored);
        QFETCH(QString, received);
        QFETCH(QString, expected);
        QFETCH(QString, answered);
        const QString user = newAccount();
        sync(user, uploadOf(stored));
        QCOMPARE(stateOfZ(sync(user, uploadOf(received))), answered);
        QCOMPARE(stateOfZ(sync(user, changeSet(""))), expected);
    }

    // An upload of many ids is looked up in parts; a stored row in any part is weighed as in a small upload.
    void decidesEveryPartOfALargeUpload()
    {
        const QString user = newAccount();
        const auto rowOf = [](int id, const char* title, int second) {
            return "[\"" + QByteArray::number(id) + "\",\"" + title + "\",\"" + stamp(second) + "\"]";
        };
        sync(user, changeSet(rowOf(5, "kept", 5) + ',' + rowOf(1100, "older", 0)));
        QByteArrayList rows;
        for (int id = 0; id < 1200; ++id)
            rows << rowOf(id, "new", 1);
        const QVariantList answered = billEntry(sync(user, changeSet(rows.join(',')))).value("update_data").toList();
        QCOMPARE(answered.size(), 1);
        QCOMPARE(answered.first().toStringList(), (QStringList{"5", "kept", QString(stamp(5))}));
        int newer = 0;
        for (const QVariant& row : billEntry(sync(user, changeSet(""))).value("update_data").toList())
            newer += row.toStringList().value(1) == "new" ? 1 : 0;
        QCOMPARE(newer, 1199);
    }

    // Form fields as browsers send them too: a raw "+" is a blank, %XX in either case a byte, a "%" without two
    // hexadecimal digits stands for itself and the field named last counts.
    void decodesFormFields_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QString>("name");
        QTest::newRow("a blank as a plus") << QByteArray("a+b") << "a b";
        QTest::newRow("an escaped plus") << QByteArray("a%2bb%2B") << "a+b+";
        QTest::newRow("UTF-8 in either case") << QByteArray("%e4%B8%aD") << "中";
        QTest::newRow("a percent sign at the end") << QByteArray("5%") << "5%";
        QTest::newRow("a percent sign before no number") << QByteArray("%zz%4") << "%zz%4";
        QTest::newRow("a name given twice") << QByteArray("x&username=twice") << "twice";
    }

    void decodesFormFields()
    {
        QFETCH(QByteArray, sent);
        QFETCH(QString, name);
        QVERIFY(m_service.addAccount(name, "pw"));
        QVERIFY(
            JSON::getInstance()->toMap(post("sync/userid.php", "username=" + sent + "&password=pw")).contains("id"));
    }

    // Records as earlier versions of the service stored them, with their id and stamp among their columns, are
    // answered and merged as the service's own.
    void keepsRecordsStoredBefore()
    {
        const QString user = newAccount();
        const QString userId =
            JSON::getInstance()->toMap(post("sync/userid.php", userBody(user))).value("id").toString();
        QVERIFY(m_service.execOnStore(
            {"insert into records (user_id, table_name, id, version, deleted, data, seq) values ('" + userId +
             "', 'bill', 'Z', '" + stamp(0) +
             "', 0, '{ \"amount\" : \"7\", \"id\" : \"Z\", \"title\" : \"it''s\", \"version\" : \"" + stamp(0) +
             "\" }', 0)"}));
        QCOMPARE(stateOfZ(sync(user, changeSet(""))), QString("it's 00"));
        sync(user, uploadOf("b 01"));
        const QByteArray answer = sync(user, changeSet("", "", "[\"amount\",\"version\",\"title\",\"id\"]"));
        QCOMPARE(firstRow(answer), (QStringList{"7", QString(stamp(1)), "b", "Z"}));
    }

    // A sync that read the account before another sync of it was written finds out when it holds the account, and
    // decides again: the other sync's newer row stays and comes back in the answer.
    void decidesAgainWhenTheAccountChangedMeanwhile()
    {
        if (!ServiceProcess::onPostgreSql())
            QSKIP("an SQLite store is held whole while a sync is written, so another cannot be shown waiting");
        const QString user = newAccount();
        const QString userId =
            JSON::getInstance()->toMap(post("sync/userid.php", userBody(user))).value("id").toString();
        sync(user, uploadOf("a 00"));
        {
            QSqlDatabase holder = storeConnection("holder");
            QVERIFY(holder.transaction());
            QSqlQuery hold(holder);
            QVERIFY(hold.exec("update accounts set user_id = user_id where user_id = '" + userId + "'"));
            QNetworkReply* waiting = m_manager.post(formRequest("sync/syncpc2.php"), syncBody(user, uploadOf("b 01")));
            QSqlQuery locks(storeConnection("watcher"));
            QTRY_VERIFY_WITH_TIMEOUT(locks.exec("select 1 from pg_locks where not granted") && locks.next(), 10000);
            // What another sync of the account writes meanwhile: a newer row of Z, as the account's change 2.
            QVERIFY(hold.exec("update records set version = '" + stamp(3) +
                              "', data = '{\"title\":\"c\"}', seq = 2 "
                              "where user_id = '" +
                              userId + "' and id = 'Z'"));
            QVERIFY(hold.exec("insert into syncs (user_id, seq, applied, client_time) values ('" + userId + "', 2, " +
                              QString::number(QDateTime::currentMSecsSinceEpoch()) + ", '" + stamp(3) + "')"));
            QVERIFY(holder.commit());
            QCOMPARE(stateOfZ(answer(waiting)), QString("c 03"));
        }
        for (const char* name : {"holder", "watcher"})
            QSqlDatabase::removeDatabase(name);
        QCOMPARE(stateOfZ(sync(user, changeSet(""))), QString("c 03"));
    }

private:
    QString newAccount()
    {
        const QString name = QString("device%1").arg(++m_accounts);
        return m_service.addAccount(name, "pw") ? name : QString();
    }

    static QByteArray userBody(const QString& user)
    {
        return HttpHelper::encodeForm({{"username", user}, {"password", "pw"}});
    }

    // A sync as the program sends it, with the upload's bytes as they stand.
    static QByteArray syncBody(const QString& user, const QByteArray& data)
    {
        return HttpHelper::encodeForm({{"version", "44"},
                                       {"username", user},
                                       {"password", "pw"},
                                       {"sync_time", "2008-08-08 08:08:08"},
                                       {"client_time", QString(stamp(0))}}) +
               "&data=" + data.toPercentEncoding();
    }

    QByteArray sync(const QString& user, const QByteArray& data)
    {
        return answer(m_manager.post(formRequest("sync/syncpc2.php"), syncBody(user, data)));
    }

    QString post(const QString& path, const QByteArray& body)
    {
        return QString::fromUtf8(answer(m_manager.post(formRequest(path), body)));
    }

    QNetworkRequest formRequest(const QString& path) const
    {
        QNetworkRequest request(QUrl(m_service.baseUrl() + path));
        request.setHeader(QNetworkRequest::ContentTypeHeader, "application/x-www-form-urlencoded");
        return request;
    }

    // The body of a 200 answer; anything else would reach the program as a bare transfer failure.
    static QByteArray answer(QNetworkReply* reply)
    {
        if (!reply->isFinished())
            QSignalSpy(reply, &QNetworkReply::finished).wait(30000);
        reply->deleteLater();
        return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200 ? reply->readAll()
                                                                                         : QByteArray("HTTP error");
    }

    // A connection of the test's own to the service's PostgreSQL store, on the server the PG* variables name.
    QSqlDatabase storeConnection(const QString& name) const
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", name);
        db.setDatabaseName(QUrl(m_service.database()).path().mid(1));
        return db.open() ? db : QSqlDatabase();
    }

    ServiceProcess m_service;
    QNetworkAccessManager m_manager;
    int m_accounts = 0;
};

QTEST_GUILESS_MAIN(TestServiceUpload)
#include "tst_serviceupload.moc"
