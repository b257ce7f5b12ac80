#include "syncservice.h"

#include "accountregistry.h"
#include "answerfile.h"
#include "changeset.h"
#include "formdata.h"
#include "seenchanges.h"
#include "servicejson.h"
#include "servicelog.h"
#include "servicepages.h"
#include "servicestore.h"
#include "syncmerge.h"
#include "transferrules.h"
#include "warningpace.h"

#include <QDateTime>
#include <QUrl>
#include <QUrlQuery>

#include <chrono>
#include <utility>

namespace {
const qint64 maxBody = 64 * 1024 * 1024;
// A name and a password take a few hundred bytes, encoded: an account's form is held to a few kilobytes.
const qint64 maxAccountBody = 8 * 1024;
const qint64 maxFeedback = 64 * 1024;
// The sync's form has six fields and the others fewer: whatever a body holds past a few more is no form of the
// program's or of the sign-up page's.
const int maxFormFields = 8;
// Guesses from many addresses get past any limit per address: a short password is the first to fall to them.
const int minSignupPassword = 8;
// A message of the most feedback kept, every byte of it encoded as %XX, and the form's other fields.
const qint64 maxFeedbackBody = 3 * maxFeedback + 4 * 1024;
const auto loginWindow = std::chrono::minutes(10);
const char* const syncPath = "/sync/syncpc2.php";
const char* const installerPath = "/download/quillbay-setup.exe";

enum ErrorCode
{
    WrongAccount = 1,
    BadRequest = 2,
    StoreFailed = 3,
    TooMany = 4
};

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

HttpHandler::Answer answerWith(AnswerText body, const char* type)
{
    HttpHandler::Answer answer;
    answer.body = std::move(body);
    answer.type = type;
    return answer;
}

QByteArray busyAnswer()
{
    return errorAnswer(StoreFailed, QStringLiteral("服务器繁忙，请稍后再试"));
}

// A header's value as the client wrote it, for the log: its start, anything but the characters of an address escaped.
QString shownHeader(const std::string& value)
{
    const int shown = 200;
    return QUrl::toPercentEncoding(QByteArray::fromStdString(value.substr(0, shown)), ":/[]@");
}
} // namespace

SyncService::SyncService(const ServiceOptions& options, const QString& baseUrl, std::shared_ptr<AnswerSpool> spool)
    : m_options(options), m_baseUrl(baseUrl), m_spool(std::move(spool)),
      m_logins(options.loginFailuresPerAddress, loginWindow)
{
}

const SyncService::FormRoute* SyncService::formRoute(const std::string& path)
{
    static const FormRoute routes[] = {
        {"/", &SyncService::signup, maxAccountBody, htmlType},
        {"/sync/userid.php", &SyncService::userId, maxAccountBody, jsonType},
        {syncPath, &SyncService::sync, maxBody, jsonType},
        {"/client/feedback.php", &SyncService::feedback, maxFeedbackBody, jsonType},
    };
    for (const FormRoute& route : routes)
        if (path == route.path)
            return &route;
    return nullptr;
}

std::optional<qint64> SyncService::bodyLimit(const std::string& path) const
{
    const FormRoute* route = formRoute(path);
    return route ? std::optional<qint64>(route->limit) : std::nullopt;
}

bool SyncService::expensive(const Request& request) const
{
    // An upload up to a small body is merged in about a page's work; a larger one may take seconds. What a smaller
    // sync sends back, the whole account to a device whose last sync the log cannot place, only the store tells:
    // sync() asks it.
    return request.method == "POST" && request.path == syncPath && request.body.size() > TransferRules::smallBody;
}

HttpHandler::Answer SyncService::answer(Request request)
{
    if (request.method == "POST") {
        // Only posts to a form's path come this far: the server refuses the others from their head.
        const FormRoute* route = formRoute(request.path);
        // The body goes as soon as its fields are decoded: a large sync would otherwise be held twice.
        const FormData form(std::exchange(request.body, QByteArray()), maxFormFields);
        std::optional<AnswerText> body = (this->*route->handler)(request, form);
        if (!body) {
            Answer expensive;
            expensive.expensive = true;
            return expensive;
        }
        return answerWith(std::move(*body), route->type);
    }
    if (request.path == "/")
        return answerWith(ServicePages::signup(), htmlType);
    if (request.path == "/client/pc.php")
        return answerWith(version(request), jsonType);
    if (request.path == "/weibo")
        return answerWith(ServicePages::news(m_options.installer.isEmpty() ? QString() : m_options.offeredName),
                          htmlType);
    if (request.path == installerPath && !m_options.installer.isEmpty()) {
        if (std::optional<AnswerText> installer = AnswerText::ofFile(m_options.installer))
            return answerWith(std::move(*installer), "application/octet-stream");
    }
    Answer answer;
    answer.status = 404;
    return answer;
}

HttpHandler::Answer SyncService::tooLarge() const
{
    return answerWith(errorAnswer(BadRequest, QStringLiteral("请求数据过大")), jsonType);
}

HttpHandler::Answer SyncService::busy() const
{
    return answerWith(busyAnswer(), jsonType);
}

HttpHandler::Answer SyncService::failed() const
{
    return answerWith(errorAnswer(StoreFailed, QStringLiteral("服务器出错，请稍后再试")), jsonType);
}

ServiceStore* SyncService::store()
{
    // Each worker thread keeps a connection of its own for as long as it runs, to the tables the start made.
    thread_local std::unique_ptr<ServiceStore> connection;
    if (!connection) {
        connection = std::make_unique<ServiceStore>(m_options.storeTimeout);
        connection->open(m_options.storeUrl, false);
    }
    return connection->ready() ? connection.get() : nullptr;
}

QByteArray SyncService::accountRefusal(ServiceStore* store, const Request& request, const FormData& form,
                                       QString& userId)
{
    if (!store)
        return storeFailed();
    if (!m_logins.admit(request.peer))
        return errorAnswer(TooMany, QStringLiteral("密码错误次数过多，请稍后再试"));
    AccountRegistry::Check check = AccountRegistry::Check::StoreFailed;
    try {
        check = AccountRegistry(*store, m_options.keyIterations)
                    .authenticate(form.value("username"), form.value("password"), userId);
    } catch (...) {
        // A check that never ended would count against the address for good.
        m_logins.finish(request.peer, false);
        throw;
    }
    m_logins.finish(request.peer, check == AccountRegistry::Check::Refused);
    switch (check) {
    case AccountRegistry::Check::Accepted:
        return QByteArray();
    case AccountRegistry::Check::Refused:
        return errorAnswer(WrongAccount, QStringLiteral("用户名或密码错误"));
    case AccountRegistry::Check::StoreFailed:
        break;
    }
    return storeFailed();
}

bool SyncService::fromOwnSite(const Request& request) const
{
    // Programs other than browsers send no Origin; they are held by the limits alone.
    if (request.origin.empty())
        return true;
    const QString origin = QUrl(QString::fromStdString(request.origin)).authority();
    return !origin.isEmpty() && (origin.compare(QString::fromStdString(request.host), Qt::CaseInsensitive) == 0 ||
                                 origin.compare(QUrl(m_baseUrl).authority(), Qt::CaseInsensitive) == 0);
}

std::optional<AnswerText> SyncService::signup(const Request& request, const FormData& form)
{
    if (!fromOwnSite(request)) {
        // A proxy that passes on a Host of its own makes the service's own page look like another site's.
        static WarningPace pace;
        pace.warn(QString("a sign-up from %1 was refused as made on another site: its page was at %2, and the request "
                          "came for %3; if the service's page is served there, give that address with --public-url")
                      .arg(request.peer.c_str(), shownHeader(request.origin), shownHeader(request.host)));
        return ServicePages::signup(QStringLiteral("请在本站的注册页面注册"));
    }
    const QString name = form.value("username");
    const QString password = form.value("password");
    // Whatever refuses the account, the page keeps the name as it was typed, never the password.
    const auto refused = [&name](const QString& refusal) { return ServicePages::signup(refusal, name); };
    QString refusal = AccountRegistry::encodingRefusal(form.bytes("username"), AccountRegistry::Reader::User);
    if (refusal.isEmpty())
        refusal = AccountRegistry::refusal(name, password);
    if (!refusal.isEmpty())
        return refused(refusal);
    // New accounts only: accounts made before, or by the operator, keep the passwords they have.
    if (password.size() < minSignupPassword)
        return refused(QStringLiteral("密码不能少于%1个字符").arg(minSignupPassword));
    ServiceStore* connection = store();
    ServiceStore::Outcome counted = ServiceStore::Outcome::Failed;
    if (connection) {
        // Counted before the name is looked up, so that trying names one after another is held by the limit too.
        const PendingCount::Hold pending(m_signups, request.peer);
        counted = connection->addSignup(QString::fromStdString(request.peer),
                                        m_options.signupsPerAddress - pending.othersFromAddress(),
                                        m_options.signupsPerHour - pending.othersInAll());
    }
    if (counted == ServiceStore::Outcome::OverLimit) {
        static WarningPace pace;
        pace.warn(QString("sign-ups from %1 refused: limit reached").arg(request.peer.c_str()));
        return refused(QStringLiteral("注册太频繁，请一小时后再试"));
    }
    refusal = counted == ServiceStore::Outcome::Stored
                  ? AccountRegistry(*connection, m_options.keyIterations).create(name, password)
                  : QStringLiteral("账号未能保存，请稍后重试");
    if (!refusal.isEmpty())
        return refused(refusal);
    qCInfo(lcService) << "account created";
    return ServicePages::signup(QStringLiteral("账号 %1 注册成功，请在软件的同步设置中填写此账号。").arg(name));
}

std::optional<AnswerText> SyncService::userId(const Request& request, const FormData& form)
{
    QString id;
    const QByteArray refusal = accountRefusal(store(), request, form, id);
    return refusal.isEmpty() ? ServiceJson::write(QVariantMap{{"id", id}}) : refusal;
}

std::optional<AnswerText> SyncService::sync(const Request& request, const FormData& form)
{
    // Read first: the device's clock reading in the form is compared with the service's as close to its sending
    // as the service gets.
    const DeviceClock clock{form.value("sync_time"), form.value("client_time"), QDateTime::currentMSecsSinceEpoch()};
    ServiceStore* connection = store();
    QString id;
    const QByteArray refusal = accountRefusal(connection, request, form, id);
    if (!refusal.isEmpty())
        return refusal;
    const auto abandoned = [&request] { return request.abandoned(); };
    const auto stopped = [&request] {
        qCDebug(lcTurns).noquote() << QString("a sync from %1 stopped: its client hung up").arg(request.peer.c_str());
        return busyAnswer();
    };
    ChangeSet upload;
    if (!upload.read(form.bytes("data"), abandoned))
        return request.abandoned() ? stopped() : errorAnswer(BadRequest, QStringLiteral("同步数据格式不正确"));
    // On a store that writes one at a time the syncs of an account take turns, each waiting, holding its worker, as
    // long as the store lets a sync wait for its account's lock. An expensive sync waits for its turn before its merge
    // reads, so that it never works its answer out again while it holds the whole store's writing. A cheap one takes
    // its turn at once when it is free; when it is not, the sync reads first, a bounded read, and waits after, so that
    // one that turns out expensive has waited for no turn. That one finds out as its merge reads, and goes to the
    // expensive line instead with nothing written.
    std::optional<AccountTurns::Turn> turn;
    const auto takeTurn = [&](std::chrono::milliseconds wait) {
        return !connection->writesOneAtATime() || turn || m_accountTurns.take(id, wait, abandoned, turn);
    };
    if (!takeTurn(request.cheap ? std::chrono::milliseconds(0) : ServiceStore::accountWait) && !request.cheap)
        return busyAnswer();
    const auto file = std::make_shared<AnswerFile>(m_spool);
    AnswerText answer(file);
    const auto mayHold = [&takeTurn] { return takeTurn(ServiceStore::accountWait); };
    switch (SyncMerge(*connection, id, abandoned, request.cheap, mayHold).merge(upload, clock, answer)) {
    case SyncMerge::Outcome::Merged:
        return answer;
    case SyncMerge::Outcome::Expensive:
        return request.abandoned() ? std::optional<AnswerText>(stopped()) : std::nullopt;
    case SyncMerge::Outcome::Busy:
        return busyAnswer();
    case SyncMerge::Outcome::Failed:
        break;
    }
    if (request.abandoned())
        return stopped();
    // The spool has said in the log which of its bounds the answer met, or what the disk refused.
    if (file->failed())
        return busyAnswer();
    qCWarning(lcService) << "a sync was not stored";
    return storeFailed();
}

QByteArray SyncService::version(const Request& request) const
{
    if (m_options.installer.isEmpty()) {
        // Nothing newer to offer: the answer names the asking program's own version.
        const int asked = QUrlQuery(QString::fromStdString(request.query)).queryItemValue("ver").toInt();
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

std::optional<AnswerText> SyncService::feedback(const Request& request, const FormData& form)
{
    if (!form.contains("email") || !form.contains("subject") || !form.contains("content"))
        return errorAnswer(BadRequest, QStringLiteral("反馈内容不完整"));
    const FeedbackMessage message{QString::fromStdString(request.peer), form.value("email"), form.value("subject"),
                                  form.value("content")};
    if (message.size() > maxFeedback)
        return errorAnswer(BadRequest, QStringLiteral("反馈内容过长，请删减后再发送"));
    ServiceStore* connection = store();
    if (!connection)
        return storeFailed();
    const PendingCount::Hold pending(m_feedback, request.peer, message.size());
    switch (connection->addFeedback(message, m_options.feedbackPerAddress - pending.othersFromAddress(),
                                    m_options.feedbackPerHour - pending.othersInAll(),
                                    m_options.feedbackStoreBytes - pending.othersBytes())) {
    case ServiceStore::Outcome::Stored:
        return ServiceJson::write(QVariantMap{{"result", "success"}});
    case ServiceStore::Outcome::OverLimit: {
        static WarningPace pace;
        pace.warn(QString("feedback from %1 refused: limit reached").arg(request.peer.c_str()));
        return errorAnswer(TooMany, QStringLiteral("反馈太多，请稍后再试"));
    }
    case ServiceStore::Outcome::Failed:
        break;
    }
    return errorAnswer(StoreFailed, QStringLiteral("反馈未能保存，请稍后再试"));
}
