#pragma once

#include "accountregistry.h"

#include <QByteArray>
#include <QHttpServer>
#include <QString>

class FormData;
class ServiceStore;

// The version the update check offers.
struct UpdateOffer
{
    int versionCode = 44;
    QString versionName = "2.2";
};

// The HTTP face of the service. Every answer of the program's paths is HTTP 200, because the program turns any
// error status into a bare transfer failure: refusals travel as {"error": code, "message": text}.
class SyncService
{
public:
    SyncService(ServiceStore& store, const QString& dataDir, const UpdateOffer& offer);

    // The port listened on at 127.0.0.1 (a free one when asked for 0); 0 when it cannot listen.
    quint16 listen(quint16 port);

private:
    using FormHandler = QByteArray (SyncService::*)(const FormData&);
    // A path whose form body, up to 64 MB, the handler answers with JSON.
    void routeForm(const char* path, FormHandler handler);

    QByteArray signup(const QHttpServerRequest& request);
    QByteArray userId(const FormData& form);
    QByteArray sync(const FormData& form);
    QByteArray feedback(const FormData& form);
    QByteArray version(const QHttpServerRequest& request) const;
    QByteArray installer();

    ServiceStore& m_store;
    AccountRegistry m_accounts;
    QString m_dataDir;
    UpdateOffer m_offer;
    QByteArray m_installer;
    QHttpServer m_server;
};
