#include "bookdump.h"
#include "bookrows.h"
#include "data/dbhelper.h"
#include "online/json.h"
#include "online/syncanswer.h"
#include "online/syncchangeset.h"
#include "online/syncmerge.h"
#include "recordtest.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {
const QStringList tables{"bill", "account", "borrower", "category", "sub_category", "member"};
const QDateTime start(QDate(2022, 3, 4), QTime(5, 6, 7), Qt::UTC);
} // namespace

// Generated and mutated answers through the reader and the merge: nothing crashes, and an answer that is
// refused, or whose merge fails, leaves the book exactly as it was.
class TestSyncFuzz : public RecordTest
{
    Q_OBJECT

private:
    QRandomGenerator m_random{20260712};
    QString m_book;
    int m_refused = 0;
    int m_applied = 0;

    int below(int n) { return int(m_random.bounded(quint32(n))); }

    QString pick(const QStringList& list) { return list.at(below(list.size())); }

    QVariant scalar()
    {
        switch (below(7)) {
        case 0:
            return QVariant();
        case 1:
            return below(100000) - 50000;
        case 2:
            return m_random.generateDouble() * 1e6;
        case 3:
            return QString("2%1-0%2-1%3 0%4:00:00")
                .arg(below(1000), 3, 10, QChar('0'))
                .arg(below(9))
                .arg(below(9))
                .arg(below(9));
        case 4:
            return pick({"'", "it's", "\"", "\\", "中文", "", "0", "1e5", "x'); drop table tbl_bill; --"});
        case 5:
            return QVariantList{below(3)};
        default:
            return QString::number(below(40), 36);
        }
    }

    // An answer of table entries with columns, rows and deletions drawn from good and bad material.
    QString generated()
    {
        QVariantList answer;
        for (int e = below(8); e > 0; --e) {
            const QString table = below(8) ? pick(tables) : pick({"setting", "bill;", "", "budget"});
            QStringList columns = SyncChangeSet::syncedColumns("tbl_" + (tables.contains(table) ? table : "bill"));
            if (below(3))
                for (int drop = below(columns.size()); drop > 0; --drop)
                    columns.removeAt(below(columns.size()));
            if (!below(4))
                columns << pick({"user_id", "x\"y", "version", "id"});
            QVariantList rows;
            for (int r = below(5); r > 0; --r) {
                QVariantList row;
                for (int c = columns.size() + (below(10) ? 0 : below(3) - 1); c > 0; --c)
                    row << (columns.value(row.size()) == "id" && below(2) ? QVariant(QString::number(below(30)))
                                                                          : scalar());
                rows << QVariant(row);
            }
            QVariantList deletions;
            for (int d = below(4); d > 0; --d)
                deletions << QVariant(QVariantList{QString::number(below(30)), scalar()}.mid(0, below(6) ? 2 : 1));
            QVariantMap entry{{"table_name", table}, {"update_columns", columns}, {"update_data", rows}};
            if (below(4))
                entry.insert("delete_data", deletions);
            answer << (below(20) ? QVariant(entry) : scalar());
        }
        return JSON::getInstance()->serialize(answer);
    }

    QString mutated(QString text)
    {
        static const QString alphabet = "{}[],:\"\\ 0123456789.-eE truefalsnl'中";
        for (int m = 1 + below(4); m > 0 && !text.isEmpty(); --m) {
            const int at = below(text.size());
            switch (below(4)) {
            case 0:
                text.remove(at, 1 + below(8));
                break;
            case 1:
                text.insert(at, alphabet.at(below(alphabet.size())));
                break;
            case 2:
                text.insert(at, text.mid(below(text.size()), below(30)));
                break;
            default:
                text.truncate(at);
            }
        }
        return text;
    }

    void feed(const QString& text)
    {
        JSON::getInstance()->toMap(text);
        const QVariantList answer = JSON::getInstance()->toList(text);
        JSON::getInstance()->serialize(answer);
        if (answer.isEmpty())
            return;
        QList<SyncAnswer::Entry> entries;
        if (SyncAnswer::read(answer, tables, entries) && SyncMerge::apply(entries, start)) {
            ++m_applied;
            m_book = BookDump::of(BookDump::allTables());
            return;
        }
        ++m_refused;
        QCOMPARE(BookDump::of(BookDump::allTables()), m_book);
    }

private slots:
    void answersNeverHarmTheBook()
    {
        DBHelper::getInstance()->initDefaultData();
        for (int i = 0; i < 20; ++i)
            BookRows::addBill("expense", -i, {{"account_id", "01"}, {"title", QString("t%1").arg(i)}});
        QVariantList own;
        QVERIFY(SyncChangeSet::build(tables, "2000-01-01 00:00:00", own));
        const QString seed = JSON::getInstance()->serialize(own);
        m_book = BookDump::of(BookDump::allTables());

        for (int i = 0; i < 1500 && !QTest::currentTestFailed(); ++i) {
            feed(generated());
            feed(mutated(i % 2 ? seed : generated()));
        }
        qInfo() << "applied" << m_applied << "refused" << m_refused;
        QVERIFY(m_applied > 100 && m_refused > 100);
    }
};

QTEST_MAIN(TestSyncFuzz)
#include "tst_syncfuzz.moc"
