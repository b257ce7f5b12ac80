#pragma once

#include <QString>

class ServiceStore;

// Creates and checks accounts. Passwords are kept only as salted PBKDF2 keys, never as text.
class AccountRegistry
{
public:
    // `iterations`: the rounds of a new account's key, and of the stand-in key that refusing an unknown name costs.
    AccountRegistry(ServiceStore& store, int iterations);

    // An empty text when the name and password may make an account, else why not.
    static QString refusal(const QString& name, const QString& password);
    // An empty text on success, else why the account was not created.
    QString create(const QString& name, const QString& password);
    enum class Check
    {
        Accepted,
        Refused,
        StoreFailed
    };
    // Whether the name and password belong to an account, and then its user id. An unknown name costs the same
    // derivation as a known one, so that the time taken does not tell whether a name exists.
    Check authenticate(const QString& name, const QString& password, QString& userId) const;

private:
    ServiceStore& m_store;
    int m_iterations;
};
