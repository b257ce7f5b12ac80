#include "analysis/reporttemplate.h"

#include "analysis/reporthelper.h"

#include <QFile>
#include <cmath>

QString ReportTemplate::read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QString ReportTemplate::amount(double value)
{
    return QString::number(value, 'f', 2);
}

QString ReportTemplate::percent(double fraction)
{
    return QString::number(fraction * 100, 'f', 2) + "%";
}

QString ReportTemplate::scriptString(const QString& text)
{
    QString out;
    out.reserve(text.size() + 8);
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '\\':
            out += "\\\\";
            break;
        case '\'':
            out += "\\'";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '<':
            out += "\\x3C";
            break;
        case 0x2028:
            out += "\\u2028";
            break;
        case 0x2029:
            out += "\\u2029";
            break;
        default:
            out += c;
        }
    }
    return out;
}

QStringList ReportTemplate::htmlRow(const QStringList& cells)
{
    QStringList row;
    for (const QString& cell : cells)
        row << cell.toHtmlEscaped();
    return row;
}

QString ReportTemplate::pie(const QString& title, const QList<QPair<QString, double>>& slices)
{
    QStringList items;
    for (const auto& slice : slices)
        items << QString("['%1',%2]").arg(scriptString(slice.first), amount(slice.second));
    QString html = read(":/rc/chart/pie.html");
    html.replace("#title#", scriptString(title));
    return html.replace("#data#", items.join(','));
}

QString ReportTemplate::column(const QString& title, const QStringList& labels, const QList<double>& expenses,
                               const QList<double>& incomes)
{
    const auto joined = [](const QList<double>& values) {
        QStringList texts;
        for (double value : values)
            texts << amount(std::fabs(value));
        return texts.join(',');
    };
    QString html = read(":/rc/chart/column.html");
    html.replace("#title#", scriptString(title));
    html.replace("#x#", labels.join(','));
    html.replace("#yExpenses#", joined(expenses));
    return html.replace("#yIncomes#", joined(incomes));
}

QString ReportTemplate::report(const QString& path, const QString& title, const QString& summary,
                               const QList<QStringList>& rows)
{
    QString plainTitle = title;
    plainTitle.remove("<b>").remove("</b>");
    QString html = read(path);
    html.replace("#summary#", summary);
    html.replace("#title#", plainTitle.toHtmlEscaped());
    return html.replace("#data#", ReportHelper::toHtmlRows(rows));
}
