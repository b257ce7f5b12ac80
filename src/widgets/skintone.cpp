#include "widgets/skintone.h"

#include <QStringList>
#include <QtMath>

namespace {
double linear(double channel)
{
    return channel <= 0.03928 ? channel / 12.92 : qPow((channel + 0.055) / 1.055, 2.4);
}

// The images on the skin colour, each with the widgets that show it; their dark variants carry the suffix "Dark".
const struct
{
    const char* selector;
    const char* property;
    const char* image;
} images[] = {
    {"UToolBar > #pbBook", "qproperty-icon", "IcoHome"},
    {"UToolBar > #tbSync", "qproperty-icon", "IcoSync"},
    {"UToolBar > #tbData", "qproperty-icon", "IcoDatabase"},
    {"UToolBar > #tbSetting", "qproperty-icon", "IcoSetting"},
    {"UToolBar > #tbWebsite", "qproperty-icon", "IcoWebsite"},
    {"UToolBar > #tbWeibo", "qproperty-icon", "IcoWeibo"},
    {"UToolBar > #tbFeedback", "qproperty-icon", "IcoFeedback"},
    {"UTitleBar #pbSkin", "qproperty-icon", "BtnToolBoxSetting"},
    {"UTitleBar #minButton", "qproperty-icon", "BtnToolBoxMin"},
    {"UTitleBar #maxButton", "qproperty-icon", "BtnToolBoxMax"},
    {"UTitleBar #pbClose, UDialogTitle #pbClose", "qproperty-icon", "BtnToolBoxClose"},
    {"UTitleBar #label, UTitleBar #label_2, UTitleBar #label_3", "qproperty-pixmap", "BgToolBoxSeparator"},
    {"#wgtTitleBar > QPushButton:hover, QDialog[style=dialog] #pbClose:hover", "background-image", "BgToolBoxButton"},
    {"#wgtToolBar > QToolButton:hover, #wgtToolBar > QToolButton:checked", "background-image", "BgToolbarButton"},
    {"#fmCloud", "background-image", "BgTitleBarCloud"},
    {"QSizeGrip", "image", "BgSizeGrip"},
    {"#wgtStatusBar #label_3", "qproperty-pixmap", "IcoMonth"},
    {"#wgtStatusBar #label", "qproperty-pixmap", "IcoYear"},
};
} // namespace

double SkinTone::luminance(const QColor& color)
{
    const QColor rgb = color.toRgb();
    return 0.2126 * linear(rgb.redF()) + 0.7152 * linear(rgb.greenF()) + 0.0722 * linear(rgb.blueF());
}

double SkinTone::contrast(const QColor& a, const QColor& b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (qMax(la, lb) + 0.05) / (qMin(la, lb) + 0.05);
}

QColor SkinTone::foreground(const QColor& background)
{
    const QColor white(Qt::white);
    const QColor black(Qt::black);
    return contrast(background, white) >= contrast(background, black) ? white : black;
}

QString SkinTone::rulesFor(const QColor& background)
{
    if (foreground(background) == QColor(Qt::white))
        return rules({"#FFFFFF", "#FFFFFF", "#FFFFFF"}, "", "255, 255, 255");
    return rules({"#000000", "#000000", "#000000"}, "Dark", "0, 0, 0");
}

QString SkinTone::defaultRules()
{
    // The default look's status bar keeps its white texts and its pale link on the accent.
    return rules({"#E3F4F1", "#FFFFFF", "#CCEEFF"}, "", "255, 255, 255");
}

QString SkinTone::rules(const Foreground& text, const QString& imageSuffix, const QString& overlay)
{
    QStringList list;
    list << QString("#lblWindowTitle, #lblCurrentBook, #cbBookList, #wgtToolBar > QToolButton, "
                    "#wgtToolBar > QToolButton:hover, #wgtToolBar > QToolButton:checked, "
                    "QDialog[style=dialog] #tlTitle{color:%1}")
                .arg(text.header);
    // The same selectors as the sheet's own rule for these labels, so that the later rule wins.
    list << QString("#wgtStatusBar #lblSyncTime, #wgtStatusBar #lblMonthSummary, #wgtStatusBar #lblTotalSummary"
                    "{color:%1}")
                .arg(text.statusBar);
    list << QString("UStatusBar{qproperty-linkColor:%1}").arg(text.link);
    list << QString("#wgtToolBar > QToolButton:hover{border-color:rgba(%1, 70)}").arg(overlay);
    list << QString("#wgtToolBar > QToolButton:checked{border-color:rgba(%1, 120)}").arg(overlay);
    for (const auto& image : images)
        list << QString("%1{%2:url(:/rc/images/%3%4.png)}")
                    .arg(image.selector, image.property, image.image, imageSuffix);
    return list.join("\r\n");
}
