#pragma once

#include <QList>
#include <QString>

class QHeaderView;

// Remembers the column widths of a page's table in the settings file, under the table's key.
class ColumnWidths
{
public:
    // Gives the columns their stored widths, or the defaults where nothing is stored, and from then on stores
    // every column's width whenever one changes.
    static void apply(QHeaderView* header, const QString& key, const QList<int>& defaults);
    static void store(QHeaderView* header, const QString& key);
};
