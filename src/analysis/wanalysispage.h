#pragma once

#include "widgets/wbasewidget.h"

#include <QList>
#include <QString>
#include <memory>

class QAbstractItemView;
class QComboBox;
class QHeaderView;
class QPrinter;
class QPushButton;
class QStackedWidget;
class QTableWidget;
class FittedColumns;
class ReportView;

// The frame every analysis page shares: the period combos, the table, chart and report views, titles, printing,
// export and the remembered column widths. A page supplies its query, columns, texts and width key.
class WAnalysisPage : public WBaseWidget
{
    Q_OBJECT

public:
    ~WAnalysisPage() override;

    // The chart or report page last set into the web view, as it was set.
    QString html() const;

public slots:
    void bind() override;

protected:
    // The form's widgets the frame drives, and how the page differs.
    struct Frame
    {
        QPushButton* pbTable = nullptr;
        QPushButton* pbChart = nullptr;
        QPushButton* pbReport = nullptr;
        QPushButton* pbPrint = nullptr;
        QPushButton* pbExport = nullptr;
        QComboBox* cbYear = nullptr;
        QComboBox* cbMonth = nullptr;
        QComboBox* cbKind = nullptr;
        QStackedWidget* stackedWidget = nullptr;
        QAbstractItemView* table = nullptr;
        QHeaderView* header = nullptr;
        // The stacked page that holds the web view once there is one.
        QWidget* webPage = nullptr;
        QList<QWidget*> chartOnly;
        QList<QWidget*> tableOnly;
        QString widthKey;
        // The statistics page always analyses a year or a month, from today's on.
        bool offersAllYears = true;
        int firstCentredColumn = 1;
    };
    // Title texts for all bills, a year and a month, with %1.. for year, month and the kind text; a page whose
    // titles name no kind has places for the year and the month only.
    struct Titles
    {
        QString all;
        QString year;
        QString month;
        bool namesKind = true;
    };

    explicit WAnalysisPage(QWidget* parent);
    // The widgets every analysis form has under the same names.
    template <typename Form> static Frame frameOf(Form* ui)
    {
        Frame frame;
        frame.pbTable = ui->pbTable;
        frame.pbChart = ui->pbChart;
        frame.pbReport = ui->pbReport;
        frame.pbPrint = ui->pbPrint;
        frame.pbExport = ui->pbExport;
        frame.cbYear = ui->cbYear;
        frame.cbMonth = ui->cbMonth;
        frame.stackedWidget = ui->stackedWidget;
        frame.webPage = ui->stackedWidget->widget(1);
        return frame;
    }
    // The same for a form with a kind combo shown in chart mode only and a table of these columns.
    template <typename Form> static Frame kindFrameOf(Form* ui, const QStringList& headers)
    {
        Frame frame = frameOf(ui);
        frame.cbKind = ui->cbKind;
        frame.chartOnly = {ui->lblKind, ui->cbKind};
        setUpTable(ui->tableWidget, headers, frame);
        return frame;
    }
    static void setUpTable(QTableWidget* table, const QStringList& headers, Frame& frame);
    // Called by the page's constructor once its form is set up, its header labels and kind combo filled.
    void setUpFrame(const Frame& frame);

    void refresh();
    // Runs the page's query for the period chosen and returns the title, with the kind where the title names one.
    QString loadPeriod(const QString& kind);
    // The text translated in the context of the page's own class.
    QString trPage(const char* text) const;
    // The report's three summary items.
    QString summary(double expense, double income, double balance) const;

    virtual Titles titles() const = 0;
    // The kind named in the chart title; the current text of the kind combo unless the page says otherwise.
    virtual QString chartKind() const;
    // Runs the page's query for "all", "year" or "month" and keeps the records.
    virtual void load(const QString& period, int value) = 0;
    // Fills the table; by default from tableRows(), centred from the frame's first centred column on.
    virtual void showTable();
    virtual QList<QStringList> tableRows() const;
    virtual QString chartHtml(const QString& title) const = 0;
    virtual QString reportHtml(const QString& title) const = 0;
    // Another kind was chosen; the page refreshes right after.
    virtual void kindChosen() {}

protected slots:
    void on_cbYear_currentIndexChanged(int index);
    void on_cbMonth_currentIndexChanged(int index);
    void on_pbTable_clicked();
    void on_pbChart_clicked();
    void on_pbReport_clicked();
    void on_pbPrint_clicked();
    void on_pbExport_clicked();

private:
    void setViewMode(int mode);
    void setPage(const QString& html);
    // The browser view is made when a chart or a report is first shown or printed, not with the page; null, with
    // a word to the user in its place, when there is none to be had.
    ReportView* view();
    void showViewMissing();
    // The view's render process died: the page goes on as without a view.
    void viewBroke();
    void pageLoaded(bool ok);
    void startPrint();
    // The report of the period chosen: the one shown, or else one made afresh, so that a page whose report was
    // never shown still prints and exports it.
    QString report();
    void printFinished(bool printed);

    Frame m_frame;
    FittedColumns* m_columns = nullptr;
    int m_year = 0;
    int m_month = 0;
    int m_viewMode = 0;
    QString m_html;
    ReportView* m_view = nullptr;
    bool m_viewMissing = false;
    // Whether the view has loaded m_html.
    bool m_loaded = false;
    // The printer of the print asked for, kept until the view reports the end; the print starts once the report
    // is loaded.
    std::unique_ptr<QPrinter> m_printer;
    bool m_printWaits = false;
};
