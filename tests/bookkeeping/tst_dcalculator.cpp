#include "bookkeeping/dcalculator.h"

#include <QDoubleSpinBox>
#include <QPushButton>
#include <QtTest>

// Keys as the user presses them: '=' is the keypad's Enter, 'R' the main Return key, 'E' Escape, '<' Backspace
// and 'C' a click on "清空"; any other character is typed as it stands.
static void press(DCalculator& calculator, const QString& keys)
{
    const QMap<QChar, Qt::Key> named{{'R', Qt::Key_Return}, {'E', Qt::Key_Escape}, {'<', Qt::Key_Backspace}};
    for (const QChar key : keys) {
        if (key == 'C')
            calculator.findChild<QPushButton*>("pushButton_empty")->click();
        else if (key == '=')
            QTest::keyClick(&calculator, Qt::Key_Enter, Qt::KeypadModifier);
        else if (named.contains(key))
            QTest::keyClick(&calculator, named[key]);
        else
            QTest::keyClick(&calculator, key.toLatin1());
    }
}

class TestDCalculator : public QObject
{
    Q_OBJECT

private slots:
    void writesEachResultIntoTheAmount_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<double>("amount");
        QTest::addColumn<bool>("open");
        // The amount field starts at 42.
        QTest::newRow("left to right, no precedence") << "3+4*2=" << 14.0 << false;
        QTest::newRow("an operator writes the step") << "3+4*" << 7.0 << true;
        QTest::newRow("no operator: closes, amount kept") << "5=" << 42.0 << false;
        QTest::newRow("operator first adds to nothing") << "+5=" << 5.0 << false;
        QTest::newRow("a doubled operator adds 0") << "5++3=" << 8.0 << false;
        QTest::newRow("full precision between steps") << "1234567+1+1=" << 1234569.0 << false;
        QTest::newRow("leading point, second point ignored") << ".5+1.2.=" << 1.7 << false;
        QTest::newRow("backspace deletes a digit") << "12<+1=" << 2.0 << false;
        QTest::newRow("return does nothing") << "3+4R" << 42.0 << true;
        QTest::newRow("escape does nothing") << "3+4E" << 42.0 << true;
        QTest::newRow("divide by zero writes nothing") << "8/0=" << 42.0 << true;
        QTest::newRow("zero by zero writes nothing") << "2+0/0*" << 2.0 << true;
        QTest::newRow("after an error a new calculation") << "8/0=2+3=" << 5.0 << false;
        QTest::newRow("clear forgets the operator") << "3*4C5+2=" << 7.0 << false;
        QTest::newRow("clear: the next operator only starts") << "3*4C5+" << 42.0 << true;
    }
    void writesEachResultIntoTheAmount()
    {
        QFETCH(QString, keys);
        QFETCH(double, amount);
        QFETCH(bool, open);
        QWidget parent;
        QDoubleSpinBox target(&parent);
        target.setRange(-1000000000, 1000000000);
        target.setDecimals(2);
        target.setValue(42);
        DCalculator calculator(&target, &parent);
        calculator.show();
        press(calculator, keys);
        QCOMPARE(target.value(), amount);
        QCOMPARE(calculator.isVisible(), open);
    }
};

QTEST_MAIN(TestDCalculator)
#include "tst_dcalculator.moc"
