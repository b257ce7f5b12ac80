#include "widgets/stylesheet.h"

#include "data/filesetting.h"
#include "widgets/skintone.h"

#include <QColor>
#include <QFile>

QString StyleSheet::compose(const QString& sheet, const QString& skinColor)
{
    // Only the exact default text counts as white: "#ffffff" is a chosen colour like any other.
    if (skinColor.isEmpty() || skinColor == "#FFFFFF")
        return sheet;
    return sheet + "\r\n" + SkinTone::rulesFor(QColor(skinColor)) + "\r\n" +
           QString("MainWindow{border-image:none;background-color:%1}").arg(skinColor) + "\r\n" +
           QString("QDialog[style=dialog]{border-image:none;background-color:%1}").arg(skinColor);
}

QString StyleSheet::restoreDefault(const QString& sheet)
{
    return sheet + "\r\n" + SkinTone::defaultRules() + "\r\n" +
           "MainWindow{border-image:url(:/rc/images/BgMainWindow.png) 101 2 26 2 ;}" + "\r\n" +
           "QDialog[style=dialog]{border-image:url(:/rc/images/BgMessageBox.png) 60 2 40 2 ;}";
}

QString StyleSheet::load()
{
    QFile file(":/rc/style/default.qss");
    // The sheet is plain ASCII.
    const QString sheet = file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()) : QString();
    return compose(sheet, FileSetting::getInstance()->getValue("Color/SkinColor", "#FFFFFF").toString());
}
