#include "shell/ustatusbar.h"

#include "ui_ustatusbar.h"

#include "data/dbsetting.h"
#include "data/money.h"
#include "data/notifier.h"
#include "online/dsyncconfig.h"
#include "online/synchelper.h"
#include "widgets/dmessagebox.h"
#include "widgets/stylepainter.h"

#include <QHash>
#include <QSqlQuery>
#include <QStyle>

namespace {
const QString timeFormat = "yyyy-MM-dd hh:mm:ss";

QString amountText(double value)
{
    return QString::number(value, 'f', 2);
}

// Read from the book itself: the settings row's copy was taken before the sync at start wrote a newer time.
QDateTime lastSyncTime()
{
    QSqlQuery query("select sync_time from tbl_setting");
    if (!query.next())
        return QDateTime();
    const QDateTime stored = QDateTime::fromString(query.value(0).toString(), timeFormat);
    return QDateTime(stored.date(), stored.time(), Qt::UTC).toLocalTime();
}
} // namespace

UStatusBar::UStatusBar(QWidget* parent) : QWidget(parent), ui(new Ui::UStatusBar), condition(" 1=1 ")
{
    ui->setupUi(this);
    m_syncStateLeastWidth = ui->lblSyncTime->minimumWidth();

    const QDateTime last = lastSyncTime();
    // A book never synchronised carries a stamp from 2008.
    if (!last.isValid() || last.date().year() < 2009)
        showSyncState(tr("  尚未同步过 "));
    else
        showSyncState(tr("  上次同步 ") + last.toString(timeFormat));

    SyncHelper* engine = SyncHelper::getInstance();
    connect(engine, &SyncHelper::syncFinished, this, &UStatusBar::syncFinished);
    connect(engine, &SyncHelper::syncStarted, this, &UStatusBar::syncStarted);
    connect(engine, &SyncHelper::syncError, this, &UStatusBar::syncError);
    Notifier* notifier = Notifier::getInstance();
    connect(notifier, &Notifier::billDataChanged, this, &UStatusBar::billDataChanged);
    connect(notifier, &Notifier::listConditionChanged, this, &UStatusBar::listConditionChanged);

    billDataChanged();

    // The sheet's rules for the bar's texts name the bar as the main window's form does. That form names it only
    // after this constructor, which has measured, and so styled, the sync state: the texts are styled again.
    connect(this, &QObject::objectNameChanged, this, &UStatusBar::restyle);
}

UStatusBar::~UStatusBar()
{
    delete ui;
}

QString UStatusBar::getSummary(const QString& condition)
{
    QHash<QString, double> sums;
    QSqlQuery query;
    query.setForwardOnly(true);
    query.exec("select kind, total(amount) from tbl_bill where " + condition + " group by kind ");
    while (query.next())
        sums.insert(query.value(0).toString(), query.value(1).toDouble());

    // Each figure in cents before it is tested or shown: float residue must never read as a loan or a change.
    const auto sum = [&sums](const char* kind) { return Money::toCents(sums.value(kind)); };
    const double expense = sum("expense");
    const double income = sum("income");
    const double borrowed = Money::toCents(sum("borrow") + sum("repay"));
    const double lent = Money::toCents(sum("lend") + sum("refund"));
    const double change = Money::toCents(expense + income + borrowed + lent);

    QString text = tr("支出:") + amountText(expense) + " " + tr("收入:") + amountText(income);
    if (borrowed != 0 || lent != 0)
        text += " " + tr("净借入:") + amountText(borrowed) + " " + tr("净借出:") + amountText(lent);
    text += " " + tr("变化:") + (change > 0 ? "+" : "") + amountText(change);
    return text;
}

void UStatusBar::paintEvent(QPaintEvent*)
{
    StylePainter::paintBackground(this);
}

void UStatusBar::syncFinished()
{
    showSyncState(tr("  上次同步 ") + syncTime.toString(timeFormat));
    showSyncLink(false);
}

void UStatusBar::syncStarted()
{
    showSyncState(tr("  正在同步，请稍候...... "));
    syncTime = QDateTime::currentDateTime();
    showSyncLink(true);
}

void UStatusBar::syncError(int, QString message)
{
    DMessageBox::error(this, message);
    showSyncState(tr("  上次同步失败"));
    showSyncLink(false);
}

void UStatusBar::on_lblSync_linkActivated(QString)
{
    if (!DSyncConfig::askForAccount(this))
        return;
    SyncHelper::getInstance()->sync();
}

void UStatusBar::billDataChanged()
{
    listConditionChanged(QString());
    const QString month = "  month=" + QDate::currentDate().toString("yyyyMM");
    ui->lblMonthSummary->setSummary(tr("本月  ") + getSummary(month));
}

void UStatusBar::listConditionChanged(QString condition)
{
    if (!condition.isEmpty())
        this->condition = condition;
    ui->lblTotalSummary->setSummary(tr("总计  ") + getSummary(this->condition));
}

QColor UStatusBar::linkColor() const
{
    return m_linkColor;
}

void UStatusBar::setLinkColor(const QColor& color)
{
    m_linkColor = color;
    showSyncLink(!ui->lblSync->isEnabled());
}

void UStatusBar::restyle()
{
    for (QWidget* widget : findChildren<QWidget*>()) {
        widget->style()->unpolish(widget);
        widget->style()->polish(widget);
    }
    showSyncState(ui->lblSyncTime->text());
}

void UStatusBar::showSyncState(const QString& text)
{
    // The summaries give way to the time of the last sync, which is never cut; a shorter text gives its room
    // back. A label's size hint is at least its minimum, so the text is measured at the form's minimum.
    QLabel* state = ui->lblSyncTime;
    state->setText(text);
    state->setMinimumWidth(m_syncStateLeastWidth);
    state->setMinimumWidth(qMax(m_syncStateLeastWidth, state->sizeHint().width()));
}

void UStatusBar::showSyncLink(bool running)
{
    const QString text = running ? tr("同步中") : tr("立即同步");
    ui->lblSync->setText(QString("<a href=\"#\"><span style=\" text-decoration: underline; color:%1;\">%2</span></a>")
                             .arg(m_linkColor.name(), text));
    ui->lblSync->setEnabled(!running);
}
