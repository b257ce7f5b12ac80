#include "rowbudget.h"

void RowBudget::limitOwner(int lossPercent, int p99Ms, bool neverRefused)
{
    m_lossPercent = lossPercent;
    m_p99Ms = p99Ms;
    m_neverRefused = neverRefused;
}

void RowBudget::limitMedian(int p50Ms)
{
    m_p50Ms = p50Ms;
}

void RowBudget::limitMemory(int mb)
{
    m_memoryMb = mb;
}

void RowBudget::judge(const QString& budget, const QString& measured, bool kept)
{
    m_verdicts << Verdict{budget, measured, kept};
}

void RowBudget::judgeRow(int requests, int failures, double p50Ms, double p99Ms, int refused, qint64 peakKb)
{
    // An owner that made no request at all kept no budget of its requests.
    if (m_lossPercent >= 0)
        judge(QString("the owner loses at most %1% of its requests").arg(m_lossPercent),
              QString("lost %1 of %2").arg(failures).arg(requests),
              requests > 0 && qint64(failures) * 100 <= qint64(requests) * m_lossPercent);
    if (m_p99Ms > 0)
        judge(QString("the owner's 99th percentile under %1 s").arg(m_p99Ms / 1000.0),
              QString("%1 ms").arg(p99Ms, 0, 'f', 0), p99Ms < m_p99Ms);
    if (m_p50Ms > 0)
        judge(QString("the owner's median under %1 s").arg(m_p50Ms / 1000.0), QString("%1 ms").arg(p50Ms, 0, 'f', 0),
              p50Ms < m_p50Ms);
    if (m_neverRefused)
        judge("the owner is never told to try later", QString("%1 times").arg(refused), refused == 0);
    if (m_memoryMb > 0)
        judge(QString("resident memory under %1 MB").arg(m_memoryMb),
              QString("%1 MB at its peak").arg(double(peakKb) / 1024, 0, 'f', 0), peakKb < qint64(m_memoryMb) * 1024);
}

QString RowBudget::report() const
{
    QString lines;
    for (const Verdict& verdict : m_verdicts)
        lines += QString("    %1  %2: %3\n").arg(verdict.kept ? "PASS" : "FAIL", verdict.budget, verdict.measured);
    return lines;
}
