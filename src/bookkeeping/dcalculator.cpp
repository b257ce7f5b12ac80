#include "bookkeeping/dcalculator.h"

#include "ui_dcalculator.h"

#include "widgets/stylepainter.h"

#include <QDoubleSpinBox>
#include <QHash>
#include <QKeyEvent>
#include <cmath>

DCalculator::DCalculator(QDoubleSpinBox* target, QWidget* parent)
    : QDialog(parent), ui(new Ui::DCalculator), target(target)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Popup);
    // The buttons take no focus, so every key reaches the calculator itself.
    setFocusPolicy(Qt::StrongFocus);
    ui->lcdNumber->setDigitCount(10);
    setWindowTitle("Calculator");

    const QList<QPair<QPushButton*, void (DCalculator::*)()>> buttons{
        {ui->pushButton_0, &DCalculator::button0},          {ui->pushButton_1, &DCalculator::button1},
        {ui->pushButton_2, &DCalculator::button2},          {ui->pushButton_3, &DCalculator::button3},
        {ui->pushButton_4, &DCalculator::button4},          {ui->pushButton_5, &DCalculator::button5},
        {ui->pushButton_6, &DCalculator::button6},          {ui->pushButton_7, &DCalculator::button7},
        {ui->pushButton_8, &DCalculator::button8},          {ui->pushButton_9, &DCalculator::button9},
        {ui->pushButton_point, &DCalculator::buttonPoint},  {ui->pushButton_add, &DCalculator::buttonAdd},
        {ui->pushButton_sub, &DCalculator::buttonSub},      {ui->pushButton_mul, &DCalculator::buttonMul},
        {ui->pushButton_div, &DCalculator::buttonDivision}, {ui->pushButton_equal, &DCalculator::buttonEqual},
        {ui->pushButton_empty, &DCalculator::buttonEmpty},  {ui->pushButton_del, &DCalculator::buttonDel},
    };
    for (const auto& [button, slot] : buttons)
        connect(button, &QPushButton::clicked, this, slot);
}

DCalculator::~DCalculator()
{
    delete ui;
}

void DCalculator::paintEvent(QPaintEvent*)
{
    StylePainter::paintBackground(this);
}

void DCalculator::button0()
{
    appendDigit('0');
}
void DCalculator::button1()
{
    appendDigit('1');
}
void DCalculator::button2()
{
    appendDigit('2');
}
void DCalculator::button3()
{
    appendDigit('3');
}
void DCalculator::button4()
{
    appendDigit('4');
}
void DCalculator::button5()
{
    appendDigit('5');
}
void DCalculator::button6()
{
    appendDigit('6');
}
void DCalculator::button7()
{
    appendDigit('7');
}
void DCalculator::button8()
{
    appendDigit('8');
}
void DCalculator::button9()
{
    appendDigit('9');
}
void DCalculator::buttonAdd()
{
    pressOperator(Add);
}
void DCalculator::buttonSub()
{
    pressOperator(Subtract);
}
void DCalculator::buttonMul()
{
    pressOperator(Multiply);
}
void DCalculator::buttonDivision()
{
    pressOperator(Divide);
}

void DCalculator::appendDigit(char digit)
{
    input += QLatin1Char(digit);
    showInput();
}

void DCalculator::buttonPoint()
{
    if (input.contains('.'))
        return;
    if (input.isEmpty())
        input = "0";
    input += '.';
    showInput();
}

void DCalculator::buttonDel()
{
    if (input.isEmpty())
        return;
    input.chop(1);
    showInput();
}

void DCalculator::showInput()
{
    if (input.isEmpty())
        ui->lcdNumber->display(0);
    else
        ui->lcdNumber->display(input);
}

void DCalculator::buttonEmpty()
{
    restart();
    ui->lcdNumber->display(0);
}

void DCalculator::restart()
{
    input.clear();
    accumulator = 0.0;
    pendingOperator = None;
    lastOperator = None;
    firstOperand = true;
}

void DCalculator::pressOperator(Operator op)
{
    pendingOperator = lastOperator;
    lastOperator = op;
    calculate();
}

void DCalculator::buttonEqual()
{
    pendingOperator = lastOperator;
    // After an error the popup stays open, so that the user sees why the amount did not change.
    if (calculate())
        close();
}

bool DCalculator::calculate()
{
    const double operand = input.toDouble();
    input.clear();
    if (firstOperand) {
        accumulator = operand;
        firstOperand = false;
        return true;
    }
    double result = operand;
    switch (pendingOperator) {
    case Add:
        result = accumulator + operand;
        break;
    case Subtract:
        result = accumulator - operand;
        break;
    case Multiply:
        result = accumulator * operand;
        break;
    case Divide:
        result = accumulator / operand;
        break;
    case None:
        break;
    }
    if (!std::isfinite(result)) {
        restart();
        ui->lcdNumber->display("Error");
        return false;
    }
    accumulator = result;
    ui->lcdNumber->display(result);
    target->setValue(result);
    return true;
}

void DCalculator::keyPressEvent(QKeyEvent* event)
{
    static const QHash<QString, QString> byText{{"+", "add"}, {"-", "sub"}, {"*", "mul"}, {"/", "div"}, {".", "point"}};
    QString name = byText.value(event->text());
    if (name.isEmpty()) {
        // Only the keypad's Enter stands for equals; the main Return key finds no button.
        if (event->key() == Qt::Key_Backspace)
            name = "del";
        else if (event->key() == Qt::Key_Enter)
            name = "equal";
        else
            name = event->text();
    }
    if (auto* button = findChild<QPushButton*>("pushButton_" + name))
        button->click();
}
