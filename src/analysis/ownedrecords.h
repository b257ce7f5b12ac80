#pragma once

#include <QList>
#include <QPair>
#include <QString>

// The records of a page's last query, owned until the next one. Every list ends with its total row.
template <typename T> class OwnedRecords
{
public:
    OwnedRecords() = default;
    OwnedRecords(const OwnedRecords&) = delete;
    OwnedRecords& operator=(const OwnedRecords&) = delete;
    ~OwnedRecords() { qDeleteAll(m_records); }

    void reset(const QList<T*>& records)
    {
        qDeleteAll(m_records);
        m_records = records;
    }

    // Every record, the total row last.
    const QList<T*>& all() const { return m_records; }
    const T* total() const { return m_records.isEmpty() ? nullptr : m_records.last(); }

    // A pie slice per record but the total row: its name and the figure the field selects.
    QList<QPair<QString, double>> slices(double T::*field) const
    {
        QList<QPair<QString, double>> slices;
        for (int i = 0; i + 1 < m_records.size(); ++i)
            slices.append({m_records.at(i)->name, m_records.at(i)->*field});
        return slices;
    }

private:
    QList<T*> m_records;
};
