#include "syncservice.h"

#include "changeset.h"
#include "formdata.h"
#include "online/jsoncodec.h"
#include "seenchanges.h"
#include "servicestore.h"
#include "signuppage.h"
#include "syncmerge.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QLoggingCategory>

namespace {
Q_LOGGING_CATEGORY(lcSync, "quillbay.service.sync", QtCriticalMsg)

const qsizetype maxBody = 64 * 1024 * 1024;
const char* const installerName = "quillbay-setup.exe";
// The program refuses an installer of 5,242,879 bytes or less as a broken download.
const int installerSize = 5 * 1024 * 1024 + 4096;

enum ErrorCode
{
    WrongAccount = 1,
    BadRequest = 2,
    StoreFailed = 3
};

const QByteArray jsonType = "application/json; charset=utf-8";

QByteArray errorAnswer(int code, const QString& message)
{
    return JsonCodec::serialize(QVariantMap{{"error", code}, {"message", message}});
}

QByteArray wrongAccount()
{
    return errorAnswer(WrongAccount, QStringLiteral("用户名或密码错误"));
}

QString baseUrl(const QHttpServerRequest& request)
{
    QUrl url = request.url();
    url.setPath("/");
    url.setQuery(QString());
    return url.toString();
}

// A shell script that exits at once, padded to the size of a real installer.
QByteArray standInInstaller()
{
    QByteArray script = "#!/bin/sh\nexit 0\n";
    const QByteArray padding = QByteArray(79, '#') + '\n';
    while (script.size() < installerSize)
        script += padding;
    return script;
}
} // namespace

SyncService::SyncService(ServiceStore& store, const QString& dataDir, const UpdateOffer& offer)
    : m_store(store), m_accounts(store), m_dataDir(dataDir), m_offer(offer)
{
    m_server.route("/", [this](const QHttpServerRequest& r) {
        return QHttpServerResponse("text/html; charset=utf-8", signup(r));
    });
    routeForm("/sync/userid.php", &SyncService::userId);
    routeForm("/sync/syncpc2.php", &SyncService::sync);
    routeForm("/client/feedback.php", &SyncService::feedback);
    m_server.route("/client/pc.php",
                   [this](const QHttpServerRequest& r) { return QHttpServerResponse(jsonType, version(r)); });
    m_server.route(QString("/download/") + installerName,
                   [this]() { return QHttpServerResponse("application/octet-stream", installer()); });
}

quint16 SyncService::listen(quint16 port)
{
    return m_server.listen(QHostAddress::LocalHost, port);
}

void SyncService::routeForm(const char* path, FormHandler handler)
{
    m_server.route(path, [this, handler](const QHttpServerRequest& r) {
        const QByteArray answer = r.body().size() > maxBody ? errorAnswer(BadRequest, QStringLiteral("请求数据过大"))
                                                            : (this->*handler)(FormData(r.body()));
        return QHttpServerResponse(jsonType, answer);
    });
}

QByteArray SyncService::signup(const QHttpServerRequest& request)
{
    if (request.method() != QHttpServerRequest::Method::Post)
        return SignupPage::html();
    const FormData form(request.body().left(maxBody));
    const QString refusal = m_accounts.create(form.value("username"), form.value("password"));
    if (!refusal.isEmpty())
        return SignupPage::html(refusal);
    qCInfo(lcSync) << "an account was created";
    return SignupPage::html(
        QStringLiteral("账号 %1 注册成功，请在软件的同步设置中填写此账号。").arg(form.value("username")));
}

QByteArray SyncService::userId(const FormData& form)
{
    const QString id = m_accounts.authenticate(form.value("username"), form.value("password"));
    return id.isEmpty() ? wrongAccount() : JsonCodec::serialize(QVariantMap{{"id", id}});
}

QByteArray SyncService::sync(const FormData& form)
{
    // Read first: the device's clock reading in the form is compared with the service's as close to its sending
    // as the service gets.
    const DeviceClock clock{form.value("sync_time"), form.value("client_time"), QDateTime::currentMSecsSinceEpoch()};
    const QString id = m_accounts.authenticate(form.value("username"), form.value("password"));
    if (id.isEmpty())
        return wrongAccount();
    ChangeSet upload;
    if (!upload.read(form.value("data")))
        return errorAnswer(BadRequest, QStringLiteral("同步数据格式不正确"));
    QVariantList answer;
    if (!SyncMerge(m_store, id).merge(upload, clock, answer)) {
        qCWarning(lcSync) << "a sync was not stored:" << m_store.lastError();
        return errorAnswer(StoreFailed, QStringLiteral("服务器保存数据失败，请稍后再试"));
    }
    return JsonCodec::serialize(answer);
}

QByteArray SyncService::version(const QHttpServerRequest& request) const
{
    const QString url = baseUrl(request) + "download/" + installerName;
    return JsonCodec::serialize(
        QVariantMap{{"description", QStringLiteral("<p>新版本 %1</p>").arg(m_offer.versionName.toHtmlEscaped())},
                    {"vername", m_offer.versionName},
                    {"vercode", m_offer.versionCode},
                    {"url1", url},
                    {"url2", url}});
}

QByteArray SyncService::feedback(const FormData& form)
{
    if (!form.contains("email") || !form.contains("subject") || !form.contains("content"))
        return errorAnswer(BadRequest, QStringLiteral("反馈内容不完整"));
    if (!m_store.addFeedback(form.value("email"), form.value("subject"), form.value("content")))
        return errorAnswer(StoreFailed, QStringLiteral("反馈未能保存，请稍后再试"));
    return JsonCodec::serialize(QVariantMap{{"result", "success"}});
}

QByteArray SyncService::installer()
{
    QFile file(QDir(m_dataDir).filePath(installerName));
    if (file.open(QIODevice::ReadOnly))
        return file.readAll();
    if (m_installer.isEmpty())
        m_installer = standInInstaller();
    return m_installer;
}
