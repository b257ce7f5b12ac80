#pragma once

// Times the bulk change dialog moving every bill of the open book to another member, all in one transaction,
// beside the same number of plain one-column updates in one transaction.
class BulkBench
{
public:
    BulkBench(int bills, int repeats);
    void run();

private:
    int m_bills;
    int m_repeats;
};
