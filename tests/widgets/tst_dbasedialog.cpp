#include "bookkeeping/daccount.h"
#include "bookkeeping/ddateperiod.h"
#include "recordtest.h"
#include "widgets/dmessagebox.h"
#include "widgets/udialogtitle.h"
#include "windowsystem.h"

#include <QAbstractItemView>
#include <QCalendarWidget>
#include <QComboBox>
#include <QDateEdit>
#include <QtTest>
#include <memory>

namespace {
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
    // A dialog stands where any Qt dialog would: centred over its owner at each showing, unless it was placed.
    void standsWhereAnyDialogWould()
    {
        QWidget owner(nullptr, Qt::FramelessWindowHint);
        owner.setGeometry(100, 100, 800, 600);
        owner.show();
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
        dialog.hide();
        dialog.show();
        QCOMPARE(dialog.pos(), centred + QPoint(90, 40));
    }

    // Under a window manager, with the screen read as each dialog opens: a dialog stands centred over its owner,
    // the program knows where the window manager put it, and its list or calendar opens at its box.
    void knowsWhereItStands_data()
    {
        QTest::addColumn<QString>("kind");
        for (const char* kind : {"account", "date period", "message box"})
            QTest::newRow(kind) << QString(kind);
    }
    void knowsWhereItStands()
    {
        if (QGuiApplication::platformName() != "xcb")
            QSKIP("needs a window manager");
        QFETCH(QString, kind);
        QWidget owner(nullptr, Qt::FramelessWindowHint);
        owner.setGeometry(128, 50, 1024, 700);
        owner.show();
        QVERIFY(QTest::qWaitForWindowExposed(&owner, WindowSystem::answerMs));
        // Centred over an owner without a frame, a dialog still leaves room for a title bar, as Qt's dialogs do.
        const QPoint centre = WindowSystem::geometry(owner).center() - QPoint(10, 40);
        // The order in which the window manager and the program hear of a new window varies from run to run.
        for (int round = 0; round < 4; ++round) {
            const std::unique_ptr<QDialog> dialog(kind == "account" ? static_cast<QDialog*>(new DAccount(&owner))
                                                  : kind == "date period"
                                                      ? static_cast<QDialog*>(new DDatePeriod(&owner))
                                                      : new DMessageBox(&owner, "提示", "内容"));
            QVERIFY(WindowSystem::showWhileScreenIsRead(*dialog));
            const QRect place = WindowSystem::geometry(*dialog);
            QVERIFY((place.center() - centre).manhattanLength() <= 2);
            QCOMPARE(dialog->mapToGlobal(QPoint()), place.topLeft());
            auto* box = dialog->findChild<QWidget*>(kind == "account" ? "cbKind" : "deFromDate");
            if (!box)
                continue;
            QWidget* popup = openPopup(box);
            QVERIFY(QTest::qWaitForWindowExposed(popup, WindowSystem::answerMs));
            const QRect boxPlace(place.topLeft() + box->mapTo(dialog.get(), QPoint()), box->size());
            const QRect popupPlace = WindowSystem::geometry(*popup);
            QCOMPARE(popupPlace.left(), boxPlace.left());
            QVERIFY(qAbs(popupPlace.top() - boxPlace.top()) <= boxPlace.height());
            popup->hide();
        }
    }
};

QTEST_MAIN(TestDBaseDialog)
#include "tst_dbasedialog.moc"
