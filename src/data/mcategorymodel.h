#pragma once

#include "data/mcategory.h"

#include <QAbstractItemModel>
#include <QIcon>
#include <QStringList>

#include <memory>

// The categories of one kind as a two-level tree over the cached records: the top-level categories, each
// with its sub-categories. Built complete and never changed; a page builds a new one after each change.
class MCategoryModel : public QAbstractItemModel
{
    Q_OBJECT

public:
    explicit MCategoryModel(const QString& kind, QObject* parent = nullptr);

    // The top-level category at a top-level row; null when there is no such row.
    MCategory* getCategory(int row) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& index) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    void init();
    MCategory* itemOf(const QModelIndex& index) const;

    QString kind;
    QStringList headers;
    // Holds the top-level rows. The cached categories' own parent links are left alone: several models may
    // show the same records, so each model answers from its own root.
    const std::unique_ptr<MCategory> root;
    QIcon icon;
};
