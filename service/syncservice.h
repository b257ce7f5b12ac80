#pragma once

#include "serviceoptions.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <mutex>

class FormData;
class ServiceStore;

namespace httplib {
class ContentReader;
struct Request;
struct Response;
} // namespace httplib

// The HTTP face of the service. Every answer of the program's paths is HTTP 200, because the program turns any
// error status into a bare transfer failure: refusals travel as {"error": code, "message": text}. Requests are
// answered on the calling worker thread, with that thread's own store connection.
class SyncService
{
public:
    // `baseUrl` is the address the update answer names; `listening` the socket the connections come from.
    SyncService(const ServiceOptions& options, const QString& baseUrl, int listening);
    ~SyncService();

    // Answers the request waiting on the connection, then closes it.
    void serve(int socket);

private:
    class Http;
    using FormHandler = QByteArray (SyncService::*)(const httplib::Request&, const FormData&);

    // A path whose form body, up to `limit` bytes, the handler answers with a text of that type.
    void routeForm(const char* path, FormHandler handler, qsizetype limit, const char* type);

    // The calling worker's store, connected; nullptr while it cannot be reached.
    ServiceStore* store();

    QByteArray signup(const httplib::Request& request, const FormData& form);
    QByteArray userId(const httplib::Request& request, const FormData& form);
    QByteArray sync(const httplib::Request& request, const FormData& form);
    QByteArray feedback(const httplib::Request& request, const FormData& form);
    QByteArray version(const httplib::Request& request) const;
    void installer(httplib::Response& response) const;

    ServiceOptions m_options;
    QString m_baseUrl;
    // Feedback is counted and stored one message at a time, so that the limits hold between the workers.
    std::mutex m_feedback;
    std::unique_ptr<Http> m_http;
};
