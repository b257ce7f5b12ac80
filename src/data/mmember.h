#pragma once

#include <QList>
#include <QString>

// One household member of the open book (a row of tbl_member) and the class-wide access to that table.
// Cached records are never freed, so a pointer handed out stays valid after the cache is dropped.
class MMember
{
public:
    QString getId() const;
    void setId(const QString& id);
    QString getName() const;
    void setName(const QString& name);
    QString getDescription() const;
    void setDescription(const QString& description);
    int getSort() const;
    void setSort(int sort);

    // All members ordered by sort; the list belongs to the cache.
    static QList<MMember*>* getMemberList();
    static MMember* getMemberById(const QString& id);
    static int indexOf(const MMember* member);
    static int getBillCount(const MMember* member);

    // Each write drops the cache and announces the change whatever its outcome; the result says whether
    // the statement succeeded (for update: and found the row). insert keeps a preset id and gives an empty
    // one a new id.
    static bool insert(MMember* member);
    static bool update(MMember* member);
    static bool remove(MMember* member);

    static void clearCache();

private:
    QString id;
    QString name;
    QString description;
    int sort = 0;
};
