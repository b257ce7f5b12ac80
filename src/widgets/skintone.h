#pragma once

#include <QColor>
#include <QString>

// The foreground of what is drawn on the skin colour: the title bar, the tool bar, the status bar and the
// dialogs' title band. Their text and icons are light on the default look and on dark skins, and dark on
// skins too light for them (a white or pale yellow skin would otherwise hide the whole header).
class SkinTone
{
public:
    // Relative luminance of an sRGB colour, 0 for black to 1 for white.
    static double luminance(const QColor& color);
    // Contrast ratio of two colours, 1 (same luminance) to 21 (black on white).
    static double contrast(const QColor& a, const QColor& b);
    // White or black, whichever stands out more from the background; either keeps a contrast of at least
    // 4.5:1 against any background.
    static QColor foreground(const QColor& background);

    // Rules giving the parts drawn on a skin of that colour their foreground.
    static QString rulesFor(const QColor& background);
    // Rules giving those parts the default look's light foreground again.
    static QString defaultRules();

private:
    struct Foreground
    {
        QString header;
        QString statusBar;
        QString link;
    };
    static QString rules(const Foreground& text, const QString& imageSuffix, const QString& overlay);
};
