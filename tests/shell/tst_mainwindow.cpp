#include "shelltesting.h"

#include "analysis/reportview.h"
#include "analysis/reportviewloader.h"
#include "bookdump.h"
#include "bookkeeping/dbill.h"
#include "bookrows.h"
#include "data/filesetting.h"
#include "data/mbill.h"
#include "loopbackhttpserver.h"
#include "messageboxrecorder.h"
#include "messagerecorder.h"
#include "online/synchelper.h"
#include "platform/systemtray.h"
#include "shell/mainwindow.h"
#include "syncrun.h"
#include "testbook.h"
#include "widgets/programrestart.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QLoggingCategory>
#include <QOpenGLContext>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTextEdit>
#include <QTreeView>

#include <memory>

namespace {
class FixedTray : public SystemTray
{
public:
    explicit FixedTray(bool available) : m_available(available) {}
    bool isAvailable() const override { return m_available; }

private:
    bool m_available;
};

int backupCount()
{
    return QDir(FileSetting::getInstance()->getBackupDir()).entryList(QDir::Files).size();
}

int hintCount()
{
    return FileSetting::getInstance()->getValue("Common/SystemTrayIconHintCount", 0).toInt();
}

// The main window shown at its default size, with the real bill list among light pages.
struct DefaultSizedWindow
{
    DefaultSizedWindow()
    {
        window.setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX); // the test screen is smaller than the window
        window.resize(1024, 700);
        window.show();
    }
    LightPageFactory bills{true};
    Replaced<BookPageFactory> pages{&bills};
    MainWindow window;
};
} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_home = new TestBook;
        BookPageFactory::setCurrent(&m_pages);
        // Only the backups at close are counted.
        FileSetting::getInstance()->setValue("Backup/BackupWhenStartup", false);
        FileSetting::getInstance()->setValue("Common/EnableAutoUpdate", false);
    }
    void cleanup()
    {
        SystemTray::setCurrent(nullptr);
        BookPageFactory::setCurrent(nullptr);
        delete m_home;
    }

    void firstStartCreatesTheBook()
    {
        MessageBoxRecorder boxes;
        MainWindow window;
        const QString path = m_home->dataDir() + "Quillbay.db";
        QVERIFY(QFile::exists(path));
        QVERIFY(QFile(path).permissions() & QFileDevice::WriteOwner);
        QVERIFY(QSqlDatabase::database().isOpen());
        QCOMPARE(QSqlDatabase::database().databaseName(), path);
        QSqlQuery query("select version from tbl_setting");
        QVERIFY(query.next());
        QCOMPARE(query.value(0).toInt(), 44);
        QSqlQuery accounts("select count(*) from tbl_account");
        QVERIFY(accounts.next());
        QVERIFY(accounts.value(0).toInt() > 0);
        QVERIFY(boxes.boxes().isEmpty());
        FileSetting::getInstance()->sync();
        QSettings ini(m_home->dataDir() + "Quillbay.ini", QSettings::IniFormat);
        QCOMPARE(ini.value("Common/LastBook").toString(), QString("Quillbay.db"));
        QCOMPARE(window.windowTitle(), QString("Quillbay云记账 2.2"));
        QVERIFY(window.windowFlags() & Qt::FramelessWindowHint);
    }

    void bookThatCannotBeCreatedIsNotOpened()
    {
        Constants::getInstance()->setBookName("no-such-folder/Book.db");
        MessageBoxRecorder boxes;
        MainWindow window;
        QCOMPARE(boxes.boxes().size(), 1);
        QCOMPARE(boxes.boxes().first().first, QString("数据文件错误"));
        QCOMPARE(boxes.boxes().first().second, QString("打开数据文件出现错误。"));
        QVERIFY(!QSqlDatabase::database().isOpen());
        QVERIFY(QDir(m_home->dataDir()).entryList({"*.db"}, QDir::Files).isEmpty());
        QVERIFY(!QFile::exists(m_home->dataDir() + "no-such-folder"));
    }

    // A zero-length file becomes a new book; a file outside the data folder, or one that is no book, is left
    // untouched.
    void onlyABookIsUpgradedOrFilled_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("empty book file") << "Quillbay.db" << QByteArray();
        QTest::newRow("last book outside the data folder") << "../outside.db" << QByteArray();
        QTest::newRow("no book") << "Notes.db" << QByteArray("这不是账本");
    }
    void onlyABookIsUpgradedOrFilled()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFile file(m_home->dataDir() + name);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
        file.close();
        FileSetting::getInstance()->setValue("Common/LastBook", name);
        MessageBoxRecorder boxes;
        MainWindow window;

        const bool opened = content.isEmpty();
        QCOMPARE(boxes.boxes().size(), opened ? 0 : 1);
        if (name != "Quillbay.db")
            QCOMPARE(TestBook::bytesOf(file.fileName()), content);
        QSqlQuery query("select version, (select count(*) from tbl_account) from tbl_setting");
        QCOMPARE(query.next(), opened);
        QVERIFY(!opened || (query.value(0).toInt() == 44 && query.value(1).toInt() > 0));
    }

    // A book made before the program indexed its bills gets the indexes when it is opened, and nothing else of
    // it changes: not a row, not the schema version an older program checks before it opens a book.
    void openingAddsTheMissingIndexes_data()
    {
        QTest::addColumn<int>("dropped");
        QTest::newRow("made before the indexes") << 6;
        QTest::newRow("with some of them") << 2;
        QTest::newRow("with all of them") << 0;
    }
    void openingAddsTheMissingIndexes()
    {
        QFETCH(int, dropped);
        m_home->open();
        BookRows::exec("update tbl_setting set version=44");
        BookRows::exec("insert into tbl_account (id, name, kind, amount, sort) values ('a', '现金', 'cash', 1.5, 1)");
        BookRows::addBill("expense", -12.5, {{"account_id", "a"}, {"category_id", "c"}, {"title", "午饭"}});
        BookRows::addBillOn("2014-06-01", "transfer", -3, {{"account_id", "a"}, {"to_account_id", "b"}});
        BookRows::exec("delete from tbl_bill where kind='transfer'");
        for (const QString& index : BookRows::billIndexes().mid(0, dropped))
            BookRows::exec("drop index " + index);
        const QString before = BookDump::of(BookDump::tables(true));
        m_home->close();

        MainWindow window;
        QCOMPARE(BookRows::billIndexes().size(), 6);
        QCOMPARE(BookDump::of(BookDump::tables(true)), before);
        QCOMPARE(BookRows::value("pragma integrity_check").toString(), QString("ok"));
    }

    void closing_data()
    {
        QTest::addColumn<bool>("trayAvailable");
        QTest::addColumn<bool>("trayOption");
        QTest::addColumn<bool>("backupOption");
        QTest::addColumn<bool>("hides");
        QTest::addColumn<int>("backups");
        QTest::newRow("no tray") << false << false << true << false << 1;
        QTest::newRow("no tray, option on") << false << true << true << false << 1;
        QTest::newRow("tray, option off") << true << false << true << false << 1;
        QTest::newRow("tray, option on") << true << true << true << true << 0;
        QTest::newRow("no backup at close") << false << false << false << false << 0;
    }
    void closing()
    {
        QFETCH(bool, trayAvailable);
        QFETCH(bool, trayOption);
        QFETCH(bool, backupOption);
        QFETCH(bool, hides);
        QFETCH(int, backups);
        FixedTray tray(trayAvailable);
        SystemTray::setCurrent(&tray);
        FileSetting::getInstance()->setValue("Common/EnableSystemTrayIcon", trayOption);
        FileSetting::getInstance()->setValue("Backup/BackupWhenClose", backupOption);
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.close(), !hides);
        QVERIFY(!window.isVisible());
        QCOMPARE(backupCount(), backups);
        QCOMPARE(hintCount(), hides ? 1 : 0);
    }

    void trayHintStopsAfterThree()
    {
        FixedTray tray(true);
        SystemTray::setCurrent(&tray);
        FileSetting::getInstance()->setValue("Common/EnableSystemTrayIcon", true);
        MainWindow window;
        for (int i = 1; i <= 5; ++i) {
            window.show();
            QVERIFY(!window.close());
            QCOMPARE(hintCount(), qMin(i, 3));
        }
        QCOMPARE(backupCount(), 0);
    }

    void syncAtStartAndClose_data()
    {
        QTest::addColumn<bool>("account");
        QTest::addColumn<bool>("atStart");
        QTest::addColumn<bool>("atClose");
        QTest::newRow("both") << true << true << true;
        QTest::newRow("at start only") << true << true << false;
        QTest::newRow("at close only") << true << false << true;
        QTest::newRow("no account stored") << false << true << true;
    }
    void syncAtStartAndClose()
    {
        QFETCH(bool, account);
        QFETCH(bool, atStart);
        QFETCH(bool, atClose);
        if (account) {
            m_home->open();
            DbSetting::getInstance()->setSyncUsername("user");
            DbSetting::getInstance()->setSyncPassword("pw");
            QVERIFY(DbSetting::getInstance()->save());
            m_home->close();
        }
        FileSetting::getInstance()->setValue("Sync/SyncWhenStartup", atStart);
        FileSetting::getInstance()->setValue("Sync/SyncWhenClose", atClose);
        QSignalSpy syncs(SyncHelper::getInstance(), &SyncHelper::syncStarted);
        // The status bar and the sync dialog report a failed sync in boxes of their own.
        MessageBoxRecorder boxes;
        MainWindow window;
        const int atStartCount = account && atStart ? 1 : 0;
        QCOMPARE(syncs.count(), atStartCount);
        window.show();
        QVERIFY(window.close());
        QCOMPARE(syncs.count(), atStartCount + (account && atClose ? 1 : 0));
    }

    void exitSkipsTheCloseWork_data()
    {
        QTest::addColumn<bool>("trayAvailable");
        QTest::newRow("with tray") << true;
        QTest::newRow("without tray") << false;
    }
    void exitSkipsTheCloseWork()
    {
        QFETCH(bool, trayAvailable);
        FixedTray tray(trayAvailable);
        SystemTray::setCurrent(&tray);
        FileSetting::getInstance()->setValue("Common/EnableSystemTrayIcon", true);
        MainWindow window;
        window.show();
        QCOMPARE(runUntilExit([&window] { window.exit(); }), 0);
        QCOMPARE(backupCount(), 0);
        QCOMPARE(hintCount(), 0);
    }

    void headerDrivesTheContent()
    {
        MainWindow window;
        auto* sync = window.findChild<QWidget*>("wgtToolBar")->findChild<QAbstractButton*>("tbSync");
        sync->click();
        QCOMPARE(window.findChild<QWidget*>("pgSync")->isVisibleTo(&window), true);
        QCOMPARE(window.findChild<QWidget*>("pgBook")->isVisibleTo(&window), false);
    }

    void pageIsReloadedWhenTheWindowShowsAgain()
    {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto* bills = static_cast<LightPage*>(window.findChild<QWidget*>("wgtBillList"));
        QCOMPARE(bills->binds, 1);
        window.hide();
        window.show();
        QCOMPARE(bills->binds, 2);
    }

    void maximisedFillsTheAvailableArea_data()
    {
        QTest::addColumn<QString>("toggle");
        QTest::newRow("maximise button") << "maxButton";
        QTest::newRow("title bar double-click") << "wgtTitleBar";
    }
    // Maximise, restore, maximise, restore: the state follows every step and the window comes back to exactly
    // where it was.
    // At the window's default size a busy day's date row has room for every sum of the day up to its subtotal.
    void busyDayShowsItsSubtotal()
    {
        DefaultSizedWindow atDefaultSize;
        MainWindow& window = atDefaultSize.window;
        for (const char* kind : {"expense", "income", "transfer", "lend", "borrow", "refund", "repay"})
            BookRows::addBill(kind, -1234.56);
        MBill::dataChanged();
        auto* list = window.findChild<QTreeView*>("tvBillList");
        const QModelIndex day = list->model()->index(0, 0);
        QFont bold = list->font();
        bold.setBold(true);
        const QString row = day.data().toString() + "    " + day.siblingAtColumn(4).data().toString();
        QVERIFY(list->isFirstColumnSpanned(0, QModelIndex()));
        QVERIFY(list->visualRect(day).width() > QFontMetrics(bold).horizontalAdvance(row) + 40);
    }

    // At the window's default size a long account name shows whole in its column, beside a member or not, as long
    // as the titles leave the room; it is cut only once their texts take it, never below the column's own width,
    // which stays the one stored.
    void longAccountNameShowsWhereThereIsRoom_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("titleLength");
        QTest::addColumn<bool>("whole");
        QTest::newRow("expense of a member") << "expense" << 0 << true;
        QTest::newRow("transfer") << "transfer" << 0 << true;
        QTest::newRow("short title") << "expense" << 12 << true;
        QTest::newRow("title filling the row") << "expense" << 60 << false;
    }
    void longAccountNameShowsWhereThereIsRoom()
    {
        QFETCH(QString, kind);
        QFETCH(int, titleLength);
        QFETCH(bool, whole);
        DefaultSizedWindow atDefaultSize;
        QVERIFY(QTest::qWaitForWindowExposed(&atDefaultSize.window));
        const QString name = "招商银行信用卡账户一号";
        BookRows::exec("insert into tbl_account (id, name, kind, amount, sort) values ('long', ?, 'credit', 0, 9)",
                       {name});
        BookRows::dropCaches();
        BookRows::addBill(kind, -35.5,
                          {{"account_id", "long"}, {"member_id", "01"}, {"title", QString(titleLength, u'账')}});
        MBill::dataChanged();
        auto* list = atDefaultSize.window.findChild<QTreeView*>("tvBillList");
        const QModelIndex account = list->model()->index(0, 2, list->model()->index(0, 0));
        QCOMPARE(account.data().toString(), name);
        const auto shown = [&] { return list->visualRect(account).width() >= list->sizeHintForIndex(account).width(); };
        QTRY_COMPARE(shown(), whole);
        QVERIFY(list->visualRect(account).width() >= 100);
        QCOMPARE(FileSetting::getInstance()->getColumnWidths("BillList").value(2), 100);
    }

    // Start, a bill saved in its dialog and a sync print nothing under the default rules; with every category
    // on they talk, but never of the password, the account name or what the book or the answer holds.
    void diagnosticsKeepTheBookToThemselves_data()
    {
        QTest::addColumn<QString>("rules");
        QTest::newRow("default rules") << QString();
        QTest::newRow("every category on") << "quillbay.*=true";
    }
    void diagnosticsKeepTheBookToThemselves()
    {
        QFETCH(QString, rules);
        QLoggingCategory::setFilterRules(rules);
        QStringList messages;
        QString result;
        {
            const MessageRecorder recorder;
            MessageBoxRecorder boxes;
            MainWindow window;
            window.show();
            DbSetting::getInstance()->setUserId("12345");
            DbSetting::getInstance()->setSyncUsername("household@example.org");
            DbSetting::getInstance()->setSyncPassword("pw+secret");
            DBill dialog(nullptr);
            dialog.findChild<QDoubleSpinBox*>("dsbAmount")->setValue(4321.09);
            dialog.findChild<QTextEdit*>("teDescription")->setPlainText("秘密晚饭");
            dialog.findChild<QPushButton*>("pbOk")->click();
            QStringList entries;
            for (const char* table : {"bill", "account", "borrower", "category", "sub_category", "member"})
                entries << QString(R"({"table_name":"%1","update_columns":[],"update_data":[],"delete_data":[],)"
                                   R"("note":"秘密账户"})")
                               .arg(table);
            LoopbackHttpServer server(LoopbackHttpServer::reply("200 OK", ("[" + entries.join(',') + "]").toUtf8()));
            qputenv("QUILLBAY_SERVICE_URL", server.baseUrl().toUtf8());
            result = SyncRun::toEnd(10000);
            qunsetenv("QUILLBAY_SERVICE_URL");
            messages = recorder.lines();
        }
        QLoggingCategory::setFilterRules(QString());

        QCOMPARE(result, QString("finished"));
        QCOMPARE(messages.isEmpty(), rules.isEmpty());
        for (const char* secret : {"pw+secret", "household@example.org", "秘密晚饭", "4321.09", "秘密账户"})
            QVERIFY2(!messages.join('\n').contains(QString(secret)), secret);
    }

    void maximisedFillsTheAvailableArea()
    {
        QFETCH(QString, toggle);
        MainWindow window;
        // The test screen is smaller than the window's own minimum.
        window.setMinimumSize(400, 300);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.setGeometry(120, 90, 700, 500);
        QTRY_COMPARE(window.geometry(), QRect(120, 90, 700, 500));
        const QRect normal = window.geometry();
        const QRect area = window.screen()->availableGeometry();
        QWidget* target = window.findChild<QWidget*>(toggle);
        for (int round = 0; round < 2; ++round) {
            for (const bool maximised : {true, false}) {
                if (toggle == "maxButton")
                    QTest::mouseClick(target, Qt::LeftButton);
                else
                    QTest::mouseDClick(target, Qt::LeftButton, Qt::NoModifier, QPoint(target->width() / 2, 5));
                QTRY_COMPARE(window.isMaximized(), maximised);
                QTRY_COMPARE(window.geometry(), maximised ? area : normal);
                QCOMPARE(window.maximumSize(), area.size().expandedTo(window.minimumSize()));
            }
        }
    }

    void keepsItsPlaceThroughTheFirstChartAndBookSwitches_data()
    {
        QTest::addColumn<QRect>("normal"); // empty: the screen's whole available area
        QTest::addColumn<bool>("maximised");
        QTest::newRow("moved and sized") << QRect(37, 41, 1000, 640) << false;
        QTest::newRow("maximised") << QRect(37, 41, 1000, 640) << true;
        QTest::newRow("filling the screen from its top") << QRect() << false;
    }
    // The first chart or report has Qt make the window's native window anew, and every book switch starts a new
    // copy: the window's frame stays where the user left it, at its size, maximised if it was, with the status bar
    // on the screen, and a maximised window still restores to where it was before.
    void keepsItsPlaceThroughTheFirstChartAndBookSwitches()
    {
        if (QGuiApplication::platformName() == "offscreen")
            QSKIP("only a window manager places windows");
        QFETCH(QRect, normal);
        QFETCH(bool, maximised);
        makeBook("b.db");
        RecordingLauncher launcher;
        Replaced<ProgramLauncher> launching(&launcher);
        auto window = std::make_unique<MainWindow>();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        const QRect area = window->screen()->availableGeometry();
        if (normal.isEmpty())
            normal = area;
        // Empty while the window's frame stands in place with the status bar on the screen, else where it stands.
        const auto misplaced = [&](bool asMaximised) {
            const QWidget* bar = window->findChild<QWidget*>("wgtStatusBar");
            const auto inPlace = [&] {
                return window->isMaximized() == asMaximised && window->frameGeometry() == (asMaximised ? area : normal);
            };
            if (QTest::qWaitForWindowExposed(window.get()) && QTest::qWaitFor(inPlace) &&
                area.contains(QRect(bar->mapToGlobal(QPoint()), bar->size())))
                return QString();
            const QRect frame = window->frameGeometry();
            return QString("%1x%2 at %3,%4").arg(frame.width()).arg(frame.height()).arg(frame.x()).arg(frame.y());
        };
        window->setGeometry(normal);
        QTRY_COMPARE(window->frameGeometry(), normal);
        // As if the user had dragged it through the window manager: the program learns of that from the move.
        window->setAttribute(Qt::WA_Moved, false);
        if (maximised)
            window->showMaximized();
        QCOMPARE(misplaced(maximised), QString());
        const WId native = window->winId();
        ReportView* view = ReportViewLoader::create(window->centralWidget());
        QVERIFY(view);
        if (!QOpenGLContext::globalShareContext()->isValid())
            QSKIP("drawn in software, the browser view leaves the native window as it is");
        view->widget()->show();
        QTRY_VERIFY_WITH_TIMEOUT(window->winId() != native, 30000);
        // A normal place lost here would show when the last copy is restored.
        QCOMPARE(misplaced(maximised), QString());
        for (int switches = 1; switches <= 3; ++switches) {
            window->findChild<QComboBox*>("cbBookList")->setCurrentIndex(1);
            QCOMPARE(launcher.starts, QList<QStringList>(switches, {"book", "b.db"}));
            window.reset();
            // The new copy, started with the environment it was given.
            const QProcessEnvironment environment = launcher.environments.last();
            for (const QString& name : environment.keys())
                qputenv(qPrintable(name), environment.value(name).toLocal8Bit());
            window = std::make_unique<MainWindow>();
            window->show();
            QCOMPARE(misplaced(maximised), QString());
        }
        window->showNormal();
        QCOMPARE(misplaced(false), QString());
    }

private:
    TestBook* m_home = nullptr;
    LightPageFactory m_pages;
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
