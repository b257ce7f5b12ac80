#include "simulateddevice.h"

#include "online/httphelper.h"
#include "online/jsoncodec.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkReply>
#include <QTimer>
#include <QUuid>

#include <algorithm>

namespace {
const QString stampFormat = "yyyy-MM-dd hh:mm:ss";
const QString unboundSyncTime = "2008-08-08 08:08:08";
const QStringList tables{"bill", "account", "borrower", "category", "sub_category", "member"};
const QStringList billColumns{"id", "title", "amount", "version"};
const int hotBills = 3;
// Devices wait up to this long between their edits and their upload, so that uploads reach the service in another
// order than their stamps.
const int maxPauseMs = 20;

// One second later than the stamp handed out before, whichever device asked for it.
QString nextStamp()
{
    static QDateTime clock(QDate(2024, 1, 1), QTime(0, 0), Qt::UTC);
    clock = clock.addSecs(1);
    return clock.toString(stampFormat);
}

QString stampOf(const QString& state)
{
    return state.left(stampFormat.size());
}

bool isDeletion(const QString& state)
{
    return state.endsWith("|-");
}

// Whether a bill in the state `received` replaces one in the state `held`: the later stamp wins, and on equal
// stamps a row wins over a deletion.
bool replaces(const QString& received, const QString& held)
{
    if (held.isEmpty() || stampOf(received) > stampOf(held))
        return true;
    return stampOf(received) == stampOf(held) && isDeletion(held) && !isDeletion(received);
}

// The bill entry of an answer as states by id; false when the answer is not a list of table entries.
bool readAnswer(const QString& answer, QMap<QString, QString>& states)
{
    const QVariantList entries = JsonCodec::parse(answer).toList();
    if (entries.size() != tables.size())
        return false;
    const QVariantMap bill = entries.first().toMap();
    const QStringList columns = bill.value("update_columns").toStringList();
    const qsizetype id = columns.indexOf("id");
    const qsizetype title = columns.indexOf("title");
    const qsizetype amount = columns.indexOf("amount");
    const qsizetype version = columns.indexOf("version");
    if (bill.value("table_name") != "bill" || id < 0 || title < 0 || amount < 0 || version < 0)
        return false;
    for (const QVariant& row : bill.value("update_data").toList()) {
        const QStringList values = row.toStringList();
        states.insert(values.value(id), values.value(version) + '|' + values.value(title) + '|' + values.value(amount));
    }
    for (const QVariant& deletion : bill.value("delete_data").toList())
        states.insert(deletion.toStringList().value(0), deletion.toStringList().value(1) + "|-");
    return true;
}
// Whether the answer tells the client that the service is busy and to come back later.
bool isBusy(const QString& answer)
{
    const QVariantMap refusal = JsonCodec::parse(answer).toMap();
    return refusal.value("error").toInt() == 3 && refusal.value("message").toString().contains("繁忙");
}
} // namespace

SimulatedDevice::SimulatedDevice(const QString& baseUrl, const QString& account, const QString& password, quint32 seed)
    : m_baseUrl(baseUrl), m_account(account), m_password(password), m_random(seed), m_syncTime(unboundSyncTime)
{
}

void SimulatedDevice::addBills(int count)
{
    for (int i = 0; i < count; ++i)
        addBill();
}

void SimulatedDevice::run(int rounds, int editsPerRound)
{
    m_rounds = rounds;
    m_editsPerRound = editsPerRound;
    if (m_userId.isEmpty())
        post("sync/userid.php", {{"username", m_account}, {"password", m_password}}, &SimulatedDevice::bound);
    else
        next();
}

bool SimulatedDevice::runTogether(const QList<SimulatedDevice*>& devices, int rounds, int editsPerRound, int timeoutMs)
{
    QEventLoop loop;
    QTimer::singleShot(timeoutMs, &loop, [&loop] { loop.exit(1); });
    qsizetype running = devices.size();
    for (SimulatedDevice* device : devices) {
        connect(
            device, &SimulatedDevice::done, &loop,
            [&] {
                if (--running == 0)
                    loop.exit(0);
            },
            Qt::SingleShotConnection);
        device->run(rounds, editsPerRound);
    }
    return running == 0 || loop.exec() == 0;
}

bool SimulatedDevice::settle(const QList<SimulatedDevice*>& devices, int maxRounds)
{
    for (int round = 0; round < maxRounds; ++round) {
        const bool nothingToSend = std::all_of(devices.cbegin(), devices.cend(), [](const SimulatedDevice* device) {
            return device->undeliveredEdits() == 0;
        });
        if (!runTogether(devices, 1, 0))
            return false;
        if (nothingToSend && std::all_of(devices.cbegin(), devices.cend(), [](const SimulatedDevice* device) {
                return device->m_lastSyncApplied;
            }))
            return true;
    }
    return false;
}

QStringList SimulatedDevice::lostEdits(const QMap<QString, QString>& bills) const
{
    QStringList lost;
    for (auto edit = m_ownEdits.cbegin(); edit != m_ownEdits.cend(); ++edit) {
        const QString now = bills.value(edit.key());
        if (!m_unsent.contains(edit.key()) && now != edit.value() && !(stampOf(now) > stampOf(edit.value())))
            lost << edit.key() + ": " + edit.value() + " became " + now;
    }
    return lost;
}

void SimulatedDevice::edit()
{
    // One of a few bills, the same few on every device of the account, so that devices keep overwriting one
    // another's rows.
    QStringList hot;
    for (auto bill = m_bills.cbegin(); bill != m_bills.cend() && hot.size() < hotBills; ++bill)
        if (!isDeletion(bill.value()))
            hot << bill.key();
    const int dice = m_random.bounded(100);
    if (hot.isEmpty() || dice < 40) {
        addBill();
        return;
    }
    const QString id = hot.at(m_random.bounded(hot.size()));
    const QString title = m_bills.value(id).section('|', 1, 1);
    write(id, nextStamp() + (dice < 85 ? '|' + title + '|' + QString::number(m_random.bounded(100000)) : "|-"));
}

void SimulatedDevice::addBill()
{
    write(QUuid::createUuid().toString(QUuid::WithoutBraces),
          nextStamp() + '|' + m_account + '|' + QString::number(m_random.bounded(100000)));
}

void SimulatedDevice::write(const QString& id, const QString& state)
{
    m_bills.insert(id, state);
    m_ownEdits.insert(id, state);
    m_unsent.insert(id);
}

void SimulatedDevice::next()
{
    if (m_rounds == 0) {
        emit done();
        return;
    }
    --m_rounds;
    for (int i = 0; i < m_editsPerRound; ++i)
        edit();
    QTimer::singleShot(m_random.bounded(maxPauseMs + 1), this, &SimulatedDevice::upload);
}

QString SimulatedDevice::clock() const
{
    return QDateTime::currentDateTimeUtc().addSecs(m_clockOffset).toString(stampFormat);
}

void SimulatedDevice::upload()
{
    m_syncStart = clock();
    post("sync/syncpc2.php",
         {{"version", "44"},
          {"username", m_account},
          {"password", m_password},
          {"sync_time", m_syncTime},
          {"client_time", clock()},
          {"data", changeSet()}},
         &SimulatedDevice::synced);
}

void SimulatedDevice::post(const QString& path, QList<QPair<QString, QString>> form,
                           void (SimulatedDevice::*handler)(const QString&))
{
    QNetworkRequest request(QUrl(m_baseUrl + path));
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/x-www-form-urlencoded");
    QElapsedTimer timer;
    timer.start();
    QNetworkReply* reply = m_network.post(request, HttpHelper::encodeForm(form));
    connect(reply, &QNetworkReply::finished, this, [this, reply, timer, handler] {
        reply->deleteLater();
        const bool answered = reply->error() == QNetworkReply::NoError &&
                              reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200;
        if (answered)
            m_latencies << timer.nsecsElapsed() / 1000;
        (this->*handler)(answered ? QString::fromUtf8(reply->readAll()) : QString());
    });
}

void SimulatedDevice::bound(const QString& answer)
{
    m_userId = JsonCodec::parse(answer).toMap().value("id").toString();
    if (m_userId.isEmpty())
        ++m_failures;
    next();
}

void SimulatedDevice::synced(const QString& answer)
{
    QMap<QString, QString> received;
    m_lastSyncApplied = readAnswer(answer, received);
    if (!m_lastSyncApplied) {
        ++(isBusy(answer) ? m_busyAnswers : m_failures);
        next();
        return;
    }
    // The store only moves forward: whatever the answer holds of a bill is what the device has or something later.
    for (auto bill = received.cbegin(); bill != received.cend(); ++bill) {
        const QString held = m_bills.value(bill.key());
        if (!held.isEmpty() && held != bill.value() && replaces(held, bill.value())) {
            ++m_staleAnswers;
            break;
        }
    }
    m_unsent.clear();
    m_syncTime = m_syncStart;
    for (auto bill = received.cbegin(); bill != received.cend(); ++bill)
        merge(bill.key(), bill.value());
    next();
}

QString SimulatedDevice::changeSet() const
{
    QVariantList rows;
    QVariantList deletions;
    for (const QString& id : m_unsent) {
        const QString state = m_bills.value(id);
        if (isDeletion(state))
            deletions << QVariant(QStringList{id, stampOf(state)});
        else
            rows << QVariant(QStringList{id, state.section('|', 1, 1), state.section('|', 2, 2), stampOf(state)});
    }
    QVariantList entries;
    for (const QString& table : tables) {
        const bool bill = table == "bill";
        entries << QVariantMap{{"table_name", table},
                               {"update_columns", bill ? billColumns : QStringList{"id", "name", "version"}},
                               {"update_data", bill ? rows : QVariantList()},
                               {"delete_columns", QStringList{"id", "version"}},
                               {"delete_data", bill ? deletions : QVariantList()}};
    }
    return JsonCodec::serializeStr(entries);
}

void SimulatedDevice::merge(const QString& id, const QString& state)
{
    if (replaces(state, m_bills.value(id)))
        m_bills.insert(id, state);
}
