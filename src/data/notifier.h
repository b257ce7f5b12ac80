#pragma once

#include <QObject>
#include <QString>

// The program-wide hub through which the record classes announce that book data changed.
class Notifier : public QObject
{
    Q_OBJECT

public:
    static Notifier* getInstance();

    void emitListConditionChanged(const QString& condition);
    void emitBillDataChanged();
    void emitContentWidgetChanged();
    void emitBookWidgetChanged();
    void emitAccountDataChanged();
    void emitBorrowerDataChanged();
    void emitCategoryDataChanged();
    void emitMemberDataChanged();
    void emitMonthListChanged();

signals:
    void listConditionChanged(QString condition);
    void billDataChanged();
    void contentWidgetChanged();
    void bookWidgetChanged();
    void accountDataChanged();
    void borrowerDataChanged();
    void categoryDataChanged();
    void memberDataChanged();
    void monthListChanged();

private:
    explicit Notifier(QObject* parent = nullptr);
};
