#include "benchtiming.h"

#include <QElapsedTimer>
#include <algorithm>

QTextStream& benchOut()
{
    static QTextStream stream(stdout);
    return stream;
}

double percentile(QList<double> values, double fraction)
{
    if (values.isEmpty())
        return 0;
    const auto at = values.begin() + qsizetype(fraction * double(values.size() - 1));
    std::nth_element(values.begin(), at, values.end());
    return *at;
}

double medianMs(int repeats, const std::function<void()>& work)
{
    QList<double> times;
    for (int i = 0; i < repeats; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times << timer.nsecsElapsed() / 1e6;
    }
    std::sort(times.begin(), times.end());
    return times.at(times.size() / 2);
}

void reportTiming(const QString& name, double ours, double bare)
{
    benchOut() << QString("%1 %2 %3 %4\n")
                      .arg(name, -46)
                      .arg(ours, 10, 'f', 1)
                      .arg(bare, 10, 'f', 1)
                      .arg(bare > 0 ? QString::number(ours / bare, 'f', 2) : QString("-"), 7);
    benchOut().flush();
}
