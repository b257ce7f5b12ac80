#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>

// The single tbl_setting row of the open book, read once; passwords are plain here and scrambled in the file.
class DbSetting : public QObject
{
    Q_OBJECT

public:
    static DbSetting* getInstance();
    // Drops the singleton so that the next use reads the row of the book now open; only tests call it.
    static void resetInstance();

    QString getUserId() const;
    void setUserId(const QString& value);
    QString getUsername() const;
    void setUsername(const QString& value);
    QString getPassword() const;
    // Refuses, keeping the password as it was, a password that would not come back from its stored form:
    // the user could never log in to the book again.
    bool setPassword(const QString& value);
    QString getSyncUsername() const;
    void setSyncUsername(const QString& value);
    QString getSyncPassword() const;
    // A sync needs both the account name and its password.
    bool hasSyncAccount() const;
    void setSyncPassword(const QString& value);
    int getVersion() const;
    void setVersion(int value);
    QDateTime getSyncTime() const;
    // The sync time of a book that has not synced since it was made, restored, imported or reset.
    static constexpr const char* neverSynced = "2008-08-08 08:08:08";

    // Writes the six writable columns; false when the statement failed.
    bool save();

    static QString encodePassword(const QString& plain);
    static QString decodePassword(const QString& stored);
    // Whether a password comes back unchanged from its stored form; passwords that do not must be refused.
    static bool canStorePassword(const QString& plain);

    static QString xorString(const QString& text, char key);
    static QString md5Hex(const QString& text);
    static QByteArray toUtf8Bytes(const QString& text);
    static QString fromUtf8Bytes(const QByteArray& bytes);

private:
    explicit DbSetting(QObject* parent = nullptr);

    QString userId;
    QString username;
    QString password;
    QString syncUsername;
    QString syncPassword;
    int version = 0;
    QDateTime syncTime;
};
