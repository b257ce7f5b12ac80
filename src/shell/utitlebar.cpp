#include "shell/utitlebar.h"

#include "ui_utitlebar.h"

#include "data/bookshelf.h"
#include "data/constants.h"
#include "settings/uskin.h"
#include "widgets/popupwidth.h"
#include "widgets/programrestart.h"
#include "widgets/stylepainter.h"

#include <QFileSystemWatcher>
#include <QListView>
#include <QMouseEvent>

namespace {
QString baseName(const QString& fileName)
{
    return fileName.left(fileName.size() - 3);
}
} // namespace

UTitleBar::UTitleBar(QWidget* parent) : QWidget(parent), ui(new Ui::UTitleBar)
{
    ui->setupUi(this);
    // The title bar sits in the header, the header in the main window's central widget.
    mainWindow = window();
    connect(ui->pbClose, &QPushButton::clicked, mainWindow, &QWidget::close);
    connect(ui->minButton, &QPushButton::clicked, mainWindow, &QWidget::showMinimized);
    ui->lblWindowTitle->setText(tr("Quillbay云记账") + " " + Constants::getInstance()->getVersion());
    ui->cbBookList->setView(new QListView(this));
    bindBookList();

    auto* watcher = new QFileSystemWatcher(this);
    watcher->addPath(Constants::getInstance()->getDbDir());
    connect(watcher, &QFileSystemWatcher::directoryChanged, this, &UTitleBar::bindBookList);
}

UTitleBar::~UTitleBar()
{
    delete ui;
}

void UTitleBar::bindBookList(const QString&)
{
    const QSignalBlocker blocker(ui->cbBookList);
    ui->cbBookList->clear();
    const QFileInfoList files = BookShelf::books(Constants::getInstance()->getDbDir());
    const QString current = baseName(Constants::getInstance()->getBookName());
    ui->cbBookList->addItem(tr("[切换账本]"));
    for (const QFileInfo& file : files) {
        if (baseName(file.fileName()) != current)
            ui->cbBookList->addItem(baseName(file.fileName()), file.fileName());
    }
    // The switcher itself is narrow and its list may use a larger font.
    PopupWidth::fit(ui->cbBookList);
    const bool several = files.size() >= 2;
    ui->lblCurrentBook->setText(current);
    ui->lblCurrentBook->setVisible(several);
    ui->cbBookList->setVisible(several);
}

void UTitleBar::on_cbBookList_currentIndexChanged(int index)
{
    const QString file = ui->cbBookList->itemData(index).toString();
    if (file.isEmpty())
        return;
    if (!ProgramRestart::with(this, "book", file)) {
        const QSignalBlocker blocker(ui->cbBookList);
        ui->cbBookList->setCurrentIndex(0);
    }
}

void UTitleBar::on_pbSkin_clicked()
{
    auto* skin = new USkin;
    skin->setAttribute(Qt::WA_DeleteOnClose);
    skin->show();
    QPoint corner = ui->pbSkin->mapToGlobal(QPoint(0, 0));
    corner += QPoint(110 - skin->width(), ui->pbSkin->height());
    skin->move(corner);
}

void UTitleBar::on_maxButton_clicked()
{
    if (mainWindow->isMaximized())
        mainWindow->showNormal();
    else
        mainWindow->showMaximized();
}

void UTitleBar::mousePressEvent(QMouseEvent* event)
{
    dragPosition = event->globalPosition().toPoint();
}

void UTitleBar::mouseDoubleClickEvent(QMouseEvent*)
{
    on_maxButton_clicked();
}

void UTitleBar::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons() != Qt::LeftButton)
        return;
    const QPoint position = event->globalPosition().toPoint();
    mainWindow->move(mainWindow->pos() + position - dragPosition);
    dragPosition = position;
}

void UTitleBar::paintEvent(QPaintEvent*)
{
    StylePainter::paintBackground(this);
}
