#include "benchbook.h"

#include "data/bookconnection.h"
#include "data/bookfile.h"
#include "data/bookindexes.h"
#include "data/defaultdata.h"
#include "data/maccount.h"
#include "data/mborrower.h"
#include "data/mcategory.h"
#include "data/mmember.h"
#include "data/pendingchanges.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <algorithm>
#include <functional>

namespace {
const int accountCount = 10;

// The ids that the generated bills point at, collected while the master data is written.
QStringList accountIds;
QStringList memberIds;
QStringList borrowerIds;
QMap<QString, QList<QPair<QString, QString>>> categoryPairs;

struct KindShape
{
    const char* kind;
    int weight;
    int sign;
    int lowest;
    int highest;
};

// Roughly how a household's bills fall: mostly expenses, a salary or two a month, some transfers and loans.
const KindShape kinds[] = {
    {"expense", 70, -1, 1, 300}, {"income", 8, 1, 100, 20000}, {"transfer", 8, -1, 100, 5000},
    {"lend", 3, -1, 100, 5000},  {"borrow", 3, 1, 100, 5000},  {"refund", 4, 1, 100, 5000},
    {"repay", 4, -1, 100, 5000},
};

const QStringList titles{"午饭", "超市", "加油", "房租", "工资", "打车", "聚餐", "水电费"};

void run(const QString& sql, const QVariantList& values = {})
{
    QSqlQuery query;
    query.prepare(sql);
    for (const QVariant& value : values)
        query.addBindValue(value);
    if (!query.exec())
        qFatal("%s: %s", qPrintable(sql), qPrintable(query.lastError().text()));
}

void openDefaultConnection(const QString& path)
{
    // As the program opens a book: one kept from an earlier build gets what this one adds to every book.
    if (!BookConnection::openDefault(path) || !BookIndexes::addMissing() || !PendingChanges::addMissing())
        qFatal("cannot open %s", qPrintable(path));
}

const KindShape& pickKind(QRandomGenerator& random)
{
    int draw = random.bounded(100);
    for (const KindShape& shape : kinds) {
        if (draw < shape.weight)
            return shape;
        draw -= shape.weight;
    }
    return kinds[0];
}

template <typename T> const T& pick(QRandomGenerator& random, const QList<T>& list)
{
    return list.at(random.bounded(int(list.size())));
}
} // namespace

QString BenchBook::open(const QString& folder, int bills)
{
    QDir().mkpath(folder);
    // Named after the shape of the book, so that a book of an earlier shape is never timed by mistake.
    const QString path = QDir(folder).filePath(QString("bench-%1-accounts-%2.db").arg(accountCount).arg(bills));
    if (!QFile::exists(path))
        generate(path, bills);
    openDefaultConnection(path);
    return path;
}

void BenchBook::generate(const QString& path, int bills)
{
    // Written under another name first, so that an interrupted run never leaves a short book behind.
    const QString part = path + ".part";
    QFile::remove(part);
    if (!BookFile::createFromInitial(part))
        qFatal("cannot create %s", qPrintable(part));
    openDefaultConnection(part);
    run("PRAGMA synchronous=OFF");
    QSqlDatabase::database().transaction();
    writeMasterData();
    writeBills(bills);
    QSqlDatabase::database().commit();
    QSqlDatabase::database().close();
    QSqlDatabase::removeDatabase(QSqlDatabase::defaultConnection);
    if (!QFile::rename(part, path))
        qFatal("cannot rename %s", qPrintable(part));
}

void BenchBook::writeMasterData()
{
    accountIds.clear();
    memberIds.clear();
    borrowerIds.clear();
    categoryPairs.clear();
    int sort = 0;
    DefaultData::Writer writer;
    writer.account = [&](MAccount& account) {
        run("insert into tbl_account (id, name, kind, amount, description, sort) values (?, ?, ?, 0, ?, ?)",
            {account.getId(), account.getName(), account.getKind(), account.getDescription(), ++sort});
        accountIds << account.getId();
    };
    writer.borrower = [&](MBorrower& borrower) {
        run("insert into tbl_borrower (id, name, description, sort) values (?, ?, ?, 1)",
            {borrower.getId(), borrower.getName(), borrower.getDescription()});
        borrowerIds << borrower.getId();
    };
    writer.categories = [&](const QString& kind, int& categoryId, int& subCategoryId, const QStringList& names,
                            const QMultiMap<QString, QStringList>& subNames) {
        DefaultData::makeCategories(kind, categoryId, subCategoryId, names, subNames, [&](MCategory& category) {
            if (category.getCategoryId().isEmpty()) {
                run("insert into tbl_category (id, name, kind, description, sort) values (?, ?, ?, ?, 0)",
                    {category.getId(), category.getName(), kind, category.getDescription()});
                return;
            }
            run("insert into tbl_sub_category (id, category_id, name, kind, description, sort) "
                "values (?, ?, ?, ?, ?, 0)",
                {category.getId(), category.getCategoryId(), category.getName(), kind, category.getDescription()});
            categoryPairs[kind] << qMakePair(category.getCategoryId(), category.getId());
        });
    };
    writer.member = [&](MMember& member) {
        run("insert into tbl_member (id, name, description, sort) values (?, ?, ?, 0)",
            {member.getId(), member.getName(), member.getDescription()});
        memberIds << member.getId();
    };
    DefaultData::write(writer);
    // A household keeps more accounts than the two a new book starts with.
    for (int i = int(accountIds.size()) + 1; i <= accountCount; ++i) {
        MAccount account;
        account.setId(DefaultData::twoDigitId(i));
        account.setName(QString("账户%1").arg(i));
        account.setKind(i % 2 ? "card" : "credit");
        writer.account(account);
    }
}

void BenchBook::writeBills(int bills)
{
    QRandomGenerator random(20140517);
    const QDate first(2015, 1, 1);
    const int days = first.daysTo(QDate(2024, 12, 31)) + 1;
    QSqlQuery query;
    query.prepare("insert into tbl_bill (id, amount, description, date, month, category_id, sub_category_id, "
                  "account_id, to_account_id, borrower_id, member_id, title, kind, created_time, version) "
                  "values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    // Bills are entered day by day as they happen, so the table holds them in the order of their creation.
    QList<int> seconds;
    for (int i = 0; i < bills; ++i) {
        const int day = int(qint64(i) * days / bills);
        if (seconds.isEmpty()) {
            const int count = int((qint64(day + 1) * bills + days - 1) / days - i);
            for (int s = 0; s < count; ++s)
                seconds << random.bounded(86400);
            std::sort(seconds.begin(), seconds.end(), std::greater<int>());
        }
        const KindShape& shape = pickKind(random);
        const QString kind = shape.kind;
        const QDate date = first.addDays(day);
        const QString created =
            QDateTime(date, QTime(0, 0).addSecs(seconds.takeLast())).toString("yyyy-MM-dd hh:mm:ss");
        const double amount = shape.sign * random.bounded(shape.lowest * 100, shape.highest * 100 + 1) / 100.0;
        const QString account = pick(random, accountIds);
        QString category, subCategory, toAccount, borrower, member;
        if (kind == "expense" || kind == "income") {
            std::tie(category, subCategory) = pick(random, categoryPairs.value(kind));
            member = random.bounded(10) == 0 ? QString() : pick(random, memberIds);
        } else if (kind == "transfer") {
            toAccount = accountIds.at((accountIds.indexOf(account) + 1) % accountIds.size());
        } else {
            borrower = pick(random, borrowerIds);
        }
        const QString title = random.bounded(4) == 0 ? pick(random, titles) : QString("");
        const QString description = random.bounded(3) == 0 ? QString("备注 %1").arg(i) : QString("");

        const QVariantList values{QUuid::createUuid().toString(QUuid::WithoutBraces),
                                  amount,
                                  description,
                                  date,
                                  date.year() * 100 + date.month(),
                                  category,
                                  subCategory,
                                  account,
                                  toAccount,
                                  borrower,
                                  member,
                                  title,
                                  kind,
                                  created,
                                  created};
        for (int v = 0; v < values.size(); ++v)
            query.bindValue(v, values.at(v));
        if (!query.exec())
            qFatal("bill %d: %s", i, qPrintable(query.lastError().text()));
    }
}
