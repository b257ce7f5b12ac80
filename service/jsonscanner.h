#pragma once

#include <QByteArray>
#include <QByteArrayView>

// Reads JSON text in UTF-8 piece by piece, without building its values, in the dialect of the program's own reader:
// commas between items may be missing or repeated, keywords are matched by their letters and whatever follows the
// first value is ignored. Strings are decoded as that reader decodes them (an unknown escape drops both characters,
// a \u escape that is no hexadecimal number stands for U+0000); a surrogate escape without its other half becomes
// "?", as it does when such a text is written as UTF-8.
class JsonScanner
{
public:
    explicit JsonScanner(QByteArrayView text) : m_text(text) {}

    // Opens the array ('[') or object ('{') that comes next; false when something else comes.
    bool open(char bracket);
    // Moves to the next item of the array or object open at this point: true when one follows, false when its
    // closing bracket came (and is consumed) or the text ended (failed() then holds).
    bool next(char closing);
    // Whether a string comes next.
    bool atString() { return peek() == '"'; }
    // Appends the string that comes next, decoded, to `out`; false when none comes or it is cut short.
    bool string(QByteArray& out) { return readString(&out); }
    // Consumes the colon between a name and its value; false when none comes.
    bool colon();
    // Steps over the value that comes next, whatever it holds; false when it is no value or cut short.
    bool skip() { return skip(0); }

    bool failed() const { return m_failed; }

    // The value of a hexadecimal digit in either case; -1 for any other character.
    static int hexDigit(char c);

private:
    // Reads a string into `out`, or over it when `out` is null.
    bool readString(QByteArray* out);
    bool escape(QByteArray* out);
    bool skip(int depth);
    // The next character after blanks, not consumed; 0 at the end of the text.
    char peek();
    bool fail();

    QByteArrayView m_text;
    qsizetype m_at = 0;
    bool m_failed = false;
};
