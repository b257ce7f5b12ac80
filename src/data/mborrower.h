#pragma once

#include <QList>
#include <QString>

// One borrower of the open book (a row of tbl_borrower) and the class-wide access to that table. The cached
// list carries every borrower's total of bills: negative is money owed to the user. Cached records are never
// freed, so a pointer handed out stays valid after the cache is dropped.
class MBorrower
{
public:
    QString getId() const;
    void setId(const QString& id);
    QString getName() const;
    void setName(const QString& name);
    double getBalance() const;
    void setBalance(double balance);
    QString getDescription() const;
    void setDescription(const QString& description);
    int getSort() const;
    void setSort(int sort);

    // All borrowers ordered by sort, with fresh totals; the list belongs to the cache.
    static QList<MBorrower*>* getBorrowerList();
    static MBorrower* getBorrowerById(const QString& id);
    static int indexOf(const MBorrower* borrower);
    static int getBillCount(const MBorrower* borrower);

    // Each write drops the cache and announces the change whatever its outcome; the result says whether
    // the statement succeeded (for update: and found the row). insert keeps a preset id and gives an empty
    // one a new id.
    static bool insert(MBorrower* borrower);
    static bool update(MBorrower* borrower);
    static bool remove(MBorrower* borrower);

    // Recomputes the totals of the cached borrowers in place from their bills.
    static void calculateBalance();
    static void clearCache();

private:
    QString id;
    QString name;
    double balance = 0.0;
    QString description;
    int sort = 0;
};
