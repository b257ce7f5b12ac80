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
    // The account's user id; empty when the name is unknown or the password is wrong.
    QString authenticate(const QString& name, const QString& password) const;

private:
    ServiceStore& m_store;
};
