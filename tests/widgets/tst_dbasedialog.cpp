#include "bookkeeping/daccount.h"
#include "bookkeeping/ddateperiod.h"
#include "recordtest.h"
#include "widgets/dmessagebox.h"
#include "windowsystem.h"

#include <QAbstractItemView>
#include <QCalendarWidget>
#include <QComboBox>
#include <QtTest>
#include <memory>

class TestDBaseDialog : public RecordTest
{
    Q_OBJECT

private slots:
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
        QVERIFY(QTest::qWaitForWindowExposed(&owner, windowSystemMs));
        // Centred over an owner without a frame, a dialog still leaves room for a title bar, as Qt's dialogs do.
        const QPoint centre = windowSystemGeometry(owner).center() - QPoint(10, 40);
        // The order in which the window manager and the program hear of a new window varies from run to run.
        for (int round = 0; round < 4; ++round) {
            const std::unique_ptr<QDialog> dialog(kind == "account" ? static_cast<QDialog*>(new DAccount(&owner))
                                                  : kind == "date period"
                                                      ? static_cast<QDialog*>(new DDatePeriod(&owner))
                                                      : new DMessageBox(&owner, "提示", "内容"));
            QVERIFY(showWhileScreenIsRead(*dialog));
            const QRect place = windowSystemGeometry(*dialog);
            QVERIFY((place.center() - centre).manhattanLength() <= 2);
            QCOMPARE(dialog->mapToGlobal(QPoint()), place.topLeft());
            QWidget* box = dialog->findChild<QWidget*>(kind == "account" ? "cbKind" : "deFromDate");
            if (!box)
                continue;
            auto* combo = qobject_cast<QComboBox*>(box);
            if (combo)
                combo->showPopup();
            else // the calendar opens from the arrow at the box's right end
                QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(box->width() - 6, box->height() / 2));
            QWidget* popup = combo ? combo->view()->window() : box->findChild<QCalendarWidget*>()->window();
            QVERIFY(QTest::qWaitForWindowExposed(popup, windowSystemMs));
            const QRect popupPlace = windowSystemGeometry(*popup);
            const QPoint boxPlace = place.topLeft() + box->mapTo(dialog.get(), QPoint());
            QCOMPARE(popupPlace.left(), boxPlace.x());
            QVERIFY(qAbs(popupPlace.top() - boxPlace.y()) <= box->height());
            popup->hide();
        }
    }
};

QTEST_MAIN(TestDBaseDialog)
#include "tst_dbasedialog.moc"
