#pragma once

#include <QTextEdit>

// The text of a message box. It wraps at word boundaries where the text has them and anywhere else, so that a long
// address breaks too (a label breaks only at word boundaries and grows past the screen), and it takes the size of
// its text within the width its box gives it. Selected and copied, the text is exactly what the box was given.
class MessageText : public QTextEdit
{
    Q_OBJECT

public:
    explicit MessageText(QWidget* parent = nullptr);

    void setSelectable(bool selectable);
    // Takes the narrowest width at which the text needs no more lines than within `width` px, and the height of
    // those lines; past `maxHeight` px the text scrolls.
    void fitWithin(int width, int maxHeight);
};
