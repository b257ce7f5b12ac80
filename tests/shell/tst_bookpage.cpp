#include "shelltesting.h"

#include "bookkeeping/wbilllist.h"
#include "bookrows.h"
#include "data/dbhelper.h"
#include "data/filesetting.h"
#include "shell/ubook.h"
#include "testbook.h"
#include "widgets/stylesheet.h"

#include <QDialog>
#include <QPushButton>
#include <QStackedWidget>

namespace {
const QStringList pageNames{"AccountList",     "CategoryList", "BorrowerList", "BillList",       "CategoryAnalysis",
                            "AccountAnalysis", "BillStat",     "MemberList",   "MemberAnalysis", "BorrowerAnalysis"};

QString currentPage(UBook& book)
{
    return book.findChild<QStackedWidget*>("stackedWidget")->currentWidget()->objectName();
}

LightPage* page(UBook& book, const QString& name)
{
    return static_cast<LightPage*>(book.findChild<QWidget*>("pg" + name)->findChild<WBaseWidget*>());
}
} // namespace

class TestBookPage : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_home = new TestBook;
        m_home->open();
        // With the master data of a new book the bill dialog opens without asking for any.
        DBHelper::getInstance()->initDefaultData();
        BookRows::dropCaches();
    }
    void cleanup()
    {
        BookRows::dropCaches();
        delete m_home;
    }

    void stacksTenPagesInOrder()
    {
        LightPageFactory factory;
        Replaced<BookPageFactory> pages(&factory);
        UBook book;
        auto* stack = book.findChild<QStackedWidget*>("stackedWidget");
        QCOMPARE(stack->count(), pageNames.size());
        const QStringList inner{"wgtAccount",          "wgtCategoryList",    "wgtBorrowerList", "wgtBillList",
                                "wgtCategoryAnalysis", "wgtAccountAnalysis", "wgtBillStat",     "wgtMemberList",
                                "wgtMemberAnalysis",   "wgtBorrowerAnalysis"};
        for (int i = 0; i < stack->count(); ++i) {
            QCOMPARE(stack->widget(i)->objectName(), "pg" + pageNames[i]);
            QCOMPARE(stack->widget(i)->findChild<WBaseWidget*>()->objectName(), inner[i]);
        }
        QCOMPARE(currentPage(book), QString("pgBillList"));
        QCOMPARE(book.currentBaseWidget(), page(book, "BillList"));
    }

    void realPagesHaveTheirClasses()
    {
        const QStringList classes{"WAccountList",      "WCategoryList",    "WBorrowerList", "WBillList",
                                  "WCategoryAnalysis", "WAccountAnalysis", "WBillStat",     "WMemberList",
                                  "WMemberAnalysis",   "WBorrowerAnalysis"};
        QWidget container;
        for (int i = 0; i < pageNames.size(); ++i) {
            WBaseWidget* widget = BookPageFactory::current()->create(pageNames[i], &container);
            QCOMPARE(widget->metaObject()->className(), classes[i].toLatin1().constData());
            QCOMPARE(widget->parentWidget(), &container);
        }
    }

    void sideMenuShowsPagesByName()
    {
        LightPageFactory factory;
        Replaced<BookPageFactory> pages(&factory);
        UBook book;
        book.show();
        QVERIFY(QTest::qWaitForWindowExposed(&book));
        QCOMPARE(page(book, "BillList")->binds, 1);
        const QStringList buttons{"tbBillList",       "tbAccountList",      "tbCategoryList",    "tbBorrowerList",
                                  "tbMemberList",     "pbCategoryAnalysis", "pbAccountAnalysis", "pbBorrowerAnalysis",
                                  "pbMemberAnalysis", "pbBillStat"};
        for (const QString& name : buttons) {
            auto* button = book.findChild<QPushButton*>(name);
            button->click();
            QCOMPARE(currentPage(book), "pg" + name.mid(2));
            QVERIFY(button->isChecked());
        }
        // Every show of a page reloads it; a click on the page already shown does not.
        auto* accounts = book.findChild<QPushButton*>("tbAccountList");
        accounts->click();
        const int binds = page(book, "AccountList")->binds;
        QCOMPARE(binds, 2);
        accounts->click();
        QCOMPARE(page(book, "AccountList")->binds, binds);
        book.hide();
        book.show();
        QCOMPARE(page(book, "AccountList")->binds, binds + 1);
    }

    // The menu's white column runs down to the page's bottom edge, past the layout's margin under the menu.
    void menuColumnReachesTheBottom()
    {
        LightPageFactory factory;
        Replaced<BookPageFactory> pages(&factory);
        qApp->setStyleSheet(StyleSheet::load());
        UBook book;
        book.resize(700, 500);
        book.show();
        QVERIFY(QTest::qWaitForWindowExposed(&book));
        const QImage shot = book.grab().toImage();
        qApp->setStyleSheet(QString());
        auto* menu = book.findChild<QWidget*>("wgtMenuBar");
        QVERIFY(menu->geometry().bottom() < book.height() - 1);
        QCOMPARE(shot.pixelColor(menu->width() / 2, book.height() - 1), QColor(Qt::white));
    }

    void unknownPageChangesNothing()
    {
        LightPageFactory factory;
        Replaced<BookPageFactory> pages(&factory);
        UBook book;
        book.showPage("Nothing");
        QCOMPARE(currentPage(book), QString("pgBillList"));
        book.showPage("BillList");
        book.showPage("");
        QCOMPARE(currentPage(book), QString("pgBillList"));
    }

    void memberButtonsFollowTheSetting_data()
    {
        QTest::addColumn<bool>("members");
        QTest::newRow("on") << true;
        QTest::newRow("off") << false;
    }
    void memberButtonsFollowTheSetting()
    {
        QFETCH(bool, members);
        FileSetting::getInstance()->setValue("Common/EnableBillMember", members);
        LightPageFactory factory;
        Replaced<BookPageFactory> pages(&factory);
        UBook book;
        QCOMPARE(book.findChild<QPushButton*>("tbMemberList")->isHidden(), !members);
        QCOMPARE(book.findChild<QPushButton*>("pbMemberAnalysis")->isHidden(), !members);
        QVERIFY(book.findChild<QWidget*>("pgMemberList"));
    }

    void newBillRebindsTheCurrentPage_data()
    {
        QTest::addColumn<QString>("current");
        QTest::addColumn<bool>("accept");
        QTest::addColumn<int>("extraBinds");
        QTest::newRow("accepted on the account list") << "AccountList" << true << 1;
        QTest::newRow("cancelled on the account list") << "AccountList" << false << 0;
        QTest::newRow("accepted on an analysis") << "BillStat" << true << 1;
    }
    void newBillRebindsTheCurrentPage()
    {
        QFETCH(QString, current);
        QFETCH(bool, accept);
        QFETCH(int, extraBinds);
        LightPageFactory factory;
        Replaced<BookPageFactory> pages(&factory);
        UBook book;
        book.show();
        book.showPage(current);
        const int before = page(book, current)->binds;
        whenModalShows([accept](QWidget* dialog) {
            if (accept)
                static_cast<QDialog*>(dialog)->accept();
            else
                static_cast<QDialog*>(dialog)->reject();
        });
        book.findChild<QPushButton*>("tbNewBill")->click();
        QCOMPARE(page(book, current)->binds, before + extraBinds);
        QCOMPARE(currentPage(book), "pg" + current);
    }

    void newBillLeavesTheBillListToItsNotices()
    {
        LightPageFactory factory(true);
        Replaced<BookPageFactory> pages(&factory);
        UBook book;
        QVERIFY(qobject_cast<WBillList*>(book.currentBaseWidget()));
        bool accepted = false;
        whenModalShows([&accepted](QWidget* dialog) {
            accepted = true;
            static_cast<QDialog*>(dialog)->accept();
        });
        book.findChild<QPushButton*>("tbNewBill")->click();
        QVERIFY(accepted);
        QCOMPARE(currentPage(book), QString("pgBillList"));
    }

    void pageAsksTheBookPageForAnotherPage()
    {
        // A page reaches the book page three parents up.
        class AskingPage : public WBaseWidget
        {
        public:
            using WBaseWidget::WBaseWidget;
            void ask(const QString& name) { showPage(name); }
        };
        class AskingFactory : public BookPageFactory
        {
        public:
            WBaseWidget* create(const QString&, QWidget* container) override { return new AskingPage(container); }
        };
        AskingFactory factory;
        Replaced<BookPageFactory> pages(&factory);
        UBook book;
        static_cast<AskingPage*>(book.currentBaseWidget())->ask("MemberList");
        QCOMPARE(currentPage(book), QString("pgMemberList"));
    }

private:
    TestBook* m_home = nullptr;
};

QTEST_MAIN(TestBookPage)
#include "tst_bookpage.moc"
