#pragma once

#include "accountturns.h"
#include "httphandler.h"
#include "loginthrottle.h"
#include "pendingcount.h"
#include "serviceoptions.h"

#include <QByteArray>
#include <QString>

#include <memory>

class AnswerSpool;
class FormData;
class ServiceStore;

// The service's answers. Every answer of the program's paths is HTTP 200, because the program turns any error
// status into a bare transfer failure: refusals travel as {"error": code, "message": text}. Requests are answered on
// the calling worker thread, with that thread's own store connection.
class SyncService : public HttpHandler
{
public:
    // `baseUrl` is the address the update answer names; large answers wait in the spool.
    SyncService(const ServiceOptions& options, const QString& baseUrl, std::shared_ptr<AnswerSpool> spool);

    std::optional<qint64> bodyLimit(const std::string& path) const override;
    bool expensive(const Request& request) const override;
    Answer answer(Request request) override;
    Answer tooLarge() const override;
    Answer busy() const override;
    Answer failed() const override;

private:
    // A form's answer; nothing, with nothing done, for a cheap request that turns out expensive.
    using FormHandler = std::optional<AnswerText> (SyncService::*)(const Request&, const FormData&);
    struct FormRoute
    {
        const char* path;
        FormHandler handler;
        qint64 limit;
        const char* type;
    };
    static const FormRoute* formRoute(const std::string& path);

    // The calling worker's store, connected; nullptr while it cannot be reached.
    ServiceStore* store();
    // The refusal to answer with unless the form names an accepted account, whose user id is then in `userId`.
    QByteArray accountRefusal(ServiceStore* store, const Request& request, const FormData& form, QString& userId);
    // Whether a sign-up comes from the service's own page: a browser names the page's site in the Origin header.
    bool fromOwnSite(const Request& request) const;

    std::optional<AnswerText> signup(const Request& request, const FormData& form);
    std::optional<AnswerText> userId(const Request& request, const FormData& form);
    std::optional<AnswerText> sync(const Request& request, const FormData& form);
    std::optional<AnswerText> feedback(const Request& request, const FormData& form);
    QByteArray version(const Request& request) const;

    ServiceOptions m_options;
    QString m_baseUrl;
    std::shared_ptr<AnswerSpool> m_spool;
    LoginThrottle m_logins;
    AccountTurns m_accountTurns;
    // Sign-ups and feedback being stored, which the limits count as stored, so that they hold between the workers.
    PendingCount m_signups;
    PendingCount m_feedback;
};
