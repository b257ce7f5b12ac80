#include "wiresizesql.h"

#include "servicejson.h"

#include <QList>
#include <QStringList>

#include <algorithm>

namespace {
// The characters whose escape adds `extra` bytes to their `bytes` of UTF-8 each.
struct Escapes
{
    qint64 extra;
    qsizetype bytes;
    QList<char32_t> characters;
};

// ServiceJson escapes control characters, the quote and the backslash, all below U+00A0. U+0000 is left out: no
// stored id or stamp holds one, and SQLite's texts cannot be searched for it.
QList<Escapes> escapes()
{
    QList<Escapes> found;
    for (char32_t c = 1; c < 0xA0; ++c) {
        const QByteArray text = QString::fromUcs4(&c, 1).toUtf8();
        const qint64 extra = ServiceJson::stringSize(text) - 2 - text.size();
        if (extra == 0)
            continue;
        auto same = std::find_if(found.begin(), found.end(), [&](const Escapes& escapes) {
            return escapes.extra == extra && escapes.bytes == text.size();
        });
        if (same == found.end())
            same = found.insert(found.end(), Escapes{extra, text.size(), {}});
        same->characters.append(c);
    }
    return found;
}

QString sqliteBytes(const QString& text)
{
    return "length(cast(" + text + " as blob))";
}

// A GLOB pattern that a text matches when it holds a character with an escape: one of none of the ranges of
// characters without. SQLite's class takes "]" for itself only first, so a range holding it starts past it.
QString sqliteEscapedPattern()
{
    QList<char32_t> escaped;
    for (const Escapes& set : escapes())
        escaped += set.characters;
    QString ranges;
    const auto append = [&ranges](char32_t first, char32_t last) {
        const QChar close(']');
        if (first <= close.unicode() && close.unicode() <= last) {
            ranges.prepend(close);
            if (first < close.unicode())
                ranges += QString::fromUcs4(&first, 1) + (first + 1 < close.unicode() ? "-" : "") +
                          QChar(close.unicode() - 1);
            first = close.unicode() + 1;
        }
        if (first > last)
            return;
        ranges += QString::fromUcs4(&first, 1);
        if (last > first)
            ranges += (last > first + 1 ? "-" : "") + QString::fromUcs4(&last, 1);
    };
    std::sort(escaped.begin(), escaped.end());
    char32_t first = 1;
    for (const char32_t c : escaped) {
        if (c > first)
            append(first, c - 1);
        first = c + 1;
    }
    append(first, 0x10FFFF);
    return "'*[^" + ranges.replace('\'', "''") + "]*'";
}

// The JSON string's bytes in SQLite, which has no function to count characters of a set: a set's count is what the
// text loses without its characters, taken out a few at a time, as replacements nested deeper overflow SQLite's
// parser. Only a text that holds one of them at all is counted so, which the pattern tells. The expression is kept
// short, as SQLite compiles it into every statement that writes records.
QString sqliteStringSize(const QString& column)
{
    const qsizetype nested = 16;
    QStringList extras;
    for (const Escapes& set : escapes()) {
        for (qsizetype from = 0; from < set.characters.size(); from += nested) {
            QString without = column;
            for (const char32_t c : set.characters.mid(from, nested))
                without = QString("replace(%1, char(%2), '')").arg(without).arg(c);
            extras << QString("(%1 - %2) * %3 / %4")
                          .arg(sqliteBytes(column), sqliteBytes(without))
                          .arg(set.extra)
                          .arg(set.bytes);
        }
    }
    return QString("(2 + %1 + case when %2 glob %3 then %4 else 0 end)")
        .arg(sqliteBytes(column), column, sqliteEscapedPattern(), extras.join(" + "));
}

// PostgreSQL's translate() drops a whole set in one pass.
QString postgresqlStringSize(const QString& column)
{
    QStringList extras;
    for (const Escapes& set : escapes()) {
        QString characters;
        for (const char32_t c : set.characters)
            characters += QString("\\u%1").arg(uint(c), 4, 16, QChar('0'));
        extras << QString("(char_length(%1) - char_length(translate(%1, E'%2', ''))) * %3")
                      .arg(column, characters)
                      .arg(set.extra);
    }
    return QString("(2 + octet_length(%1) + %2)").arg(column, extras.join(" + "));
}
} // namespace

QString WireSizeSql::expression(bool sqlite, const QString& row)
{
    if (sqlite)
        return sqliteStringSize(row + "id") + " + " + sqliteStringSize(row + "version") + " + " +
               sqliteBytes(row + "data");
    return postgresqlStringSize(row + "id") + " + " + postgresqlStringSize(row + "version") + " + octet_length(" + row +
           "data)";
}

QStringList WireSizeSql::triggers(bool sqlite)
{
    const QString counted = expression(sqlite, "new.");
    if (sqlite) {
        // Run after the row is written, where a writer left the size as it was: a new record at the column's default,
        // a record rewritten without it. (This version's own rewrite of a record of the same size is counted again,
        // to the same.)
        const QString trigger = "create trigger if not exists records_sized_on_%1 after %2 on records when %3 begin "
                                "update records set wire_size = " +
                                counted + " where rowid = new.rowid; end";
        return {trigger.arg("insert", "insert", "new.wire_size = 0"),
                trigger.arg("update", "update of id, version, data", "new.wire_size = old.wire_size")};
    }
    return {"create or replace function records_sized() returns trigger language plpgsql as $$ begin new.wire_size "
            ":= " +
                counted + "; return new; end $$",
            "create trigger records_sized before insert or update on records for each row when (new.wire_size is "
            "distinct from " +
                counted + ") execute function records_sized()"};
}

QString WireSizeSql::triggersMade(bool sqlite)
{
    if (sqlite)
        return "select count(*) = 2 from sqlite_schema where type = 'trigger' and tbl_name = 'records' and name in "
               "('records_sized_on_insert', 'records_sized_on_update')";
    return "select count(*) = 1 from pg_trigger where tgrelid = 'records'::regclass and tgname = 'records_sized'";
}
