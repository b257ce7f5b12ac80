#include "loadbench.h"

#include "benchtiming.h"
#include "loadoutcome.h"
#include "serviceprocess.h"
#include "simulateddevice.h"

#include <QElapsedTimer>
#include <QTextStream>
#include <algorithm>
#include <memory>
#include <vector>

namespace {
const int editsPerRound = 3;
} // namespace

LoadBench::LoadBench(int devices, int accounts, int rounds, const QString& program)
    : m_program(program), m_devices(devices), m_accounts(accounts), m_rounds(rounds)
{
}

void LoadBench::printHeader()
{
    benchOut() << QString("\n%1 %2 %3 %4 %5 %6 %7 %8 %9\n")
                      .arg("store", -10)
                      .arg("processes", 9)
                      .arg("workers", 7)
                      .arg("requests", 8)
                      .arg("req/s", 8)
                      .arg("p50 ms", 8)
                      .arg("p99 ms", 8)
                      .arg("converged", 9)
                      .arg("lost, undelivered edits, stale answers, failures, busy answers")
               << Qt::flush;
}

bool LoadBench::run(const char* store, int processes, int workers)
{
    // The fixture makes each first process a fresh store of the kind this variable names.
    qputenv("QUILLBAY_TEST_STORE", store);
    // Every device connects from the one loopback address, and may have its request waiting for a worker.
    QStringList arguments{"--connections-per-address", QString::number(m_devices)};
    if (ServiceProcess::takesOption(m_program, "--waiting-per-address"))
        arguments << "--waiting-per-address" << QString::number(m_devices);
    if (workers > 0)
        arguments << "--workers" << QString::number(workers);
    std::vector<std::unique_ptr<ServiceProcess>> services;
    services.push_back(std::make_unique<ServiceProcess>(arguments, QString(), ServiceLaunch{m_program}));
    for (int i = 1; i < processes; ++i)
        services.push_back(
            std::make_unique<ServiceProcess>(arguments, services.front()->database(), ServiceLaunch{m_program}));
    for (const auto& service : services)
        if (service->baseUrl().isEmpty())
            qFatal("the service on %s did not start", store);
    for (int i = 0; i < m_accounts; ++i)
        if (!services.front()->addAccount(QString("load%1").arg(i), "pw"))
            qFatal("cannot create the accounts on %s", store);

    std::vector<std::unique_ptr<SimulatedDevice>> devices;
    QList<SimulatedDevice*> all;
    for (int i = 0; i < m_devices; ++i) {
        devices.push_back(std::make_unique<SimulatedDevice>(
            services.at(i % processes)->baseUrl(), QString("load%1").arg(i % m_accounts), "pw", quint32(i + 1)));
        all << devices.back().get();
    }

    QElapsedTimer timer;
    timer.start();
    const bool inTime = SimulatedDevice::runTogether(all, m_rounds, editsPerRound);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    QList<double> latencies;
    for (const SimulatedDevice* device : all)
        for (const qint64 micros : device->latencies())
            latencies << double(micros) / 1000.0;
    const qsizetype requests = latencies.size();
    const LoadOutcome outcome(all, m_accounts, inTime);

    benchOut() << QString("%1 %2 %3 %4 %5 %6 %7 %8 %9, %10, %11, %12, %13%14\n")
                      .arg(store, -10)
                      .arg(processes, 9)
                      .arg(workers > 0 ? QString::number(workers) : QString("pool"), 7)
                      .arg(requests, 8)
                      .arg(double(requests) / seconds, 8, 'f', 1)
                      .arg(percentile(latencies, 0.5), 8, 'f', 1)
                      .arg(percentile(latencies, 0.99), 8, 'f', 1)
                      .arg(QString("%1/%2").arg(outcome.converged()).arg(m_accounts), 9)
                      .arg(outcome.lost())
                      .arg(outcome.undelivered())
                      .arg(outcome.stale())
                      .arg(outcome.failures())
                      .arg(outcome.busy())
                      .arg(outcome.settled() ? "" : "  (did not settle)")
               << Qt::flush;
    devices.clear();
    // Further processes first: the first one drops a PostgreSQL store when it ends.
    while (!services.empty())
        services.pop_back();
    return outcome.sound();
}
