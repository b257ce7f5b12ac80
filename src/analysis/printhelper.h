#pragma once

#include "data/mbill.h"

#include <QObject>
#include <QString>

class QPrinter;

// Prints or previews a list of bills as one table with a row per bill and a date row above each run of bills
// of one day, laid out by the rich-text engine.
class PrintHelper : public QObject
{
    Q_OBJECT

public:
    explicit PrintHelper(QObject* parent = nullptr);

    // Runs the print preview window over the bills until the user closes it.
    void preview(const MBillList& bills);
    // Runs the print dialog and, when the user accepts it, prints the bills on the chosen printer.
    void print(const MBillList& bills);

    static QString toHtml(const MBillList& bills);
    // Lays the bills out onto the printer's pages.
    static void printBills(const MBillList& bills, QPrinter* printer);

    static QString getPurpose(const MBill& bill);
    static QString getAccountName(const MBill& bill);
    static QString getRemark(const MBill& bill);

private slots:
    void printPreview(QPrinter* printer);

private:
    // The bills of the open preview, drawn anew at every repaint.
    MBillList bills;
};
