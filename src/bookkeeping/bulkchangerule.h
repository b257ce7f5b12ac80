#pragma once

#include "data/mbill.h"

#include <QCoreApplication>
#include <QString>

// Which bills the bulk change of each mode applies to: an account to bills of any kind, a member or a category to
// income and expense bills only (a category to bills of one of the two), a borrower to loan bills only.
class BulkChangeRule
{
    Q_DECLARE_TR_FUNCTIONS(BulkChangeRule)

public:
    // Why the mode ("account", "member", "category", "borrower") cannot change the bills; empty when it can.
    static QString refusal(const QString& mode, const MBillList& bills);
};
