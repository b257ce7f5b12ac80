#include "analysis/wanalysispage.h"

#include "analysis/reporthelper.h"
#include "analysis/reportoutput.h"
#include "analysis/reportview.h"
#include "analysis/reportviewloader.h"
#include "data/filesetting.h"
#include "data/logcategories.h"
#include "platform/fileprompt.h"
#include "widgets/dmessagebox.h"
#include "widgets/fittedcolumns.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDate>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QListView>
#include <QPrinter>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTextDocument>

WAnalysisPage::WAnalysisPage(QWidget* parent) : WBaseWidget(parent) {}

WAnalysisPage::~WAnalysisPage()
{
    // The view goes before the printer it may still be printing into.
    if (m_view)
        delete m_view->widget();
}

QString WAnalysisPage::html() const
{
    return m_html;
}

void WAnalysisPage::setUpFrame(const Frame& frame)
{
    m_frame = frame;
    for (QPushButton* button : {frame.pbTable, frame.pbChart, frame.pbReport})
        button->setProperty("style", "green");
    for (QPushButton* button : {frame.pbPrint, frame.pbExport}) {
        button->setProperty("style", "blue");
        button->hide();
    }
    for (QWidget* widget : frame.chartOnly)
        widget->hide();
    frame.cbYear->setView(new QListView(this));
    frame.cbMonth->setView(new QListView(this));
    m_viewMode = 0;
    frame.stackedWidget->setCurrentIndex(0);

    const bool allData =
        frame.offersAllYears && FileSetting::getInstance()->getValue("Common/AnalysisAllData", false).toBool();
    const QDate today = QDate::currentDate();
    m_year = allData ? 0 : today.year();
    m_month = allData ? 0 : today.month();

    frame.header->setMinimumSectionSize(50);
    m_columns = new FittedColumns(frame.table, frame.header, frame.widthKey);
    if (frame.cbKind) {
        connect(frame.cbKind, &QComboBox::currentIndexChanged, this, [this] {
            kindChosen();
            refresh();
        });
    }
}

ReportView* WAnalysisPage::view()
{
    if (m_view || m_viewMissing)
        return m_view;
    m_view = ReportViewLoader::create(m_frame.webPage);
    if (!m_view) {
        showViewMissing();
        return nullptr;
    }
    m_view->whenBroken([this] { viewBroke(); });
    m_frame.webPage->layout()->addWidget(m_view->widget());
    return m_view;
}

void WAnalysisPage::showViewMissing()
{
    m_viewMissing = true;
    // Where the chart would stay blank, the user learns why and what still works.
    auto* missing = new QLabel(tr("此处无法显示图形和报表：显示它们的组件没有载入。\n"
                                  "表格照常可用，报表仍可打印和导出。"),
                               m_frame.webPage);
    missing->setObjectName("lblViewMissing");
    missing->setAlignment(Qt::AlignCenter);
    missing->setWordWrap(true);
    m_frame.webPage->layout()->addWidget(missing);
}

void WAnalysisPage::viewBroke()
{
    qCCritical(lcAnalysis) << "the browser view's render process ended: charts and reports are no longer shown";
    // The view is still telling of its end; it goes once it has told.
    QWidget* broken = m_view->widget();
    broken->deleteLater();
    m_view = nullptr;
    m_loaded = false;
    showViewMissing();
    if (m_printer) {
        // A print under way may write into its printer until the view is gone.
        QPrinter* printer = m_printer.release();
        connect(broken, &QObject::destroyed, [printer] { delete printer; });
        m_printWaits = false;
        printFinished(false);
    }
}

void WAnalysisPage::setUpTable(QTableWidget* table, const QStringList& headers, Frame& frame)
{
    table->setColumnCount(int(headers.size()));
    table->setHorizontalHeaderLabels(headers);
    // Row numbers say nothing in a table of sums, and their room is a figure's at the window's default size.
    table->verticalHeader()->hide();
    frame.table = table;
    frame.header = table->horizontalHeader();
}

QString WAnalysisPage::trPage(const char* text) const
{
    return QCoreApplication::translate(metaObject()->className(), text);
}

QString WAnalysisPage::summary(double expense, double income, double balance) const
{
    return trPage("<li>支出小计：%1</li>").arg(QString::number(expense, 'f', 2)) +
           trPage("<li>收入小计：%1</li>").arg(QString::number(income, 'f', 2)) +
           trPage("<li>结余小计：%1</li>").arg(QString::number(balance, 'f', 2));
}

void WAnalysisPage::bind()
{
    QComboBox* years = m_frame.cbYear;
    QComboBox* months = m_frame.cbMonth;
    {
        const QSignalBlocker blockYears(years);
        const QSignalBlocker blockMonths(months);
        years->clear();
        months->clear();
        ReportHelper helper;
        if (m_frame.offersAllYears)
            years->addItem(trPage("全部"), 0);
        for (int year : helper.getYearList())
            years->addItem(QString::number(year), year);
        years->setCurrentIndex(years->findData(m_year));
        months->addItem(trPage("全年"), 0);
        for (int month : helper.getMonthList())
            months->addItem(QString::number(month), month);
        months->setCurrentIndex(months->findData(m_month));
    }
    refresh();
}

void WAnalysisPage::on_cbYear_currentIndexChanged(int index)
{
    m_year = m_frame.cbYear->itemData(index).toInt();
    if (m_year == 0) {
        m_month = 0;
        const QSignalBlocker block(m_frame.cbMonth);
        m_frame.cbMonth->setCurrentIndex(0);
    }
    m_frame.cbMonth->setEnabled(m_year != 0);
    refresh();
}

void WAnalysisPage::on_cbMonth_currentIndexChanged(int index)
{
    m_month = m_frame.cbMonth->itemData(index).toInt();
    refresh();
}

void WAnalysisPage::on_pbTable_clicked()
{
    setViewMode(0);
}

void WAnalysisPage::on_pbChart_clicked()
{
    setViewMode(1);
}

void WAnalysisPage::on_pbReport_clicked()
{
    setViewMode(2);
}

void WAnalysisPage::setViewMode(int mode)
{
    m_viewMode = mode;
    refresh();
    m_frame.stackedWidget->setCurrentIndex(mode == 0 ? 0 : 1);
    m_frame.pbPrint->setVisible(mode == 2);
    m_frame.pbExport->setVisible(mode == 2);
    for (QWidget* widget : std::as_const(m_frame.chartOnly))
        widget->setVisible(mode == 1);
    for (QWidget* widget : std::as_const(m_frame.tableOnly))
        widget->setVisible(mode == 0);
}

QString WAnalysisPage::chartKind() const
{
    return m_frame.cbKind ? m_frame.cbKind->currentText() : QString();
}

void WAnalysisPage::refresh()
{
    if (auto* table = qobject_cast<QTableWidget*>(m_frame.table)) {
        table->clearContents();
        table->setRowCount(0);
    }
    const QString title = loadPeriod(m_viewMode == 1 ? chartKind() : QString());
    if (m_viewMode == 0) {
        showTable();
        m_columns->fit();
    } else {
        setPage(m_viewMode == 1 ? chartHtml(title) : reportHtml(title));
    }
}

QString WAnalysisPage::loadPeriod(const QString& kind)
{
    const Titles texts = titles();
    if (m_year == 0) {
        load("all", 0);
        return texts.all.arg(kind);
    }
    const QString year = QString::number(m_year);
    if (m_month < 1) {
        load("year", m_year);
        return texts.namesKind ? texts.year.arg(year, kind) : texts.year.arg(year);
    }
    load("month", m_year * 100 + m_month);
    const QString month = QString::number(m_month);
    return texts.namesKind ? texts.month.arg(year, month, kind) : texts.month.arg(year, month);
}

void WAnalysisPage::showTable()
{
    auto* table = qobject_cast<QTableWidget*>(m_frame.table);
    const QList<QStringList> rows = tableRows();
    table->setRowCount(int(rows.size()));
    for (int r = 0; r < rows.size(); ++r) {
        for (int c = 0; c < rows.at(r).size(); ++c) {
            auto* item = new QTableWidgetItem(rows.at(r).at(c));
            if (c >= m_frame.firstCentredColumn)
                item->setTextAlignment(Qt::AlignCenter);
            table->setItem(r, c, item);
        }
    }
}

QList<QStringList> WAnalysisPage::tableRows() const
{
    return {};
}

void WAnalysisPage::setPage(const QString& html)
{
    m_html = html;
    m_loaded = false;
    if (ReportView* shown = view())
        shown->setPage(html, [this](bool ok) { pageLoaded(ok); });
}

void WAnalysisPage::pageLoaded(bool ok)
{
    m_loaded = ok;
    if (!m_printWaits)
        return;
    m_printWaits = false;
    if (ok)
        startPrint();
    else
        printFinished(false);
}

void WAnalysisPage::startPrint()
{
    m_view->printPage(m_printer.get(), [this](bool printed) { printFinished(printed); });
}

QString WAnalysisPage::report()
{
    return m_viewMode == 2 ? m_html : reportHtml(loadPeriod(QString()));
}

void WAnalysisPage::on_pbPrint_clicked()
{
    // The web view prints in the background into the printer it was given: one print at a time.
    if (m_printer)
        return;
    auto printer = std::make_unique<QPrinter>(QPrinter::ScreenResolution);
    if (!ReportOutput::current()->setUpPrinter(this, printer.get()))
        return;
    const QString html = report();
    if (!m_view || html != m_html)
        setPage(html);
    if (!m_view) {
        // Without the browser view the rich-text engine lays the report out.
        QTextDocument document;
        document.setHtml(html);
        document.print(printer.get());
        return;
    }
    m_printer = std::move(printer);
    if (m_loaded)
        startPrint();
    else
        m_printWaits = true;
}

void WAnalysisPage::printFinished(bool printed)
{
    m_printer.reset();
    if (!printed)
        DMessageBox::error(this, trPage("报表打印失败"));
}

void WAnalysisPage::on_pbExport_clicked()
{
    const QString html = report();
    const QString name = FilePrompt::current()->saveFileName(this, trPage("保存报表"), trPage("报表文件 (*.html)"));
    if (name.isEmpty())
        return;
    QString error;
    if (!ReportOutput::save(name, html.toUtf8(), &error))
        DMessageBox::error(this, trPage("报表没有保存到 %1：%2").arg(name, error));
}
