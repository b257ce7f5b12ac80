#include "answertext.h"

#include "answerfile.h"

#include <algorithm>

const qint64 AnswerText::pieceSize = 64 * 1024;

AnswerText::AnswerText(QByteArray text) : m_memory(std::move(text)) {}

AnswerText::AnswerText(std::shared_ptr<AnswerFile> file) : m_file(std::move(file)) {}

std::optional<AnswerText> AnswerText::ofFile(const QString& path)
{
    qint64 size = 0;
    std::shared_ptr<AnswerFile> file = AnswerFile::existing(path, size);
    if (!file)
        return std::nullopt;
    AnswerText text(std::move(file));
    text.addRange(0, size);
    return text;
}

bool AnswerText::append(QByteArrayView text)
{
    if (failed())
        return false;
    // A piece of its own size or more, such as a large record's row, goes to the file straight after what memory
    // holds, not through memory, which would hold it once more and keep its room after.
    if (m_file && text.size() >= pieceSize) {
        qint64 at = 0;
        if (!spill() || !m_file->append(text, at))
            return false;
        addRange(at, text.size());
        return true;
    }
    m_memory += text;
    return !m_file || m_memory.size() < pieceSize || spill();
}

bool AnswerText::take(AnswerText&& other)
{
    if (other.m_ranges.empty())
        return append(other.m_memory);
    if (!spill())
        return false;
    for (const Range& range : other.m_ranges)
        addRange(range.at, range.size);
    m_memory = std::move(other.m_memory);
    other = AnswerText();
    return !failed();
}

bool AnswerText::finish()
{
    if (!m_ranges.empty() && !spill())
        return false;
    if (m_ranges.empty())
        return !failed();
    m_memory = QByteArray();
    m_file->finish();
    return !failed();
}

bool AnswerText::failed() const
{
    return m_file && m_file->failed();
}

bool AnswerText::moveToFile(const std::shared_ptr<AnswerSpool>& spool)
{
    if (!m_file)
        m_file = std::make_shared<AnswerFile>(spool);
    if (!spill())
        return false;
    m_memory = QByteArray();
    m_file->finish();
    return true;
}

bool AnswerText::read(qint64 offset, qint64 most, QByteArray& buffer, QByteArrayView& piece) const
{
    if (offset >= m_inFile) {
        piece = QByteArrayView(m_memory).sliced(offset - m_inFile);
        piece = piece.first(std::min<qint64>(most, piece.size()));
        return true;
    }
    const auto range = std::prev(std::upper_bound(m_ranges.cbegin(), m_ranges.cend(), offset,
                                                  [](qint64 wanted, const Range& r) { return wanted < r.offset; }));
    const qint64 within = offset - range->offset;
    if (!m_file->read(range->at + within, std::min(most, range->size - within), buffer))
        return false;
    piece = buffer;
    return true;
}

bool AnswerText::spill()
{
    if (m_memory.isEmpty())
        return !failed();
    qint64 at = 0;
    if (!m_file || !m_file->append(m_memory, at))
        return false;
    addRange(at, m_memory.size());
    // The room stays for the next piece.
    m_memory.resize(0);
    return true;
}

void AnswerText::addRange(qint64 at, qint64 size)
{
    if (!m_ranges.empty() && m_ranges.back().at + m_ranges.back().size == at)
        m_ranges.back().size += size;
    else
        m_ranges.push_back({m_inFile, at, size});
    m_inFile += size;
}
