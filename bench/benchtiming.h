#pragma once

#include <QList>
#include <QString>
#include <QTextStream>
#include <functional>

// The standard output the benchmarks print their figures to.
QTextStream& benchOut();
// The value below which the fraction of the values lies (0.5: the median, 0.99: the 99th percentile); 0 for none.
double percentile(QList<double> values, double fraction);
// Median wall time of the repeats of work, in milliseconds.
double medianMs(int repeats, const std::function<void()>& work);
// One line of figures: what was timed, our time, the bare time of the same rows and the ratio of the two.
void reportTiming(const QString& name, double ours, double bare);
