#include "data/shownaddress.h"

#include <QRegularExpression>

QString ShownAddress::of(const QString& address)
{
    // The user name ends at the first ":", as QUrl reads it, and the password at the last "@" before the path, so
    // that an "@" left unencoded in a password takes none of it along. An address typed without its scheme keeps
    // its password out of sight too.
    static const QRegularExpression password("^((?:[^:/?#]+://)?[^:/?#@]*):[^/?#]*@");
    return QString(address).replace(password, "\\1@");
}
