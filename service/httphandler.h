#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <string>

// What the HTTP layer asks of the service behind it. The layer reads requests, refuses what it cannot take and writes
// answers; the handler decides how large a body each path takes and answers whole requests on the worker threads.
class HttpHandler
{
public:
    struct Request
    {
        std::string method;
        std::string path;
        // The target's text after "?", still encoded.
        std::string query;
        // The client address, an IPv4 address mapped into IPv6 written as IPv4.
        std::string peer;
        std::string host;
        std::string origin;
        QByteArray body;
    };

    struct Answer
    {
        int status = 200;
        QByteArray body;
        const char* type = "text/plain; charset=utf-8";
        // A file sent as the body instead, read piece by piece as the client takes it.
        QString file;
    };

    virtual ~HttpHandler() = default;

    // The largest body a POST to the path may carry; nothing when the path takes no posts.
    virtual std::optional<qint64> bodyLimit(const std::string& path) const = 0;
    // Answers a whole request. Runs on a worker thread, several at once.
    virtual Answer answer(Request request) = 0;
    // The answer to a body larger than its path takes, sent without reading it.
    virtual Answer tooLarge() const = 0;
    // The answer to a large request that waited its turn in vain, sent without reading its body.
    virtual Answer busy() const = 0;
};
