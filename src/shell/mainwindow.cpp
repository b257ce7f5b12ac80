#include "shell/mainwindow.h"

#include "ui_mainwindow.h"

#include "data/backuphelper.h"
#include "data/bookcheck.h"
#include "data/bookconnection.h"
#include "data/bookfile.h"
#include "data/bookindexes.h"
#include "data/booklock.h"
#include "data/bookreplacement.h"
#include "data/constants.h"
#include "data/dbhelper.h"
#include "data/dbsetting.h"
#include "data/filesetting.h"
#include "data/pendingchanges.h"
#include "online/datecheckthread.h"
#include "online/dsync.h"
#include "online/updatehelper.h"
#include "platform/maximizedarea.h"
#include "platform/systemtray.h"
#include "widgets/dmessagebox.h"
#include "widgets/programrestart.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QSqlDatabase>
#include <QTimer>

namespace {
const char* iconPath = ":/rc/images/Icon.png";
}

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent), ui(new Ui::MainWindow)
{
    QTimer::singleShot(2000, this, &MainWindow::checkUpdate);
    FileSetting* settings = FileSetting::getInstance();
    // Before the book is opened; on the very first start there is nothing to back up yet.
    if (settings->getValue("Backup/BackupWhenStartup", true).toBool())
        BackupHelper::backup();
    openBook();
    if (settings->isSyncWhenStartup() && DbSetting::getInstance()->hasSyncAccount())
        runSync();

    setWindowFlags(Qt::FramelessWindowHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowMaximizeButtonHint);
    ui->setupUi(this);
    setWindowTitle(tr("Quillbay云记账") + " " + Constants::getInstance()->getVersion());
    // The frame's widgets follow the mouse even when no button is pressed.
    setMouseTracking(true);
    for (QWidget* child : findChildren<QWidget*>())
        child->setMouseTracking(true);
    ui->wgtHeader->setContentWidget(ui->wgtContent);
    createTray();
    MaximizedArea::fit(this);
    ProgramRestart::placeWindow(this);

    m_dateCheckThread = new DateCheckThread(this);
    connect(m_dateCheckThread, &DateCheckThread::incorrectDate, this, &MainWindow::showIncorrectDate);
    m_dateCheckThread->start();
}

MainWindow::~MainWindow()
{
    // Stops a date check under way within a second and waits for it, before the window it reports to goes.
    delete m_dateCheckThread;
    delete ui;
}

void MainWindow::openBook()
{
    const QString path = BookConnection::currentBookPath();
    // A missing or empty file holds nothing of the user's: it becomes a new book, made from the initial one.
    const bool isNew = QFileInfo(path).size() == 0;
    BookReplacement fresh(path);
    const bool ready = !isNew || (fresh.prepare(BookFile::initialBook()) && fresh.commit());
    // Upgrading or filling a file that is no book would write into somebody else's file.
    if (!ready || !BookConnection::openDefault(path) || !BookCheck::holdsSettings(QSqlDatabase::database())) {
        BookConnection::closeDefault();
        DMessageBox::information(this, tr("数据文件错误"), tr("打开数据文件出现错误。"));
        return;
    }
    // When another copy has this book open too, that copy keeps the lock and this one goes on without it.
    BookLock::acquire(path, std::chrono::milliseconds::zero());
    DBHelper::getInstance()->upgrade();
    // After the upgrade, which gives an old book the columns they cover. A book that refuses them only lists slower.
    BookIndexes::addMissing();
    // A book that refuses the journal cannot be synced; its other uses go on.
    PendingChanges::addMissing();
    if (isNew) {
        DBHelper::getInstance()->initDefaultData();
        // The book just made is the one to open next time, even when its name came from the default.
        Constants* constants = Constants::getInstance();
        constants->setBookName(constants->getBookName());
    }
}

void MainWindow::createTray()
{
    m_minimizeAction = new QAction(tr("最小化(&N)"), this);
    connect(m_minimizeAction, &QAction::triggered, this, &QWidget::hide);
    m_maximizeAction = new QAction(tr("最大化(&X)"), this);
    connect(m_maximizeAction, &QAction::triggered, this, &QWidget::showMaximized);
    m_restoreAction = new QAction(tr("还 原(&R)"), this);
    connect(m_restoreAction, &QAction::triggered, this, &QWidget::showNormal);
    m_quitAction = new QAction(tr("退出(&Q)"), this);
    connect(m_quitAction, &QAction::triggered, this, &MainWindow::exit);

    m_trayIconMenu = new QMenu(this);
    m_trayIconMenu->addAction(m_minimizeAction);
    m_trayIconMenu->addAction(m_maximizeAction);
    m_trayIconMenu->addAction(m_restoreAction);
    m_trayIconMenu->addSeparator();
    m_trayIconMenu->addAction(m_quitAction);

    // Many desktops have no tray: the window then simply closes, and the menu is not shown anywhere.
    if (!SystemTray::current()->isAvailable())
        return;
    m_trayIcon = new QSystemTrayIcon(QIcon(iconPath), this);
    setWindowIcon(QIcon(iconPath));
    m_trayIcon->setToolTip(tr("Quillbay云记账"));
    m_trayIcon->setContextMenu(m_trayIconMenu);
    m_trayIcon->setVisible(true);
    connect(m_trayIcon, &QSystemTrayIcon::activated, this, &MainWindow::iconActivated);
}

void MainWindow::runSync()
{
    DSync dialog(this);
    dialog.exec();
}

void MainWindow::showTrayHint()
{
    m_trayIcon->showMessage(tr("Quillbay云记账"), tr("Quillbay云记账隐藏到这里了"), QSystemTrayIcon::Information,
                            10000);
}

void MainWindow::iconActivated(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::DoubleClick:
    case QSystemTrayIcon::Trigger:
        showNormal();
        break;
    case QSystemTrayIcon::MiddleClick:
        showTrayHint();
        break;
    default:
        break;
    }
}

void MainWindow::exit()
{
    if (m_trayIcon)
        m_trayIcon->hide();
    // exit() rather than quit(): quit() would send this window a close event, which may hide it to the tray or
    // run the close-time sync and backup.
    QCoreApplication::exit(0);
}

void MainWindow::checkUpdate()
{
    if (!FileSetting::getInstance()->getValue("Common/EnableAutoUpdate", true).toBool())
        return;
    auto* helper = new UpdateHelper(this, true);
    helper->checkVersion();
}

void MainWindow::showIncorrectDate(QString message)
{
    QMessageBox::critical(this, "系统时间有错误", message);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    FileSetting* settings = FileSetting::getInstance();
    if (m_trayIcon && m_trayIcon->isVisible() && settings->getValue("Common/EnableSystemTrayIcon", false).toBool()) {
        const int hints = settings->getValue("Common/SystemTrayIconHintCount", 0).toInt();
        if (hints <= 2) {
            settings->setValue("Common/SystemTrayIconHintCount", hints + 1);
            showTrayHint();
        }
        hide();
        event->ignore();
        return;
    }
    if (m_trayIcon)
        m_trayIcon->hide();
    if (settings->isSyncWhenClose() && DbSetting::getInstance()->hasSyncAccount())
        runSync();
    event->accept();
    if (settings->getValue("Backup/BackupWhenClose", true).toBool())
        BackupHelper::backup();
}

void MainWindow::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        MaximizedArea::fit(this);
}

bool MainWindow::nativeEvent(const QByteArray& eventType, void* message, qintptr* result)
{
    return MaximizedArea::answerNativeEvent(this, eventType, message, result) ||
           QMainWindow::nativeEvent(eventType, message, result);
}
