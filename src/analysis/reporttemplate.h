#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// The chart and report pages, filled from their templates under :/rc/chart and :/rc/report by plain text
// replacement. User text (names) reaches a chart as an escaped script string and a report as escaped HTML.
class ReportTemplate
{
public:
    // The whole template as UTF-8 text; empty when it cannot be read.
    static QString read(const QString& path);

    // Amounts with two decimals and their sign; shares as fraction * 100 with two decimals and "%".
    static QString amount(double value);
    static QString percent(double fraction);

    // The text as the inside of a single-quoted script string: backslashes, quotes and line breaks escaped, and
    // "<" written as \x3C so that no name can close the script element.
    static QString scriptString(const QString& text);
    // One report row from plain cell texts, each escaped as HTML.
    static QStringList htmlRow(const QStringList& cells);

    // The pie page with one slice per (name, value); the title keeps its <b> tags.
    static QString pie(const QString& title, const QList<QPair<QString, double>>& slices);
    // The column page: x labels, and the absolute expense and income of each label.
    static QString column(const QString& title, const QStringList& labels, const QList<double>& expenses,
                          const QList<double>& incomes);
    // A report page: the title without its <b> tags, the summary items and the rows of HTML cells.
    static QString report(const QString& path, const QString& title, const QString& summary,
                          const QList<QStringList>& rows);
};
