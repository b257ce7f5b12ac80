#include "settings/qcolorbutton.h"

#include <QColorDialog>
#include <QPixmap>

QColorButton::QColorButton(QWidget* parent) : QPushButton(parent)
{
    connect(this, &QPushButton::clicked, this, &QColorButton::slotChangeColor);
    setColor(QColor("#ffffff"));
}

QColorButton::~QColorButton() = default;

void QColorButton::setColor(const QColor& c)
{
    if (c == m_color)
        return;
    m_color = c;
    if (showName)
        setTextIfChanged(m_color.name());
    if (showToolTip)
        setToolTip(m_color.name());
    QPixmap swatch(16, 16);
    swatch.fill(m_color);
    setIcon(QIcon(swatch));
}

QColor QColorButton::color() const
{
    return m_color;
}

void QColorButton::setText(const QString& caption)
{
    if (caption == m_text)
        return;
    m_text = caption;
    QPushButton::setText(caption);
}

void QColorButton::setTextIfChanged(const QString& s)
{
    if (QPushButton::text() != s)
        QPushButton::setText(s);
}

void QColorButton::setShowToolTip(bool on)
{
    if (on == showToolTip)
        return;
    showToolTip = on;
    setToolTip(on ? m_color.name() : QString());
}

void QColorButton::setShowName(bool on)
{
    if (on == showName)
        return;
    showName = on;
    setTextIfChanged(on ? m_color.name() : m_text);
}

void QColorButton::slotChangeColor()
{
    const QColor chosen = QColorDialog::getColor(m_color, this);
    if (chosen.isValid())
        setColor(chosen);
}
