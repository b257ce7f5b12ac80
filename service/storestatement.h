#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QByteArrayView>
#include <QString>
#include <QVariantList>

#include <functional>
#include <memory>

// A statement of the store run straight through the database's own library, prepared once for its connection and
// kept there (KeptStatements), with the calls the store's statements share on either database: DirectStatement on
// SQLite, PostgresqlStatement on PostgreSQL. Texts go as the UTF-8 bytes they are, and come back so, as views into the
// row at hand: nothing is converted to UTF-16 on its way, and once a statement is finished it holds neither the values
// bound to it nor the rows it read, only its compiled form. A failure is told by its code and the statement's text,
// never with the database's message, which may quote the values (StoreQuery).
class StoreStatement
{
public:
    // Makes a statement on a store connection, kept among that connection's.
    using Maker = std::function<std::unique_ptr<StoreStatement>()>;

    virtual ~StoreStatement() = default;

    // The statement, its values marked "?", prepared or found kept; false, with the failure logged, when it cannot be.
    bool prepare(const QString& sql);
    // Binds the text, whose bytes must stay where they are until the statement is finished.
    virtual void bindText(int position, QByteArrayView text) = 0;
    // Binds the text, which the statement holds until it is finished.
    void bindHeld(int position, const QByteArray& text);
    // Binds the values in order, from the first place: a QString or a QByteArray as a text the statement holds,
    // anything else as a number.
    void bindAll(const QVariantList& values);
    virtual void bindNumber(int position, qint64 number) = 0;
    // Runs a statement that reads no rows and finishes it; false, with its failure logged, when it fails.
    bool run();
    // Runs the statement up to its first row, if any; false when it fails, for the caller to tell (failure()) unless
    // it expected the failure, and then to finish.
    bool start();
    // Steps to the next row, the first after start(); false past the last one, or when the reading failed, which
    // finish() then tells.
    bool next();
    // A column of the row at hand, valid until the next step: its bytes, or an empty view for NULL.
    virtual QByteArrayView text(int column) const = 0;
    virtual qint64 number(int column) const = 0;
    virtual bool isNull(int column) const = 0;
    // The rows a statement that reads none changed.
    virtual qint64 changes() const = 0;
    // Lets go of what the statement read and what was bound to it; false, with the failure logged, when a reading
    // after start() failed.
    bool finish();

    // The code of the last failure, as the database names it, and what the log says of it.
    const QString& code() const { return m_code; }
    QString failure() const;
    // Whether the last failure was of a name the server no longer knows (PostgreSQL's 26000: a reset, or a pooler's
    // new session): the store's statements are to be prepared again.
    bool forgotten() const;
    const QString& sql() const { return m_sql; }

protected:
    // Records a failure by its code, or by what the library says when it has none (a failure to reach the server,
    // whose message quotes no value); false.
    bool failedWith(const QString& code, const QString& message = {});

private:
    // What each database does for the calls above: prepare or find the compiled statement; run it, its first row (or
    // its end) at hand; step to the next row; let go of the rows and the bindings.
    virtual bool compile(const QString& sql) = 0;
    virtual bool execute() = 0;
    virtual bool step() = 0;
    virtual void reset() = 0;

    // Clears the last failure, before the statement is prepared or run anew.
    void forgetFailure();

    QString m_sql;
    QByteArrayList m_held;
    // Whether the last call failed, and what the database said of it.
    bool m_failed = false;
    QString m_code;
    QString m_message;
    // Whether the row at hand is the first, which start() reached, and whether a reading after it failed.
    bool m_atFirst = false;
    bool m_readingFailed = false;
};
