#pragma once

#include <QByteArray>
#include <QString>

// The service's front page: a form that registers a sync account, with the outcome of the last attempt.
class SignupPage
{
public:
    static QByteArray html(const QString& notice = QString());
};
