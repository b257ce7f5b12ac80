#pragma once

#include <QString>

// The program-wide style sheet: the sheet from the resources and, for a skin colour other than the default
// white, two rules that paint the main window and every dialog in that colour instead of their images. The
// look changes at run time only by appending rules; later rules win over earlier ones.
class StyleSheet
{
public:
    // The sheet followed by the rules for the skin colour: the foreground that stays legible on it, then the
    // two colour rules.
    static QString compose(const QString& sheet, const QString& skinColor);
    // The sheet followed by the rules that bring back the default look's images and foreground.
    static QString restoreDefault(const QString& sheet);
    // The resource sheet composed with the stored skin colour.
    static QString load();
};
