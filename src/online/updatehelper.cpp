#include "online/updatehelper.h"

#include <QDebug>

UpdateHelper::UpdateHelper(QObject* parent, bool automatic) : QObject(parent), m_automatic(automatic) {}

void UpdateHelper::checkVersion()
{
    qDebug() << "update check: no update service connected; automatic" << m_automatic;
}
