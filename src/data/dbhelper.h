#pragma once

#include <QMap>
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

private:
    explicit DBHelper(QObject* parent = nullptr);

    // Keyed by the schema version each step starts from.
    QMap<int, QStringList> upgradeSteps;
};
