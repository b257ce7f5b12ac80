#pragma once

#include <QCoreApplication>
#include <QString>

// The online service's base address as a user types it into QUILLBAY_SERVICE_URL: with or without the closing "/",
// and with a path in front of the service's own paths when a proxy serves it below one. Only an http or https
// address is taken; anything else could only make every request fail without saying why.
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
    // What the user is told when the address is refused, naming the variable and its value; empty otherwise.
    QString problem() const;

private:
    QString shownValue() const;

    QString m_typed;
    QString m_baseUrl;
};
