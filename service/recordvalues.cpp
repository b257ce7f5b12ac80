#include "recordvalues.h"

#include "changeset.h"
#include "jsonscanner.h"
#include "servicejson.h"

#include <algorithm>

bool RecordValues::read(QByteArrayView json)
{
    m_pairs.clear();
    JsonScanner scanner(json);
    bool read = scanner.open('{');
    while (read && scanner.next('}')) {
        read = scanner.string(m_pairs.text()) && scanner.colon();
        m_pairs.endCell();
        // A value that is no text, which the service never stores, counts as empty.
        read = read && (scanner.atString() ? scanner.string(m_pairs.text()) : scanner.skip());
        m_pairs.endCell();
        m_pairs.endRow();
    }
    if (!read || scanner.failed()) {
        m_pairs.clear();
        return false;
    }
    return true;
}

QByteArrayView RecordValues::value(QByteArrayView column) const
{
    for (qsizetype i = 0; i < m_pairs.size(); ++i) {
        if (m_pairs.at(i, 0) == column)
            return m_pairs.at(i, 1);
    }
    return QByteArrayView();
}

void RecordValues::write(QByteArray& out, const TableChanges& changes, qsizetype row, const RecordValues* kept)
{
    const auto append = [&out](QByteArrayView column, QByteArrayView value) {
        if (out.size() > 1)
            out += ',';
        ServiceJson::appendString(out, column);
        out += ':';
        ServiceJson::appendString(out, value);
    };
    out.truncate(0);
    out += '{';
    for (qsizetype i = 0; i < changes.columns.size(); ++i) {
        if (i != changes.idColumn && i != changes.versionColumn)
            append(changes.columns.at(i), changes.rows.at(row, i));
    }
    for (qsizetype i = 0; kept && i < kept->m_pairs.size(); ++i) {
        const QByteArrayView column = kept->m_pairs.at(i, 0);
        if (std::find(changes.columns.cbegin(), changes.columns.cend(), column) == changes.columns.cend())
            append(column, kept->m_pairs.at(i, 1));
    }
    out += '}';
}
