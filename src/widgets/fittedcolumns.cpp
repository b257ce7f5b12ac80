#include "widgets/fittedcolumns.h"

#include "data/filesetting.h"
#include "widgets/columnwidths.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QHeaderView>
#include <QScopedValueRollback>

FittedColumns::FittedColumns(QAbstractItemView* view, QHeaderView* header, const QString& key)
    : QObject(view), m_view(view), m_header(header), m_key(key)
{
    view->viewport()->installEventFilter(this);
    connect(header, &QHeaderView::sectionResized, this, &FittedColumns::userResized);
}

void FittedColumns::fit()
{
    const QScopedValueRollback<bool> fitting(m_fitting, true);
    const QList<int> stored = FileSetting::getInstance()->getColumnWidths(m_key);
    QList<int> widths;
    int others = 0;
    for (int column = 0; column < m_header->count(); ++column) {
        widths << qMax(contentsWidth(column), stored.value(column));
        if (column > 0)
            others += widths.last();
    }
    // Widths the user set are kept as the user left them, free width and all.
    if (stored.isEmpty() && !widths.isEmpty())
        widths[0] = qMax(widths[0], m_view->viewport()->width() - others);
    for (int column = 0; column < widths.size(); ++column)
        m_header->resizeSection(column, widths.at(column));
}

bool FittedColumns::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Resize && !m_fitting)
        fit();
    return QObject::eventFilter(watched, event);
}

int FittedColumns::contentsWidth(int column) const
{
    const int label = m_header->isHidden() ? 0 : m_header->sectionSizeHint(column);
    return qMax(m_view->sizeHintForColumn(column), label);
}

void FittedColumns::userResized()
{
    if (!m_fitting)
        ColumnWidths::store(m_header, m_key);
}
