#pragma once

#include <QAbstractTableModel>
#include <QStringList>

// The read-only table over a snapshot of one master-data list: every index carries its row's record, and
// only the display role is answered. Subclasses give the records and their cell texts.
class MRecordTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    // A cell has neither rows nor columns beneath it: views and proxies walk the model as a flat table.
    int rowCount(const QModelIndex& parent = QModelIndex()) const final;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Money rounded to cents, in fixed notation with two decimals and no grouping.
    static QString money(double value);

protected:
    explicit MRecordTableModel(QObject* parent);

    // The rows of the table.
    virtual int recordCount() const = 0;
    virtual const void* recordAt(int row) const = 0;
    virtual QString text(int row, int column) const = 0;

    QStringList headers;
};
