#include "online/synchelper.h"

#include "data/backuphelper.h"
#include "data/constants.h"
#include "data/dbsetting.h"
#include "data/filesetting.h"
#include "data/logcategories.h"
#include "data/maccount.h"
#include "data/mbill.h"
#include "data/mborrower.h"
#include "data/mcategory.h"
#include "data/mmember.h"
#include "online/httphelper.h"
#include "online/json.h"
#include "online/syncanswer.h"
#include "online/syncbinding.h"
#include "online/syncchangeset.h"
#include "online/syncmerge.h"

#include <QMetaType>
#include <QSqlQuery>
#include <cmath>

namespace {
SyncHelper* instance = nullptr;
const char* stampFormat = "yyyy-MM-dd hh:mm:ss";
const int transferFailed = 505;
const int unreadableAnswer = 0;

// The "error" value of an answer as a code: a number, or a text that holds one; 0 otherwise.
int errorCode(const QVariant& value)
{
    bool ok = false;
    const double number =
        value.typeId() == QMetaType::QString ? value.toString().trimmed().toDouble(&ok) : value.toDouble(&ok);
    return ok && std::isfinite(number) && std::fabs(number) < 2147483648.0 ? int(std::trunc(number)) : 0;
}
} // namespace

SyncHelper* SyncHelper::getInstance()
{
    if (!instance)
        instance = new SyncHelper;
    return instance;
}

SyncHelper::SyncHelper(QObject* parent) : QObject(parent)
{
    tables << "bill"
           << "account"
           << "borrower"
           << "category"
           << "sub_category"
           << "member";
}

bool SyncHelper::sync()
{
    if (m_running) {
        qCWarning(lcSync) << "a sync is running already; this one is not started";
        return false;
    }
    m_running = true;
    startTime = QDateTime::currentDateTimeUtc();
    emit syncStarted();
    emit syncLog(tr("正在同步数据..."));
    if (const QString problem = Constants::getInstance()->getServiceUrlProblem(); !problem.isEmpty()) {
        fail(transferFailed, problem);
        return true;
    }
    if (FileSetting::getInstance()->getValue("Backup/BackupBeforeSync", true).toBool())
        BackupHelper::backup();
    lastSyncTime = readLastSyncTime();
    if (DbSetting::getInstance()->getUserId().isEmpty())
        requestUserId();
    else
        upload();
    return true;
}

bool SyncHelper::isRunning() const
{
    return m_running;
}

QDateTime SyncHelper::readLastSyncTime()
{
    QSqlQuery query("select sync_time from tbl_setting");
    if (!query.next())
        return QDateTime::currentDateTime().addYears(-10);
    // The stored text may carry milliseconds; its clock digits are taken as they stand.
    QDateTime time = QDateTime::fromString(query.value(0).toString().left(19), stampFormat);
    time.setTimeSpec(Qt::UTC);
    return time;
}

void SyncHelper::requestUserId()
{
    DbSetting* setting = DbSetting::getInstance();
    newClient(&SyncHelper::downloadTokenHtml)
        ->post(Constants::getInstance()->getBaseUrl() + "sync/userid.php",
               {{"username", setting->getSyncUsername()}, {"password", setting->getSyncPassword()}});
}

void SyncHelper::downloadTokenHtml(QString html)
{
    if (!isCurrentAnswer())
        return;
    emit syncProgress(20.0f);
    const QVariantMap answer = JSON::getInstance()->toMap(html);
    if (answer.contains("error")) {
        fail(errorCode(answer.value("error")), answer.value("message").toString());
        return;
    }
    const QString id = answer.value("id").toString();
    // Without an id the book cannot be bound, and its default records would go up under ids that clash with
    // every other device's.
    if (id.isEmpty()) {
        fail(unreadableAnswer, tr("同步失败，同步时出现严重错误"));
        return;
    }
    if (DbSetting::getInstance()->getUserId().isEmpty() && !SyncBinding::bind(id, startTime)) {
        fail(unreadableAnswer, tr("同步失败，账本无法写入"));
        return;
    }
    upload();
}

void SyncHelper::upload()
{
    const QString since = lastSyncTime.toString(stampFormat);
    QVariantList changes;
    if (!SyncChangeSet::build(tables, since, changes, m_pendingSent)) {
        fail(unreadableAnswer, tr("同步失败，账本无法读取"));
        return;
    }
    const QString data = JSON::getInstance()->serialize(changes);
    DbSetting* setting = DbSetting::getInstance();
    qCDebug(lcSync) << "upload:" << changes.size() << "tables," << data.size() << "characters";
    newClient(&SyncHelper::downloadHtml)
        ->post(Constants::getInstance()->getBaseUrl() + "sync/syncpc2.php",
               {{"version", QString::number(Constants::getInstance()->getVersionCode())},
                {"username", setting->getSyncUsername()},
                {"password", setting->getSyncPassword()},
                {"sync_time", since},
                {"client_time", QDateTime::currentDateTimeUtc().toString(stampFormat)},
                {"data", data}});
}

void SyncHelper::downloadHtml(QString html)
{
    if (!isCurrentAnswer())
        return;
    qCDebug(lcSync) << "answer:" << html.size() << "characters";
    const QVariantList answer = JSON::getInstance()->toList(html);
    if (answer.isEmpty()) {
        handleErrorAnswer(html);
        return;
    }
    QList<SyncAnswer::Entry> entries;
    if (!SyncAnswer::read(answer, tables, entries)) {
        fail(unreadableAnswer, tr("同步失败，同步时出现严重错误"));
        return;
    }
    if (!SyncMerge::apply(entries, startTime, m_pendingSent)) {
        fail(unreadableAnswer, tr("同步失败，账本无法写入"));
        return;
    }
    MAccount::clearCache();
    MBorrower::clearCache();
    MCategory::clearCache();
    MMember::clearCache();
    MBill::dataChanged();
    if (FileSetting::getInstance()->getValue("Backup/BackupAfterSync", true).toBool())
        BackupHelper::backup();
    finish();
}

void SyncHelper::handleErrorAnswer(const QString& html)
{
    const QVariantMap answer = JSON::getInstance()->toMap(html);
    if (html.contains("message") && answer.contains("message"))
        fail(errorCode(answer.value("error")), answer.value("message").toString());
    else
        fail(unreadableAnswer, tr("同步失败，同步时出现严重错误"));
}

void SyncHelper::downloadError()
{
    if (isCurrentAnswer())
        fail(transferFailed, tr("和服务器通讯时出错"));
}

HttpHelper* SyncHelper::newClient(void (SyncHelper::*answer)(QString))
{
    if (client)
        client->deleteLater();
    client = new HttpHelper(this);
    connect(client, &HttpHelper::finished, this, answer);
    connect(client, &HttpHelper::error, this, &SyncHelper::downloadError);
    return client;
}

bool SyncHelper::isCurrentAnswer() const
{
    return m_running && sender() && sender() == client;
}

void SyncHelper::finish()
{
    m_running = false;
    emit syncFinished();
}

void SyncHelper::fail(int code, const QString& message)
{
    m_running = false;
    emit syncError(code, message);
}
