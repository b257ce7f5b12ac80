#include "data/serviceaddress.h"

#include "data/logcategories.h"
#include "data/shownaddress.h"

#include <QRegularExpression>
#include <QUrl>

namespace {
const char* const variable = "QUILLBAY_SERVICE_URL";
const char* const builtIn = "http://127.0.0.1:8647/";

// What is wrong with a refused address, on the terminal and to the user, in the order of ServiceAddress::Refusal.
struct RefusalText
{
    const char* said;
    const char* shown;
};
const RefusalText refusalTexts[] = {
    {"is no http or https address",
     QT_TRANSLATE_NOOP("ServiceAddress", "环境变量 %1 的值“%2”不是 http 或 https 地址，无法连接服务器。")},
    {"has a user name or password with an unencoded \"/\", \"?\", \"#\", \":\" or \"@\" (write them as %2F, %3F, "
     "%23, %3A, %40)",
     QT_TRANSLATE_NOOP("ServiceAddress",
                       "环境变量 %1 的值“%2”中的用户名或密码含有未经百分号编码的“/”、“?”、“#”、“:”或“@”，"
                       "无法连接服务器。")},
    {"has a query or a fragment",
     QT_TRANSLATE_NOOP("ServiceAddress",
                       "环境变量 %1 的值“%2”带有查询或片段（“?”或“#”及其后的部分），无法连接服务器。")},
    {"has a bad port (1 to 65535)",
     QT_TRANSLATE_NOOP("ServiceAddress", "环境变量 %1 的值“%2”的端口无效（应为 1 到 65535），无法连接服务器。")},
    {"has no valid host",
     QT_TRANSLATE_NOOP("ServiceAddress", "环境变量 %1 的值“%2”没有有效的主机名，无法连接服务器。")},
};

// The port as typed after the host. QUrl refuses a bad one only by calling the whole address invalid, and takes 0.
QString typedPort(const ShownAddress& written)
{
    static const QRegularExpression hostAndPort("^(?:\\[[^\\]/?#]*\\]|[^:/?#]*)(?::([^/?#]*))?");
    return hostAndPort.match(written.hostAndRest()).captured(1);
}
} // namespace

ServiceAddress::ServiceAddress(const QString& typed) : m_typed(typed.trimmed())
{
    const QUrl url(m_typed);
    m_refusal = check(ShownAddress(m_typed), url);
    if (m_refusal != Accepted)
        return;
    QString base = url.toString(QUrl::FullyEncoded);
    while (base.endsWith('/'))
        base.chop(1);
    m_baseUrl = base + '/';
}

ServiceAddress::Refusal ServiceAddress::check(const ShownAddress& written, const QUrl& url)
{
    const QString scheme = url.scheme();
    if (scheme != "http" && scheme != "https")
        return NotHttp;
    // Before anything QUrl read: it took the address apart elsewhere than the user meant it.
    if (written.hasUnencodedDelimiter())
        return UnencodedUserInfo;
    // A query or a fragment would end up in the middle of every request's address.
    if (url.hasQuery() || url.hasFragment())
        return QueryOrFragment;
    if (const QString port = typedPort(written); !port.isEmpty()) {
        bool number = false;
        const uint value = port.toUInt(&number);
        if (!number || value < 1 || value > 65535)
            return BadPort;
    }
    if (!url.isValid() || url.host().isEmpty())
        return NoHost;
    return Accepted;
}

ServiceAddress ServiceAddress::fromEnvironment()
{
    const QString typed = qEnvironmentVariable(variable).trimmed();
    const ServiceAddress address(typed.isEmpty() ? QString(builtIn) : typed);
    static QString warned;
    if (!address.isValid() && address.m_typed != warned) {
        warned = address.m_typed;
        qCCritical(lcOnline).noquote().nospace()
            << variable << "=\"" << address.shownValue() << "\" " << refusalTexts[address.m_refusal].said
            << ": the online service cannot be reached";
    }
    return address;
}

bool ServiceAddress::isValid() const
{
    return m_refusal == Accepted;
}

QString ServiceAddress::baseUrl() const
{
    return m_baseUrl;
}

QString ServiceAddress::problem() const
{
    if (isValid())
        return QString();
    return tr(refusalTexts[m_refusal].shown).arg(variable, shownValue());
}

QString ServiceAddress::shownValue() const
{
    return ShownAddress::of(m_typed);
}
