#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// The real online service, started on a free loopback port with a store of its own for one test.
class ServiceProcess
{
public:
    explicit ServiceProcess(const QStringList& arguments = {});
    ~ServiceProcess();

    // "http://127.0.0.1:<port>/"; empty when the service did not start.
    QString baseUrl() const { return m_baseUrl; }
    QString dataDir() const { return m_data.path(); }
    // Creates the account through the service's command line.
    bool addAccount(const QString& name, const QString& password) const;

private:
    QTemporaryDir m_data;
    QProcess m_process;
    QString m_baseUrl;
};
