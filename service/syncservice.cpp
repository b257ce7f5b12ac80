#include "syncservice.h"

#include "accountregistry.h"
#include "changeset.h"
#include "formdata.h"
#include "seenchanges.h"
#include "servicejson.h"
#include "servicelog.h"
#include "servicepages.h"
#include "servicestore.h"
#include "socketstream.h"
#include "syncmerge.h"

#include <QDateTime>
#include <QFile>

#include <climits>
#include <httplib.h>
#include <unistd.h>
#include <utility>

namespace {
const qsizetype maxBody = 64 * 1024 * 1024;
// Every form but a sync is a few fields: its body is held to a size no message of the program comes near.
const qsizetype maxSmallBody = 1024 * 1024;
const qsizetype maxFeedback = 64 * 1024;
const char* const syncPath = "/sync/syncpc2.php";
const char* const installerPath = "/download/quillbay-setup.exe";

enum ErrorCode
{
    WrongAccount = 1,
    BadRequest = 2,
    StoreFailed = 3,
    TooMany = 4
};

// Set by a handler that answers without reading the body that the client is still sending.
thread_local bool bodyLeft = false;

const char* const jsonType = "application/json; charset=utf-8";
const char* const htmlType = "text/html; charset=utf-8";

QByteArray errorAnswer(int code, const QString& message)
{
    return ServiceJson::write(QVariantMap{{"error", code}, {"message", message}});
}

QByteArray storeFailed()
{
    return errorAnswer(StoreFailed, QStringLiteral("服务器保存数据失败，请稍后再试"));
}

QByteArray tooLarge()
{
    return errorAnswer(BadRequest, QStringLiteral("请求数据过大"));
}

void answer(httplib::Response& response, const QByteArray& body, const char* type)
{
    response.status = 200;
    response.set_content(body.constData(), std::size_t(body.size()), type);
}

// The length the request declares for its body: -1 for none, more than any limit when it is no number.
qint64 declaredLength(const httplib::Request& request)
{
    if (!request.has_header("Content-Length"))
        return -1;
    bool ok = false;
    const qint64 length = QByteArray::fromStdString(request.get_header_value("Content-Length")).toLongLong(&ok);
    return ok && length >= 0 ? length : LLONG_MAX;
}

bool isChunked(const httplib::Request& request)
{
    return QByteArray::fromStdString(request.get_header_value("Transfer-Encoding"))
               .compare("chunked", Qt::CaseInsensitive) == 0;
}

enum class BodyRead
{
    Read,
    TooLarge,
    Broken
};

// Reads a request body of at most `limit` bytes. A larger one is refused from its declared length before any of it
// is read, or as soon as its chunks pass the limit: it is never held whole.
BodyRead readBody(const httplib::Request& request, const httplib::ContentReader& reader, qsizetype limit,
                  QByteArray& body)
{
    const qint64 declared = declaredLength(request);
    if (declared > limit)
        return BodyRead::TooLarge;
    // Room for the whole body at once: growing step by step would copy it, and hold it twice meanwhile. Memory not
    // yet written to costs nothing.
    body.reserve(declared >= 0 ? declared : limit);
    bool over = false;
    const bool read = reader([&body, &over, limit](const char* data, std::size_t length) {
        over = body.size() + qint64(length) > limit;
        if (!over)
            body.append(data, qsizetype(length));
        return !over;
    });
    return over ? BodyRead::TooLarge : read ? BodyRead::Read : BodyRead::Broken;
}

// Refuses a body that its length already shows to be too large, before the client sends it.
int expectContinue(const httplib::Request& request, httplib::Response& response)
{
    if (declaredLength(request) > (request.path == syncPath ? maxBody : maxSmallBody)) {
        answer(response, tooLarge(), jsonType);
        return response.status;
    }
    return 100;
}

// The refusal to answer with unless the form names an accepted account, whose user id is then in `userId`.
QByteArray accountRefusal(ServiceStore* store, const FormData& form, QString& userId)
{
    if (!store)
        return storeFailed();
    switch (AccountRegistry(*store).authenticate(form.value("username"), form.value("password"), userId)) {
    case AccountRegistry::Check::Accepted:
        return QByteArray();
    case AccountRegistry::Check::Refused:
        return errorAnswer(WrongAccount, QStringLiteral("用户名或密码错误"));
    case AccountRegistry::Check::StoreFailed:
        break;
    }
    return storeFailed();
}
} // namespace

// The connections come from the gate, not from the library's own listener, which would give each one a worker
// for as long as it stays open. The library still takes its listening socket as the sign that the service runs
// (it stops sending a streamed answer when that is gone), so it is shown the gate's.
class SyncService::Http : public httplib::Server
{
public:
    explicit Http(int listening) { svr_sock_ = listening; }
    ~Http() override { svr_sock_ = INVALID_SOCKET; }

    // One request per connection: a connection kept open for a next request would hold its worker meanwhile.
    void serve(int socket, int timeoutSeconds)
    {
        SocketStream stream(socket, timeoutSeconds);
        bool closed = false;
        bodyLeft = false;
        process_request(stream, true, closed, nullptr);
        stream.discardUnread(bodyLeft, maxBody, 1);
        ::close(socket);
    }
};

SyncService::SyncService(const ServiceOptions& options, const QString& baseUrl, int listening)
    : m_options(options), m_baseUrl(baseUrl), m_http(std::make_unique<Http>(listening))
{
    m_http->set_payload_max_length(std::size_t(maxBody));
    m_http->set_pre_routing_handler([](const httplib::Request& request, httplib::Response& response) {
        // The library reads the body of any other method, and of a post without a length, whole before routing.
        const bool post = request.method == "POST";
        if (post && declaredLength(request) < 0 && !isChunked(request)) {
            response.status = 411;
            return httplib::Server::HandlerResponse::Handled;
        }
        if (post || request.method == "GET" || request.method == "HEAD")
            return httplib::Server::HandlerResponse::Unhandled;
        response.status = 405;
        return httplib::Server::HandlerResponse::Handled;
    });
    m_http->set_expect_100_continue_handler(expectContinue);

    m_http->Get("/", [](const httplib::Request&, httplib::Response& response) {
        answer(response, ServicePages::signup(), htmlType);
    });
    routeForm("/", &SyncService::signup, maxSmallBody, htmlType);
    routeForm("/sync/userid\\.php", &SyncService::userId, maxSmallBody, jsonType);
    routeForm("/sync/syncpc2\\.php", &SyncService::sync, maxBody, jsonType);
    routeForm("/client/feedback\\.php", &SyncService::feedback, maxSmallBody, jsonType);
    m_http->Get("/client/pc\\.php", [this](const httplib::Request& request, httplib::Response& response) {
        answer(response, version(request), jsonType);
    });
    m_http->Get("/download/quillbay-setup\\.exe",
                [this](const httplib::Request&, httplib::Response& response) { installer(response); });
    m_http->Get("/weibo", [this](const httplib::Request&, httplib::Response& response) {
        answer(response, ServicePages::news(m_options.installer.isEmpty() ? QString() : m_options.offeredName),
               htmlType);
    });
    // Anything else posted is answered without reading its body.
    m_http->Post(".*", [](const httplib::Request&, httplib::Response& response, const httplib::ContentReader&) {
        bodyLeft = true;
        response.status = 404;
    });
}

SyncService::~SyncService() = default;

void SyncService::serve(int socket)
{
    m_http->serve(socket, m_options.idleSeconds);
}

void SyncService::routeForm(const char* path, FormHandler handler, qsizetype limit, const char* type)
{
    m_http->Post(path, [this, handler, limit, type](const httplib::Request& request, httplib::Response& response,
                                                    const httplib::ContentReader& reader) {
        QByteArray body;
        switch (readBody(request, reader, limit, body)) {
        case BodyRead::TooLarge:
            bodyLeft = true;
            return answer(response, tooLarge(), jsonType);
        case BodyRead::Broken:
            return answer(response, errorAnswer(BadRequest, QStringLiteral("请求数据不完整")), jsonType);
        case BodyRead::Read:
            break;
        }
        // The body goes as soon as its fields are decoded: a large sync would otherwise be held twice.
        const FormData form(std::exchange(body, QByteArray()));
        answer(response, (this->*handler)(request, form), type);
    });
}

ServiceStore* SyncService::store()
{
    // Each worker thread keeps a connection of its own for as long as it runs.
    thread_local std::unique_ptr<ServiceStore> connection;
    if (!connection) {
        connection = std::make_unique<ServiceStore>();
        connection->open(m_options.storeUrl);
    }
    return connection->ready() ? connection.get() : nullptr;
}

QByteArray SyncService::signup(const httplib::Request&, const FormData& form)
{
    ServiceStore* connection = store();
    const QString refusal = connection
                                ? AccountRegistry(*connection).create(form.value("username"), form.value("password"))
                                : QStringLiteral("账号未能保存，请稍后重试");
    if (!refusal.isEmpty())
        return ServicePages::signup(refusal);
    qCInfo(lcService) << "account created";
    return ServicePages::signup(
        QStringLiteral("账号 %1 注册成功，请在软件的同步设置中填写此账号。").arg(form.value("username")));
}

QByteArray SyncService::userId(const httplib::Request&, const FormData& form)
{
    QString id;
    const QByteArray refusal = accountRefusal(store(), form, id);
    return refusal.isEmpty() ? ServiceJson::write(QVariantMap{{"id", id}}) : refusal;
}

QByteArray SyncService::sync(const httplib::Request&, const FormData& form)
{
    // Read first: the device's clock reading in the form is compared with the service's as close to its sending
    // as the service gets.
    const DeviceClock clock{form.value("sync_time"), form.value("client_time"), QDateTime::currentMSecsSinceEpoch()};
    ServiceStore* connection = store();
    QString id;
    const QByteArray refusal = accountRefusal(connection, form, id);
    if (!refusal.isEmpty())
        return refusal;
    ChangeSet upload;
    if (!upload.read(form.bytes("data")))
        return errorAnswer(BadRequest, QStringLiteral("同步数据格式不正确"));
    QByteArray answer;
    if (!SyncMerge(*connection, id).merge(upload, clock, answer)) {
        qCWarning(lcService) << "a sync was not stored";
        return storeFailed();
    }
    return answer;
}

QByteArray SyncService::version(const httplib::Request& request) const
{
    if (m_options.installer.isEmpty()) {
        // Nothing newer to offer: the answer names the asking program's own version.
        const int asked = QString::fromStdString(request.get_param_value("ver")).toInt();
        return ServiceJson::write(QVariantMap{{"description", QString()},
                                              {"vername", QString()},
                                              {"vercode", qMax(asked, 0)},
                                              {"url1", QString()},
                                              {"url2", QString()}});
    }
    const QString url = m_baseUrl + QString(installerPath).mid(1);
    return ServiceJson::write(
        QVariantMap{{"description", QStringLiteral("<p>新版本 %1</p>").arg(m_options.offeredName.toHtmlEscaped())},
                    {"vername", m_options.offeredName},
                    {"vercode", m_options.offeredCode},
                    {"url1", url},
                    {"url2", url}});
}

QByteArray SyncService::feedback(const httplib::Request& request, const FormData& form)
{
    if (!form.contains("email") || !form.contains("subject") || !form.contains("content"))
        return errorAnswer(BadRequest, QStringLiteral("反馈内容不完整"));
    const FeedbackMessage message{QString::fromStdString(request.remote_addr), form.value("email"),
                                  form.value("subject"), form.value("content")};
    if (message.email.toUtf8().size() + message.subject.toUtf8().size() + message.content.toUtf8().size() > maxFeedback)
        return errorAnswer(BadRequest, QStringLiteral("反馈内容过长，请删减后再发送"));
    ServiceStore* connection = store();
    if (!connection)
        return storeFailed();
    const std::lock_guard<std::mutex> lock(m_feedback);
    switch (connection->addFeedback(message, m_options.feedbackPerAddress, m_options.feedbackPerHour)) {
    case ServiceStore::FeedbackOutcome::Stored:
        return ServiceJson::write(QVariantMap{{"result", "success"}});
    case ServiceStore::FeedbackOutcome::OverLimit:
        return errorAnswer(TooMany, QStringLiteral("反馈太多，请一小时后再试"));
    case ServiceStore::FeedbackOutcome::Failed:
        break;
    }
    return errorAnswer(StoreFailed, QStringLiteral("反馈未能保存，请稍后再试"));
}

void SyncService::installer(httplib::Response& response) const
{
    auto file = std::make_shared<QFile>(m_options.installer);
    if (m_options.installer.isEmpty() || !file->open(QIODevice::ReadOnly)) {
        response.status = 404;
        return;
    }
    // Sent from the file piece by piece: a download never holds the installer in memory.
    response.set_content_provider(std::size_t(file->size()), "application/octet-stream",
                                  [file](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                                      QByteArray piece(qsizetype(qMin<std::size_t>(length, 256 * 1024)),
                                                       Qt::Uninitialized);
                                      if (!file->seek(qint64(offset)))
                                          return false;
                                      const qint64 read = file->read(piece.data(), piece.size());
                                      return read > 0 && sink.write(piece.constData(), std::size_t(read));
                                  });
}
