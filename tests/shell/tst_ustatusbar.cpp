#include "bookrows.h"
#include "messageboxrecorder.h"
#include "recordtest.h"
#include "shelltesting.h"

#include "data/notifier.h"
#include "online/synchelper.h"
#include "settings/uskin.h"
#include "shell/mainwindow.h"
#include "shell/ustatusbar.h"
#include "shell/usummarylabel.h"
#include "widgets/skintone.h"
#include "widgets/stylesheet.h"

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <memory>

namespace {
QString text(const UStatusBar& bar, const char* label)
{
    return bar.findChild<QLabel*>(label)->text();
}

// Bills of the kinds and amounts given as "kind amount" pairs; bills of this month when `thisMonth` is set.
void addBills(const QStringList& bills, bool thisMonth = false)
{
    for (const QString& bill : bills) {
        const QStringList parts = bill.split(' ');
        const QString id = BookRows::addBill(parts.at(0), parts.at(1).toDouble());
        if (thisMonth)
            BookRows::exec("update tbl_bill set month=? where id=?",
                           {QDate::currentDate().year() * 100 + QDate::currentDate().month(), id});
    }
}

// This month's bills with a seven-digit income: the longest summary a new user is likely to meet.
void addLongMonth()
{
    addBills({"expense -385.80", "income 1234567.89", "borrow 200", "lend -1150"}, true);
}

// The main window at its default size, built as the program builds it: on the stored skin's sheet, set before.
std::unique_ptr<MainWindow> defaultSizedWindow()
{
    qApp->setStyleSheet(StyleSheet::load());
    LightPageFactory pages;
    Replaced<BookPageFactory> factory(&pages);
    auto window = std::make_unique<MainWindow>();
    window->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX); // the test screen is smaller than the window
    window->resize(1024, 700);
    window->show();
    return window;
}

enum class SyncEnd
{
    Finished,
    Failed
};

// What the status bar hears of syncs that end so, one after the other; the texts it shows are laid out at once.
void runSyncs(const QList<SyncEnd>& ends)
{
    SyncHelper* engine = SyncHelper::getInstance();
    for (SyncEnd end : ends) {
        emit engine->syncStarted();
        if (end == SyncEnd::Finished)
            emit engine->syncFinished();
        else
            emit engine->syncError(3, "服务器忙");
    }
    QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
}

// The status bar as the window paints it.
QImage paintedBar(QWidget* window)
{
    const QWidget* bar = window->findChild<QWidget*>("wgtStatusBar");
    return window->grab(QRect(bar->mapTo(window, QPoint(0, 0)), bar->size())).toImage();
}

// How far the text of a label of the bar stands out as painted: the label's commonest colour is the ground, and
// the pixel that differs most from the ground is the text.
double paintedContrast(const QImage& bar, const QWidget* label)
{
    const QRect area = label->geometry();
    QHash<QRgb, int> counts;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            ++counts[bar.pixel(x, y)];
    QRgb ground = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.value() > counts.value(ground))
            ground = it.key();
    double best = 1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        best = qMax(best, SkinTone::contrast(QColor(ground), QColor(it.key())));
    return best;
}
} // namespace

Q_DECLARE_METATYPE(SyncEnd)

class TestUStatusBar : public RecordTest
{
    Q_OBJECT

private slots:
    void summary_data()
    {
        QTest::addColumn<QStringList>("bills");
        QTest::addColumn<QString>("summary");
        QTest::newRow("no bills") << QStringList() << "支出:0.00 收入:0.00 变化:0.00";
        QTest::newRow("transfers only") << QStringList{"transfer -50", "transfer -20.5"}
                                        << "支出:0.00 收入:0.00 变化:0.00";
        QTest::newRow("loans shown as a pair")
            << QStringList{"expense -300", "income 1000", "borrow 500", "repay -300", "lend -100", "refund 50"}
            << "支出:-300.00 收入:1000.00 净借入:200.00 净借出:-50.00 变化:+850.00";
        QTest::newRow("borrowing cancelled, lending not")
            << QStringList{"borrow 100", "repay -100", "lend -10"}
            << "支出:0.00 收入:0.00 净借入:0.00 净借出:-10.00 变化:-10.00";
        QTest::newRow("every loan settled")
            << QStringList{"borrow 100", "repay -100", "lend -10", "refund 10"} << "支出:0.00 收入:0.00 变化:0.00";
        QTest::newRow("negative change") << QStringList{"expense -10"} << "支出:-10.00 收入:0.00 变化:-10.00";
        // Sums of float amounts leave residue below a cent, which must neither show a loan pair nor a sign.
        QTest::newRow("residue of an even month")
            << QStringList{"income 0.1", "income 0.2", "expense -0.3"} << "支出:-0.30 收入:0.30 变化:0.00";
        QTest::newRow("residue of settled loans")
            << QStringList{"borrow 0.1", "borrow 0.2", "repay -0.3"} << "支出:0.00 收入:0.00 变化:0.00";
        QTest::newRow("rounding to cents")
            << QStringList{"expense -0.004", "income 0.006"} << "支出:0.00 收入:0.01 变化:+0.01";
    }
    void summary()
    {
        QFETCH(QStringList, bills);
        QFETCH(QString, summary);
        addBills(bills, true);
        UStatusBar bar;
        QCOMPARE(text(bar, "lblTotalSummary"), "总计  " + summary);
        QCOMPARE(text(bar, "lblMonthSummary"), "本月  " + summary);
    }

    void totalFollowsTheListCondition()
    {
        addBills({"expense -5", "income 7"});
        addBills({"expense -1"}, true);
        UStatusBar bar;
        QCOMPARE(text(bar, "lblTotalSummary"), QString("总计  支出:-6.00 收入:7.00 变化:+1.00"));
        QCOMPARE(text(bar, "lblMonthSummary"), QString("本月  支出:-1.00 收入:0.00 变化:-1.00"));
        emit Notifier::getInstance()->listConditionChanged(" 1=1  and  kind='income' ");
        QCOMPARE(text(bar, "lblTotalSummary"), QString("总计  支出:0.00 收入:7.00 变化:+7.00"));
        // A bill change recomputes with the condition last reported.
        addBills({"income 3"});
        Notifier::getInstance()->emitBillDataChanged();
        QCOMPARE(text(bar, "lblTotalSummary"), QString("总计  支出:0.00 收入:10.00 变化:+10.00"));
        emit Notifier::getInstance()->listConditionChanged(" 1=1  and  no_such_column=1 ");
        QCOMPARE(text(bar, "lblTotalSummary"), QString("总计  支出:0.00 收入:0.00 变化:0.00"));
    }

    void syncStates()
    {
        QCOMPARE(text(UStatusBar(), "lblSyncTime"), QString("  尚未同步过 "));
        // Written after the settings row was first read, as the sync at start does.
        DbSetting::getInstance();
        BookRows::exec("update tbl_setting set sync_time='2014-05-17 08:09:10'");
        MessageBoxRecorder boxes;
        UStatusBar bar;
        const QDateTime stored(QDate(2014, 5, 17), QTime(8, 9, 10), Qt::UTC);
        QCOMPARE(text(bar, "lblSyncTime"), "  上次同步 " + stored.toLocalTime().toString("yyyy-MM-dd hh:mm:ss"));
        auto* link = bar.findChild<QLabel*>("lblSync");
        QVERIFY(link->text().contains(">立即同步<"));

        SyncHelper* engine = SyncHelper::getInstance();
        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
        emit engine->syncStarted();
        QCOMPARE(text(bar, "lblSyncTime"), QString("  正在同步，请稍候...... "));
        QVERIFY(link->text().contains(">同步中<"));
        QVERIFY(!link->isEnabled());
        emit engine->syncFinished();
        const QDateTime shown = QDateTime::fromString(text(bar, "lblSyncTime").mid(7), "yyyy-MM-dd hh:mm:ss");
        QVERIFY2(shown >= before && shown <= QDateTime::currentDateTime(), qPrintable(text(bar, "lblSyncTime")));
        QVERIFY(link->isEnabled());
        QVERIFY(boxes.boxes().isEmpty());

        emit engine->syncStarted();
        emit engine->syncError(3, "服务器忙");
        QCOMPARE(text(bar, "lblSyncTime"), QString("  上次同步失败"));
        QVERIFY(link->isEnabled() && link->text().contains(">立即同步<"));
        QCOMPARE(boxes.boxes(), (QVector<QPair<QString, QString>>{{"错误", "服务器忙"}}));
    }

    // In a window of the default size, the widest figures of both summaries and the time of the last sync show
    // whole: whatever gives way, no digit and no sign is cut. Each summary carries its whole text as its tooltip.
    void widestFiguresShowWhole()
    {
        addBills({"expense -9999999.99", "income 9999999.99", "borrow 9999999.99", "lend -8888888.88"}, true);
        DbSetting::getInstance();
        BookRows::exec("update tbl_setting set sync_time='2026-12-07 12:34:56'");
        const auto plain = qScopeGuard([] { qApp->setStyleSheet(QString()); });
        const auto window = defaultSizedWindow();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QCOMPARE(window->width(), 1024);
        auto* sync = window->findChild<QLabel*>("lblSyncTime");
        QVERIFY2(sync->text().contains("2026-12-0") &&
                     sync->fontMetrics().horizontalAdvance(sync->text()) <= sync->contentsRect().width(),
                 qPrintable(sync->text()));
        const QList<USummaryLabel*> summaries = window->findChildren<USummaryLabel*>();
        QCOMPARE(summaries.size(), 2);
        int right = sync->geometry().right();
        for (USummaryLabel* summary : summaries) {
            const QString shown = summary->shownText();
            QVERIFY2(QFontMetrics(summary->shownFont()).horizontalAdvance(shown) <= summary->contentsRect().width(),
                     qPrintable(shown));
            QVERIFY(summary->x() > right && summary->parentWidget()->rect().contains(summary->geometry()));
            right = summary->geometry().right();
            QCOMPARE(summary->toolTip().mid(4),
                     "支出:-9999999.99 收入:9999999.99 净借入:9999999.99 净借出:-8888888.88 变化:+1111111.11");
            for (const char* figure : {"-9999999.99", "-8888888.88", "+1111111.11"})
                QVERIFY2(shown.contains(figure), qPrintable(shown));
            QCOMPARE(shown.count("9999999.99"), 3);
        }
    }

    // At the window's default size the summaries keep the words before their figures whatever the sync state
    // shows: the bar's free width goes to them, and the sync state takes no more than its text.
    void summariesKeepTheirWords_data()
    {
        QTest::addColumn<QList<SyncEnd>>("syncs");
        QTest::newRow("before a sync") << QList<SyncEnd>{};
        QTest::newRow("after a sync") << QList<SyncEnd>{SyncEnd::Finished};
        QTest::newRow("after a failed sync") << QList<SyncEnd>{SyncEnd::Failed};
        QTest::newRow("failed after a sync") << QList<SyncEnd>{SyncEnd::Finished, SyncEnd::Failed};
    }
    void summariesKeepTheirWords()
    {
        QFETCH(QList<SyncEnd>, syncs);
        addLongMonth();
        MessageBoxRecorder boxes;
        const auto plain = qScopeGuard([] { qApp->setStyleSheet(QString()); });
        const auto window = defaultSizedWindow();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        runSyncs(syncs);
        auto* state = window->findChild<QLabel*>("lblSyncTime");
        // The form's least width, or its text's.
        QCOMPARE(state->width(), qMax(100, state->fontMetrics().horizontalAdvance(state->text())));
        for (USummaryLabel* summary : window->findChildren<USummaryLabel*>()) {
            QCOMPARE(summary->text().mid(4),
                     "支出:-385.80 收入:1234567.89 净借入:200.00 净借出:-1150.00 变化:+1233232.09");
            QCOMPARE(summary->shownText(), summary->text());
        }
    }

    // Every text of the bar stands out from the skin at 4.5:1 or more, as the window paints it when the program
    // starts on that skin, after a sync and after a failed one.
    void textsStandOutOnEverySkin_data()
    {
        QTest::addColumn<QString>("skin");
        QTest::newRow("default") << "#FFFFFF";
        USkin panel;
        QStringList skins;
        for (QPushButton* button : panel.findChildren<QPushButton*>(QRegularExpression("^pb[0-9A-F]{6}$")))
            if (!skins.contains(button->objectName()))
                skins << button->objectName();
        for (const QString& skin : skins)
            QTest::newRow(qPrintable(skin)) << "#" + skin.mid(2);
    }
    void textsStandOutOnEverySkin()
    {
        QFETCH(QString, skin);
        addLongMonth();
        FileSetting::getInstance()->setValue("Color/SkinColor", skin);
        MessageBoxRecorder boxes;
        const auto plain = qScopeGuard([] { qApp->setStyleSheet(QString()); });
        const auto window = defaultSizedWindow();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        const QList<QPair<QString, QList<SyncEnd>>> states{
            {"at start", {}}, {"after a sync", {SyncEnd::Finished}}, {"after a failed sync", {SyncEnd::Failed}}};
        for (const auto& [state, syncs] : states) {
            runSyncs(syncs);
            const QImage painted = paintedBar(window.get());
            for (const char* name : {"lblSyncTime", "lblSync", "lblMonthSummary", "lblTotalSummary"}) {
                const double contrast = paintedContrast(painted, window->findChild<QLabel*>(name));
                QVERIFY2(contrast >= 4.5, qPrintable(QString("%1 %2: %3:1").arg(name, state).arg(contrast, 0, 'f', 2)));
            }
        }
    }

    // A summary shows the widest form its width holds: the whole text at the largest size that fits, down to the
    // 9 px floor, before it gives up its double blank and then the words before its figures.
    void summaryFormForItsWidth_data()
    {
        const QString whole = "本月  支出:-385.80 收入:1234567.89 净借入:200.00 净借出:-1150.00 变化:+1233232.09";
        const QString single = "本月 支出:-385.80 收入:1234567.89 净借入:200.00 净借出:-1150.00 变化:+1233232.09";
        const QString figures = "本月 -385.80 1234567.89 200.00 -1150.00 +1233232.09";
        QTest::addColumn<QString>("measured");
        QTest::addColumn<int>("measuredPixels");
        QTest::addColumn<int>("spare");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("shownPixels");
        QTest::newRow("whole at the largest size") << whole << 11 << 0 << whole << 11;
        QTest::newRow("whole a size smaller") << whole << 10 << 0 << whole << 10;
        QTest::newRow("a pixel short of a size") << whole << 10 << -1 << whole << 9;
        QTest::newRow("whole at exactly the floor") << whole << 9 << 0 << whole << 9;
        QTest::newRow("a pixel short of the floor") << whole << 9 << -1 << single << 9;
        QTest::newRow("only the figures") << figures << 11 << 0 << figures << 11;
        QTest::newRow("less than every form") << figures << 9 << -1 << figures << 9;
    }
    void summaryFormForItsWidth()
    {
        QFETCH(QString, measured);
        QFETCH(int, measuredPixels);
        QFETCH(int, spare);
        QFETCH(QString, shown);
        QFETCH(int, shownPixels);
        USummaryLabel label;
        QFont font = label.font();
        font.setPixelSize(11);
        label.setFont(font);
        label.setSummary("本月  支出:-385.80 收入:1234567.89 净借入:200.00 净借出:-1150.00 变化:+1233232.09");
        font.setPixelSize(measuredPixels);
        label.resize(QFontMetrics(font).horizontalAdvance(measured) + spare, 27);
        QCOMPARE(label.shownText(), shown);
        QCOMPARE(label.shownFont().pixelSize(), shownPixels);
    }

    void linkWithoutAccountStartsNoSync()
    {
        MessageBoxRecorder boxes;
        UStatusBar bar;
        QSignalSpy syncs(SyncHelper::getInstance(), &SyncHelper::syncStarted);
        bool dialogShown = false;
        whenModalShows([&dialogShown](QWidget* dialog) {
            dialogShown = dialog->inherits("DSyncConfig");
            static_cast<QDialog*>(dialog)->reject();
        });
        emit bar.findChild<QLabel*>("lblSync")->linkActivated("#");
        QVERIFY(dialogShown);
        QCOMPARE(boxes.boxes(), (QVector<QPair<QString, QString>>{{"错误", "请填写同步账号和密码"},
                                                                  {"注意", "同步账号一旦绑定，以后就不能修改了"}}));
        QCOMPARE(syncs.count(), 0);
    }
};

QTEST_MAIN(TestUStatusBar)
#include "tst_ustatusbar.moc"
