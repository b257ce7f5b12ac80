#pragma once

#include <QString>
#include <QStringList>

// The SQL condition over tbl_bill that the bill list's filters select: " 1=1 " and one fragment per active
// filter. The bill cache and the status bar key on its exact text, blanks included. Every value is put in
// quotes with its own quotes doubled, ids too: ids can come from the sync or an import.
class BillCondition
{
public:
    // " 1=1 ", then " and " and each non-empty fragment, in the order given.
    static QString join(const QStringList& fragments);

    static QString kind(const QString& kind);
    static QString month(int month);
    static QString account(const QString& accountId);
    // The data of a row of the category filter: "" (every category), a category kind code, "c" and a
    // category id, or "s" and a sub-category id.
    static QString category(const QString& data);
    static QString borrower(const QString& borrowerId);
    static QString member(const QString& memberId);
    // Finds the text in the description or the title; "%" and "_" keep their meaning as wildcards. Empty for
    // an empty text; blanks are searched for like any other character.
    static QString search(const QString& text);

private:
    static QString quoted(const QString& value);
    static QString doubledQuotes(const QString& text);
};
