#include "recordvalues.h"

#include "changeset.h"
#include "jsonscanner.h"
#include "servicejson.h"

#include <algorithm>
#include <numeric>

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
    m_order.clear();
    if (!read || scanner.failed()) {
        m_pairs.clear();
        return false;
    }
    m_order.resize(m_pairs.size());
    std::iota(m_order.begin(), m_order.end(), 0);
    // Equal names are kept in their order by their position, not by a stable sort, which would take a buffer for
    // every record read.
    std::sort(m_order.begin(), m_order.end(), [this](qsizetype a, qsizetype b) {
        const int order = m_pairs.at(a, 0).compare(m_pairs.at(b, 0));
        return order < 0 || (order == 0 && a < b);
    });
    return true;
}

QByteArrayView RecordValues::value(QByteArrayView column) const
{
    const auto at =
        std::lower_bound(m_order.cbegin(), m_order.cend(), column,
                         [this](qsizetype pair, QByteArrayView name) { return m_pairs.at(pair, 0) < name; });
    return at != m_order.cend() && m_pairs.at(*at, 0) == column ? m_pairs.at(*at, 1) : QByteArrayView();
}

void RecordValues::write(QByteArray& out, const TableChanges& changes, qsizetype row, const RecordValues* kept)
{
    const qsizetype start = out.size();
    const auto append = [&out, start](QByteArrayView column, QByteArrayView value) {
        if (out.size() > start + 1)
            out += ',';
        ServiceJson::appendString(out, column);
        out += ':';
        ServiceJson::appendString(out, value);
    };
    out += '{';
    for (qsizetype i = 0; i < changes.columns.size(); ++i) {
        if (i != changes.idColumn && i != changes.versionColumn)
            append(changes.columns.at(i), changes.rows.at(row, i));
    }
    qsizetype columns = changes.columns.size();
    for (qsizetype i = 0; kept && i < kept->m_pairs.size() && columns < TableChanges::maxColumns; ++i) {
        const QByteArrayView column = kept->m_pairs.at(i, 0);
        if (!changes.hasColumn(column)) {
            append(column, kept->m_pairs.at(i, 1));
            ++columns;
        }
    }
    out += '}';
}
