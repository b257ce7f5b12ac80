#include "data/defaultdata.h"

#include "data/maccount.h"
#include "data/mborrower.h"
#include "data/mcategory.h"
#include "data/mmember.h"

void DefaultData::write(const Writer& writer)
{
    MAccount account;
    const QList<QPair<QString, QString>> accounts{{tr("我的钱包"), "cash"}, {tr("我的银行卡"), "card"}};
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
    borrower.setName(tr("借款人"));
    borrower.setDescription(tr("借款人"));
    writer.borrower(borrower);

    const QStringList expense{tr("餐饮食品"), tr("服装鞋帽"), tr("日常居家"), tr("交通出行"), tr("休闲娱乐"),
                              tr("文化教育"), tr("人情交际"), tr("医疗保健"), tr("投资保险"), tr("其它支出")};
    QMultiMap<QString, QStringList> expenseSubs;
    expenseSubs.insert(expense[0], {tr("早中晚餐"), tr("烟酒茶饮"), tr("水果"), tr("零食")});
    expenseSubs.insert(expense[1], {tr("衣服裤子"), tr("鞋帽包包"), tr("化妆饰品")});
    expenseSubs.insert(expense[2], {tr("日常用品"), tr("水电煤气")});
    expenseSubs.insert(expense[3], {tr("公交车"), tr("打的")});
    expenseSubs.insert(expense[4], {tr("电影演出"), tr("腐败聚会"), tr("旅游度假")});
    expenseSubs.insert(expense[5], {tr("书刊杂志"), tr("培训进修")});
    expenseSubs.insert(expense[6], {tr("送礼请客"), tr("孝敬长辈")});
    expenseSubs.insert(expense[7], {tr("治疗药品")});
    expenseSubs.insert(expense[8], {tr("证券期货"), tr("保险")});
    expenseSubs.insert(expense[9], {tr("其它支出")});

    const QStringList income{tr("工资奖金"), tr("其它收入")};
    QMultiMap<QString, QStringList> incomeSubs;
    incomeSubs.insert(income[0], {tr("工资收入"), tr("奖金收入")});
    incomeSubs.insert(income[1], {tr("其它收入")});

    int categoryId = 1;
    int subCategoryId = 1;
    writer.categories("expense", categoryId, subCategoryId, expense, expenseSubs);
    writer.categories("income", categoryId, subCategoryId, income, incomeSubs);

    MMember member;
    const QList<QPair<QString, QString>> members{{tr("自己"), tr("我自己")}, {tr("家人"), tr("我的家人")}};
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
