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

// Whether JSON's own quoting escapes the character as ServiceJson does: the quote, the backslash and the control
// characters below U+0020, U+0000 among them, as SQLite's json_quote() writes them.
bool jsonQuoteEscapes(char32_t c)
{
    return c < 0x20 || c == '"' || c == '\\';
}

// ServiceJson escapes control characters, the quote and the backslash, all below U+00A0; these sets leave out U+0000,
// which no PostgreSQL text holds, and, `beyondJsonQuote`, the characters that json_quote() counts itself.
QList<Escapes> escapes(bool beyondJsonQuote)
{
    QList<Escapes> found;
    for (char32_t c = 1; c < 0xA0; ++c) {
        const QByteArray text = QString::fromUcs4(&c, 1).toUtf8();
        const qint64 extra = ServiceJson::stringSize(text) - 2 - text.size();
        if (extra == 0 || (beyondJsonQuote && jsonQuoteEscapes(c)))
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

// The text without the characters, each taken out by a replacement of its own, nested, and named in the statement as
// `literal` writes it.
QString without(const QString& text, const QList<char32_t>& characters, QString (*literal)(char32_t))
{
    QString left = text;
    for (const char32_t c : characters)
        left = QString("replace(%1, %2, '')").arg(left, literal(c));
    return left;
}

QString sqliteBytes(const QString& text)
{
    return "length(cast(" + text + " as blob))";
}

// A GLOB pattern that a text matches when it holds a character with an escape: one of none of the ranges of
// characters without. SQLite's class takes "]" for itself only first, so a range holding it starts past it.
QString sqliteEscapedPattern(const QList<Escapes>& sets)
{
    QList<char32_t> escaped;
    for (const Escapes& set : sets)
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

// The JSON string's bytes in SQLite: json_quote() counts what JSON escapes itself, past U+0000 too, where SQLite's
// other text functions stop, as earlier versions stored ids holding it. The characters ServiceJson escapes besides
// are counted by what the text loses without them, taken out a few at a time, as replacements nested deeper overflow
// SQLite's parser, in a text that holds one of them at all, which the pattern tells up to a U+0000. The expression is
// kept short, as SQLite compiles it into every statement that writes records.
QString sqliteStringSize(const QString& column)
{
    const qsizetype nested = 16;
    const QList<Escapes> sets = escapes(true);
    QStringList extras;
    for (const Escapes& set : sets) {
        for (qsizetype from = 0; from < set.characters.size(); from += nested)
            extras << QString("(%1 - %2) * %3 / %4")
                          .arg(sqliteBytes(column),
                               sqliteBytes(without(column, set.characters.mid(from, nested),
                                                   [](char32_t c) { return QString("char(%1)").arg(c); })))
                          .arg(set.extra)
                          .arg(set.bytes);
    }
    return QString("(%1 + case when %2 glob %3 or instr(%2, char(0)) > 0 then %4 else 0 end)")
        .arg(sqliteBytes("json_quote(" + column + ")"), column, sqliteEscapedPattern(sets), extras.join(" + "));
}

// PostgreSQL's translate() drops a whole set in one pass. Its characters are counted by the bytes the text loses,
// which for characters of one byte is the same in a database in UTF8 as in one in SQL_ASCII, where a character is a
// byte. A character of more bytes is taken out by a replacement instead: written into the statement as UTF-8 text,
// which a database in SQL_ASCII keeps as it is, as it keeps the client's texts, its bytes are found wherever the
// character stands; translate() there would take out each of its bytes wherever it stood, in other characters too.
QString postgresqlStringSize(const QString& column)
{
    QStringList extras;
    for (const Escapes& set : escapes(false)) {
        QString left;
        if (set.bytes == 1) {
            QString characters;
            for (const char32_t c : set.characters)
                characters += QString("\\u%1").arg(uint(c), 4, 16, QChar('0'));
            left = QString("translate(%1, E'%2', '')").arg(column, characters);
        } else {
            left = without(column, set.characters, [](char32_t c) { return "'" + QString::fromUcs4(&c, 1) + "'"; });
        }
        extras << QString("(octet_length(%1) - octet_length(%2)) / %3 * %4")
                      .arg(column, left)
                      .arg(set.bytes)
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

QStringList WireSizeSql::withoutTriggers(bool sqlite)
{
    if (sqlite)
        return {"drop trigger if exists records_sized_on_insert", "drop trigger if exists records_sized_on_update"};
    return {"drop trigger if exists records_sized on records"};
}

QString WireSizeSql::triggersMade(bool sqlite)
{
    // SQLite keeps a trigger's statement as it was made, PostgreSQL its function's body.
    if (sqlite)
        return "select count(*) / 2 from sqlite_schema where type = 'trigger' and tbl_name = 'records' and name in "
               "('records_sized_on_insert', 'records_sized_on_update') and instr(sql, ?) > 0";
    return "select count(*) from pg_trigger t join pg_proc p on p.oid = t.tgfoid where t.tgrelid = "
           "'records'::regclass and t.tgname = 'records_sized' and strpos(p.prosrc, ?) > 0";
}
