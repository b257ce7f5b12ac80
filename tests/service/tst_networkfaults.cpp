#include "answerspool.h"
#include "httpconnection.h"
#include "httphandler.h"
#include "httpserver.h"
#include "rawhttp.h"

#include <QTemporaryDir>
#include <QtTest>

#include <boost/asio/post.hpp>

#include <atomic>
#include <condition_variable>
#include <csignal>
#include <future>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>

#include <pthread.h>
#include <unistd.h>

// The allocator of this process fails one allocation on the service's network thread when a test asks: the way a
// step there meets memory that cannot be had, with nothing in the service built for the test.
namespace {
std::atomic<pthread_t> networkThread{};
// The size from which the next allocation on the network thread fails; 0 when none is to.
std::atomic<std::size_t> failFrom{0};
} // namespace

// The sanitizers' allocator takes the place of the one these tests fail: there they skip.
#ifndef QUILLBAY_SANITIZED
extern "C" void* __libc_malloc(std::size_t size);

extern "C" void* malloc(std::size_t size)
{
    std::size_t from = failFrom.load(std::memory_order_relaxed);
    if (from != 0 && size >= from && pthread_equal(pthread_self(), networkThread.load()) &&
        failFrom.compare_exchange_strong(from, 0))
        return nullptr;
    return __libc_malloc(size);
}
#endif

namespace {
const QByteArray ok = "HTTP/1.1 200 OK|ok";

// What the service has said, for a test to wait for the state it needs.
std::mutex logMutex;
QStringList logged;

void keep(QtMsgType, const QMessageLogContext&, const QString& message)
{
    const std::lock_guard<std::mutex> lock(logMutex);
    logged.append(message);
}

bool said(const QString& text)
{
    for (int tries = 0; tries < 3000; ++tries) {
        {
            const std::lock_guard<std::mutex> lock(logMutex);
            for (const QString& line : logged)
                if (line.contains(text))
                    return true;
        }
        QThread::msleep(20);
    }
    return false;
}

// Answers "ok" to every request; a request to /held waits for the test to let it go, and bodyLimit() or busy()
// throws when the test says so.
class TestHandler : public HttpHandler
{
public:
    std::optional<qint64> bodyLimit(const std::string&) const override { return 4 * 1024 * 1024; }
    bool expensive(const Request&) const override { return false; }
    Answer answer(Request request) override
    {
        if (request.path == "/held") {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_released.wait(lock, [this] { return m_let; });
        }
        return answerOf(200, "ok");
    }
    Answer tooLarge() const override { return answerOf(413, "too large"); }
    Answer busy() const override
    {
        if (throwOnBusy)
            throw std::runtime_error("busy failed");
        return answerOf(503, "busy");
    }
    Answer failed() const override { return answerOf(500, "failed"); }

    void letHeldGo()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_let = true;
        m_released.notify_all();
    }

    std::atomic<bool> throwOnBusy{false};

private:
    static Answer answerOf(int status, const char* text)
    {
        Answer answer;
        answer.status = status;
        answer.body = AnswerText(QByteArray(text));
        return answer;
    }

    std::mutex m_mutex;
    std::condition_variable m_released;
    bool m_let = false;
};

// The service's HTTP server run in this process, on a network thread of its own, with the test's handler.
class InProcessService
{
public:
    explicit InProcessService(const HttpServer::Limits& limits)
        : m_spool(std::make_shared<AnswerSpool>(m_folder.filePath("answers"), 1 << 30)), m_server(limits, m_spool)
    {
        {
            const std::lock_guard<std::mutex> lock(logMutex);
            logged.clear();
        }
        QString error;
        m_prepared = m_spool->prepare(error);
        m_port = m_server.listen(QHostAddress::LocalHost, 0, error);
        m_thread = std::thread([this] {
            networkThread.store(pthread_self());
            m_server.run(m_handler);
            m_endedPromise.set_value();
        });
        m_ended = m_endedPromise.get_future().share();
    }

    ~InProcessService()
    {
        failFrom.store(0);
        m_handler.letHeldGo();
        askToStop();
        // A stop that hangs fails the test here, as nothing else could.
        if (!ended())
            qFatal("the service did not stop");
        m_thread.join();
    }

    bool ready() const { return m_prepared && m_port != 0; }
    QString baseUrl() const { return QString("http://127.0.0.1:%1/").arg(m_port); }
    HttpServer& server() { return m_server; }
    TestHandler& handler() { return m_handler; }

    // Tells the service to stop as the operator does.
    void askToStop()
    {
        if (!m_stopAsked.exchange(true))
            ::kill(::getpid(), SIGTERM);
    }
    // Whether the service has ended, within the time a loaded machine needs.
    bool ended() { return m_ended.wait_for(std::chrono::seconds(60)) == std::future_status::ready; }
    bool stop()
    {
        askToStop();
        return ended();
    }

    // What the function gives, run on the network thread between its steps.
    template <typename Function> auto onNetwork(Function function)
    {
        auto task = std::make_shared<std::packaged_task<decltype(function())()>>(std::move(function));
        boost::asio::post(m_server.network(), [task] { (*task)(); });
        return task->get_future().get();
    }

    // Waits until the function, run on the network thread, gives true.
    template <typename Function> bool waitOnNetwork(Function function)
    {
        for (int tries = 0; tries < 3000; ++tries) {
            if (onNetwork(function))
                return true;
            QThread::msleep(20);
        }
        return false;
    }

private:
    QTemporaryDir m_folder;
    std::shared_ptr<AnswerSpool> m_spool;
    HttpServer m_server;
    TestHandler m_handler;
    bool m_prepared = false;
    quint16 m_port = 0;
    std::promise<void> m_endedPromise;
    std::shared_future<void> m_ended;
    std::atomic<bool> m_stopAsked{false};
    std::thread m_thread;
};

QByteArray largePost(const QString& path)
{
    return RawHttp::formPost(path, QByteArray(3 * 1024 * 1024 / 2, 'x'));
}
} // namespace

// Failures on the service's network thread, in the steps every connection takes and in the service's own: each
// costs the connection it meets, never the accepting or the stop.
class TestNetworkFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
#ifdef QUILLBAY_SANITIZED
        QSKIP("the sanitizers' allocator takes the place of the one these tests fail");
#endif
        QLoggingCategory::setFilterRules("quillbay.service.turns.debug=true");
        qInstallMessageHandler(keep);
    }

    // A connection whose admitting fails, its memory not to be had, is closed, and the next is served.
    void acceptsAfterAFailedAdmit()
    {
        InProcessService service({});
        QVERIFY(service.ready());
        failFrom.store(sizeof(HttpConnection));
        QCOMPARE(RawHttp::exchange(service.baseUrl(), "GET /first HTTP/1.1\r\n\r\n", "127.0.0.2"), QByteArray());
        QCOMPARE(failFrom.load(), std::size_t(0));
        QCOMPARE(RawHttp::exchange(service.baseUrl(), "GET /next HTTP/1.1\r\n\r\n", "127.0.0.3"), ok);
        QVERIFY(service.stop());
    }

    // A large request given the turn another gives back reads its body in its own step: when that body's memory
    // cannot be had, that request alone is closed. The one that gave the turn back is answered, and the turn passes
    // on to the next.
    void turnSurvivesAFailedHandOver()
    {
        HttpServer::Limits limits;
        limits.largeAtOnce = 1;
        InProcessService service(limits);
        QVERIFY(service.ready());
        const std::unique_ptr<QTcpSocket> holder = RawHttp::sent(service.baseUrl(), largePost("held"), "127.0.0.2");
        QVERIFY(said("a large request from 127.0.0.2 took its turn"));
        const std::unique_ptr<QTcpSocket> given = RawHttp::sent(service.baseUrl(), largePost("given"), "127.0.0.3");
        QVERIFY(service.waitOnNetwork([&] { return service.server().turns().anyWaiting(); }));

        failFrom.store(1024 * 1024);
        service.handler().letHeldGo();
        QCOMPARE(RawHttp::answer(*holder), ok);
        QCOMPARE(RawHttp::answer(*given), QByteArray());
        QCOMPARE(failFrom.load(), std::size_t(0));
        QCOMPARE(RawHttp::exchange(service.baseUrl(), largePost("next"), "127.0.0.4"), ok);
        QVERIFY(service.stop());
    }

    // A step that throws closes its own connection, at once: here the busy answer for a claim that waited in vain.
    void throwingStepClosesItsConnection()
    {
        HttpServer::Limits limits;
        limits.requestMemory = 4096;
        limits.largeWait = std::chrono::seconds(1);
        InProcessService service(limits);
        QVERIFY(service.ready());
        service.handler().throwOnBusy = true;
        const std::unique_ptr<QTcpSocket> client =
            RawHttp::sent(service.baseUrl(), RawHttp::formPost("small", QByteArray(8000, 'x')), "127.0.0.2");
        QCOMPARE(RawHttp::answer(*client, 30000), QByteArray());
        QCOMPARE(client->state(), QAbstractSocket::UnconnectedState);
        service.handler().throwOnBusy = false;
        QCOMPARE(RawHttp::exchange(service.baseUrl(), "GET /next HTTP/1.1\r\n\r\n", "127.0.0.3"), ok);
        QVERIFY(service.stop());
    }

    // The stop ends when closing the connections left at its grace's end meets memory that cannot be had.
    void stopsAfterAFailedClose()
    {
        InProcessService service({});
        QVERIFY(service.ready());
        const std::unique_ptr<QTcpSocket> idle = RawHttp::connect(service.baseUrl(), "127.0.0.2");
        QVERIFY(service.waitOnNetwork([&] { return !service.server().table().empty(); }));
        service.askToStop();
        QVERIFY(said("stopping on SIGTERM"));
        failFrom.store(1);
        QVERIFY(service.ended());
        QCOMPARE(RawHttp::answer(*idle, 30000), QByteArray());
        QCOMPARE(idle->state(), QAbstractSocket::UnconnectedState);
    }
};

QTEST_GUILESS_MAIN(TestNetworkFaults)
#include "tst_networkfaults.moc"
