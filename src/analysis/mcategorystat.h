#pragma once

#include <QList>
#include <QString>

// Bills of one category or sub-category in a period; percent is the share of the whole kind (0..1).
// A category owns the records of its sub-categories.
struct MCategoryStat
{
    MCategoryStat() = default;
    MCategoryStat(const MCategoryStat&) = delete;
    MCategoryStat& operator=(const MCategoryStat&) = delete;
    ~MCategoryStat() { qDeleteAll(children); }

    QString id;
    QString name;
    QString kind;
    int count = 0;
    double total = 0;
    double percent = 0;
    QList<MCategoryStat*> children;
};
