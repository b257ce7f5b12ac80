#pragma once

#include "teststore.h"

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <optional>

class TestMount;

// How to start the service: another build of it than this one's, a limit of open descriptors (0: inherited), a
// disk of its own of that many megabytes for its data folder, which only root may mount (0: none), whether the
// start waits until the service listens (services started together are waited for with listening()), the ICU locale
// whose rules a PostgreSQL store of its own sorts texts by (none: the cluster's), and whether the service keeps its
// default store, service.db in its data folder, instead of one of the test run's kind.
struct ServiceLaunch
{
    QString program;
    int descriptors = 0;
    int diskMb = 0;
    bool waitToListen = true;
    QString icuLocale = QString();
    bool defaultStore = false;
};

// The real online service, started on a free loopback port. Unless given the address of a store to share, it gets
// a fresh store of the test run's kind: an SQLite file of its own or, when QUILLBAY_TEST_STORE is "postgresql" (the
// test then runs under with-postgresql.sh), a new database on the server the PG* variables name, dropped at the end.
// How the service ends is part of the test's verdict (stop()).
class ServiceProcess
{
public:
    explicit ServiceProcess(const QStringList& arguments = {}, const QString& database = {},
                            const ServiceLaunch& launch = {});
    // Stops the service unless the test did.
    ~ServiceProcess();

    static bool onPostgreSql();
    // The service this build made.
    static QString builtProgram();
    // Whether the service (this build's when empty) takes the command-line option, as its help lists them.
    static bool takesOption(const QString& program, const QString& option);

    // "http://127.0.0.1:<port>/"; empty when the service did not start.
    QString baseUrl() const { return m_baseUrl; }
    // Waits until the service listens, or no longer than it takes to say nothing for 10 seconds: whether it does.
    bool listening();
    QString dataDir() const { return m_data.path(); }
    qint64 processId() const { return m_process.processId(); }
    // The processor time the service has taken so far, in milliseconds: the work it did, however busy the machine;
    // -1 when it cannot be read.
    qint64 processorMs() const;
    // The store's address, for a further process to serve the same store (the first must outlive it).
    QString database() const { return m_database; }
    // Creates the account through the service's command line.
    bool addAccount(const QString& name, const QString& password) const;
    // Runs statements on the store behind the service's back, as its administrator could.
    bool execOnStore(const QStringList& statements) const;

    // What the service has written to its log (standard error) so far; the test's output gets it all once the service
    // ends.
    QByteArray log() const;
    // Waits until the log holds `text` at least `times` times: the service reports a state it reached, so a test
    // waits for that instead of for a time that a busy machine may not keep.
    bool waitForLog(const QByteArray& text, int times = 1, int timeoutMs = 60000);
    // Waits for the service to end: its exit status, or -1 when it crashed or did not end. A test that ends the
    // service itself (a signal of its own, a SIGKILL to restart it, options it refuses) says so by reading the status
    // here and judging it; the log is still checked for sanitizer reports.
    int exitCode(int timeoutMs = 60000);
    // Stops the service as its operator would, with SIGTERM, and waits for it. The running test fails when the
    // service is not gone within a bound sized for a loaded, sanitized machine (it is then killed), when it ends with
    // another status than 0 or ended before on its own, or when its log holds a sanitizer's report. A service kept
    // beyond the test functions, in the test object, must be stopped in cleanupTestCase() for that to count.
    void stop();

private:
    void fail(const QString& fault) const;
    // The options naming the service's data folder and its store, where it has one of the test run's kind.
    QStringList storeArguments() const;

    QTemporaryDir m_data;
    // Declared after the folder it is mounted on, so that it is gone before the folder is removed.
    std::unique_ptr<TestMount> m_disk;
    QString m_program;
    QString m_database;
    // The store made for this service alone, when it was given none to share.
    std::optional<TestStore> m_store;
    QProcess m_process;
    QString m_baseUrl;
    bool m_started = false;
    // Whether the test read the exit status, so that it is the test's to judge.
    bool m_statusRead = false;
    bool m_stopped = false;
};
