#pragma once

#include <QMainWindow>
#include <QSystemTrayIcon>

namespace Ui {
class MainWindow;
}
class DateCheckThread;
class QAction;
class QMenu;

// The program's only top-level window, frameless, with its own title bar, tool bar and status bar. Building it
// opens the current book on the default connection (creating it when missing) and brings it up to date.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

public slots:
    void iconActivated(QSystemTrayIcon::ActivationReason reason);
    // Ends the program at once, without the close-time sync and backup.
    void exit();
    void checkUpdate();
    void showIncorrectDate(QString message);

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    void openBook();
    void createTray();
    void runSync();
    void showTrayHint();

    Ui::MainWindow* ui;
    DateCheckThread* m_dateCheckThread;
    // Only when the desktop has a tray.
    QSystemTrayIcon* m_trayIcon = nullptr;
    QMenu* m_trayIconMenu;
    QAction* m_minimizeAction;
    QAction* m_maximizeAction;
    QAction* m_restoreAction;
    QAction* m_quitAction;
};
