#pragma once

#include <functional>

// The record an edit dialog works on: the caller's record once edit() named it, else a new record of the
// dialog's own. A write goes through a copy, so that a record the book refused keeps its old values and the
// caller's lists never show what was not stored.
template <typename Record> class EditedRecord
{
public:
    EditedRecord() = default;
    EditedRecord(const EditedRecord&) = delete;
    EditedRecord& operator=(const EditedRecord&) = delete;

    void edit(Record* record) { m_record = record; }
    bool isModify() const { return m_record != &m_new; }

    // `change` puts the dialog's input into the copy; `insert` and `update` write a record and say whether the
    // book took it.
    template <typename Change, typename Insert, typename Update> bool store(Change change, Insert insert, Update update)
    {
        Record copy = *m_record;
        change(copy);
        const bool stored = isModify() ? std::invoke(update, &copy) : std::invoke(insert, &copy);
        if (stored)
            *m_record = copy;
        return stored;
    }

private:
    Record m_new;
    Record* m_record = &m_new;
};
