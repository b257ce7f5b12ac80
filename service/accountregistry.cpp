#include "accountregistry.h"

#include "servicestore.h"
#include "terminaltext.h"
#include "utf8bytes.h"

#include <QRandomGenerator>

#include <openssl/evp.h>

#include <limits>
#include <new>

namespace {
const int keyLength = 32;
const int saltLength = 16;
const int maxNameLength = 64;

// PBKDF2 with HMAC-SHA-256. Every request pays for it, so it runs on the crypto library's derivation, several times
// faster than a generic one for the same key; empty when the password is longer than it takes, which matches no
// stored key. The derivation fails only for want of memory, which is no wrong password: it throws, and the request
// is answered as one whose work failed, without counting against its address as a failed sign-in.
QByteArray derive(const QString& password, const QByteArray& salt, int rounds)
{
    const QByteArray secret = password.toUtf8();
    if (secret.size() > std::numeric_limits<int>::max())
        return QByteArray();
    QByteArray key(keyLength, Qt::Uninitialized);
    if (PKCS5_PBKDF2_HMAC(secret.constData(), int(secret.size()),
                          reinterpret_cast<const unsigned char*>(salt.constData()), int(salt.size()), rounds,
                          EVP_sha256(), keyLength, reinterpret_cast<unsigned char*>(key.data())) != 1)
        throw std::bad_alloc();
    return key;
}

// Compares in time independent of where the keys differ.
bool sameKey(const QByteArray& a, const QByteArray& b)
{
    if (a.size() != b.size())
        return false;
    char difference = 0;
    for (int i = 0; i < a.size(); ++i)
        difference |= char(a.at(i) ^ b.at(i));
    return difference == 0;
}

// What an unknown name's password is derived with.
const QByteArray& standInSalt()
{
    static const QByteArray salt = [] {
        QByteArray bytes(saltLength, Qt::Uninitialized);
        QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
        return bytes;
    }();
    return salt;
}

// Eight digits and "00": every device binds its default records with the eight digits as their prefix.
QString newUserId()
{
    return QString::number(QRandomGenerator::system()->bounded(10000000, 100000000)) + "00";
}
} // namespace

AccountRegistry::AccountRegistry(ServiceStore& store, int iterations, Reader reader)
    : m_store(store), m_iterations(iterations), m_reader(reader)
{
}

QString AccountRegistry::told(Reason reason, Reader reader)
{
    struct Text
    {
        const char16_t* user;
        const char* operatorText;
    };
    static const Text texts[] = {
        {u"用户名须为1到64个字符，首尾不能有空格",
         "the name must have 1 to 64 characters, with no blank at either end"},
        {u"用户名不能含有换行符、制表符等控制字符",
         "the name may hold no control character (U+0000 to U+001F, U+007F to U+009F, U+2028, U+2029), such as a line "
         "break or a tab"},
        {u"用户名含有无法识别的字符，请重新输入",
         "the name must be UTF-8 text: each byte shown as \\x80 to \\xff is no part of a UTF-8 character"},
        {u"密码不能为空", "the password, the first line of standard input, is empty"},
        {u"密码只能使用英文字母、数字和符号", "the password may hold only ASCII letters, digits, symbols and blanks"},
        {u"用户名已被注册", "an account of that name exists already"},
        {u"账号未能保存，请稍后重试", "the store did not take the account"},
    };
    const Text& text = texts[reason];
    return reader == Reader::User ? QString::fromUtf16(text.user) : QString(text.operatorText);
}

QString AccountRegistry::nameRefusal(const QString& name, Reader reader)
{
    // Characters, as a person counts them: one beyond the Basic Multilingual Plane, an emoji, takes two UTF-16 units.
    if (name.isEmpty() || name.toUcs4().size() > maxNameLength)
        return told(BadName, reader);
    // The program shows the name on one line, and the service prints it when the operator adds the account: a control
    // character would break the line or move the terminal's cursor. Told before the blanks, as a line break or a tab
    // at either end is one too.
    if (TerminalText::holdsControl(name))
        return told(ControlInName, reader);
    if (name.trimmed() != name)
        return told(BadName, reader);
    return QString();
}

QString AccountRegistry::encodingRefusal(QByteArrayView name, Reader reader)
{
    // Read as text, each such byte would become U+FFFD: two names that differ would become one, which the account
    // then holds, and neither could be typed again as it was sent.
    return Utf8Bytes::isValid(name) ? QString() : told(NotUtf8, reader);
}

QString AccountRegistry::refusal(const QString& name, const QString& password, Reader reader)
{
    if (const QString refused = nameRefusal(name, reader); !refused.isEmpty())
        return refused;
    if (password.isEmpty())
        return told(EmptyPassword, reader);
    // The program keeps the sync password only in letters, digits and symbols: an account with any other
    // password could never be bound to a book.
    for (const QChar c : password)
        if (c.unicode() < 0x20 || c.unicode() > 0x7E)
            return told(PasswordCharacters, reader);
    return QString();
}

QString AccountRegistry::create(const QString& name, const QString& password)
{
    if (const QString refused = refusal(name, password, m_reader); !refused.isEmpty())
        return refused;
    std::optional<StoredAccount> existing;
    if (!m_store.account(name, existing))
        return told(NotStored, m_reader);
    if (existing)
        return told(NameTaken, m_reader);

    QByteArray salt(saltLength, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(salt.data()), salt.size() / 4);
    StoredAccount account{name, QString(), salt, m_iterations, derive(password, salt, m_iterations)};
    // A user id another account already holds makes the insert fail; another draw almost always succeeds.
    for (int attempt = 0; attempt < 5; ++attempt) {
        account.userId = newUserId();
        if (m_store.addAccount(account))
            return QString();
        if (m_store.account(name, existing) && existing)
            return told(NameTaken, m_reader);
    }
    return told(NotStored, m_reader);
}

AccountRegistry::Check AccountRegistry::authenticate(const QString& name, const QString& password,
                                                     QString& userId) const
{
    userId.clear();
    // No account has an empty password; one kept from before that check still cannot be signed in to with it.
    if (password.isEmpty())
        return Check::Refused;
    std::optional<StoredAccount> account;
    if (!m_store.account(name, account))
        return Check::StoreFailed;
    const QByteArray key =
        account ? derive(password, account->salt, account->iterations) : derive(password, standInSalt(), m_iterations);
    if (!account || !sameKey(key, account->hash))
        return Check::Refused;
    userId = account->userId;
    return Check::Accepted;
}
