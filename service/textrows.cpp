#include "textrows.h"

#include <limits>

bool TextRows::endRow()
{
    const qsizetype cells = m_ends.size() - m_closedCells;
    if (m_width < 0)
        m_width = cells;
    if (cells != m_width || m_text.size() > qsizetype(std::numeric_limits<quint32>::max())) {
        m_ends.resize(m_closedCells);
        m_text.truncate(m_closedCells == 0 ? 0 : m_ends.last());
        return false;
    }
    m_closedCells = m_ends.size();
    ++m_rows;
    return true;
}

void TextRows::clear()
{
    m_text.truncate(0);
    m_ends.clear();
    m_width = m_givenWidth;
    m_rows = 0;
    m_closedCells = 0;
}
