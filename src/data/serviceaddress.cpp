#include "data/serviceaddress.h"

#include "data/logcategories.h"

#include <QUrl>

namespace {
const char* const variable = "QUILLBAY_SERVICE_URL";
const char* const builtIn = "http://127.0.0.1:8647/";
} // namespace

ServiceAddress::ServiceAddress(const QString& typed) : m_typed(typed.trimmed())
{
    const QUrl url(m_typed);
    const QString scheme = url.scheme();
    // A query or a fragment would end up in the middle of every request's address.
    if (!url.isValid() || (scheme != "http" && scheme != "https") || url.host().isEmpty() || url.hasQuery() ||
        url.hasFragment())
        return;
    QString base = url.toString(QUrl::FullyEncoded);
    while (base.endsWith('/'))
        base.chop(1);
    m_baseUrl = base + '/';
}

ServiceAddress ServiceAddress::fromEnvironment()
{
    const QString typed = qEnvironmentVariable(variable).trimmed();
    const ServiceAddress address(typed.isEmpty() ? QString(builtIn) : typed);
    static QString warned;
    if (!address.isValid() && address.m_typed != warned) {
        warned = address.m_typed;
        qCCritical(lcOnline).noquote().nospace()
            << variable << "=\"" << address.shownValue()
            << "\" is no http or https address: the online service cannot be reached";
    }
    return address;
}

bool ServiceAddress::isValid() const
{
    return !m_baseUrl.isEmpty();
}

QString ServiceAddress::baseUrl() const
{
    return m_baseUrl;
}

QString ServiceAddress::problem() const
{
    if (isValid())
        return QString();
    return tr("环境变量 %1 的值“%2”不是 http 或 https 地址，无法连接服务器。").arg(variable, shownValue());
}

QString ServiceAddress::shownValue() const
{
    // A password written into the address is nobody else's business, on the terminal or on the screen.
    const QUrl url(m_typed);
    return url.password().isEmpty() ? m_typed : url.toString(QUrl::RemovePassword);
}
