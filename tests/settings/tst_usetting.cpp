#include "../shell/shelltesting.h"
#include "bookrows.h"
#include "messageboxrecorder.h"
#include "settings/qcolorbutton.h"
#include "settings/usetting.h"
#include "shell/ucontent.h"
#include "testbook.h"
#include "widgets/stylesheet.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTabWidget>

namespace {
template <typename T> T* child(QWidget& page, const QString& name)
{
    T* widget = page.findChild<T*>(name);
    if (!widget)
        qFatal("no widget %s", qPrintable(name));
    return widget;
}

QVariant stored(const QString& key)
{
    return FileSetting::getInstance()->getValue(key, "(unset)");
}

// Types `text` into the next input dialog and accepts it.
void answerNameWith(const QString& text)
{
    whenModalShows([text](QWidget* dialog) {
        auto* input = qobject_cast<QInputDialog*>(dialog);
        input->setTextValue(text);
        input->accept();
    });
}

QStringList listed(QWidget& page)
{
    QStringList names;
    auto* list = child<QListWidget>(page, "lwBookList");
    for (int i = 0; i < list->count(); ++i)
        names << list->item(i)->text();
    return names;
}

// Each caption of a dialog as it is drawn: text, pixel size, weight and colour.
QStringList captionLooks(QWidget* dialog)
{
    QStringList looks;
    for (QWidget* widget : dialog->findChildren<QWidget*>()) {
        auto* label = qobject_cast<QLabel*>(widget);
        auto* button = qobject_cast<QAbstractButton*>(widget);
        const QString text = label ? label->text() : button ? button->text() : QString();
        if (widget->isVisible() && !text.isEmpty())
            looks << QString("%1 %2px %3 %4")
                         .arg(text)
                         .arg(QFontInfo(widget->font()).pixelSize())
                         .arg(widget->font().bold() ? "bold" : "plain",
                              widget->palette().color(widget->foregroundRole()).name());
    }
    return looks;
}

void select(QWidget& page, const QString& book)
{
    auto* list = child<QListWidget>(page, "lwBookList");
    list->setCurrentItem(list->findItems(book, Qt::MatchExactly).value(0));
}
} // namespace

class TestUSetting : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_home = new TestBook;
        m_home->open();
    }
    void cleanup()
    {
        delete m_home;
        m_home = nullptr;
    }

    void buildingShowsDefaultsAndWritesNothing()
    {
        FileSetting::getInstance()->sync();
        const QByteArray before = TestBook::bytesOf(m_home->dataDir() + "Quillbay.ini");
        USetting page;
        QCOMPARE(child<QTabWidget>(page, "tabWidget")->currentIndex(), 0);
        FileSetting::getInstance()->sync();
        QCOMPARE(TestBook::bytesOf(m_home->dataDir() + "Quillbay.ini"), before);
    }

    void optionShownAndStoredOnClick_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("defaultValue");
        // clang-format off
        QTest::newRow("bill title") << "cbEnableBillTitle" << "Common/EnableBillTitle" << false;
        QTest::newRow("bill member") << "cbEnableBillMember" << "Common/EnableBillMember" << true;
        QTest::newRow("all data") << "cbAnalysisAllData" << "Common/AnalysisAllData" << false;
        QTest::newRow("tray") << "cbEnableSystemTrayIcon" << "Common/EnableSystemTrayIcon" << false;
        QTest::newRow("update") << "cbEnableAutoUpdate" << "Common/EnableAutoUpdate" << true;
        QTest::newRow("proxy") << "cbEnableHttpProxy" << "Proxy/EnableHttpProxy" << false;
        // clang-format on
    }
    void optionShownAndStoredOnClick()
    {
        QFETCH(QString, box);
        QFETCH(QString, key);
        QFETCH(bool, defaultValue);
        FileSetting::getInstance()->setValue("Common/SystemTrayIconHintCount", 2);
        for (bool shown : {defaultValue, !defaultValue}) {
            USetting page;
            auto* check = child<QCheckBox>(page, box);
            QCOMPARE(check->isChecked(), shown);
            check->click();
            QCOMPARE(stored(key), QVariant(!shown));
            if (box == "cbEnableHttpProxy")
                QCOMPARE(child<QLineEdit>(page, "leProxyPassword")->isEnabled(), !shown);
        }
        QCOMPARE(stored("Common/SystemTrayIconHintCount").toInt(), box == "cbEnableSystemTrayIcon" ? 0 : 2);
    }

    void colourShownAndStoredOnClick_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QColor>("defaultColor");
        // clang-format off
        QTest::newRow("expense") << "cbExpenseColor" << "Color/ExpenseColor" << QColor(Qt::red);
        QTest::newRow("income") << "cbIncomeColor" << "Color/IncomeColor" << QColor(Qt::green);
        QTest::newRow("transfer") << "cbTransferColor" << "Color/TransferColor" << QColor(Qt::yellow);
        QTest::newRow("lend") << "cbLendColor" << "Color/LendColor" << QColor(Qt::gray);
        QTest::newRow("borrow") << "cbBorrowColor" << "Color/BorrowColor" << QColor(Qt::lightGray);
        QTest::newRow("refund") << "cbRefundColor" << "Color/RefundColor" << QColor(Qt::gray);
        QTest::newRow("repay") << "cbRepayColor" << "Color/RepayColor" << QColor(Qt::lightGray);
        // clang-format on
    }
    void colourShownAndStoredOnClick()
    {
        QFETCH(QString, button);
        QFETCH(QString, key);
        QFETCH(QColor, defaultColor);
        const QColor chosen(0x12, 0x34, 0x56);
        {
            USetting page;
            QCOMPARE(child<QColorButton>(page, button)->color(), defaultColor);
            whenModalShows([chosen](QWidget* dialog) {
                qobject_cast<QColorDialog*>(dialog)->setCurrentColor(chosen);
                qobject_cast<QColorDialog*>(dialog)->accept();
            });
            child<QColorButton>(page, button)->click();
        }
        FileSetting::getInstance()->sync();
        FileSetting::resetInstance();
        QCOMPARE(stored(key).typeId(), QMetaType::QColor);
        USetting again;
        QCOMPARE(child<QColorButton>(again, button)->color(), chosen);
    }

    // A colour button's dialog is the button's child, deep inside the settings page and the content area: it
    // keeps the captions of a colour dialog that no page holds, not the page's headings and buttons.
    void colourDialogKeepsItsOwnLook()
    {
        qApp->setStyleSheet(StyleSheet::load());
        const auto plain = qScopeGuard([] { qApp->setStyleSheet(QString()); });
        QStringList alone;
        {
            QColorDialog dialog;
            dialog.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dialog));
            alone = captionLooks(&dialog);
        }
        QVERIFY(alone.size() > 10);
        LightPageFactory pages;
        Replaced<BookPageFactory> factory(&pages);
        UContent content;
        content.showPage("Setting");
        content.show();
        QVERIFY(QTest::qWaitForWindowExposed(&content));
        QStringList opened;
        whenModalShows([&opened](QWidget* dialog) {
            opened = captionLooks(dialog);
            qobject_cast<QDialog*>(dialog)->reject();
        });
        child<QColorButton>(content, "cbExpenseColor")->click();
        QCOMPARE(opened, alone);
    }

    void pageSize_data()
    {
        QTest::addColumn<QString>("storedSize");
        QTest::addColumn<int>("shownIndex");
        QTest::addColumn<int>("chosenIndex");
        QTest::addColumn<QString>("written");
        // clang-format off
        QTest::newRow("automatic") << "0" << 0 << 3 << "40";
        QTest::newRow("first 200") << "200" << 7 << 0 << "0";
        QTest::newRow("500") << "500" << 9 << 8 << "200";
        QTest::newRow("not listed") << "25" << 0 << 1 << "20";
        // clang-format on
    }
    void pageSize()
    {
        QFETCH(QString, storedSize);
        QFETCH(int, shownIndex);
        QFETCH(int, chosenIndex);
        QFETCH(QString, written);
        FileSetting::getInstance()->setPageSize(storedSize);
        USetting page;
        auto* combo = child<QComboBox>(page, "cbPageSize");
        QCOMPARE(combo->currentIndex(), shownIndex);
        combo->setCurrentIndex(chosenIndex);
        QCOMPARE(stored("BillList/PageSize").toString(), written);
    }

    // The box's title tells which way it went; the stored password is read back from the book.
    void password_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<bool>("writable");
        QTest::addColumn<QString>("kept");
        QTest::addColumn<QString>("title");
        // clang-format off
        QTest::newRow("set") << "pbOK" << "s3cret!" << "s3cret!" << true << "s3cret!" << "设置密码成功";
        QTest::newRow("both empty") << "pbOK" << "" << "" << true << "" << "设置密码成功";
        QTest::newRow("differ") << "pbOK" << "abc" << "abd" << true << "old" << "错误";
        QTest::newRow("not ascii") << "pbOK" << "密码" << "密码" << true << "old" << "错误";
        QTest::newRow("not stored") << "pbOK" << "new" << "new" << false << "old" << "错误";
        QTest::newRow("cleared") << "pbClear" << "abc" << "abd" << true << "" << "清除密码成功";
        // clang-format on
    }
    void password()
    {
        QFETCH(QString, button);
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(bool, writable);
        QFETCH(QString, kept);
        QFETCH(QString, title);
        DbSetting::getInstance()->setPassword("old");
        QVERIFY(DbSetting::getInstance()->save());
        MessageBoxRecorder boxes;
        USetting page;
        QCOMPARE(child<QLineEdit>(page, "lePassword_2")->text(), QString("old"));
        child<QLineEdit>(page, "lePassword")->setText(first);
        child<QLineEdit>(page, "lePassword_2")->setText(second);
        if (!writable)
            BookRows::refuseWrites("tbl_setting");
        child<QPushButton>(page, button)->click();
        QCOMPARE(boxes.boxes().value(0).first, title);
        QCOMPARE(DbSetting::getInstance()->getPassword(), kept);
        DbSetting::resetInstance();
        QCOMPARE(DbSetting::getInstance()->getPassword(), kept);
    }

    // Books typed by name: a good name makes a filled book the list shows first, a hostile one makes nothing.
    void createBook_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("title");
        // clang-format off
        QTest::newRow("good") << "家庭" << "新建成功";
        QTest::newRow("taken") << "Quillbay" << "";
        QTest::newRow("parent folder") << "../家庭" << "新建失败";
        // clang-format on
    }
    void createBook()
    {
        QFETCH(QString, name);
        QFETCH(QString, title);
        makeBook("older.db", QString(), 100);
        QFile open(m_home->dataDir() + "Quillbay.db");
        QVERIFY(open.open(QIODevice::ReadWrite));
        QVERIFY(open.setFileTime(QDateTime::currentDateTime().addSecs(-50), QFileDevice::FileModificationTime));
        MessageBoxRecorder boxes;
        USetting page;
        const QStringList before = listed(page);
        const QByteArray content = TestBook::bytesOf(m_home->dataDir() + "Quillbay.db");
        answerNameWith(name);
        child<QPushButton>(page, "pbCreateBook")->click();
        QCOMPARE(boxes.boxes().value(0).first, title);
        QCOMPARE(listed(page), title == "新建成功" ? QStringList{name} + before : before);
        QCOMPARE(QDir(m_home->dataDir() + "..").entryList(QDir::Files), QStringList());
        QCOMPARE(TestBook::bytesOf(m_home->dataDir() + "Quillbay.db"), content);
    }

    void renameAndDeleteBook_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("book");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("after");
        const QStringList both{"Quillbay", "other"};
        // clang-format off
        QTest::newRow("rename") << "pbRenameBook" << "other" << "新名字" << "修改成功" << QStringList{"Quillbay", "新名字"};
        QTest::newRow("rename onto a book") << "pbRenameBook" << "other" << "Quillbay" << "修改失败" << both;
        QTest::newRow("rename to the same name") << "pbRenameBook" << "other" << "other" << "修改失败" << both;
        QTest::newRow("rename out of the folder") << "pbRenameBook" << "other" << "../x" << "修改失败" << both;
        QTest::newRow("rename the open book") << "pbRenameBook" << "Quillbay" << "x" << "修改失败" << both;
        QTest::newRow("rename, none selected") << "pbRenameBook" << "" << "x" << "" << both;
        QTest::newRow("delete") << "pbDeleteBook" << "other" << "" << "确定删除?" << QStringList{"Quillbay"};
        QTest::newRow("delete the open book") << "pbDeleteBook" << "Quillbay" << "" << "删除失败" << both;
        QTest::newRow("delete, none selected") << "pbDeleteBook" << "" << "" << "" << both;
        // clang-format on
    }
    void renameAndDeleteBook()
    {
        QFETCH(QString, button);
        QFETCH(QString, book);
        QFETCH(QString, typed);
        QFETCH(QString, title);
        QFETCH(QStringList, after);
        makeBook("other.db", QString(), 100);
        MessageBoxRecorder boxes;
        USetting page;
        select(page, book);
        if (button == "pbRenameBook" && !title.isEmpty() && book != "Quillbay")
            answerNameWith(typed);
        child<QPushButton>(page, button)->click();
        QCOMPARE(boxes.boxes().value(0).first, title);
        QStringList files = QDir(m_home->dataDir(), "*.db").entryList().replaceInStrings(".db", "");
        files.sort();
        after.sort();
        QCOMPARE(files, after);
        QCOMPARE(QDir(m_home->dataDir() + "..").entryList(QDir::Files), QStringList());
    }

private:
    TestBook* m_home = nullptr;
};

QTEST_MAIN(TestUSetting)
#include "tst_usetting.moc"
