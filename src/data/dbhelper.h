#pragma once

#include <QMap>
#include <QMultiMap>
#include <QObject>
#include <QStringList>

// Keeps a book's schema current and gives a new book its default records.
class DBHelper : public QObject
{
    Q_OBJECT

public:
    static DBHelper* getInstance();

    // Brings the book on the default connection to the program's schema version. Returns false when a step
    // failed for another reason than its object being there already; the stored version then stays, so the
    // next start tries again.
    bool upgrade();

    // Writes the default records of a new book, stamped as older than any sync. An empty path means the book
    // on the default connection; another path names a book file that already holds the schema, and the
    // default connection is back on the current book afterwards. All of them or, false, none.
    bool initDefaultData(const QString& path = QString());
    // Inserts the categories of one kind, each followed by its sub-categories, with ids from the counters; false
    // when the book refused any of them.
    bool insertCategorys(const QString& kind, int& categoryId, int& subCategoryId, const QStringList& categoryNames,
                         const QMultiMap<QString, QStringList>& subCategoryNames);
    // Writes the default records on the default connection, within the caller's transaction, and stamps them;
    // false when the book refused any of them.
    bool writeDefaultRecords();

private:
    explicit DBHelper(QObject* parent = nullptr);
    bool fillDefaultConnection();

    // Keyed by the schema version each step starts from.
    QMap<int, QStringList> m_upgradeSteps;
};
