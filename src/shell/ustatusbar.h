#pragma once

#include <QColor>
#include <QDateTime>
#include <QString>
#include <QWidget>

namespace Ui {
class UStatusBar;
}

// The strip at the bottom of the main window: the state of the last sync with a link that starts one, the money
// summary of the current month, the summary of the bills the bill list selects, and the grip that resizes the
// frameless window. It learns of changes only through the notifier's and the sync engine's signals.
class UStatusBar : public QWidget
{
    Q_OBJECT
    // The colour of the sync link, which carries its colour in its own text; the skin's rules set it, so that
    // the link stays legible on a light skin as the bar's other texts do.
    Q_PROPERTY(QColor linkColor READ linkColor WRITE setLinkColor)

public:
    explicit UStatusBar(QWidget* parent = nullptr);
    ~UStatusBar() override;

    // Expense, income, the net loans when there are any, and the change, over the bills the condition selects.
    static QString getSummary(const QString& condition);

    QColor linkColor() const;
    void setLinkColor(const QColor& color);

protected:
    void paintEvent(QPaintEvent* event) override;

private slots:
    void syncFinished();
    void syncStarted();
    void syncError(int code, QString message);
    void on_lblSync_linkActivated(QString link);
    void billDataChanged();
    void listConditionChanged(QString condition);

private:
    void restyle();
    void showSyncState(const QString& text);
    void showSyncLink(bool running);

    Ui::UStatusBar* ui;
    // When the running or last sync started, local time; null until a sync starts.
    QDateTime syncTime;
    // The bill list's last condition; all bills until it reports one.
    QString condition;
    QColor m_linkColor{0xcc, 0xee, 0xff};
    // The form's width for the sync state; a longer text widens it.
    int m_syncStateLeastWidth = 0;
};
