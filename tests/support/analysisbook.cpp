#include "analysisbook.h"

#include "bookrows.h"

void AnalysisBook::seed(const QString& hostileName)
{
    const auto name = [&hostileName](const QString& plain) { return hostileName.isEmpty() ? plain : hostileName; };
    const QString category = "insert into tbl_category (id, name, kind) values (?, ?, ?)";
    BookRows::exec(category, {"C1", name("餐饮"), "expense"});
    BookRows::exec(category, {"C2", "交通", "expense"});
    BookRows::exec(category, {"C3", "工资", "income"});
    const QString sub = "insert into tbl_sub_category (id, category_id, name, kind) values (?, ?, ?, ?)";
    BookRows::exec(sub, {"S1", "C1", name("午饭"), "expense"});
    BookRows::exec(sub, {"S2", "C1", "晚饭", "expense"});
    BookRows::exec(sub, {"S3", "C3", "奖金", "income"});
    BookRows::exec(sub, {"S4", "C3", "错挂", "expense"});
    BookRows::exec("insert into tbl_account (id, name, kind, amount) values ('A', ?, 'cash', 0)", {name("现金")});
    BookRows::exec("insert into tbl_account (id, name, kind, amount) values ('B', '工商卡', 'card', 0)");
    BookRows::exec("insert into tbl_member (id, name) values ('M1', ?)", {name("爸爸")});
    BookRows::exec("insert into tbl_member (id, name) values ('M2', '妈妈')");
    BookRows::exec("insert into tbl_borrower (id, name) values ('P1', ?)", {name("老王")});

    BookRows::addBillOn("2014-03-05", "expense", -100,
                        {{"category_id", "C1"}, {"sub_category_id", "S1"}, {"account_id", "A"}, {"member_id", "M1"}});
    BookRows::addBillOn("2014-03-05", "expense", -50,
                        {{"category_id", "C1"}, {"account_id", "A"}, {"member_id", "M2"}});
    BookRows::addBillOn("2014-03-20", "expense", -50,
                        {{"category_id", "C2"}, {"account_id", "B"}, {"member_id", "M1"}});
    BookRows::addBillOn("2014-03-25", "income", 400,
                        {{"category_id", "C3"}, {"sub_category_id", "S3"}, {"account_id", "B"}, {"member_id", "M2"}});
    BookRows::addBillOn("2014-03-26", "transfer", -200, {{"account_id", "A"}, {"to_account_id", "B"}});
    BookRows::addBillOn("2014-04-01", "lend", -300, {{"account_id", "A"}, {"borrower_id", "P1"}});
    BookRows::addBillOn("2014-04-10", "refund", 100, {{"account_id", "A"}, {"borrower_id", "P1"}});
    BookRows::addBillOn("2014-05-17", "borrow", 500, {{"account_id", "B"}, {"borrower_id", "P1"}});
    BookRows::addBillOn("2014-05-18", "repay", -200, {{"account_id", "B"}, {"borrower_id", "P1"}});
    BookRows::addBillOn("2016-02-29", "expense", -10,
                        {{"category_id", "C2"}, {"account_id", "A"}, {"member_id", "M1"}});
    // Counted nowhere: a bill whose member and borrower are gone.
    BookRows::addBillOn("2014-03-06", "expense", -7, {{"member_id", "gone"}, {"account_id", "gone"}});
}
