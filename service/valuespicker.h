#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <functional>

// Picks some columns out of a stored record's values, the JSON object of texts the store keeps ({"column":"text"}),
// read a piece at a time: of a large record whose values a merge needs in a few columns, or in none, it holds no more
// than those, however large the others are. It reads the object as the service writes it (RecordValues): names
// without escapes and texts for values, blanks allowed between them; anything else is no such object, for its
// reader to take whole.
class ValuesPicker
{
public:
    // The columns whose names `wanted` takes are picked.
    explicit ValuesPicker(std::function<bool(QByteArrayView column)> wanted) : m_wanted(std::move(wanted)) {}

    // Reads the next piece of the object's text; false once it has turned out to be no object the service writes.
    bool read(QByteArrayView piece);
    // The object of the columns picked, as they stand in the text, once the whole object was read; empty when the
    // text was no such object or ended short.
    QByteArray picked() const;

private:
    enum class State
    {
        Start,
        BeforeName,
        Name,
        AfterName,
        BeforeValue,
        Value,
        AfterValue,
        End,
        Failed
    };

    // Reads the value's text from `at` up to its closing quote, or the piece's end; where it goes on.
    qsizetype readValue(QByteArrayView piece, qsizetype at);
    // Takes the character between the value's texts, names and punctuation.
    void take(char c);

    std::function<bool(QByteArrayView column)> m_wanted;
    State m_state = State::Start;
    QByteArray m_name;
    bool m_picking = false;
    // The escape of a value's character begun at the end of the last piece.
    bool m_escaped = false;
    QByteArray m_picked = "{";
};
