#include "attacktools.h"

#include "answerkind.h"
#include "hostileconnection.h"
#include "rawhttp.h"

#include <QTimer>

#include <memory>
#include <vector>

const QByteArray billColumns = "\"id\",\"title\",\"amount\",\"description\",\"date\",\"month\",\"category_id\","
                               "\"sub_category_id\",\"account_id\",\"to_account_id\",\"borrower_id\",\"member_id\","
                               "\"kind\",\"created_time\",\"version\"";

QString outcome(const QByteArray& answer)
{
    const QByteArray body = answer.mid(answer.indexOf('|') + 1);
    if (answer.isEmpty())
        return "closed unanswered";
    if (!answer.contains('|'))
        return QString::fromLatin1(answer);
    if (body.startsWith('['))
        return "change set";
    const QString error = AnswerKind::ofError(body);
    return error.isEmpty() ? QString::fromLatin1(answer.left(answer.indexOf('|'))) : error;
}

QByteArray changeSet(const QByteArray& billColumns, int rows, const std::function<QByteArray(int)>& row)
{
    const QList<QByteArray> tables{"bill", "account", "borrower", "category", "sub_category", "member"};
    QByteArray json = "[";
    for (const QByteArray& table : tables) {
        const bool bill = table == "bill";
        json += "{\"table_name\":\"" + table + "\",\"update_columns\":[" +
                (bill ? billColumns : QByteArray("\"id\",\"version\"")) + "],\"update_data\":[";
        for (int i = 0; bill && i < rows; ++i)
            json += (i > 0 ? "," : "") + row(i);
        json += "],\"delete_columns\":[\"id\",\"version\"],\"delete_data\":[]}";
        json += table == tables.last() ? "]" : ",";
    }
    return json;
}

QByteArray syncRequest(const QString& account, const QByteArray& data, const QByteArray& syncTime)
{
    return RawHttp::formPost("sync/syncpc2.php", "version=44&username=" + account.toUtf8() + "&password=pw&sync_time=" +
                                                     syncTime + "&client_time=2024-05-01 12:00:00&data=" + data);
}

QByteArray syncOfSize(const QString& account, qint64 bytes)
{
    // The size of one upload of many tells the size of each bill.
    const qint64 perBill = billRecordData(1000).size() / 1000;
    return syncRequest(account, billRecordData(int((bytes - syncRequest(account, "").size()) / perBill)));
}

QByteArray billRecordData(int count, int first)
{
    const QByteArray uuid = "-0000-4000-8000-0000000000";
    return changeSet(billColumns, count, [&uuid, first](int i) {
        const QByteArray id = QByteArray::number(first + i).rightJustified(8, '0');
        return "[\"" + id + uuid + "01\",\"午餐\",\"-25.50\",\"和同事\",\"2024-05-01\",\"202405\",\"" + id + uuid +
               "02\",\"" + id + uuid + "03\",\"" + id + uuid +
               "04\",\"\",\"\",\"\",\"expense\",\"2024-05-01 12:00:00\",\"2024-05-01 12:00:00\"]";
    });
}

QByteArray syncHead(qint64 length)
{
    return "POST /sync/syncpc2.php HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: "
           "application/x-www-form-urlencoded\r\nContent-Length: " +
           QByteArray::number(length) + "\r\n\r\n";
}

QString spreadAddress(int network, int i)
{
    return QString("127.%1.%2.%3").arg(network).arg(i / 250).arg(1 + i % 250);
}

QString abandonedAccount(int i)
{
    return QString("abandoned%1").arg(i);
}

QString seconds(qint64 ms)
{
    return QString::number(double(ms) / 1000, 'f', 1) + " s";
}

QString tally(const QMap<QString, int>& endings)
{
    QStringList parts;
    for (auto i = endings.cbegin(); i != endings.cend(); ++i)
        parts << QString("%1 %2").arg(i.value()).arg(i.key());
    return parts.isEmpty() ? "none" : parts.join(", ");
}

QString tally(const QStringList& answers)
{
    QMap<QString, int> counts;
    for (const QString& answer : answers)
        ++counts[answer];
    return tally(counts);
}

int holdOpen(int count, int timeMs, const std::function<HostileConnection*(int)>& make, QMap<QString, int>& endings)
{
    std::vector<std::unique_ptr<HostileConnection>> held(static_cast<std::size_t>(count));
    int made = 0;
    const auto reopen = [&] {
        for (std::size_t i = 0; i < held.size(); ++i) {
            if (held[i] && held[i]->isOpen())
                continue;
            if (held[i])
                ++endings[outcome(held[i]->answer())];
            ++made;
            held[i].reset(make(int(i)));
        }
    };
    QTimer again;
    QObject::connect(&again, &QTimer::timeout, &again, reopen);
    reopen();
    again.start(100);
    QTest::qWait(timeMs);
    again.stop();
    endings["open at the end"] = openCount(held);
    // An answer that refused the request is whole by now, and keeps its connection open until it idles out: told
    // apart from those under way, so that what the service answered in the last half minute counts too.
    for (const auto& connection : held) {
        if (!connection->isOpen() || !connection->answerBegun())
            continue;
        connection->takeAnswerStart();
        const QString answered = outcome(connection->answer());
        // Its head not whole yet, or a change set still coming.
        const bool underWay = connection->answer().isEmpty() || answered == "change set";
        ++endings[underWay ? QString("open with an answer under way") : "open, answered " + answered];
    }
    return made;
}
