#pragma once

#include <QCoreApplication>
#include <QDate>
#include <QIcon>
#include <QString>

class MBill;

// What the bill list shows of a bill row and a date-group row: the cell texts with the names of the related
// records, the tooltip, the day's sums per kind and the kind's colour swatch. Nothing is cached: names come
// from the record caches and colours from the settings file on every request.
class MBillText
{
    Q_DECLARE_TR_FUNCTIONS(MBillText)

public:
    // The date and the weekday's long name in the system's language.
    static QString dayText(const QDate& date);
    static QString cellText(const MBill* bill, int column);
    static QString toolTip(const MBill* bill);
    // The day's sum of each bill kind that is not zero, then the subtotal without transfers.
    static QString sumsText(MBill* group);
    static QIcon kindIcon(const QString& kind);
};
