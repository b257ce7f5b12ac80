#pragma once

#include <QByteArray>
#include <QString>

// The pages the service shows in a browser, in one look. Every text put into them is escaped.
class ServicePages
{
public:
    // The front page: a form that registers a sync account, with the outcome of the last attempt and the name it
    // was made with when it was refused, for the user to mend rather than type again.
    static QByteArray signup(const QString& notice = QString(), const QString& name = QString());
    // The makers' news, which the program's microblog button opens; the offered version's name when there is one.
    static QByteArray news(const QString& offeredVersion);

private:
    static QByteArray page(const QString& title, const QString& body);
};
