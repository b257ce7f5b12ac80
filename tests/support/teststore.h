#pragma once

#include <QString>
#include <QStringList>

// A store of the test run's kind, made for one test: an SQLite file at the path given or, when QUILLBAY_TEST_STORE is
// "postgresql" (the test then runs under with-postgresql.sh), a new database on the server the PG* variables name,
// dropped with the object: in the cluster's encoding, or in the one named, in the C locale, which every encoding
// suits; or in UTF8, sorting texts by the rules of the ICU locale named ("en", "zh", "und"), as a hoster's database
// may, which PostgreSQL's own ICU makes without any locale of the system's.
class TestStore
{
public:
    explicit TestStore(const QString& sqliteFile, const QString& encoding = {}, const QString& icuLocale = {});
    ~TestStore();
    TestStore(const TestStore&) = delete;
    TestStore& operator=(const TestStore&) = delete;

    static bool onPostgreSql();
    // The store's address as the service takes it, "sqlite:PATH" or "postgresql://..."; empty when the database
    // could not be made.
    QString address() const { return m_address; }
    // Runs statements on the store at the address behind its service's back, as its administrator could.
    static bool exec(const QString& address, const QStringList& statements);

private:
    QString m_address;
    QString m_ownDatabase;
};
