#pragma once

#include <QMultiMap>
#include <QStringList>
#include <functional>

class MAccount;
class MBorrower;
class MCategory;
class MMember;

// The master data a new book starts with: two accounts, a borrower, ten expense and two income categories
// with twenty-five sub-categories, and two members, all with fixed two-character ids.
class DefaultData
{
public:
    using CategoriesWriter =
        std::function<void(const QString& kind, int& categoryId, int& subCategoryId, const QStringList& categoryNames,
                           const QMultiMap<QString, QStringList>& subCategoryNames)>;

    // What is done with the records; write() hands them over in the order a new book receives them.
    struct Writer
    {
        std::function<void(MAccount&)> account;
        std::function<void(MBorrower&)> borrower;
        // Called once per kind, expense before income; the counters run on from one call to the next.
        CategoriesWriter categories;
        std::function<void(MMember&)> member;
    };

    // The names and descriptions are translated in the given context, that of the class that writes them; by
    // default that of a new book's default data.
    static void write(const Writer& writer, const char* context = "DBHelper");

    // Makes each category and, right after it, its sub-categories (the list most recently added under its
    // name), numbering them from the two counters, and hands every record to write.
    static void makeCategories(const QString& kind, int& categoryId, int& subCategoryId,
                               const QStringList& categoryNames,
                               const QMultiMap<QString, QStringList>& subCategoryNames,
                               const std::function<void(MCategory&)>& write);

    // "01" to "09", then the plain decimal number.
    static QString twoDigitId(int number);
};
