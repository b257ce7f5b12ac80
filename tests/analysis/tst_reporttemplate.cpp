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
};

QTEST_GUILESS_MAIN(TestReportTemplate)
#include "tst_reporttemplate.moc"
