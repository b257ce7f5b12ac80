#pragma once

#include "storestatement.h"

#include <QString>
#include <QStringList>
#include <QVariantList>

#include <functional>
#include <memory>

// Rows the store keeps of what anyone may send (feedback, sign-ups), each stamped with when it came and the client
// address it came from, and held to limits over the last hour.
class HourlyLimit
{
public:
    enum class Outcome
    {
        Stored,
        OverLimit,
        Failed
    };
    // Runs a statement of the store with its values bound: the statement run, to be finished, or nullptr, with its
    // failure logged, when it fails.
    using Run = std::function<std::unique_ptr<StoreStatement>(const QString& sql, const QVariantList& values)>;

    explicit HourlyLimit(Run run);

    // Removes the table's rows older than the hour, which count for nothing any more.
    bool forgetOlder(const QString& table);
    // Inserts a row stamped now with the address and the values unless the last hour holds `perAddress` rows of the
    // table from the address or `perHour` in all, or the further condition with its values fails.
    Outcome insert(const QString& table, const QStringList& columns, const QVariantList& values, const QString& address,
                   int perAddress, int perHour, const QString& condition = {},
                   const QVariantList& conditionValues = {});

private:
    static QString hourAgo();

    Run m_run;
};
