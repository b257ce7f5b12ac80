#pragma once

#include <QString>
#include <functional>

// Times the bill hot paths on the open book, each beside the bare fetch of the same rows through QSqlQuery,
// and prints the figures with the ratios and the memory used.
class BillBench
{
public:
    BillBench(int bills, int repeats);

    void run();
    // Alternates the model's condition the given number of times and reports whether memory stays flat.
    void runFilterChanges(int changes);

    // Median wall time of the repeats, in milliseconds.
    double timeMs(const std::function<void()>& work) const;
    void report(const QString& name, double ours, double bare) const;
    // Reads every column of every row of the statement into a variant, keeps nothing, and counts the rows.
    static int bareFetch(const QString& sql);

private:
    int m_bills;
    int m_repeats;
};
