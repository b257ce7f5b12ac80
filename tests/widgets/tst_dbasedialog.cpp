#include "bookkeeping/daccount.h"
#include "bookkeeping/dcategory.h"
#include "bookkeeping/ddateperiod.h"
#include "bookkeeping/dquickchange.h"
#include "bookrows.h"
#include "messageboxrecorder.h"
#include "recordtest.h"
#include "shell/dlogin.h"
#include "widgets/dmessagebox.h"
#include "widgets/udialogtitle.h"
#include "windowsystem.h"

#include <QAbstractItemView>
#include <QCalendarWidget>
#include <QComboBox>
#include <QDateEdit>
#include <QtTest>
#include <functional>
#include <memory>

namespace {
// A dialog of the program made over its owner, and the box in it whose list or calendar the test opens (none for
// a dialog without one).
struct Opening
{
    std::function<QDialog*(QWidget* owner)> make;
    QString box;
};

const QMap<QString, Opening> openings{
    {"account", {[](QWidget* owner) { return new DAccount(owner); }, "cbKind"}},
    {"sub-category", {[](QWidget* owner) { return new DCategory("expense", owner, true, QString()); }, "cbParentId"}},
    {"quick change", {[](QWidget* owner) { return new DQuickChange("account", {}, owner); }, "comboBox"}},
    {"date period", {[](QWidget* owner) { return new DDatePeriod(owner); }, "deFromDate"}},
    {"login", {[](QWidget* owner) { return new DLogin(owner, QString()); }, "cbDbList"}},
    {"message box", {[](QWidget* owner) { return new DMessageBox(owner, "提示", "内容"); }, QString()}},
};

// Opens the box's list or calendar; returns its window.
QWidget* openPopup(QWidget* box)
{
    if (auto* combo = qobject_cast<QComboBox*>(box)) {
        combo->showPopup();
        return combo->view()->window();
    }
    auto* date = qobject_cast<QDateEdit*>(box);
    // The calendar opens from the arrow at the box's right end.
    QTest::mouseClick(date, Qt::LeftButton, {}, QPoint(date->width() - 6, date->height() / 2));
    return date->calendarWidget()->window();
}
} // namespace

class TestDBaseDialog : public RecordTest
{
    Q_OBJECT

private slots:
    void init()
    {
        RecordTest::init();
        BookRows::exec("insert into tbl_account (id, name, kind, amount, sort) values ('a1', '现金', 'cash', 0, 1)");
        BookRows::exec("insert into tbl_category (id, name, kind, sort) values ('c1', '餐饮', 'expense', 1)");
        BookRows::dropCaches();
    }

    // A dialog stands where any Qt dialog would: centred over its owner unless its caller or the user placed it,
    // and centred again when it shows again without either having placed it.
    void standsWhereAnyDialogWould()
    {
        QWidget owner(nullptr, Qt::FramelessWindowHint);
        owner.setGeometry(100, 100, 800, 600);
        owner.show();
        DMessageBox placed(&owner, "提示", "内容");
        placed.move(30, 40);
        placed.show();
        QCOMPARE(placed.pos(), QPoint(30, 40));

        DMessageBox dialog(&owner, "提示", "内容");
        dialog.show();
        const QPoint centred = dialog.pos();
        dialog.hide();
        owner.move(owner.pos() + QPoint(50, 20));
        dialog.show();
        QCOMPARE(dialog.pos(), centred + QPoint(50, 20));

        auto* title = dialog.findChild<UDialogTitle*>();
        QTest::mousePress(title, Qt::LeftButton, {}, QPoint(20, 10));
        QTest::mouseMove(title, QPoint(60, 30));
        QTest::mouseRelease(title, Qt::LeftButton, {}, QPoint(60, 30));
        QCOMPARE(dialog.pos(), centred + QPoint(90, 40));
        dialog.hide();
        dialog.show();
        QCOMPARE(dialog.pos(), centred + QPoint(90, 40));
    }

    // Under a window manager, with the screen read as each dialog opens: a dialog stands centred over its owner,
    // the program knows where the window manager put it, and its list or calendar opens at its box, on every
    // opening and once the dialog is dragged elsewhere by its title bar.
    void knowsWhereItStands_data()
    {
        QTest::addColumn<QString>("kind");
        for (const QString& kind : openings.keys())
            QTest::newRow(qPrintable(kind)) << kind;
    }
    void knowsWhereItStands()
    {
        if (QGuiApplication::platformName() != "xcb")
            QSKIP("needs a window manager");
        QFETCH(QString, kind);
        MessageBoxRecorder boxes;
        QWidget owner(nullptr, Qt::FramelessWindowHint);
        owner.setGeometry(128, 50, 1024, 700);
        owner.show();
        QVERIFY(QTest::qWaitForWindowExposed(&owner, WindowSystem::answerMs));
        // Centred over an owner without a frame, a dialog still leaves room for a title bar, as Qt's dialogs do.
        const QPoint centre = WindowSystem::geometry(owner).center() - QPoint(10, 40);
        // The order in which the window manager and the program hear of a new window varies from run to run.
        const int rounds = 4;
        for (int round = 0; round < rounds; ++round) {
            const std::unique_ptr<QDialog> dialog(openings[kind].make(&owner));
            QVERIFY(WindowSystem::showWhileScreenIsRead(*dialog));
            QVERIFY((WindowSystem::geometry(*dialog).center() - centre).manhattanLength() <= 2);
            if (round == rounds - 1) {
                auto* title = dialog->findChild<UDialogTitle*>();
                const QRect before = WindowSystem::geometry(*dialog);
                QTest::mousePress(title, Qt::LeftButton, {}, QPoint(20, 10));
                QTest::mouseMove(title, QPoint(120, 70));
                QTest::mouseRelease(title, Qt::LeftButton, {}, QPoint(120, 70));
                QTRY_COMPARE_WITH_TIMEOUT(WindowSystem::geometry(*dialog), before.translated(100, 60),
                                          WindowSystem::answerMs);
            }
            const QPoint place = WindowSystem::geometry(*dialog).topLeft();
            QCOMPARE(dialog->mapToGlobal(QPoint()), place);
            if (openings[kind].box.isEmpty())
                continue;
            auto* box = dialog->findChild<QWidget*>(openings[kind].box);
            QWidget* popup = openPopup(box);
            QVERIFY(QTest::qWaitForWindowExposed(popup, WindowSystem::answerMs));
            const QRect boxPlace(place + box->mapTo(dialog.get(), QPoint()), box->size());
            const QRect popupPlace = WindowSystem::geometry(*popup);
            QCOMPARE(popupPlace.left(), boxPlace.left());
            QVERIFY2(qAbs(popupPlace.top() - boxPlace.top()) <= boxPlace.height(),
                     qPrintable(QString("box at %1, popup at %2").arg(boxPlace.top()).arg(popupPlace.top())));
            popup->hide();
        }
    }
};

QTEST_MAIN(TestDBaseDialog)
#include "tst_dbasedialog.moc"
