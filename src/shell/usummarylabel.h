#pragma once

#include <QFont>
#include <QLabel>
#include <QString>

// A money summary of the status bar ("本月  支出:-300.00 收入:1000.00 变化:+700.00"). It shows its whole text
// when there is room; with less, the font shrinks to a floor, then the blanks and the words that name the
// figures give way; a figure or its sign is never cut. The whole text is always its tooltip.
class USummaryLabel : public QLabel
{
    Q_OBJECT

public:
    explicit USummaryLabel(QWidget* parent = nullptr);

    void setSummary(const QString& summary);

    // What the label shows at its present width, and in which font.
    QString shownText() const;
    QFont shownFont() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Form
    {
        QString text;
        QFont font;
    };
    // The widest form that fits `width`, else the narrowest of all.
    Form formFor(int width) const;
    // The whole text, then with single blanks, then the figures without the words before them.
    QStringList texts() const;
    QFont fontOfSize(int pixels) const;
    int widthOf(const Form& form) const;
};
