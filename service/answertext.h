#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

class AnswerFile;
class AnswerSpool;

// The body of an answer, written piece by piece while it is made and read piece by piece as it is sent. A small one
// is held in memory. One that grows past a piece goes to its file in the spool as it grows, in pieces that several
// texts of one answer (a table's rows, its deletions) write side by side and that the whole answer then strings
// together in its order, so that making it takes a few pieces of memory and sending it one.
class AnswerText
{
public:
    // The size of a piece held in memory before it goes to the file.
    static const qint64 pieceSize;

    AnswerText() = default;
    // A text held in memory.
    AnswerText(QByteArray text);
    // An empty text that goes to the file when it grows.
    explicit AnswerText(std::shared_ptr<AnswerFile> file);
    // A file sent as it stands; nothing when it cannot be read.
    static std::optional<AnswerText> ofFile(const QString& path);

    // An empty text that goes to the same file as this one.
    AnswerText sibling() const { return AnswerText(m_file); }
    // Both false once the file has failed: the spool is full, or the disk.
    bool append(QByteArrayView text);
    // Appends the other text of the same answer, which is left empty.
    bool take(AnswerText&& other);
    // Ends writing: a text that went to its file goes there whole, and holds no memory while it waits.
    bool finish();
    bool failed() const;
    // Sends what the text holds in memory to its file, or to a new one of the spool, and lets go of that memory;
    // false when the file cannot take it.
    bool moveToFile(const std::shared_ptr<AnswerSpool>& spool);

    qint64 size() const { return m_inFile + m_memory.size(); }
    // The memory the text holds.
    qint64 memory() const { return m_memory.capacity(); }
    // Up to `most` bytes from `offset` in `piece`, read into `buffer` when they lie in the file; false when the file
    // cannot be read.
    bool read(qint64 offset, qint64 most, QByteArray& buffer, QByteArrayView& piece) const;

private:
    struct Range
    {
        // Where the range starts in the text, and in the file.
        qint64 offset;
        qint64 at;
        qint64 size;
    };

    bool spill();
    void addRange(qint64 at, qint64 size);

    std::shared_ptr<AnswerFile> m_file;
    std::vector<Range> m_ranges;
    qint64 m_inFile = 0;
    QByteArray m_memory;
};
