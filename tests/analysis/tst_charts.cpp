#include "analysis/reporttemplate.h"
#include "webprobe.h"

#include <QApplication>
#include <QWebEngineView>
#include <QtTest>

using Slices = QList<QPair<QString, double>>;

// The chart script inside the real web engine, on pages filled the way the analysis pages fill them.
class TestCharts : public QObject
{
    Q_OBJECT

private:
    QWebEngineView* m_view = nullptr;

    QVariant js(const QString& script) { return WebProbe::eval(m_view, script); }

    void load(const QString& html)
    {
        m_view->setHtml(html, QUrl());
        QVERIFY(WebProbe::waitFor(m_view, "document.querySelector('svg.qb-chart .qb-legend') !== null"));
    }

private slots:
    void init()
    {
        m_view = new QWebEngineView;
        m_view->resize(900, 600);
        m_view->show();
    }

    void cleanup() { delete m_view; }

    void pie_data()
    {
        QTest::addColumn<Slices>("slices");
        QTest::addColumn<int>("drawn");
        QTest::addColumn<QStringList>("labels");
        QTest::newRow("expenses, one of them zero") << Slices{{"餐饮", -30}, {"交通", 0}, {"住房", -10}} << 2
                                                    << QStringList{"餐饮 -30元: 75 %", "住房 -10元: 25 %"};
        QTest::newRow("mixed signs share the signed sum")
            << Slices{{"甲", 150}, {"乙", -50}} << 2 << QStringList{"甲 150元: 150 %", "乙 -50元: -50 %"};
        QTest::newRow("all zero") << Slices{{"甲", 0}, {"乙", 0}} << 0 << QStringList{};
        QTest::newRow("no slices") << Slices{} << 0 << QStringList{};
        QTest::newRow("hostile name is text") << Slices{{"</script><b>x</b>'\"\\\n&amp;", -5}} << 1
                                              << QStringList{"</script><b>x</b>'\"\\\n&amp; -5元: 100 %"};
    }

    void pie()
    {
        QFETCH(Slices, slices);
        QFETCH(int, drawn);
        QFETCH(QStringList, labels);
        // Room enough for every label whole.
        m_view->resize(1200, 800);
        load(ReportTemplate::pie("<b>2014</b>年分类分析", slices));
        QCOMPARE(js("document.querySelectorAll('.qb-slice').length").toInt(), drawn);
        labels.sort();
        QCOMPARE(
            js("Array.from(document.querySelectorAll('.qb-data-label')).map(n => n.textContent).sort()").toStringList(),
            labels);
        // Every point keeps its legend item, zero slices included.
        QCOMPARE(js("document.querySelectorAll('.qb-legend-item').length").toInt(), slices.size());
        QCOMPARE(js("document.querySelectorAll('.qb-title tspan[font-weight=bold]').length").toInt(), 1);
        QCOMPARE(js("document.querySelectorAll('b, script:not([src])').length").toInt(), 1);
    }

    // Long names have the room the chart has: beside the pie, or with the pie below the legend when they are cut
    // beside it. The pie keeps at least two fifths of the chart's smaller side across, nothing overlaps the legend,
    // every text stays inside the chart, and once the room is used up the names are cut with "…" and a cut item
    // shows whole on hover.
    void longNamesHaveTheChartsRoom_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QString>("other"); // the name of a slice on the long name's other side
        QTest::addColumn<bool>("legendCut");
        QTest::addColumn<bool>("labelsCut");
        const QString longOther = "中国工商银行储蓄卡二号";
        // The web view of an analysis page in the main window at its smallest, at its first size and at full HD.
        QTest::newRow("900×600 window") << QSize(750, 396) << longOther << false << false;
        QTest::newRow("1024×700 window") << QSize(874, 496) << longOther << false << false;
        QTest::newRow("1920×1080 window") << QSize(1770, 876) << longOther << false << false;
        QTest::newRow("smaller than any window") << QSize(600, 300) << longOther << true << true;
        QTest::newRow("narrow and tall") << QSize(450, 600) << longOther << false << true;
        // Too low for the pie below the legend: the long name takes the room the short one leaves beside the pie.
        QTest::newRow("wide and low, one long name") << QSize(842, 200) << "零钱" << false << false;
    }
    void longNamesHaveTheChartsRoom()
    {
        QFETCH(QSize, size);
        QFETCH(QString, other);
        QFETCH(bool, legendCut);
        QFETCH(bool, labelsCut);
        const QString longName = "招商银行信用卡账户一号";
        m_view->resize(size);
        load(ReportTemplate::pie("账户<b>支出金额</b>分析", {{longName, -1200}, {"现金", -300}, {other, -500}}));
        const QVariantMap drawn =
            js("(() => { const rect = n => n.getBoundingClientRect();"
               " const chart = rect(document.querySelector('svg.qb-chart'));"
               " const legend = rect(document.querySelector('.qb-legend'));"
               " const slices = Array.from(document.querySelectorAll('.qb-slice'), rect);"
               " const labels = Array.from(document.querySelectorAll('.qb-data-label'), rect);"
               " const texts = Array.from(document.querySelectorAll('.qb-legend-item, .qb-data-label'), rect);"
               " const meets = r => r.left < legend.right && r.right > legend.left && r.top < legend.bottom"
               "                    && r.bottom > legend.top;"
               " return {chart: Math.min(chart.width, chart.height),"
               "  pie: Math.max(...slices.map(r => r.right)) - Math.min(...slices.map(r => r.left)),"
               "  outside: texts.filter(r => r.left < chart.left || r.right > chart.right).length,"
               "  overlapping: slices.concat(labels).filter(meets).length,"
               "  legend: Array.from(document.querySelectorAll('.qb-legend-item'), n => n.textContent),"
               "  labels: Array.from(document.querySelectorAll('.qb-data-label'), n => n.textContent)}; })()")
                .toMap();
        // Within a pixel, which the drawing of the slices' edges may round away.
        QVERIFY2(drawn.value("pie").toDouble() >= drawn.value("chart").toDouble() * 2 / 5 - 1,
                 qPrintable(QString("pie %1 across in %2")
                                .arg(drawn.value("pie").toDouble())
                                .arg(drawn.value("chart").toDouble())));
        QCOMPARE(drawn.value("outside").toInt(), 0);
        QCOMPARE(drawn.value("overlapping").toInt(), 0);
        const QStringList legend = drawn.value("legend").toStringList();
        QCOMPARE(legend.size(), 3);
        const QString whole = longName + " -1200元 : 60 %";
        QVERIFY2(legendCut ? legend.at(0).startsWith(longName.left(1)) && legend.at(0).endsWith("… -1200元 : 60 %")
                           : legend.at(0) == whole,
                 qPrintable(legend.at(0)));
        QCOMPARE(legend.at(1), QString("现金 -300元 : 15 %"));
        const QStringList labels = drawn.value("labels").toStringList().filter("-1200元");
        QCOMPARE(labels.size(), 1);
        QVERIFY2(labelsCut ? labels.at(0).endsWith("… -1200元: 60 %") : labels.at(0) == longName + " -1200元: 60 %",
                 qPrintable(labels.at(0)));
        if (!legendCut && !labelsCut)
            return;
        // The mouse over the first cut item shows it whole.
        const QString item = legendCut ? ".qb-legend-item text" : ".qb-data-label";
        QCOMPARE(js("(() => { const item = Array.from(document.querySelectorAll('" + item +
                    "')).find(n => n.textContent.includes('-1200元'));"
                    " const r = item.getBoundingClientRect();"
                    " item.dispatchEvent(new MouseEvent('mousemove', {clientX: r.left + 2, clientY: r.top + 2}));"
                    " return document.querySelector('.qb-tooltip').textContent; })()")
                     .toString(),
                 legendCut ? whole : longName + " -1200元: 60 %");
    }

    void columnsOfAYear()
    {
        QStringList labels;
        QList<double> expenses;
        QList<double> incomes;
        for (int m = 1; m <= 12; ++m) {
            labels << QString("%1").arg(m, 2, 10, QChar('0'));
            expenses << -100.0 * m;
            incomes << (m == 3 ? 500.0 : 0.0);
        }
        load(ReportTemplate::column("<b>2014</b>年账目汇总", labels, expenses, incomes));
        QCOMPARE(js("document.querySelectorAll('.qb-column').length").toInt(), 24);
        QCOMPARE(js("document.querySelectorAll('.qb-category')[0].textContent").toString(), "1");
        QCOMPARE(js("Array.from(document.querySelectorAll('.qb-legend-item')).map(n => n.textContent)").toStringList(),
                 (QStringList{"支出", "收入"}));
        // The tallest expense bar reaches higher than March's income bar.
        QVERIFY(js("(() => { const b = document.querySelectorAll('.qb-column');"
                   " return +b[11].getAttribute('height') > +b[14].getAttribute('height'); })()")
                    .toBool());
    }

    void followsTheWindowSize()
    {
        load(ReportTemplate::pie("t", {{"a", 1}}));
        m_view->resize(640, 420);
        QVERIFY(WebProbe::waitFor(m_view, "+document.querySelector('svg.qb-chart').getAttribute('width') === "
                                          "window.innerWidth - 20 && window.innerWidth === 640"));
        QCOMPARE(
            js("+document.querySelector('svg.qb-chart').getAttribute('height') === window.innerHeight - 20").toBool(),
            true);
    }
};

QUILLBAY_WEB_TEST_MAIN(TestCharts)
#include "tst_charts.moc"
