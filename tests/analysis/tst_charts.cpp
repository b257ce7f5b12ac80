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
