#include "online/httphelper.h"

#include "data/logcategories.h"

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

HttpHelper::HttpHelper(QObject* parent) : QObject(parent) {}

void HttpHelper::post(const QString& url, const Form& form)
{
    QNetworkRequest req = request(url);
    req.setHeader(QNetworkRequest::ContentTypeHeader, "application/x-www-form-urlencoded");
    newManager()->post(req, encodeForm(form));
}

void HttpHelper::get(const QString& url)
{
    newManager()->get(request(url));
}

void HttpHelper::setTimeout(int msecs)
{
    m_timeout = msecs;
}

QByteArray HttpHelper::encodeForm(const Form& form)
{
    QByteArrayList pairs;
    for (const auto& [name, value] : form)
        pairs << name.toUtf8().toPercentEncoding("!$'()*+,;:@/?") + '=' +
                     value.toUtf8().toPercentEncoding("!$'()*+,;:@/?");
    return pairs.join('&').replace("+", "%2b");
}

void HttpHelper::setBrowserHeaders(QNetworkRequest& request, const QByteArray& acceptEncoding)
{
    request.setRawHeader("User-Agent", "Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 5.1; .NET CLR 1.1.4322; .NET "
                                       "CLR 2.0.50727; .NET CLR 3.0.04506.30)");
    request.setRawHeader("Accept", "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8");
    request.setRawHeader("Accept-Language", "zh-cn,zh;q=0.5");
    if (!acceptEncoding.isEmpty())
        request.setRawHeader("Accept-Encoding", acceptEncoding);
    request.setRawHeader("Accept-Charset", "utf-8;q=0.7,*;q=0.7");
    request.setRawHeader("Connection", "keep-alive");
}

QNetworkRequest HttpHelper::request(const QString& url) const
{
    QNetworkRequest req{QUrl(url)};
    setBrowserHeaders(req);
    req.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    // Without it a server that accepts the connection and never answers would hold the request open for ever.
    req.setTransferTimeout(m_timeout);
    return req;
}

QNetworkAccessManager* HttpHelper::newManager()
{
    manager = new QNetworkAccessManager(this);
    manager->setProxy(QNetworkProxy::NoProxy);
    connect(manager, &QNetworkAccessManager::finished, this, &HttpHelper::replyFinished);
    return manager;
}

void HttpHelper::replyFinished(QNetworkReply* reply)
{
    if (reply->error() != QNetworkReply::NoError) {
        qCWarning(lcOnline) << "http request error :" << int(reply->error());
        emit error();
        return;
    }
    // The whole body, zero bytes included: a text cut at one would lose what follows it.
    emit finished(QString::fromUtf8(reply->readAll()));
}
