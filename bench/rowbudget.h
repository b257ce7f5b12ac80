#pragma once

#include <QList>
#include <QString>

// What a row of the attack bench must stay within, and whether it did. The attack sets the owner's and the memory's
// budgets, which are judged once the owner has stopped, and judges those of its own as it measures them.
class RowBudget
{
public:
    // The owner may lose `lossPercent` of its requests at most and its 99th percentile must stay under `p99Ms`
    // (0: any); with `neverRefused`, no answer may tell it to try again later.
    void limitOwner(int lossPercent, int p99Ms, bool neverRefused = false);
    // The owner's median must stay under this.
    void limitMedian(int p50Ms);
    // The service's peak resident memory must stay under this.
    void limitMemory(int mb);
    void judge(const QString& budget, const QString& measured, bool kept);
    // Judges the owner's and the memory's budgets, those set, by the row's figures.
    void judgeRow(int requests, int failures, double p50Ms, double p99Ms, int refused, qint64 peakKb);
    // A line per budget judged, "PASS" or "FAIL" first; empty when the row has none.
    QString report() const;

private:
    struct Verdict
    {
        QString budget;
        QString measured;
        bool kept;
    };

    int m_lossPercent = -1;
    int m_p99Ms = 0;
    int m_p50Ms = 0;
    bool m_neverRefused = false;
    int m_memoryMb = 0;
    QList<Verdict> m_verdicts;
};
