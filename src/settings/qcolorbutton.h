#pragma once

#include <QColor>
#include <QPushButton>
#include <QString>

// A push button that holds one colour, shows it as a small swatch and lets the user pick another in the colour
// dialog. It emits nothing of its own: its owner connects to clicked() after constructing it and reads color()
// there, by which time the dialog connected here first has closed.
class QColorButton : public QPushButton
{
    Q_OBJECT

public:
    explicit QColorButton(QWidget* parent = nullptr);
    ~QColorButton() override;

    void setColor(const QColor& c);
    QColor color() const;
    // Hides QPushButton::setText so that the caption is kept while the colour's name is shown instead.
    void setText(const QString& caption);
    void setTextIfChanged(const QString& s);
    void setShowToolTip(bool on);
    void setShowName(bool on);

private slots:
    void slotChangeColor();

private:
    bool showName = false;
    bool showToolTip = true;
    QColor m_color;
    QString m_text;
};
