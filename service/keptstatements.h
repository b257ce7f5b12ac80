#pragma once

#include <QHash>
#include <QString>

#include <algorithm>
#include <memory>

// Statements of one store connection, each prepared once and kept for the connection's life, up to a bound: the
// statements that differ only by how many values they take (a lookup or a write of that many records) could fill any
// number of places, so the one used least lately goes first. A statement is handed out shared, so that one in use
// outlives its place.
template <typename Statement> class KeptStatements
{
public:
    explicit KeptStatements(qsizetype most) : m_most(most) {}

    // The statement kept for the text, or null.
    std::shared_ptr<Statement> find(const QString& sql)
    {
        const auto kept = m_kept.find(sql);
        if (kept == m_kept.end())
            return nullptr;
        kept->used = ++m_uses;
        return kept->statement;
    }

    // Keeps the statement for the text; the one used least lately goes when the bound is reached.
    void keep(const QString& sql, std::shared_ptr<Statement> statement)
    {
        if (m_kept.size() >= m_most) {
            const auto oldest = std::min_element(m_kept.cbegin(), m_kept.cend(),
                                                 [](const Kept& a, const Kept& b) { return a.used < b.used; });
            m_kept.erase(oldest);
        }
        m_kept.insert(sql, Kept{std::move(statement), ++m_uses});
    }

    // Lets every statement go, before their connection closes.
    void clear() { m_kept.clear(); }

private:
    struct Kept
    {
        std::shared_ptr<Statement> statement;
        quint64 used = 0;
    };

    qsizetype m_most;
    QHash<QString, Kept> m_kept;
    quint64 m_uses = 0;
};
