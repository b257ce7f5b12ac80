#include "online/updatehelper.h"

#include "data/constants.h"
#include "data/logcategories.h"
#include "online/dupdate.h"
#include "online/httphelper.h"
#include "online/json.h"
#include "online/mversion.h"

#include <QMetaType>
#include <cmath>

namespace {
// The code may come as a number or as a text of digits; a fraction is cut off, anything else is 0.
int versionCode(const QVariant& value)
{
    if (value.typeId() == QMetaType::QString)
        return value.toString().toInt();
    const double number = value.toDouble();
    return std::isfinite(number) && std::fabs(number) < 2147483648.0 ? int(std::trunc(number)) : 0;
}
} // namespace

UpdateHelper::UpdateHelper(QWidget* parent, bool automatic)
    : QObject(parent), parentWidget(parent), automatic(automatic), version(new MVersion(this))
{
}

void UpdateHelper::checkVersion()
{
    // Only the latest check is answered.
    delete http;
    http = nullptr;
    const Constants* constants = Constants::getInstance();
    if (const QString problem = constants->getServiceUrlProblem(); !problem.isEmpty()) {
        emit checkFailed(problem);
        return;
    }
    http = new HttpHelper(this);
    connect(http, &HttpHelper::finished, this, &UpdateHelper::downloaded);
    http->get(constants->getBaseUrl() + "client/pc.php?ver=" + QString::number(constants->getVersionCode()));
}

void UpdateHelper::downloaded(QString html)
{
    qCDebug(lcOnline) << "update answer:" << html.size() << "characters";
    const QVariantMap answer = JSON::getInstance()->toMap(html);
    version->description = answer.value("description").toString();
    version->vername = answer.value("vername").toString();
    version->vercode = versionCode(answer.value("vercode"));
    version->url1 = answer.value("url1").toString();
    version->url2 = answer.value("url2").toString();
    if (!automatic) {
        emit versionChecked(version);
        return;
    }
    if (version->vercode > Constants::getInstance()->getVersionCode()) {
        DUpdate dialog(parentWidget, version);
        dialog.exec();
    }
}
