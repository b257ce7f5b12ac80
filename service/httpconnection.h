#pragma once

#include "httphandler.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/file_body.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/span_body.hpp>

#include <memory>
#include <string>

class HttpServer;

// One client connection, one request on it: the head is read, checked and refused or followed by the body, the whole
// request is answered on a worker, and the answer written; then the connection closes. Every step runs on the
// network thread without blocking, each under a deadline of its own that the client's bytes never extend: the first
// byte within the idle time, the head within the head time, a body or an answer within the time its length takes at a
// slow client's pace. A body over its path's limit, or sent in chunks, is refused before any of it is read.
class HttpConnection : public std::enable_shared_from_this<HttpConnection>
{
public:
    HttpConnection(HttpServer& server, boost::asio::ip::tcp::socket socket, std::string peer);
    ~HttpConnection();
    HttpConnection(const HttpConnection&) = delete;
    HttpConnection& operator=(const HttpConnection&) = delete;

    void start();
    // Ends the connection at once, whatever it was doing, and gives back what it held.
    void close();
    // A turn to read and work on a large request has come: false when the connection no longer waits for one.
    bool takeTurn();

private:
    enum class State
    {
        Head,
        InLine,
        Body,
        Working,
        Answering,
        Closed
    };
    using Parser = boost::beast::http::request_parser<boost::beast::http::span_body<char>>;

    void readHead();
    void checkHead();
    void readBody();
    void work();
    void answer(HttpHandler::Answer answer);
    template <class Body> void send(boost::beast::http::response<Body>& response);
    void finish();
    void drain(qint64 drained);

    HttpServer& m_server;
    boost::beast::tcp_stream m_stream;
    boost::beast::flat_buffer m_buffer;
    Parser m_parser;
    boost::asio::steady_timer m_lineTimer;
    std::string m_peer;
    State m_state = State::Head;
    bool m_holdsTurn = false;
    QByteArray m_body;
    QByteArray m_answerBody;
    boost::beast::http::response<boost::beast::http::empty_body> m_continue;
    std::unique_ptr<boost::beast::http::response<boost::beast::http::span_body<const char>>> m_answer;
    std::unique_ptr<boost::beast::http::response<boost::beast::http::file_body>> m_file;
};
