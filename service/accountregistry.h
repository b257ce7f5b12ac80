#pragma once

#include <QByteArrayView>
#include <QString>

class ServiceStore;

// Creates and checks accounts. Passwords are kept only as salted PBKDF2 keys, never as text.
class AccountRegistry
{
public:
    // Who is told why an account was not created: a user on the sign-up page, in the page's Chinese, or the operator
    // on the command line, in English as the service's other messages to the operator.
    enum class Reader
    {
        User,
        Operator
    };

    // `iterations`: the rounds of a new account's key, and of the stand-in key that refusing an unknown name costs.
    AccountRegistry(ServiceStore& store, int iterations, Reader reader = Reader::User);

    // An empty text when the name may be a new account's, else why not. Accounts stored before keep the names they
    // have, whatever this says of them.
    static QString nameRefusal(const QString& name, Reader reader);
    // An empty text when the name's bytes, as they were sent or given, are UTF-8, else why not: checked before they
    // become text, which would hide the bytes that are not.
    static QString encodingRefusal(QByteArrayView name, Reader reader);
    // An empty text when the name and password may make an account, else why not.
    static QString refusal(const QString& name, const QString& password, Reader reader = Reader::User);
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
    enum Reason
    {
        BadName,
        ControlInName,
        NotUtf8,
        EmptyPassword,
        PasswordCharacters,
        NameTaken,
        NotStored
    };
    static QString told(Reason reason, Reader reader);

    ServiceStore& m_store;
    int m_iterations;
    Reader m_reader;
};
