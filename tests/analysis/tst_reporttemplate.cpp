#include "analysis/reporttemplate.h"

#include <QRegularExpression>
#include <QtTest>

class TestReportTemplate : public QObject
{
    Q_OBJECT

private slots:
    void reportsHoldThePlainTitleTwiceAndTheirSummaryList_data()
    {
        QTest::addColumn<QString>("path");
        for (const char* name : {"category", "account", "stat", "member", "borrower"})
            QTest::newRow(name) << QString(":/rc/report/%1.html").arg(name);
    }

    void reportsHoldThePlainTitleTwiceAndTheirSummaryList()
    {
        QFETCH(QString, path);
        const QString html = ReportTemplate::report(path, "<b>2014</b>年<b>5</b>月分析", QString(),
                                                    {ReportTemplate::htmlRow({"a<b", "1.00"})});
        QCOMPARE(html.count("2014年5月分析"), 2);
        QVERIFY(!html.contains("<b>"));
        QVERIFY(html.contains("<ul class=\"summary\"></ul>"));
        QVERIFY(html.contains("<tr><td>a&lt;b</td><td>1.00</td></tr>"));
        QVERIFY(!html.contains(QRegularExpression("#\\w+#")));
    }

    void scriptStrings_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("escaped");
        QTest::newRow("apostrophe") << "Kid's toys" << QString("Kid\\'s toys");
        QTest::newRow("backslash before quote") << "a\\'b" << QString("a\\\\\\'b");
        QTest::newRow("line breaks") << "a\r\nb" << QString("a\\r\\nb");
        QTest::newRow("script end") << "</script><script>x()" << QString("\\x3C/script>\\x3Cscript>x()");
        QTest::newRow("placeholder-like text stays") << "%2 #data#" << QString("%2 #data#");
    }

    void scriptStrings()
    {
        QFETCH(QString, name);
        QFETCH(QString, escaped);
        const QString html = ReportTemplate::pie("<b>t</b>", {{name, -12.5}, {"b", 0}});
        QVERIFY2(html.contains("['" + escaped + "',-12.50],['b',0.00]"), qPrintable(html));
        QVERIFY(html.contains("text: '\\x3Cb>t\\x3C/b>'"));
    }

    void columnOfAYearHasTwelveCategoriesAndTwoSeries()
    {
        QStringList labels;
        QList<double> expenses;
        QList<double> incomes;
        for (int m = 1; m <= 12; ++m) {
            labels << QString("%1").arg(m, 2, 10, QChar('0'));
            expenses << -m;
            incomes << m * 10;
        }
        const QString html = ReportTemplate::column("<b>2014</b>年账目汇总", labels, expenses, incomes);
        QVERIFY(html.contains("categories: [01,02,03,04,05,06,07,08,09,10,11,12]"));
        QVERIFY(html.contains("data: [1.00,2.00,3.00,4.00,5.00,6.00,7.00,8.00,9.00,10.00,11.00,12.00]"));
        QVERIFY(html.contains("data: [10.00,20.00,30.00,40.00,50.00,60.00,70.00,80.00,90.00,100.00,110.00,120.00]"));
    }
};

QTEST_GUILESS_MAIN(TestReportTemplate)
#include "tst_reporttemplate.moc"
