#pragma once

#include <QDate>
#include <QList>
#include <QObject>
#include <QSharedPointer>
#include <QString>
#include <QWeakPointer>
#include <memory>

class MAccount;
class MBill;
class MBorrower;
class MCategory;
class MMember;
class QSqlQuery;

// Bills are many and re-queried on every filter change, so every holder shares them: a bill lives exactly as
// long as the cache, a model or a page still holds it.
using MBillPtr = QSharedPointer<MBill>;
using MBillList = QList<MBillPtr>;
using MBillListPtr = QSharedPointer<MBillList>;

// One bill of the open book (a row of tbl_bill) and the class-wide access to that table: the query of the
// bills that match a condition, kept in a one-entry cache, the list of months, and the writes of one bill.
// The same class is the node of the bill list's tree (date-group rows and the invisible root).
class MBill : public QObject
{
    Q_OBJECT

public:
    MBill();
    ~MBill() override;

    QString getId() const;
    void setId(const QString& id);
    double getAmount() const;
    void setAmount(double amount);
    QString getDescription() const;
    void setDescription(const QString& description);
    QDate getDate() const;
    void setDate(const QDate& date);
    int getMonth() const;
    void setMonth(int month);
    QString getCategoryId() const;
    void setCategoryId(const QString& categoryId);
    QString getSubCategoryId() const;
    void setSubCategoryId(const QString& subCategoryId);
    QString getAccountId() const;
    void setAccountId(const QString& accountId);
    QString getToAccountId() const;
    void setToAccountId(const QString& toAccountId);
    QString getBorrowerId() const;
    void setBorrowerId(const QString& borrowerId);
    QString getMemberId() const;
    void setMemberId(const QString& memberId);
    QString getKind() const;
    void setKind(const QString& kind);
    QString getTitle() const;
    void setTitle(const QString& title);

    // The tree: the list belongs to this node for its whole life; callers append to and read it in place.
    // The parent is held weakly, so a tree of shared nodes never keeps itself alive.
    MBillList* getChildren();
    bool isGroup() const;
    void setGroup(bool group);
    bool isExpanded() const;
    void setExpanded(bool expanded);
    MBillPtr getParent() const;
    void setParent(const MBillPtr& parent);

    // A new bill with every stored field but the id; saving it inserts a new row.
    MBillPtr clone() const;

    // The related records, looked up in their classes' caches; null when the id names no record.
    MAccount* getAccount() const;
    MAccount* getToAccount() const;
    MCategory* getCategory() const;
    MCategory* getSubCategory() const;
    MBorrower* getBorrower() const;
    MMember* getMember() const;

    MMember* findMember(const QList<MMember*>& list, const QString& id) const;
    MBorrower* findBorrower(const QList<MBorrower*>& list, const QString& id) const;
    MAccount* findAccount(const QList<MAccount*>& list, const QString& id) const;
    MCategory* findCategory(const QList<MCategory*>& list, const QString& id) const;

    // Every bill that matches the condition (SQL text spliced into the WHERE clause), in list order. A repeated
    // condition returns the cached list itself.
    static MBillListPtr get(const QString& condition);
    // The statement get() runs. List order is newest date first and, within a date, the most recently created
    // first; bills created in the same second come by id, which every device shares, so that the whole list, a
    // filtered one and another device's list agree.
    static QString listQuery(const QString& condition);
    // The distinct months that hold bills (year * 100 + month), most recent first.
    static QList<int> getMonthList();
    // Ends every change of bills, also changes made with other SQL: drops the cache, announces the change,
    // recomputes account balances and borrower totals and announces a changed set of months.
    static void dataChanged();
    // Forgets the cache, the condition and the remembered months; only tests call it, between books.
    static void resetCache();

    // Each write drops the cache and announces the change whatever its outcome; the result says whether
    // the statement succeeded (for update: and found the row).
    bool insert();
    bool update();
    bool remove();
    // Write many bills as update() and remove() do one, in one transaction: every bill is written or, when one
    // fails, none is. One change notice at the end, whatever the outcome.
    static bool updateAll(const MBillList& bills);
    static bool removeAll(const MBillList& bills);

private:
    // Writes the row of this bill with a prepared update statement; false when it failed or found no row.
    bool updateRow(QSqlQuery& query) const;
    // The twelve stored fields besides the id, in the order both the insert and the update bind them.
    void bindFields(QSqlQuery& query) const;

    // A day in four bytes, beside the month in the same eight. Covers every day a book can hold (years up to
    // millions away); a day outside that reads back as no date.
    class Day
    {
    public:
        Day(const QDate& date = QDate());
        operator QDate() const;

    private:
        qint32 m_julianDay;
    };

    // What only the rows of the bill list's tree use, made when a bill first takes its place there: a list holds
    // many bills, a page of the tree few.
    struct TreeLinks
    {
        MBillList children;
        QWeakPointer<MBill> parent;
        bool group = false;
        bool expanded = true;
    };
    TreeLinks& links();

    // Laid out so that a bill, of which a list holds many, takes no more room than its fields need.
    QString id;
    double amount = 0;
    QString description;
    Day date;
    int month = 0;
    QString category_id;
    QString sub_category_id;
    QString account_id;
    QString to_account_id;
    QString borrower_id;
    QString member_id;
    QString kind;
    QString title;
    std::unique_ptr<TreeLinks> m_tree;
};
