#include "data/shownaddress.h"

#include <QRegularExpression>

ShownAddress::ShownAddress(const QString& written)
{
    // An address written without its scheme keeps its password out of sight too.
    static const QRegularExpression scheme("^[^:/?#]+://");
    const qsizetype start = scheme.match(written).capturedLength();
    m_scheme = written.left(start);
    const qsizetype at = written.lastIndexOf('@');
    if (at < start) {
        m_hostAndRest = written.mid(start);
        return;
    }
    // The user name ends at the first ":", as QUrl reads it.
    m_hasUserInfo = true;
    const QString userInfo = written.mid(start, at - start);
    const qsizetype colon = userInfo.indexOf(':');
    m_user = colon < 0 ? userInfo : userInfo.left(colon);
    if (colon >= 0)
        m_password = userInfo.mid(colon + 1);
    m_hostAndRest = written.mid(at + 1);
}

QString ShownAddress::of(const QString& written)
{
    return ShownAddress(written).text();
}

QString ShownAddress::text() const
{
    return m_hasUserInfo ? m_scheme + m_user + '@' + m_hostAndRest : m_scheme + m_hostAndRest;
}

bool ShownAddress::hasUnencodedDelimiter() const
{
    static const QRegularExpression inUser("[/?#@]"), inPassword("[/?#:@]");
    return m_user.contains(inUser) || m_password.contains(inPassword);
}

QString ShownAddress::hostAndRest() const
{
    return m_hostAndRest;
}
