#pragma once

#include "answertext.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <memory>
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
        // The client address every per-address limit counts (ClientAddress): an IPv4 address, or an IPv6 /64.
        std::string peer;
        std::string host;
        std::string origin;
        QByteArray body;
        // Set on the network thread once the client has gone: its answer will never be sent.
        std::shared_ptr<const std::atomic<bool>> gone;
        // Whether a worker took it from the cheap line, where it may turn out to be expensive.
        bool cheap = false;

        bool abandoned() const { return gone && gone->load(); }
    };

    struct Answer
    {
        int status = 200;
        // In memory, in the spool, or a file sent as it stands, read piece by piece as the client takes it.
        AnswerText body;
        const char* type = "text/plain; charset=utf-8";
        // Set, with nothing done, by a cheap request whose work is larger than its line allows: it is answered in the
        // expensive line instead.
        bool expensive = false;
    };

    virtual ~HttpHandler() = default;

    // The largest body a POST to the path may carry; nothing when the path takes no posts.
    virtual std::optional<qint64> bodyLimit(const std::string& path) const = 0;
    // Whether the whole request may take a worker for long, as a large upload does: a guess on the network thread,
    // before a worker takes the request, from the head and at most a small body. A cheap guess is checked by
    // answer().
    virtual bool expensive(const Request& request) const = 0;
    // Answers a whole request. Runs on a worker thread, several at once. A request taken from the cheap line may find
    // it is expensive and come back as it was, the answer's `expensive` set, to be answered in the expensive line.
    virtual Answer answer(Request request) = 0;
    // The answer to a body larger than its path takes, sent without reading it.
    virtual Answer tooLarge() const = 0;
    // The answer to a request the service cannot take now: a large one that waited its turn in vain, or one more
    // from an address that has its share of connections or of requests waiting.
    virtual Answer busy() const = 0;
    // The answer to a request whose work failed unexpectedly, an exception thrown.
    virtual Answer failed() const = 0;
};
