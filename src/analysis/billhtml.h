#pragma once

#include <QString>

class MBill;

// The texts of a bill that the printed list and the export file put into HTML.
class BillHtml
{
public:
    // User text made safe for HTML: "<5kg" and "R&D" come out as typed.
    static QString escaped(const QString& text);
    // The label of the bill's kind, empty for a kind the program does not know.
    static QString kindLabel(const MBill& bill);
    // The stored amount with its sign and two decimals.
    static QString amount(const MBill& bill);
};
