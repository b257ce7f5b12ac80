#include "widgets/columnwidths.h"

#include "data/filesetting.h"

#include <QHeaderView>

void ColumnWidths::apply(QHeaderView* header, const QString& key, const QList<int>& defaults)
{
    const QList<int> widths = FileSetting::getInstance()->getColumnWidths(key);
    for (int column = 0; column < header->count(); ++column) {
        const int width = widths.isEmpty() ? defaults.value(column) : widths.value(column, defaults.value(column));
        if (width > 0)
            header->resizeSection(column, width);
    }
    header->setMinimumSectionSize(50);
    // The header lives as long as its view: one connection serves every later reload.
    const char* const stored = "columnWidthsKey";
    if (header->property(stored).isValid())
        return;
    header->setProperty(stored, key);
    QObject::connect(header, &QHeaderView::sectionResized, header, [header, key] { store(header, key); });
}

void ColumnWidths::store(QHeaderView* header, const QString& key)
{
    QList<int> widths;
    for (int column = 0; column < header->count(); ++column)
        widths << header->sectionSize(column);
    FileSetting::getInstance()->setColumnWidths(key, widths);
}
