#include "../shell/shelltesting.h"
#include "settings/qcolorbutton.h"

#include <QColorDialog>

namespace {
QColor swatchColor(const QColorButton& button)
{
    return button.icon().pixmap(16, 16).toImage().pixelColor(8, 8);
}
} // namespace

class TestQColorButton : public QObject
{
    Q_OBJECT

private slots:
    // The colour's name stands in for the caption while asked to; the tool tip and swatch follow each colour.
    void captionAndToolTip()
    {
        QColorButton button(nullptr);
        QCOMPARE(swatchColor(button), QColor(Qt::white));
        button.setText("支出");
        button.setColor(QColor(10, 20, 30));
        QCOMPARE(swatchColor(button), QColor(10, 20, 30));
        button.setShowName(true);
        QCOMPARE(button.text(), QString("#0a141e"));
        button.setText("收入");
        button.setColor(Qt::blue);
        QCOMPARE(button.text(), QString("#0000ff"));
        button.setShowName(false);
        QCOMPARE(button.text(), QString("收入"));

        button.setShowToolTip(false);
        button.setColor(Qt::green);
        QCOMPARE(button.toolTip(), QString());
        button.setShowToolTip(true);
        QCOMPARE(button.toolTip(), QString("#00ff00"));
    }

    // The owner's clicked() slot runs after the dialog and reads the colour it left on the button.
    void dialogBeforeOwner_data()
    {
        QTest::addColumn<bool>("accept");
        QTest::addColumn<QColor>("expected");
        // clang-format off
        QTest::newRow("accepted") << true << QColor(0x12, 0x34, 0x56);
        QTest::newRow("cancelled") << false << QColor(Qt::yellow);
        // clang-format on
    }
    void dialogBeforeOwner()
    {
        QFETCH(bool, accept);
        QFETCH(QColor, expected);
        QColorButton button(nullptr);
        button.setColor(Qt::yellow);
        QColor seenByOwner;
        connect(&button, &QPushButton::clicked, this, [&] { seenByOwner = button.color(); });
        whenModalShows([accept](QWidget* dialog) {
            auto* colorDialog = qobject_cast<QColorDialog*>(dialog);
            QVERIFY(colorDialog);
            QCOMPARE(colorDialog->currentColor(), QColor(Qt::yellow));
            colorDialog->setCurrentColor(QColor(0x12, 0x34, 0x56));
            accept ? colorDialog->accept() : colorDialog->reject();
        });
        button.click();
        QCOMPARE(seenByOwner, expected);
        QCOMPARE(button.color(), expected);
        QCOMPARE(button.toolTip(), expected.name());
    }
};

QTEST_MAIN(TestQColorButton)
#include "tst_qcolorbutton.moc"
