#include "data/dbsetting.h"

#include "data/logcategories.h"

#include <QCryptographicHash>
#include <QSqlError>
#include <QSqlQuery>

namespace {
DbSetting* instance = nullptr;
// Below 0x80, so that an ASCII password stays ASCII and its scrambled bytes are valid UTF-8.
const char passwordKey = 0x17;
const int frameLength = 5;
} // namespace

DbSetting* DbSetting::getInstance()
{
    if (!instance)
        instance = new DbSetting;
    return instance;
}

void DbSetting::resetInstance()
{
    delete instance;
    instance = nullptr;
}

DbSetting::DbSetting(QObject* parent) : QObject(parent)
{
    QSqlQuery query(
        "select user_id, username,password, sync_username,sync_password,version,sync_time from tbl_setting");
    if (query.next()) {
        userId = query.value(0).toString();
        username = query.value(1).toString();
        password = decodePassword(query.value(2).toString());
        syncUsername = query.value(3).toString();
        syncPassword = decodePassword(query.value(4).toString());
        version = query.value(5).toInt();
        syncTime = query.value(6).toDateTime();
    } else {
        qCWarning(lcData) << "reading tbl_setting" << query.lastError().text();
    }
}

QString DbSetting::getUserId() const
{
    return userId;
}

void DbSetting::setUserId(const QString& value)
{
    userId = value;
}

QString DbSetting::getUsername() const
{
    return username;
}

void DbSetting::setUsername(const QString& value)
{
    username = value;
}

QString DbSetting::getPassword() const
{
    return password;
}

bool DbSetting::setPassword(const QString& value)
{
    if (!canStorePassword(value))
        return false;
    password = value;
    return true;
}

QString DbSetting::getSyncUsername() const
{
    return syncUsername;
}

void DbSetting::setSyncUsername(const QString& value)
{
    syncUsername = value;
}

QString DbSetting::getSyncPassword() const
{
    return syncPassword;
}

bool DbSetting::hasSyncAccount() const
{
    return !getSyncUsername().isEmpty() && !getSyncPassword().isEmpty();
}

void DbSetting::setSyncPassword(const QString& value)
{
    syncPassword = value;
}

int DbSetting::getVersion() const
{
    return version;
}

void DbSetting::setVersion(int value)
{
    version = value;
}

QDateTime DbSetting::getSyncTime() const
{
    return syncTime;
}

bool DbSetting::save()
{
    QSqlQuery query;
    query.prepare("update tbl_setting set user_id=?, username=?,password=?, sync_username=?,sync_password=?,version=?");
    // A text never given a value is a null QString, which binds as NULL.
    query.addBindValue(userId);
    query.addBindValue(username);
    query.addBindValue(encodePassword(password));
    query.addBindValue(syncUsername);
    query.addBindValue(encodePassword(syncPassword));
    query.addBindValue(version);
    if (!query.exec()) {
        qCWarning(lcData) << "saving tbl_setting" << query.lastError().text();
        return false;
    }
    return true;
}

QString DbSetting::encodePassword(const QString& plain)
{
    const QString x = xorString(plain, passwordKey);
    const QString h = md5Hex(x);
    return h.left(frameLength) + x + h.right(frameLength);
}

QString DbSetting::decodePassword(const QString& stored)
{
    if (stored.length() <= 2 * frameLength - 1)
        return QString();
    const QString x = stored.mid(frameLength, stored.length() - 2 * frameLength);
    const QString h = md5Hex(x);
    if (h.startsWith(stored.left(frameLength)) && h.endsWith(stored.right(frameLength)))
        return xorString(x, passwordKey);
    return QString();
}

bool DbSetting::canStorePassword(const QString& plain)
{
    return decodePassword(encodePassword(plain)) == plain;
}

QString DbSetting::xorString(const QString& text, char key)
{
    QByteArray bytes = toUtf8Bytes(text);
    for (char& b : bytes)
        b = char(b ^ key);
    return fromUtf8Bytes(bytes);
}

QString DbSetting::md5Hex(const QString& text)
{
    return QString::fromLatin1(QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Md5).toHex());
}

QByteArray DbSetting::toUtf8Bytes(const QString& text)
{
    return text.isEmpty() ? QByteArray() : text.toUtf8();
}

QString DbSetting::fromUtf8Bytes(const QByteArray& bytes)
{
    return bytes.isEmpty() ? QString() : QString::fromUtf8(bytes);
}
