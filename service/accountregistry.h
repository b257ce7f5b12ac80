#pragma once

#include <QString>

class ServiceStore;

// Creates and checks accounts. Passwords are kept only as salted PBKDF2 keys, never as text.
class AccountRegistry
{
public:
    explicit AccountRegistry(ServiceStore& store);

    // An empty text on success, else why the account was not created.
    QString create(const QString& name, const QString& password);
    enum class Check
    {
        Accepted,
        Refused,
        StoreFailed
    };
    // Whether the name and password belong to an account, and then its user id.
    Check authenticate(const QString& name, const QString& password, QString& userId) const;

private:
    ServiceStore& m_store;
};
