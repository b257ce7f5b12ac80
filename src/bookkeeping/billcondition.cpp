#include "bookkeeping/billcondition.h"

QString BillCondition::join(const QStringList& fragments)
{
    QString condition = " 1=1 ";
    for (const QString& fragment : fragments)
        if (!fragment.isEmpty())
            condition += " and " + fragment;
    return condition;
}

QString BillCondition::kind(const QString& kind)
{
    return " kind=" + quoted(kind) + " ";
}

QString BillCondition::month(int month)
{
    return " month=" + QString::number(month) + " ";
}

QString BillCondition::account(const QString& accountId)
{
    const QString id = quoted(accountId);
    return " ( account_id=" + id + " or to_account_id=" + id + ") ";
}

QString BillCondition::category(const QString& data)
{
    if (data.isEmpty())
        return QString();
    if (data == "expense" || data == "income")
        return kind(data);
    if (data.startsWith('c'))
        return " (category_id=" + quoted(data.mid(1)) + ") ";
    return " ( sub_category_id=" + quoted(data.mid(1)) + ") ";
}

QString BillCondition::borrower(const QString& borrowerId)
{
    return " borrower_id=" + quoted(borrowerId) + " ";
}

QString BillCondition::member(const QString& memberId)
{
    return "  member_id=" + quoted(memberId) + " ";
}

QString BillCondition::search(const QString& text)
{
    if (text.isEmpty())
        return QString();
    const QString escaped = doubledQuotes(text);
    return " (description like '%" + escaped + "%' or title like '%" + escaped + "%')";
}

QString BillCondition::quoted(const QString& value)
{
    return "'" + doubledQuotes(value) + "'";
}

QString BillCondition::doubledQuotes(const QString& text)
{
    return QString(text).replace("'", "''");
}
