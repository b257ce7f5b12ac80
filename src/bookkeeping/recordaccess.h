#pragma once

#include "data/recordsql.h"
#include "widgets/pagereloader.h"

#include <QAbstractItemModel>
#include <QDialog>
#include <QList>
#include <QStringList>
#include <algorithm>

// What a master-data list page needs of its record class. Records are named by id and looked up afresh in the
// class's cache at every step, because any write drops the cache and another part of the program (the sync)
// may have changed the rows since the page last loaded.
class RecordAccess
{
public:
    using Notices = PageReloader::Notices;

    virtual ~RecordAccess() = default;

    virtual QAbstractItemModel* createModel(QObject* parent) const = 0;
    // The id of the record a model index carries; empty for a row without a record (the accounts' total).
    virtual QString idAt(const QModelIndex& index) const = 0;
    // The ids in the user's order.
    virtual QStringList orderedIds() const = 0;
    virtual bool exists(const QString& id) const = 0;
    // Whether bills name the record, so that it must stay.
    virtual bool isUsed(const QString& id) const = 0;
    // Removes all the records or, when one cannot be removed, none.
    virtual bool removeAll(const QStringList& ids) const = 0;
    // Numbers the records 1..n in the order of `ids`, writing only the records whose number changes; all of
    // them or none.
    virtual bool renumber(const QStringList& ids) const = 0;
    // The edit dialog for a new record (empty id) or for the record with the id.
    virtual QDialog* createDialog(QWidget* parent, const QString& id) const = 0;
    // The change notices after which the page's rows are out of date.
    virtual Notices changeNotices() const = 0;
};

// RecordAccess over one record class, its table model and its edit dialog.
template <typename Record, typename Model, typename Dialog> class RecordAccessOf : public RecordAccess
{
public:
    using ListFunction = QList<Record*>* (*)();
    using EditFunction = void (Dialog::*)(Record*);

    RecordAccessOf(ListFunction list, EditFunction edit, Notices notices)
        : m_list(list), m_edit(edit), m_notices(notices)
    {
    }

    QAbstractItemModel* createModel(QObject* parent) const override { return new Model(parent); }

    QString idAt(const QModelIndex& index) const override
    {
        const Record* record = static_cast<const Record*>(index.internalPointer());
        return record ? record->getId() : QString();
    }

    QStringList orderedIds() const override
    {
        QStringList ids;
        for (const Record* record : *m_list())
            ids << record->getId();
        return ids;
    }

    bool exists(const QString& id) const override { return find(id); }

    bool isUsed(const QString& id) const override
    {
        const Record* record = find(id);
        return record && Record::getBillCount(record) > 0;
    }

    bool removeAll(const QStringList& ids) const override
    {
        return RecordSql::allOrNothing([this, &ids] {
            return std::all_of(ids.cbegin(), ids.cend(), [this](const QString& id) {
                Record* record = find(id);
                return record && Record::remove(record);
            });
        });
    }

    bool renumber(const QStringList& ids) const override
    {
        // Taken before the first write, which drops the cache; the records themselves stay valid.
        QList<Record*> records;
        for (const QString& id : ids)
            records << find(id);
        return RecordSql::allOrNothing([&records] {
            for (int i = 0; i < records.size(); ++i)
                if (records.at(i)->getSort() != i + 1) {
                    records.at(i)->setSort(i + 1);
                    if (!Record::update(records.at(i)))
                        return false;
                }
            return true;
        });
    }

    QDialog* createDialog(QWidget* parent, const QString& id) const override
    {
        Dialog* dialog = new Dialog(parent);
        if (!id.isEmpty())
            (dialog->*m_edit)(find(id));
        return dialog;
    }

    Notices changeNotices() const override { return m_notices; }

private:
    Record* find(const QString& id) const { return RecordSql::findById(*m_list(), id); }

    ListFunction m_list;
    EditFunction m_edit;
    Notices m_notices;
};
