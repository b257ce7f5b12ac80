#pragma once

#include <QDialog>

class QDoubleSpinBox;
class QKeyEvent;

namespace Ui {
class DCalculator;
}

// A four-function calculator that pops up under an amount field and writes every result into it at once, so
// that the field keeps the last result when the popup closes. It evaluates strictly from left to right.
class DCalculator : public QDialog
{
    Q_OBJECT

public:
    DCalculator(QDoubleSpinBox* target, QWidget* parent);
    ~DCalculator() override;

public slots:
    void button0();
    void button1();
    void button2();
    void button3();
    void button4();
    void button5();
    void button6();
    void button7();
    void button8();
    void button9();
    void buttonPoint();
    void buttonAdd();
    void buttonSub();
    void buttonMul();
    void buttonDivision();
    void buttonEqual();
    void buttonEmpty();
    void buttonDel();
    // Applies the pending operator to the running result and the typed number; false when the result is no
    // number (a division by zero), which is shown instead and writes nothing.
    bool calculate();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    enum Operator
    {
        None = -1,
        Add,
        Subtract,
        Multiply,
        Divide
    };

    void appendDigit(char digit);
    void pressOperator(Operator op);
    void showInput();
    // Back to the state of a new calculator: the next operator only takes the typed number as the first operand.
    void restart();

    Ui::DCalculator* ui;
    QDoubleSpinBox* target;
    QString input;
    // Kept at full precision, so that a chain of operations loses nothing between its steps.
    double accumulator = 0.0;
    Operator pendingOperator = None;
    Operator lastOperator = None;
    bool firstOperand = true;
};
