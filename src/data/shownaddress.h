#pragma once

#include <QString>

// A web address as a person may see it, on the screen or on the terminal: everything as written but the password
// written into it. The user name stays, so that the address still leads to the same account's page, where a
// browser asks for the password itself; the password is nobody else's business.
//
// Works on the text as written, since QUrl gives no text at all for an address it finds invalid and a refused
// address is shown as the user typed it. Everything between the scheme's "//" and the last "@" is the user
// information, whatever it holds: a password may hold any character, and a path with an "@" of its own is rare,
// so a doubtful address loses some of its path on the screen rather than show a password.
class ShownAddress
{
public:
    explicit ShownAddress(const QString& written);
    static QString of(const QString& written);

    QString text() const;
    // Whether the user information holds a character that other readers, QUrl among them, take for the end of the
    // user name, the password or the host: "/", "?", "#" or "@" anywhere in it, ":" in the password. Such an
    // address would reach another host or account than the one it shows.
    bool hasUnencodedDelimiter() const;
    // What follows the user information: the host, the port and the rest.
    QString hostAndRest() const;

private:
    QString m_scheme; // with its "//"; empty when the address was written without one
    bool m_hasUserInfo = false;
    QString m_user;
    QString m_password;
    QString m_hostAndRest;
};
