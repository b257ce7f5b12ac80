#include "bookkeeping/columnroom.h"

#include <QEvent>
#include <QHeaderView>
#include <QTreeView>

ColumnRoom::ColumnRoom(QTreeView* view, int column, int stretching)
    : QObject(view), m_view(view), m_column(column), m_stretching(stretching),
      m_ownWidth(view->header()->sectionSize(column))
{
    view->viewport()->installEventFilter(this);
    connect(view->model(), &QAbstractItemModel::modelReset, this, &ColumnRoom::fit);
    // A width the user drags the column to is its own from then on: kept, and the one stored.
    connect(view->header(), &QHeaderView::sectionResized, this, [this](int column, int, int width) {
        if (column == m_column && !m_fitting)
            m_ownWidth = width;
    });
}

int ColumnRoom::ownWidth() const
{
    return m_ownWidth;
}

void ColumnRoom::fit()
{
    QHeaderView* header = m_view->header();
    int others = 0;
    for (int i = 0; i < header->count(); ++i) {
        if (i != m_column && i != m_stretching)
            others += header->sectionSize(i);
    }
    const int stretchingRoom = m_view->viewport()->width() - others - m_ownWidth;
    const int spare = stretchingRoom - qMax(widest(m_stretching), header->minimumSectionSize());
    const int width = qBound(m_ownWidth, widest(m_column), m_ownWidth + qMax(0, spare));
    if (header->sectionSize(m_column) != width) {
        m_fitting = true;
        header->resizeSection(m_column, width);
        m_fitting = false;
    }
}

bool ColumnRoom::eventFilter(QObject*, QEvent* event)
{
    if (event->type() == QEvent::Resize)
        fit();
    return false;
}

int ColumnRoom::widest(int column) const
{
    const QAbstractItemModel* model = m_view->model();
    int width = 0;
    for (int top = 0; top < model->rowCount(); ++top) {
        const QModelIndex parent = model->index(top, 0);
        for (int row = 0; row < model->rowCount(parent); ++row)
            width = qMax(width, m_view->sizeHintForIndex(model->index(row, column, parent)).width());
    }
    return width;
}
