#include "data/defaultdata.h"

#include "data/maccount.h"
#include "data/mborrower.h"
#include "data/mcategory.h"
#include "data/mmember.h"

#include <QCoreApplication>

void DefaultData::write(const Writer& writer, const char* context)
{
    const auto translated = [context](const char* text) { return QCoreApplication::translate(context, text); };
    MAccount account;
    const QList<QPair<QString, QString>> accounts{{translated("我的钱包"), "cash"}, {translated("我的银行卡"), "card"}};
    int id = 1;
    for (const auto& [name, kind] : accounts) {
        account.setId(twoDigitId(id++));
        account.setName(name);
        account.setKind(kind);
        account.setAmount(0.0);
        account.setDescription(name);
        writer.account(account);
    }

    MBorrower borrower;
    borrower.setId("01");
    borrower.setName(translated("借款人"));
    borrower.setDescription(translated("借款人"));
    writer.borrower(borrower);

    const QStringList expense{translated("餐饮食品"), translated("服装鞋帽"), translated("日常居家"),
                              translated("交通出行"), translated("休闲娱乐"), translated("文化教育"),
                              translated("人情交际"), translated("医疗保健"), translated("投资保险"),
                              translated("其它支出")};
    QMultiMap<QString, QStringList> expenseSubs;
    expenseSubs.insert(expense[0],
                       {translated("早中晚餐"), translated("烟酒茶饮"), translated("水果"), translated("零食")});
    expenseSubs.insert(expense[1], {translated("衣服裤子"), translated("鞋帽包包"), translated("化妆饰品")});
    expenseSubs.insert(expense[2], {translated("日常用品"), translated("水电煤气")});
    expenseSubs.insert(expense[3], {translated("公交车"), translated("打的")});
    expenseSubs.insert(expense[4], {translated("电影演出"), translated("腐败聚会"), translated("旅游度假")});
    expenseSubs.insert(expense[5], {translated("书刊杂志"), translated("培训进修")});
    expenseSubs.insert(expense[6], {translated("送礼请客"), translated("孝敬长辈")});
    expenseSubs.insert(expense[7], {translated("治疗药品")});
    expenseSubs.insert(expense[8], {translated("证券期货"), translated("保险")});
    expenseSubs.insert(expense[9], {translated("其它支出")});

    const QStringList income{translated("工资奖金"), translated("其它收入")};
    QMultiMap<QString, QStringList> incomeSubs;
    incomeSubs.insert(income[0], {translated("工资收入"), translated("奖金收入")});
    incomeSubs.insert(income[1], {translated("其它收入")});

    int categoryId = 1;
    int subCategoryId = 1;
    writer.categories("expense", categoryId, subCategoryId, expense, expenseSubs);
    writer.categories("income", categoryId, subCategoryId, income, incomeSubs);

    MMember member;
    const QList<QPair<QString, QString>> members{{translated("自己"), translated("我自己")},
                                                 {translated("家人"), translated("我的家人")}};
    id = 1;
    for (const auto& [name, description] : members) {
        member.setId(twoDigitId(id++));
        member.setName(name);
        member.setDescription(description);
        writer.member(member);
    }
}

void DefaultData::makeCategories(const QString& kind, int& categoryId, int& subCategoryId,
                                 const QStringList& categoryNames,
                                 const QMultiMap<QString, QStringList>& subCategoryNames,
                                 const std::function<void(MCategory&)>& write)
{
    for (const QString& name : categoryNames) {
        MCategory category;
        category.setId(twoDigitId(categoryId++));
        category.setName(name);
        category.setKind(kind);
        category.setDescription(name);
        write(category);

        const QString parentId = category.getId();
        for (const QString& subName : subCategoryNames.value(name)) {
            MCategory sub;
            sub.setId(twoDigitId(subCategoryId++));
            sub.setCategoryId(parentId);
            sub.setName(subName);
            sub.setKind(kind);
            sub.setDescription(subName);
            write(sub);
        }
    }
}

QString DefaultData::twoDigitId(int number)
{
    return QString("%1").arg(number, 2, 10, QChar('0'));
}
