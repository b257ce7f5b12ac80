#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// PgBouncer in front of the PostgreSQL server that the PG* variables name (the throw-away cluster of
// with-postgresql.sh), run by the test on a free loopback port, with a configuration of its own in a folder of its own:
// PgBouncer's defaults but for the pool mode and the settings given, the server's user and password its one login.
// PgBouncer refuses to run as root: there it runs as the database server's own user, "postgres", given the folder.
// It goes with the object, or with the test process that started it.
class TestPooler
{
public:
    // `mode` is PgBouncer's pool_mode; `settings` are further lines of its section ("server_round_robin = 1").
    explicit TestPooler(const QString& mode, const QStringList& settings = {});
    ~TestPooler();
    TestPooler(const TestPooler&) = delete;
    TestPooler& operator=(const TestPooler&) = delete;

    // What the machine lacks for a pooler, for a test to skip saying so; empty when one can run.
    static QString missing();
    bool running() const { return m_port != 0; }
    // The address of a database on the server, as the service takes it, through the pooler, with the parameters
    // given ("pool_mode=transaction").
    QString address(const QString& direct, const QString& parameters = {}) const;
    // Has the pooler open that many server connections to the database at the address at once, each holding a
    // transaction of a connection of the test's own: afterwards the pool holds them idle, to hand out in turn.
    bool openServerConnections(const QString& address, int count) const;
    // What PgBouncer has logged so far.
    QByteArray log() const;

private:
    bool start(const QString& mode, const QStringList& settings, quint16 port);

    QTemporaryDir m_folder;
    QProcess m_process;
    quint16 m_port = 0;
};
