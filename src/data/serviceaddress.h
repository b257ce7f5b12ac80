#pragma once

#include <QCoreApplication>
#include <QString>

class QUrl;
class ShownAddress;

// The online service's base address as a user types it into QUILLBAY_SERVICE_URL: with or without the closing "/",
// and with a path in front of the service's own paths when a proxy serves it below one. Only an http or https
// address with a host, a port from 1 to 65535 if any, neither query nor fragment, and a user name and password whose
// delimiters are percent-encoded is taken; anything else could only make every request fail without saying why, or
// reach another host than the one shown. Everything that talks to the service or opens one of its pages
// goes through this one check.
class ServiceAddress
{
    Q_DECLARE_TR_FUNCTIONS(ServiceAddress)

public:
    explicit ServiceAddress(const QString& typed);
    // QUILLBAY_SERVICE_URL, or the built-in address when it is unset or blank. A value that is refused is said on
    // the terminal the first time it is read, since every request reads it again.
    static ServiceAddress fromEnvironment();

    bool isValid() const;
    // An absolute root ending in "/", to which a service path is appended; empty when the address is refused.
    QString baseUrl() const;
    // What the user is told when the address is refused: the variable, its value and what is wrong with it; empty
    // otherwise.
    QString problem() const;

private:
    enum Refusal
    {
        NotHttp,
        UnencodedUserInfo,
        QueryOrFragment,
        BadPort,
        NoHost,
        Accepted
    };

    static Refusal check(const ShownAddress& written, const QUrl& url);
    QString shownValue() const;

    QString m_typed;
    Refusal m_refusal;
    QString m_baseUrl;
};
