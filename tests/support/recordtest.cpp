#include "recordtest.h"

#include "bookrows.h"

void RecordTest::init()
{
    m_book = std::make_unique<TestBook>();
    m_book->open();
    BookRows::dropCaches();
}

void RecordTest::cleanup()
{
    BookRows::dropCaches();
    m_book.reset();
}
