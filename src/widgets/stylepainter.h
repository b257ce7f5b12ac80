#pragma once

class QWidget;

// Frameless windows and the frame widgets inside them get their backgrounds and border images from the style
// sheet; a QWidget subclass only shows those when it draws the style's widget element itself.
class StylePainter
{
public:
    // Call from paintEvent.
    static void paintBackground(QWidget* widget);
};
