#include "legitclient.h"

#include "answerkind.h"
#include "benchtiming.h"
#include "online/httphelper.h"

#include <QDateTime>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>
#include <algorithm>

namespace {
const int cycleMs = 200;
const int timeoutMs = 5000;
const QStringList tables{"bill", "account", "borrower", "category", "sub_category", "member"};

// An upload in which the bill table carries one changed row, its title padded to make the upload `bytes` long.
QString oneRecord(int edit, int bytes)
{
    const QString now = QDateTime::currentDateTimeUtc().toString("yyyy-MM-dd hh:mm:ss");
    // The upload without padding takes well under a kilobyte.
    const QString title = QString("edit %1").arg(edit) + QString(qMax(0, bytes - 1000), 'x');
    QStringList entries;
    for (const QString& table : tables) {
        const QString rows = table == "bill" ? QString("[\"legit\",\"%1\",\"%2\"]").arg(title, now) : "";
        entries << QString("{\"table_name\":\"%1\",\"update_columns\":[\"id\",\"title\",\"version\"],\"update_data\":"
                           "[%2],\"delete_columns\":[\"id\",\"version\"],\"delete_data\":[]}")
                       .arg(table, rows);
    }
    return '[' + entries.join(',') + ']';
}

bool signedIn(const QByteArray& answer)
{
    return answer.contains("\"id\"") && !answer.contains("\"error\"");
}

bool changeSet(const QByteArray& answer)
{
    return answer.startsWith('[') && answer.contains("table_name");
}
} // namespace

LegitClient::LegitClient(const QString& baseUrl, const QString& account, const QString& password, const OwnerSyncs& how)
    : m_baseUrl(baseUrl), m_account(account), m_password(password), m_how(how)
{
}

void LegitClient::start()
{
    m_network = new QNetworkAccessManager(this);
    login();
}

void LegitClient::stop()
{
    m_stopped = true;
    delete m_network;
    m_network = nullptr;
}

double LegitClient::p50Ms() const
{
    return percentile(m_latencies, 0.5);
}

double LegitClient::p99Ms() const
{
    return percentile(m_latencies, 0.99);
}

void LegitClient::login()
{
    m_cycle.start();
    post("sync/userid.php", {{"username", m_account}, {"password", m_password}}, signedIn, &LegitClient::sync);
}

void LegitClient::sync()
{
    m_syncStart = QDateTime::currentDateTimeUtc().toString("yyyy-MM-dd hh:mm:ss");
    post("sync/syncpc2.php",
         {{"version", "44"},
          {"username", m_account},
          {"password", m_password},
          {"sync_time", m_syncTime},
          {"client_time", m_syncStart},
          {"data", oneRecord(++m_edits, m_how.uploadBytes)}},
         changeSet, &LegitClient::synced);
}

void LegitClient::synced()
{
    if (m_accepted && !m_how.firstSyncs)
        m_syncTime = m_syncStart;
    pause();
}

void LegitClient::post(const QString& path, const QList<QPair<QString, QString>>& form,
                       bool (*accepted)(const QByteArray&), void (LegitClient::*next)())
{
    if (m_stopped)
        return;
    QNetworkRequest request(QUrl(m_baseUrl + path));
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/x-www-form-urlencoded");
    request.setTransferTimeout(timeoutMs);
    QElapsedTimer timer;
    timer.start();
    QNetworkReply* reply = m_network->post(request, HttpHelper::encodeForm(form));
    connect(reply, &QNetworkReply::finished, this, [this, reply, timer, accepted, next] {
        // Once stopped, the replies go with the network manager.
        if (m_stopped)
            return;
        reply->deleteLater();
        // A reply that failed before an answer came has nothing to read.
        const QByteArray answer = reply->isOpen() ? reply->readAll() : QByteArray();
        m_accepted = reply->error() == QNetworkReply::NoError && accepted(answer);
        if (m_accepted) {
            m_latencies << double(timer.nsecsElapsed()) / 1e6;
        } else {
            ++m_failures;
            if (const QString error = AnswerKind::ofError(answer); !error.isEmpty())
                ++m_errors[error];
        }
        // The service's throttles and busy answers all end so.
        if (answer.contains("稍后再试"))
            ++m_refused;
        (this->*next)();
    });
}

void LegitClient::pause()
{
    QTimer::singleShot(std::max<qint64>(0, cycleMs - m_cycle.elapsed()), this, &LegitClient::login);
}
