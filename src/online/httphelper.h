#pragma once

#include <QList>
#include <QObject>
#include <QPair>
#include <QString>

class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;

// The online features' HTTP client: a form POST or a plain GET with fixed browser-like headers. The whole answer
// arrives as text through finished(QString); any failure (no connection, an HTTP status of 400 or above, a server
// that stays silent for the time-out) through error() without detail. Redirects are not followed and no proxy is
// used. Each request gets a manager of its own, so nothing is shared between two requests.
class HttpHelper : public QObject
{
    Q_OBJECT

public:
    // Form fields in the order the server receives them.
    using Form = QList<QPair<QString, QString>>;

    explicit HttpHelper(QObject* parent = nullptr);

    void post(const QString& url, const Form& form);
    void get(const QString& url);

    // Milliseconds without any data before a request is given up; defaultTimeout unless set.
    void setTimeout(int msecs);
    // The online service tells a request it cannot serve within this time that it is busy, so that the program says
    // why rather than report a broken connection.
    static constexpr int defaultTimeout = 60000;

    // name=value pairs joined by "&", UTF-8 percent-encoded with upper-case digits; a "+" goes out as "%2b" so
    // that the server does not read it as a blank.
    static QByteArray encodeForm(const Form& form);
    // The browser-like headers every request of the program carries; an Accept-Encoding, when given, goes
    // after Accept-Language.
    static void setBrowserHeaders(QNetworkRequest& request, const QByteArray& acceptEncoding = {});

signals:
    void finished(QString html);
    void error();

private slots:
    void replyFinished(QNetworkReply* reply);

private:
    QNetworkRequest request(const QString& url) const;
    QNetworkAccessManager* newManager();

    QNetworkAccessManager* manager = nullptr;
    int m_timeout = defaultTimeout;
};
