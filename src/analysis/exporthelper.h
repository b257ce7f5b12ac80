#pragma once

#include "data/mbill.h"

#include <QCoreApplication>
#include <QString>

// Writes bills as a table file that spreadsheet programs open: an XHTML page with one table, a row per bill.
class ExportHelper
{
    Q_DECLARE_TR_FUNCTIONS(ExportHelper)

public:
    // Writes the bills in list order to the file, named with ".xls" when the name has no suffix. The file is
    // replaced in one step: when the export fails, the old file is left whole and the result is false.
    static bool exportBills(const QString& fileName, const MBillList& bills);
};
