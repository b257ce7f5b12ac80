#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

// Rows of texts, all of one width, kept as one UTF-8 buffer and the end of each cell in it: a row costs its bytes
// and four more per cell, however many rows there are. A cell is written by appending its bytes to text() and
// closing it with endCell(); the first row closed sets the width, and a row of another width is refused.
class TextRows
{
public:
    explicit TextRows(qsizetype width = -1) : m_width(width), m_givenWidth(width) {}

    // The buffer the open cell is written to; only appended to.
    QByteArray& text() { return m_text; }
    void endCell() { m_ends.append(quint32(m_text.size())); }
    void appendCell(QByteArrayView cell)
    {
        m_text.append(cell);
        endCell();
    }
    // Closes the row made of the cells written since the last one; false, with the row dropped, when its width
    // differs from the rows before it or the cells would end past what 32 bits can hold.
    bool endRow();

    qsizetype size() const { return m_rows; }
    // The width of every row; -1 while no row has been closed and none was given.
    qsizetype width() const { return m_width; }
    // The cell of a closed row; empty for a place outside them, so that no index reads past the row it names.
    QByteArrayView at(qsizetype row, qsizetype column) const
    {
        if (row < 0 || row >= m_rows || column < 0 || column >= m_width || row * m_width + column >= m_closedCells)
            return QByteArrayView();
        return cell(row * m_width + column);
    }

    // Empties the rows, keeping the room they took, and the width given.
    void clear();

private:
    QByteArrayView cell(qsizetype index) const
    {
        const quint32 begin = index == 0 ? 0 : m_ends.at(index - 1);
        return QByteArrayView(m_text).sliced(begin, m_ends.at(index) - begin);
    }

    QByteArray m_text;
    QList<quint32> m_ends;
    qsizetype m_width;
    qsizetype m_givenWidth;
    qsizetype m_rows = 0;
    qsizetype m_closedCells = 0;
};
