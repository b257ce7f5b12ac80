#pragma once

#include "testbook.h"

#include <QObject>
#include <memory>

// The base of the record and model tests: every test function runs on a new book, with every record cache
// dropped before and after it, so that no test sees the records of another one.
class RecordTest : public QObject
{
    Q_OBJECT

protected slots:
    // A test that adds rows to every book runs its own init() and calls this one first.
    void init();
    void cleanup();

private:
    std::unique_ptr<TestBook> m_book;
};
