#include "data/notifier.h"

#include "data/logcategories.h"

namespace {
Notifier* instance = nullptr;
}

Notifier* Notifier::getInstance()
{
    if (!instance)
        instance = new Notifier;
    return instance;
}

Notifier::Notifier(QObject* parent) : QObject(parent) {}

void Notifier::emitListConditionChanged(const QString& condition)
{
    emit listConditionChanged(condition);
}

void Notifier::emitBillDataChanged()
{
    qCDebug(lcData) << "notice: bill data changed";
    emit billDataChanged();
}

void Notifier::emitContentWidgetChanged()
{
    emit contentWidgetChanged();
}

void Notifier::emitBookWidgetChanged()
{
    emit bookWidgetChanged();
}

void Notifier::emitAccountDataChanged()
{
    emit accountDataChanged();
}

void Notifier::emitBorrowerDataChanged()
{
    emit borrowerDataChanged();
}

void Notifier::emitCategoryDataChanged()
{
    emit categoryDataChanged();
}

void Notifier::emitMemberDataChanged()
{
    emit memberDataChanged();
}

void Notifier::emitMonthListChanged()
{
    qCDebug(lcData) << "notice: month list changed";
    emit monthListChanged();
}
