#pragma once

#include <QList>
#include <QString>

// A category (tbl_category) or, when it names a parent category, a sub-category (tbl_sub_category) of the
// open book, and the class-wide cache of both levels. Building the cache numbers sort from 1 among siblings.
// Cached records are never freed, so a pointer handed out stays valid after the cache is dropped.
class MCategory
{
public:
    // Empty for a top-level category; it alone decides which table a record lives in.
    QString getCategoryId() const;
    void setCategoryId(const QString& categoryId);
    QString getId() const;
    void setId(const QString& id);
    QString getName() const;
    void setName(const QString& name);
    QString getKind() const;
    void setKind(const QString& kind);
    QString getDescription() const;
    void setDescription(const QString& description);
    int getSort() const;
    void setSort(int sort);
    MCategory* getParent() const;
    void setParent(MCategory* parent);
    QList<MCategory*> getChildren() const;
    void addChild(MCategory* child);

    // Each write drops the cache and announces the change whatever its outcome; the result says whether
    // the statements succeeded (for update: and found the row). insert keeps a preset id and gives an empty
    // one a new id. update of a sub-category moved to another category makes its bills name the new category.
    bool insert();
    bool update();
    bool remove();
    int getBillCount() const;

    // The expense or income categories, or all of them for any other kind; the list belongs to the cache.
    static QList<MCategory*>* getCategoryList(const QString& kind);
    // The sub-categories of one category, or all of them for an empty id; never null.
    static QList<MCategory*>* getSubCategoryList(const QString& categoryId);
    static MCategory* getCategoryById(const QString& id);
    static MCategory* getSubCategoryById(const QString& id);
    // Position among its siblings: the categories of the kind, or the children of its category.
    static int indexOf(const MCategory* category, const QString& kind);
    // Stores a new position without dropping the cache; a caller that reorders drops it afterwards. False when
    // the position could not be written.
    static bool updateSort(MCategory* category, int sort);
    static void clearCache();

private:
    // Stores the position the cache gave the record, keeping its stamp.
    static void renumber(MCategory* category, int sort);

    QString categoryId;
    QString id;
    QString name;
    QString kind;
    QString description;
    int sort = 0;
    MCategory* parent = nullptr;
    QList<MCategory*> children;
};
