#pragma once

#include <QList>
#include <QString>

// One account of the open book (a row of tbl_account) and the class-wide access to that table. The cached
// list carries every account's balance, kept current after bill writes. Cached records are never freed, so
// a pointer handed out stays valid after the cache is dropped.
class MAccount
{
public:
    QString getId() const;
    void setId(const QString& id);
    QString getName() const;
    void setName(const QString& name);
    QString getKind() const;
    void setKind(const QString& kind);
    double getAmount() const;
    void setAmount(double amount);
    QString getDescription() const;
    void setDescription(const QString& description);
    int getSort() const;
    void setSort(int sort);
    double getBalance() const;
    void setBalance(double balance);

    // All accounts ordered by sort, with fresh balances; the list belongs to the cache.
    static QList<MAccount*>* get();
    static MAccount* getAccountById(const QString& id);
    // Position of the cached account with the same id, or -1.
    static int indexOf(const MAccount* account);
    // Bills that name the account, as their own account or as the target of a transfer.
    static int getBillCount(const MAccount* account);

    // Each write drops the cache and announces the change whatever its outcome; the result says whether
    // the statement succeeded (for update: and found the row). insert keeps a preset id and gives an empty
    // one a new id.
    static bool insert(MAccount* account);
    static bool update(MAccount* account);
    static bool remove(MAccount* account);

    // Recomputes the balances of the cached accounts in place: opening amount plus the bills on the account
    // minus the transfers into it.
    static void calculateBalance();
    static void clearCache();

private:
    QString id;
    QString name;
    QString kind;
    double amount = 0.0;
    QString description;
    int sort = 0;
    double balance = 0.0;
};
