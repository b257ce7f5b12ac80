#include "widgets/weblink.h"

#include "data/constants.h"
#include "data/shownaddress.h"
#include "platform/urlopener.h"
#include "widgets/dmessagebox.h"

void WebLink::open(QWidget* parent, const QUrl& url)
{
    if (!UrlOpener::current()->open(url))
        DMessageBox::informationToCopy(parent, tr("无法打开网页"),
                                       tr("没有找到能打开网页的浏览器。\n请复制下面的网址，在浏览器中打开：\n%1")
                                           .arg(ShownAddress::of(url.toString())));
}

void WebLink::openService(QWidget* parent, const QString& path)
{
    const Constants* constants = Constants::getInstance();
    if (const QString problem = constants->getServiceUrlProblem(); !problem.isEmpty())
        DMessageBox::error(parent, problem);
    else
        open(parent, QUrl(constants->getBaseUrl() + path));
}
