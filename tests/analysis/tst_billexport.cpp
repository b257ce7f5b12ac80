#include "analysis/exporthelper.h"
#include "analysis/printhelper.h"
#include "bookrows.h"
#include "recordtest.h"
#include "testbook.h"

#include <QApplication>
#include <QDir>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <tuple>

namespace {
MBillPtr bill(const QDate& date, const QString& kind, double amount, const QMap<QString, QString>& ids = {},
              const QString& title = QString(), const QString& description = QString())
{
    MBillPtr bill(new MBill);
    bill->setDate(date);
    bill->setKind(kind);
    bill->setAmount(amount);
    bill->setAccountId(ids.value("account"));
    bill->setToAccountId(ids.value("to_account"));
    bill->setCategoryId(ids.value("category"));
    bill->setSubCategoryId(ids.value("sub_category"));
    bill->setBorrowerId(ids.value("borrower"));
    bill->setMemberId(ids.value("member"));
    bill->setTitle(title);
    bill->setDescription(description);
    return bill;
}

// Names with markup characters, which must come out as the user typed them.
void addRecords()
{
    BookRows::exec("insert into tbl_account (id, name, kind, amount) values ('A', 'Cash <main>', 'cash', 0)");
    BookRows::exec("insert into tbl_account (id, name, kind, amount) values ('B', 'Card', 'card', 0)");
    BookRows::exec("insert into tbl_category (id, name, kind) values ('C', 'Food & drink', 'expense')");
    BookRows::exec("insert into tbl_sub_category (id, category_id, name, kind) values ('S', 'C', '<5kg', 'expense')");
    BookRows::exec("insert into tbl_borrower (id, name) values ('L', 'Lee')");
    BookRows::exec("insert into tbl_member (id, name) values ('M', 'R&D')");
}

const QString head = "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
                     "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">\n"
                     "<html xmlns=\"http://www.w3.org/1999/xhtml\">\n<head>\n"
                     "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\" />\n</head>\n<body>\n"
                     "<table border=\"1\">\n<tr>\n<td>日期</td>\n<td>类型</td>\n<td>金额</td>\n<td>支出</td>\n"
                     "<td>收入</td>\n<td>转账</td>\n<td>借出</td>\n<td>借入</td>\n<td>收款</td>\n<td>还款</td>\n"
                     "<td>账户</td>\n<td>大类别</td>\n<td>小类别</td>\n<td>转入账户</td>\n<td>借款人</td>\n"
                     "<td>成员</td>\n<td>标题</td>\n<td>说明</td>\n</tr>\n";
const QString tail = "</table>\n</body>\n</html>\n";

// One exported row from its 18 cell texts.
QString row(const QStringList& cells)
{
    QString text = "<tr>\n";
    for (const QString& cell : cells)
        text += "<td>" + cell + "</td>\n";
    return text + "</tr>\n";
}
} // namespace

class TestBillExport : public RecordTest
{
    Q_OBJECT

private slots:
    void init()
    {
        RecordTest::init();
        addRecords();
    }

    void exportFile_data()
    {
        QTest::addColumn<MBillList>("bills");
        QTest::addColumn<QString>("rows");
        QTest::newRow("no bills") << MBillList() << "";
        QTest::newRow("expense with markup in every text")
            << MBillList{bill(QDate(2014, 5, 7), "expense", -25,
                              {{"account", "A"}, {"category", "C"}, {"sub_category", "S"}, {"member", "M"}}, "<b>",
                              "R&D \"x\"")}
            << row({"2014-05-07", "支出", "-25.00", "-25.00", "", "", "", "", "", "", "Cash &lt;main&gt;",
                    "Food &amp; drink", "&lt;5kg", "", "", "R&amp;D", "&lt;b&gt;", "R&amp;D &quot;x&quot;"});
        QTest::newRow("transfer, a gone account, an unknown kind, no date")
            << MBillList{bill(QDate(2014, 5, 6), "transfer", -1234567.891, {{"account", "gone"}, {"to_account", "B"}}),
                         bill(QDate(), "gift", 0, {{"borrower", "L"}})}
            << row({"2014-05-06", "转账", "-1234567.89", "", "", "-1234567.89", "", "", "", "", "", "", "", "Card", "",
                    "", "", ""}) +
                   row({"", "", "0.00", "", "", "", "", "", "", "", "", "", "", "", "Lee", "", "", ""});
    }
    void exportFile()
    {
        QFETCH(MBillList, bills);
        QFETCH(QString, rows);
        QTemporaryDir dir;
        const QString path = dir.filePath("bills.xls");
        // A longer file is replaced completely.
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(100000, 'x'));
        old.close();

        QVERIFY(ExportHelper::exportBills(path, bills));
        QCOMPARE(QString::fromUtf8(TestBook::bytesOf(path)), head + rows + tail);
    }

    void fileName_data()
    {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("written");
        QTest::addColumn<bool>("ok");
        QTest::newRow("no suffix gets .xls") << "bills" << QString("bills.xls") << true;
        QTest::newRow("own suffix kept") << "bills.html" << QString("bills.html") << true;
        QTest::newRow("missing folder fails") << "missing/bills.xls" << QString("missing/bills.xls") << false;
        QTest::newRow("a folder of that name fails") << "taken.xls" << QString("taken.xls") << false;
    }
    void fileName()
    {
        QFETCH(QString, chosen);
        QFETCH(QString, written);
        QFETCH(bool, ok);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("taken.xls"));
        QCOMPARE(ExportHelper::exportBills(dir.filePath(chosen), {bill(QDate(2014, 5, 7), "income", 3)}), ok);
        QCOMPARE(QFileInfo(dir.filePath(written)).isFile(), ok);
        // A failed export leaves nothing behind, not even its temporary file.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), ok ? 1 : 0);
    }

    void printDocument()
    {
        const MBillList bills{
            bill(QDate(2014, 5, 7), "expense", -25, {{"account", "A"}, {"category", "C"}}, "", "<5kg & more"),
            bill(QDate(2014, 5, 7), "transfer", -10, {{"account", "B"}, {"to_account", "A"}}, "R&D"),
            bill(QDate(2014, 5, 6), "lend", -1, {}),
            bill(QDate(2014, 5, 7), "income", 1234.5, {{"sub_category", "S"}})};
        const QString cells = "<tr><td colspan=\"4\">2014-05-07</td></tr>"
                              "<tr><td>Food &amp; drink - 出错啦~~~</td><td>支出 -25.00</td><td>Cash &lt;main&gt;</td>"
                              "<td>&lt;5kg &amp; more</td></tr>"
                              "<tr><td>Cash &lt;main&gt;</td><td>转账 -10.00</td><td>Card</td><td>R&amp;D</td></tr>"
                              "<tr><td colspan=\"4\">2014-05-06</td></tr>"
                              "<tr><td>出错啦~~~</td><td>借出 -1.00</td><td>出错啦~~~</td><td></td></tr>"
                              "<tr><td colspan=\"4\">2014-05-07</td></tr>"
                              "<tr><td>出错啦~~~ - &lt;5kg</td><td>收入 1234.50</td><td>出错啦~~~</td><td></td></tr>";
        QCOMPARE(PrintHelper::toHtml(bills),
                 "<!doctype html><html><head><style type=\"text/css\">   body,td,th,table {  font-size: 10pt;} "
                 "</style></head><body><table width=\"100%\" border=\"1\" cellspacing=0 cellpadding=2  "
                 "style=\"border-color:#000\" ><tr style=\"background-color:#F5F5F5\"><td>用途</td><td>金额</td>"
                 "<td>账户</td><td>说明</td></tr>" +
                     cells + "</table></body></html>");
    }

    void printToPdf_data()
    {
        QTest::addColumn<int>("billCount");
        QTest::addColumn<int>("minPages");
        QTest::addColumn<int>("maxPages");
        QTest::newRow("no bills, one page") << 0 << 1 << 1;
        QTest::newRow("a few bills, one page") << 5 << 1 << 1;
        QTest::newRow("many bills run over pages") << 300 << 3 << 30;
    }
    void printToPdf()
    {
        QFETCH(int, billCount);
        QFETCH(int, minPages);
        QFETCH(int, maxPages);
        MBillList bills;
        for (int i = 0; i < billCount; ++i)
            bills << bill(QDate(2014, 5, 7).addDays(-i / 3), "expense", -i, {{"account", "A"}}, "R&D <x>");
        QTemporaryDir dir;
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(dir.filePath("bills.pdf"));
        PrintHelper::printBills(bills, &printer);
        const int pages = TestBook::bytesOf(dir.filePath("bills.pdf")).count("/Type /Page\n");
        QVERIFY2(pages >= minPages && pages <= maxPages, qPrintable(QString::number(pages)));
    }

    // The preview opens with no action of its tool bar folded into the » menu, the paper across most of its
    // width, inside the screen's free area.
    void previewOpensWholeAndFitted()
    {
        bool whole = false;
        double paperShare = 0;
        bool inside = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QPrintPreviewDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            const auto* preview = dialog->findChild<QPrintPreviewWidget*>();
            const double inches = dialog->printer()->pageLayout().fullRect(QPageLayout::Inch).width();
            const auto share = [&] {
                return inches * preview->logicalDpiX() * preview->zoomFactor() / preview->width();
            };
            // The pages are drawn at the preview's leisure once it shows.
            std::ignore = QTest::qWaitFor([&] { return share() > 0.8; }, 10000);
            const auto* fold = dialog->findChild<QToolButton*>("qt_toolbar_ext_button");
            whole = fold && !fold->isVisible();
            paperShare = share();
            inside = dialog->screen()->availableGeometry().contains(dialog->frameGeometry());
            dialog->reject();
        });
        PrintHelper().preview({bill(QDate(2014, 5, 7), "expense", -9876543.21, {{"account", "A"}})});
        QVERIFY(whole);
        QVERIFY2(paperShare > 0.8 && paperShare <= 1, qPrintable(QString::number(paperShare)));
        QVERIFY(inside);
    }
};

QTEST_MAIN(TestBillExport)
#include "tst_billexport.moc"
