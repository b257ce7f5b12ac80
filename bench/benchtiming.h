#pragma once

#include <QString>
#include <QTextStream>
#include <functional>

// The standard output the benchmarks print their figures to.
QTextStream& benchOut();
// Median wall time of the repeats of work, in milliseconds.
double medianMs(int repeats, const std::function<void()>& work);
// One line of figures: what was timed, our time, the bare time of the same rows and the ratio of the two.
void reportTiming(const QString& name, double ours, double bare);
