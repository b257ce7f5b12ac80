#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

class ServiceProcess;

// Attacks on a service as an operator would start it (its defaults, 1024 descriptors), each from loopback addresses
// other than 127.0.0.1, while the owner of an account logs in and syncs a record every 0.2 s from 127.0.0.1. Prints
// per attack the owner's failed requests and 99th percentile, the service's peak resident memory and what the attack
// achieved. A fresh service serves each attack; one that grows past a guard is stopped, so that a row that would take
// the machine's memory ends early instead.
class AttackBench
{
public:
    // `program`: the service to attack; empty for this build's.
    explicit AttackBench(const QString& program);

    static QStringList names();
    // Runs the attack of that name, or every one for "all"; false for an unknown name.
    bool run(const QString& name);

private:
    using Attack = QString (AttackBench::*)(ServiceProcess&);
    // Every attack with its name, in the order "all" runs them.
    static const QList<QPair<QString, Attack>>& attacks();

    QString slowBody(ServiceProcess& service);
    QString slowHead(ServiceProcess& service);
    QString slowDownload(ServiceProcess& service);
    QString connections(ServiceProcess& service);
    QString chunked(ServiceProcess& service);
    QString tinyRecords(ServiceProcess& service);
    QString bills(ServiceProcess& service);
    QString ones(ServiceProcess& service);
    QString fourLarge(ServiceProcess& service);
    QString guessing(ServiceProcess& service);
    QString nameTiming(ServiceProcess& service);
    QString signups(ServiceProcess& service);
    QString feedback(ServiceProcess& service);
    // Bodies and uploads made to cost more than a pass over them.
    QString ampersandLogin(ServiceProcess& service);
    QString ampersandFlood(ServiceProcess& service);
    QString ampersandSyncs(ServiceProcess& service);
    QString wideColumns(ServiceProcess& service);
    QString wideRowsAgain(ServiceProcess& service);

    void runOne(const QString& name, Attack attack);

    QString m_program;
    QString m_installer;
};
