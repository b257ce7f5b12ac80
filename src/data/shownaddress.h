#pragma once

#include <QString>

// A web address as a person may see it, on the screen or on the terminal: everything as written but the password
// written into it. The user name stays, so that the address still leads to the same account's page, where a
// browser asks for the password itself; the password is nobody else's business.
class ShownAddress
{
public:
    // Works on the text as written, since QUrl gives no text at all for an address it finds invalid and a refused
    // address is shown as the user typed it.
    static QString of(const QString& address);
};
