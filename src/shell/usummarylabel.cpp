#include "shell/usummarylabel.h"

#include <QFontMetrics>
#include <QPainter>
#include <QRegularExpression>
#include <QStyle>

namespace {
// Below this the figures are hard to read; the words give way instead.
const int smallestPixelSize = 9;
} // namespace

USummaryLabel::USummaryLabel(QWidget* parent) : QLabel(parent) {}

void USummaryLabel::setSummary(const QString& summary)
{
    setText(summary);
    setToolTip(summary);
}

QString USummaryLabel::shownText() const
{
    return formFor(contentsRect().width()).text;
}

QFont USummaryLabel::shownFont() const
{
    return formFor(contentsRect().width()).font;
}

QSize USummaryLabel::sizeHint() const
{
    return QSize(widthOf({text(), font()}), QLabel::sizeHint().height());
}

QSize USummaryLabel::minimumSizeHint() const
{
    return QSize(widthOf({texts().constLast(), fontOfSize(smallestPixelSize)}), QLabel::minimumSizeHint().height());
}

void USummaryLabel::paintEvent(QPaintEvent*)
{
    const Form form = formFor(contentsRect().width());
    QPainter painter(this);
    painter.setFont(form.font);
    style()->drawItemText(&painter, contentsRect(), int(alignment()), palette(), isEnabled(), form.text,
                          foregroundRole());
}

USummaryLabel::Form USummaryLabel::formFor(int width) const
{
    const int largest = QFontInfo(font()).pixelSize();
    Form form;
    for (const QString& text : texts()) {
        for (int pixels = largest; pixels >= qMin(largest, smallestPixelSize); --pixels) {
            form = {text, fontOfSize(pixels)};
            if (QFontMetrics(form.font).horizontalAdvance(form.text) <= width)
                return form;
        }
    }
    return form;
}

QStringList USummaryLabel::texts() const
{
    QString figures = text();
    figures.remove(QRegularExpression("[^\\s:]+:"));
    return {text(), text().simplified(), figures.simplified()};
}

QFont USummaryLabel::fontOfSize(int pixels) const
{
    QFont smaller = font();
    smaller.setPixelSize(qMin(pixels, QFontInfo(font()).pixelSize()));
    return smaller;
}

int USummaryLabel::widthOf(const Form& form) const
{
    const QMargins margins = contentsMargins();
    return QFontMetrics(form.font).horizontalAdvance(form.text) + margins.left() + margins.right();
}
