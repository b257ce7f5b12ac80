#pragma once

#include <QByteArrayView>

// Bytes read as UTF-8 as its standard has it: each character in its shortest form, none of the surrogates that pair
// in UTF-16, none past U+10FFFF. Qt reads any bytes as text, each that is no part of a character becoming U+FFFD, so
// that bytes that differ may become the same text: what must be told apart is checked before it becomes text.
class Utf8Bytes
{
public:
    // How many bytes the character that starts at `at` takes, 1 to 4; 0 when none starts there.
    static int characterAt(QByteArrayView bytes, qsizetype at);
    // Whether every byte is part of a character.
    static bool isValid(QByteArrayView bytes);
};
