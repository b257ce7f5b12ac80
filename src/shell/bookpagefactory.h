#pragma once

#include "platform/replaceable.h"

#include <QString>

class QWidget;
class WBaseWidget;

// Builds the pages of the book page by page name ("BillList"). The pages with web views are costly to start,
// so tests hand in a factory of light pages of their own.
class BookPageFactory : public Replaceable<BookPageFactory>
{
public:
    virtual ~BookPageFactory() = default;

    // The page named `page`, constructed with its container as parent; nullptr for an unknown name.
    virtual WBaseWidget* create(const QString& page, QWidget* container);
};
