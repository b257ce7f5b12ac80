#pragma once

#include <QString>

// The program-wide style sheet: the sheet from the resources and, for a skin colour other than the default
// white, two rules that paint the main window and every dialog in that colour instead of their images.
class StyleSheet
{
public:
    static QString compose(const QString& sheet, const QString& skinColor);
    // The resource sheet composed with the stored skin colour.
    static QString load();
};
