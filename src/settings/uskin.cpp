#include "settings/uskin.h"

#include "ui_uskin.h"

#include "data/filesetting.h"
#include "widgets/stylesheet.h"

#include <QApplication>
#include <QPixmap>
#include <QPushButton>

#include <iterator>

namespace {
// Seven rows from dark to light; the columns run through the hues from red to pink, then greys.
const char* const rows[] = {
    "7E0000 844A00 746700 486A00 005C56 0B4B6C 003158 01004C 2F004A 500040 700135 202020",
    "960000 965400 968900 4D7600 006861 005582 003C74 002E74 440041 66013F A4002E 353535",
    "B20000 AC6900 C2B601 6A940F 00827A 0074AA 004B86 003484 53007A 880056 BE0035 4F4F4F",
    "E60005 E89107 DCCF00 7CAD14 009C8F 0086B8 3367BE 00469E 5B0086 A91E63 E60046 6E6E6E",
    "D8442B F49500 F0E100 8EC21F 00AC9D 019CE4 4489C9 4A6AC5 7B31A6 7B31A6 EB6673 8F8F8F",
    "EC6941 FFAF31 FFF053 B3D465 07C2B7 01B8F4 6596E8 6B80C4 8957A0 8957A0 F58088 ACACAC",
    "F29B75 F9C68A FFF58F CAE198 85CCC8 7DCBF4 89ABDA 8D97CA A989BC A989BC F19C9C C6C6C6",
};
} // namespace

USkin::USkin(QWidget* parent) : QFrame(parent), ui(new Ui::USkin)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Popup);
    for (int row = 0; row < int(std::size(rows)); ++row) {
        const QStringList hexes = QString(rows[row]).split(' ');
        for (int column = 0; column < hexes.size(); ++column) {
            const QString& hex = hexes[column];
            const QColor color("#" + hex);
            auto* button = new QPushButton(this);
            button->setObjectName("pb" + hex);
            QPixmap swatch(25, 25);
            swatch.fill(color);
            button->setIcon(QIcon(swatch));
            button->setProperty("color", color);
            connect(button, &QPushButton::clicked, this, &USkin::colorClick);
            ui->gridLayout->addWidget(button, row, column);
        }
    }
}

USkin::~USkin()
{
    delete ui;
}

void USkin::colorClick()
{
    const QString color = "#" + sender()->objectName().mid(2);
    qApp->setStyleSheet(StyleSheet::compose(qApp->styleSheet(), color));
    FileSetting::getInstance()->setValue("Color/SkinColor", color);
}

void USkin::on_pbUseDefaultSkin_clicked()
{
    qApp->setStyleSheet(StyleSheet::restoreDefault(qApp->styleSheet()));
    FileSetting::getInstance()->setValue("Color/SkinColor", "#FFFFFF");
}
