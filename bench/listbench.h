#pragma once

class BillBench;

// Times what the user waits for on the bill list page: a filter change (the bills queried, the model rebuilt,
// the first page shown and the status bar's total recomputed) and the status bar's sums alone, each beside the
// bare SQL of the same rows.
class ListBench
{
public:
    explicit ListBench(const BillBench& timing);

    void run();

private:
    const BillBench& m_timing;
};
