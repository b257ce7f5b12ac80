#pragma once

#include <QCoreApplication>
#include <QString>

// Reads the stored password of a book file before the book is opened. Probing a book never creates a file and
// writes nothing of its own; SQLite may roll back a write that a crash left half done.
class BookPassword
{
    Q_DECLARE_TR_FUNCTIONS(BookPassword)

public:
    // Whether the password could be read; a file that is missing or is no book cannot be logged in to.
    bool isReadable() const;
    // The plain password; empty for a book without one.
    QString password() const;
    // Why the password could not be read, for the user.
    QString errorText() const;

    static BookPassword read(const QString& path);

private:
    bool m_readable = false;
    QString m_password;
    QString m_errorText;
};
